// One page of a Printer Application job gathered into the label's bitmap:
// the page as it came where it fits the label, cut to the label where it is
// larger, 8-bit grey dithered to the printer's 1 bit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <cups/raster.h>

#include "img/img.h"

using dither_matrix = unsigned char[16][16];

struct label_page {
    cups_page_header2_t page;           // the page as the client sent it
    unsigned width;                     // bitmap width in dots: page and label, the narrower
    unsigned height;                    // bitmap rows: page and label, the shorter
    bool cut;                           // the page was larger than the label
    unsigned grey_max = 255;            // a grey sample's white: below 255 for an image of fewer levels
    std::vector<unsigned char> bitmap;  // rows of img_row_stride(width) bytes, 1 = a burnt dot
};

// The label's size in dots at the page's resolution, from its size in
// hundredths of a millimetre (as PWG raster counts a page's pixels).
unsigned label_dots(int hundredths, unsigned dpi);

// Prepares the bitmap of a page with this header for a label of `label_width`
// x `label_length` hundredths of a millimetre on a printer of `dpi` dots per
// inch. Returns "" or why the page can't be printed.
std::string start_label_page(label_page &p, const cups_page_header2_t &header, int label_width, int label_length,
                             unsigned dpi);

// Puts raster row `y` of the page into the bitmap: 1-bit rows as they are
// (cut where the label is narrower), grey rows through the dither matrix.
// Rows below the label are dropped.
void put_label_row(label_page &p, unsigned y, const unsigned char *row, const dither_matrix &dither);

// The bitmap as the IMG encoder takes it.
img_bitmap label_bitmap(label_page &p);
