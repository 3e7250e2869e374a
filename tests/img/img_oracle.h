// Test helpers for GEM IMG images: a reference encoder that follows the
// scan-line and replication rules one byte at a time (slow and plainly
// right), a decoder, and rows biased toward the lengths where the rules change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using bytes = std::vector<unsigned char>;

// "00 0A ff" -> {0x00, 0x0A, 0xFF}.
bytes hex(const std::string &text);
// The 16-byte header: version 1, 8 words, 1 plane, pattern length 1,
// 83 x 83 um pixels, then width and line count cut to 16 bits.
bytes oracle_header(uint32_t linewidth, uint32_t lines);
// One row of `len` bytes as a scan line.
bytes oracle_scanline(const unsigned char *row, size_t len);
// All scan lines of a bitmap `width` pixels wide whose rows lie
// ((width + 15) >> 4) * 2 bytes apart.
bytes oracle_img(int width, int height, const unsigned char *data);

struct img_image {
    unsigned width = 0, lines = 0;  // from the header
    std::vector<bytes> rows;        // `lines` rows of (width + 7) / 8 bytes
    size_t end = 0;                 // offset just past the last scan line
};
// Decodes the image whose header starts at `at` in `data`. Returns "" or
// what is wrong with the records.
std::string img_decode(const std::string &data, size_t at, img_image &image);

// `height` rows of `row_bytes` bytes: runs of 0x00 or 0xFF and random bytes,
// rows repeated, all in counts often near the limits of the encoding.
bytes biased_rows(std::mt19937 &gen, size_t row_bytes, size_t height);
