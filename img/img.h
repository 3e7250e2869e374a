// GEM IMG encoder: the page bitmap as the printer's image download body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// One page's 1-bit bitmap, rows top first. Each row occupies a whole number
// of 16-bit words (img_row_stride); only the first img_row_length bytes of a
// row hold pixels.
struct img_bitmap {
    int16_t width;        // pixels per row, 0 to 32767
    int16_t height;       // rows; 0 or less is an empty image
    unsigned char *data;  // height * img_row_stride(width) bytes
};

// Bytes from one row start to the next: the row rounded up to 16-bit words.
inline long img_row_stride(int16_t width) { return ((long{width} + 15) >> 4) * 2; }
// Bytes of a row that carry pixels (8 pixels a byte).
inline long img_row_length(int16_t width) { return (long{width} + 7) >> 3; }

// Longest row of a bitmap: 32767 pixels.
constexpr size_t img_max_row_length = 4096;

// Room for the scan line (with its replication record) of a row of `len`
// bytes: a bit string costs two bytes per 252, a run never more than the
// bytes it covers, and the encoder may write up to 15 bytes past its end.
constexpr size_t img_scanline_bound(size_t len) { return len + 2 * (len / 252 + 2) + 4 + 16; }

// Stores a 16-bit value high byte first.
void write_word(unsigned char *p, uint16_t value);

// Writes the 16-byte IMG header for one plane, 83 um pixels, and the given
// line width and line count (each cut to 16 bits).
void write_IMG_Header(FILE *out, uint32_t linewidth, uint32_t lines);

// Writes every scan line of the bitmap (no header, no trailer).
void write_img(const img_bitmap &bitmap, FILE *out);

// Encodes one row of `len` bytes as an IMG scan line (solid runs and bit
// strings) into `out`, which must hold img_scanline_bound(len) bytes.
// Returns the number of bytes stored.
size_t encode_scanline(const unsigned char *row, size_t len, unsigned char *out);

// The same encoding without vector instructions; both always agree.
size_t encode_scanline_portable(const unsigned char *row, size_t len, unsigned char *out);
