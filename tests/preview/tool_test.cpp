// The zaridiravid-preview program: the real filter's output back to PNG, file
// names, options and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/preview/test_util.h"
#include "tests/raster_writer.h"

namespace {

using bytes = std::vector<unsigned char>;

const std::string preview = PREVIEW_TOOL;
const std::string filter = FILTER_TOOL;

// The PNG's pixels as netpbm reads them (PBM rows: a set bit is black).
bytes png_rows(const std::string &png, unsigned &width, unsigned &height)
{
    bytes rows;
    EXPECT_EQ(run("timeout 30 pngtopnm " + png + " > " + png + ".pbm"), 0);
    EXPECT_TRUE(rows_from_pbm(png + ".pbm", width, height, rows));
    return rows;
}

std::string slurp(const std::string &path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

bool exists(const std::string &path) { return std::filesystem::exists(path); }

TEST(PreviewTool, ShowsWhatTheFilterWrote)
{
    temp_dir dir;
    test_page first;
    first.width = 203;  // rows of 26 bytes: the PNG is 208 dots wide
    first.height = 120;
    first.rows = rows_from_pattern(203, 120, [](unsigned x, unsigned y) { return (x * x + y * 7) % 11 < 4; });
    test_page second;
    second.width = 64;
    second.height = 10;
    second.num_copies = 3;
    second.rows = random_rows(64, 10, 3);
    write_raster(dir.path + "/in.ras", {first, second});

    ASSERT_EQ(run("env -u PPD timeout 30 " + filter + " 1 user title 1 '' " + dir.path + "/in.ras > " + dir.path +
                  "/out.prn 2>/dev/null"),
              0);
    ASSERT_EQ(run("timeout 30 " + preview + " -o " + dir.path + "/label-%d.png --resolution 300 " + dir.path +
                  "/out.prn > " + dir.path + "/words.txt"),
              0);

    unsigned width = 0, height = 0;
    EXPECT_EQ(png_rows(dir.path + "/label-1.png", width, height), first.rows);
    EXPECT_EQ(width, 208u);
    EXPECT_EQ(height, 120u);
    // 300 dpi is 11811 dots a metre both ways.
    const std::string phys("pHYs\0\0\x2e\x23\0\0\x2e\x23\x01", 13);
    EXPECT_NE(slurp(dir.path + "/label-1.png").find(phys), std::string::npos);
    EXPECT_EQ(png_rows(dir.path + "/label-2.png", width, height), second.rows);
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(height, 10u);

    std::string words = slurp(dir.path + "/words.txt");
    EXPECT_NE(words.find("2 pages read"), std::string::npos);
    EXPECT_NE(words.find("A3\n      copies: 3\n"), std::string::npos) << words;
}

TEST(PreviewTool, MalformedStreamIsDescribedUpToTheFault)
{
    temp_dir dir;
    const std::string block = "\x1b" "end-of-data" "m m\r\nJ\r\nA1\r\n";
    bytes stream = page_bytes(encode_img({0x12, 0x34}, 2, 1), block);
    bytes img = img_header_bytes(16, 1, 1);
    img.push_back(0x05);  // 5 bytes of 0x00 in a row of 2
    bytes bad = page_bytes(img, block);
    const size_t fault = stream.size() + 37;
    stream.insert(stream.end(), bad.begin(), bad.end());
    write_bytes(dir.path + "/bad.prn", stream);

    const std::string out = " > " + dir.path + "/out.txt 2> " + dir.path + "/err.txt";
    EXPECT_EQ(run("cd " + dir.path + " && timeout 30 " + preview + " bad.prn" + out), 1);
    EXPECT_NE(slurp(dir.path + "/out.txt").find("page 1, from byte 0"), std::string::npos);
    EXPECT_EQ(slurp(dir.path + "/err.txt"),
              "zaridiravid-preview: malformed stream at byte " + std::to_string(fault) + " (0x" +
                  (std::ostringstream() << std::hex << std::uppercase << fault).str() +
                  "): page 2: solid run of 5 bytes of 0x00 at byte 0 of row 1 (2 bytes a row) passes the end of "
                  "the row\n");
    EXPECT_TRUE(exists(dir.path + "/page-1.png"));  // the default name
    EXPECT_FALSE(exists(dir.path + "/page-2.png"));
}

TEST(PreviewTool, FileNamesOptionsAndStatuses)
{
    temp_dir dir;
    const std::string block = "\x1b" "end-of-data" "J\r\nA1\r\n";
    bytes one = page_bytes(encode_img({0xF0}, 1, 1), block);
    write_bytes(dir.path + "/one.prn", one);
    bytes two = one;
    two.insert(two.end(), one.begin(), one.end());
    write_bytes(dir.path + "/two.prn", two);
    const std::string cd = "cd " + dir.path + " && timeout 30 " + preview + " ";
    const std::string quiet = " > /dev/null 2>&1";

    // The pattern is no printf format: only %d and %% are replaced.
    EXPECT_EQ(run(cd + "-o 'x%s%n%%-%d.png' one.prn" + quiet), 0);
    EXPECT_TRUE(exists(dir.path + "/x%s%n%-1.png"));
    // Without %d, several pages are told apart before the extension.
    EXPECT_EQ(run(cd + "-o lab.png two.prn" + quiet), 0);
    EXPECT_TRUE(exists(dir.path + "/lab-1.png") && exists(dir.path + "/lab-2.png"));
    EXPECT_EQ(run(cd + "-o only.png --page 2 < two.prn" + quiet), 0);
    EXPECT_TRUE(exists(dir.path + "/only.png"));
    EXPECT_EQ(run(cd + "--text -o none-%d.png two.prn" + quiet), 0);
    EXPECT_FALSE(exists(dir.path + "/none-1.png"));

    EXPECT_EQ(run(cd + "--page 3 two.prn" + quiet), 2);
    EXPECT_EQ(run(cd + "--page 0 two.prn" + quiet), 2);
    EXPECT_EQ(run(cd + "--resolution 3x two.prn" + quiet), 2);
    EXPECT_EQ(run(cd + "--bogus two.prn" + quiet), 2);
    EXPECT_EQ(run(cd + "one.prn two.prn" + quiet), 2);
    EXPECT_EQ(run(cd + "missing.prn" + quiet), 3);
    EXPECT_EQ(run(cd + "--help > help.txt"), 0);
    EXPECT_NE(slurp(dir.path + "/help.txt").find("Usage: zaridiravid-preview"), std::string::npos);
    EXPECT_EQ(run(cd + "--version > version.txt"), 0);
    EXPECT_EQ(slurp(dir.path + "/version.txt"), "zaridiravid-preview 1.12.2\n");
}

}  // namespace
