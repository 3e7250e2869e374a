// The built filter as the scheduler runs it: command line, whole jobs byte
// for byte, streams that end early, pages it refuses, and a printer side that
// cannot take the output.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "tests/filter/filter_run.h"

namespace {

// An address space of 64 MiB leaves a sanitized build no room to start.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARIDIRAVID_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(ZARIDIRAVID_TEST_SANITIZED)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

const std::string ready = "DEBUG: zel - Ready to print.\n";

process_result run_filter(const std::vector<test_page> &pages, size_t cut_bytes = 0)
{
    const std::string raster = temp_path();
    write_raster(raster, pages, cut_bytes);
    return run_process({.argv = filter_argv(raster)});
}

test_page page_of(unsigned width, unsigned height, bytes rows, unsigned copies = 1)
{
    test_page page;
    page.width = width;
    page.height = height;
    page.rows = std::move(rows);
    page.num_copies = copies;
    page.page_size[0] = page.page_size[1] = 72;  // one inch: "25.40" mm in the S line
    return page;
}

TEST(FilterCommandLine, VersionUsageAndUnopenableFile)
{
    process_result r = run_process({.argv = {ZARIDIRAVID, "--version"}});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "zaridiravid v1.12.2 2007-03-05\n");
    EXPECT_EQ(r.out, "");

    r = run_process({.argv = {ZARIDIRAVID, "--help"}});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err + r.out, "");

    std::vector<std::string> five = filter_argv();
    five.pop_back();
    std::vector<std::string> eight = filter_argv("/dev/null");
    eight.push_back("extra");
    for (const auto &argv : {five, eight}) {
        r = run_process({.argv = argv});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "ERROR: zel - zaridiravid job-id user title copies options [file]\n");
        EXPECT_EQ(r.out, "");
    }

    r = run_process({.argv = filter_argv("/nonexistent/job.ras")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "ERROR: zel - Unable to open raster file - : No such file or directory\n");
    EXPECT_EQ(r.out, "");
}

TEST(FilterJob, EmptyStreamHasNoPages)
{
    process_result r = run_process({.argv = filter_argv()});  // standard input is /dev/null
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "ERROR: zel - No pages found!\n");
    EXPECT_EQ(r.out, "");
}

TEST(FilterJob, TwoPagesByteForByte)
{
    std::mt19937 gen(2);
    test_page blank = page_of(16, 2, {}, 0);  // no copy count: A1
    test_page second = page_of(100, 30, biased_rows(gen, 13, 30), 3);
    second.page_size[0] = 283;
    second.page_size[1] = 142;

    process_result r = run_filter({blank, second});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "PAGE: 1 1\nPAGE: 2 1\n" + ready);
    // The first page's image download as the printer must see it.
    const bytes download = hex("65 20 69 6D 67 3B 2A 0D  64 20 49 4D 47 3B 63 75 70 73 0D  1B 3A "
                               "00 01 00 08 00 01 00 01 00 53 00 53 00 10 00 02  00 00 FF 02 02 "
                               "1B 65 6E 64 2D 6F 66 2D 64 61 74 61");
    EXPECT_TRUE(same_bytes(r.out.substr(0, download.size()), std::string(download.begin(), download.end())));
    EXPECT_TRUE(same_bytes(r.out, expected_page(blank, bytes(4), plain_label("25.40", 1)) +
                         expected_page(second, second.rows, plain_label("50.09", 3))));
}

TEST(FilterJob, LargestPages)
{
    bytes wide = random_rows(32767, 3, 7);
    std::copy(wide.begin(), wide.begin() + 4096, wide.begin() + 4096);  // rows 0 and 1 equal
    test_page widest = page_of(32767, 3, wide);
    test_page tallest = page_of(8, 32767, bytes(32767, 0x5A));
    tallest.rows[32766] = 0xA5;

    process_result r = run_filter({widest, tallest});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(same_bytes(r.out, expected_page(widest, widest.rows, plain_label("25.40", 1)) +
                         expected_page(tallest, tallest.rows, plain_label("25.40", 1))));
}

