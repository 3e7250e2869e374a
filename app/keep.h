// The printer settings PAPPL 1.3.1 loses across a restart, kept by the app in
// a small file of its own beside the state file ("STATE.settings"):
//  - printer-darkness-configured 0 (its state file leaves out a darkness of
//    0, and the driver's 50 comes back);
//  - print-speed-default (Set-Printer-Attributes sets it, but PAPPL neither
//    reports nor saves it);
//  - the image offsets of the default and the loaded labels (its state file
//    leaves media-col's top-offset and left-offset out).
#pragma once

#include <string>

#include <pappl/pappl.h>

// One printer's kept settings, as the file holds them.
struct kept_settings {
    int printer_id = 0;
    int darkness_configured = 0, darkness_default = 0, speed_default = 0;
    int default_top = 0, default_left = 0;  // media-col-default's offsets
    int ready_top = 0, ready_left = 0;      // the loaded label's
};

// The settings as one line of the file.
std::string kept_line(const kept_settings &k);

// Reads one line of the file; false for a line that isn't one.
bool parse_kept_line(const std::string &line, kept_settings &k);

// Writes the file for the system's printers (after PAPPL saved its state).
bool keep_save(pappl_system_t *system, const std::string &state_file);

// Puts the kept settings back (after PAPPL loaded its state).
void keep_load(pappl_system_t *system, const std::string &state_file);

// Reports a printer's print-speed-default when it differs from the speed
// its jobs use (PAPPL 1.3.1 keeps the value but leaves it out of the
// printer's attributes).
void report_speed(pappl_printer_t *printer);
