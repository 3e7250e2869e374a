// From a job's IPP attributes to the printer settings the label job block is
// built from: the same records the filter fills from its PPD.
#pragma once

#include <string>

#include <pappl/pappl.h>

#include "settings/catalog.h"
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

// The app's own IPP attributes are the catalog's settings that name one
// (printer_setting::ipp): keywords as keywords, on/off as booleans, numbers
// as integers and lengths as integers in hundredths of a millimetre.

// What the web page calls a vendor attribute.
std::string vendor_text(const printer_setting &s);

// A vendor attribute's default (the PPD's), as IPP text.
std::string vendor_default(const printer_setting &s);

// The printer's ranges of the standard attributes, from the catalog.
int max_left_offset();   // media-left-offset, hundredths of mm (from 0)
int max_top_offset();    // media-top-offset, hundredths of mm (either way)
int speed_ipp(int inches);  // print-speed of a speed in inches a second

// Fills `job` (its model already set) from the IPP values. A value the
// printer can't take (an unknown keyword, a number out of range, any text
// that is not one of its values) is never passed on: the printer's default
// stands in for it, or the PPD's where the printer's can't be taken either.
// Returns "" or, for the job's message, what was replaced and by what.
std::string settings_from_ipp(const ipp_label_values &in, job_settings &job);
