// Helpers the tests share.
#include "tests/support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "img/img.h"

bytes hex(const std::string &text)
{
    std::istringstream in(text);
    bytes out;
    for (unsigned value; in >> std::hex >> value;)
        out.push_back(static_cast<unsigned char>(value));
    return out;
}

bytes written(const std::function<void(FILE *)> &write)
{
    char *buffer = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buffer, &size);
    write(out);
    std::fclose(out);
    const bytes result(buffer, buffer + size);
    std::free(buffer);
    return result;
}

std::string text_of(const bytes &b) { return {b.begin(), b.end()}; }

bytes bitmap_of(int width, const bytes &rows)
{
    const size_t len = static_cast<size_t>(img_row_length(static_cast<int16_t>(width)));
    const size_t stride = static_cast<size_t>(img_row_stride(static_cast<int16_t>(width)));
    const size_t height = len ? rows.size() / len : 0;
    bytes bitmap(height * stride);
    for (size_t r = 0; r < height; r++)
        std::copy_n(rows.begin() + static_cast<long>(r * len), len, bitmap.begin() + static_cast<long>(r * stride));
    return bitmap;
}

// The reference encoder: one record at a time, straight from the rules.
static bool solid(unsigned char b) { return b == 0x00 || b == 0xFF; }

bytes oracle_scanline(const unsigned char *row, size_t len)
{
    bytes out;
    for (size_t at = 0, n = 1; at < len; at += n, n = 1) {
        if (solid(row[at])) {  // a run of up to 127 bytes
            while (n < 127 && at + n < len && row[at + n] == row[at])
                n++;
            out.push_back(static_cast<unsigned char>((row[at] & 0x80) + n));
            continue;
        }
        // A bit string; `next` is the first byte after it.
        for (size_t next = at + 1; next < len; next = at + n) {
            if (len - next <= 3) {  // the last 1 to 3 bytes of the row join it
                n = len - at;
                break;
            }
            if (solid(row[next]) && row[next + 1] == row[next] && row[next + 2] == row[next])
                break;  // three solid bytes follow: a run
            if (++n == 252)
                break;
        }
        out.insert(out.end(), {0x80, static_cast<unsigned char>(n)});
        out.insert(out.end(), row + at, row + at + n);
    }
    return out;
}

bytes oracle_img(int width, int height, const unsigned char *data)
{
    const size_t stride = static_cast<size_t>((width + 15) >> 4) * 2, len = static_cast<size_t>((width + 7) >> 3);
    auto row = [&](int r) { return data + static_cast<size_t>(r) * stride; };
    bytes out;
    for (int r = 0; r < height; r++) {
        const int line = r;
        int k = 0;  // rows that the scan line of `line` stands for
        while (r != height - 1 && k != 255 && std::equal(row(line), row(line) + len, row(r + 1))) {
            r++;
            k = k == 0 ? 2 : k + 1;
        }
        if (k != 0)
            out.insert(out.end(), {0x00, 0x00, 0xFF, static_cast<unsigned char>(k)});
        const bytes scan = oracle_scanline(row(line), len);
        out.insert(out.end(), scan.begin(), scan.end());
    }
    return out;
}

bytes biased_rows(std::mt19937 &gen, size_t row_bytes, size_t height)
{
    static const size_t limits[] = {1, 2, 3, 4, 5, 126, 127, 128, 129, 250, 251, 252, 253, 254, 255, 256, 257, 511};
    auto length = [&](unsigned most) { return gen() % 8 ? 1 + gen() % most : limits[gen() % std::size(limits)]; };
    bytes rows, row;
    for (size_t r = 0; r < height;) {
        if (r == 0 || gen() % 2)  // a new row of pieces: runs of 0x00, runs of 0xFF and random bytes
            for (row.clear(); row.size() < row_bytes;) {
                const unsigned kind = gen() % 3;
                for (size_t n = std::min(length(20), row_bytes - row.size()); n > 0; n--)
                    row.push_back(static_cast<unsigned char>(kind == 2 ? gen() : kind * 0xFF));
            }
        for (size_t n = length(3); n > 0 && r < height; n--, r++)  // copies of the row
            rows.insert(rows.end(), row.begin(), row.end());
    }
    return rows;
}

void write_raster(const std::string &path, const std::vector<test_page> &pages, size_t cut_bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path);
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    for (const test_page &p : pages) {
        cups_page_header2_t h = {};
        h.HWResolution[0] = h.HWResolution[1] = 300;
        h.cupsWidth = p.width;
        h.cupsHeight = p.height;
        h.cupsBitsPerColor = h.cupsBitsPerPixel = p.bits_per_pixel;
        h.cupsBytesPerLine = p.line_bytes();
        h.cupsColorSpace = CUPS_CSPACE_K;
        h.NumCopies = p.num_copies;
        const unsigned px[2] = {p.width, p.height};
        for (int i = 0; i < 2; i++)
            h.PageSize[i] = h.ImagingBoundingBox[2 + i] = p.page_size[i] ? p.page_size[i] : px[i] * 72 / 300;
        if (!cupsRasterWriteHeader2(ras, &h))
            throw std::runtime_error("cupsRasterWriteHeader2 refused a test page");
        bytes rows = p.header_only ? bytes() : p.rows;
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

std::string scratch_file(const std::string &name)
{
    static const struct scratch {
        std::string path = mkdtemp(std::string("/tmp/zaridiravid-test-XXXXXX").data());
        ~scratch() { std::filesystem::remove_all(path); }
    } dir;
    static int count = 0;
    return dir.path + "/" + (name.empty() ? std::to_string(count++) : name);
}

bytes read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string &path, const bytes &data)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(data.data()),
                                                static_cast<std::streamsize>(data.size()));
}

run_result finished(int wait_status, const std::string &out, const std::string &err)
{
    return {WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status),
            text_of(read_file(out)), text_of(read_file(err))};
}

run_result run(const std::string &command)
{
    const std::string out = scratch_file(), err = scratch_file();
    const std::string script = "cd " + scratch_file(".") + " && exec </dev/null >" + out + " 2>" + err +
                               "; unset PPD; ulimit -t 20; " + command;
    return finished(std::system(script.c_str()), out, err);
}
