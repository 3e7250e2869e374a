// Test helper: real CUPS raster streams written with libcups's raster writer.
#include "tests/raster_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

unsigned test_page::line_bytes() const
{
    return bytes_per_line ? bytes_per_line : (width * bits_per_pixel + 7) / 8;
}

std::vector<unsigned char> rows_from_pattern(unsigned width, unsigned height,
                                             const std::function<bool(unsigned, unsigned)> &pixel)
{
    const unsigned bpl = (width + 7) / 8;
    std::vector<unsigned char> rows(size_t{bpl} * height, 0);
    for (unsigned y = 0; y < height; y++)
        for (unsigned x = 0; x < width; x++)
            if (pixel(x, y))
                rows[size_t{y} * bpl + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    return rows;
}

std::vector<unsigned char> random_rows(unsigned width, unsigned height, uint32_t seed)
{
    std::mt19937 gen(seed);
    const unsigned bpl = (width + 7) / 8;
    std::vector<unsigned char> rows(size_t{bpl} * height);
    for (auto &b : rows)
        b = static_cast<unsigned char>(gen());
    return rows;
}

bool rows_from_pbm(const std::string &path, unsigned &width, unsigned &height, std::vector<unsigned char> &rows)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic;
    if (magic != "P4")
        return false;
    auto next_number = [&in](unsigned &v) {
        while (in >> std::ws && in.peek() == '#')
            in.ignore(1 << 20, '\n');
        return static_cast<bool>(in >> v);
    };
    if (!next_number(width) || !next_number(height))
        return false;
    in.get();  // the one whitespace byte before the bits
    rows.assign(size_t{(width + 7) / 8} * height, 0);
    in.read(reinterpret_cast<char *>(rows.data()), static_cast<std::streamsize>(rows.size()));
    return static_cast<size_t>(in.gcount()) == rows.size();
}

void write_raster(const std::string &path, const std::vector<test_page> &pages, size_t cut_bytes, cups_mode_t mode)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path);
    cups_raster_t *ras = cupsRasterOpen(fd, mode);
    for (const test_page &p : pages) {
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        std::strcpy(h.MediaClass, "PwgRaster");
        h.HWResolution[0] = h.HWResolution[1] = p.resolution;
        h.cupsWidth = p.width;
        h.cupsHeight = p.height;
        h.cupsBitsPerColor = p.bits_per_pixel;
        h.cupsBitsPerPixel = p.bits_per_pixel;
        h.cupsBytesPerLine = p.line_bytes();
        h.cupsColorOrder = CUPS_ORDER_CHUNKED;
        h.cupsColorSpace = CUPS_CSPACE_K;
        h.NumCopies = p.num_copies;
        h.PageSize[0] = p.page_size[0] ? p.page_size[0] : p.width * 72 / p.resolution;
        h.PageSize[1] = p.page_size[1] ? p.page_size[1] : p.height * 72 / p.resolution;
        h.ImagingBoundingBox[2] = h.PageSize[0];
        h.ImagingBoundingBox[3] = h.PageSize[1];
        if (!cupsRasterWriteHeader2(ras, &h))
            throw std::runtime_error("cupsRasterWriteHeader2 refused a test page");
        if (p.header_only)
            continue;
        std::vector<unsigned char> blank;
        const std::vector<unsigned char> *rows = &p.rows;
        if (p.rows.empty()) {
            blank.assign(size_t{h.cupsBytesPerLine} * p.height, 0);
            rows = &blank;
        }
        if (!rows->empty())
            cupsRasterWritePixels(ras, const_cast<unsigned char *>(rows->data()),
                                  static_cast<unsigned>(rows->size()));
    }
    cupsRasterClose(ras);
    off_t size = lseek(fd, 0, SEEK_END);
    if (cut_bytes && static_cast<size_t>(size) > cut_bytes)
        (void)ftruncate(fd, size - static_cast<off_t>(cut_bytes));
    close(fd);
}

std::vector<unsigned char> read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
