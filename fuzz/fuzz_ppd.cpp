// PPD option reading through libcups on arbitrary PPD text and job options,
// then the label command line builders on what was read.
//
// Input: the job's options on the first line ("Heat=12 Cutter=True", as the
// scheduler passes them to the filter), the PPD text after it.
//
// Checked: setup never crashes whatever the PPD holds; the option records
// keep their texts terminated inside their fields and their switches and
// codes in range; each built line begins with its letter, ends in CR LF and
// holds no NUL; the C and P builders leave the line alone when their device
// is off. A choice text is written as the PPD gives it, so a PPD whose text
// holds a line break (in hex, "<0D0A>") does break the line: that is the
// PPD's doing, and only lines ending otherwise are faults.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <cups/cups.h>

#include "settings/lines.h"
#include "settings/options.h"

namespace {

int ppd_fd = -1;
int ppds_open = 0;  // opened and not yet closed

[[noreturn]] void fail(const char *what, const std::string &detail = "")
{
    std::fprintf(stderr, "fuzz_ppd: %s %s\n", what, detail.c_str());
    std::abort();
}

template <size_t N>
std::string_view field(const char (&text)[N], const char *name)
{
    const void *end = std::memchr(text, 0, N);
    if (!end)
        fail("text field without its NUL:", name);
    return std::string_view(text, static_cast<const char *>(end) - text);
}

bool one_of(std::string_view text, std::initializer_list<std::string_view> allowed)
{
    for (std::string_view a : allowed)
        if (text == a)
            return true;
    return false;
}

void check_line(const std::string &line, char letter)
{
    const std::string shown = "\"" + line + "\"";
    if (line.size() < 4 || line[0] != letter || line[1] != ' ')
        fail("line does not begin with its command:", shown);
    if (!line.ends_with("\r\n"))
        fail("line does not end in CR LF:", shown);
    if (line.find('\0') != line.npos)
        fail("NUL inside a line:", shown);
}

}  // namespace

// libcups keeps only the last copy of a keyword that a PPD gives twice (its
// file name, model name...) and loses the earlier copy: a leak of a few bytes
// in a short-lived process, and not the filter's. Leaks of the PPD itself
// are caught by counting the opens and closes below.
extern "C" const char *__lsan_default_suppressions() { return "leak:_ppdOpen\n"; }

extern "C" ppd_file_t *__real_ppdOpenFile(const char *path);
extern "C" void __real_ppdClose(ppd_file_t *ppd);

extern "C" ppd_file_t *__wrap_ppdOpenFile(const char *path)
{
    ppd_file_t *ppd = __real_ppdOpenFile(path);
    ppds_open += ppd != nullptr;
    return ppd;
}

extern "C" void __wrap_ppdClose(ppd_file_t *ppd)
{
    ppds_open -= ppd != nullptr;
    __real_ppdClose(ppd);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ppd_fd = memfd_create("ppd", 0);
    if (ppd_fd < 0)
        fail("cannot make the PPD file");
    setenv("PPD", ("/proc/self/fd/" + std::to_string(ppd_fd)).c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t newline = input.find('\n');
    const std::string options_text(input.substr(0, newline));
    const std::string_view ppd = newline == input.npos ? std::string_view() : input.substr(newline + 1);
    if (ftruncate(ppd_fd, 0) != 0 ||
        (!ppd.empty() && pwrite(ppd_fd, ppd.data(), ppd.size(), 0) != static_cast<ssize_t>(ppd.size())))
        fail("cannot write the PPD file");

    cups_option_t *options = nullptr;
    const int num_options = cupsParseOptions(options_text.c_str(), 0, &options);
    const job_settings job = setup(num_options, options);
    const auto &[s_opt, h_opt, o_opt, p_opt, c_opt, modelnumber, printwidth] = job;
    cupsFreeOptions(num_options, options);
    if (ppds_open != 0)
        fail("setup left the PPD open");

    if (!one_of(field(s_opt.labelsensor, "labelsensor"), {"", "l1", "l0", "e", "ERR"}))
        fail("label sensor code", s_opt.labelsensor);
    if (!one_of(field(h_opt.printmethod, "printmethod"), {"", "T", "D"}))
        fail("print method code", h_opt.printmethod);
    if (!one_of(field(o_opt.backfeedmode, "backfeedmode"), {"", "D", "P", "ERR"}))
        fail("backfeed code", o_opt.backfeedmode);
    field(h_opt.heat, "heat");
    field(h_opt.speed, "speed");
    const bool peeloff_text = !field(p_opt.peeloffdisp, "peeloffdisp").empty();
    const bool cutter_text =
        !field(c_opt.cutterinterval, "cutterinterval").empty() || !field(c_opt.cutteroffset1, "cutteroffset1").empty();
    for (int sw : {o_opt.labelmirrored, o_opt.labelrotate, o_opt.tearoffmode, p_opt.peeloffmode, c_opt.cutter})
        if (sw != 0 && sw != 1)
            fail("switch neither 0 nor 1", std::to_string(sw));
    if (c_opt.cuttermode < 0 || c_opt.cuttermode > 2)
        fail("cutter mode", std::to_string(c_opt.cuttermode));
    if ((peeloff_text && p_opt.peeloffmode != 1) || (cutter_text && c_opt.cutter != 1) ||
        (c_opt.cutterinterval[0] && c_opt.cuttermode != 1))
        fail("a field was set for a device that is off");
    if (printwidth < 0.0 || (modelnumber == -1 && printwidth != 0.0))
        fail("printing width", std::to_string(printwidth));

    std::string line;
    get_o_opt(line, o_opt);
    check_line(line, 'O');
    check_line(get_h_opt(line, h_opt), 'H');
    cups_page_header_t header = {};
    const uint32_t sizes[][2] = {{283, 142}, {0, 0}, {UINT32_MAX, UINT32_MAX},
                                 {static_cast<uint32_t>(size * 7), static_cast<uint32_t>(size)}};
    for (const auto &s : sizes) {
        header.PageSize[0] = s[0];
        header.PageSize[1] = s[1];
        check_line(get_s_opt(line, s_opt, &header, printwidth), 'S');
    }
    line = "untouched";
    if (get_c_opt(line, c_opt) == 1)
        check_line(line, 'C');
    else if (line != "untouched" || c_opt.cutter == 1)
        fail("C line built with the cutter off");
    line = "untouched";
    if (get_p_opt(line, p_opt) == 1)
        check_line(line, 'P');
    else if (line != "untouched" || p_opt.peeloffmode == 1)
        fail("P line built with peel-off off");
    return 0;
}
