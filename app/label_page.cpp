// A page gathered into the label's bitmap.
#include "app/label_page.h"

#include <algorithm>
#include <cstring>

namespace {

// Whether a 1-bit or 8-bit sample of this colour space marks the paper at its
// highest value (black and device grey) or at its lowest (sGray, white).
bool high_is_black(unsigned colorspace)
{
    return colorspace == CUPS_CSPACE_K;
}

}  // namespace

unsigned label_dots(int hundredths, unsigned dpi)
{
    return hundredths <= 0 ? 0u : static_cast<unsigned>(int64_t{hundredths} * dpi / 2540);
}

std::string start_label_page(label_page &p, const cups_page_header2_t &header, int label_width, int label_length,
                             unsigned dpi)
{
    p.page = header;
    p.bitmap.clear();
    p.grey_max = std::max(p.grey_max, 1u);
    // The colour space as the client's 4 bytes: a value no enumerator has is
    // undefined behaviour when read as the enum.
    unsigned space = 0;
    static_assert(sizeof space == sizeof header.cupsColorSpace);
    std::memcpy(&space, &header.cupsColorSpace, sizeof space);
    const unsigned bits = header.cupsBitsPerPixel;
    if ((bits != 1 && bits != 8) || header.cupsBitsPerColor != bits ||
        (space != CUPS_CSPACE_K && space != CUPS_CSPACE_W && space != CUPS_CSPACE_SW))
        return "the page is " + std::to_string(bits) + "-bit colour space " + std::to_string(space) +
               "; the printer takes black or grey pages";
    if (header.HWResolution[0] != dpi || header.HWResolution[1] != dpi)
        return "the page is " + std::to_string(header.HWResolution[0]) + "x" + std::to_string(header.HWResolution[1]) +
               " dpi; the printer prints " + std::to_string(dpi) + " dpi";
    if (header.cupsWidth == 0 || header.cupsHeight == 0 ||
        header.cupsBytesPerLine != (uint64_t{header.cupsWidth} * bits + 7) / 8)
        return "the page's size or line length is damaged";
    // No label is a metre wide or long; PAPPL 1.3.1 reads (or, at the end of
    // the client's data, tries to read) every row a page claims, each into
    // a line of the width it claims.
    if (const unsigned metre = label_dots(100000, dpi); header.cupsWidth > metre || header.cupsHeight > metre)
        return "the page is " + std::to_string(header.cupsWidth) + "x" + std::to_string(header.cupsHeight) +
               " dots; no label is larger than " + std::to_string(metre) + "x" + std::to_string(metre);

    const unsigned label_w = label_dots(label_width, dpi), label_h = label_dots(label_length, dpi);
    p.width = std::min(header.cupsWidth, label_w);
    p.height = std::min(header.cupsHeight, label_h);
    p.cut = p.width < header.cupsWidth || p.height < header.cupsHeight;
    if (p.width == 0 || p.height == 0 || p.width > 32767 || p.height > 32767)
        return "the label is " + std::to_string(label_w) + "x" + std::to_string(label_h) + " dots; the printer takes 1 to 32767";
    p.bitmap.assign(size_t(p.height) * size_t(img_row_stride(int16_t(p.width))), 0);
    return {};
}

void put_label_row(label_page &p, unsigned y, const unsigned char *row, const dither_matrix &dither)
{
    if (y >= p.height || p.bitmap.empty())
        return;
    unsigned char *out = p.bitmap.data() + size_t(y) * size_t(img_row_stride(int16_t(p.width)));
    const size_t bytes = (p.width + 7) / 8;
    const bool black_high = high_is_black(p.page.cupsColorSpace);

    if (p.page.cupsBitsPerPixel == 1) {
        for (size_t i = 0; i < bytes; i++)
            out[i] = black_high ? row[i] : static_cast<unsigned char>(~row[i]);
        // A cut row keeps no pixel right of the label; a whole row is sent as
        // the client sent it, padding bits included.
        if (p.cut && p.width % 8)
            out[bytes - 1] &= static_cast<unsigned char>(0xFF00 >> (p.width % 8));
        return;
    }

    // A grey sample is burnt where it is darker than the matrix's threshold
    // for its place; white never is. Eight samples make a byte of dots; eight
    // white samples, most of a label, are passed over whole.
    const unsigned char *threshold = dither[y & 15];
    const unsigned char white = black_high ? 0 : 255;
    unsigned char grey[8];
    for (unsigned x0 = 0; x0 < p.width; x0 += 8) {
        const unsigned n = std::min(8u, p.width - x0);
        const unsigned char *v = row + x0;
        if (p.grey_max != 255) {
            for (unsigned i = 0; i < n; i++)
                grey[i] = static_cast<unsigned char>(std::min(v[i] * 255u / p.grey_max, 255u));
            v = grey;
        }
        if (n == 8 && std::memcmp(v, black_high ? "\0\0\0\0\0\0\0\0" : "\xff\xff\xff\xff\xff\xff\xff\xff", 8) == 0)
            continue;
        unsigned byte = 0;
        for (unsigned i = 0; i < n; i++) {
            const unsigned t = threshold[(x0 + i) & 15];
            byte |= unsigned(black_high ? v[i] > t : v[i] <= t && v[i] != white) << (7 - i);
        }
        out[x0 / 8] = static_cast<unsigned char>(byte);
    }
}

img_bitmap label_bitmap(label_page &p)
{
    return {static_cast<int16_t>(p.width), static_cast<int16_t>(p.height), p.bitmap.data()};
}
