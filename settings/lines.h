// Builders of the label command lines. Each replaces the contents of `line`
// with one whole command line, CR LF included; writing it is the caller's.
#pragma once

#include <cstdint>
#include <string>

#include "settings/options.h"

// The label a page prints on, as the label job block names it: its size as
// the page size gives it, and how many copies to print.
struct label_format {
    uint32_t width;   // across the web, points (1/72 inch)
    uint32_t length;  // along the web, points
    unsigned copies;  // 0 prints one
};

// O line: mirror, rotate, tear-off and backfeed. Always 1: always written.
int get_o_opt(std::string &line, const o_opt_t &o_opt);

// H line: speed, heat, print method.
std::string &get_h_opt(std::string &line, const h_opt_t &h_opt);

// S line: sensor, displacements, label height, pitch and printable width in
// mm, from the label's size limited to `printwidth`.
std::string &get_s_opt(std::string &line, const s_opt_t &s_opt, const label_format &label, double printwidth);

// C line: 1 when the cutter is on (line built), else 0 (line untouched).
int get_c_opt(std::string &line, const c_opt_t &c_opt);

// P line: the peel-off switch; the line is built only when it is 1.
int get_p_opt(std::string &line, const p_opt_t &p_opt);

// The label job block that follows a page's image download: the "m m", J, O, H,
// S, I, C, P and A lines for this label and job.
std::string label_block(const label_format &label, const job_settings &job);

// Points (1/72 inch) to millimetres.
double convPPItomm(uint32_t points);
