// The Printer Application's mapping against the filter: the same settings
// from a PPD or from IPP attributes make the same label job block; pages cut
// to the label and dithered. (The server itself: server_test.sh.)
#include <gtest/gtest.h>

#include "app/ipp_settings.h"
#include "app/label_page.h"
#include "settings/lines.h"
#include "tests/support.h"

namespace {

const std::string ppd_dir = ZARIDIRAVID_PPD_DIR;

// The label job block of a 100 x 50 mm label with these settings.
std::string block(const job_settings &job)
{
    cups_page_header_t label = {};
    label.PageSize[0] = 283, label.PageSize[1] = 142, label.NumCopies = 1;
    return label_block(label, job);
}

// The block settings_from_ipp makes of the IPP values and the job's vendor
// attributes (name=value ...), with the printer's vendor defaults; and what
// was replaced.
std::string ipp_block(ipp_label_values in, const char *vendor, const char *defaults = "",
                      std::string *replaced = nullptr)
{
    cups_option_t *list = nullptr, *printer = nullptr;
    in.num_vendor = cupsParseOptions(vendor, 0, &list);
    in.vendor = list;
    in.num_vendor_defaults = cupsParseOptions(defaults, 0, &printer);
    in.vendor_defaults = printer;
    job_settings job = {};
    job.modelnumber = 343, job.printwidth = 105.6;
    const std::string notes = settings_from_ipp(in, job);
    cupsFreeOptions(in.num_vendor, list);
    cupsFreeOptions(in.num_vendor_defaults, printer);
    if (replaced)
        *replaced = notes;
    return block(job);
}

// Every mapped IPP value against the PPD choice it stands for, read by the
// filter from the model's PPD: a wrong rounding, a swapped keyword, a lost
// sign or a switch that does not reach its line shows as another block. Then
// values the printer can't take: never cut or passed on, but replaced by the
// printer's default (or, that failing, the PPD's) and named in the message.
TEST(IppSettings, TheBlockThePpdGivesWithBadValuesReplaced)
{
    const auto gap = PAPPL_MEDIA_TRACKING_GAP;
    const auto rewind = PAPPL_LABEL_MODE_REWIND;
    const struct {
        ipp_label_values in;
        const char *vendor, *ppd;
    } rows[] = {
        {{50, 0, 10160, gap, 0, 0, rewind}, "", ""},
        {{50, 0, 10160, PAPPL_MEDIA_TRACKING_WEB, 0, 0, rewind}, "", "LabelSensor=LSD"},
        {{62, 0, 3810, PAPPL_MEDIA_TRACKING_MARK, 0, 0, rewind}, "", "Heat=12 Speed=2 LabelSensor=LSR"},
        {{63, 0, 3809, PAPPL_MEDIA_TRACKING_CONTINUOUS, 0, 0, rewind}, "", "Heat=13 Speed=1 LabelSensor=LSE"},
        {{90, 50, 99999, gap, 0, 0, rewind}, "", "Heat=20 Speed=12"},
        {{10, -100, 0, gap, 0, 0, rewind}, "", "Heat=0 Speed=1"},
        {{50, 0, 10160, gap, -3090, 2090, PAPPL_LABEL_MODE_TEAR_OFF}, "",
         "TearOffMode=True PrnHeadOffsetYDir=Minus PrnHeadOffsetYVK=30 PrnHeadOffsetYNK=9 PrnHeadOffsetXVK=20 "
         "PrnHeadOffsetXNK=9"},
        {{50, 0, 10160, gap, 254, 4, PAPPL_LABEL_MODE_PEEL_OFF}, "peel-off-offset=-251",
         "PeelOff=True cPeelOffDir=PODIRM cPeelOffVKVersatz=2 cPeelOffNKVersatz=5 PrnHeadOffsetYVK=2 "
         "PrnHeadOffsetYNK=5"},
        {{50, 0, 10160, gap, -4, 0, PAPPL_LABEL_MODE_CUTTER}, "cutter-interval=25 cutter-offset=-150",
         "Cutter=True cCutterInterval=25 cCutterOffset1Dir=Minus cCutterOffset1VK=1 cCutterOffset1NK=5"},
        {{50, 0, 10160, gap, 0, 0, PAPPL_LABEL_MODE_CUTTER_DELAYED}, "cutter-offset=2090",
         "Cutter=True cCutterMode=CMOD2E cCutterOffset1VK=20 cCutterOffset1NK=9"},
        {{50, 0, 10160, gap, 0, 0, rewind},
         "print-method=direct-thermal label-gap=1250 label-mirror=true label-rotate=true backfeed=when-needed",
         "PrintMethod=False LabelGapVK=12 LabelGapNK=5 LabelMirrored=True LabelRotate=True BackFeed=BFS"},
    };
    for (const auto &r : rows) {
        setenv("PPD", (ppd_dir + "/ravi343.ppd").c_str(), 1);
        cups_option_t *list = nullptr;
        const int n = cupsParseOptions(r.ppd, 0, &list);
        EXPECT_EQ(ipp_block(r.in, r.vendor), block(setup(n, list))) << r.ppd;
        cupsFreeOptions(n, list);
    }

    const struct {
        const char *vendor, *defaults;
        int top, left, default_top, default_left;
        const char *ppd, *message;
    } replaced[] = {
        {"label-gap=2091", "label-gap=500", 0, 0, 0, 0, "LabelGapVK=5",
         "label-gap=2091 is not supported, printed with 500"},
        {"label-gap='3\r\nJ'", "", 0, 0, 0, 0, "", "label-gap=3??J is not supported, printed with 300"},
        {"cutter-interval=21", "cutter-interval=22", 0, 0, 0, 0, "",
         "cutter-interval=21, cutter-interval=22 is not supported, printed with 1"},
        {"cutter-offset=-2091 backfeed=BFS", "backfeed=when-needed", 0, 0, 0, 0, "BackFeed=BFS",
         "backfeed=BFS is not supported, printed with when-needed; cutter-offset=-2091 is not supported, printed "
         "with 0"},
        {"print-method= label-mirror=yes", "", 0, 0, 0, 0, "",
         "print-method= is not supported, printed with thermal-transfer; label-mirror=yes is not supported, "
         "printed with false"},
        {"", "", 3091, 250, -150, 0, "PrnHeadOffsetYDir=Minus PrnHeadOffsetYVK=1 PrnHeadOffsetYNK=5 PrnHeadOffsetXVK=2 "
         "PrnHeadOffsetXNK=5", "media-top-offset=3091 is not supported, printed with -150"},
        {"", "", 0, -1, 0, 9999, "", "media-left-offset=-1 is not supported, printed with 0"},
    };
    for (const auto &r : replaced) {
        cups_option_t *list = nullptr;
        const int n = cupsParseOptions(r.ppd, 0, &list);
        ipp_label_values in = {50, 0, 10160, gap, r.top, r.left, rewind};
        in.default_top_offset = r.default_top, in.default_left_offset = r.default_left;
        std::string message;
        EXPECT_EQ(ipp_block(in, r.vendor, r.defaults, &message), block(setup(n, list))) << r.vendor;
        EXPECT_EQ(message, r.message);
        cupsFreeOptions(n, list);
    }
}

// A page larger than the label is cut to it, on either path: 1-bit rows keep
// no dot right of the label, grey rows are dithered (black always burnt,
// white never), rows below the label dropped; pages the printer can't take
// are refused.
TEST(LabelPage, CutDitheredOrRefused)
{
    dither_matrix dither;
    for (int i = 0; i < 256; i++)
        dither[i / 16][i % 16] = static_cast<unsigned char>(i % 255);
    cups_page_header2_t page = {};
    for (unsigned bits : {1u, 8u}) {
        page.cupsWidth = 40, page.cupsHeight = 30, page.cupsBitsPerColor = page.cupsBitsPerPixel = bits;
        page.cupsBytesPerLine = 40 * bits / 8, page.HWResolution[0] = page.HWResolution[1] = 254;
        page.cupsColorSpace = bits == 1 ? CUPS_CSPACE_K : CUPS_CSPACE_SW;
        label_page p;
        ASSERT_EQ(start_label_page(p, page, 130, 200, 254), "");  // 13 x 20 dots
        bytes row(page.cupsBytesPerLine, bits == 1 ? 0xFF : 0), rows;
        for (unsigned x = 0; x < 40 && bits == 8; x++)
            row[x] = x % 2 ? 0 : 255;
        for (unsigned y = 0; y < 30; y++)
            put_label_row(p, y, row.data(), dither);
        for (int y = 0; y < 20; y++)
            rows.insert(rows.end(), {uint8_t(bits == 1 ? 0xFF : 0x55), uint8_t(bits == 1 ? 0xF8 : 0x50)});
        const img_bitmap b = label_bitmap(p);
        ASSERT_EQ(b.width * 100 + b.height, 1320);
        EXPECT_EQ(bytes(b.data, b.data + 40), bitmap_of(13, rows)) << bits << " bits";
    }
    label_page p;
    page.HWResolution[0] = page.HWResolution[1] = 600;
    EXPECT_EQ(start_label_page(p, page, 2540, 2540, 300), "the page is 600x600 dpi; the printer prints 300 dpi");
    page.HWResolution[0] = page.HWResolution[1] = 300, page.cupsBytesPerLine = 41;
    EXPECT_EQ(start_label_page(p, page, 2540, 2540, 300), "the page's size or line length is damaged");
    page.cupsBytesPerLine = 40, page.cupsHeight = 11812;
    EXPECT_EQ(start_label_page(p, page, 2540, 2540, 300), "the page is 40x11812 dots; no label is larger than 11811x11811");
    page.cupsBytesPerLine = 120, page.cupsBitsPerPixel = 24;
    EXPECT_NE(start_label_page(p, page, 2540, 2540, 300), "");
    page.cupsBitsPerPixel = 8, memcpy(&page.cupsColorSpace, "\x12\0\1\0", 4);  // 65554, no colour space
    EXPECT_EQ(start_label_page(p, page, 2540, 2540, 300), "the page is 8-bit colour space 65554; the printer takes black or grey pages");
}

}  // namespace
