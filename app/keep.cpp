// The printer settings PAPPL 1.3.1 loses across a restart, kept beside its
// state file (see keep.h).
#include "app/keep.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

std::string kept_line(const kept_settings &k)
{
    char line[160];
    std::snprintf(line, sizeof line, "%d %d %d %d %d %d %d %d", k.printer_id, k.darkness_configured,
                  k.darkness_default, k.speed_default, k.default_top, k.default_left, k.ready_top, k.ready_left);
    return line;
}

bool parse_kept_line(const std::string &line, kept_settings &k)
{
    char rest = 0;
    return std::sscanf(line.c_str(), "%d %d %d %d %d %d %d %d %c", &k.printer_id, &k.darkness_configured,
                       &k.darkness_default, &k.speed_default, &k.default_top, &k.default_left, &k.ready_top,
                       &k.ready_left, &rest) == 8 &&
           k.printer_id > 0;
}

namespace {

std::string keep_file(const std::string &state_file)
{
    return state_file + ".settings";
}

// Adds one printer's settings to the list (papplSystemIteratePrinters).
void gather(pappl_printer_t *printer, void *data)
{
    pappl_pr_driver_data_t d;
    if (!papplPrinterGetDriverData(printer, &d))
        return;
    static_cast<std::vector<kept_settings> *>(data)->push_back(
        {papplPrinterGetID(printer), d.darkness_configured, d.darkness_default, d.speed_default,
         d.media_default.top_offset, d.media_default.left_offset, d.media_ready[0].top_offset,
         d.media_ready[0].left_offset});
}

}  // namespace

bool keep_save(pappl_system_t *system, const std::string &state_file)
{
    std::vector<kept_settings> all;
    papplSystemIteratePrinters(system, gather, &all);
    const std::string path = keep_file(state_file), temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << "# printer-id darkness-configured print-darkness-default print-speed-default"
               " default-top-offset default-left-offset ready-top-offset ready-left-offset\n";
        for (const kept_settings &k : all)
            out << kept_line(k) << '\n';
        if (!out.flush())
            return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

void keep_load(pappl_system_t *system, const std::string &state_file)
{
    std::ifstream in(keep_file(state_file));
    std::string line;
    kept_settings k;
    while (std::getline(in, line)) {
        pappl_printer_t *printer =
            parse_kept_line(line, k) ? papplSystemFindPrinter(system, nullptr, k.printer_id, nullptr) : nullptr;
        pappl_pr_driver_data_t d;
        if (!printer || !papplPrinterGetDriverData(printer, &d))
            continue;
        d.darkness_configured = k.darkness_configured;
        d.darkness_default = k.darkness_default;
        d.speed_default = k.speed_default;
        d.media_default.top_offset = k.default_top;
        d.media_default.left_offset = k.default_left;
        d.media_ready[0].top_offset = k.ready_top;
        d.media_ready[0].left_offset = k.ready_left;
        if (!papplPrinterSetDriverDefaults(printer, &d, 0, nullptr) ||
            !papplPrinterSetReadyMedia(printer, d.num_source, d.media_ready))
            papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Kept settings refused: %s", line.c_str());
        report_speed(printer);
    }
}

void report_speed(pappl_printer_t *printer)
{
    pappl_pr_driver_data_t d;
    if (!papplPrinterGetDriverData(printer, &d) || d.num_vendor >= PAPPL_MAX_VENDOR)
        return;
    ipp_t *attrs = papplPrinterGetDriverAttributes(printer);
    ipp_attribute_t *reported = ippFindAttribute(attrs, "print-speed-default", IPP_TAG_INTEGER);
    const bool same = reported && ippGetInteger(reported, 0) == d.speed_default;
    ippDelete(attrs);
    if (same)
        return;
    // papplPrinterSetDriverDefaults writes "NAME-default" into the printer's
    // attributes for each vendor NAME it is given a value of: print-speed
    // is named as one for this call only.
    d.vendor[d.num_vendor++] = "print-speed";
    cups_option_t speed = {const_cast<char *>("print-speed"), nullptr};
    const std::string value = std::to_string(d.speed_default);
    speed.value = const_cast<char *>(value.c_str());
    papplPrinterSetDriverDefaults(printer, &d, 1, &speed);
}
