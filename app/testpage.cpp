// The test label, drawn in plain code with a small built-in font, written as
// a 1-bit PNG and printed like any other page.
#include "app/testpage.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>

#include "app/ipp_settings.h"
#include "app/label_page.h"
#include "preview/png.h"

// PAPPL 1.3.1 hands a sub-command callback only its options: how its own
// sub-commands reach the server (the local socket named after the program,
// or a printer URI) is in functions it exports but leaves out of its
// headers. The test label command reaches the server the same way.
extern "C" {
http_t *_papplMainloopConnect(const char *base_name, bool auto_start);
http_t *_papplMainloopConnectURI(const char *base_name, const char *printer_uri, char *resource, size_t rsize);
void _papplMainloopAddPrinterURI(ipp_t *request, const char *printer_name, char *resource, size_t rsize);
char *_papplMainloopGetDefaultPrinter(http_t *http, char *buffer, size_t bufsize);
}

namespace {

// Capitals, digits and the signs the label's words use, 5 x 7 dots, each
// row's leftmost dot in bit 4; small letters are drawn as capitals.
const struct {
    char c;
    unsigned char rows[7];
} glyphs[] = {
    {' ', {0, 0, 0, 0, 0, 0, 0}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0, 0, 0, 0, 0, 0x0C, 0x0C}},                {',', {0, 0, 0, 0, 0x0C, 0x04, 0x08}},
    {':', {0, 0x0C, 0x0C, 0, 0x0C, 0x0C, 0}},          {'-', {0, 0, 0, 0x1F, 0, 0, 0}},
    {'/', {0, 0x01, 0x02, 0x04, 0x08, 0x10, 0}},       {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}}, {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'+', {0, 0x04, 0x04, 0x1F, 0x04, 0x04, 0}},       {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0, 0x04}},
};

// Burns the dots of a rectangle, as far as it lies on the bitmap.
void fill(mono_bitmap &b, long x, long y, long w, long h)
{
    const long x1 = std::min<long>(x + w, b.width), y1 = std::min<long>(y + h, b.height);
    const size_t stride = (b.width + 7) / 8;
    for (long row = std::max(y, 0L); row < y1; row++)
        for (long col = std::max(x, 0L); col < x1; col++)
            b.bits[size_t(row) * stride + size_t(col) / 8] |= 0x80 >> (col % 8);
}

// Writes a line of text from (x, y), each font dot `scale` dots square.
void text(mono_bitmap &b, long x, long y, long scale, const std::string &words)
{
    for (char c : words) {
        const char up = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        const auto *g = std::find_if(std::begin(glyphs), std::end(glyphs), [&](const auto &g) { return g.c == up; });
        if (g == std::end(glyphs))
            g = std::end(glyphs) - 1;  // '?'
        for (long r = 0; r < 7; r++)
            for (long d = 0; d < 5; d++)
                if (g->rows[r] & (0x10 >> d))
                    fill(b, x + d * scale, y + r * scale, scale, scale);
        x += 6 * scale;
    }
}

// The IPP keywords of media tracking and of the label modes.
struct bit_keyword {
    unsigned bit;
    const char *keyword;
};
const bit_keyword trackings[] = {{PAPPL_MEDIA_TRACKING_CONTINUOUS, "continuous"},
                                 {PAPPL_MEDIA_TRACKING_GAP, "gap"},
                                 {PAPPL_MEDIA_TRACKING_MARK, "mark"},
                                 {PAPPL_MEDIA_TRACKING_WEB, "web"}};
const bit_keyword modes[] = {{PAPPL_LABEL_MODE_CUTTER, "cutter"},     {PAPPL_LABEL_MODE_CUTTER_DELAYED, "cutter-delayed"},
                             {PAPPL_LABEL_MODE_PEEL_OFF, "peel-off"}, {PAPPL_LABEL_MODE_REWIND, "rewind"},
                             {PAPPL_LABEL_MODE_TEAR_OFF, "tear-off"}};

