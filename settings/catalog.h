// What the printers offer, written once: the label sizes and every printer
// setting with its choices, range and default. The PPDs' driver source is
// generated from it (ppd/make_drv.cpp), and the Printer Application builds
// its drivers and IPP attributes from it.
#pragma once

#include <span>

#include "settings/models.h"

// A label size the PPDs offer, and the app as a PWG media size.
struct label_size {
    const char *ppd;           // PPD size name ("Rotated": wider than long, as it runs through the printer)
    const char *text;          // what the PPD shows: width across the web first
    const char *width;         // across the web, as the driver source gives it ("38mm", "2in")
    const char *length;        // along the web
    const char *pwg;           // PWG self-describing name
    double narrowest;          // the narrowest printing width, mm, of the models that take it
};
extern const std::span<const label_size> label_sizes;

// Custom labels: from 10 x 5 mm up to the model's printing width and a metre long.
constexpr int min_custom_width = 10, min_custom_length = 5, max_custom_length = 1000;  // mm

// The label a new queue or printer has loaded: 100 x 50 mm, or 50 x 30 mm
// on the narrow models.
const label_size &default_label(const printer_model &model);

// How a setting is chosen: one of some keywords, on or off, a whole number,
// or a length in tenths of a millimetre (which the PPD offers as two
// options, whole millimetres and tenths, and for a signed length a third,
// the direction).
enum class setting_kind { keywords, on_off, number, length };

// A choice of a keyword or on/off setting or a length's direction: its PPD
// keyword and text, and its IPP keyword.
struct setting_choice {
    const char *ppd;
    const char *text;
    const char *ipp;
};

struct printer_setting {
    const char *group;    // the PPD group, "keyword/text"
    setting_kind kind;
    const char *ppd;      // the PPD option's keyword; a length's: that of its whole millimetres
    const char *text;     // what the PPD and the web page call it
    std::span<const setting_choice> choices;  // keywords; on/off: off, on; a signed length's direction: +, -
    int min, max;         // a number's range; a length's, in tenths of a millimetre
    int def;              // the default: index into choices, the number, or the length
    std::span<const int> values;  // a number's values, where not every one from min to max
    const char *tenths;   // a length: the PPD keyword of its tenths
    const char *sign;     // a signed length: the PPD keyword of its direction
    const char *ipp;      // the app's own IPP attribute for it, or null (a standard one, or none)
};
extern const std::span<const printer_setting> printer_settings;

// The setting of this PPD keyword (a length's whole millimetres'); it must be one.
const printer_setting &setting(const char *ppd);
