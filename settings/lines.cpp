// Builders of the label command lines from the option records.
#include "settings/lines.h"

#include <cstdio>

namespace {

// Appends a printf-formatted number group to the line; the line grows to fit.
template <class... Args>
void append_format(std::string &line, const char *format, Args... args)
{
    int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0)
        return;
    size_t old = line.size();
    line.resize(old + static_cast<size_t>(n) + 1);
    std::snprintf(line.data() + old, static_cast<size_t>(n) + 1, format, args...);
    line.resize(old + static_cast<size_t>(n));
}

}  // namespace

int get_o_opt(std::string &line, const o_opt_t &o_opt)
{
    line = "O ";
    bool letters = false;
    auto letter = [&](int on, char c) {
        if (on != 1)
            return;
        if (letters)
            line += ',';
        line += c;
        letters = true;
    };
    letter(o_opt.labelmirrored, 'M');
    letter(o_opt.labelrotate, 'R');
    letter(o_opt.tearoffmode, 'T');
    if (letters)
        line += ',';
    line += o_opt.backfeedmode;
    line += "\r\n";
    return 1;
}

std::string &get_h_opt(std::string &line, const h_opt_t &h_opt)
{
    line = "H ";
    line.append(h_opt.speed).append(",").append(h_opt.heat).append(",").append(h_opt.printmethod);
    line += "\r\n";
    return line;
}

std::string &get_s_opt(std::string &line, const s_opt_t &s_opt, const label_format &label, double printwidth)
{
    line = "S ";
    line += s_opt.labelsensor;
    append_format(line, ";%.2f,%.2f,", s_opt.displacementx, s_opt.displacementy);

    double width = convPPItomm(label.width);
    double height = convPPItomm(label.length);
    if (width > printwidth)
        width = printwidth;
    // With the edge sensor the pitch is the label alone; the gap sensors add
    // the gap between labels.
    double pitch = s_opt.labelsensor[0] == 'e' ? height : s_opt.labelgap + height;
    append_format(line, "%.2f,%.2f,%.1f\r\n", height, pitch, width - s_opt.displacementx);
    return line;
}

int get_c_opt(std::string &line, const c_opt_t &c_opt)
{
    if (c_opt.cutter != 1)
        return 0;
    if (c_opt.cuttermode == 1)
        line = std::string("C ") + c_opt.cutterinterval + "," + c_opt.cutteroffset1;
    else if (c_opt.cuttermode == 2)
        line = std::string("C e,") + c_opt.cutteroffset1;
    else
        line = "C ERROR!!!";
    line += "\r\n";
    return 1;
}

int get_p_opt(std::string &line, const p_opt_t &p_opt)
{
    if (p_opt.peeloffmode == 1)
        line = std::string("P ") + p_opt.peeloffdisp + "\r\n";
    return p_opt.peeloffmode;
}

std::string label_block(const label_format &label, const job_settings &job)
{
    std::string block = "m m\r\n";            // lengths in millimetres
    block += "J\r\n";                          // a new label job
    std::string line;
    if (get_o_opt(line, job.o_opt) == 1)
        block += line;
    block += get_h_opt(line, job.h_opt);
    block += get_s_opt(line, job.s_opt, label, job.printwidth);
    block += "I 0,0,0;cups\r\n";               // place the image just downloaded
    if (get_c_opt(line, job.c_opt) == 1)
        block += line;
    if (get_p_opt(line, job.p_opt) == 1)
        block += line;
    block.append("A").append(std::to_string(label.copies != 0 ? label.copies : 1u)).append("\r\n");
    return block;
}

double convPPItomm(uint32_t points)
{
    return static_cast<double>(points) / 72.0 * 25.4;
}
