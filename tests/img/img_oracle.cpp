// Reference IMG encoder and decoder for the tests.
#include "tests/img/img_oracle.h"

#include <cstdlib>

bytes hex(const std::string &text)
{
    bytes out;
    const char *p = text.c_str();
    char *end = nullptr;
    for (unsigned long v = std::strtoul(p, &end, 16); end != p; v = std::strtoul(p, &end, 16)) {
        out.push_back(static_cast<unsigned char>(v));
        p = end;
    }
    return out;
}

bytes oracle_header(uint32_t linewidth, uint32_t lines)
{
    const unsigned words[8] = {1, 8, 1, 1, 83, 83, linewidth & 0xFFFF, lines & 0xFFFF};
    bytes out;
    for (unsigned w : words) {
        out.push_back(static_cast<unsigned char>(w >> 8));
        out.push_back(static_cast<unsigned char>(w & 0xFF));
    }
    return out;
}

static bool is_solid(unsigned char b) { return b == 0x00 || b == 0xFF; }

bytes oracle_scanline(const unsigned char *row, size_t len)
{
    bytes out;
    size_t cursor = 0;
    while (cursor < len) {
        const unsigned char first = row[cursor];
        if (is_solid(first)) {
            size_t n = 0;
            while (n < 127 && cursor + n < len && row[cursor + n] == first)
                n++;
            out.push_back(static_cast<unsigned char>(first == 0x00 ? n : 0x80 + n));
            cursor += n;
            continue;
        }
        size_t n = 1;
        for (;;) {
            const size_t next = cursor + n;  // first byte after the string
            const size_t left = len - next;
            if (left == 0)
                break;
            if (left <= 3) {
                n += left;
                break;
            }
            if (is_solid(row[next]) && row[next + 1] == row[next] && row[next + 2] == row[next])
                break;
            n++;
            if (n == 252)
                break;
        }
        out.push_back(0x80);
        out.push_back(static_cast<unsigned char>(n));
        for (size_t i = 0; i < n; i++)
            out.push_back(row[cursor + i]);
        cursor += n;
    }
    return out;
}

bytes oracle_img(int width, int height, const unsigned char *data)
{
    const size_t stride = static_cast<size_t>((width + 15) >> 4) * 2;
    const size_t len = static_cast<size_t>((width + 7) >> 3);
    auto same = [&](int a, int b) {
        for (size_t i = 0; i < len; i++)
            if (data[a * stride + i] != data[b * stride + i])
                return false;
        return true;
    };
    bytes out;
    for (int r = 0; r < height; r++) {
        const int line = r;
        if (r != height - 1) {
            int k = 0;
            while (same(line, r + 1)) {
                r++;
                k = k == 0 ? 2 : k + 1;
                if (k == 255 || r == height - 1)
                    break;
            }
            if (k != 0)
                out.insert(out.end(), {0x00, 0x00, 0xFF, static_cast<unsigned char>(k)});
        }
        bytes scan = oracle_scanline(data + line * stride, len);
        out.insert(out.end(), scan.begin(), scan.end());
    }
    return out;
}

bytes to_stride(const bytes &rows, size_t row_bytes, size_t height, unsigned char pad)
{
    const size_t stride = (row_bytes + 1) / 2 * 2;
    bytes out(stride * height, pad);
    for (size_t r = 0; r < height; r++)
        for (size_t i = 0; i < row_bytes; i++)
            out[r * stride + i] = rows[r * row_bytes + i];
    return out;
}

std::string img_decode(const std::string &data, size_t at, img_image &image)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(data[i]); };
    auto word = [&](size_t i) { return unsigned{byte(i)} << 8 | byte(i + 1); };
    if (data.size() < at + 16)
        return "short header";
    if (data.compare(at, 12, "\x00\x01\x00\x08\x00\x01\x00\x01\x00\x53\x00\x53", 12) != 0)
        return "unexpected header words";
    image = {};
    image.width = word(at + 12);
    image.lines = word(at + 14);
    const size_t len = (image.width + 7) / 8;
    size_t p = at + 16;
    while (image.rows.size() < image.lines) {
        size_t repeat = 1;
        if (p + 4 <= data.size() && byte(p) == 0 && byte(p + 1) == 0 && byte(p + 2) == 0xFF) {
            repeat = byte(p + 3);
            p += 4;
        }
        bytes row;
        while (row.size() < len) {
            if (p >= data.size())
                return "data ends inside a scan line";
            const unsigned char b = byte(p++);
            if (b == 0x80) {  // bit string
                if (p >= data.size() || p + 1 + byte(p) > data.size())
                    return "short bit string";
                row.insert(row.end(), data.begin() + static_cast<long>(p) + 1,
                           data.begin() + static_cast<long>(p) + 1 + byte(p));
                p += 1 + byte(p);
            } else if (b == 0x00) {  // pattern run: count, then one pattern byte
                if (p + 2 > data.size())
                    return "short pattern run";
                row.insert(row.end(), byte(p), static_cast<unsigned char>(data[p + 1]));
                p += 2;
            } else {  // solid run
                row.insert(row.end(), b & 0x7F, (b & 0x80) ? 0xFF : 0x00);
            }
        }
        if (row.size() != len)
            return "a record runs past the end of its scan line";
        for (size_t i = 0; i < repeat && image.rows.size() < image.lines; i++)
            image.rows.push_back(row);
    }
    image.end = p;
    return "";
}

static size_t piece_length(std::mt19937 &gen)
{
    static const size_t near_limits[] = {1, 2, 3, 4, 5, 126, 127, 128, 129, 250, 251, 252, 253, 254, 255, 256};
    switch (gen() % 3) {
    case 0:
        return near_limits[gen() % std::size(near_limits)];
    case 1:  // around one 16-byte window
        return 1 + gen() % 20;
    default:
        return 1 + gen() % 300;
    }
}

bytes biased_row(std::mt19937 &gen, size_t len)
{
    bytes row;
    while (row.size() < len) {
        const size_t n = std::min(piece_length(gen), len - row.size());
        switch (gen() % 4) {
        case 0:
            row.insert(row.end(), n, 0x00);
            break;
        case 1:
            row.insert(row.end(), n, 0xFF);
            break;
        case 2:  // bytes that never start a run
            for (size_t i = 0; i < n; i++)
                row.push_back(static_cast<unsigned char>(1 + gen() % 254));
            break;
        default:  // anything, solid bytes often
            for (size_t i = 0; i < n; i++)
                row.push_back(gen() % 2 ? static_cast<unsigned char>(gen()) : (gen() % 2 ? 0x00 : 0xFF));
        }
    }
    return row;
}

bytes biased_rows(std::mt19937 &gen, size_t row_bytes, size_t height)
{
    static const size_t repeats[] = {1, 2, 3, 254, 255, 256, 257, 510, 511};
    bytes rows;
    bytes row;
    for (size_t r = 0; r < height;) {
        if (r == 0 || gen() % 2)
            row = biased_row(gen, row_bytes);
        const size_t n = std::min(gen() % 4 ? 1 + gen() % 3 : repeats[gen() % std::size(repeats)], height - r);
        for (size_t i = 0; i < n; i++)
            rows.insert(rows.end(), row.begin(), row.end());
        r += n;
    }
    return rows;
}
