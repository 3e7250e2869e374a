// Builders of the label command lines. Each replaces the contents of `line`
// with one whole command line, CR LF included; writing it is the caller's.
#pragma once

#include <cstdint>
#include <string>

#include <cups/raster.h>

// O line: mirror, rotate, tear-off and backfeed. Always 1: always written.
int get_o_opt(std::string &line);

// H line: speed, heat, print method.
std::string &get_h_opt(std::string &line);

// S line: sensor, displacements, label height, pitch and printable width in
// mm, from the page size limited to `printwidth`.
std::string &get_s_opt(std::string &line, const cups_page_header_t *header, double printwidth);

// C line: 1 when the cutter is on (line built), else 0 (line untouched).
int get_c_opt(std::string &line);

// P line: the peel-off switch; the line is built only when it is 1.
int get_p_opt(std::string &line);

// Points (1/72 inch) to millimetres.
double convPPItomm(uint32_t points);
