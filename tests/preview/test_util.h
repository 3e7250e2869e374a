// Small helpers shared by the preview tests.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "preview/decode.h"

// A fresh directory under /tmp, removed with everything in it at the end.
struct temp_dir {
    std::string path;
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
};

void write_bytes(const std::string &path, const std::vector<unsigned char> &bytes);

// The exit status of a shell command (-1 if it did not exit normally).
int run(const std::string &command);

// Header and scan lines from the filter's own encoder, for `height` rows of
// `len` bytes (the header declares len * 8 pixels, as the filter does).
std::vector<unsigned char> encode_img(const std::vector<unsigned char> &rows, size_t len, unsigned height);

// A 16-byte IMG header as the filter writes it, with another pattern length.
std::vector<unsigned char> img_header_bytes(unsigned width, unsigned lines, unsigned pattern_length);

// "e img;*\r", "d IMG;cups\r", ESC ":", the image, then `tail`.
std::vector<unsigned char> page_bytes(const std::vector<unsigned char> &img, const std::string &tail);

// All rows of a decoded image, one after the other.
std::vector<unsigned char> flat_rows(const img_image &image);
