// From a job's IPP attributes to its label settings.
//
// The records are filled straight from the values, in their units; the
// ranges and defaults are the catalog's, which the PPDs are made from, so a
// job prints with the records, and the bytes, of a filter job whose PPD
// options stand for the same settings.
#include "app/ipp_settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr size_t max_settings = 32;

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

// A vendor attribute's text as a value the setting takes: a keyword's index,
// 0 or 1, the number, or the length in hundredths of a millimetre; false if
// the printer can't take it.
bool vendor_value(std::string_view text, const printer_setting &s, int &value)
{
    switch (s.kind) {
    case setting_kind::keywords:
        for (size_t i = 0; i < s.choices.size(); i++)
            if (text == s.choices[i].ipp)
                return value = int(i), true;
        return false;
    case setting_kind::on_off:
        value = text == "true";
        return text == "true" || text == "false";
    case setting_kind::number:
    case setting_kind::length: {
        const int unit = s.kind == setting_kind::length ? 10 : 1;
        const char *end = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(text.data(), end, value);
        if (ec != std::errc() || ptr != end || value < s.min * unit || value > s.max * unit)
            return false;
        return s.values.empty() || std::find(s.values.begin(), s.values.end(), value) != s.values.end();
    }
    }
    return false;
}

// The value of `name` among name=value pairs, or null (cupsGetOption, which
// only reads the list, takes it as not const).
const char *option(const char *name, int count, const cups_option_t *list)
{
    return cupsGetOption(name, count, const_cast<cups_option_t *>(list));
}

// A media-col offset: the job's, else the printer's default, else 0.
int offset(const char *name, int job, int printer, int min, int max, std::string &notes)
{
    const int used = job >= min && job <= max ? job : printer >= min && printer <= max ? printer : 0;
    if (used != job)
        note(notes, std::string(name) + "=" + std::to_string(job), std::to_string(used));
    return used;
}

// Hundredths of a millimetre to the nearest tenth, halves away from zero;
// what the PPD's millimetres and tenths can say.
int tenths(int hundredths)
{
    const int t = (std::abs(hundredths) + 5) / 10;
    return hundredths < 0 ? -t : t;
}

// Puts a text the catalog's ranges keep short into a record's field.
template <size_t N>
void set_text(char (&field)[N], const std::string &text)
{
    field[text.copy(field, N - 1)] = '\0';
}

// A length as the PPD's options give it to the printer: an optional sign,
// whole millimetres, ".", tenths.
std::string length_text(const char *plus, int t)
{
    return (t < 0 ? "-" : plus) + std::to_string(std::abs(t) / 10) + "." + std::to_string(std::abs(t) % 10);
}

}  // namespace

std::string vendor_text(const printer_setting &s)
{
    return std::string(s.text) + (s.kind == setting_kind::length ? " (1/100 mm)" : "");
}

std::string vendor_default(const printer_setting &s)
{
    switch (s.kind) {
    case setting_kind::keywords:
        return s.choices[size_t(s.def)].ipp;
    case setting_kind::on_off:
        return s.def ? "true" : "false";
    case setting_kind::number:
        return std::to_string(s.def);
    case setting_kind::length:
        return std::to_string(s.def * 10);
    }
    return {};
}

int max_left_offset() { return setting("PrnHeadOffsetXVK").max * 10; }
int max_top_offset() { return setting("PrnHeadOffsetYVK").max * 10; }
int speed_ipp(int inches) { return inches * 2540; }

