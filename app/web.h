// The Printer Application's own parts of PAPPL's web interface.
#pragma once

#include <pappl/pappl.h>

#include "app/driver.h"

// Sets up, before the server starts: the footer, the vendor settings' names
// and keywords as the PPDs word them (in English, in each language PAPPL has
// its pages in) and the Add Printer page, offering `drivers`, which must
// outlive the server.
void add_web_pages(pappl_system_t *system, const driver_list &drivers);

// Adds a new printer's own pages: its Label Handling page.
void add_printer_pages(pappl_printer_t *printer);
