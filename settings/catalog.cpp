// What the printers offer.
//
// How the filter reads the PPD's options (settings/options.cpp):
//  - on/off settings by keyword: True is on, anything else off;
//  - keyword settings by keyword;
//  - numbers by the choice's text, so each number choice carries its value
//    as its text; lengths as the whole millimetres' text, ".", the tenths'
//    text; a direction by its text, the sign put in front ("+" or "-": never
//    empty, as libcups gives a choice without a text its keyword as text).
// Texts the filter copies into fixed fields must stay short: Heat and Speed
// 3 characters, the cutter interval 4, the cutter offset with its sign 10
// and the peel-off displacement with its sign 7.
#include "settings/catalog.h"

#include <cstring>

namespace {

const label_size sizes[] = {
    // PPD name                   text                  width    length   PWG name                      narrowest
    {"25x38mmRotated.Fullbleed",  "38 x 25 mm",         "38mm",  "25mm",  "om_38x25-label_38x25mm",     0},
    {"25x50mmRotated.Fullbleed",  "50 x 25 mm",         "50mm",  "25mm",  "om_50x25-label_50x25mm",     0},
    {"30x50mmRotated.Fullbleed",  "50 x 30 mm",         "50mm",  "30mm",  "om_50x30-label_50x30mm",     0},
    {"50x50mm.Fullbleed",         "50 x 50 mm",         "50mm",  "50mm",  "om_50x50-label_50x50mm",     0},
    {"1x2Rotated.Fullbleed",      "2 x 1 in",           "2in",   "1in",   "oe_2x1-label_2x1in",         0},
    {"2x2.Fullbleed",             "2 x 2 in",           "2in",   "2in",   "oe_2x2-label_2x2in",         0},
    {"32x57mmRotated.Fullbleed",  "57 x 32 mm",         "57mm",  "32mm",  "om_57x32-label_57x32mm",     104},
    {"40x60mmRotated.Fullbleed",  "60 x 40 mm",         "60mm",  "40mm",  "om_60x40-label_60x40mm",     104},
    {"50x80mmRotated.Fullbleed",  "80 x 50 mm",         "80mm",  "50mm",  "om_80x50-label_80x50mm",     104},
    {"50x100mmRotated.Fullbleed", "100 x 50 mm",        "100mm", "50mm",  "om_100x50-label_100x50mm",   104},
    {"70x100mmRotated.Fullbleed", "100 x 70 mm",        "100mm", "70mm",  "om_100x70-label_100x70mm",   104},
    {"100x100mm.Fullbleed",       "100 x 100 mm",       "100mm", "100mm", "om_100x100-label_100x100mm", 104},
    {"100x150mm.Fullbleed",       "100 x 150 mm",       "100mm", "150mm", "om_100x150-label_100x150mm", 104},
    {"100x200mm.Fullbleed",       "100 x 200 mm",       "100mm", "200mm", "om_100x200-label_100x200mm", 104},
    {"1x3Rotated.Fullbleed",      "3 x 1 in",           "3in",   "1in",   "oe_3x1-label_3x1in",         104},
    {"2x3Rotated.Fullbleed",      "3 x 2 in",           "3in",   "2in",   "oe_3x2-label_3x2in",         104},
    {"1x4Rotated.Fullbleed",      "4 x 1 in",           "4in",   "1in",   "oe_4x1-label_4x1in",         104},
    {"2x4Rotated.Fullbleed",      "4 x 2 in",           "4in",   "2in",   "oe_4x2-label_4x2in",         104},
    {"3x4Rotated.Fullbleed",      "4 x 3 in",           "4in",   "3in",   "oe_4x3-label_4x3in",         104},
    {"4x4.Fullbleed",             "4 x 4 in",           "4in",   "4in",   "oe_4x4-label_4x4in",         104},
    {"4x6.Fullbleed",             "4 x 6 in",           "4in",   "6in",   "na_index-4x6_4x6in",         104},
    {"4x8.Fullbleed",             "4 x 8 in",           "4in",   "8in",   "oe_4x8-label_4x8in",         104},
    {"A5.Fullbleed",              "A5 (148 x 210 mm)",  "148mm", "210mm", "iso_a5_148x210mm",           162},
    {"150x150mm.Fullbleed",       "150 x 150 mm",       "150mm", "150mm", "om_150x150-label_150x150mm", 162},
    {"4x6Rotated.Fullbleed",      "6 x 4 in",           "6in",   "4in",   "oe_6x4-label_6x4in",         162},
    {"6x6.Fullbleed",             "6 x 6 in",           "6in",   "6in",   "oe_6x6-label_6x6in",         162},
    {"A4.Fullbleed",              "A4 (210 x 297 mm)",  "210mm", "297mm", "iso_a4_210x297mm",           216},
    {"4x8Rotated.Fullbleed",      "8 x 4 in",           "8in",   "4in",   "oe_8x4-label_8x4in",         216},
    {"6x8Rotated.Fullbleed",      "8 x 6 in",           "8in",   "6in",   "oe_8x6-label_8x6in",         216},
};

const setting_choice off_on[] = {{"False", "Off", "false"}, {"True", "On", "true"}};
const setting_choice plus_minus[] = {{"Plus", "+", nullptr}, {"Minus", "-", nullptr}};
const setting_choice sensors[] = {{"LSD", "Gap between labels (transmissive)", nullptr},
                                  {"LSR", "Black mark (reflective)", nullptr},
                                  {"LSE", "Continuous media (no sensor)", nullptr}};
const setting_choice backfeeds[] = {{"BFA", "Always", "always"}, {"BFS", "Smart (only when needed)", "when-needed"}};
const setting_choice methods[] = {{"True", "Thermal transfer (ribbon)", "thermal-transfer"},
                                  {"False", "Direct thermal (no ribbon)", "direct-thermal"}};
const setting_choice cutter_modes[] = {{"CMOD1I", "After a number of labels", nullptr},
                                       {"CMOD2E", "At the end of the job", nullptr}};
const setting_choice peel_directions[] = {{"PODIRP", "+", nullptr}, {"PODIRM", "-", nullptr}};
const int intervals[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 25, 30, 40, 50, 100};

using enum setting_kind;
const printer_setting settings[] = {
    // group, kind, PPD keyword, text, choices, min, max, default, values, tenths, direction, IPP attribute
    {"Label/Label", keywords, "LabelSensor", "Label Sensor", sensors, 0, 0, 0, {}, nullptr, nullptr, nullptr},
    {"Label/Label", length, "LabelGapVK", "Gap Between Labels", {}, 0, 209, 30, {}, "LabelGapNK", nullptr,
     "label-gap"},
    {"Label/Label", on_off, "LabelMirrored", "Mirror Image", off_on, 0, 0, 0, {}, nullptr, nullptr, "label-mirror"},
    {"Label/Label", on_off, "LabelRotate", "Rotate Image", off_on, 0, 0, 0, {}, nullptr, nullptr, "label-rotate"},
    {"Label/Label", on_off, "TearOffMode", "Tear-Off Mode", off_on, 0, 0, 0, {}, nullptr, nullptr, nullptr},
    {"Label/Label", keywords, "BackFeed", "Back-Feed", backfeeds, 0, 0, 0, {}, nullptr, nullptr, "backfeed"},
    {"PrintQuality/Print Quality", number, "Heat", "Heat (Darkness)", {}, 0, 20, 10, {}, nullptr, nullptr, nullptr},
    {"PrintQuality/Print Quality", number, "Speed", "Print Speed", {}, 1, 12, 4, {}, nullptr, nullptr, nullptr},
    {"PrintQuality/Print Quality", keywords, "PrintMethod", "Print Method", methods, 0, 0, 0, {}, nullptr, nullptr,
     "print-method"},
    {"Cutter/Cutter", on_off, "Cutter", "Cut Labels", off_on, 0, 0, 0, {}, nullptr, nullptr, nullptr},
    {"Cutter/Cutter", keywords, "cCutterMode", "Cutting", cutter_modes, 0, 0, 0, {}, nullptr, nullptr, nullptr},
    {"Cutter/Cutter", number, "cCutterInterval", "Cut After Every N Labels", {}, 1, 100, 1, intervals, nullptr,
     nullptr, "cutter-interval"},
    {"Cutter/Cutter", length, "cCutterOffset1VK", "Cut Position Offset", plus_minus, -209, 209, 0, {},
     "cCutterOffset1NK", "cCutterOffset1Dir", "cutter-offset"},
    {"PeelOff/Peel-Off", on_off, "PeelOff", "Peel Off Labels", off_on, 0, 0, 0, {}, nullptr, nullptr, nullptr},
    {"PeelOff/Peel-Off", length, "cPeelOffVKVersatz", "Peel-Off Position", peel_directions, -209, 209, 0, {},
     "cPeelOffNKVersatz", "cPeelOffDir", "peel-off-offset"},
    {"Adjustments/Adjustments", length, "PrnHeadOffsetXVK", "Image Shift Across", {}, 0, 209, 0, {},
     "PrnHeadOffsetXNK", nullptr, nullptr},
    {"Adjustments/Adjustments", length, "PrnHeadOffsetYVK", "Image Shift Along", plus_minus, -309, 309, 0, {},
     "PrnHeadOffsetYNK", "PrnHeadOffsetYDir", nullptr},
};

}  // namespace

const std::span<const label_size> label_sizes = sizes;
const std::span<const printer_setting> printer_settings = settings;

const label_size &default_label(const printer_model &model)
{
    return sizes[model.printwidth < 104 ? 2 : 9];
}

const printer_setting &setting(const char *ppd)
{
    for (const printer_setting &s : settings)
        if (std::strcmp(s.ppd, ppd) == 0)
            return s;
    return settings[0];  // not reached: every caller names a setting of the table
}
