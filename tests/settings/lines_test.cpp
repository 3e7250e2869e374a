// The label command lines and the label job block that printpage writes.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "filter/job.h"
#include "settings/lines.h"
#include "tests/settings/settings_support.h"

namespace {

class Lines : public testing::Test {
protected:
    void SetUp() override { reset_settings(); }
    void TearDown() override { reset_settings(); }
};

cups_page_header_t page(unsigned width_pt, unsigned height_pt, unsigned copies = 1)
{
    cups_page_header_t h = {};
    h.PageSize[0] = width_pt;
    h.PageSize[1] = height_pt;
    h.NumCopies = copies;
    return h;
}

std::string s_line(const cups_page_header_t &h, double width)
{
    std::string line = "old";
    return get_s_opt(line, &h, width);
}

// The label job block of one page, as printpage writes it.
std::string block(const cups_page_header_t &h)
{
    char *buf = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buf, &size);
    printpage(&h, out);
    std::fclose(out);
    std::string text(buf, size);
    std::free(buf);
    return text;
}

const char eod[] = "\x1b" "end-of-data";

TEST_F(Lines, OLine)
{
    struct {
        int m, r, t;
        const char *backfeed, *line;
    } cases[] = {
        {0, 0, 0, "D", "O D\r\n"},       {0, 1, 0, "D", "O R,D\r\n"},    {1, 0, 1, "P", "O M,T,P\r\n"},
        {1, 1, 1, "ERR", "O M,R,T,ERR\r\n"}, {0, 0, 1, "D", "O T,D\r\n"}, {2, 0, 0, "D", "O D\r\n"},
    };
    for (const auto &c : cases) {
        o_opt = {c.m, c.r, c.t, {}};
        std::strcpy(o_opt.backfeedmode, c.backfeed);
        std::string line = "old";
        EXPECT_EQ(get_o_opt(line), 1);
        EXPECT_EQ(line, c.line);
    }
}

TEST_F(Lines, HLineHasSpeedBeforeHeat)
{
    h_opt = {"10", "4", "T"};
    std::string line;
    EXPECT_EQ(get_h_opt(line), "H 4,10,T\r\n");
}

TEST_F(Lines, SLineRows)
{
    s_opt = {"l1", 0.0, 0.0, 3.0};
    EXPECT_EQ(s_line(page(283, 142), 105.6), "S l1;0.00,0.00,50.09,53.09,99.8\r\n");
    s_opt = {"l0", 1.5, -0.5, 2.0};
    EXPECT_EQ(s_line(page(288, 144), 104.0), "S l0;1.50,-0.50,50.80,52.80,100.1\r\n");
    s_opt = {"e", 0.0, 0.0, 3.0};  // the edge sensor ignores the gap
    EXPECT_EQ(s_line(page(340, 170), 105.6), "S e;0.00,0.00,59.97,59.97,105.6\r\n");
    s_opt = {"ERR", 0.0, 0.0, 3.0};
    EXPECT_EQ(s_line(page(283, 142), 105.6), "S ERR;0.00,0.00,50.09,53.09,99.8\r\n");

    // Exactly as wide as the printer keeps its width (288 pt = 101.6 mm).
    s_opt = {"l1", 0.0, 0.0, 0.0};
    EXPECT_EQ(s_line(page(288, 144), 101.6), "S l1;0.00,0.00,50.80,50.80,101.6\r\n");
    // A negative X displacement is subtracted after the limit: wider than the printer.
    s_opt = {"l1", -1.5, 0.0, 0.0};
    EXPECT_EQ(s_line(page(340, 170), 105.6), "S l1;-1.50,0.00,59.97,59.97,107.1\r\n");
    // The Y displacement only shows in its own field.
    s_opt = {"l1", 0.0, 2.25, 0.0};
    EXPECT_EQ(s_line(page(288, 144), 104.0), "S l1;0.00,2.25,50.80,50.80,101.6\r\n");
}

TEST_F(Lines, SLineGrowsWithTheLargestPage)
{
    s_opt = {"l1", 0.0, 0.0, 3.0};
    EXPECT_EQ(s_line(page(4294967295u, 4294967295u), 105.6),
              "S l1;0.00,0.00,1515169017.96,1515169020.96,105.6\r\n");
    EXPECT_EQ(convPPItomm(4294967295u), 1515169017.9583333);
    EXPECT_EQ(convPPItomm(72), 25.4);
    // Divided by 72 first, then multiplied: the last bits show the order.
    EXPECT_EQ(convPPItomm(283), 99.8361111111111);
    EXPECT_EQ(convPPItomm(100), 35.27777777777777);
    EXPECT_EQ(convPPItomm(0), 0.0);
}

