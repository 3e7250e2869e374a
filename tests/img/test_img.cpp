// The GEM IMG encoder, byte for byte: hand-checked rows and bitmaps, the
// edges of the run, bit-string and replication rules, and every production
// entry point against the reference encoder on many biased random inputs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>

#include "img/img.h"
#include "tests/img/img_oracle.h"

namespace {

bytes capture(const std::function<void(FILE *)> &write)
{
    char *buffer = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buffer, &size);
    write(out);
    std::fclose(out);
    bytes result(buffer, buffer + size);
    std::free(buffer);
    return result;
}

// write_img on a bitmap whose rows lie at the encoder's stride.
bytes encode_bitmap(int width, int height, bytes data)
{
    img_bitmap bitmap = {static_cast<int16_t>(width), static_cast<int16_t>(height), data.data()};
    return capture([&](FILE *out) { write_img(bitmap, out); });
}

// `count` copies of one packed row of even length.
bytes repeated(const bytes &row, int count)
{
    bytes rows;
    for (int i = 0; i < count; i++)
        rows.insert(rows.end(), row.begin(), row.end());
    return rows;
}

bytes concat(std::initializer_list<bytes> parts)
{
    bytes out;
    for (const bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Both scan-line encoders, with a guard band that must stay untouched.
void expect_scanline(const bytes &row, const bytes &expected)
{
    const size_t bound = img_scanline_bound(row.size());
    for (auto encode : {encode_scanline, encode_scanline_portable}) {
        bytes out(bound + 32, 0xA5);
        size_t n = encode(row.data(), row.size(), out.data());
        ASSERT_LE(n, bound);
        EXPECT_EQ(bytes(out.begin(), out.begin() + static_cast<long>(n)), expected) << "row of " << row.size();
        EXPECT_EQ(bytes(out.begin() + static_cast<long>(bound), out.end()), bytes(32, 0xA5));
    }
}

TEST(ImgHeader, WordsHighByteFirstAndSizesCutTo16Bits)
{
    unsigned char w[2];
    write_word(w, 0x04B0);
    EXPECT_EQ(bytes(w, w + 2), hex("04 B0"));

    EXPECT_EQ(capture([](FILE *f) { write_IMG_Header(f, 800, 1200); }),
              hex("00 01 00 08 00 01 00 01 00 53 00 53 03 20 04 B0"));
    EXPECT_EQ(capture([](FILE *f) { write_IMG_Header(f, 0x10320, 0x304B0); }),
              hex("00 01 00 08 00 01 00 01 00 53 00 53 03 20 04 B0"));
    EXPECT_EQ(oracle_header(800, 1200), hex("00 01 00 08 00 01 00 01 00 53 00 53 03 20 04 B0"));
}

TEST(ImgScanline, HandCheckedRows)
{
    const struct {
        const char *row, *line;
    } rows[] = {
        {"00 00 00 FF FF 12 34 00", "03 82 80 03 12 34 00"},
        {"12 00 00 34 00 00 00 00 FF FF FF 56", "80 04 12 00 00 34 04 83 80 01 56"},
        {"12 00 00 34 FF FF FF", "80 07 12 00 00 34 FF FF FF"},
        {"12 00 00 00 00", "80 01 12 04"},
        // one or two solid bytes stay inside a bit string
        {"12 00 34 FF FF 56 00 00 00 00", "80 06 12 00 34 FF FF 56 04"},
    };
    for (const auto &r : rows) {
        const bytes row = hex(r.row);
        expect_scanline(row, hex(r.line));
        EXPECT_EQ(oracle_scanline(row.data(), row.size()), hex(r.line));
        // a bitmap of one row is that one scan line, with no replication
        EXPECT_EQ(encode_bitmap(static_cast<int>(row.size() * 8), 1, to_stride(row, row.size(), 1)), hex(r.line));
    }
}

TEST(ImgScanline, LongRunsAndLongBitStrings)
{
    expect_scanline(bytes(263, 0x00), hex("7F 7F 09"));
    expect_scanline(bytes(263, 0xFF), hex("FF FF 89"));
    expect_scanline(bytes(127, 0xFF), hex("FF"));
    expect_scanline(bytes(128, 0x00), hex("7F 01"));

    bytes other;
    for (int i = 0; i < 255; i++)
        other.push_back(static_cast<unsigned char>(1 + i % 254));
    const bytes s254(other.begin(), other.begin() + 254);
    expect_scanline(s254, concat({hex("80 FE"), s254}));
    expect_scanline(other, concat({hex("80 FC"), bytes(other.begin(), other.begin() + 252), hex("80 03"),
                                   bytes(other.begin() + 252, other.end())}));

    // 251 bytes and three zeros at the end of the row: the zeros join
    bytes tail(other.begin(), other.begin() + 251);
    tail.insert(tail.end(), 3, 0x00);
    expect_scanline(tail, concat({hex("80 FE"), tail}));
    // with four zeros left the look-ahead is made and the string ends
    tail.push_back(0x00);
    expect_scanline(tail, concat({hex("80 FB"), bytes(tail.begin(), tail.begin() + 251), hex("04")}));
    // the same at the end of a 16-byte row and a 17-byte row
    bytes row16(other.begin(), other.begin() + 13);
    row16.insert(row16.end(), 3, 0xFF);
    expect_scanline(row16, concat({hex("80 10"), row16}));
    bytes row17 = row16;
    row17.push_back(0xFF);
    expect_scanline(row17, concat({hex("80 0D"), bytes(other.begin(), other.begin() + 13), hex("84")}));
    expect_scanline({}, {});
}

TEST(ImgBitmap, HandCheckedBitmapsAndReplicationGroups)
{
    EXPECT_EQ(encode_bitmap(16, 4, hex("F0 0F F0 0F F0 0F 00 00")), hex("00 00 FF 03 80 02 F0 0F 02"));
    // 20 pixels: 3 bytes a row at a stride of 4; the pad byte differs and is neither compared nor written
    EXPECT_EQ(encode_bitmap(20, 2, hex("AA BB C0 99 AA BB C0 11")), hex("00 00 FF 02 80 03 AA BB C0"));
    // the last row never opens a group
    EXPECT_EQ(encode_bitmap(16, 3, hex("F0 0F 12 34 12 34")), hex("80 02 F0 0F 00 00 FF 02 80 02 12 34"));

    const bytes row = hex("12 34");
    const bytes line = hex("80 02 12 34");
    EXPECT_EQ(encode_bitmap(16, 1, row), line);
    EXPECT_EQ(encode_bitmap(16, 255, repeated(row, 255)), concat({hex("00 00 FF FF"), line}));
    EXPECT_EQ(encode_bitmap(16, 256, repeated(row, 256)), concat({hex("00 00 FF FF"), line, line}));
    EXPECT_EQ(encode_bitmap(16, 257, repeated(row, 257)),
              concat({hex("00 00 FF FF"), line, hex("00 00 FF 02"), line}));
    EXPECT_EQ(encode_bitmap(16, 300, repeated(row, 300)),
              concat({hex("00 00 FF FF"), line, hex("00 00 FF 2D"), line}));

    EXPECT_EQ(encode_bitmap(16, 0, {}), bytes{});
    EXPECT_EQ(encode_bitmap(0, 3, bytes(2)), hex("00 00 FF 03"));
}

// Production against the reference encoder. The seeds are fixed, so a
// failure repeats; the message says which input it was.
TEST(ImgDifferential, ScanlinesAgreeWithReference)
{
    std::mt19937 gen(20070305);
    for (int i = 0; i < 20000; i++) {
        const bytes row = biased_row(gen, gen() % 601);
        const bytes expected = oracle_scanline(row.data(), row.size());
        const size_t bound = img_scanline_bound(row.size());
        for (auto encode : {encode_scanline, encode_scanline_portable}) {
            bytes out(bound + 16, 0xA5);
            const size_t n = encode(row.data(), row.size(), out.data());
            ASSERT_LE(n, bound) << "case " << i;
            ASSERT_EQ(bytes(out.begin(), out.begin() + static_cast<long>(n)), expected) << "case " << i;
            ASSERT_EQ(bytes(out.begin() + static_cast<long>(bound), out.end()), bytes(16, 0xA5)) << "case " << i;
        }
    }
}

TEST(ImgDifferential, BitmapsAgreeWithReference)
{
    std::mt19937 gen(1200);
    auto check = [&](int width, int height, int i) {
        const size_t len = static_cast<size_t>(width + 7) / 8;
        bytes data = to_stride(biased_rows(gen, len, static_cast<size_t>(height)), len, static_cast<size_t>(height));
        if (len % 2)  // junk in every pad byte
            for (size_t p = len; p < data.size(); p += len + 1)
                data[p] = static_cast<unsigned char>(gen());
        ASSERT_EQ(encode_bitmap(width, height, data), oracle_img(width, height, data.data()))
            << "case " << i << ": " << width << " x " << height;
    };
    for (int i = 0; i < 150; i++)
        check(static_cast<int>(gen() % 4801), static_cast<int>(gen() % 700), i);
    // the widest rows fill the output block many times over
    check(32767, 40, -1);
    check(32767, 1, -2);
}

}  // namespace
