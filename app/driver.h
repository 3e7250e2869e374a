// The printers' driver for PAPPL: one driver per model.
#pragma once

#include <atomic>
#include <string>

#include <pappl/pappl.h>

#include "settings/models.h"

// One driver a model, named after its PPD ("ravi343"), in model table order.
struct driver_list {
    pappl_pr_driver_t drivers[model_count];
    char names[model_count][16];
};

// What the server is set up with, for as long as it runs; PAPPL hands it to
// every callback of the app.
struct app_setup {
    driver_list drivers;
    std::string state_file;
    std::string strings;  // the web interface's names of the driver's settings
    // Jobs being printed on all printers. PAPPL 1.3 may deadlock when it
    // saves its state while it turns a job away because the printer is
    // busy, so the state is saved only when no job is printing.
    std::atomic<int> jobs_printing{0};
    std::atomic<bool> save_pending{false};
};

// Fills the list of drivers.
void list_drivers(driver_list &list);

// PAPPL's driver callback: sets up a printer of the named model; `cbdata`
// is the server's app_setup.
bool zaridiravid_driver(pappl_system_t *system, const char *driver_name, const char *device_uri,
                        const char *device_id, pappl_pr_driver_data_t *data, ipp_t **attrs, void *cbdata);

// PAPPL's printer creation callback: the supplies a new printer reports.
void zaridiravid_printer_created(pappl_printer_t *printer, void *data);
