// From a job's IPP attributes to its label settings.
//
// The Printer Application chooses, for every printer option of the PPD, the
// choice (keyword and text) that the PPD would have marked, and hands those
// choices to the same setters the filter uses; so a job prints with exactly
// the records, and the bytes, of a filter job with the same settings.
#include "app/ipp_settings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {
const vendor_keyword print_methods[] = {{"thermal-transfer", "Thermal transfer (ribbon)"},
                                        {"direct-thermal", "Direct thermal (no ribbon)"}};
const vendor_keyword backfeeds[] = {{"always", "Always"}, {"when-needed", "Smart (only when needed)"}};
const int cutter_intervals[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 25, 30, 40, 50, 100};
}  // namespace

const vendor_attribute vendor_attributes[vendor_count] = {
    // name            web page text                       syntax                  default       keywords / range
    {"print-method", "Print Method", vendor_syntax::keyword, "thermal-transfer", print_methods, 0, 0, {}},
    {"label-gap", "Gap Between Labels (1/100 mm)", vendor_syntax::integer, "300", {}, 0, 2090, {}},
    {"label-mirror", "Mirror Image", vendor_syntax::boolean, "false", {}, 0, 0, {}},
    {"label-rotate", "Rotate Image", vendor_syntax::boolean, "false", {}, 0, 0, {}},
    {"backfeed", "Back-Feed", vendor_syntax::keyword, "always", backfeeds, 0, 0, {}},
    {"cutter-interval", "Cut After Every N Labels", vendor_syntax::integer, "1", {}, 1, 100, cutter_intervals},
    {"cutter-offset", "Cut Position Offset (1/100 mm)", vendor_syntax::integer, "0", {}, -2090, 2090, {}},
    {"peel-off-offset", "Peel-Off Position (1/100 mm)", vendor_syntax::integer, "0", {}, -2090, 2090, {}},
};

namespace {

// The choices made for one job, looked up by PPD option keyword.
struct choices {
    struct chosen {
        const char *option;
        ppd_choice_t choice;
    };
    std::array<chosen, 25> list{};
    size_t count = 0;

    // Chooses `keyword` (with `text`, by default the keyword) for a PPD option.
    void pick(const char *option, std::string_view keyword, std::string_view text = {})
    {
        chosen &c = list.at(count++);
        c.option = option;
        std::snprintf(c.choice.choice, sizeof c.choice.choice, "%.*s", int(keyword.size()), keyword.data());
        if (text.empty())
            text = keyword;
        std::snprintf(c.choice.text, sizeof c.choice.text, "%.*s", int(text.size()), text.data());
    }

    // Chooses a length as the PPD gives it: an optional sign option (its
    // keywords `plus` and `minus`, texts "+" and "-"), whole millimetres and
    // tenths, from hundredths of a millimetre rounded to the nearest tenth.
    void pick_mm(const char *sign, const char *plus, const char *minus, const char *whole, const char *tenths,
                 int hundredths)
    {
        const int t = (std::abs(hundredths) + 5) / 10;
        if (sign)
            hundredths < 0 && t != 0 ? pick(sign, minus, "-") : pick(sign, plus, "+");
        pick(whole, std::to_string(t / 10));
        pick(tenths, std::to_string(t % 10));
    }

    static const ppd_choice_t *find(const char *keyword, const void *source)
    {
        const choices *self = static_cast<const choices *>(source);
        for (size_t i = 0; i < self->count; i++)
            if (std::strcmp(self->list[i].option, keyword) == 0)
                return &self->list[i].choice;
        return nullptr;
    }
};

// The value of `name` among name=value pairs, or null (cupsGetOption, which
// only reads the list, takes it as not const).
const char *option(const char *name, int count, const cups_option_t *list)
{
    return cupsGetOption(name, count, const_cast<cups_option_t *>(list));
}

// A vendor attribute's value checked against what it supports: a keyword as
// given, a switch as 0 or 1, a number; false if the printer can't take it.
bool vendor_value(std::string_view keyword, const vendor_attribute &attr, int &number)
{
    switch (attr.syntax) {
    case vendor_syntax::keyword:
        return std::any_of(attr.keywords.begin(), attr.keywords.end(),
                           [&](const vendor_keyword &k) { return keyword == k.keyword; });
    case vendor_syntax::boolean:
        number = keyword == "true";
        return keyword == "true" || keyword == "false";
    case vendor_syntax::integer: {
        const char *end = keyword.data() + keyword.size();
        auto [ptr, ec] = std::from_chars(keyword.data(), end, number);
        if (ec != std::errc() || ptr != end || number < attr.min || number > attr.max)
            return false;
        return attr.values.empty() || std::find(attr.values.begin(), attr.values.end(), number) != attr.values.end();
    }
    }
    return false;
}

// A client's text fit for a message: at most 40 characters, anything but
// printable ASCII shown as '?'.
std::string printable(std::string_view text)
{
    std::string out(text.substr(0, 40));
    for (char &c : out)
        if (c < 0x20 || c > 0x7E)
            c = '?';
    return out;
}

// Notes a value the printer can't take and what it prints with instead.
void note(std::string &notes, const std::string &bad, const std::string &used)
{
    notes += (notes.empty() ? "" : "; ") + bad + " is not supported, printed with " + used;
}

// A media-col offset: the job's, else the printer's default, else 0.
int offset(const char *name, int job, int printer, int min, int max, std::string &notes)
{
    const int used = job >= min && job <= max ? job : printer >= min && printer <= max ? printer : 0;
    if (used != job)
        note(notes, std::string(name) + "=" + std::to_string(job), std::to_string(used));
    return used;
}

}  // namespace

