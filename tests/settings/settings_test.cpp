// The printer settings: model table, PPD and job options read into the records, the lines
// built from them, the label job block that printpage writes, the filter run on a test queue.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "filter/job.h"
#include "settings/lines.h"
#include "settings/models.h"
#include "settings/options.h"
#include "tests/raster_writer.h"

namespace {

const std::string base_ppd = TEST_PPD_DIR "/base.ppd", unknown = "ERROR: zel Printer - Unknown printer model\n";
const std::string keyword_msgs = "ERROR: Backfeed Mode - Not available options ...\n"  // BackFeed,
                                 "ERROR: Label Sensor - Option is not available ...\n"  // LabelSensor and
                                 "ERROR: Cutter Mode - Option is not available ...\n";  // cCutterMode unknown

template <class F>
std::string capture_stderr(F &&f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

const struct { int32_t number; double width; const char *dpi; } rows[] = {
    {132, 104.0, "/200"}, {133, 108.4, "/300"}, {143, 105.6, "/300"}, {146, 105.6, "/600"}, {163, 162.6, "/300"},
    {183, 216.0, "/300"}, {242, 104.0, "/200"}, {243, 108.4, "/300"}, {323, 54.2, "/300"}, {342, 104.0, "/200"},
    {343, 105.6, "/300"}, {346, 105.6, "/600"}, {363, 162.6, "/300"}, {383, 216.0, "/300"}, {422, 104.0, "/200"},
    {423, 105.6, "/300"}, {426, 105.6, "/600"}, {1322, 52.0, "/200"}, {1323, 54.2, "/300"}, {3342, 104.0, "/200"},
    {3343, 108.4, "/300"}, {4422, 104.0, "/200"}, {4423, 108.4, "/300"}, {5431, 104.0, "/300"}, {5432, 104.0, "/300"},
    {5461, 105.6, "/600"}, {5462, 105.6, "/600"}, {5531, 104.0, "/300"}, {5532, 104.0, "/300"}, {5561, 105.6, "/600"},
    {5562, 105.6, "/600"},
};

// Widths not the doubles nearest their literals, known models reported, names
// without resolution or too long; ranges or near matches for exact keys.
TEST(ModelTable, ModelsAndNumbersThatAreNot)
{
    char name[64] = {};
    for (const auto &r : rows) {
        EXPECT_EQ(capture_stderr([&] { EXPECT_EQ(getPrintingWidth(r.number), r.width) << r.number; }), "");
        EXPECT_EQ(capture_stderr([&] { getPrinterModelName(name, r.number); }), "");
        const std::string n = name;
        EXPECT_TRUE(n.starts_with("Ravi ") && n.ends_with(r.dpi) && n.size() <= 14) << n;
    }
    for (int32_t n : {-1, 0, 131, 999, 5430, 5433, 5460, 5463, 5530, 5533, 5560, 5563, INT32_MIN})
        EXPECT_EQ(capture_stderr([&] { EXPECT_EQ(getPrintingWidth(n), 0.0) << n; }),
                  unknown + "ERROR: Max. printing width is 0.0 now ...\n");
    EXPECT_EQ(capture_stderr([&] { getPrinterModelName(name, 999); }), unknown);
    EXPECT_STREQ(name, "Unknown printer model");
}

// Runs setup as at program start with $PPD = `ppd` (unset if empty) and job options; returns stderr.
job_settings job;

std::string run_setup(const std::string &ppd, const char *job_options = "")
{
    ppd.empty() ? unsetenv("PPD") : setenv("PPD", ppd.c_str(), 1);
    cups_option_t *options = nullptr;
    int num_options = cupsParseOptions(job_options, 0, &options);
    std::string err = capture_stderr([&] { job = setup(num_options, options); });
    cupsFreeOptions(num_options, options);
    return err;
}

// The model, its width and the five records in one line, to compare them whole.
std::string records()
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "model=%d width=%g sensor=%s x=%g y=%g gap=%g heat=%s speed=%s method=%s mro=%d%d%d "
                  "backfeed=%s peel=%d,%s cutter=%d,%d,%s,%s",
                  job.modelnumber, job.printwidth, job.s_opt.labelsensor, job.s_opt.displacementx,
                  job.s_opt.displacementy, job.s_opt.labelgap, job.h_opt.heat, job.h_opt.speed, job.h_opt.printmethod,
                  job.o_opt.labelmirrored, job.o_opt.labelrotate, job.o_opt.tearoffmode, job.o_opt.backfeedmode,
                  job.p_opt.peeloffmode, job.p_opt.peeloffdisp, job.c_opt.cutter, job.c_opt.cuttermode,
                  job.c_opt.cutterinterval, job.c_opt.cutteroffset1);
    return text;
}

