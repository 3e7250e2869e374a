// Test helper: real CUPS raster streams written with libcups's raster writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <cups/raster.h>

struct test_page {
    unsigned width = 16;                   // cupsWidth, pixels
    unsigned height = 2;                   // cupsHeight, rows
    unsigned bits_per_pixel = 1;           // cupsBitsPerPixel (and per colour)
    unsigned bytes_per_line = 0;           // cupsBytesPerLine; 0 = what the width needs
    unsigned resolution = 300;             // HWResolution, both directions
    unsigned page_size[2] = {0, 0};        // PageSize in points; 0 = from pixels and resolution
    unsigned num_copies = 1;               // NumCopies
    std::vector<unsigned char> rows = {};  // height * line_bytes() bytes; empty = blank page
    bool header_only = false;              // write the header and no row at all

    unsigned line_bytes() const { return bytes_per_line ? bytes_per_line : (width * bits_per_pixel + 7) / 8; }
};

// Rows of a page filled by `pixel(x, y)` (true = black dot, bit set).
std::vector<unsigned char> rows_from_pattern(unsigned width, unsigned height,
                                             const std::function<bool(unsigned, unsigned)> &pixel);
// Random row bytes from a seeded generator, so that a failure repeats.
std::vector<unsigned char> random_rows(unsigned width, unsigned height, uint32_t seed);
// Reads a raw PBM (P4) into rows; false if the file is not one.
bool rows_from_pbm(const std::string &path, unsigned &width, unsigned &height, std::vector<unsigned char> &rows);
// Writes the pages as a raster stream, then cuts `cut_bytes` off its end (a stream that ends mid-page).
void write_raster(const std::string &path, const std::vector<test_page> &pages, size_t cut_bytes = 0,
                  cups_mode_t mode = CUPS_RASTER_WRITE);
std::vector<unsigned char> read_file(const std::string &path);
