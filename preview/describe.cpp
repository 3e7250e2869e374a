// The label job block in plain words.
//
// The codes come from the queue's PPD choices: the sensor code l1, l0 or e
// from LabelSensor LSD, LSR or LSE; the print method T from PrintMethod True
// and D otherwise; the backfeed code D from BackFeed BFA and P from BFS; the
// cutter line "C interval,offset" from cCutterMode CMOD1I and "C e,offset"
// from CMOD2E. "ERR" (and "C ERROR!!!") means the filter did not recognise
// the PPD's choice, and empty fields mean it ran without a PPD.
#include "preview/describe.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "preview/decode.h"

namespace {

using words = std::vector<std::string>;

const std::string no_ppd = "none (the filter read no PPD)";

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

bool number(std::string_view text, double &value)
{
    const char *end = text.data() + text.size();
    auto [stop, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && stop == end;
}

std::string str(std::string_view text) { return printable(text); }

std::string fixed2(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string on_off(bool on) { return on ? "on" : "off"; }

std::string backfeed(std::string_view code)
{
    if (code == "D")
        return "D (PPD BackFeed choice BFA)";
    if (code == "P")
        return "P (PPD BackFeed choice BFS)";
    if (code == "ERR")
        return "ERR: the filter did not recognise the PPD's BackFeed choice";
    if (code.empty())
        return no_ppd;
    return str(code) + " (not a code the filter writes)";
}

words o_line(std::string_view args)
{
    std::vector<std::string_view> items = split(args, ',');
    bool mirror = false, rotate = false, tearoff = false;
    words extra;
    for (size_t i = 0; i + 1 < items.size(); i++) {
        if (items[i] == "M")
            mirror = true;
        else if (items[i] == "R")
            rotate = true;
        else if (items[i] == "T")
            tearoff = true;
        else
            extra.push_back("unknown option \"" + str(items[i]) + "\"");
    }
    words w = {"mirror: " + on_off(mirror), "rotate: " + on_off(rotate), "tear-off: " + on_off(tearoff),
               "backfeed: " + backfeed(items.back())};
    w.insert(w.end(), extra.begin(), extra.end());
    return w;
}

std::string text_or_none(std::string_view text) { return text.empty() ? no_ppd : str(text); }

words h_line(std::string_view args)
{
    std::vector<std::string_view> f = split(args, ',');
    if (f.size() != 3)
        return {"not understood: expected \"H speed,heat,method\""};
    std::string method;
    if (f[2] == "T")
        method = "T, thermal transfer (with ribbon; PPD PrintMethod True)";
    else if (f[2] == "D")
        method = "D, direct thermal (no ribbon; PPD PrintMethod False)";
    else if (f[2].empty())
        method = no_ppd;
    else
        method = str(f[2]) + " (not a code the filter writes)";
    return {"speed: " + text_or_none(f[0]), "heat: " + text_or_none(f[1]), "print method: " + method};
}

std::string sensor(std::string_view code)
{
    if (code == "l1")
        return "l1, gap sensor: labels with gaps between them (PPD LabelSensor LSD)";
    if (code == "l0")
        return "l0, reflective sensor: labels with marks between them (PPD LabelSensor LSR)";
    if (code == "e")
        return "e, continuous media without gaps (PPD LabelSensor LSE)";
    if (code == "ERR")
        return "ERR: the filter did not recognise the PPD's LabelSensor choice";
    if (code.empty())
        return no_ppd;
    return str(code) + " (not a code the filter writes)";
}

// "S sensor;x,y,height,pitch,width", all lengths in millimetres.
bool s_fields(std::string_view args, std::string_view &code, std::vector<std::string_view> &f, double v[5])
{
    size_t semi = args.find(';');
    if (semi == std::string_view::npos)
        return false;
    code = args.substr(0, semi);
    f = split(args.substr(semi + 1), ',');
    if (f.size() != 5)
        return false;
    for (size_t i = 0; i < 5; i++)
        if (!number(f[i], v[i]))
            return false;
    return true;
}

words s_line(std::string_view args)
{
    std::string_view code;
    std::vector<std::string_view> f;
    double v[5];
    if (!s_fields(args, code, f, v))
        return {"not understood: expected \"S sensor;x,y,height,pitch,width\""};
    std::string pitch = "pitch: " + str(f[3]) + " mm";
    if (code == "e")
        pitch += v[3] == v[2] ? " (the label height: no gap)" : "";
    else
        pitch += " (label height plus a gap of " + fixed2(v[3] - v[2]) + " mm)";
    return {"sensor: " + sensor(code),       "X offset: " + str(f[0]) + " mm",     "Y offset: " + str(f[1]) + " mm",
            "label height: " + str(f[2]) + " mm", pitch, "printable width: " + str(f[4]) + " mm" +
                (v[4] > 0 ? "" : " (no room to print: the filter had no PPD, or did not know its model's width)")};
}

words c_line(std::string_view args)
{
    if (args == "ERROR!!!")
        return {"cutter: on, but the filter did not recognise the PPD's cCutterMode choice"};
    std::vector<std::string_view> f = split(args, ',');
    if (f.size() != 2)
        return {"not understood: expected \"C interval,offset\" or \"C e,offset\""};
    std::string mode = f[0] == "e" ? "cutter: on, mode e (PPD cCutterMode CMOD2E, no interval)"
                                   : "cutter: on, cut interval " + str(f[0]) + " (PPD cCutterMode CMOD1I)";
    return {mode, "cut position offset: " + str(f[1]) + " mm"};
}

words a_line(std::string_view count)
{
    unsigned long n = 0;
    auto [stop, ec] = std::from_chars(count.data(), count.data() + count.size(), n);
    if (count.empty() || ec != std::errc() || stop != count.data() + count.size())
        return {"print command with a copy count that is not a number: \"" + str(count) + "\""};
    return {"copies: " + std::to_string(n)};
}

// The name after ";" in "d IMG;name" or "I x,y,r;name".
std::string_view image_name(std::string_view args)
{
    size_t semi = args.find(';');
    return semi == std::string_view::npos ? std::string_view() : args.substr(semi + 1);
}

words one_line(std::string_view line, std::string_view downloaded)
{
    if (line == "J")
        return {"start of a label job"};
    if (line.starts_with('A'))
        return a_line(line.substr(1));
    if (line.size() < 2 || line[1] != ' ')
        return {"not known here; shown as it is"};
    std::string_view args = line.substr(2);
    switch (line[0]) {
    case 'e':
        return {"erase stored images: " + str(args) + (args.ends_with(";*") ? " (all of that type)" : "")};
    case 'd':
        return {"download an image: " + str(args) + ", image data follows"};
    case 'm':
        if (args == "m")
            return {"lengths in millimetres"};
        break;
    case 'O':
        return o_line(args);
    case 'H':
        return h_line(args);
    case 'S':
        return s_line(args);
    case 'I': {
        words w = {"print the image \"" + str(image_name(args)) + "\" (fields " + str(args.substr(0, args.find(';'))) +
                   ")"};
        if (!downloaded.empty() && image_name(args) != downloaded)
            w.push_back("but this page downloads the image \"" + str(downloaded) + "\"");
        return w;
    }
    case 'C':
        return c_line(args);
    case 'P':
        return {"peel-off: on", "peel-off displacement: " + str(args) + " mm"};
    }
    return {"not known here; shown as it is"};
}

}  // namespace

std::vector<described_line> describe_lines(const std::vector<std::string> &lines)
{
    std::string_view downloaded;
    bool cutter = false, peeloff = false;
    for (const std::string &line : lines) {
        if (line.starts_with("d "))
            downloaded = image_name(line);
        cutter |= line.starts_with("C ");
        peeloff |= line.starts_with("P ");
    }
    std::vector<described_line> out;
    for (const std::string &line : lines) {
        if (line.starts_with('A')) {
            if (!cutter)
                out.push_back({"(no C line)", {"cutter: off"}, true});
            if (!peeloff)
                out.push_back({"(no P line)", {"peel-off: off"}, true});
        }
        out.push_back({printable(line), one_line(line, downloaded)});
    }
    return out;
}

unsigned guess_resolution(const std::vector<std::string> &lines, unsigned image_lines)
{
    for (const std::string &line : lines) {
        std::string_view code;
        std::vector<std::string_view> f;
        double v[5];
        if (!line.starts_with("S ") || !s_fields(std::string_view(line).substr(2), code, f, v) || !(v[2] > 0))
            continue;
        const double dpi = image_lines * 25.4 / v[2];
        for (unsigned candidate : {200u, 300u, 600u})
            if (std::fabs(dpi - candidate) <= 0.03 * candidate)
                return candidate;
    }
    return 0;
}
