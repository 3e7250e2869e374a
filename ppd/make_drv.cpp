// Writes the driver source that the PPD compiler (ppdc) turns into one PPD
// per model, from the model table and the catalog of label sizes and
// settings:
//   make_drv VERSION > zaridiravid.drv
// All models share the filter, the 1-bit black raster and the settings; they
// differ in model number, resolution, how wide a label they take and so
// which label sizes they offer.
#include <cstdio>
#include <string>

#include "settings/catalog.h"
#include "settings/models.h"

namespace {

// One choice line: the default marked with "*".
void choice(const char *keyword, const char *text, bool is_default)
{
    std::printf("      %sChoice \"%s/%s\" \"\"\n", is_default ? "*" : "", keyword, text);
}

// A PickOne option whose choices are the numbers `from` to `to`, each its own text.
void numbers(const std::string &keyword, const std::string &text, int from, int to, int def)
{
    std::printf("    Option \"%s/%s\" PickOne AnySetup 10\n", keyword.c_str(), text.c_str());
    for (int n = from; n <= to; n++)
        choice(std::to_string(n).c_str(), std::to_string(n).c_str(), n == def);
}

// A PickOne or Boolean option of the setting's choices.
void choices(const char *keyword, const std::string &text, const char *ui, std::span<const setting_choice> list,
             int def)
{
    std::printf("    Option \"%s/%s\" %s AnySetup 10\n", keyword, text.c_str(), ui);
    for (size_t i = 0; i < list.size(); i++)
        choice(list[i].ppd, list[i].text, int(i) == def);
}

// The PPD options of one setting.
void options(const printer_setting &s)
{
    const std::string text = s.text;
    switch (s.kind) {
    case setting_kind::keywords:
        choices(s.ppd, text, "PickOne", s.choices, s.def);
        break;
    case setting_kind::on_off:
        choices(s.ppd, text, "Boolean", s.choices, s.def);
        break;
    case setting_kind::number:
        if (s.values.empty()) {
            numbers(s.ppd, text, s.min, s.max, s.def);
            break;
        }
        std::printf("    Option \"%s/%s\" PickOne AnySetup 10\n", s.ppd, s.text);
        for (int v : s.values)
            choice(std::to_string(v).c_str(), std::to_string(v).c_str(), v == s.def);
        break;
    case setting_kind::length:
        if (s.sign)
            choices(s.sign, text + ", Direction", "PickOne", s.choices, s.def < 0);
        numbers(s.ppd, text + ", mm", 0, s.max / 10, (s.def < 0 ? -s.def : s.def) / 10);
        numbers(s.tenths, text + ", tenths of mm", 0, 9, (s.def < 0 ? -s.def : s.def) % 10);
        break;
    }
}

}  // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: make_drv VERSION > zaridiravid.drv\n", stderr);
        return 1;
    }
    const char *version = argv[1];
    std::puts("// Driver information for the Ravi thermal label printers, made by make_drv\n"
              "// from the model table and the catalog of sizes and settings.");
    for (const label_size &size : label_sizes)
        std::printf("#media \"%s/%s\" %s %s\n", size.ppd, size.text, size.width, size.length);
    std::printf("{\n  Manufacturer \"Ravi\"\n  Version \"%s\"\n  DriverType custom\n"
                "  Filter application/vnd.cups-raster 100 zaridiravid\n  ColorDevice no\n"
                "  // The printer prints each label as often as the label job asks, so CUPS\n"
                "  // hands the copy count down instead of repeating the pages.\n  ManualCopies no\n"
                "  // Labels are printed to the edge; any length up to a metre.\n"
                "  HWMargins 0 0 0 0\n  VariablePaperSize yes\n  MinSize %dmm %dmm\n",
                version, min_custom_width, min_custom_length);
    const char *group = "";
    for (const printer_setting &s : printer_settings) {
        if (std::string(group) != s.group)
            std::printf("  Group \"%s\"\n", group = s.group);
        options(s);
    }
    std::puts("  // A label goes one way out of the printer: cut, peeled off or torn off.\n"
              "  UIConstraints \"*Cutter True *PeelOff True\"\n"
              "  UIConstraints \"*Cutter True *TearOffMode True\"\n"
              "  UIConstraints \"*PeelOff True *TearOffMode True\"");
    for (const printer_model &model : model_table) {
        const std::string name(model.name, std::string(model.name).find('/'));
        std::printf("  {\n    ModelName \"%s\" Attribute NickName \"\" \"%s, zaridiravid %s\"\n"
                    "    ModelNumber %d PCFileName \"ravi%d.ppd\" MaxSize %.1fmm %dmm *Resolution k 1 0 0 0 %ddpi\n",
                    name.c_str(), model.name, version, model.number, model.number, model.printwidth,
                    max_custom_length, model.dpi);
        for (const label_size &size : label_sizes)
            if (size.narrowest <= model.printwidth)
                std::printf("    %sMediaSize %s\n", &size == &default_label(model) ? "*" : "", size.ppd);
        std::puts("  }");
    }
    std::puts("}");
    return 0;
}
