// PPD option reading through libcups on arbitrary PPD text and job options,
// then the label job block built from what was read.
//
// Input: the job's options on the first line ("Heat=12 Cutter=True", as the
// scheduler passes them to the filter), the PPD text after it.
//
// Checked: neither setup nor the line builders crash whatever the PPD holds,
// and the option records keep their texts terminated inside their fields (a
// text that runs to the end of its field is no fault the sanitizer can see,
// as the field lies inside the record).
#include <sys/mman.h>

#include <cstring>
#include <string_view>

#include <cups/cups.h>

#include "settings/lines.h"
#include "settings/options.h"
#include "tests/support.h"

namespace {

std::string ppd_path;  // the PPD file, in memory

}  // namespace

// libcups keeps only the last copy of a keyword that a PPD gives twice (its
// file name, model name...) and loses the earlier copy: a leak of a few bytes
// in a short-lived process, and not the filter's. (A PPD that setup leaves
// open is a leak the settings tests show under the sanitizers.)
extern "C" const char *__lsan_default_suppressions() { return "leak:_ppdOpen\n"; }

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const int ppd_fd = memfd_create("ppd", 0);
    FUZZ_CHECK(ppd_fd >= 0, "memory file");
    ppd_path = "/proc/self/fd/" + std::to_string(ppd_fd);
    setenv("PPD", ppd_path.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t newline = input.find('\n');
    const std::string options_text(input.substr(0, newline));
    write_file(ppd_path, newline == input.npos ? bytes() : bytes(data + newline + 1, data + size));

    cups_option_t *options = nullptr;
    const int num_options = cupsParseOptions(options_text.c_str(), 0, &options);
    const job_settings job = setup(num_options, options);
    cupsFreeOptions(num_options, options);

    auto terminated = [](const auto &...texts) {
        (FUZZ_CHECK(std::memchr(texts, 0, sizeof texts), "a text without its NUL:", std::string(texts, sizeof texts)),
         ...);
    };
    terminated(job.s_opt.labelsensor, job.h_opt.heat, job.h_opt.speed, job.h_opt.printmethod, job.o_opt.backfeedmode,
               job.p_opt.peeloffdisp, job.c_opt.cutterinterval, job.c_opt.cutteroffset1);

    label_block({static_cast<uint32_t>(size * 7), static_cast<uint32_t>(size), 1}, job);
    return 0;
}
