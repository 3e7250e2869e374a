// The generated PPDs against the model table, each read the way the filter
// reads its queue's PPD.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "settings/lines.h"
#include "settings/models.h"
#include "settings/options.h"

namespace {

std::string ppd_path(int32_t model) { return ZARIDIRAVID_PPD_DIR "/ravi" + std::to_string(model) + ".ppd"; }

// What the filter's setup makes of a model's PPD and the job options: its
// messages, then the O, H, S (for a 142 x 142 point page), C and P lines.
std::string block_of(int32_t model, const char *job_options, double *width = nullptr)
{
    setenv("PPD", ppd_path(model).c_str(), 1);
    cups_option_t *options = nullptr;
    int num_options = cupsParseOptions(job_options, 0, &options);
    testing::internal::CaptureStderr();
    const job_settings job = setup(num_options, options);
    cupsFreeOptions(num_options, options);
    std::string text = testing::internal::GetCapturedStderr(), line;
    text += get_o_opt(line, job.o_opt) ? line : "";
    text += get_h_opt(line, job.h_opt);
    cups_page_header_t header{};
    header.PageSize[0] = header.PageSize[1] = 142;
    text += get_s_opt(line, job.s_opt, &header, job.printwidth);
    text += get_c_opt(line, job.c_opt) ? line : "";
    text += get_p_opt(line, job.p_opt) ? line : "";
    if (width)
        *width = job.printwidth;
    return text;
}

// A model left out of the driver source or given a wrong number, resolution
// or colour setup (the filter takes 1-bit black only), or custom labels wider
// than it prints; defaults that the filter reports, does not know, or reads
// into another label than a plain one; a missing constraint that keeps a
// label to one way out.
TEST(Ppds, OnePerModelWithItsResolutionAndPlainDefaults)
{
    for (const printer_model &model : model_table) {
        SCOPED_TRACE(model.name);
        ppd_file_t *ppd = ppdOpenFile(ppd_path(model.number).c_str());
        ASSERT_TRUE(ppd);
        EXPECT_EQ(ppd->model_number, model.number);
        EXPECT_NEAR(ppd->custom_max[0], model.printwidth * 72 / 25.4, 0.01);
        const ppd_option_t *resolution = ppdFindOption(ppd, "Resolution");
        ASSERT_TRUE(resolution && resolution->num_choices == 1);
        const std::string dpi = std::strchr(model.name, '/') + 1;
        EXPECT_EQ(resolution->choices[0].choice, dpi + "dpi");
        EXPECT_EQ(resolution->choices[0].code, "<</HWResolution[" + dpi + " " + dpi +
                  "]/cupsBitsPerColor 1/cupsRowCount 0/cupsRowFeed 0/cupsRowStep 0/cupsColorSpace 3>>setpagedevice");
        ppdClose(ppd);

        double width = 0.0;
        EXPECT_EQ(block_of(model.number, "", &width), "O D\r\nH 4,10,T\r\nS l1;0.00,0.00,50.09,53.09,50.1\r\n");
        EXPECT_EQ(width, model.printwidth);
        EXPECT_EQ(block_of(model.number, "Cutter=True PeelOff=True").find("ERROR: Driver conflicts occurred: 1 "), 0u);
    }
}

}  // namespace
