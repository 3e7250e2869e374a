// The printers' driver for PAPPL: one driver per model.
#pragma once

#include <atomic>
#include <string>

#include <pappl/pappl.h>

#include "app/access.h"
#include "app/dnssd.h"
#include "settings/models.h"

// One driver a model, named after its PPD ("ravi343"), in model table order.
struct driver_list {
    pappl_pr_driver_t drivers[model_count];
    char names[model_count][16];
};

// The jobs being printed on all printers, and when the last one ended.
struct job_activity {
    std::atomic<int> printing{0};
    std::atomic<long long> last_end_ms{0};  // steady clock
};

// Whether no job has printed for a tenth of a second: PAPPL has then
// finished with every job, and turns none away as its printer is busy.
bool printers_quiet(const job_activity &jobs);

// What the server is set up with, for as long as it runs; PAPPL hands it to
// every callback of the app.
struct app_setup {
    driver_list drivers;
    std::string state_file;
    // PAPPL 1.3.1 saves its state at the end of every job, each save with
    // the whole job history: the state is saved once the printers are quiet.
    job_activity jobs;
    std::atomic<bool> save_pending{false};
    std::string base_name;  // the program's, which names its local socket
    access_setup access;
    dnssd_handle dnssd;  // the printers' announcements
};

// Fills the list of drivers.
void list_drivers(driver_list &list);

// PAPPL's driver callback: sets up a printer of the named model; `cbdata`
// is the server's app_setup.
bool zaridiravid_driver(pappl_system_t *system, const char *driver_name, const char *device_uri,
                        const char *device_id, pappl_pr_driver_data_t *data, ipp_t **attrs, void *cbdata);

// Has a PWG or Apple raster job PAPPL 1.3.1 starts a second time, as a
// spooled job, end aborted without printing (or wait until it is printed).
void add_second_start_filters(pappl_system_t *system);

// PAPPL's printer creation callback: a new printer's own web pages.
void zaridiravid_printer_created(pappl_printer_t *printer, void *data);
