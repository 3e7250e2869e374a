// The printers' driver for PAPPL: one driver per model.
#pragma once

#include <pappl/pappl.h>

#include "settings/models.h"

// One driver a model, named after its PPD ("ravi343"), in model table order.
struct driver_list {
    pappl_pr_driver_t drivers[model_count];
    char names[model_count][16];
};

// Fills the list of drivers.
void list_drivers(driver_list &list);

// PAPPL's driver callback: sets up a printer of the named model.
bool zaridiravid_driver(pappl_system_t *system, const char *driver_name, const char *device_uri,
                        const char *device_id, pappl_pr_driver_data_t *data, ipp_t **attrs, void *cbdata);

// PAPPL's printer creation callback: the supplies a new printer reports.
void zaridiravid_printer_created(pappl_printer_t *printer, void *data);