std::string settings_from_ipp(const ipp_label_values &in, job_settings &job)
{
    // The vendor attributes: the job's value, the printer's default or the
    // PPD's, the first the printer can take.
    std::string notes;
    std::string_view text[vendor_count];
    int number[vendor_count] = {};
    for (int i = 0; i < vendor_count; i++) {
        const vendor_attribute &attr = vendor_attributes[i];
        const char *job_value = option(attr.name, in.num_vendor, in.vendor);
        const char *printer_value = option(attr.name, in.num_vendor_defaults, in.vendor_defaults);
        std::string bad;
        for (const char *value : {job_value, printer_value, attr.default_value}) {
            if (!value)
                continue;
            text[i] = value;
            if (vendor_value(text[i], attr, number[i]))
                break;
            bad += (bad.empty() ? "" : ", ") + std::string(attr.name) + "=" + printable(value);
        }
        if (!bad.empty())
            note(notes, bad, std::string(text[i]));
    }
    // In the order of vendor_attributes.
    const std::string_view method = text[0], backfeed = text[4];
    const int gap = number[1], mirror = number[2], rotate = number[3], interval = number[5];
    const int cut_offset = number[6], peel_offset = number[7];
    const int left = offset("media-left-offset", in.left_offset, in.default_left_offset, 0, max_left_offset, notes);
    const int top = offset("media-top-offset", in.top_offset, in.default_top_offset, -max_top_offset, max_top_offset,
                           notes);

    const long darkness = std::clamp(long{in.darkness_configured} + in.print_darkness, 0L, 100L);
    const long speed = std::clamp(std::lround(in.print_speed / 2540.0), 1L, 12L);
    const pappl_label_mode_t mode = in.label_mode;
    const bool cutter = mode == PAPPL_LABEL_MODE_CUTTER || mode == PAPPL_LABEL_MODE_CUTTER_DELAYED;
    const auto on_off = [](bool on) { return on ? "True" : "False"; };

    choices c;
    // PPD option             from IPP                                  rule
    c.pick("Heat",            std::to_string(std::lround(darkness / 5.0)));  // (printer-darkness-configured
                                                                        //  + print-darkness) / 5, 0 to 20
    c.pick("Speed",           std::to_string(speed));                   // print-speed in inches a second
    c.pick("LabelSensor",     in.tracking == PAPPL_MEDIA_TRACKING_MARK ? "LSR"         // media-tracking mark,
                            : in.tracking == PAPPL_MEDIA_TRACKING_CONTINUOUS ? "LSE"   // continuous,
                            : "LSD");                                                  // gap and web
    c.pick_mm(nullptr, nullptr, nullptr, "PrnHeadOffsetXVK", "PrnHeadOffsetXNK", left);  // media-left-offset
    c.pick_mm("PrnHeadOffsetYDir", "Plus", "Minus", "PrnHeadOffsetYVK", "PrnHeadOffsetYNK",
              top);                                                     // media-top-offset
    c.pick("TearOffMode",     on_off(mode == PAPPL_LABEL_MODE_TEAR_OFF));  // label-mode-configured tear-off,
    c.pick("PeelOff",         on_off(mode == PAPPL_LABEL_MODE_PEEL_OFF));  // peel-off,
    c.pick("Cutter",          on_off(cutter));                             // cutter and cutter-delayed
    c.pick("cCutterMode",     mode == PAPPL_LABEL_MODE_CUTTER_DELAYED ? "CMOD2E" : "CMOD1I");
    c.pick("PrintMethod",     on_off(method == "thermal-transfer"));  // print-method
    c.pick_mm(nullptr, nullptr, nullptr, "LabelGapVK", "LabelGapNK", gap);            // label-gap
    c.pick("LabelMirrored",   on_off(mirror));                          // label-mirror
    c.pick("LabelRotate",     on_off(rotate));                          // label-rotate
    c.pick("BackFeed",        backfeed == "when-needed" ? "BFS" : "BFA");  // backfeed always, when-needed
    c.pick("cCutterInterval", std::to_string(interval));                // cutter-interval
    c.pick_mm("cCutterOffset1Dir", "Plus", "Minus", "cCutterOffset1VK", "cCutterOffset1NK",
              cut_offset);                                              // cutter-offset
    c.pick_mm("cPeelOffDir", "PODIRP", "PODIRM", "cPeelOffVKVersatz", "cPeelOffNKVersatz",
              peel_offset);                                             // peel-off-offset

    handleChoices(choices::find, &c, job);
    return notes;
}
