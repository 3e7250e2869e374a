// Reading a printer stream back: pages, their command lines and their images.
//
// Per page the stream holds an image download ("e img;*\r", "d IMG;cups\r",
// ESC ":", a GEM IMG image, ESC "end-of-data") and a label job block of
// command lines ending in CR LF, the last of which is the print command
// "A<copies>". Nothing marks where the image data ends: only decoding the
// number of lines that the IMG header declares finds it, and the data may
// hold any byte, ESC included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The eight words of an IMG header, as stored (high byte first).
struct img_header {
    uint16_t version = 0;
    uint16_t header_words = 0;    // header length in 16-bit words
    uint16_t planes = 0;
    uint16_t pattern_length = 0;  // bytes in the pattern of a pattern run
    uint16_t pixel_width = 0;     // micrometres
    uint16_t pixel_height = 0;    // micrometres
    uint16_t line_width = 0;      // pixels a row
    uint16_t lines = 0;           // rows
};

// A decoded 1-plane image. Rows that the stream sends once with a vertical
// replication record are stored once, so memory follows what the stream
// actually carries rather than what its header claims.
struct img_image {
    img_header header;
    size_t row_bytes = 0;              // (line_width + 7) / 8
    std::vector<unsigned char> store;  // the distinct rows, row_bytes each
    std::vector<uint32_t> rows;        // for each row, top first: its place in store

    // Row r (r < rows.size()); set bits are black dots, leftmost pixel in
    // the high bit.
    const unsigned char *row(size_t r) const { return store.data() + size_t{rows[r]} * row_bytes; }
};

// What made decoding stop; `what` is empty when nothing was wrong.
struct decode_error {
    size_t offset = 0;  // byte offset in the stream (or in the IMG data given)
    std::string what;
};

// Decodes one IMG image, header and scan lines, from the start of `bytes`.
// `base` is added to every offset in an error. Returns the number of bytes
// used; on a malformed image fills `error` and returns where it stopped.
size_t decode_img(std::span<const unsigned char> bytes, size_t base, img_image &image, decode_error &error);

// One command line, without its line end.
struct stream_line {
    size_t offset = 0;
    std::string text;
};

struct stream_page {
    size_t offset = 0;               // first byte of the page
    std::vector<stream_line> lines;  // in stream order
    bool has_image = false;
    size_t image_offset = 0;         // the ESC ":" that starts the image
    size_t image_before = 0;         // the image stands before lines[image_before]
    img_image image;
};

struct decoded_stream {
    std::vector<stream_page> pages;  // the pages read in full, each ended by its A line
    decode_error error;              // what stopped the reading, if anything
};

// Stream bytes as text that is safe to show: printable ASCII as it is,
// anything else as \xNN.
std::string printable(std::string_view bytes);

// Splits a whole printer stream into pages. Every page before an error is
// complete; an error names the offset and what was wrong there.
decoded_stream decode_stream(std::span<const unsigned char> bytes);
