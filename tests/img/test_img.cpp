// The GEM IMG encoder byte for byte: worked rows and bitmaps, the limits of
// runs, bit strings and replication groups, and every entry point against the
// reference encoder on biased random input (fixed seeds: a failure repeats).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "img/img.h"
#include "tests/support.h"

namespace {

bytes encode_bitmap(int width, int height, bytes data)
{
    const img_bitmap bitmap = {static_cast<int16_t>(width), static_cast<int16_t>(height), data.data()};
    return written([&](FILE *out) { write_img(bitmap, out); });
}

// Both scan-line encoders give `expected` and write nothing past their bound.
::testing::AssertionResult scanline_is(const bytes &row, const bytes &expected)
{
    const size_t bound = img_scanline_bound(row.size());
    for (auto encode : {encode_scanline, encode_scanline_portable}) {
        bytes out(bound + 16, 0xA5);
        const size_t n = encode(row.data(), row.size(), out.data());
        if (n > bound || std::count(out.begin() + bound, out.end(), 0xA5) != 16 || bytes(&out[0], &out[n]) != expected)
            return ::testing::AssertionFailure() << "a row of " << row.size() << " bytes";
    }
    return ::testing::AssertionSuccess();
}

// Each bitmap through write_img and the reference (EE: a pad byte); a bitmap
// of one row is that row's scan line, with no replication record, from both
// scan-line encoders too.
TEST(Img, HeaderAndWorkedBitmaps)
{
    const bytes header = hex("00 01 00 08 00 01 00 01 00 53 00 53 03 20 04 B0");
    EXPECT_EQ(written([](FILE *f) { write_IMG_Header(f, 800, 1200); }), header);
    EXPECT_EQ(written([](FILE *f) { write_IMG_Header(f, 0x10320, 0x304B0); }), header);
    bytes other(255);  // bytes that never start a run: 01 02 ... FE 01
    for (size_t i = 0; i < other.size(); i++)
        other[i] = static_cast<unsigned char>(1 + i % 254);
    const bytes first252(other.begin(), other.begin() + 252), first254(other.begin(), other.begin() + 254);
    auto cat = [](bytes a, const bytes &b) { a.insert(a.end(), b.begin(), b.end()); return a; };
    const std::tuple<int, int, bytes, bytes> cases[] = {
        {64, 1, hex("00 00 00 FF FF 12 34 00"), hex("03 82 80 03 12 34 00")},
        {96, 1, hex("12 00 00 34 00 00 00 00 FF FF FF 56"), hex("80 04 12 00 00 34 04 83 80 01 56")},
        {56, 1, hex("12 00 00 34 FF FF FF EE"), hex("80 07 12 00 00 34 FF FF FF")},
        {40, 1, hex("12 00 00 00 00 EE"), hex("80 01 12 04")},
        {2100, 1, cat(bytes(263, 0x00), {0xEE}), hex("7F 7F 09")},
        {2100, 1, cat(bytes(263, 0xFF), {0xEE}), hex("FF FF 89")},
        {2032, 1, first254, cat(hex("80 FE"), first254)},
        {2040, 1, cat(other, {0xEE}), cat(cat(hex("80 FC"), first252), hex("80 03 FD FE 01"))},
        {16, 4, hex("F0 0F F0 0F F0 0F 00 00"), hex("00 00 FF 03 80 02 F0 0F 02")},
        // 3 bytes a row at a stride of 4: the pad bytes differ, and are neither compared nor written
        {20, 2, hex("AA BB C0 99 AA BB C0 11"), hex("00 00 FF 02 80 03 AA BB C0")},
        {16, 256, bytes(512, 0x3C), hex("00 00 FF FF 80 02 3C 3C  80 02 3C 3C")},
        {16, 257, bytes(514, 0x3C), hex("00 00 FF FF 80 02 3C 3C  00 00 FF 02 80 02 3C 3C")},
        {16, 300, bytes(600, 0x3C), hex("00 00 FF FF 80 02 3C 3C  00 00 FF 2D 80 02 3C 3C")},
        {16, 0, {}, {}},
        {0, 3, bytes(2), hex("00 00 FF 03")},
    };
    for (const auto &[width, height, data, img] : cases) {
        EXPECT_EQ(encode_bitmap(width, height, data), img) << width << " x " << height;
        EXPECT_EQ(oracle_img(width, height, data.data()), img) << width << " x " << height;
        if (height == 1) {
            EXPECT_TRUE(scanline_is(bytes(data.begin(), data.begin() + (width + 7) / 8), img));
        }
    }
}

// Random rows, and random bitmaps with junk in the pad bytes; now and then
// rows of 32767 pixels, which fill write_img's output block many times over.
TEST(Img, AgreesWithReference)
{
    std::mt19937 gen(20070305);
    for (int i = 0; i < 20000; i++) {
        const bytes row = biased_rows(gen, gen() % 601, 1);
        ASSERT_TRUE(scanline_is(row, oracle_scanline(row.data(), row.size()))) << "case " << i;
    }
    for (int i = 0; i < 150; i++) {
        const int width = i % 50 ? static_cast<int>(gen() % 4801) : 32767, height = static_cast<int>(gen() % 700);
        const size_t len = static_cast<size_t>(width + 7) / 8;
        bytes data = bitmap_of(width, biased_rows(gen, len, static_cast<size_t>(height)));
        for (size_t p = len; len % 2 && p < data.size(); p += len + 1)  // junk in the pad bytes
            data[p] = static_cast<unsigned char>(gen());
        ASSERT_EQ(encode_bitmap(width, height, data), oracle_img(width, height, data.data()))
            << "case " << i << ": " << width << " x " << height;
    }
}

}  // namespace
