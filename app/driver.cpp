// The label printers' language for PAPPL: a page's raster lines gathered into
// the label's bitmap, sent as an IMG image download and a label job block,
// byte for byte what the CUPS filter sends for the same page and settings.
#include "app/driver.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/ipp_settings.h"
#include "app/label_page.h"
#include "app/testpage.h"
#include "app/web.h"
#include "label/output.h"

namespace {

// Writes to the printer through a C stream, so the encoder and the label job
// block write to the printer as they write to the filter's standard output.
ssize_t device_write(void *device, const char *buffer, size_t size)
{
    // PAPPL sends writes of 8 KiB or more around its buffer: keep them smaller.
    size_t done = 0;
    while (done < size) {
        size_t n = std::min<size_t>(size - done, 4096);
        if (papplDeviceWrite(static_cast<pappl_device_t *>(device), buffer + done, n) < 0)
            return done ? static_cast<ssize_t>(done) : -1;
        done += n;
    }
    return static_cast<ssize_t>(done);
}

// The white of a grey PNG of fewer than 8 bits a sample: PAPPL unpacks such an
// image to bytes of 0 to 2^bits - 1 and hands them on as if 255 were white.
unsigned png_grey_max(pappl_job_t *job)
{
    const char *format = papplJobGetFormat(job), *path = papplJobGetFilename(job);
    unsigned char head[26] = {};
    FILE *f = format && path && std::strcmp(format, "image/png") == 0 ? std::fopen(path, "rb") : nullptr;
    const bool read = f && std::fread(head, 1, sizeof head, f) == sizeof head;
    if (f)
        std::fclose(f);
    // The IHDR chunk: bit depth at byte 24, colour type at 25 (0 = grey).
    if (!read || std::memcmp(head + 12, "IHDR", 4) != 0 || head[25] != 0 || head[24] >= 8 || head[24] == 0)
        return 255;
    return (1u << head[24]) - 1;
}

struct file_closer {
    void operator()(FILE *f) const { std::fclose(f); }
};

// One printer's own state: its model, and the lock that lets one job at a
// time talk to the printer. PAPPL 1.3 may start two PWG raster jobs for one
// printer at once (two clients' requests that arrive together); their bytes
// would mix on the one connection to the printer, so the second waits for
// the first to end.
struct label_printer {
    const printer_model *model;
    std::mutex printing;
    job_activity *jobs;  // the server's
    // The model's largest and smallest custom label, PWG names: PAPPL keeps
    // the driver data's pointers to media names, not copies.
    char custom_max[64];
    char custom_min[64];
    int last_started = 0, refused = 0;  // job ids, under `printing` (see second_start)
};

long long steady_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Counts a job as printing for as long as it lives.
struct printing_job {
    job_activity *jobs;
    explicit printing_job(job_activity &j) : jobs(&j) { ++jobs->printing; }
    ~printing_job()
    {
        jobs->last_end_ms = steady_ms();
        --jobs->printing;
    }
    printing_job(const printing_job &) = delete;
    printing_job &operator=(const printing_job &) = delete;
};

// One job being printed.
struct label_job {
    explicit label_job(job_activity &jobs) : counted(jobs) {}
    printing_job counted;
    std::unique_lock<std::mutex> printer;  // held from the job's start to its end
    job_settings settings{};
    int dpi = 0;
    bool one_copy_image = false;  // PAPPL repeats an image for each copy
    unsigned pages_started = 0;
    bool skip_page = false;       // a repeat of the image the A line already copies
    unsigned rows = 0;            // the rows of the page PAPPL handed over
    label_page page{};
    std::unique_ptr<FILE, file_closer> out;
};

label_job *job_data(pappl_job_t *job)
{
    return static_cast<label_job *>(papplJobGetData(job));
}

// Ends a job that can't be printed, saying why.
bool refuse(pappl_job_t *job, const std::string &why)
{
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
    papplJobSetMessage(job, "%s", why.c_str());
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
    return false;
}

// The printer's defaults of the driver's vendor attributes, as text.
struct vendor_defaults {
    int count = 0;
    cups_option_t *options = nullptr;
    ~vendor_defaults() { cupsFreeOptions(count, options); }
};

void gather_defaults(pappl_printer_t *printer, vendor_defaults &values)
{
    ipp_t *attrs = papplPrinterGetDriverAttributes(printer);
    for (const printer_setting &s : printer_settings) {
        const std::string name = s.ipp ? std::string(s.ipp) + "-default" : "";
        char text[256];
        if (ipp_attribute_t *a = attrs && s.ipp ? ippFindAttribute(attrs, name.c_str(), IPP_TAG_ZERO) : nullptr) {
            ippAttributeString(a, text, sizeof text);
            values.count = cupsAddOption(s.ipp, text, values.count, &values.options);
        }
    }
    ippDelete(attrs);
}

// Adds the id of an active job (papplPrinterIterateActiveJobs); PAPPL holds
// the printer's lock, so the job's own lock is not taken here.
void add_job_id(pappl_job_t *job, void *ids)
{
    static_cast<std::vector<int> *>(ids)->push_back(papplJobGetID(job));
}

// The printer, once the job's turn has come: PAPPL 1.3.1 can have a raster
// job that arrives and a spooled job (or the same job started twice, see
// second_start) printing at once, and they print in the order it accepted
// them: a job waits while an earlier one is printing (or, for up to a
// second, about to).
std::unique_lock<std::mutex> wait_turn(pappl_job_t *job, label_printer &own)
{
    pappl_printer_t *printer = papplJobGetPrinter(job);
    const long long start = steady_ms();
    for (;;) {
        std::vector<int> ids;
        papplPrinterIterateActiveJobs(printer, add_job_id, &ids, 1, 100000);
        bool earlier = false;
        for (int id : ids) {
            pappl_job_t *other = id < papplJobGetID(job) ? papplPrinterFindJob(printer, id) : nullptr;
            const ipp_jstate_t state = other ? papplJobGetState(other) : IPP_JSTATE_COMPLETED;
            earlier |= state == IPP_JSTATE_PROCESSING || (state == IPP_JSTATE_PENDING && steady_ms() - start < 1000);
        }
        if (!earlier)
            return std::unique_lock<std::mutex>(own.printing);
        usleep(5000);
    }
}

// Starts a job: its settings from the job's and the printer's attributes.
bool start_job(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device)
{
    pappl_printer_t *printer = papplJobGetPrinter(job);
    pappl_pr_driver_data_t driver;
    papplPrinterGetDriverData(printer, &driver);
    label_printer &own = *static_cast<label_printer *>(driver.extension);
    const printer_model &model = *own.model;

    auto data = std::make_unique<label_job>(*own.jobs);
    data->printer = wait_turn(job, own);
    own.last_started = papplJobGetID(job);
    if (own.refused == own.last_started)
        return refuse(job, "PAPPL started this job twice (as it arrived and as a spooled job): not printed.");
    data->settings.modelnumber = model.number;
    data->settings.printwidth = model.printwidth;
    data->dpi = model.dpi;

    // The job's values; the printer's defaults stand in for those the
    // printer can't take, and the job's message says so.
    vendor_defaults defaults;
    gather_defaults(printer, defaults);
    ipp_label_values in = {options->darkness_configured, options->print_darkness, options->print_speed,
                           options->media.tracking, options->media.top_offset, options->media.left_offset,
                           driver.mode_configured, options->num_vendor, options->vendor};
    in.num_vendor_defaults = defaults.count;
    in.vendor_defaults = defaults.options;
    in.default_top_offset = driver.media_default.top_offset;
    in.default_left_offset = driver.media_default.left_offset;
    if (const std::string replaced = settings_from_ipp(in, data->settings); !replaced.empty()) {
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", replaced.c_str());
        papplJobSetMessage(job, "%s", replaced.c_str());
    }

    const char *format = papplJobGetFormat(job);
    data->one_copy_image = format && std::strcmp(format, "image/pwg-raster") && std::strcmp(format, "image/urf");
    data->page.grey_max = png_grey_max(job);

    static const cookie_io_functions_t io = {nullptr, device_write, nullptr, nullptr};
    data->out.reset(fopencookie(device, "w", io));
    if (!data->out)
        return refuse(job, "Unable to write to the printer.");
    papplJobSetData(job, data.release());
    return true;
}

// Whether PAPPL handed over its own 8-bit page description for a PWG raster
// page: it does so for a 1-bit page, whose rows then arrive as 1-bit rows.
bool header_is_pappls_own(pappl_job_t *job, const pappl_pr_options_t *options)
{
    const char *format = papplJobGetFormat(job);
    if (!format || std::strcmp(format, "image/pwg-raster") != 0)
        return false;
    pappl_pr_options_t *own = papplJobCreatePrintOptions(job, unsigned(papplJobGetImpressions(job)), false);
    if (!own)
        return false;
    const bool same = std::memcmp(&own->header, &options->header, sizeof own->header) == 0;
    papplJobDeletePrintOptions(own);
    return same;
}

// Starts a page: its bitmap, the page cut to the label.
bool start_page(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned)
{
    label_job *data = job_data(job);
    data->pages_started++;
    data->skip_page = data->one_copy_image && data->pages_started > 1;
    data->rows = 0;
    if (data->skip_page)
        return true;

    cups_page_header2_t header = options->header;
    if (header_is_pappls_own(job, options)) {
        // A 1-bit page: its rows come padded to PAPPL's 8-bit row with
        // blank (0) bytes, the label's width and length.
        options->header.cupsColorSpace = CUPS_CSPACE_K;
        header.cupsBitsPerColor = header.cupsBitsPerPixel = 1;
        header.cupsColorSpace = CUPS_CSPACE_K;
        header.cupsBytesPerLine = (header.cupsWidth + 7) / 8;
    }
    const std::string why =
        start_label_page(data->page, header, options->media.size_width, options->media.size_length, data->dpi);
    if (!why.empty())
        return refuse(job, "Page " + std::to_string(data->pages_started) + " refused: " + why);
    if (data->page.cut)
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Page %u (%ux%u dots) cut to the label (%ux%u dots)",
                    data->pages_started, header.cupsWidth, header.cupsHeight, data->page.width, data->page.height);
    return true;
}