// The second page loses its last 60 rows; the first, all black, leaves its
// freed bitmap behind, so rows that were never read must be cleared.
TEST(FilterJob, StreamCutMidPage)
{
    std::mt19937 gen(4);
    test_page black = page_of(64, 100, bytes(800, 0xFF));
    test_page cut = page_of(64, 100, biased_rows(gen, 8, 100));

    process_result r = run_filter({black, cut}, 60 * 8);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "PAGE: 1 1\nPAGE: 2 1\n" + ready);
    bytes rows_read(cut.rows.begin(), cut.rows.begin() + 40 * 8);
    rows_read.resize(800, 0x00);
    EXPECT_TRUE(same_bytes(r.out, expected_page(black, black.rows, plain_label("25.40", 1)) +
                         expected_page(cut, rows_read, plain_label("25.40", 1))));

    // Cut inside row 39: rows before it whole, rows after it blank.
    r = run_filter({black, cut}, 60 * 8 + 3);
    EXPECT_EQ(r.exit_code, 0);
    std::vector<output_page> pages;
    ASSERT_EQ(split_output(r.out, pages), "");
    ASSERT_EQ(pages.size(), 2u);
    ASSERT_EQ(pages[1].image.rows.size(), 100u);
    for (size_t y = 0; y < 100; y++) {
        if (y == 39)
            continue;
        EXPECT_EQ(pages[1].image.rows[y], y < 39 ? bytes(&cut.rows[y * 8], &cut.rows[y * 8 + 8]) : bytes(8))
            << "row " << y;
    }
    EXPECT_EQ(pages[1].label, plain_label("25.40", 1));
}

// A page the printer can't take stops the job before any byte of it is
// written; it is not counted, and nothing after it is read.
TEST(FilterJob, RefusedPages)
{
    const test_page good = page_of(16, 2, {});
    auto refused = [](unsigned width, unsigned height, unsigned bits, unsigned bpl) {
        test_page page = page_of(width, height, {});
        page.bits_per_pixel = bits;
        page.bytes_per_line = bpl;
        page.header_only = true;
        return page;
    };
    const struct {
        test_page page;
        unsigned long address_space;
        const char *reason;
    } cases[] = {
        {refused(16, 2, 8, 0), 0, "8 bits per pixel, the printer takes 1"},
        {refused(32768, 2, 1, 0), 0, "32768 pixels wide, more than 32767"},
        {refused(8, 32768, 1, 0), 0, "32768 pixels high, more than 32767"},
        {refused(16, 2, 1, 4), 0, "4 bytes per line for 16 pixels, expected 2"},
        {refused(32767, 32767, 1, 0), 64ul << 20, "no memory for its bitmap"},
    };
    for (const auto &c : cases) {
        if (c.address_space && sanitized)
            continue;
        const std::string raster = temp_path();
        write_raster(raster, {c.page, good});
        process_result r = run_process({.argv = filter_argv(raster), .address_space = c.address_space});
        EXPECT_EQ(r.exit_code, 1) << c.reason;
        EXPECT_EQ(r.err, std::string("ERROR: zel - Page 1 refused: ") + c.reason + "\n");
        EXPECT_EQ(r.out, "") << c.reason;
    }

    // After a printed page the job ends there and still succeeds.
    process_result r = run_filter({good, cases[0].page, good});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "PAGE: 1 1\nERROR: zel - Page 2 refused: 8 bits per pixel, the printer takes 1\n" + ready);
    EXPECT_TRUE(same_bytes(r.out, expected_page(good, bytes(4), plain_label("25.40", 1))));
}

// Output that can't be delivered is reported instead of "Ready to print".
TEST(FilterOutput, FullDiskAndClosedPipe)
{
    const std::string small = temp_path(), large = temp_path();
    write_raster(small, {page_of(16, 2, {})});
    write_raster(large, {page_of(2000, 100, random_rows(2000, 100, 5))});  // 25 kB, past any buffer

    for (const std::string &raster : {small, large}) {
        process_result r = run_process({.argv = filter_argv(raster), .stdout_path = "/dev/full"});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "PAGE: 1 1\nERROR: zel - Unable to write to the printer - No space left on device\n");

        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        close(ends[0]);  // the printer has hung up before the first byte
        r = run_process({.argv = filter_argv(raster), .stdout_fd = ends[1]});
        close(ends[1]);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "PAGE: 1 1\nERROR: zel - Unable to write to the printer - Broken pipe\n");
    }
}

}  // namespace
