// An independent IMG decoder (netpbm's gemtopnm) reads the images the filter
// sends and must find exactly the pixels of the raster that went in: random
// pages, and a page that CUPS itself rendered from a PDF.
#include <gtest/gtest.h>

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "tests/filter/filter_run.h"

namespace {

// The raster's pages as libcups reads them back.
std::vector<test_page> read_raster(const std::string &path)
{
    std::vector<test_page> pages;
    int fd = open(path.c_str(), O_RDONLY);
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    while (ras && cupsRasterReadHeader2(ras, &h)) {
        test_page page;
        page.width = h.cupsWidth;
        page.height = h.cupsHeight;
        page.bits_per_pixel = h.cupsBitsPerPixel;
        page.bytes_per_line = h.cupsBytesPerLine;
        page.rows.resize(size_t{h.cupsBytesPerLine} * h.cupsHeight);
        for (unsigned y = 0; y < h.cupsHeight; y++)
            cupsRasterReadPixels(ras, page.rows.data() + size_t{y} * h.cupsBytesPerLine, h.cupsBytesPerLine);
        pages.push_back(std::move(page));
    }
    cupsRasterClose(ras);
    close(fd);
    return pages;
}

// Runs the filter on the raster and checks every page it wrote with
// gemtopnm against the raster's own rows.
void expect_gemtopnm_agrees(const std::string &raster)
{
    const std::vector<test_page> in = read_raster(raster);
    ASSERT_FALSE(in.empty());
    process_result r = run_process({.argv = filter_argv(raster)});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::vector<output_page> pages;
    ASSERT_EQ(split_output(r.out, pages), "");
    ASSERT_EQ(pages.size(), in.size());

    for (size_t i = 0; i < pages.size(); i++) {
        const std::string img = temp_path(), pbm = temp_path();
        std::ofstream(img, std::ios::binary) << pages[i].img;
        process_result g = run_process({.argv = {GEMTOPNM, img}, .stdout_path = pbm});
        ASSERT_EQ(g.exit_code, 0) << g.err;
        unsigned width = 0, height = 0;
        bytes rows;
        ASSERT_TRUE(rows_from_pbm(pbm, width, height, rows)) << "page " << i + 1;
        // IMG set bits are black, and so are PBM's; the width is whole bytes.
        EXPECT_EQ(width, in[i].line_bytes() * 8) << "page " << i + 1;
        EXPECT_EQ(height, in[i].height) << "page " << i + 1;
        EXPECT_TRUE(rows == in[i].rows) << "page " << i + 1 << ", " << in[i].width << " x " << in[i].height;
    }
}

TEST(GemDecoder, AgreesOnRandomPages)
{
    std::mt19937 gen(6);
    std::vector<test_page> pages;
    const unsigned sizes[][2] = {{1, 1}, {13, 7}, {16, 300}, {100, 40}, {801, 260}, {2400, 120}};
    for (const auto &size : sizes) {
        test_page page;
        page.width = size[0];
        page.height = size[1];
        const size_t bpl = (size[0] + 7) / 8;
        page.rows = pages.size() % 2 ? random_rows(size[0], size[1], gen()) : biased_rows(gen, bpl, size[1]);
        pages.push_back(page);
    }
    const std::string raster = temp_path();
    write_raster(raster, pages);
    expect_gemtopnm_agrees(raster);
}

TEST(GemDecoder, AgreesOnPageRenderedByCups)
{
    const std::string raster = temp_path();
    process_result c = run_process({.argv = {CUPSFILTER, "-p", TEST_PPD, "-m", "application/vnd.cups-raster",
                                             "/usr/share/cups/data/default-testpage.pdf"},
                                    .stdout_path = raster},
                                   30);
    ASSERT_EQ(c.exit_code, 0) << c.err;
    const std::vector<test_page> in = read_raster(raster);
    ASSERT_FALSE(in.empty());
    // 50 x 30 mm at 300 dpi, 1 bit, with something drawn on it.
    EXPECT_EQ(in[0].bits_per_pixel, 1u);
    EXPECT_EQ(in[0].width, 592u);
    EXPECT_EQ(in[0].height, 354u);
    EXPECT_GT(std::count_if(in[0].rows.begin(), in[0].rows.end(), [](unsigned char b) { return b != 0; }), 1000);
    expect_gemtopnm_agrees(raster);
}

}  // namespace
