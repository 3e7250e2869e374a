// The printer family: each model's number, name, resolution and widest
// printable image; the PPDs and the Printer Application's drivers are made
// from this table.
#pragma once

#include <cstddef>
#include <cstdint>

struct printer_model {
    int32_t number;     // the PPD's *cupsModelNumber
    double printwidth;  // widest image the head can print, millimetres
    const char *name;   // designation "/" resolution in dpi, at most 14 characters
    int dpi;            // dots per inch, across and along the web
};

constexpr size_t model_count = 31;
extern const printer_model model_table[model_count];

// Widest printable image of a model, in millimetres; 0.0 (with two ERROR
// lines) for a model number we do not know.
double getPrintingWidth(int32_t model);

// Copies the model's display name into `buffer` (at least 22 bytes); for an
// unknown model, "Unknown printer model" and one ERROR line.
void getPrinterModelName(char *buffer, int32_t model);
