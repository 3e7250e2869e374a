// libFuzzer target: a job's IPP values, as any client may send them, and
// the printer's defaults, as an administrator may set them, through the
// mapping to the label job block. Whatever the values, the message naming
// what was replaced is printable, and every line of the block is one the
// printer's syntax allows: no stray CR, LF, ESC or NUL, no ';' or ',' where
// they would start another field, numbers in their ranges.
//
// Input: nine 32-bit numbers (darkness configured, print-darkness,
// print-speed, media-tracking, top and left offset, label mode, the
// printer's default top and left offset), then vendor attributes separated
// by NUL bytes, each a byte choosing the attribute (its top bit: the
// printer's default rather than the job's value) and its value's text.
#include <algorithm>
#include <cstring>
#include <regex>

#include "app/ipp_settings.h"
#include "settings/lines.h"
#include "tests/support.h"

namespace {

// The block's lines as the printer reads them.
const std::regex line_syntax(
    "m m|J|O ((M|R|T),)*(D|P)|H ([0-9]|1[0-2]),([0-9]|1[0-9]|20),(T|D)|"
    "S (l1|l0|e);-?[0-9]+\\.[0-9]{2},-?[0-9]+\\.[0-9]{2},[0-9]+\\.[0-9]{2},[0-9]+\\.[0-9]{2},-?[0-9]+\\.[0-9]|"
    "I 0,0,0;cups|C ([0-9]{1,3}|e),[+-][0-9]{1,2}\\.[0-9]|P -?[0-9]{1,2}\\.[0-9]|A[0-9]+");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int32_t n[9] = {};
    const size_t head = std::min(size, sizeof n);
    std::memcpy(n, data, head);
    ipp_label_values in = {n[0], n[1], n[2], pappl_media_tracking_t(n[3]), n[4], n[5], pappl_label_mode_t(n[6])};
    in.default_top_offset = n[7], in.default_left_offset = n[8];

    std::vector<std::string> values;  // the NUL-ended pieces: a byte choosing the attribute, then its value
    for (size_t at = head, end; at < size; at = end + 1)
        if ((end = size_t(std::find(data + at, data + size, 0) - data)) > at)
            values.emplace_back(reinterpret_cast<const char *>(data + at), end - at);
    std::vector<const char *> names;
    for (const printer_setting &s : printer_settings)
        if (s.ipp)
            names.push_back(s.ipp);
    std::vector<cups_option_t> vendor, defaults;
    for (std::string &v : values)
        (v[0] & 0x80 ? defaults : vendor)
            .push_back({const_cast<char *>(names[size_t(v[0] & 0x7F) % names.size()]), v.data() + 1});
    in.num_vendor = int(vendor.size());
    in.vendor = vendor.data();
    in.num_vendor_defaults = int(defaults.size());
    in.vendor_defaults = defaults.data();

    job_settings job = {};
    job.modelnumber = 343, job.printwidth = 105.6;
    const std::string replaced = settings_from_ipp(in, job);
    FUZZ_CHECK(std::all_of(replaced.begin(), replaced.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }),
               replaced);

    const std::string block = label_block({283, 142, 3}, job);
    FUZZ_CHECK(block.size() >= 2 && block.ends_with("\r\n"), block);
    for (size_t at = 0; at < block.size();) {
        const size_t end = block.find("\r\n", at);
        const std::string line = block.substr(at, end - at);
        FUZZ_CHECK(std::regex_match(line, line_syntax), line);
        at = end + 2;
    }
    return 0;
}
