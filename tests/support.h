// Helpers the tests and fuzz targets share: byte strings, bitmaps and a
// reference IMG encoder, real CUPS raster streams written with libcups's
// raster writer, shell commands run in a scratch directory, and the fuzz
// targets' checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <cups/raster.h>

using bytes = std::vector<unsigned char>;

// "00 0A ff" -> {0x00, 0x0A, 0xFF}.
bytes hex(const std::string &text);
// What `write` writes to a stream.
bytes written(const std::function<void(FILE *)> &write);
std::string text_of(const bytes &b);

// Rows of (width + 7) / 8 bytes each, laid out as the encoder takes a bitmap
// `width` pixels wide: each row at its 16-bit-word stride, pad bytes 0.
bytes bitmap_of(int width, const bytes &rows);
// The reference IMG encoder, which follows the scan-line and replication rules
// one byte at a time, slow and plainly right: one row of `len` bytes as a scan
// line, and all scan lines of a bitmap `width` pixels wide whose rows lie
// ((width + 15) >> 4) * 2 bytes apart.
bytes oracle_scanline(const unsigned char *row, size_t len);
bytes oracle_img(int width, int height, const unsigned char *data);
// `height` rows of `row_bytes` bytes: runs of 0x00 or 0xFF and random bytes,
// rows repeated, all in counts often near the limits of the IMG encoding.
bytes biased_rows(std::mt19937 &gen, size_t row_bytes, size_t height);

struct test_page {
    unsigned width = 16;             // cupsWidth, pixels
    unsigned height = 2;             // cupsHeight, rows
    unsigned bits_per_pixel = 1;     // cupsBitsPerPixel (and per colour)
    unsigned bytes_per_line = 0;     // cupsBytesPerLine; 0 = what the width needs
    unsigned page_size[2] = {0, 0};  // PageSize in points; 0 = from the pixels at 300 dpi
    unsigned num_copies = 1;         // NumCopies
    bytes rows = {};                 // height * line_bytes() bytes; empty = blank page
    bool header_only = false;        // write the header and no row at all

    unsigned line_bytes() const { return bytes_per_line ? bytes_per_line : (width * bits_per_pixel + 7) / 8; }
};
// Writes the pages as a raster stream, then cuts `cut_bytes` off its end (a
// stream that ends mid-page).
void write_raster(const std::string &path, const std::vector<test_page> &pages, size_t cut_bytes = 0);

// A new file name in the scratch directory, which is removed at exit.
std::string scratch_file(const std::string &name = "");
bytes read_file(const std::string &path);
void write_file(const std::string &path, const bytes &data);

struct run_result {
    int status;  // exit status, or 128 + the signal that ended it
    std::string out, err;
};
// The result of a finished child process whose output went to files.
run_result finished(int wait_status, const std::string &out, const std::string &err);
// Runs a shell command line in the scratch directory with standard input
// from /dev/null, at most 20 s of CPU time and no $PPD unless the command
// sets one; its output is collected unless the command redirects it.
run_result run(const std::string &command);

// A fuzz target's invariant: when it fails, the condition and the values
// that explain it go to standard error, and the run aborts.
#define FUZZ_CHECK(cond, ...) ((cond) ? void() : fuzz_fail(#cond __VA_OPT__(, ) __VA_ARGS__))
template <class... T>
[[noreturn]] void fuzz_fail(const char *what, const T &...values)
{
    std::cerr << "failed: " << what;
    ((std::cerr << ' ' << values), ...);
    std::cerr << std::endl;
    std::abort();
}
