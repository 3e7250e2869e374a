// The diagnostic dumps of a page header and of a PPD option.
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "diag/dump.h"

namespace {

// Signed and unsigned numbers mixed up, fields out of order or left out, a
// text taken as a format or read past its 64 bytes.
TEST(Dump, PageHeader)
{
    cups_page_header_t h = {};
    std::strcpy(h.MediaClass, "100% %s%d%n");
    std::memset(h.OutputType, 'x', sizeof h.OutputType);  // all 64 bytes, no NUL
    // The 41 numbers, AdvanceDistance to cupsRowStep, follow each other in the
    // order of the dump; the n-th holds -n: "%d" shows -n, "%u" 4294967296 - n.
    char *field = reinterpret_cast<char *>(&h.AdvanceDistance);
    for (uint32_t n = 1; n <= 41; n++, field += 4) {
        uint32_t value = 0u - n;
        std::memcpy(field, &value, 4);
    }
    ASSERT_EQ(field, reinterpret_cast<char *>(&h.cupsRowStep + 1));
    testing::internal::CaptureStderr();
    dump_pgHeader(&h);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DEBUG: zel - Start - Dumping page header ...\nDEBUG: MediaClass = \"100% %s%d%n\"\n"
              "DEBUG: MediaColor = \"\"\nDEBUG: MediaType = \"\"\nDEBUG: OutputType = \"" +
                  std::string(64, 'x') + "\"\n"
              "DEBUG: AdvanceDistance = 4294967295\nDEBUG: AdvanceMedia = -2\nDEBUG: Collate = -3\n"
              "DEBUG: CutMedia = -4\nDEBUG: Duplex = -5\nDEBUG: HWResolution = [ 4294967290 4294967289 ]\n"
              "DEBUG: ImagingBoundingBox = [ 4294967288 4294967287 4294967286 4294967285 ]\nDEBUG: InsertSheet = -12\n"
              "DEBUG: Jog = -13\nDEBUG: LeadingEdge = -14\nDEBUG: Margins = [ 4294967281 4294967280 ]\n"
              "DEBUG: ManualFeed = 4294967279\nDEBUG: MediaPosition = 4294967278\nDEBUG: MediaWeight = 4294967277\n"
              "DEBUG: MirrorPrint = -20\nDEBUG: NegativePrint = -21\nDEBUG: NumCopies = 4294967274\n"
              "DEBUG: Orientation = -23\nDEBUG: OutputFaceUp = -24\nDEBUG: PageSize = [ 4294967271 4294967270 ]\n"
              "DEBUG: Separations = -27\nDEBUG: TraySwitch = -28\nDEBUG: Tumble = -29\nDEBUG: cupsWidth = 4294967266\n"
              "DEBUG: cupsHeight = 4294967265\nDEBUG: cupsMediaType = 4294967264\n"
              "DEBUG: cupsBitsPerColor = 4294967263\nDEBUG: cupsBitsPerPixel = 4294967262\n"
              "DEBUG: cupsBytesPerLine = 4294967261\nDEBUG: cupsColorOrder = -36\nDEBUG: cupsColorSpace = -37\n"
              "DEBUG: cupsCompression = 4294967258\nDEBUG: cupsRowCount = 4294967257\nDEBUG: cupsRowFeed = 4294967256\n"
              "DEBUG: cupsRowStep = 4294967255\nDEBUG: zel - End - Dumping page header ...\n");
}

// A mark shown unsigned or only as marked or not, or against the wrong
// choice; a "%" in a text taken as a format; a missing option crashing.
TEST(Dump, PpdOption)
{
    std::unique_ptr<ppd_file_t, decltype(&ppdClose)> ppd(ppdOpenFile(TEST_PPD_DIR "/base.ppd"), ppdClose);
    ppd_option_t *o = ppd ? ppdFindOption(ppd.get(), "BackFeed") : nullptr;
    ASSERT_TRUE(o && o->num_choices == 3);
    std::strcpy(o->text, "100% %d%n");
    std::strcpy(o->choices[2].text, "%s%n");
    o->choices[1].marked = 1;
    o->choices[2].marked = static_cast<char>(0xFF);
    testing::internal::CaptureStderr();
    dump_ppdOption(ppd.get(), "BackFeed");
    dump_ppdOption(ppd.get(), "NoSuchOption");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: Dump - Starting ...\nERROR: zel - Option: 100% %d%n\n"
              "ERROR: zel - Choice-Text: After printing -> 0 - is not marked ...\n"
              "ERROR: zel - Choice-Text: Smart -> 1 - marked!!!\nERROR: zel - Choice-Text: %s%n -> -1 - marked!!!\n"
              "ERROR: zel - Dump - Done ...\n"
              "ERROR: Dump - Starting ...\nERROR: zel -Dump - Option is not available ...\n"
              "ERROR: zel - Dump - Done ...\n");
}

}  // namespace
