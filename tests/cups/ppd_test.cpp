// The generated PPDs against the model table, and against what the filter
// reads from them: every PPD read the way the filter reads its queue's PPD.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "settings/lines.h"
#include "settings/models.h"
#include "settings/options.h"

namespace {

std::string ppd_path(int32_t model) { return ZARIDIRAVID_PPD_DIR "/ravi" + std::to_string(model) + ".ppd"; }

struct ppd_closer {
    void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using ppd_ptr = std::unique_ptr<ppd_file_t, ppd_closer>;

// The filter's setup on a model's PPD with job options ("name=value ...");
// returns what it wrote to standard error.
std::string read_settings(int32_t model, const char *job_options)
{
    s_opt = {};
    h_opt = {};
    o_opt = {};
    p_opt = {};
    c_opt = {};
    setenv("PPD", ppd_path(model).c_str(), 1);
    cups_option_t *options = nullptr;
    int num_options = cupsParseOptions(job_options, 0, &options);
    testing::internal::CaptureStderr();
    setup(num_options, options);
    cupsFreeOptions(num_options, options);
    return testing::internal::GetCapturedStderr();
}

std::string line_of(int (*builder)(std::string &))
{
    std::string line;
    return builder(line) == 1 ? line : "(none)";
}

bool all_digits(const char *text)
{
    return *text && std::strspn(text, "0123456789") == std::strlen(text);
}

}  // namespace

TEST(Ppds, OnePerModelWithItsResolutionAndWidth)
{
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(ZARIDIRAVID_PPD_DIR))
        files += entry.path().extension() == ".ppd";
    EXPECT_EQ(files, model_count);

    for (const printer_model &model : model_table) {
        SCOPED_TRACE(model.name);
        ppd_ptr ppd(ppdOpenFile(ppd_path(model.number).c_str()));
        ASSERT_TRUE(ppd);
        const std::string name = model.name;
        const size_t slash = name.find('/');
        EXPECT_EQ(ppd->model_number, model.number);
        EXPECT_STREQ(ppd->manufacturer, "Ravi");
        EXPECT_EQ(ppd->modelname, name.substr(0, slash));
        ASSERT_EQ(ppd->num_filters, 1);
        EXPECT_STREQ(ppd->filters[0], "application/vnd.cups-raster 100 zaridiravid");
        EXPECT_EQ(ppd->manual_copies, 0);  // the printer makes the copies

        // One resolution, the model's, in 1-bit black (CUPS_CSPACE_K is 3).
        const ppd_option_t *resolution = ppdFindOption(ppd.get(), "Resolution");
        ASSERT_TRUE(resolution);
        ASSERT_EQ(resolution->num_choices, 1);
        const std::string dpi = name.substr(slash + 1);
        EXPECT_EQ(resolution->choices[0].choice, dpi + "dpi");
        EXPECT_EQ(resolution->choices[0].code, "<</HWResolution[" + dpi + " " + dpi +
                  "]/cupsBitsPerColor 1/cupsRowCount 0/cupsRowFeed 0/cupsRowStep 0/cupsColorSpace 3>>setpagedevice");

        // Labels and custom sizes as wide as the printer prints, no wider.
        const double width = model.printwidth * 72.0 / 25.4;
        EXPECT_TRUE(ppd->variable_sizes);
        EXPECT_NEAR(ppd->custom_max[0], width, 0.01);
        for (int i = 0; i < ppd->num_sizes; i++)
            EXPECT_LE(ppd->sizes[i].width, width + 0.01) << ppd->sizes[i].name;
    }
}

TEST(Ppds, DefaultsPrintAPlainLabel)
{
    for (const printer_model &model : model_table) {
        SCOPED_TRACE(model.name);
        EXPECT_EQ(read_settings(model.number, ""), "");
        EXPECT_EQ(printwidth, model.printwidth);
        EXPECT_EQ(line_of(get_o_opt), "O D\r\n");
        std::string line;
        EXPECT_EQ(get_h_opt(line), "H 4,10,T\r\n");
        EXPECT_STREQ(s_opt.labelsensor, "l1");
        EXPECT_EQ(s_opt.displacementx, 0.0);
        EXPECT_EQ(s_opt.displacementy, 0.0);
        EXPECT_EQ(s_opt.labelgap, 3.0);
        EXPECT_EQ(line_of(get_c_opt), "(none)");
        EXPECT_EQ(line_of(get_p_opt), "(none)");
    }
}