// Keywords no PPD hands over (libcups matches them regardless of case): "TRUE"
// on or "true" off, keywords compared loosely or (the sensor) by fewer than 3
// characters; an empty direction text not leading Y displacement or offset.
TEST(Setters, HandMadeChoices)
{
    for (const char *keyword : {"true", "TRUE", "bfa", "BFAX", "lsd", "LS", "CMOD1"}) {
        run_setup(base_ppd, "Cutter=True");
        ppd_choice_t c = {0, "", "True", nullptr, nullptr};
        std::snprintf(c.choice, sizeof c.choice, "%s", keyword);
        testing::internal::CaptureStderr();
        set_PrintMethod(job.h_opt, &c);
        for (auto set : {set_LabelMirrored, set_LabelRotate, set_TearOffMode, set_BackfeedMode})
            set(job.o_opt, &c);
        set_PeelOffMode(job.p_opt, &c);
        set_LabelSensor(job.s_opt, &c);
        set_Cutter(job.c_opt, &c);
        setCutterMode(job.c_opt, &c);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), keyword_msgs);
        EXPECT_EQ(records(), std::string("model=143 width=105.6 sensor=ERR x=0 y=0 gap=3 heat=10 speed=4 ") +
                                 (keyword == std::string("true") ? "method=T mro=111 backfeed=ERR peel=1, cutter=1"
                                                                 : "method=D mro=000 backfeed=ERR peel=0, cutter=0") +
                                 ",0,5,+0.0") << keyword;
    }
    ppd_choice_t none = {0, "Minus", "", nullptr, nullptr}, i1 = {0, "1", "1", nullptr, nullptr};
    set_DisplacementY(job.s_opt, &none, &i1, &i1);
    set_CutterOffset1(job.c_opt, &none, &i1, &i1);
    EXPECT_NE(records().find("y=1.1 "), std::string::npos) << records();
    EXPECT_STREQ(job.c_opt.cutteroffset1, "1.1");
}