TEST_F(Lines, CAndPLines)
{
    std::string line = "untouched";
    EXPECT_EQ(get_c_opt(line), 0);
    EXPECT_EQ(get_p_opt(line), 0);
    EXPECT_EQ(line, "untouched");

    c_opt = {1, 1, "5", "0.0"};
    EXPECT_EQ(get_c_opt(line), 1);
    EXPECT_EQ(line, "C 5,0.0\r\n");
    c_opt = {1, 2, "", "-1.5"};
    EXPECT_EQ(get_c_opt(line), 1);
    EXPECT_EQ(line, "C e,-1.5\r\n");
    c_opt = {1, 0, "5", "-1.5"};
    EXPECT_EQ(get_c_opt(line), 1);
    EXPECT_EQ(line, "C ERROR!!!\r\n");

    p_opt = {1, "-2.5"};
    EXPECT_EQ(get_p_opt(line), 1);
    EXPECT_EQ(line, "P -2.5\r\n");
    line = "untouched";
    p_opt = {2, "-2.5"};  // not on: its value is the result, the line stays
    EXPECT_EQ(get_p_opt(line), 2);
    EXPECT_EQ(line, "untouched");
}

TEST_F(Lines, BlockOfTheTestQueue)
{
    ASSERT_EQ(run_setup(base_ppd()), "");
    EXPECT_EQ(block(page(283, 142, 2)), std::string(eod) +
                                            "m m\r\nJ\r\nO D\r\nH 4,10,T\r\n"
                                            "S l1;0.00,0.00,50.09,53.09,99.8\r\n"
                                            "I 0,0,0;cups\r\nA2\r\n");

    // The queue's direction texts are signs, so the cutter offset reads +0.0.
    ASSERT_EQ(run_setup(base_ppd(), "Cutter=True"), "");
    EXPECT_EQ(block(page(283, 142, 2)), std::string(eod) +
                                            "m m\r\nJ\r\nO D\r\nH 4,10,T\r\n"
                                            "S l1;0.00,0.00,50.09,53.09,99.8\r\n"
                                            "I 0,0,0;cups\r\nC 5,+0.0\r\nA2\r\n");
    // A direction choice with an empty text gives the bare offset.
    ppd_choice_t none = make_choice("None", ""), zero = make_choice("0", "0");
    set_CutterOffset1(&none, &zero, &zero);
    EXPECT_TRUE(block(page(283, 142, 2)).ends_with("I 0,0,0;cups\r\nC 5,0.0\r\nA2\r\n"));

    // Cutter and peel-off both on: C before P.
    ASSERT_EQ(run_setup(base_ppd(), "Cutter=True cCutterMode=CMOD2E PeelOff=True cPeelOffDir=PODIRM "
                                    "cPeelOffVKVersatz=2 cPeelOffNKVersatz=5 Heat=Pct"),
              "");
    EXPECT_EQ(block(page(283, 142, 1)), std::string(eod) +
                                            "m m\r\nJ\r\nO D\r\nH 4,%%s,T\r\n"
                                            "S l1;0.00,0.00,50.09,53.09,99.8\r\n"
                                            "I 0,0,0;cups\r\nC e,+0.0\r\nP -2.5\r\nA1\r\n");
}

TEST_F(Lines, BlockWithoutAPpd)
{
    ASSERT_EQ(run_setup(""), "");
    const std::string head = std::string(eod) + "m m\r\nJ\r\nO \r\nH ,,\r\nS ;0.00,0.00,50.09,50.09,0.0\r\n"
                                                "I 0,0,0;cups\r\n";
    EXPECT_EQ(block(page(283, 142, 0)), head + "A1\r\n");
    EXPECT_EQ(block(page(283, 142, 1)), head + "A1\r\n");
    EXPECT_EQ(block(page(283, 142, 3)), head + "A3\r\n");
    EXPECT_EQ(block(page(283, 142, 4294967295u)), head + "A4294967295\r\n");
}

TEST_F(Lines, SigtermIsIgnoredAfterTheBlock)
{
    struct sigaction old = {}, now = {};
    sigaction(SIGTERM, nullptr, &old);
    cups_page_header_t h = page(283, 142);
    startPage(&h);
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, cancelJob);
    block(h);
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    sigaction(SIGTERM, &old, nullptr);
}

}  // namespace