// The keyword of a bit in one of those tables.
const char *keyword_of(std::span<const bit_keyword> table, unsigned bit)
{
    for (const auto &k : table)
        if (k.bit == bit)
            return k.keyword;
    return "unknown";
}

// An integer attribute's first value, or 0.
int integer(ipp_t *attrs, const char *name)
{
    ipp_attribute_t *a = attrs ? ippFindAttribute(attrs, name, IPP_TAG_INTEGER) : nullptr;
    return a ? ippGetInteger(a, 0) : 0;
}

// A text attribute's first value, or "".
std::string string(ipp_t *attrs, const char *name)
{
    ipp_attribute_t *a = attrs ? ippFindAttribute(attrs, name, IPP_TAG_ZERO) : nullptr;
    const char *s = a ? ippGetString(a, 0, nullptr) : nullptr;
    return s ? s : "";
}

// A line of words with up to two numbers.
std::string format(const char *fmt, double a, double b = 0)
{
    char line[128];
    std::snprintf(line, sizeof line, fmt, a, b);
    return line;
}

// Closes a connection to the server.
struct http_closer {
    void operator()(http_t *http) const { httpClose(http); }
};

// A new PNG file in PAPPL's temporary directory holding the test label for
// these attributes; its name in `path`, or false.
bool test_label_to_file(ipp_t *attrs, char *path, size_t size)
{
    const label_facts facts = label_facts_from(attrs);
    const mono_bitmap label = draw_test_label(facts);
    std::snprintf(path, size, "%s/zaridiravid-test-label-XXXXXX", papplGetTempDir());
    const int fd = label.width ? mkstemp(path) : -1;
    if (fd < 0)
        return false;
    close(fd);
    img_image image;  // the bitmap as the PNG writer takes it
    image.header.line_width = uint16_t(label.width), image.header.lines = uint16_t(label.height);
    image.row_bytes = (label.width + 7) / 8;
    image.store = label.bits;
    for (uint32_t y = 0; y < label.height; y++)
        image.rows.push_back(y);
    const bool ok = write_png(path, image, facts.dpi).empty();
    if (!ok)
        unlink(path);
    return ok;
}

}  // namespace

label_facts label_facts_from(ipp_t *attrs)
{
    label_facts f;
    f.model = string(attrs, "printer-make-and-model");
    ipp_res_t units;
    int y;
    if (ipp_attribute_t *res = ippFindAttribute(attrs, "printer-resolution-default", IPP_TAG_RESOLUTION))
        f.dpi = unsigned(std::max(ippGetResolution(res, 0, &y, &units), 0));
    ipp_attribute_t *col = ippFindAttribute(attrs, "media-col-default", IPP_TAG_BEGIN_COLLECTION);
    ipp_t *media = col ? ippGetCollection(col, 0) : nullptr;
    ipp_attribute_t *size_attr = media ? ippFindAttribute(media, "media-size", IPP_TAG_BEGIN_COLLECTION) : nullptr;
    ipp_t *size = size_attr ? ippGetCollection(size_attr, 0) : nullptr;
    f.width = integer(size, "x-dimension"), f.length = integer(size, "y-dimension");

    // Each setting the printer reports, in words.
    const auto add = [&](ipp_t *from, const char *name, const char *fmt, double per) {
        if (ipp_attribute_t *a = from ? ippFindAttribute(from, name, IPP_TAG_INTEGER) : nullptr)
            f.settings.push_back(format(fmt, ippGetInteger(a, 0) / per));
    };
    add(attrs, "printer-darkness-configured", "Darkness: %.0f %%", 1);
    add(attrs, "print-darkness-default", "Job darkness: %+.0f", 1);
    add(attrs, "print-speed-default", "Speed: %.1f in/s", 2540);
    if (const std::string tracking = string(media, "media-tracking"); !tracking.empty())
        f.settings.push_back("Label sensing: " + tracking);
    add(media, "media-top-offset", "Top offset: %.2f mm", 100);
    add(media, "media-left-offset", "Left offset: %.2f mm", 100);
    if (const std::string mode = string(attrs, "label-mode-configured"); !mode.empty())
        f.settings.push_back("Label mode: " + mode);
    for (const printer_setting &s : printer_settings) {
        ipp_attribute_t *a = s.ipp ? ippFindAttribute(attrs, (std::string(s.ipp) + "-default").c_str(), IPP_TAG_ZERO)
                                   : nullptr;
        char value[256];
        if (!a || !ippAttributeString(a, value, sizeof value))
            continue;
        for (const setting_choice &c : s.choices)
            if (s.kind == setting_kind::keywords && std::strcmp(c.ipp, value) == 0)
                std::snprintf(value, sizeof value, "%s", c.text);
        if (s.kind == setting_kind::on_off)
            std::snprintf(value, sizeof value, "%s", ippGetBoolean(a, 0) ? "on" : "off");
        f.settings.push_back(vendor_text(s) + ": " + value);
    }
    return f;
}

