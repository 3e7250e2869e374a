// The printer settings: the model table and the PPD and job options read into
// the records, on the test queue's PPD (and variants of it) and on the
// generated PPDs of every model; the command lines built from the records.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "settings/lines.h"
#include "settings/models.h"
#include "settings/options.h"

namespace {

const std::string base_ppd = TEST_PPD_DIR "/base.ppd", unknown = "ERROR: zel Printer - Unknown printer model\n";
const std::string keyword_msgs = "ERROR: Backfeed Mode - Not available options ...\n"  // BackFeed,
                                 "ERROR: Label Sensor - Option is not available ...\n"  // LabelSensor and
                                 "ERROR: Cutter Mode - Option is not available ...\n";  // cCutterMode unknown

std::string ppd_path(int32_t model) { return ZARIDIRAVID_PPD_DIR "/ravi" + std::to_string(model) + ".ppd"; }

template <class F>
std::string capture_stderr(F &&f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
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

// setup on the test queue (model 143), its variants, a generated PPD and no usable PPD; above each run, what
// it catches.
TEST(Setup, RecordsAndMessages)
{
    const std::string sparse = TEST_VARIANT_DIR "/sparse.ppd", unopenable = "ERROR: zel - Unable to open PPD file - ";
    const std::string queue = "model=143 width=105.6 sensor=", missing = " is missing in the PPD ...\n";
    const std::string defaults = queue + "l1 x=0 y=0 gap=3 heat=10 speed=4 method=T mro=000 backfeed=D peel=0, ";
    const std::string zero = "model=-1 width=0 sensor= x=0 y=0 gap=0 heat= speed= method= mro=000 backfeed= "
                             "peel=0, cutter=0,0,,";
    const std::string model343 = "model=343 width=105.6 sensor=";
    const std::string conflict = "ERROR: Driver conflicts occurred: 1 conflicts ...\n"
                                 "ERROR: Report this, please. Thank you!\n";
    const struct { std::string ppd; const char *options; std::string err, records; } runs[] = {
        // Defaults not marked; peel-off or cutter options looked up while off.
        {base_ppd, "", "", defaults + "cutter=0,0,,"},
        {sparse, "", "", defaults + "cutter=0,0,,"},
        // A generated PPD (model 343; its other choices against the app's: app.IppSettings): the interval read in
        // mode 2; PODIRP's text read.
        {ppd_path(343), "Heat=0 Speed=1 TearOffMode=True LabelSensor=LSE Cutter=True cCutterInterval=100 "
                        "cCutterOffset1Dir=Minus cCutterOffset1VK=20 cCutterOffset1NK=9", conflict,
         model343 + "e x=0 y=0 gap=3 heat=0 speed=1 method=T mro=001 backfeed=D peel=0, cutter=1,1,100,-20.9"},
        {ppd_path(343), "Cutter=True cCutterMode=CMOD2E cCutterOffset1VK=20 PeelOff=True cPeelOffVKVersatz=20",
         conflict, model343 + "l1 x=0 y=0 gap=3 heat=10 speed=4 method=T mro=000 backfeed=D peel=1,20.0 "
                              "cutter=1,2,,+20.0"},
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
         unknown + "ERROR: Max. printing width is 0.0 now ...\n" + conflict + keyword_msgs,
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
        EXPECT_EQ(get_s_opt(line, s.s, {s.width, s.height, 1}, s.printwidth), s.line);
    }
}

// Each generated PPD read by the filter (the PPDs against the model table
// and the app: app.Drivers): defaults read into another label than a plain
// one; a missing constraint that keeps a label to one way out. Numbers that
// are no model, near ones too (ranges instead of exact keys): width 0.0 and
// the name "Unknown printer model", each reported.
TEST(ModelTable, EveryModelAgainstItsPpd)
{
    for (const printer_model &model : model_table) {
        const std::string path = ppd_path(model.number);
        EXPECT_EQ(run_setup(path), "") << path;
        EXPECT_EQ(label_block({142, 142, 0}, job), "m m\r\nJ\r\nO D\r\nH 4,10,T\r\n"
                                                   "S l1;0.00,0.00,50.09,53.09,50.1\r\nI 0,0,0;cups\r\nA1\r\n") << path;
        EXPECT_EQ(run_setup(path, "Cutter=True PeelOff=True").find("ERROR: Driver conflicts occurred: 1 "), 0u);
    }
    for (int32_t n : {-1, 0, 131, 999, 5430, 5433, 5460, 5463, 5530, 5533, 5560, 5563, INT32_MIN})
        EXPECT_EQ(capture_stderr([&] { EXPECT_EQ(getPrintingWidth(n), 0.0) << n; }),
                  unknown + "ERROR: Max. printing width is 0.0 now ...\n");
    char name[64] = {};
    EXPECT_EQ(capture_stderr([&] { getPrinterModelName(name, 999); }), unknown);
    EXPECT_STREQ(name, "Unknown printer model");
}

}  // namespace
