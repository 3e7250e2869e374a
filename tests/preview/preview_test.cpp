// zaridiravid-preview: its decoder against the filter's encoder and netpbm's
// gemtopnm, its words for a label job block, and the tool on malformed
// streams and on the filter's output.
#include <random>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "img/img.h"
#include "preview/decode.h"
#include "tests/support.h"

namespace {

const std::string filter = "$ZARIDIRAVID_WRAPPER " FILTER_TOOL;

// What the filter's encoder writes: the IMG header for `width` dots by `lines`
// rows, then the scan lines of `rows` (if any) and `data`.
bytes encode(unsigned width, unsigned lines, const bytes &rows, const bytes &data = {})
{
    bytes bitmap = bitmap_of(static_cast<int>(width), rows);
    bytes img = written([&](FILE *out) {
        write_IMG_Header(out, width, lines);
        if (!rows.empty())
            write_img({static_cast<int16_t>(width), static_cast<int16_t>(lines), bitmap.data()}, out);
    });
    img.insert(img.end(), data.begin(), data.end());
    return img;
}

// A raw PBM image as netpbm writes it.
std::string pbm(unsigned width, unsigned height, const bytes &rows)
{
    return "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n" + text_of(rows);
}

// The decoder and gemtopnm both read `img`, whole and without a fault, as `rows`.
void expect_both_read(const bytes &img, const bytes &rows)
{
    img_image decoded;
    decode_error error;
    EXPECT_EQ(decode_img(img, 0, decoded, error), img.size());
    EXPECT_EQ(error.what, "");
    bytes mine;
    for (size_t r = 0; r < decoded.rows.size(); r++)
        mine.insert(mine.end(), decoded.row(r), decoded.row(r) + decoded.row_bytes);
    EXPECT_EQ(mine, rows);
    write_file(scratch_file("in.img"), img);
    EXPECT_TRUE(run("gemtopnm in.img").out == pbm(decoded.header.line_width, decoded.header.lines, rows));
}

// The encoder's images, misread by either side or not what the encoder was
// given: rows whose runs and bit strings are often near the record limits
// (127-byte runs, 252-byte bit strings), 301 equal rows (replication groups
// split at 255), rows of 32760 dots (the encoder's output block filled many
// times); and a pattern run (00 n pattern, which our filter never writes).
TEST(Preview, DecoderAgreesWithTheEncoderAndGemtopnm)
{
    std::mt19937 gen(1);
    for (size_t len : {1, 3, 20, 127, 128, 255, 263, 500, 4095}) {
        SCOPED_TRACE(len);
        bytes rows = biased_rows(gen, len, 400);
        for (size_t r = 1; r <= 300; r++)  // rows 1 to 300 like row 0
            std::copy_n(rows.begin(), len, rows.begin() + static_cast<long>(r * len));
        expect_both_read(encode(static_cast<unsigned>(len * 8), 400, rows), rows);
    }

    // Pattern length 2, 32 dots by 3 rows: "00 02 AA 55" is AA 55 AA 55; a
    // replication record may stand before a row that holds a pattern run.
    bytes img = encode(32, 3, {}, {0x00, 0x02, 0xAA, 0x55, 0x00, 0x00, 0xFF, 0x02, 0x00, 0x01, 0xF0, 0x0F, 0x02});
    img[7] = 2;
    expect_both_read(img, {0xAA, 0x55, 0xAA, 0x55, 0xF0, 0x0F, 0x00, 0x00, 0xF0, 0x0F, 0x00, 0x00});
}

// A fault taken for good data, or named at the wrong byte (the image header
// starts at byte 21, its scan lines at 37) or with the wrong exit status.
TEST(Preview, MalformedStreamsNameTheFaultAndItsOffset)
{
    // "e img;*\r", "d IMG;cups\r", ESC ":", the image, then `tail`.
    auto page = [head = std::string("e img;*\rd IMG;cups\r\x1b:")](bytes img, const std::string &tail) {
        img.insert(img.begin(), head.begin(), head.end());
        img.insert(img.end(), tail.begin(), tail.end());
        return img;
    };
    const std::string block = "\x1b" "end-of-data" "m m\r\nJ\r\nA1\r\n";
    bytes version = page(encode(16, 1, {}, {0x02}), block);
    version[22] = 2;
    const std::pair<bytes, std::string> cases[] = {
        {page(encode(64, 1, {}, {0x80, 0x05, 0x12, 0x34}), ""),
         "37 (0x25): page 1: the stream ends inside a bit string at byte 0 of row 1 (8 bytes a row): it needs 5 "
         "data bytes, 2 are left"},
        {page(encode(16, 2, {}, {0x02, 0x03}), block),
         "38 (0x26): page 1: solid run of 3 bytes of 0x00 at byte 0 of row 2 (2 bytes a row) passes the end of "
         "the row"},
        {page(encode(65535, 65535, {}, {0x7F, 0x7F, 0x7F}), ""),
         "40 (0x28): page 1: the stream ends inside row 1, after 381 of its 8192 bytes"},
        {page(encode(16, 2, {}, {0x00, 0x00, 0xFF, 0x00, 0x02}), block),
         "40 (0x28): page 1: vertical replication count 0 before row 1"},
        {version, "21 (0x15): page 1: IMG version 2, expected 1"},
        {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
         "6 (0x6): page 1: byte 0x1A inside the command line that starts at byte 6"},
    };
    for (const auto &[stream, fault] : cases) {
        write_file(scratch_file("in.prn"), stream);
        const run_result r = run(PREVIEW_TOOL " --text in.prn");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "zaridiravid-preview: malformed stream at byte " + fault + "\n");
    }
}