// Takes one raster row into the page's bitmap.
bool write_line(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned y,
                const unsigned char *line)
{
    label_job *data = job_data(job);
    data->rows++;
    if (!data->skip_page)
        put_label_row(data->page, y, line, options->dither);
    return true;
}

// One page's journey to the printer: the bitmap as an IMG image download,
// then the label job block that prints it as often as the job asks.
//
// A page cut short prints nothing: one cancelled before its end (PAPPL stops
// reading it and pads it with blank rows), or one whose client hung up
// before its last row (PAPPL 1.3.1's _papplJobProcessRaster then skips the
// rows it could not read, hands the page on and would call the job
// completed: only the count of rows the driver got shows it).
bool end_page(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned page)
{
    label_job *data = job_data(job);
    if (data->skip_page)
        return true;
    if (papplJobIsCanceled(job) || data->rows < options->header.cupsHeight) {
        data->page.bitmap = {};
        return papplJobIsCanceled(job) ||
               refuse(job, "The client hung up after " + std::to_string(data->rows) + " of the " +
                               std::to_string(options->header.cupsHeight) + " rows of page " + std::to_string(page) +
                               ": no label printed.");
    }
    FILE *out = data->out.get();

    // The label as the PPD's page size gives it, in whole points.
    const label_format label = {uint32_t(std::lround(options->media.size_width * 72.0 / 2540.0)),
                                uint32_t(std::lround(options->media.size_length * 72.0 / 2540.0)),
                                unsigned(std::max(options->copies, 1))};
    // Cancelled while the image went out: the printer reads the whole image
    // and its end, and gets no label job block.
    const bool block_sent = write_label_page(out, label_bitmap(data->page), label, data->settings,
                                             [job] { return !papplJobIsCanceled(job); });
    data->page.bitmap = {};
    if (!block_sent)
        return std::fflush(out) == 0 || refuse(job, "Unable to write to the printer.");

    if (std::fflush(out) != 0 || std::ferror(out))
        return refuse(job, "Unable to write to the printer.");
    papplDeviceFlush(device);
    return true;
}