mono_bitmap draw_test_label(const label_facts &f)
{
    // Nothing for what no printer of the family has: a resolution above
    // 600 dpi, a label wider than 30 cm or longer than a metre.
    mono_bitmap b;
    if (f.dpi == 0 || f.dpi > 600 || f.width <= 0 || f.width > 30000 || f.length <= 0 || f.length > 100000)
        return b;
    b.width = label_dots(f.width, f.dpi), b.height = label_dots(f.length, f.dpi);
    if (b.width == 0 || b.height == 0)
        return {};
    b.bits.assign(size_t(b.width + 7) / 8 * b.height, 0);
    const auto mm = [&](double v) { return std::lround(v * f.dpi / 25.4); };
    const long w = b.width, h = b.height, line = std::max(mm(0.3), 1L), scale = std::max(f.dpi / 150, 1u);

    // The frame, its outer edge on the label's outermost dots.
    fill(b, 0, 0, w, line), fill(b, 0, h - line, w, line);
    fill(b, 0, 0, line, h), fill(b, w - line, 0, line, h);

    // Rulers from the label's top left corner: a tick each millimetre,
    // longer at 5, longest at 10 with the count of millimetres.
    for (long i = 1; mm(double(i)) < std::max(w, h); i++) {
        const long at = mm(double(i)), tick = mm(i % 10 == 0 ? 3 : i % 5 == 0 ? 2 : 1);
        fill(b, at, line, std::max(line / 2, 1L), tick);
        fill(b, line, at, tick, std::max(line / 2, 1L));
        if (i % 10 == 0) {
            text(b, at + 2 * scale, line + tick - 7 * scale, scale, std::to_string(i));
            text(b, line + 2 * scale, at + 2 * scale, scale, std::to_string(i));
        }
    }

    std::vector<std::string> lines = {f.model, std::to_string(f.dpi) + " dpi",
                                      format("Label %g x %g mm", f.width / 100.0, f.length / 100.0)};
    lines.insert(lines.end(), f.settings.begin(), f.settings.end());
    long y = mm(6);
    for (const std::string &l : lines) {
        text(b, mm(6), y, scale, l);
        y += 9 * scale;
    }
    return b;
}

