// Reading the queue's PPD and the job's options into the option records.
//
// Options with a fixed set of values are recognised by the choice keyword;
// options that carry numbers, signs or free text carry them in the choice's
// text. Numbers with a fraction come as two options, the integer part (keyword
// ending in VK) and the fraction part (NK), joined as "VK.NK".
#include "settings/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "settings/models.h"

namespace {

bool is_true(const ppd_choice_t *c)
{
    return std::strcmp(c->choice, "True") == 0 || std::strcmp(c->choice, "true") == 0;
}

// Copies a text into a fixed field; a text too long for it is cut, and said so.
template <size_t N>
void copy_field(char (&field)[N], std::string_view text, const char *what)
{
    size_t n = text.size();
    if (n > N - 1) {
        std::fprintf(stderr, "ERROR: zel - %s - Text too long, cut to %zu characters ...\n", what, N - 1);
        n = N - 1;
    }
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

struct ppd_closer {
    void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};

}  // namespace

std::string calcNumberOpt(std::string_view integer, std::string_view fraction)
{
    std::string number;
    number.reserve(integer.size() + 1 + fraction.size());
    number.append(integer).append(".").append(fraction);
    return number;
}

void set_Heat(h_opt_t &h_opt, const ppd_choice_t *heat) { copy_field(h_opt.heat, heat->text, "Heat"); }

void set_PrintMethod(h_opt_t &h_opt, const ppd_choice_t *method)
{
    std::strcpy(h_opt.printmethod, is_true(method) ? "T" : "D");
}

void set_Speed(h_opt_t &h_opt, const ppd_choice_t *speed) { copy_field(h_opt.speed, speed->text, "Speed"); }

void set_LabelMirrored(o_opt_t &o_opt, const ppd_choice_t *mirrored) { o_opt.labelmirrored = is_true(mirrored); }

void set_LabelRotate(o_opt_t &o_opt, const ppd_choice_t *rotate) { o_opt.labelrotate = is_true(rotate); }

void set_TearOffMode(o_opt_t &o_opt, const ppd_choice_t *tearoff) { o_opt.tearoffmode = is_true(tearoff); }

void set_BackfeedMode(o_opt_t &o_opt, const ppd_choice_t *backfeed)
{
    if (std::strcmp(backfeed->choice, "BFA") == 0) {
        std::strcpy(o_opt.backfeedmode, "D");
    } else if (std::strcmp(backfeed->choice, "BFS") == 0) {
        std::strcpy(o_opt.backfeedmode, "P");
    } else {
        std::fputs("ERROR: Backfeed Mode - Not available options ...\n", stderr);
        std::strcpy(o_opt.backfeedmode, "ERR");
    }
}

void set_PeelOffMode(p_opt_t &p_opt, const ppd_choice_t *peeloff) { p_opt.peeloffmode = is_true(peeloff); }

void set_PeelOffDisp(p_opt_t &p_opt, const ppd_choice_t *dir, const ppd_choice_t *integer, const ppd_choice_t *fraction)
{
    // The dispenser direction is told by its keyword: minus or not.
    std::string disp = std::strcmp(dir->choice, "PODIRM") == 0 ? "-" : "";
    disp += calcNumberOpt(integer->text, fraction->text);
    copy_field(p_opt.peeloffdisp, disp, "PeelOff displacement");
}

void set_LabelSensor(s_opt_t &s_opt, const ppd_choice_t *sensor)
{
    if (std::strncmp(sensor->choice, "LSD", 3) == 0) {
        std::strcpy(s_opt.labelsensor, "l1");
    } else if (std::strncmp(sensor->choice, "LSR", 3) == 0) {
        std::strcpy(s_opt.labelsensor, "l0");
    } else if (std::strncmp(sensor->choice, "LSE", 3) == 0) {
        std::strcpy(s_opt.labelsensor, "e");
    } else {
        std::fputs("ERROR: Label Sensor - Option is not available ...\n", stderr);
        std::strcpy(s_opt.labelsensor, "ERR");
    }
}

void set_LabelGap(s_opt_t &s_opt, const ppd_choice_t *integer, const ppd_choice_t *fraction)
{
    s_opt.labelgap = std::atof(calcNumberOpt(integer->text, fraction->text).c_str());
}

void set_DisplacementX(s_opt_t &s_opt, const ppd_choice_t *integer, const ppd_choice_t *fraction)
{
    s_opt.displacementx = std::atof(calcNumberOpt(integer->text, fraction->text).c_str());
}

void set_DisplacementY(s_opt_t &s_opt, const ppd_choice_t *dir, const ppd_choice_t *integer, const ppd_choice_t *fraction)
{
    // The direction choice's text is the number's sign.
    std::string number = dir->text + calcNumberOpt(integer->text, fraction->text);
    s_opt.displacementy = std::atof(number.c_str());
}

void set_Cutter(c_opt_t &c_opt, const ppd_choice_t *cutter) { c_opt.cutter = is_true(cutter); }

void setCutterMode(c_opt_t &c_opt, const ppd_choice_t *mode)
{
    if (std::strcmp(mode->choice, "CMOD1I") == 0) {
        c_opt.cuttermode = 1;
    } else if (std::strcmp(mode->choice, "CMOD2E") == 0) {
        c_opt.cuttermode = 2;
    } else {
        std::fputs("ERROR: Cutter Mode - Option is not available ...\n", stderr);
        c_opt.cuttermode = 0;
    }
}

void set_CutterInterval(c_opt_t &c_opt, const ppd_choice_t *interval)
{
    copy_field(c_opt.cutterinterval, interval->text, "cCutterInterval");
}

void set_CutterOffset1(c_opt_t &c_opt, const ppd_choice_t *dir, const ppd_choice_t *integer, const ppd_choice_t *fraction)
{
    // The direction choice's text is the offset's sign.
    std::string offset = dir->text + calcNumberOpt(integer->text, fraction->text);
    copy_field(c_opt.cutteroffset1, offset, "cCutterOffset1");
}

void handleMarkedPPDOptions(ppd_file_t *ppd, job_settings &job)
{
    // Each option's setter runs only when there is a choice for it (for a
    // group: for every keyword of the group); a missing option is reported.
    auto find = [&](const char *keyword) {
        const ppd_choice_t *choice = ppdFindMarkedChoice(ppd, keyword);
        if (!choice)
            std::fprintf(stderr, "ERROR: zel - Option %s is missing in the PPD ...\n", keyword);
        return choice;
    };
    auto one = [&](const char *keyword, auto &record, auto setter) {
        if (const ppd_choice_t *c = find(keyword))
            setter(record, c);
    };
    auto two = [&](const char *k1, const char *k2, auto &record, auto setter) {
        const ppd_choice_t *c1 = find(k1);
        const ppd_choice_t *c2 = find(k2);
        if (c1 && c2)
            setter(record, c1, c2);
    };
    auto three = [&](const char *k1, const char *k2, const char *k3, auto &record, auto setter) {
        const ppd_choice_t *c1 = find(k1);
        const ppd_choice_t *c2 = find(k2);
        const ppd_choice_t *c3 = find(k3);
        if (c1 && c2 && c3)
            setter(record, c1, c2, c3);
    };

    one("Heat", job.h_opt, set_Heat);
    one("PrintMethod", job.h_opt, set_PrintMethod);
    one("Speed", job.h_opt, set_Speed);
    one("LabelMirrored", job.o_opt, set_LabelMirrored);
    one("LabelRotate", job.o_opt, set_LabelRotate);
    one("TearOffMode", job.o_opt, set_TearOffMode);
    one("BackFeed", job.o_opt, set_BackfeedMode);
    one("PeelOff", job.p_opt, set_PeelOffMode);
    if (job.p_opt.peeloffmode == 1)
        three("cPeelOffDir", "cPeelOffVKVersatz", "cPeelOffNKVersatz", job.p_opt, set_PeelOffDisp);
    one("LabelSensor", job.s_opt, set_LabelSensor);
    two("LabelGapVK", "LabelGapNK", job.s_opt, set_LabelGap);
    two("PrnHeadOffsetXVK", "PrnHeadOffsetXNK", job.s_opt, set_DisplacementX);
    three("PrnHeadOffsetYDir", "PrnHeadOffsetYVK", "PrnHeadOffsetYNK", job.s_opt, set_DisplacementY);
    one("Cutter", job.c_opt, set_Cutter);
    if (job.c_opt.cutter == 1) {
        one("cCutterMode", job.c_opt, setCutterMode);
        if (job.c_opt.cuttermode == 1)
            one("cCutterInterval", job.c_opt, set_CutterInterval);
        three("cCutterOffset1Dir", "cCutterOffset1VK", "cCutterOffset1NK", job.c_opt, set_CutterOffset1);
    }
}

job_settings setup(int num_options, cups_option_t *options)
{
    job_settings job{};
    const char *path = std::getenv("PPD");
    std::unique_ptr<ppd_file_t, ppd_closer> ppd(path ? ppdOpenFile(path) : nullptr);
    if (!ppd) {
        // Without a PPD every record stays zero and the job still prints.
        job.modelnumber = -1;
        if (path) {
            int line = 0;
            ppd_status_t status = ppdLastError(&line);
            if (status == PPD_FILE_OPEN_ERROR)
                std::fprintf(stderr, "ERROR: zel - Unable to open PPD file - %s: %s\n", path, std::strerror(errno));
            else
                std::fprintf(stderr, "ERROR: zel - Unable to open PPD file - %s: %s on line %d\n", path,
                             ppdErrorString(status), line);
        }
        return job;
    }

    job.modelnumber = ppd->model_number;
    job.printwidth = getPrintingWidth(job.modelnumber);

    ppdMarkDefaults(ppd.get());
    int conflicts = cupsMarkOptions(ppd.get(), num_options, options);
    if (conflicts != 0) {
        std::fprintf(stderr, "ERROR: Driver conflicts occurred: %d conflicts ...\n", conflicts);
        std::fputs("ERROR: Report this, please. Thank you!\n", stderr);
    }

    handleMarkedPPDOptions(ppd.get(), job);
    return job;
}
