// The test label: one label the size of the loaded label, with a frame at
// its printable edge, a millimetre ruler along its top and left edges, and
// the printer's model, resolution, label size and settings in words. It is
// printed as a PNG job at the printer's resolution, so it takes the same path
// to the printer as any page. (PAPPL 1.3.1 prints PWG raster only as it
// streams in: a PWG raster file, which its Print Test Page button would
// submit, finds no filter and is aborted.)
#pragma once

#include <string>
#include <vector>

#include <pappl/pappl.h>

// What the test label tells about its printer.
struct label_facts {
    std::string model;                  // printer-make-and-model
    unsigned dpi = 0;                   // printer-resolution-default
    int width = 0, length = 0;          // the default label, hundredths of a millimetre
    std::vector<std::string> settings;  // one line of words a setting
};

// A 1-bit picture; rows of (width + 7) / 8 bytes, leftmost dot in the high
// bit, 1 = a burnt dot.
struct mono_bitmap {
    unsigned width = 0, height = 0;
    std::vector<unsigned char> bits;
};

// The facts from a printer's IPP attributes, as Get-Printer-Attributes
// answers them or test_label_attributes gathers them.
label_facts label_facts_from(ipp_t *attrs);

// The test label drawn for these facts; empty without a resolution or size
// (or for one beyond any printer's).
mono_bitmap draw_test_label(const label_facts &facts);

// The attributes label_facts_from reads, from a printer's driver data (the
// caller deletes them).
ipp_t *test_label_attributes(pappl_printer_t *printer);

// PAPPL's test page callback: writes the printer's test label to a PNG file
// in PAPPL's temporary directory (which PAPPL removes when the
// job ends) and names it in `buffer`; null if it can't.
const char *test_label_file(pappl_printer_t *printer, char *buffer, size_t size);

// The sub-command PAPPL lacks, `testpage [-u URI] -d NAME`: asks the server
// (its local socket, or the URI) for the printer's attributes and sends the
// printer its test label. Returns the exit status.
int testpage_command(const char *base_name, int num_options, cups_option_t *options, int, char **, void *);
