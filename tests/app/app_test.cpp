// The Printer Application against the filter: a printer of each driver
// offers what that model's PPD offers; the same settings from a PPD or from
// IPP attributes make the same label job block; pages cut to the label and
// dithered; the test label; which devices a printer may be on and what a
// login header carries; a printer's DNS-SD TXT record from its IPP
// attributes. (The server itself: server_test.sh, dnssd_test.sh.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/access.h"
#include "app/dnssd.h"
#include "app/driver.h"
#include "app/ipp_settings.h"
#include "app/label_page.h"
#include "app/testpage.h"
#include "settings/lines.h"
#include "tests/support.h"

namespace {

const std::string ppd_dir = ZARIDIRAVID_PPD_DIR;

// The label job block of a 100 x 50 mm label with these settings.
std::string block(const job_settings &job)
{
    return label_block({283, 142, 1}, job);
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

// A PPD size in points as the PWG size in hundredths of a millimetre.
std::string size(const float (&points)[2])
{
    const auto pwg = [](float length) { return std::to_string(std::lround(length * 2540 / 72)); };
    return std::string(" ").append(pwg(points[0])).append("x").append(pwg(points[1]));
}

// What the PPD offers of a setting, as IPP text gives it in the attribute's
// units: a number's range ("min-max") or values, a length's range (whole
// millimetres and tenths, either way with a direction), how many keywords.
std::string ppd_supported(ppd_file_t *ppd, const printer_setting &s)
{
    const ppd_option_t *o = ppdFindOption(ppd, s.ppd);
    const std::string first = o->choices[0].choice, last = o->choices[o->num_choices - 1].choice;
    const int max = std::atoi(last.c_str()) * 100 + 90;
    std::string values = first;
    for (int i = 1; i < o->num_choices; i++)
        values += std::string(",") + o->choices[i].choice;
    switch (s.kind) {
    case setting_kind::keywords:
        return std::to_string(o->num_choices);
    case setting_kind::on_off:
        return "true";
    case setting_kind::number:
        return s.values.empty() ? first + "-" + last : values;
    case setting_kind::length:
        break;
    }
    return std::to_string(s.sign ? -max : 0) + "-" + std::to_string(max);
}

// A printer of each of the 31 drivers against its model's PPD: a label size,
// custom size, default label, resolution or range that the app offers
// otherwise than the PPD. (What the defaults print: server_test.sh.)
TEST(Drivers, EachOffersWhatItsPpdOffers)
{
    app_setup app;
    list_drivers(app.drivers);
    pappl_system_t *system = papplSystemCreate(PAPPL_SOPTIONS_MULTI_QUEUE, "app_tests", 0, nullptr,
                                               scratch_file(".").c_str(), "/dev/null", PAPPL_LOGLEVEL_ERROR, nullptr,
                                               false);
    papplSystemSetPrinterDrivers(system, int(model_count), app.drivers.drivers, nullptr, zaridiravid_printer_created,
                                 zaridiravid_driver, &app);
    for (size_t m = 0; m < model_count; m++) {
        const char *driver = app.drivers.names[m];
        pappl_printer_t *printer = papplPrinterCreate(system, 0, driver, driver, "MFG:Ravi;", "socket://127.0.0.1:9");
        ppd_file_t *ppd = ppdOpenFile((ppd_dir + "/" + driver + ".ppd").c_str());
        ASSERT_TRUE(printer && ppd) << driver;
        pappl_pr_driver_data_t data;
        papplPrinterGetDriverData(printer, &data);
        ipp_t *attrs = papplPrinterGetDriverAttributes(printer);
        ppdMarkDefaults(ppd);

        // What each offers, as one text: model number and name, resolution
        // (1-bit black), sizes (custom ones last), default size; Heat's
        // levels, Speed's and the image shifts' ranges; the vendor attributes'
        // values.
        const std::string dpi = std::to_string(data.x_resolution[0]) + " " + std::to_string(data.y_default);
        std::string offers = std::to_string(model_table[m].number) + " " + data.make_and_model + ", <</HWResolution[" +
                             dpi + "]/cupsBitsPerColor 1/cupsRowCount 0/cupsRowFeed 0/cupsRowStep 0/cupsColorSpace 3>>"
                             "setpagedevice";
        std::string ppd_offers = std::to_string(ppd->model_number) + " " + ppd->nickname;
        ppd_offers.replace(ppd_offers.find(", zaridiravid "), std::string::npos, ", ");
        ppd_offers += ppdFindOption(ppd, "Resolution")->choices[0].code;
        for (int i = 0; i < data.num_media; i++) {
            const pwg_media_t *pwg = pwgMediaForPWG(data.media[i]);
            offers += size({pwg->width * 72 / 2540.0f, pwg->length * 72 / 2540.0f});
        }
        for (int i = 0; i < ppd->num_sizes; i++)
            if (std::strcmp(ppd->sizes[i].name, "Custom") != 0)
                ppd_offers += size({ppd->sizes[i].width, ppd->sizes[i].length});
        ppd_offers += size(ppd->custom_max) + size(ppd->custom_min);
        const pappl_media_col_t &label = data.media_default;
        offers += size({label.size_width * 72 / 2540.0f, label.size_length * 72 / 2540.0f});
        ppd_offers += size({ppdPageSize(ppd, nullptr)->width, ppdPageSize(ppd, nullptr)->length});
        const auto range = [](int min, int max) { return ", " + std::to_string(min) + "-" + std::to_string(max); };
        offers += range(0, data.darkness_supported - 1);
        offers += range(data.speed_supported[0] / 2540, data.speed_supported[1] / 2540);
        offers += range(data.left_offset_supported[0], data.left_offset_supported[1]);
        offers += range(data.top_offset_supported[0], data.top_offset_supported[1]);
        for (const char *option : {"Heat", "Speed", "PrnHeadOffsetXVK", "PrnHeadOffsetYVK"})
            ppd_offers += ", " + ppd_supported(ppd, setting(option));
        for (const printer_setting &s : printer_settings) {
            char text[1024] = "";
            ipp_attribute_t *a = s.ipp ? ippFindAttribute(attrs, (s.ipp + std::string("-supported")).c_str(),
                                                          IPP_TAG_ZERO) : nullptr;
            if (s.ipp && ippAttributeString(a, text, sizeof text))
                offers += ", " + (s.kind == setting_kind::keywords ? std::to_string(ippGetCount(a)) : text);
            ppd_offers += s.ipp ? ", " + ppd_supported(ppd, s) : "";
        }
        EXPECT_EQ(offers, ppd_offers) << driver;
        ppdClose(ppd);
        ippDelete(attrs);
    }
    papplSystemDelete(system);
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
         "label-mirror=yes is not supported, printed with false; print-method= is not supported, printed with "
         "thermal-transfer"},
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

// The test label at each resolution: the label's size in dots, a frame of
// 0.3 mm on its outermost dots with white just inside it on the sides
// without a ruler; nothing for a resolution or size beyond any printer's.
TEST(TestLabel, FrameOnTheEdgeAtEachResolution)
{
    const struct {
        unsigned dpi;
        int width, length;
        unsigned frame;
    } rows[] = {{200, 5000, 3000, 2}, {300, 10000, 5000, 4}, {600, 10400, 15000, 7}};
    for (const auto &r : rows) {
        const mono_bitmap b = draw_test_label({"Ravi 343/300", r.dpi, r.width, r.length, {"Darkness: 50 %"}});
        const unsigned w = label_dots(r.width, r.dpi), h = label_dots(r.length, r.dpi);
        ASSERT_EQ(b.width, w);
        ASSERT_EQ(b.height, h);
        const auto dot = [&](unsigned x, unsigned y) { return b.bits[y * ((w + 7) / 8) + x / 8] >> (7 - x % 8) & 1; };
        for (unsigned x = 0; x < w; x++)
            for (unsigned y = 0; y < r.frame; y++)
                ASSERT_TRUE(dot(x, y) && dot(x, h - 1 - y)) << r.dpi << " dpi, x " << x;
        for (unsigned y = 0; y < h; y++)
            for (unsigned x = 0; x < r.frame; x++)
                ASSERT_TRUE(dot(x, y) && dot(w - 1 - x, y)) << r.dpi << " dpi, y " << y;
        for (unsigned x = r.frame; x < w - r.frame; x++)
            ASSERT_FALSE(dot(x, h - 1 - r.frame)) << r.dpi << " dpi, x " << x;
        for (unsigned y = r.frame; y < h - r.frame; y++)
            ASSERT_FALSE(dot(w - 1 - r.frame, y)) << r.dpi << " dpi, y " << y;
    }
    EXPECT_EQ(draw_test_label({"", 1200, 10000, 5000, {}}).width, 0u);
    EXPECT_EQ(draw_test_label({"", 300, 10000, 0, {}}).width, 0u);
    EXPECT_EQ(draw_test_label({"", 300, 10000, 1, {}}).width, 0u);  // less than a dot
    EXPECT_EQ(draw_test_label({"", 300, 10000, 100001, {}}).width, 0u);
}

// A printer's device is a printer: socket, usb, dnssd and snmp URIs only,
// each well-formed, nothing smuggled past the scheme.
TEST(Access, DeviceUris)
{
    const std::string long_host(1024 - std::string("socket://").size(), 'a');
    const struct {
        std::string uri;
        const char *why;  // "" for a printer
    } table[] = {
        {"socket://192.0.2.10", ""},
        {"socket://printer.example:9100", ""},
        {"socket://[2001:db8::1]:9101/", ""},
        {"usb://Ravi/343?serial=A1%20B2", ""},
        {"dnssd://Shop%20Label._pdl-datastream._tcp.local./?uuid=1", ""},
        {"snmp://192.0.2.10:9100", ""},
        {"file:///etc/shadow", "Refused device of scheme file: only socket, usb, dnssd and snmp devices are printers."},
        {"FILE:///tmp/x", "Refused device of scheme FILE: only socket, usb, dnssd and snmp devices are printers."},
        {"ipp://host/ipp/print", "Refused device of scheme ipp: only socket, usb, dnssd and snmp devices are printers."},
        {"", "The device URI is empty."},
        {"socket", "The device URI has no scheme."},
        {"/dev/usb/lp0", "The device URI has no scheme."},
        {"socket:192.0.2.10", "The socket device URI has no host."},
        {"socket://", "The socket device URI has no host."},
        {"socket://:9100", "The socket device URI has no host."},
        {"usb:///dev/usb/lp0", "The usb device URI has no host."},
        {"socket://user@192.0.2.10", "The socket device URI has a user name."},
        {"socket://192.0.2.10:0", "The socket device URI has a bad port."},
        {"socket://192.0.2.10:65536", "The socket device URI has a bad port."},
        {"socket://192.0.2.10:99999999999999999999", "The socket device URI has a bad port."},
        {"socket://192.0.2.10:", "The socket device URI has a bad port."},
        {"socket://[::1", "The socket device URI has a bad IPv6 address."},
        {"socket://[::1]x", "The socket device URI has a bad port."},
        {"socket://host%2Fx", "The socket device URI has a bad host name."},
        {"socket://192.0.2.10/../../tmp", "A socket device URI is a host and port alone."},
        {"socket://192.0.2.10?file=/tmp/x", "A socket device URI is a host and port alone."},
        {"socket://" + long_host, "The device URI is longer than 1023 characters."},
        {"socket://" + long_host.substr(1), "The socket device URI has a bad host name."},
    };
    for (const auto &row : table)
        EXPECT_EQ(device_uri_problem(row.uri), row.why) << row.uri;
    const char *bad_bytes[] = {"socket://a b", "socket://a\nb", "socket://a\tb", "usb://a/\x7f", "usb://a/\xc3\xa9",
                               "usb://a/%0a", "usb://a/%7F", "usb://a/%4", "usb://a/%zz"};
    for (const char *uri : bad_bytes)
        EXPECT_EQ(device_uri_problem(uri), "The device URI has a space, a control character or a bad %-escape.") << uri;
    EXPECT_EQ(device_uri_problem(std::string("socket://a\0b", 12)),
              "The device URI has a space, a control character or a bad %-escape.");
}

// HTTP Basic credentials: the name and password, or nothing from a value
// that is no Basic login.
TEST(Access, BasicCredentials)
{
    const struct {
        const char *header, *user, *password;  // user nullptr: refused
    } table[] = {
        {"Basic YWRtaW46c2VjcmV0", "admin", "secret"},
        {"basic   YWRtaW46c2VjcmV0", "admin", "secret"},
        {"Basic YWRtaW46OnNlY3JldDo=", "admin", ":secret:"},  // admin::secret:
        {"Basic YWRtaW46", "admin", ""},
        {"Basic YTpi", "a", "b"},
        {"Basic YWRtaW4=", nullptr, nullptr},        // no colon
        {"Basic OnNlY3JldA==", nullptr, nullptr},    // no name
        {"Basic YQBiOmM=", nullptr, nullptr},        // NUL in the name
        {"Basic YQpiOmM=", nullptr, nullptr},        // newline in the name
        {"Basic YWRta W46", nullptr, nullptr},       // not base64
        {"Basic Y", nullptr, nullptr},               // cut short
        {"Bearer YWRtaW46c2VjcmV0", nullptr, nullptr},
        {"Basic", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const auto &row : table) {
        std::string user, password;
        const bool taken = basic_credentials(row.header, user, password);
        EXPECT_EQ(taken ? user + "|" + password : "refused",
                  row.user ? std::string(row.user) + "|" + row.password : "refused") << row.header;
    }
    std::string user, password;
    EXPECT_FALSE(basic_credentials("Basic " + std::string(5000, 'Q'), user, password));
}

}  // namespace

// The TXT record says what the attributes say, in the order clients read
// it; the driver's own format and octet-stream are no "pdl" a phone may
// send; https and TLS only with TLS; a list too long for one TXT string is
// cut at a whole value. And which listening addresses other machines reach.
TEST(Dnssd, TxtRecordFromTheAttributes)
{
    const char *formats[] = {"application/octet-stream", "image/pwg-raster", "image/urf",
                             "application/vnd.zaridiravid", "image/jpeg"};
    const char *kinds[] = {"label", "roll"}, *urf[] = {"V1.5", "W8", "RS300"};
    const char *sides[] = {"one-sided", "two-sided-long-edge"};
    ipp_t *attrs = ippNew();
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_URI, "printer-more-info", nullptr, "http://localhost:631/shop/");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_URI, "printer-uuid", nullptr, "urn:uuid:2c3572c4-ff9c");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-make-and-model", nullptr, "Ravi 343/300");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr, "Dock 7");
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_MIMETYPE, "document-format-supported", 5, nullptr, formats);
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-kind", 2, nullptr, kinds);
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "urf-supported", 3, nullptr, urf);
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "sides-supported", 2, nullptr, sides);
    ippAddBoolean(attrs, IPP_TAG_PRINTER, "color-supported", 0);
    const dnssd_printer shop = {"/ipp/print/shop", "shop", "application/vnd.zaridiravid", ""};
    std::vector<std::string> want = {"txtvers=1", "qtotal=1", "rp=ipp/print/shop", "ty=Ravi 343/300",
                                     "adminurl=http://zd.local:8000/shop/", "note=Dock 7",
                                     "pdl=image/pwg-raster,image/urf,image/jpeg", "kind=label,roll",
                                     "UUID=2c3572c4-ff9c", "URF=V1.5,W8,RS300", "Color=F", "Duplex=T"};
    EXPECT_EQ(dnssd_txt(attrs, shop, {"zd.local", 8000, false}), want);
    want[4] = "adminurl=https://zd.local:8000/shop/";
    want.push_back("TLS=1.2");
    EXPECT_EQ(dnssd_txt(attrs, shop, {"zd.local", 8000, true}), want);

    const std::string value(30, 'x');  // 8 fit in 251 bytes with commas, the 9th not
    std::vector<const char *> many(12, value.c_str());
    ippDeleteAttribute(attrs, ippFindAttribute(attrs, "urf-supported", IPP_TAG_KEYWORD));
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "urf-supported", 12, nullptr, many.data());
    EXPECT_EQ(dnssd_txt(attrs, shop, {"zd.local", 8000, false})[9].size(), 4 + 8 * 31 - 1);
    ippDelete(attrs);

    const struct {
        const char *listen;
        bool reaches;
    } hosts[] = {{nullptr, true},      {"*", true},          {"192.0.2.7", true}, {"labels.example", true},
                 {"localhost", false}, {"127.0.0.1", false}, {"::1", false},      {"/run/zd.sock", false}};
    for (const auto &h : hosts)
        EXPECT_EQ(reaches_network(h.listen), h.reaches) << (h.listen ? h.listen : "(every address)");
}
