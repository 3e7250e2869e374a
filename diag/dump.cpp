// Diagnostic dumps to standard error.
#include "diag/dump.h"

#include <cstdio>
#include <cstring>

namespace {

// A text field of the header, at most its 64 bytes, between double quotes.
void text_field(const char *name, const char (&text)[64])
{
    std::fprintf(stderr, "DEBUG: %s = \"%.*s\"\n", name, static_cast<int>(strnlen(text, sizeof text)), text);
}

void pair_field(const char *name, const unsigned (&v)[2])
{
    std::fprintf(stderr, "DEBUG: %s = [ %u %u ]\n", name, v[0], v[1]);
}

// A field's 32 bits as the raster stream gave them. The enumeration fields
// can hold any value there, and reading one as its enum type would be
// undefined for values outside the enumeration.
template <class T>
unsigned raw(const T &field)
{
    static_assert(sizeof field == sizeof(unsigned));
    unsigned v;
    std::memcpy(&v, &field, sizeof v);
    return v;
}

template <class T>
void signed_field(const char *name, const T &field)
{
    std::fprintf(stderr, "DEBUG: %s = %d\n", name, static_cast<int>(raw(field)));
}

template <class T>
void unsigned_field(const char *name, const T &field)
{
    std::fprintf(stderr, "DEBUG: %s = %u\n", name, raw(field));
}

}  // namespace

void dump_pgHeader(const cups_page_header_t *h)
{
    std::fputs("DEBUG: zel - Start - Dumping page header ...\n", stderr);
    text_field("MediaClass", h->MediaClass);
    text_field("MediaColor", h->MediaColor);
    text_field("MediaType", h->MediaType);
    text_field("OutputType", h->OutputType);
    unsigned_field("AdvanceDistance", h->AdvanceDistance);
    signed_field("AdvanceMedia", h->AdvanceMedia);
    signed_field("Collate", h->Collate);
    signed_field("CutMedia", h->CutMedia);
    signed_field("Duplex", h->Duplex);
    pair_field("HWResolution", h->HWResolution);
    std::fprintf(stderr, "DEBUG: ImagingBoundingBox = [ %u %u %u %u ]\n", h->ImagingBoundingBox[0],
                 h->ImagingBoundingBox[1], h->ImagingBoundingBox[2], h->ImagingBoundingBox[3]);
    signed_field("InsertSheet", h->InsertSheet);
    signed_field("Jog", h->Jog);
    signed_field("LeadingEdge", h->LeadingEdge);
    pair_field("Margins", h->Margins);
    unsigned_field("ManualFeed", h->ManualFeed);
    unsigned_field("MediaPosition", h->MediaPosition);
    unsigned_field("MediaWeight", h->MediaWeight);
    signed_field("MirrorPrint", h->MirrorPrint);
    signed_field("NegativePrint", h->NegativePrint);
    unsigned_field("NumCopies", h->NumCopies);
    signed_field("Orientation", h->Orientation);
    signed_field("OutputFaceUp", h->OutputFaceUp);
    pair_field("PageSize", h->PageSize);
    signed_field("Separations", h->Separations);
    signed_field("TraySwitch", h->TraySwitch);
    signed_field("Tumble", h->Tumble);
    unsigned_field("cupsWidth", h->cupsWidth);
    unsigned_field("cupsHeight", h->cupsHeight);
    unsigned_field("cupsMediaType", h->cupsMediaType);
    unsigned_field("cupsBitsPerColor", h->cupsBitsPerColor);
    unsigned_field("cupsBitsPerPixel", h->cupsBitsPerPixel);
    unsigned_field("cupsBytesPerLine", h->cupsBytesPerLine);
    signed_field("cupsColorOrder", h->cupsColorOrder);
    signed_field("cupsColorSpace", h->cupsColorSpace);
    unsigned_field("cupsCompression", h->cupsCompression);
    unsigned_field("cupsRowCount", h->cupsRowCount);
    unsigned_field("cupsRowFeed", h->cupsRowFeed);
    unsigned_field("cupsRowStep", h->cupsRowStep);
    std::fputs("DEBUG: zel - End - Dumping page header ...\n", stderr);
}

void dump_ppdOption(const ppd_file_t *ppd, const char *keyword)
{
    std::fputs("ERROR: Dump - Starting ...\n", stderr);
    const ppd_option_t *option = ppdFindOption(const_cast<ppd_file_t *>(ppd), keyword);
    if (!option) {
        std::fputs("ERROR: zel -Dump - Option is not available ...\n", stderr);
    } else {
        // PPD texts are written as they stand, never used as a format.
        std::fputs("ERROR: zel - Option: ", stderr);
        std::fputs(option->text, stderr);
        std::fputs("\n", stderr);
        for (int i = 0; i < option->num_choices; i++) {
            const ppd_choice_t &choice = option->choices[i];
            std::fputs("ERROR: zel - Choice-Text: ", stderr);
            std::fputs(choice.text, stderr);
            std::fprintf(stderr, " -> %d", static_cast<int>(static_cast<signed char>(choice.marked)));
            std::fputs(choice.marked ? " - marked!!!\n" : " - is not marked ...\n", stderr);
        }
    }
    std::fputs("ERROR: zel - Dump - Done ...\n", stderr);
}
