// The filter as CUPS runs it: $PPD naming a test queue, the job options in
// the fifth argument, a raster file of several pages; the whole standard
// output is compared.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/raster_writer.h"
#include "tests/settings/settings_support.h"

namespace {

struct run_result {
    int status = -1;  // exit status
    std::string out, err;
};

// Runs the filter on `raster` with PPD set to `ppd` (unset when empty) and
// the job options as its fifth argument; a run of over 10 s is killed.
run_result run_filter(const std::string &ppd, const std::string &job_options, const std::string &raster)
{
    std::string out = temp_path("run.out"), err = temp_path("run.err");
    std::string command = (ppd.empty() ? "env -u PPD" : "env PPD='" + ppd + "'") + " timeout -s KILL 10 '" +
                          ZARIDIRAVID_EXE + "' 17 user title 1 '" + job_options + "' '" + raster + "' >'" + out +
                          "' 2>'" + err + "'";
    int status = std::system(command.c_str());
    run_result r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_text(out);
    r.err = read_text(err);
    return r;
}

// Three 16 x 2 pages: blank, a black row over a blank one, blank again.
std::string three_pages()
{
    std::string path = temp_path("three.ras");
    test_page p1, p2, p3;
    p1.page_size[0] = 283, p1.page_size[1] = 142, p1.num_copies = 2;
    p2.page_size[0] = 288, p2.page_size[1] = 144, p2.num_copies = 0;
    p2.rows = {0xFF, 0xFF, 0x00, 0x00};
    p3.page_size[0] = 340, p3.page_size[1] = 170, p3.num_copies = 3;
    write_raster(path, {p1, p2, p3});
    return path;
}

// The image download of a 16 x 2 page: preamble, IMG header, scan lines.
std::string download(const std::string &scanlines)
{
    return std::string("e img;*\rd IMG;cups\r\x1b:") +
           std::string("\x00\x01\x00\x08\x00\x01\x00\x01\x00\x53\x00\x53\x00\x10\x00\x02", 16) + scanlines +
           "\x1b" "end-of-data" "m m\r\nJ\r\n";
}

const std::string blank_rows("\x00\x00\xFF\x02\x02", 5);  // two equal rows of 00 00
const std::string black_over_blank("\x82\x02", 2);         // FF FF, then 00 00

TEST(FilterRun, ThreePagesWithJobOptions)
{
    run_result r = run_filter(base_ppd(),
                              "Heat=Pct Cutter=True PeelOff=True cPeelOffDir=PODIRM "
                              "cPeelOffVKVersatz=2 cPeelOffNKVersatz=5",
                              three_pages());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "PAGE: 1 1\nPAGE: 2 1\nPAGE: 3 1\nDEBUG: zel - Ready to print.\n");
    const std::string tail = "I 0,0,0;cups\r\nC 5,+0.0\r\nP -2.5\r\n";
    EXPECT_EQ(r.out, download(blank_rows) + "O D\r\nH 4,%%s,T\r\nS l1;0.00,0.00,50.09,53.09,99.8\r\n" + tail +
                         "A2\r\n" +
                         download(black_over_blank) + "O D\r\nH 4,%%s,T\r\nS l1;0.00,0.00,50.80,53.80,101.6\r\n" +
                         tail + "A1\r\n" +
                         download(blank_rows) + "O D\r\nH 4,%%s,T\r\nS l1;0.00,0.00,59.97,62.97,105.6\r\n" +
                         tail + "A3\r\n");
}

TEST(FilterRun, ErrorValuesReachTheLines)
{
    std::string ppd = ppd_variant("run-model999", {{"*cupsModelNumber: 143", "*cupsModelNumber: 999"}});
    run_result r = run_filter(ppd,
                              "TearOffMode=True Cutter=True BackFeed=BFX LabelSensor=LSX cCutterMode=CMOD9Z "
                              "LabelRotate=True PrnHeadOffsetXVK=1 PrnHeadOffsetXNK=5",
                              three_pages());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "ERROR: zel Printer - Unknown printer model\n"
                     "ERROR: Max. printing width is 0.0 now ...\n"
                     "ERROR: Driver conflicts occurred: 1 conflicts ...\n"
                     "ERROR: Report this, please. Thank you!\n"
                     "ERROR: Backfeed Mode - Not available options ...\n"
                     "ERROR: Label Sensor - Option is not available ...\n"
                     "ERROR: Cutter Mode - Option is not available ...\n"
                     "PAGE: 1 1\nPAGE: 2 1\nPAGE: 3 1\nDEBUG: zel - Ready to print.\n");
    const std::string lines = "O R,T,ERR\r\nH 4,10,T\r\n";
    const std::string tail = "I 0,0,0;cups\r\nC ERROR!!!\r\n";
    EXPECT_EQ(r.out, download(blank_rows) + lines + "S ERR;1.50,0.00,50.09,53.09,-1.5\r\n" + tail + "A2\r\n" +
                         download(black_over_blank) + lines + "S ERR;1.50,0.00,50.80,53.80,-1.5\r\n" + tail +
                         "A1\r\n" + download(blank_rows) + lines + "S ERR;1.50,0.00,59.97,62.97,-1.5\r\n" + tail +
                         "A3\r\n");
}

TEST(FilterRun, WithoutAUsablePpd)
{
    const std::string expected = download(blank_rows) + "O \r\nH ,,\r\nS ;0.00,0.00,50.09,50.09,0.0\r\n"
                                 "I 0,0,0;cups\r\nA2\r\n" +
                                 download(black_over_blank) + "O \r\nH ,,\r\nS ;0.00,0.00,50.80,50.80,0.0\r\n"
                                 "I 0,0,0;cups\r\nA1\r\n" +
                                 download(blank_rows) + "O \r\nH ,,\r\nS ;0.00,0.00,59.97,59.97,0.0\r\n"
                                 "I 0,0,0;cups\r\nA3\r\n";
    std::string raster = three_pages();
    run_result r = run_filter("", "Heat=12 Cutter=True", raster);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "PAGE: 1 1\nPAGE: 2 1\nPAGE: 3 1\nDEBUG: zel - Ready to print.\n");
    EXPECT_EQ(r.out, expected);

    r = run_filter(raster, "Heat=12 Cutter=True", raster);  // a raster file is no PPD
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.starts_with("ERROR: zel - Unable to open PPD file - ")) << r.err;
    EXPECT_TRUE(r.err.ends_with("\nPAGE: 1 1\nPAGE: 2 1\nPAGE: 3 1\nDEBUG: zel - Ready to print.\n")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 5);
    EXPECT_EQ(r.out, expected);
}

}  // namespace