// Ends a job: everything sent, the job's data freed.
bool end_job(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device)
{
    std::unique_ptr<label_job> data(job_data(job));
    papplJobSetData(job, nullptr);
    const bool written = data && data->out && std::fflush(data->out.get()) == 0 && !std::ferror(data->out.get());
    papplDeviceFlush(device);
    return written;
}

// PAPPL 1.3.1 starts a PWG or Apple raster job it prints as it arrives a
// second time, as a spooled job with no file, when the job is pending as
// another job ends (_papplPrinterCheckJobs starts it). PAPPL's own taking of
// the document marks it pending before printing it; the app's
// (pappl_fixes.cpp) keeps it held, so this should no longer happen. Should
// it, the start comes here, the filter for those formats. It waits until
// the job is printed, or, when its printing has not begun, has it refused
// (start_job), so that it ends aborted and prints nothing.
bool second_start(pappl_job_t *job, pappl_device_t *, void *)
{
    if (const char *file = papplJobGetFilename(job); file && *file)
        return refuse(job, "Spooled raster files are not printed: send the raster as the job's request.");
    pappl_pr_driver_data_t driver;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &driver);
    label_printer &own = *static_cast<label_printer *>(driver.extension);
    std::lock_guard<std::mutex> printing(own.printing);
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Started twice by PAPPL.");
    if (own.last_started == papplJobGetID(job))
        return true;
    own.refused = papplJobGetID(job);
    return refuse(job, "PAPPL started this job twice (as it arrived and as a spooled job): not printed.");
}

