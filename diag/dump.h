// Diagnostic dumps to standard error, for looking into a job by hand.
#pragma once

#include <cups/ppd.h>
#include <cups/raster.h>

// Every field of a raster page header, one DEBUG line each (41 lines).
void dump_pgHeader(const cups_page_header_t *header);

// One PPD option with each choice and whether it is marked.
void dump_ppdOption(const ppd_file_t *ppd, const char *keyword);
