// Reference IMG encoder and decoder for the tests.
#include "tests/img/img_oracle.h"

#include <algorithm>
#include <sstream>

bytes hex(const std::string &text)
{
    std::istringstream in(text);
    bytes out;
    for (unsigned value; in >> std::hex >> value;)
        out.push_back(static_cast<unsigned char>(value));
    return out;
}

bytes oracle_header(uint32_t linewidth, uint32_t lines)
{
    bytes out;
    for (uint32_t word : {1u, 8u, 1u, 1u, 83u, 83u, linewidth, lines})
        out.insert(out.end(), {static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)});
    return out;
}

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

std::string img_decode(const std::string &data, size_t at, img_image &image)
{
    const bytes header = oracle_header(0, 0);
    const bytes d(data.begin() + static_cast<long>(std::min(at, data.size())), data.end());
    if (d.size() < 16 || !std::equal(header.begin(), header.begin() + 12, d.begin()))
        return "no IMG header";
    image = {unsigned{d[12]} << 8 | d[13], unsigned{d[14]} << 8 | d[15], {}, 0};
    size_t p = 16;
    while (image.rows.size() < image.lines) {
        const bool group = p + 4 <= d.size() && d[p] == 0x00 && d[p + 1] == 0x00 && d[p + 2] == 0xFF;
        const size_t repeat = group ? d[p + 3] : 1;
        p += group ? 4 : 0;
        bytes row;
        while (row.size() < (image.width + 7) / 8 && p < d.size()) {
            const unsigned char b = d[p++];
            const size_t n = b == 0x80 && p < d.size() ? d[p++] : 0;  // a bit string's length
            if (b == 0x00 || p + n > d.size())
                return "a pattern run or a short bit string at byte " + std::to_string(at + p);
            if (b == 0x80)
                row.insert(row.end(), d.begin() + static_cast<long>(p), d.begin() + static_cast<long>(p + n));
            else
                row.insert(row.end(), b & 0x7F, b & 0x80 ? 0xFF : 0x00);
            p += n;
        }
        if (row.size() != (image.width + 7) / 8)
            return "a scan line of " + std::to_string(row.size()) + " bytes ending at byte " + std::to_string(at + p);
        image.rows.insert(image.rows.end(), std::min(repeat, image.lines - image.rows.size()), row);
    }
    image.end = at + p;
    return "";
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