// Printer language files are not taken from the network: only pages.
bool refuse_raw(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *)
{
    return refuse(job, "Printer command files are not accepted; send PWG raster, Apple raster, PNG or JPEG.");
}

// Frees a deleted printer's own state.
void printer_deleted(pappl_printer_t *, pappl_pr_driver_data_t *data)
{
    delete static_cast<label_printer *>(data->extension);
    data->extension = nullptr;
}

// The printers answer no status queries: a printer that takes the
// connection is ready.
bool printer_status(pappl_printer_t *)
{
    return true;
}

// The driver's own printer attributes: the vendor attributes' supported
// values and defaults, and what IPP Everywhere clients look for.
ipp_t *driver_attributes()
{
    ipp_t *attrs = ippNew();
    for (const printer_setting &s : printer_settings) {
        if (!s.ipp)
            continue;
        const std::string supported = std::string(s.ipp) + "-supported", fallback = std::string(s.ipp) + "-default";
        const int unit = s.kind == setting_kind::length ? 10 : 1;  // lengths in hundredths of a millimetre
        switch (s.kind) {
        case setting_kind::keywords: {
            std::vector<const char *> words;
            for (const setting_choice &c : s.choices)
                words.push_back(c.ipp);
            ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(), int(words.size()), nullptr,
                          words.data());
            ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, fallback.c_str(), nullptr,
                         s.choices[size_t(s.def)].ipp);
            break;
        }
        case setting_kind::on_off:
            ippAddBoolean(attrs, IPP_TAG_PRINTER, supported.c_str(), 1);
            ippAddBoolean(attrs, IPP_TAG_PRINTER, fallback.c_str(), s.def != 0);
            break;
        case setting_kind::number:
        case setting_kind::length:
            if (!s.values.empty())
                ippAddIntegers(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, supported.c_str(), int(s.values.size()),
                               s.values.data());
            else
                ippAddRange(attrs, IPP_TAG_PRINTER, supported.c_str(), s.min * unit, s.max * unit);
            ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, fallback.c_str(), s.def * unit);
            break;
        }
    }
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    return attrs;
}

// The page printer-supply-info-uri names. PAPPL 1.3.1 gives every printer
// that URI (its _papplPrinterCopyAttributes adds it whatever the driver
// says) but makes the page only for a driver with has_supplies: without this
// one, a client that follows the URI finds nothing.
bool supplies_page(pappl_client_t *client, void *data)
{
    papplClientHTMLPrinterHeader(client, static_cast<pappl_printer_t *>(data), "Supplies", 0, nullptr, nullptr);
    papplClientHTMLPuts(client, "<p>This printer reports no supplies: it answers no status queries, so how much "
                                "ribbon and how many labels it has left can't be known here.</p>\n");
    papplClientHTMLPrinterFooter(client);
    return true;
}

}  // namespace

bool printers_quiet(const job_activity &jobs)
{
    return jobs.printing == 0 && steady_ms() - jobs.last_end_ms >= 100;
}

void list_drivers(driver_list &list)
{
    for (size_t i = 0; i < model_count; i++) {
        std::snprintf(list.names[i], sizeof list.names[i], "ravi%d", model_table[i].number);
        list.drivers[i] = {list.names[i], model_table[i].name, nullptr, nullptr};
    }
}

