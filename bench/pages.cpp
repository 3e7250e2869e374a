// Realistic label bitmaps for the benchmarks.
#include "bench/pages.h"

#include <cmath>
#include <random>

namespace {

struct canvas {
    bench_page &page;
    size_t stride;
    void dot(int x, int y)
    {
        if (x < 0 || y < 0 || x >= page.width || y >= page.height)
            return;
        page.data[static_cast<size_t>(y) * stride + static_cast<size_t>(x) / 8] |=
            static_cast<unsigned char>(0x80 >> (x % 8));
    }
    void box(int x0, int y0, int w, int h)
    {
        for (int y = y0; y < y0 + h; y++)
            for (int x = x0; x < x0 + w; x++)
                dot(x, y);
    }
};

// Lines of made-up glyphs: each glyph a few strokes in its cell, as text
// set in an 8 to 14 point face looks to the encoder.
void draw_text(canvas &c, std::mt19937 &gen, int dpi, int top, int lines, double points)
{
    const int cell_h = static_cast<int>(points / 72.0 * dpi);
    const int cell_w = cell_h * 6 / 10;
    const int stroke = std::max(1, dpi / 100);
    const int margin = dpi / 8;
    for (int line = 0; line < lines; line++) {
        int y0 = top + line * cell_h * 14 / 10;
        int words = 0;
        for (int x0 = margin; x0 + cell_w < c.page.width - margin; x0 += cell_w) {
            if (gen() % 7 == 0 || words > 9) {  // a space between words
                words = 0;
                continue;
            }
            words++;
            int strokes = 2 + static_cast<int>(gen() % 3);
            for (int s = 0; s < strokes; s++) {
                if (gen() % 2)
                    c.box(x0 + static_cast<int>(gen() % static_cast<unsigned>(cell_w - stroke)), y0 + cell_h / 4,
                          stroke, cell_h * 3 / 4);
                else
                    c.box(x0, y0 + cell_h / 4 + static_cast<int>(gen() % static_cast<unsigned>(cell_h * 3 / 4)),
                          cell_w - stroke, stroke);
            }
        }
    }
}

void draw_barcode(canvas &c, std::mt19937 &gen, int dpi, int top, int height)
{
    const int module = std::max(2, dpi / 100);
    int x = dpi / 4;
    while (x < c.page.width - dpi / 4) {
        int bar = module * (1 + static_cast<int>(gen() % 4));
        c.box(x, top, bar, height);
        x += bar + module * (1 + static_cast<int>(gen() % 4));
    }
}

}  // namespace

std::string page_name(page_kind kind, int dpi)
{
    static const char *names[] = {"text", "barcode", "blank", "dithered"};
    return std::string(names[static_cast<int>(kind)]) + "_" + std::to_string(dpi) + "dpi";
}

bench_page make_page(page_kind kind, int dpi)
{
    bench_page page;
    page.name = page_name(kind, dpi);
    page.width = static_cast<int16_t>(4 * dpi);
    page.height = static_cast<int16_t>(6 * dpi);
    const size_t stride = static_cast<size_t>(img_row_stride(page.width));
    page.data.assign(stride * static_cast<size_t>(page.height), 0);
    canvas c{page, stride};
    std::mt19937 gen(7);

    switch (kind) {
    case page_kind::text:
        draw_text(c, gen, dpi, dpi / 4, 6, 14);
        draw_text(c, gen, dpi, dpi * 3 / 2, 24, 9);
        c.box(dpi / 8, dpi * 11 / 8, page.width - dpi / 4, std::max(2, dpi / 50));  // a rule
        break;
    case page_kind::barcode:
        draw_text(c, gen, dpi, dpi / 4, 4, 12);
        draw_barcode(c, gen, dpi, dpi * 2, dpi * 3 / 2);
        draw_text(c, gen, dpi, dpi * 4, 5, 10);
        break;
    case page_kind::blank:
        break;
    case page_kind::dithered: {
        // An 8 x 8 ordered dither of soft rings: a photo on a label.
        static const int bayer[8][8] = {
            {0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26},
            {12, 44, 4, 36, 14, 46, 6, 38},  {60, 28, 52, 20, 62, 30, 54, 22},
            {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
            {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};
        const double cx = page.width / 2.0, cy = page.height / 2.0;
        for (int y = 0; y < page.height; y++)
            for (int x = 0; x < page.width; x++) {
                double r = std::hypot(x - cx, y - cy) / dpi;
                double level = 0.5 + 0.45 * std::sin(r * 4.0) * std::cos((x - y) / (dpi * 0.7));
                if (level * 64 > bayer[y % 8][x % 8] + 0.5)
                    c.dot(x, y);
            }
        break;
    }
    }
    return page;
}