// setup on the test queue (model 143), its variants and no usable PPD; above each run, what it catches.
TEST(Setup, RecordsAndMessages)
{
    const std::string sparse = TEST_VARIANT_DIR "/sparse.ppd", unopenable = "ERROR: zel - Unable to open PPD file - ";
    const std::string queue = "model=143 width=105.6 sensor=", missing = " is missing in the PPD ...\n";
    const std::string defaults = queue + "l1 x=0 y=0 gap=3 heat=10 speed=4 method=T mro=000 backfeed=D peel=0, ";
    const std::string zero = "model=-1 width=0 sensor= x=0 y=0 gap=0 heat= speed= method= mro=000 backfeed= "
                             "peel=0, cutter=0,0,,";
    const struct { std::string ppd; const char *options; std::string err, records; } runs[] = {
        // Defaults not marked; peel-off or cutter options looked up while off.
        {base_ppd, "", "", defaults + "cutter=0,0,,"},
        {sparse, "", "", defaults + "cutter=0,0,,"},
        // Job options not marked or read wrongly; "%" or "05" altered; interval read in mode 2; PODIRP's text read.
        {base_ppd,
         "Heat=Pct Speed=6 PrintMethod=False LabelMirrored=True LabelRotate=True BackFeed=BFS LabelSensor=LSE "
         "LabelGapVK=2 LabelGapNK=05 PrnHeadOffsetXVK=1 PrnHeadOffsetXNK=5 PrnHeadOffsetYDir=Minus "
         "PrnHeadOffsetYVK=1 Cutter=True cCutterMode=CMOD2E cCutterOffset1Dir=Minus cCutterOffset1VK=1 "
         "cCutterOffset1NK=5 PeelOff=True cPeelOffVKVersatz=2 cPeelOffNKVersatz=5",
         "", queue + "e x=1.5 y=-1 gap=2.05 heat=%%s speed=6 method=D mro=110 backfeed=P peel=1,2.5 cutter=1,2,,-1.5"},
        // Texts too long overrunning their fields, or cut silently.
        {base_ppd,
         "Heat=Long Speed=Long LabelSensor=LSR Cutter=True cCutterInterval=Long cCutterOffset1Dir=Minus "
         "cCutterOffset1VK=Long cCutterOffset1NK=5 PeelOff=True cPeelOffDir=PODIRM cPeelOffVKVersatz=Long",
         "ERROR: zel - Heat - Text too long, cut to 3 characters ...\n"
         "ERROR: zel - Speed - Text too long, cut to 3 characters ...\n"
         "ERROR: zel - PeelOff displacement - Text too long, cut to 7 characters ...\n"
         "ERROR: zel - cCutterInterval - Text too long, cut to 4 characters ...\n"
         "ERROR: zel - cCutterOffset1 - Text too long, cut to 10 characters ...\n",
         queue + "l0 x=0 y=0 gap=3 heat=123 speed=123 method=T mro=000 backfeed=D peel=1,-123456 "
                 "cutter=1,1,1234,-123456789"},
        // Missing options crashing or unreported, or looked up without a mode; a longer sensor refused.
        {sparse, "Cutter=True LabelSensor=LSDX",
         "ERROR: zel - Option cCutterMode" + missing + "ERROR: zel - Option cCutterOffset1VK" + missing,
         defaults + "cutter=1,0,,"},
        // Messages out of order; a conflict or unknown model stopping setup; no offset in an unknown mode.
        {TEST_VARIANT_DIR "/model999.ppd",
         "TearOffMode=True Cutter=True BackFeed=BFX LabelSensor=LSX cCutterMode=CMOD9Z",
         unknown + "ERROR: Max. printing width is 0.0 now ...\nERROR: Driver conflicts occurred: 1 conflicts ...\n"
                   "ERROR: Report this, please. Thank you!\n" + keyword_msgs,
         "model=999 width=0 sensor=ERR x=0 y=0 gap=3 heat=10 speed=4 method=T mro=001 backfeed=ERR peel=0, "
         "cutter=1,0,,+0.0"},
        // No PPD, or one that can't be read: a crash, values left, the reason unreported.
        {"", "Heat=12", "", zero},
        {TEST_PPD_DIR "/missing.ppd", "Heat=12", unopenable + TEST_PPD_DIR "/missing.ppd: ", zero},
        {"/dev/null", "Heat=12", unopenable + "/dev/null: ", zero},
    };
    for (const auto &r : runs) {
        std::string err = run_setup(r.ppd, r.options);
        if (r.err.ends_with(": "))  // the reason is in libcups's or the system's words
            EXPECT_TRUE(err.starts_with(r.err) && err.find('\n') == err.size() - 1) << err;
        else
            EXPECT_EQ(err, r.err) << r.ppd << " " << r.options;
        EXPECT_EQ(records(), r.records) << r.ppd << " " << r.options;
    }
}

// Letters out of order or a stray ","; speed and heat swapped; the width limited after
// the displacement, the gap added for the edge sensor, a long page cut; C or P while off.
TEST(Lines, BuiltFromTheRecords)
{
    std::string line = "untouched";
    EXPECT_EQ(get_c_opt(line, {0, 1, "5", "0.0"}), 0);
    EXPECT_EQ(get_p_opt(line, {2, "-2.5"}), 2);
    EXPECT_EQ(line, "untouched");
    EXPECT_EQ(get_p_opt(line, {1, "-2.5"}), 1);
    EXPECT_EQ(line, "P -2.5\r\n");
    EXPECT_EQ(get_h_opt(line, {"10", "4", "T"}), "H 4,10,T\r\n");
    for (auto [o, expected] : {std::pair{o_opt_t{0, 0, 0, "D"}, "O D\r\n"}, {o_opt_t{0, 1, 0, "D"}, "O R,D\r\n"},
                               {o_opt_t{1, 0, 1, "P"}, "O M,T,P\r\n"}, {o_opt_t{1, 1, 1, "ERR"}, "O M,R,T,ERR\r\n"}}) {
        EXPECT_EQ(get_o_opt(line, o), 1);
        EXPECT_EQ(line, expected);
    }
    for (auto [c, expected] : {std::pair{c_opt_t{1, 1, "5", "0.0"}, "C 5,0.0\r\n"},
                               {c_opt_t{1, 2, "5", "-1.5"}, "C e,-1.5\r\n"},
                               {c_opt_t{1, 0, "5", ""}, "C ERROR!!!\r\n"}}) {
        EXPECT_EQ(get_c_opt(line, c), 1);
        EXPECT_EQ(line, expected);
    }
    const struct { s_opt_t s; unsigned width, height; double printwidth; const char *line; } s_lines[] = {
        {{"l1", 0.0, 0.0, 3.0}, 283, 142, 105.6, "S l1;0.00,0.00,50.09,53.09,99.8\r\n"},
        {{"l0", 1.5, -0.5, 2.0}, 288, 144, 104.0, "S l0;1.50,-0.50,50.80,52.80,100.1\r\n"},
        {{"e", 0.0, 0.0, 3.0}, 340, 170, 105.6, "S e;0.00,0.00,59.97,59.97,105.6\r\n"},
        {{"l1", -1.5, 0.0, 0.0}, 340, 170, 105.6, "S l1;-1.50,0.00,59.97,59.97,107.1\r\n"},
        {{"l1", 0.0, 0.0, 3.0}, 4294967295, 4294967295, 105.6, "S l1;0.00,0.00,1515169017.96,1515169020.96,105.6\r\n"},
    };
    for (const auto &s : s_lines) {
        cups_page_header_t h = {};
        h.PageSize[0] = s.width, h.PageSize[1] = s.height;
        EXPECT_EQ(get_s_opt(line, s.s, &h, s.printwidth), s.line);
    }
}

