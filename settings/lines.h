// Builders of the label command lines. Each replaces the contents of `line`
// with one whole command line, CR LF included; writing it is the caller's.
#pragma once

#include <cstdint>
#include <string>

#include <cups/raster.h>

#include "settings/options.h"

// O line: mirror, rotate, tear-off and backfeed. Always 1: always written.
int get_o_opt(std::string &line, const o_opt_t &o_opt);

// H line: speed, heat, print method.
std::string &get_h_opt(std::string &line, const h_opt_t &h_opt);

// S line: sensor, displacements, label height, pitch and printable width in
// mm, from the page size limited to `printwidth`.
std::string &get_s_opt(std::string &line, const s_opt_t &s_opt, const cups_page_header_t *header,
                       double printwidth);

// C line: 1 when the cutter is on (line built), else 0 (line untouched).
int get_c_opt(std::string &line, const c_opt_t &c_opt);

// P line: the peel-off switch; the line is built only when it is 1.
int get_p_opt(std::string &line, const p_opt_t &p_opt);

// The label job block that follows a page's image download: the end of the
// download, then the J, O, H, S, I, C, P and A lines for this page and job.
std::string label_block(const cups_page_header_t &header, const job_settings &job);

// Points (1/72 inch) to millimetres.
double convPPItomm(uint32_t points);
