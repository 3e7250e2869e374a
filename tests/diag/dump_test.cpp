// The diagnostic dumps of a page header and of a PPD option.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "diag/dump.h"
#include "tests/settings/settings_support.h"

namespace {

TEST(DumpPageHeader, EveryFieldInOrder)
{
    cups_page_header_t h = {};
    std::strcpy(h.MediaClass, "Labels");
    std::strcpy(h.MediaType, "%s%d%n");  // texts are data, never a format
    std::memset(h.OutputType, 'x', sizeof h.OutputType);  // all 64 bytes, no NUL
    // Every 32-bit field, enumerations included, holds minus its position
    // in the dump: "%d" fields show -n, "%u" fields 4294967296 - n.
    uint32_t n = 0;
    auto one = [&n](auto &field) {
        static_assert(sizeof field == 4);
        uint32_t value = 0u - ++n;
        std::memcpy(&field, &value, 4);
    };
    auto set = [&one](auto &...fields) { (one(fields), ...); };
    set(h.AdvanceDistance, h.AdvanceMedia, h.Collate, h.CutMedia, h.Duplex, h.HWResolution[0], h.HWResolution[1],
        h.ImagingBoundingBox[0], h.ImagingBoundingBox[1], h.ImagingBoundingBox[2], h.ImagingBoundingBox[3],
        h.InsertSheet, h.Jog, h.LeadingEdge, h.Margins[0], h.Margins[1], h.ManualFeed, h.MediaPosition,
        h.MediaWeight, h.MirrorPrint, h.NegativePrint, h.NumCopies, h.Orientation, h.OutputFaceUp,
        h.PageSize[0], h.PageSize[1], h.Separations, h.TraySwitch, h.Tumble, h.cupsWidth, h.cupsHeight,
        h.cupsMediaType, h.cupsBitsPerColor, h.cupsBitsPerPixel, h.cupsBytesPerLine, h.cupsColorOrder,
        h.cupsColorSpace, h.cupsCompression, h.cupsRowCount, h.cupsRowFeed, h.cupsRowStep);
    ASSERT_EQ(n, 41u);

    std::string err = capture_stderr([&] { dump_pgHeader(&h); });
    EXPECT_EQ(err, "DEBUG: zel - Start - Dumping page header ...\n"
                   "DEBUG: MediaClass = \"Labels\"\n"
                   "DEBUG: MediaColor = \"\"\n"
                   "DEBUG: MediaType = \"%s%d%n\"\n"
                   "DEBUG: OutputType = \"" + std::string(64, 'x') + "\"\n"
                   "DEBUG: AdvanceDistance = 4294967295\n"
                   "DEBUG: AdvanceMedia = -2\n"
                   "DEBUG: Collate = -3\n"
                   "DEBUG: CutMedia = -4\n"
                   "DEBUG: Duplex = -5\n"
                   "DEBUG: HWResolution = [ 4294967290 4294967289 ]\n"
                   "DEBUG: ImagingBoundingBox = [ 4294967288 4294967287 4294967286 4294967285 ]\n"
                   "DEBUG: InsertSheet = -12\n"
                   "DEBUG: Jog = -13\n"
                   "DEBUG: LeadingEdge = -14\n"
                   "DEBUG: Margins = [ 4294967281 4294967280 ]\n"
                   "DEBUG: ManualFeed = 4294967279\n"
                   "DEBUG: MediaPosition = 4294967278\n"
                   "DEBUG: MediaWeight = 4294967277\n"
                   "DEBUG: MirrorPrint = -20\n"
                   "DEBUG: NegativePrint = -21\n"
                   "DEBUG: NumCopies = 4294967274\n"
                   "DEBUG: Orientation = -23\n"
                   "DEBUG: OutputFaceUp = -24\n"
                   "DEBUG: PageSize = [ 4294967271 4294967270 ]\n"
                   "DEBUG: Separations = -27\n"
                   "DEBUG: TraySwitch = -28\n"
                   "DEBUG: Tumble = -29\n"
                   "DEBUG: cupsWidth = 4294967266\n"
                   "DEBUG: cupsHeight = 4294967265\n"
                   "DEBUG: cupsMediaType = 4294967264\n"
                   "DEBUG: cupsBitsPerColor = 4294967263\n"
                   "DEBUG: cupsBitsPerPixel = 4294967262\n"
                   "DEBUG: cupsBytesPerLine = 4294967261\n"
                   "DEBUG: cupsColorOrder = -36\n"
                   "DEBUG: cupsColorSpace = -37\n"
                   "DEBUG: cupsCompression = 4294967258\n"
                   "DEBUG: cupsRowCount = 4294967257\n"
                   "DEBUG: cupsRowFeed = 4294967256\n"
                   "DEBUG: cupsRowStep = 4294967255\n"
                   "DEBUG: zel - End - Dumping page header ...\n");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 41);