std::string settings_from_ipp(const ipp_label_values &in, job_settings &job)
{
    // The vendor attributes: the job's value, the printer's default or the
    // PPD's, the first the printer can take; by the catalog's order.
    std::string notes;
    int vendor[max_settings] = {};
    for (size_t i = 0; i < printer_settings.size() && i < max_settings; i++) {
        const printer_setting &s = printer_settings[i];
        if (!s.ipp)
            continue;
        const std::string fallback = vendor_default(s);
        const char *job_value = option(s.ipp, in.num_vendor, in.vendor);
        const char *printer_value = option(s.ipp, in.num_vendor_defaults, in.vendor_defaults);
        std::string bad, used;
        for (const char *value : {job_value, printer_value, fallback.c_str()}) {
            if (!value)
                continue;
            used = value;
            if (vendor_value(used, s, vendor[i]))
                break;
            bad += (bad.empty() ? "" : ", ") + std::string(s.ipp) + "=" + printable(value);
        }
        if (!bad.empty())
            note(notes, bad, used);
    }
    const auto value = [&](const char *ppd) { return vendor[&setting(ppd) - printer_settings.data()]; };
    const int left = offset("media-left-offset", in.left_offset, in.default_left_offset, 0, max_left_offset(), notes);
    const int top = offset("media-top-offset", in.top_offset, in.default_top_offset, -max_top_offset(),
                           max_top_offset(), notes);

    // Heat: printer-darkness-configured plus print-darkness, 0 to 100 %, in
    // the Heat's steps (5 % for 0 to 20); speed: print-speed in whole inches
    // a second, within the Speed's range.
    const printer_setting &heat = setting("Heat"), &speed = setting("Speed");
    const long darkness = std::clamp(long{in.darkness_configured} + in.print_darkness, 0L, 100L);
    const long level = std::lround(double(darkness) / double(100 / heat.max));
    const long inches = std::clamp(std::lround(double(in.print_speed) / speed_ipp(1)), long{speed.min},
                                   long{speed.max});
    const pappl_label_mode_t mode = in.label_mode;
    const bool cutter = mode == PAPPL_LABEL_MODE_CUTTER || mode == PAPPL_LABEL_MODE_CUTTER_DELAYED;
    const pappl_media_tracking_t tracking = in.tracking;

    // record field               value                                         IPP attribute (unit)
    set_text(job.h_opt.heat,      std::to_string(level));                       // darkness (%)
    set_text(job.h_opt.speed,     std::to_string(inches));                      // print-speed (1/100 mm/s)
    set_text(job.h_opt.printmethod, value("PrintMethod") == 0 ? "T" : "D");     // print-method
    job.o_opt.labelmirrored     = value("LabelMirrored");                       // label-mirror
    job.o_opt.labelrotate       = value("LabelRotate");                         // label-rotate
    job.o_opt.tearoffmode       = mode == PAPPL_LABEL_MODE_TEAR_OFF;            // label-mode-configured
    set_text(job.o_opt.backfeedmode, value("BackFeed") == 0 ? "D" : "P");       // backfeed
    job.p_opt.peeloffmode       = mode == PAPPL_LABEL_MODE_PEEL_OFF;            // label-mode-configured
    if (job.p_opt.peeloffmode)                                                  // peel-off-offset (1/100 mm)
        set_text(job.p_opt.peeloffdisp, length_text("", tenths(value("cPeelOffVKVersatz"))));
    set_text(job.s_opt.labelsensor, tracking == PAPPL_MEDIA_TRACKING_MARK ? "l0"  // media-tracking: mark,
                                    : tracking == PAPPL_MEDIA_TRACKING_CONTINUOUS ? "e"  // continuous,
                                    : "l1");                                    // gap and web
    job.s_opt.displacementx     = tenths(left) / 10.0;                          // media-left-offset (1/100 mm)
    job.s_opt.displacementy     = tenths(top) / 10.0;                           // media-top-offset (1/100 mm)
    job.s_opt.labelgap          = tenths(value("LabelGapVK")) / 10.0;           // label-gap (1/100 mm)
    job.c_opt.cutter            = cutter;                                       // label-mode-configured
    if (cutter) {
        job.c_opt.cuttermode    = mode == PAPPL_LABEL_MODE_CUTTER ? 1 : 2;      // label-mode-configured
        if (job.c_opt.cuttermode == 1)
            set_text(job.c_opt.cutterinterval, std::to_string(value("cCutterInterval")));  // cutter-interval
        set_text(job.c_opt.cutteroffset1,                                       // cutter-offset (1/100 mm)
                 length_text("+", tenths(value("cCutterOffset1VK"))));
    }
    return notes;
}
