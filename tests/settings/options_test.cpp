// Reading the PPD and the job options into the option records: the setters
// on their own, then setup on the test queue's PPD and its variants.
#include <algorithm>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/settings/settings_support.h"

namespace {

const char zero[] = "sensor= x=0 y=0 gap=0 heat= speed= method= mro=000 backfeed= peel=0, cutter=0,0,,";
const char defaults[] = "sensor=l1 x=0 y=0 gap=3 heat=10 speed=4 method=T mro=000 backfeed=D peel=0, cutter=0,0,,";
const std::string backfeed_msg = "ERROR: Backfeed Mode - Not available options ...\n";
const std::string sensor_msg = "ERROR: Label Sensor - Option is not available ...\n";
const std::string mode_msg = "ERROR: Cutter Mode - Option is not available ...\n";

long lines(const std::string &text) { return std::count(text.begin(), text.end(), '\n'); }

class Settings : public testing::Test {
protected:
    void SetUp() override { reset_settings(); }
    void TearDown() override { reset_settings(); }
};

// ---- setters on their own ----

TEST_F(Settings, SwitchesAndKeywordSets)
{
    // Switches: only "True" and "true" are on, quietly; the text never counts.
    int *fields[] = {&o_opt.labelmirrored, &o_opt.labelrotate, &o_opt.tearoffmode, &p_opt.peeloffmode,
                     &c_opt.cutter};
    void (*switches[])(const ppd_choice_t *) = {set_LabelMirrored, set_LabelRotate, set_TearOffMode,
                                                set_PeelOffMode, set_Cutter};
    std::string err = capture_stderr([&] {
        for (auto [keyword, on] : {std::pair{"True", 1}, {"true", 1}, {"False", 0}, {"TRUE", 0}, {"Truex", 0}}) {
            ppd_choice_t c = make_choice(keyword, "True");
            for (int i = 0; i < 5; i++) {
                *fields[i] = 7;
                switches[i](&c);
                EXPECT_EQ(*fields[i], on) << i << " " << keyword;
            }
            set_PrintMethod(&c);
            EXPECT_STREQ(h_opt.printmethod, on ? "T" : "D") << keyword;
        }
    });
    EXPECT_EQ(err, "");

    // Keyword sets: whole keywords, case-sensitive; the sensor by its first three characters.
    struct {
        void (*setter)(const ppd_choice_t *);
        const char *keyword, *text, *field;
        std::string err = "";
    } cases[] = {
        {set_BackfeedMode, "BFA", "BFS", "D"},   {set_BackfeedMode, "BFS", "BFA", "P"},
        {set_BackfeedMode, "bfa", "BFA", "ERR", backfeed_msg}, {set_BackfeedMode, "BFAX", "", "ERR", backfeed_msg},
        {set_LabelSensor, "LSD", "", "l1"},      {set_LabelSensor, "LSR", "", "l0"},
        {set_LabelSensor, "LSE", "", "e"},       {set_LabelSensor, "LSDX", "", "l1"},
        {set_LabelSensor, "LSRanything", "", "l0"}, {set_LabelSensor, "LS", "LSD", "ERR", sensor_msg},
        {set_LabelSensor, "lsd", "", "ERR", sensor_msg}, {set_LabelSensor, "", "", "ERR", sensor_msg},
        {setCutterMode, "CMOD1I", "", "1"},      {setCutterMode, "CMOD2E", "", "2"},
        {setCutterMode, "CMOD1", "CMOD1I", "0", mode_msg}, {setCutterMode, "cmod2e", "", "0", mode_msg},
    };
    for (const auto &t : cases) {
        c_opt.cuttermode = 9;
        ppd_choice_t c = make_choice(t.keyword, t.text);
        EXPECT_EQ(capture_stderr([&] { t.setter(&c); }), t.err) << t.keyword;
        std::string field = t.setter == set_BackfeedMode  ? o_opt.backfeedmode
                            : t.setter == set_LabelSensor ? s_opt.labelsensor
                                                          : std::to_string(c_opt.cuttermode);
        EXPECT_EQ(field, t.field) << t.keyword;
    }
}

TEST_F(Settings, NumbersInTwoParts)
{
    EXPECT_EQ(calcNumberOpt("3", "5"), "3.5");
    EXPECT_EQ(calcNumberOpt("3", "05"), "3.05");

    ppd_choice_t i3 = make_choice("3", "3"), i1 = make_choice("1", "1"), f0 = make_choice("0", "0"),
                 f5 = make_choice("5", "5"), f05 = make_choice("05", "05"), junk = make_choice("x", "abc"),
                 minus = make_choice("Minus", "-"), empty = make_choice("None", ""),
                 podirm = make_choice("PODIRM", "+"), podirp = make_choice("PODIRP", "-");
    set_LabelGap(&i3, &f05);
    EXPECT_EQ(s_opt.labelgap, 3.05);
    set_DisplacementX(&i1, &f5);
    EXPECT_EQ(s_opt.displacementx, 1.5);
    set_LabelGap(&junk, &f5);  // "abc.5": no leading number
    EXPECT_EQ(s_opt.labelgap, 0.0);
    set_DisplacementX(&i1, &junk);  // "1.abc"
    EXPECT_EQ(s_opt.displacementx, 1.0);

    // The Y direction and the cutter direction are their choices' texts.
    set_DisplacementY(&minus, &i1, &f0);
    EXPECT_EQ(s_opt.displacementy, -1.0);
    set_DisplacementY(&empty, &i1, &f0);
    EXPECT_EQ(s_opt.displacementy, 1.0);
    set_CutterOffset1(&minus, &i1, &f5);
    EXPECT_STREQ(c_opt.cutteroffset1, "-1.5");
    set_CutterOffset1(&empty, &f0, &f0);
    EXPECT_STREQ(c_opt.cutteroffset1, "0.0");
    set_CutterOffset1(&podirm, &i1, &f0);
    EXPECT_STREQ(c_opt.cutteroffset1, "+1.0");
    // The peel-off direction is told by its keyword, never its text.
    set_PeelOffDisp(&podirm, &i3, &f5);
    EXPECT_STREQ(p_opt.peeloffdisp, "-3.5");
    set_PeelOffDisp(&podirp, &i3, &f5);
    EXPECT_STREQ(p_opt.peeloffdisp, "3.5");
}

TEST_F(Settings, TextsAreCutToTheirFieldsWithOneMessage)
{
    ppd_choice_t c5 = make_choice("L5", "12345"), c4 = make_choice("L4", "1234"), c3 = make_choice("L3", "999"),
                 pct = make_choice("Pct", "%s"), f5 = make_choice("5", "5"), minus = make_choice("Minus", "-"),
                 i9 = make_choice("L9", "123456789"), i7 = make_choice("L7", "1234567"),
                 podirm = make_choice("PODIRM", "+");
    auto cut = [](auto set, const char *field, const char *expected, const char *what) {
        std::string err = capture_stderr(set);
        EXPECT_STREQ(field, expected);
        EXPECT_TRUE(err.starts_with(std::string("ERROR: zel - ") + what)) << err;
        EXPECT_EQ(lines(err), 1) << err;
    };
    cut([&] { set_Heat(&c5); }, h_opt.heat, "123", "Heat");
    cut([&] { set_Speed(&c4); }, h_opt.speed, "123", "Speed");
    cut([&] { set_CutterInterval(&c5); }, c_opt.cutterinterval, "1234", "cCutterInterval");
    cut([&] { set_CutterOffset1(&minus, &i9, &f5); }, c_opt.cutteroffset1, "-123456789", "cCutterOffset1");
    cut([&] { set_PeelOffDisp(&podirm, &i7, &f5); }, p_opt.peeloffdisp, "-123456", "PeelOff");

    // Texts that just fit, and a "%" that is only a character.
    std::string err = capture_stderr([&] {
        set_Heat(&c3);
        set_Speed(&pct);
        set_CutterInterval(&c4);
        set_CutterOffset1(&minus, &i7, &f5);  // 10 characters
        set_PeelOffDisp(&podirm, &c4, &f5);   // 7 characters
    });
    EXPECT_EQ(err, "");
    EXPECT_EQ(records(), "sensor= x=0 y=0 gap=0 heat=999 speed=%s method= mro=000 backfeed= "
                         "peel=0,-1234.5 cutter=0,0,1234,-1234567.5");
}

// ---- setup on the test queue's PPD ----

TEST_F(Settings, WithoutAUsablePpd)
{
    EXPECT_EQ(run_setup(""), "");  // no $PPD: nothing said
    EXPECT_EQ(modelnumber, -1);
    EXPECT_EQ(records(), zero);

    std::string not_ppd = temp_path("not-a.ppd");
    std::ofstream(not_ppd) << "%!PS-Adobe-3.0\nnot a PPD\n";
    for (const std::string &path : {temp_path("missing.ppd"), not_ppd}) {
        std::string err = run_setup(path, "Heat=12");
        EXPECT_TRUE(err.starts_with("ERROR: zel - Unable to open PPD file - ")) << err;
        EXPECT_EQ(lines(err), 1) << err;
        EXPECT_EQ(modelnumber, -1);
        EXPECT_EQ(printwidth, 0.0);
        EXPECT_EQ(records(), zero);
    }
}

TEST_F(Settings, DefaultsAndJobOptions)
{
    // Peel-off and cutter off: their other options are not even read.
    EXPECT_EQ(run_setup(base_ppd()), "");
    EXPECT_EQ(modelnumber, 143);
    EXPECT_EQ(printwidth, 105.6);
    EXPECT_EQ(records(), defaults);

    EXPECT_EQ(run_setup(base_ppd(), "Heat=12 Speed=6 PrintMethod=False LabelMirrored=True LabelRotate=True "
                                    "BackFeed=BFS LabelSensor=LSE LabelGapVK=2 LabelGapNK=05 "
                                    "PrnHeadOffsetXVK=1 PrnHeadOffsetXNK=5 PrnHeadOffsetYDir=Minus "
                                    "PrnHeadOffsetYVK=1 PrnHeadOffsetYNK=0"),
              "");
    EXPECT_EQ(records(), "sensor=e x=1.5 y=-1 gap=2.05 heat=12 speed=6 method=D mro=110 backfeed=P peel=0, "
                         "cutter=0,0,,");

    // The direction text "+", and a sensor keyword longer than three characters.
    EXPECT_EQ(run_setup(base_ppd(), "PrnHeadOffsetYVK=1 LabelSensor=LSDX TearOffMode=True"), "");
    EXPECT_EQ(records(), "sensor=l1 x=0 y=1 gap=3 heat=10 speed=4 method=T mro=001 backfeed=D peel=0, cutter=0,0,,");
}

TEST_F(Settings, PeelOff)
{
    EXPECT_EQ(run_setup(base_ppd(), "PeelOff=True cPeelOffDir=PODIRM cPeelOffVKVersatz=2 cPeelOffNKVersatz=5"), "");
    EXPECT_STREQ(p_opt.peeloffdisp, "-2.5");
    EXPECT_EQ(p_opt.peeloffmode, 1);
    run_setup(base_ppd(), "PeelOff=True cPeelOffVKVersatz=2 cPeelOffNKVersatz=5");  // PODIRP, text "+"
    EXPECT_STREQ(p_opt.peeloffdisp, "2.5");

    // Off, its displacement options may as well be missing.
    std::string ppd = ppd_variant("no-peel-disp", {{"cPeelOffDir", nullptr}, {"cPeelOffVKVersatz", nullptr},
                                                   {"cPeelOffNKVersatz", nullptr}});
    EXPECT_EQ(run_setup(ppd), "");
    EXPECT_EQ(records(), defaults);
}

TEST_F(Settings, CutterModes)
{
    const ppd_edit on = {"*DefaultCutter: False", "*DefaultCutter: True"};
    EXPECT_EQ(run_setup(ppd_variant("cutter1", {on})), "");
    EXPECT_STREQ(strstr(records().c_str(), "cutter="), "cutter=1,1,5,+0.0");

    std::string ppd = ppd_variant("cutter2", {on, {"*DefaultcCutterMode: CMOD1I", "*DefaultcCutterMode: CMOD2E"},
                                              {"*DefaultcCutterOffset1Dir: Plus", "*DefaultcCutterOffset1Dir: Minus"},
                                              {"*DefaultcCutterOffset1VK: 0", "*DefaultcCutterOffset1VK: 1"},
                                              {"*DefaultcCutterOffset1NK: 0", "*DefaultcCutterOffset1NK: 5"}});
    EXPECT_EQ(run_setup(ppd), "");
    EXPECT_STREQ(strstr(records().c_str(), "cutter="), "cutter=1,2,,-1.5");

    // An unknown mode: reported, no interval, the offset still read.
    ppd = ppd_variant("cutter9", {on, {"*DefaultcCutterMode: CMOD1I", "*DefaultcCutterMode: CMOD9Z"}});
    EXPECT_EQ(run_setup(ppd), mode_msg);
    EXPECT_STREQ(strstr(records().c_str(), "cutter="), "cutter=1,0,,+0.0");

    // Cutter off: nothing past "Cutter" is looked up, so nothing is missed.
    ppd = ppd_variant("no-cutter-opts", {{"cCutterMode", nullptr}, {"cCutterInterval", nullptr},
                                         {"cCutterOffset1Dir", nullptr}, {"cCutterOffset1VK", nullptr},
                                         {"cCutterOffset1NK", nullptr}});
    EXPECT_EQ(run_setup(ppd), "");
    EXPECT_EQ(records(), defaults);
}

TEST_F(Settings, UnknownKeywordsBecomeErrorCodes)
{
    std::string ppd = ppd_variant("unknown-keywords", {{"*DefaultBackFeed: BFA", "*DefaultBackFeed: BFX"},
                                                       {"*DefaultLabelSensor: LSD", "*DefaultLabelSensor: LSX"}});
    EXPECT_EQ(run_setup(ppd), backfeed_msg + sensor_msg);
    EXPECT_EQ(records(), "sensor=ERR x=0 y=0 gap=3 heat=10 speed=4 method=T mro=000 backfeed=ERR peel=0, "
                         "cutter=0,0,,");
}

TEST_F(Settings, MessagesComeInTheirFixedOrder)
{
    std::string ppd = ppd_variant("model999", {{"*cupsModelNumber: 143", "*cupsModelNumber: 999"}});
    EXPECT_EQ(run_setup(ppd, "TearOffMode=True Cutter=True BackFeed=BFX LabelSensor=LSX cCutterMode=CMOD9Z"),
              "ERROR: zel Printer - Unknown printer model\n"
              "ERROR: Max. printing width is 0.0 now ...\n"
              "ERROR: Driver conflicts occurred: 1 conflicts ...\n"
              "ERROR: Report this, please. Thank you!\n" +
                  backfeed_msg + sensor_msg + mode_msg);
    EXPECT_EQ(modelnumber, 999);
    EXPECT_EQ(printwidth, 0.0);
    // The conflict is only reported: both options stay as the job asked.
    EXPECT_EQ(records(), "sensor=ERR x=0 y=0 gap=3 heat=10 speed=4 method=T mro=001 backfeed=ERR peel=0, "
                         "cutter=1,0,,+0.0");
}

TEST_F(Settings, AMissingOptionIsReportedAndItsSetterSkipped)
{
    auto missing = [](const std::string &err, const char *keyword) {
        EXPECT_TRUE(err.starts_with("ERROR: zel - ")) << err;
        EXPECT_NE(err.find(keyword), std::string::npos) << err;
        EXPECT_EQ(lines(err), 1) << err;
    };
    missing(run_setup(ppd_variant("no-heat", {{"Heat", nullptr}}), "Heat=12 Speed=6"), "Heat");
    EXPECT_EQ(records(), "sensor=l1 x=0 y=0 gap=3 heat= speed=6 method=T mro=000 backfeed=D peel=0, cutter=0,0,,");

    // One part of a group missing: the group's setter is skipped.
    missing(run_setup(ppd_variant("no-y-integer", {{"PrnHeadOffsetYVK", nullptr}}),
                      "PrnHeadOffsetYDir=Minus PrnHeadOffsetYNK=5"),
            "PrnHeadOffsetYVK");
    EXPECT_EQ(records(), defaults);

    // Cutter on without a mode: mode 0, no interval looked up, offset read.
    missing(run_setup(ppd_variant("no-cutter-mode", {{"cCutterMode", nullptr}}), "Cutter=True"), "cCutterMode");
    EXPECT_STREQ(strstr(records().c_str(), "cutter="), "cutter=1,0,,+0.0");

    // Only the cutter switch, on: every other keyword read is reported, and
    // none is dereferenced (peel-off is off, the mode unknown, so 20 lines).
    std::string text = read_text(base_ppd());
    text = text.substr(0, text.find("*OpenUI *Heat/")) +
           "*OpenUI *Cutter/Cutter: Boolean\n*DefaultCutter: True\n*Cutter True/Yes: \"\"\n"
           "*Cutter False/No: \"\"\n*CloseUI: *Cutter\n";
    std::string ppd = temp_path("bare.ppd");
    std::ofstream(ppd, std::ios::binary) << text;
    EXPECT_EQ(lines(run_setup(ppd)), 20);
    EXPECT_EQ(records(), "sensor= x=0 y=0 gap=0 heat= speed= method= mro=000 backfeed= peel=0, cutter=1,0,,");
}

TEST_F(Settings, LongAndPercentTextsFromThePpd)
{
    std::string err = run_setup(base_ppd(), "Heat=Long Speed=Long Cutter=True cCutterInterval=Long "
                                            "cCutterOffset1Dir=Minus cCutterOffset1VK=Long cCutterOffset1NK=5 "
                                            "PeelOff=True cPeelOffDir=PODIRM cPeelOffVKVersatz=Long");
    EXPECT_EQ(lines(err), 5) << err;
    for (const char *what : {"Heat", "Speed", "cCutterInterval", "cCutterOffset1", "PeelOff"})
        EXPECT_NE(err.find(what), std::string::npos) << what;
    EXPECT_EQ(records(), "sensor=l1 x=0 y=0 gap=3 heat=123 speed=123 method=T mro=000 backfeed=D "
                         "peel=1,-123456 cutter=1,1,1234,-123456789");

    EXPECT_EQ(run_setup(base_ppd(), "Heat=Pct"), "");
    EXPECT_STREQ(h_opt.heat, "%%s");
}

}  // namespace