// The block without a PPD, and SIGTERM still cancelling after it.
TEST(LabelBlock, WithoutAPpd)
{
    run_setup("");
    cups_page_header_t h = {};
    h.PageSize[0] = 283, h.PageSize[1] = 142, h.NumCopies = 1;
    startPage(&h);
    EXPECT_EQ(signal(SIGTERM, cancelJob), cancelJob);
    testing::internal::CaptureStdout();
    printpage(&h, job);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\x1b" "end-of-data" "m m\r\nJ\r\nO \r\nH ,,\r\n"
                                                      "S ;0.00,0.00,50.09,50.09,0.0\r\nI 0,0,0;cups\r\nA1\r\n");
    EXPECT_EQ(signal(SIGTERM, SIG_DFL), SIG_IGN);
}

// The filter run by the scheduler, $PPD naming the test queue, job options in argument 5: options
// lost, lines missing or out of order, a "%" taken as a format, the copy count signed or 0 written.
TEST(FilterRun, PagesWithJobOptions)
{
    const std::string raster = testing::TempDir() + "zaridiravid-" + std::to_string(getpid()) + ".ras";
    test_page page;
    page.page_size[0] = 283, page.page_size[1] = 142;
    std::vector<test_page> pages(4, page);
    pages[0].num_copies = 0, pages[1].num_copies = 1, pages[2].num_copies = 3, pages[3].num_copies = 4294967295u;
    write_raster(raster, pages);
    const std::string command = "PPD='" + base_ppd + "' timeout -s KILL 10 '" ZARIDIRAVID_EXE "' 17 user title 1 "
                                "'Heat=Pct Cutter=True PeelOff=True cPeelOffDir=PODIRM cPeelOffVKVersatz=2 "
                                "cPeelOffNKVersatz=5' '" + raster + "' 2>/dev/null";
    FILE *filter = popen(command.c_str(), "r");
    ASSERT_TRUE(filter);
    std::string out(4096, '\0'), expected;
    out.resize(std::fread(out.data(), 1, out.size(), filter));
    EXPECT_EQ(pclose(filter), 0);
    std::remove(raster.c_str());
    // Blank 16 x 2 pages: download preamble, IMG header and scan lines, label job block.
    const std::string img("e img;*\rd IMG;cups\r\x1b:" "\0\1\0\x08\0\1\0\1\0\x53\0\x53\0\x10\0\2" "\0\0\xFF\2\2", 42);
    for (const char *copies : {"A1\r\n", "A1\r\n", "A3\r\n", "A4294967295\r\n"})
        expected += img + "\x1b" "end-of-data" "m m\r\nJ\r\nO D\r\nH 4,%%s,T\r\nS l1;0.00,0.00,50.09,53.09,99.8\r\n"
                          "I 0,0,0;cups\r\nC 5,+0.0\r\nP -2.5\r\n" + copies;
    EXPECT_EQ(out, expected);
}

}  // namespace
