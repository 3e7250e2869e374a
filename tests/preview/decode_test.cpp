// Decoder: the filter's own encoder and netpbm's gemtopnm as references, and
// malformed streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "img/img.h"
#include "preview/decode.h"
#include "tests/preview/test_util.h"
#include "tests/raster_writer.h"

namespace {

using bytes = std::vector<unsigned char>;

// Rows of `len` bytes, mostly the 0x00 and 0xFF that solid runs take, with
// runs of repeated rows (up to 300 so that replication groups split).
bytes mixed_rows(size_t len, unsigned height, uint32_t seed)
{
    std::mt19937 gen(seed);
    bytes rows(len * height);
    for (unsigned r = 0; r < height; r++) {
        unsigned char *row = rows.data() + r * len;
        if (r > 0 && gen() % 3 == 0) {
            std::copy(row - len, row, row);
            continue;
        }
        for (size_t i = 0; i < len; i++) {
            unsigned kind = gen() % 4;
            row[i] = kind == 0 ? 0x00 : kind == 1 ? 0xFF : static_cast<unsigned char>(gen());
        }
    }
    if (height > 320)  // one long run of equal rows
        for (unsigned r = 11; r < 311; r++)
            std::copy(rows.begin() + 10 * len, rows.begin() + 11 * len, rows.begin() + r * len);
    return rows;
}

// Runs gemtopnm on the IMG bytes and reads back its PBM rows.
bytes gemtopnm_rows(const bytes &img, unsigned &width, unsigned &height)
{
    temp_dir dir;
    write_bytes(dir.path + "/in.img", img);
    std::string cmd = "timeout 30 gemtopnm " + dir.path + "/in.img > " + dir.path + "/out.pbm 2>/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    bytes rows;
    EXPECT_TRUE(rows_from_pbm(dir.path + "/out.pbm", width, height, rows));
    return rows;
}

void expect_both_agree(const bytes &rows, size_t len, unsigned height)
{
    bytes img = encode_img(rows, len, height);
    img_image image;
    decode_error error;
    EXPECT_EQ(decode_img(img, 0, image, error), img.size());
    ASSERT_EQ(error.what, "");
    EXPECT_EQ(flat_rows(image), rows) << len << " bytes x " << height;

    unsigned w = 0, h = 0;
    EXPECT_EQ(gemtopnm_rows(img, w, h), rows);
    EXPECT_EQ(w, len * 8);
    EXPECT_EQ(h, height);
}

TEST(Decode, RoundTripsTheEncoderAndAgreesWithGemtopnm)
{
    // Row lengths around the record limits (127-byte runs, 252-byte strings).
    const size_t lengths[] = {1, 2, 3, 5, 20, 127, 128, 255, 263, 500};
    uint32_t seed = 1;
    for (size_t len : lengths)
        expect_both_agree(mixed_rows(len, len < 100 ? 700 : 40, seed++), len, len < 100 ? 700 : 40);
    bytes noise = random_rows(2100, 30, 7);  // bit strings only
    expect_both_agree(noise, 263, 30);
}

TEST(Decode, RoundTripsARealBitmap)
{
    temp_dir dir;
    std::string cmd = "timeout 30 sh -c 'pbmtext \"Ravi 143/300 label\" | pnmenlarge 3' > " + dir.path + "/t.pbm";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    unsigned w = 0, h = 0;
    bytes rows;
    ASSERT_TRUE(rows_from_pbm(dir.path + "/t.pbm", w, h, rows));
    expect_both_agree(rows, (w + 7) / 8, h);
}

TEST(Decode, PatternRunsAsGemtopnmReadsThem)
{
    // Pattern length 2, 32 x 3 pixels: 00 02 AA 55 is AA 55 AA 55; 00 01 F0 0F
    // and 02 is F0 0F 00 00; a replication record may precede a pattern run.
    bytes img = img_header_bytes(32, 3, 2);
    bytes data = {0x00, 0x02, 0xAA, 0x55, 0x00, 0x00, 0xFF, 0x02, 0x00, 0x01, 0xF0, 0x0F, 0x02};
    img.insert(img.end(), data.begin(), data.end());
    const bytes expected = {0xAA, 0x55, 0xAA, 0x55, 0xF0, 0x0F, 0x00, 0x00, 0xF0, 0x0F, 0x00, 0x00};

    img_image image;
    decode_error error;
    decode_img(img, 0, image, error);
    EXPECT_EQ(error.what, "");
    EXPECT_EQ(flat_rows(image), expected);
    unsigned w = 0, h = 0;
    EXPECT_EQ(gemtopnm_rows(img, w, h), expected);
}

TEST(Decode, HugeDeclaredImagesCostWhatTheStreamCarries)
{
    // 65535 x 65535 blank dots, legitimately encoded in 17 KB: 258 groups of
    // up to 255 rows. Only the group's one row each is stored.
    const size_t len = 8192;
    bytes img = img_header_bytes(65535, 65535, 1);
    bytes blank(len, 0), line(img_scanline_bound(len));
    line.resize(encode_scanline(blank.data(), len, line.data()));
    for (unsigned left = 65535; left > 0; left -= std::min(left, 255u)) {
        bytes group = {0x00, 0x00, 0xFF, static_cast<unsigned char>(std::min(left, 255u))};
        img.insert(img.end(), group.begin(), group.end());
        img.insert(img.end(), line.begin(), line.end());
    }
    img_image image;
    decode_error error;
    EXPECT_EQ(decode_img(img, 0, image, error), img.size());
    EXPECT_EQ(error.what, "");
    EXPECT_EQ(image.rows.size(), 65535u);
    EXPECT_LE(image.store.size(), 258 * len);
}

struct bad_case {
    const char *name;
    bytes stream;
    size_t offset;
    const char *message;
};

TEST(Decode, MalformedStreamsNameTheOffsetAndTheFault)
{
    // The image header starts at byte 21 and its scan lines at 37.
    const std::string eod = "\x1b" "end-of-data", block = eod + "m m\r\nJ\r\nA1\r\n";
    auto image = [](unsigned w, unsigned h, bytes data) {
        bytes img = img_header_bytes(w, h, 1);
        img.insert(img.end(), data.begin(), data.end());
        return img;
    };
    bytes version = image(16, 1, {0x02});
    version[1] = 2;
    bytes words = image(16, 1, {0x02});
    words[3] = 7;
    bytes unfinished = page_bytes(image(16, 1, {0x02}), eod + "m m\r\nJ\r\n");

    const bad_case cases[] = {
        {"cut inside a bit string", page_bytes(image(64, 1, {0x80, 0x05, 0x12, 0x34}), ""), 37,
         "the stream ends inside a bit string at byte 0 of row 1 (8 bytes a row): it needs 5 data bytes, 2 are left"},
        {"run past the row end", page_bytes(image(16, 2, {0x02, 0x03}), block), 38,
         "solid run of 3 bytes of 0x00 at byte 0 of row 2 (2 bytes a row) passes the end of the row"},
        {"bit string past the row end", page_bytes(image(16, 1, {0x81, 0x80, 0x02, 0x12, 0x34}), block), 38,
         "bit string of 2 bytes at byte 1 of row 1 (2 bytes a row) passes the end of the row"},
        {"header lies about the size (40 bytes in all)", page_bytes(image(65535, 65535, {0x7F, 0x7F, 0x7F}), ""),
         40, "the stream ends inside row 1, after 381 of its 8192 bytes"},
        {"fewer lines than declared", page_bytes(image(16, 3, {0x02}), ""), 38,
         "the stream ends after 1 of the 3 lines that the IMG header declares"},
        {"more data than declared", page_bytes(image(16, 1, {0x02, 0x02}), block), 38,
         "after the image's 1 lines comes 0x02 instead of ESC \"end-of-data\""},
        {"replication count 0", page_bytes(image(16, 2, {0x00, 0x00, 0xFF, 0x00, 0x02}), block), 40,
         "vertical replication count 0 before row 1"},
        {"replication past the lines", page_bytes(image(16, 2, {0x00, 0x00, 0xFF, 0x03, 0x02}), block), 40,
         "vertical replication of 3 rows from row 1 passes the 2 lines"},
        {"replication inside a row", page_bytes(image(16, 1, {0x01, 0x00, 0x00, 0xFF, 0x02}), block), 38,
         "vertical replication record at byte 1 of row 1"},
        {"bad version", page_bytes(version, block), 21, "IMG version 2, expected 1"},
        {"bad header length", page_bytes(words, block), 23, "IMG header length of 7 words"},
        {"garbage", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, 6, "byte 0x1A inside the command line"},
        {"no print command", unfinished, unfinished.size(), "before the page's print command (the A line)"},
        {"cut inside a line", {'m', ' ', 'm', '\r', '\n', 'A', '1'}, 5, "ends inside the command line \"A1\""},
        {"stray ESC", {'J', '\r', 0x1B, 'x'}, 2, "ESC followed by 0x78"},
    };
    for (const bad_case &c : cases) {
        decoded_stream s = decode_stream(c.stream);
        EXPECT_EQ(s.error.offset, c.offset) << c.name;
        EXPECT_NE(s.error.what.find(c.message), std::string::npos) << c.name << ": " << s.error.what;
    }
}

TEST(Decode, PagesBeforeAFaultAreKept)
{
    bytes one = page_bytes(encode_img(bytes{0xF0, 0x0F}, 2, 1), "\x1b" "end-of-data" "J\r\nA2\r\n");
    bytes stream = one;
    stream.insert(stream.end(), one.begin(), one.end() - 3);  // the second page lacks its "2\r\n"
    decoded_stream s = decode_stream(stream);
    ASSERT_EQ(s.pages.size(), 1u);
    EXPECT_EQ(s.pages[0].lines.size(), 4u);  // e, d, J, A2
    EXPECT_EQ(s.pages[0].image_before, 2u);
    EXPECT_EQ(flat_rows(s.pages[0].image), (bytes{0xF0, 0x0F}));
    EXPECT_EQ(s.error.offset, stream.size() - 1);
    EXPECT_EQ(s.error.what, "page 2: the stream ends inside the command line \"A\", before its CR");
}

}  // namespace