ipp_t *test_label_attributes(pappl_printer_t *printer)
{
    pappl_pr_driver_data_t d;
    papplPrinterGetDriverData(printer, &d);
    ipp_t *attrs = papplPrinterGetDriverAttributes(printer), *col = ippNew(), *size = ippNew();
    if (!attrs)
        attrs = ippNew();
    ippAddResolution(attrs, IPP_TAG_PRINTER, "printer-resolution-default", IPP_RES_PER_INCH, d.x_default, d.y_default);
    ippAddInteger(size, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "x-dimension", d.media_default.size_width);
    ippAddInteger(size, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "y-dimension", d.media_default.size_length);
    ippAddCollection(col, IPP_TAG_PRINTER, "media-size", size);
    ippAddString(col, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "media-tracking", nullptr,
                 keyword_of(trackings, d.media_default.tracking));
    ippAddInteger(col, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "media-top-offset", d.media_default.top_offset);
    ippAddInteger(col, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "media-left-offset", d.media_default.left_offset);
    ippAddCollection(attrs, IPP_TAG_PRINTER, "media-col-default", col);
    ippDelete(col);
    ippDelete(size);
    ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "printer-darkness-configured", d.darkness_configured);
    ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "print-darkness-default", d.darkness_default);
    ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "print-speed-default", d.speed_default);
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "label-mode-configured", nullptr,
                 keyword_of(modes, d.mode_configured));
    return attrs;
}

const char *test_label_file(pappl_printer_t *printer, char *buffer, size_t size)
{
    ipp_t *attrs = test_label_attributes(printer);
    const bool ok = test_label_to_file(attrs, buffer, size);
    ippDelete(attrs);
    if (!ok)
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Unable to write the test label: %s", std::strerror(errno));
    return ok ? buffer : nullptr;
}

int testpage_command(const char *base_name, int num_options, cups_option_t *options, int, char **, void *)
{
    const char *uri = cupsGetOption("printer-uri", num_options, options);
    const char *name = cupsGetOption("printer-name", num_options, options);
    char resource[1024] = "", printer[256] = "", path[1024];
    std::unique_ptr<http_t, http_closer> http(uri ? _papplMainloopConnectURI(base_name, uri, resource, sizeof resource)
                                                  : _papplMainloopConnect(base_name, false));
    if (!http) {
        std::fprintf(stderr, "%s: Unable to reach the server%s.\n", base_name, uri ? "" : " (is it running?)");
        return 1;
    }
    if (!uri && !name && !(name = _papplMainloopGetDefaultPrinter(http.get(), printer, sizeof printer))) {
        std::fprintf(stderr, "%s: No default printer: name one with -d.\n", base_name);
        return 1;
    }
    // A server's URI and a printer's name make the printer's URI.
    std::string printer_uri = uri ? uri : "";
    if (uri && name && std::strncmp(resource, "/ipp/print/", 11) != 0) {
        std::string base = printer_uri.substr(0, printer_uri.find_last_not_of('/') + 1);
        printer_uri = base + "/ipp/print/" + name, std::snprintf(resource, sizeof resource, "/ipp/print/%s", name);
    }
    const auto request = [&](ipp_op_t op) {
        ipp_t *r = ippNewRequest(op);
        if (uri)
            ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer_uri.c_str());
        else
            _papplMainloopAddPrinterURI(r, name, resource, sizeof resource);
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        return r;
    };

    ipp_t *attrs = cupsDoRequest(http.get(), request(IPP_OP_GET_PRINTER_ATTRIBUTES), resource);
    const bool drawn = cupsLastError() < IPP_STATUS_ERROR_BAD_REQUEST && test_label_to_file(attrs, path, sizeof path);
    ippDelete(attrs);
    if (!drawn) {
        std::fprintf(stderr, "%s: Unable to make the test label: %s\n", base_name, cupsLastErrorString());
        return 1;
    }
    ipp_t *job = request(IPP_OP_PRINT_JOB);
    ippAddString(job, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "Test label");
    ippAddString(job, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, "image/png");
    ipp_t *answer = cupsDoFileRequest(http.get(), job, resource, path);
    unlink(path);
    const int id = integer(answer, "job-id");
    ippDelete(answer);
    if (cupsLastError() >= IPP_STATUS_ERROR_BAD_REQUEST) {
        std::fprintf(stderr, "%s: Unable to print the test label: %s\n", base_name, cupsLastErrorString());
        return 1;
    }
    std::printf("%d\n", id);
    return 0;
}