// The filter's output for the worked label (100 x 50 mm at 300 dpi, 2 copies,
// model 343's defaults), then with the cutter on: a PNG of the raster's rows
// (1181 dots rounded up to whole bytes) and the label job block in words.
// The file-name pattern is no printf format ("%s%n" stays, "%%" is one "%").
TEST(Preview, ShowsWhatTheFilterWrote)
{
    std::mt19937 gen(7);
    const test_page page{.width = 1181, .height = 591, .page_size = {283, 142}, .num_copies = 2,
                         .rows = biased_rows(gen, 148, 591)};
    write_raster(scratch_file("in.ras"), {page});
    const std::string job = "PPD=" ZARIDIRAVID_PPD_DIR "/ravi343.ppd " + filter + " 1 user title 1 ";
    const auto [status, words, err] = run(job + "\"\" in.ras > out.prn && " PREVIEW_TOOL
                                          " -o x%s%n%%-%d.png out.prn");
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(run("pngtopnm x%s%n%-1.png").out == pbm(1184, 591, page.rows));
    EXPECT_EQ(words.substr(words.find("  m m\n")),
              "  m m\n      lengths in millimetres\n  J\n      start of a label job\n  O D\n      mirror: off\n"
              "      rotate: off\n      tear-off: off\n      backfeed: D (PPD BackFeed choice BFA)\n"
              "  H 4,10,T\n      speed: 4\n      heat: 10\n"
              "      print method: T, thermal transfer (with ribbon; PPD PrintMethod True)\n"
              "  S l1;0.00,0.00,50.09,53.09,99.8\n"
              "      sensor: l1, gap sensor: labels with gaps between them (PPD LabelSensor LSD)\n"
              "      X offset: 0.00 mm\n      Y offset: 0.00 mm\n      label height: 50.09 mm\n"
              "      pitch: 53.09 mm (label height plus a gap of 3.00 mm)\n      printable width: 99.8 mm\n"
              "  I 0,0,0;cups\n      print the image \"cups\" (fields 0,0,0)\n"
              "  (no C line)\n      cutter: off\n  (no P line)\n      peel-off: off\n  A2\n      copies: 2\n");

    const auto cutter = run(job + "\"Cutter=True cCutterInterval=5 cCutterOffset1Dir=Minus cCutterOffset1NK=5\" "
                            "in.ras | " PREVIEW_TOOL " --text");
    EXPECT_EQ(cutter.status, 0) << cutter.err;
    EXPECT_EQ(cutter.out.substr(cutter.out.find("  C ")),
              "  C 5,-0.5\n      cutter: on, cut interval 5 (PPD cCutterMode CMOD1I)\n"
              "      cut position offset: -0.5 mm\n  (no P line)\n      peel-off: off\n  A2\n      copies: 2\n");
}

}  // namespace