TEST(Ppds, ChoicesReachTheFilterUncut)
{
    // The widest choices of each option, read without a message: none is cut.
    EXPECT_EQ(read_settings(343, "Heat=20 Speed=12 PrintMethod=False LabelMirrored=True LabelRotate=True "
                                 "TearOffMode=True BackFeed=BFS"), "");
    std::string line;
    EXPECT_EQ(get_h_opt(line), "H 12,20,D\r\n");
    EXPECT_EQ(line_of(get_o_opt), "O M,R,T,P\r\n");

    EXPECT_EQ(read_settings(343, "LabelSensor=LSR LabelGapVK=20 LabelGapNK=9 PrnHeadOffsetXVK=20 "
                                 "PrnHeadOffsetXNK=9 PrnHeadOffsetYDir=Minus PrnHeadOffsetYVK=30 "
                                 "PrnHeadOffsetYNK=9"), "");
    EXPECT_STREQ(s_opt.labelsensor, "l0");
    EXPECT_DOUBLE_EQ(s_opt.labelgap, 20.9);
    EXPECT_DOUBLE_EQ(s_opt.displacementx, 20.9);
    EXPECT_DOUBLE_EQ(s_opt.displacementy, -30.9);
    EXPECT_EQ(read_settings(343, "LabelSensor=LSE PrnHeadOffsetYVK=2"), "");
    EXPECT_STREQ(s_opt.labelsensor, "e");
    EXPECT_DOUBLE_EQ(s_opt.displacementy, 2.0);

    EXPECT_EQ(read_settings(343, "Cutter=True cCutterInterval=100 cCutterOffset1Dir=Minus "
                                 "cCutterOffset1VK=20 cCutterOffset1NK=9"), "");
    EXPECT_EQ(line_of(get_c_opt), "C 100,-20.9\r\n");
    EXPECT_EQ(read_settings(343, "Cutter=True cCutterMode=CMOD2E"), "");
    EXPECT_EQ(line_of(get_c_opt), "C e,+0.0\r\n");

    EXPECT_EQ(read_settings(343, "PeelOff=True cPeelOffDir=PODIRM cPeelOffVKVersatz=20 cPeelOffNKVersatz=9"), "");
    EXPECT_EQ(line_of(get_p_opt), "P -20.9\r\n");
    EXPECT_EQ(read_settings(343, "PeelOff=True cPeelOffVKVersatz=1 cPeelOffNKVersatz=5"), "");
    EXPECT_EQ(line_of(get_p_opt), "P 1.5\r\n");
}

TEST(Ppds, NumberTextsFitTheirFields)
{
    // Longest choice text of an option; every one a number (or, for a
    // direction, a sign).
    auto longest = [](ppd_file_t *ppd, const char *keyword, bool sign) {
        const ppd_option_t *option = ppdFindOption(ppd, keyword);
        size_t most = 0;
        for (int i = 0; option && i < option->num_choices; i++) {
            const char *text = option->choices[i].text;
            EXPECT_TRUE(sign ? !std::strcmp(text, "+") || !std::strcmp(text, "-") : all_digits(text))
                << keyword << " " << option->choices[i].choice << " [" << text << "]";
            most = std::max(most, std::strlen(text));
        }
        EXPECT_GT(most, 0u) << keyword;
        return most;
    };
    for (const printer_model &model : model_table) {
        SCOPED_TRACE(model.name);
        ppd_ptr ppd(ppdOpenFile(ppd_path(model.number).c_str()));
        ASSERT_TRUE(ppd);
        ppd_file_t *p = ppd.get();
        EXPECT_LE(longest(p, "Heat", false), 3u);
        EXPECT_LE(longest(p, "Speed", false), 3u);
        EXPECT_LE(longest(p, "cCutterInterval", false), 4u);
        EXPECT_LE(longest(p, "cCutterOffset1Dir", true) + longest(p, "cCutterOffset1VK", false) + 1 +
                  longest(p, "cCutterOffset1NK", false), 10u);
        EXPECT_LE(1 + longest(p, "cPeelOffVKVersatz", false) + 1 + longest(p, "cPeelOffNKVersatz", false), 7u);
        longest(p, "PrnHeadOffsetYDir", true);
        for (const char *keyword : {"LabelGapVK", "LabelGapNK", "PrnHeadOffsetXVK", "PrnHeadOffsetXNK",
                                    "PrnHeadOffsetYVK", "PrnHeadOffsetYNK"})
            longest(p, keyword, false);
    }
}

TEST(Ppds, ALabelLeavesByOneWayOnly)
{
    const std::string conflict = "ERROR: Driver conflicts occurred";
    for (const char *options : {"Cutter=True PeelOff=True", "Cutter=True TearOffMode=True",
                                "PeelOff=True TearOffMode=True"})
        EXPECT_EQ(read_settings(343, options).compare(0, conflict.size(), conflict), 0) << options;
    for (const char *options : {"Cutter=True", "PeelOff=True", "TearOffMode=True"})
        EXPECT_EQ(read_settings(343, options), "") << options;
}