bool zaridiravid_driver(pappl_system_t *system, const char *driver_name, const char *device_uri, const char *,
                        pappl_pr_driver_data_t *data, ipp_t **attrs, void *cbdata)
{
    if (!device_allowed(system, device_uri))
        return false;
    app_setup &setup = *static_cast<app_setup *>(cbdata);
    const printer_model *model = nullptr;
    for (size_t i = 0; i < model_count; i++)
        if (std::strcmp(driver_name, setup.drivers.names[i]) == 0)
            model = &model_table[i];
    if (!model)
        return false;
    const int dpi = model->dpi;

    label_printer *own = new label_printer{model, {}, &setup.jobs, {}, {}};
    data->extension = own;
    data->delete_cb = printer_deleted;
    data->rstartjob_cb = start_job;
    data->rstartpage_cb = start_page;
    data->rwriteline_cb = write_line;
    data->rendpage_cb = end_page;
    data->rendjob_cb = end_job;
    data->printfile_cb = refuse_raw;
    data->status_cb = printer_status;
    data->testpage_cb = test_label_file;
    data->format = "application/vnd.zaridiravid";

    std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s", model->name);
    data->ppm = 60;
    data->kind = pappl_kind_t(PAPPL_KIND_LABEL | PAPPL_KIND_ROLL);
    data->orient_default = IPP_ORIENT_PORTRAIT;
    data->color_supported = pappl_color_mode_t(PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME);
    data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    data->raster_types = pappl_raster_type_t(PAPPL_PWG_RASTER_TYPE_BLACK_1 | PAPPL_PWG_RASTER_TYPE_SGRAY_8);
    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = data->x_default = data->y_default = dpi;
    // Labels print to the edge; the sizes are also offered with a margin of
    // 0.01 mm, as CUPS's driverless queues name their default size only
    // among sizes with margins.
    data->borderless = true;
    data->left_right = data->bottom_top = 1;

    // Labels: the PPD's sizes for the model's width, any size from 10 x 5 mm
    // up to the printing width and a metre long, one roll loaded.
    for (const label_size &size : label_sizes)
        if (size.narrowest <= model->printwidth)
            data->media[data->num_media++] = size.pwg;
    const int widest = int(std::lround(model->printwidth * 100));
    pwgFormatSizeName(own->custom_max, sizeof own->custom_max, "custom", "max", widest, max_custom_length * 100, nullptr);
    pwgFormatSizeName(own->custom_min, sizeof own->custom_min, "custom", "min", min_custom_width * 100,
                      min_custom_length * 100, nullptr);
    data->media[data->num_media++] = own->custom_max;
    data->media[data->num_media++] = own->custom_min;
    data->num_source = 1;
    data->source[0] = "main-roll";
    data->num_type = 2;
    data->type[0] = "labels";
    data->type[1] = "continuous";
    pwg_media_t *size = pwgMediaForPWG(default_label(*model).pwg);
    pappl_media_col_t &media = data->media_default;
    std::snprintf(media.size_name, sizeof media.size_name, "%s", size->pwg);
    media.size_width = size->width;
    media.size_length = size->length;
    std::snprintf(media.source, sizeof media.source, "main-roll");
    std::snprintf(media.type, sizeof media.type, "labels");
    media.tracking = PAPPL_MEDIA_TRACKING_GAP;
    media.left_margin = media.right_margin = media.top_margin = media.bottom_margin = 1;
    data->media_ready[0] = media;
    data->left_offset_supported[1] = max_left_offset();
    data->top_offset_supported[0] = -max_top_offset();
    data->top_offset_supported[1] = max_top_offset();
    data->tracking_supported = pappl_media_tracking_t(PAPPL_MEDIA_TRACKING_CONTINUOUS | PAPPL_MEDIA_TRACKING_GAP |
                                                      PAPPL_MEDIA_TRACKING_MARK | PAPPL_MEDIA_TRACKING_WEB);

    // How a label leaves the printer: with none of cutter, peel-off and
    // tear-off on, the printed web runs on (to a rewinder).
    data->mode_supported =
        pappl_label_mode_t(PAPPL_LABEL_MODE_CUTTER | PAPPL_LABEL_MODE_CUTTER_DELAYED | PAPPL_LABEL_MODE_PEEL_OFF |
                           PAPPL_LABEL_MODE_REWIND | PAPPL_LABEL_MODE_TEAR_OFF);
    data->mode_configured = PAPPL_LABEL_MODE_REWIND;

    // The Heat's levels (0 to 20: steps of 5 %), the Speed's range in
    // inches a second.
    const printer_setting &heat = setting("Heat"), &speed = setting("Speed");
    data->darkness_supported = heat.max + 1;
    data->darkness_configured = heat.def * 100 / heat.max;
    data->darkness_default = 0;
    data->speed_supported[0] = speed_ipp(speed.min);
    data->speed_supported[1] = speed_ipp(speed.max);
    data->speed_default = speed_ipp(speed.def);

    for (const printer_setting &s : printer_settings)
        if (s.ipp)
            data->vendor[data->num_vendor++] = s.ipp;
    *attrs = driver_attributes();
    return true;
}

void add_second_start_filters(pappl_system_t *system)
{
    for (const char *format : {"image/pwg-raster", "image/urf"})
        papplSystemAddMIMEFilter(system, format, "application/vnd.zaridiravid", second_start, nullptr);
}


// The printers answer no queries and have no display, light or sound: the
// app claims no supply and no Identify action it could not vouch for, and
// its supplies page says so.
void zaridiravid_printer_created(pappl_printer_t *printer, void *)
{
    char path[256];
    papplPrinterGetPath(printer, "supplies", path, sizeof path);
    papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path, "text/html", supplies_page, printer);
    add_printer_pages(printer);
}