    cups_page_header_t zero = {};
    err = capture_stderr([&] { dump_pgHeader(&zero); });
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 41);
}

struct ppd_closer {
    void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};

class DumpOption : public testing::Test {
protected:
    void SetUp() override
    {
        ppd.reset(ppdOpenFile(base_ppd().c_str()));
        ASSERT_TRUE(ppd);
        ppdMarkDefaults(ppd.get());
    }
    std::string dump(const char *keyword)
    {
        return capture_stderr([&] { dump_ppdOption(ppd.get(), keyword); });
    }
    std::unique_ptr<ppd_file_t, ppd_closer> ppd;
};

TEST_F(DumpOption, ChoicesWithTheirMarks)
{
    EXPECT_EQ(dump("Heat"), "ERROR: Dump - Starting ...\n"
                            "ERROR: zel - Option: Heat\n"
                            "ERROR: zel - Choice-Text: 8 -> 0 - is not marked ...\n"
                            "ERROR: zel - Choice-Text: 10 -> 1 - marked!!!\n"
                            "ERROR: zel - Choice-Text: 12 -> 0 - is not marked ...\n"
                            "ERROR: zel - Choice-Text: 12345 -> 0 - is not marked ...\n"
                            "ERROR: zel - Choice-Text: %%s -> 0 - is not marked ...\n"
                            "ERROR: zel - Dump - Done ...\n");

    // A marked byte of 0xFF counts as marked and shows as -1; texts are data.
    ppd_option_t *o = ppdFindOption(ppd.get(), "BackFeed");
    ASSERT_TRUE(o);
    std::strcpy(o->text, "100% %d%n");
    o->choices[0].marked = static_cast<char>(0xFF);
    EXPECT_EQ(dump("BackFeed"), "ERROR: Dump - Starting ...\n"
                                "ERROR: zel - Option: 100% %d%n\n"
                                "ERROR: zel - Choice-Text: After printing -> -1 - marked!!!\n"
                                "ERROR: zel - Choice-Text: Smart -> 0 - is not marked ...\n"
                                "ERROR: zel - Choice-Text: Unknown -> 0 - is not marked ...\n"
                                "ERROR: zel - Dump - Done ...\n");
}

TEST_F(DumpOption, MissingOptionAndOptionWithoutChoices)
{
    EXPECT_EQ(dump("NoSuchOption"), "ERROR: Dump - Starting ...\n"
                                    "ERROR: zel -Dump - Option is not available ...\n"
                                    "ERROR: zel - Dump - Done ...\n");
    ppd_option_t *o = ppdFindOption(ppd.get(), "Speed");
    ASSERT_TRUE(o);
    int saved = o->num_choices;
    for (int n : {0, -1}) {
        o->num_choices = n;
        EXPECT_EQ(dump("Speed"), "ERROR: Dump - Starting ...\n"
                                 "ERROR: zel - Option: Speed\n"
                                 "ERROR: zel - Dump - Done ...\n");
    }
    o->num_choices = saved;
}

}  // namespace
