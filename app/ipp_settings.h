// From a job's IPP attributes to the printer settings the label job block is
// built from: the same records the filter fills from its PPD.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <pappl/pappl.h>

#include "settings/options.h"

// What decides a job's label settings, as PAPPL hands it to the driver:
// standard attributes as numbers, the driver's own (vendor) attributes as the
// texts of name=value pairs; and the printer's defaults, which stand in for
// a job's value the printer can't take.
struct ipp_label_values {
    int darkness_configured;          // printer-darkness-configured, 0 to 100
    int print_darkness;               // print-darkness, -100 to 100
    int print_speed;                  // print-speed, hundredths of mm per second
    pappl_media_tracking_t tracking;  // media-col's media-tracking
    int top_offset;                   // media-col's media-top-offset, hundredths of mm
    int left_offset;                  // media-col's media-left-offset, hundredths of mm
    pappl_label_mode_t label_mode;    // label-mode-configured
    int num_vendor = 0;               // the job's vendor attributes
    const cups_option_t *vendor = nullptr;
    int num_vendor_defaults = 0;      // the printer's vendor attributes' defaults
    const cups_option_t *vendor_defaults = nullptr;
    int default_top_offset = 0;       // the printer's media-col-default's offsets
    int default_left_offset = 0;
};

// A vendor attribute of the driver: a keyword, a switch or a number.
enum class vendor_syntax { keyword, boolean, integer };

// A supported keyword and what the web page shows for it (the PPD's text).
struct vendor_keyword {
    const char *keyword;
    const char *text;
};

struct vendor_attribute {
    const char *name;           // IPP name; "-default" and "-supported" are added
    const char *text;           // what the web page calls it (the PPD's text)
    vendor_syntax syntax;
    const char *default_value;  // the PPD's default, as IPP text
    std::span<const vendor_keyword> keywords;  // keyword: the supported keywords
    int min, max;                              // integer: the supported range
    std::span<const int> values;               // integer: the supported values where not a range
};

constexpr int vendor_count = 8;
extern const vendor_attribute vendor_attributes[vendor_count];

// Lengths of the printer's adjustments, hundredths of a millimetre.
constexpr int max_left_offset = 2090;  // image shift across the web, 0 to 20.9 mm
constexpr int max_top_offset = 3090;   // image shift along the web, -30.9 to 30.9 mm

// Heat, speed and media-col ranges the printers support.
constexpr int min_speed = 2540, max_speed = 30480, default_speed = 10160;  // 1 to 12 in/s, 4 in/s

// Fills `job` (its model already set) from the IPP values. A value the
// printer can't take (an unknown keyword, a number out of range, any text
// that is not one of its values) is never passed on: the printer's default
// stands in for it, or the PPD's where the printer's can't be taken either.
// Returns "" or, for the job's message, what was replaced and by what.
std::string settings_from_ipp(const ipp_label_values &in, job_settings &job);
