// Test helper: real CUPS raster streams written with libcups's raster writer.
#include "tests/raster_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

std::vector<unsigned char> rows_from_pattern(unsigned width, unsigned height,
                                             const std::function<bool(unsigned, unsigned)> &pixel)
{
    const size_t bpl = (width + 7) / 8;
    std::vector<unsigned char> rows(bpl * height, 0);
    for (unsigned y = 0; y < height; y++)
        for (unsigned x = 0; x < width; x++)
            if (pixel(x, y))
                rows[y * bpl + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    return rows;
}

std::vector<unsigned char> random_rows(unsigned width, unsigned height, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<unsigned char> rows(size_t{(width + 7) / 8} * height);
    for (auto &b : rows)
        b = static_cast<unsigned char>(gen());
    return rows;
}

bool rows_from_pbm(const std::string &path, unsigned &width, unsigned &height, std::vector<unsigned char> &rows)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    if (!(in >> magic >> width >> height) || magic != "P4")
        return false;
    in.get();  // the one whitespace byte before the bits
    rows.assign(size_t{(width + 7) / 8} * height, 0);
    in.read(reinterpret_cast<char *>(rows.data()), static_cast<std::streamsize>(rows.size()));
    return static_cast<size_t>(in.gcount()) == rows.size();
}

void write_raster(const std::string &path, const std::vector<test_page> &pages, size_t cut_bytes, cups_mode_t mode)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path);
    cups_raster_t *ras = cupsRasterOpen(fd, mode);
    for (const test_page &p : pages) {
        cups_page_header2_t h = {};
        h.HWResolution[0] = h.HWResolution[1] = p.resolution;
        h.cupsWidth = p.width;
        h.cupsHeight = p.height;
        h.cupsBitsPerColor = h.cupsBitsPerPixel = p.bits_per_pixel;
        h.cupsBytesPerLine = p.line_bytes();
        h.cupsColorSpace = CUPS_CSPACE_K;
        h.NumCopies = p.num_copies;
        const unsigned px[2] = {p.width, p.height};
        for (int i = 0; i < 2; i++)
            h.PageSize[i] = h.ImagingBoundingBox[2 + i] = p.page_size[i] ? p.page_size[i] : px[i] * 72 / p.resolution;
        if (!cupsRasterWriteHeader2(ras, &h))
            throw std::runtime_error("cupsRasterWriteHeader2 refused a test page");
        std::vector<unsigned char> rows = p.header_only ? std::vector<unsigned char>() : p.rows;
        if (!p.header_only && rows.empty())  // a blank page
            rows.resize(size_t{h.cupsBytesPerLine} * p.height);
        if (!rows.empty())
            cupsRasterWritePixels(ras, rows.data(), static_cast<unsigned>(rows.size()));
    }
    cupsRasterClose(ras);
    const off_t size = lseek(fd, 0, SEEK_END), cut = static_cast<off_t>(cut_bytes);
    if (cut && size > cut && ftruncate(fd, size - cut) != 0)
        throw std::runtime_error("cannot cut " + path);
    close(fd);
}

std::vector<unsigned char> read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
