// Realistic label bitmaps for the benchmarks, drawn in memory: a text label,
// a barcode label, a blank label and a dithered picture, 4 x 6 inches at a
// given resolution. Set bits are black dots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "img/img.h"

struct bench_page {
    std::string name;
    int16_t width;
    int16_t height;
    std::vector<unsigned char> data;  // rows at img_row_stride(width)

    img_bitmap bitmap() { return {width, height, data.data()}; }
    size_t bitmap_bytes() const { return static_cast<size_t>(img_row_length(width)) * static_cast<size_t>(height); }
};

enum class page_kind { text, barcode, blank, dithered };

bench_page make_page(page_kind kind, int dpi);

// "text_300dpi" and so on.
std::string page_name(page_kind kind, int dpi);
