// The label job block in words, for the filter's worked block and variants.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "preview/describe.h"

namespace {

std::string words_of(const std::vector<std::string> &lines)
{
    std::string text;
    for (const described_line &d : describe_lines(lines)) {
        text += d.line + "\n";
        for (const std::string &w : d.words)
            text += "  " + w + "\n";
    }
    return text;
}

const std::vector<std::string> worked = {"m m", "J", "O D", "H 4,10,T", "S l1;0.00,0.00,50.09,53.09,99.8",
                                         "I 0,0,0;cups", "A2"};

TEST(Describe, TheWorkedLabelBlock)
{
    EXPECT_EQ(words_of(worked),
              "m m\n  lengths in millimetres\n"
              "J\n  start of a label job\n"
              "O D\n  mirror: off\n  rotate: off\n  tear-off: off\n  backfeed: D (PPD BackFeed choice BFA)\n"
              "H 4,10,T\n  speed: 4\n  heat: 10\n"
              "  print method: T, thermal transfer (with ribbon; PPD PrintMethod True)\n"
              "S l1;0.00,0.00,50.09,53.09,99.8\n"
              "  sensor: l1, gap sensor: labels with gaps between them (PPD LabelSensor LSD)\n"
              "  X offset: 0.00 mm\n  Y offset: 0.00 mm\n  label height: 50.09 mm\n"
              "  pitch: 53.09 mm (label height plus a gap of 3.00 mm)\n  printable width: 99.8 mm\n"
              "I 0,0,0;cups\n  print the image \"cups\" (fields 0,0,0)\n"
              "(no C line)\n  cutter: off\n"
              "(no P line)\n  peel-off: off\n"
              "A2\n  copies: 2\n");
}

TEST(Describe, CutterAndPeelOffLines)
{
    std::vector<std::string> lines = worked;
    lines.insert(lines.end() - 1, {"C 5,0.0", "P -2.5"});
    std::string text = words_of(lines);
    EXPECT_NE(text.find("C 5,0.0\n  cutter: on, cut interval 5 (PPD cCutterMode CMOD1I)\n"
                        "  cut position offset: 0.0 mm\n"
                        "P -2.5\n  peel-off: on\n  peel-off displacement: -2.5 mm\nA2\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("(no "), std::string::npos);

    EXPECT_EQ(describe_lines({"C e,-1.5"})[0].words,
              (std::vector<std::string>{"cutter: on, mode e (PPD cCutterMode CMOD2E, no interval)",
                                        "cut position offset: -1.5 mm"}));
    EXPECT_NE(words_of({"C ERROR!!!"}).find("did not recognise the PPD's cCutterMode"), std::string::npos);
}

TEST(Describe, CodesAndOddLines)
{
    // Letters in any combination, an error code, the continuous-media sensor.
    EXPECT_EQ(words_of({"O M,T,P"}), "O M,T,P\n  mirror: on\n  rotate: off\n  tear-off: on\n"
                                     "  backfeed: P (PPD BackFeed choice BFS)\n");
    EXPECT_NE(words_of({"O M,R,T,ERR"}).find("rotate: on\n  tear-off: on\n  backfeed: ERR: the filter did not"),
              std::string::npos);
    EXPECT_NE(words_of({"S e;0.00,0.00,59.97,59.97,105.6"}).find("pitch: 59.97 mm (the label height: no gap)"),
              std::string::npos);
    EXPECT_NE(words_of({"H 2,8,D"}).find("print method: D, direct thermal"), std::string::npos);
    // Without a PPD the filter writes empty fields.
    EXPECT_NE(words_of({"H ,,"}).find("speed: none (the filter read no PPD)"), std::string::npos);
    // Unknown and broken lines are shown, not refused; the I line is checked
    // against the image that the page downloads.
    EXPECT_EQ(words_of({"Zq 1%s%n"}), "Zq 1%s%n\n  not known here; shown as it is\n");
    EXPECT_NE(words_of({"S l1;x,0,1,2,3"}).find("not understood"), std::string::npos);
    EXPECT_NE(words_of({"d IMG;cups", "I 0,0,0;logo"}).find("but this page downloads the image \"cups\""),
              std::string::npos);
    EXPECT_EQ(describe_lines({"A12x"}).back().words[0],
              "print command with a copy count that is not a number: \"12x\"");
}

TEST(Describe, ResolutionFromTheLabelHeight)
{
    EXPECT_EQ(guess_resolution(worked, 592), 300u);  // 142 points at 300 dpi
    EXPECT_EQ(guess_resolution(worked, 394), 200u);
    EXPECT_EQ(guess_resolution(worked, 1183), 600u);
    EXPECT_EQ(guess_resolution(worked, 450), 0u);
    EXPECT_EQ(guess_resolution({"A1"}, 592), 0u);
}

}  // namespace
