// zaridiravid-app: the Printer Application for our label printers. Any IPP
// Everywhere client (CUPS's driverless queues, phones, ipptool) prints to it
// with no driver; it prints to the printers over their raw network port or
// USB.
//
//   zaridiravid-app server -o server-port=8000 -o state-file=FILE ...
//   zaridiravid-app add -d label -v socket://192.0.2.10 -m ravi343
//   zaridiravid-app submit -d label -o copies=3 label.png
//
// PAPPL's main loop gives the sub-commands; this file sets up the system.
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <pappl/pappl.h>

#include "app/bounds.h"
#include "app/driver.h"
#include "app/keep.h"
#include "app/web.h"

namespace {

constexpr const char *app_name = "zaridiravid-app";

// Where the server keeps something unless an option says: `as_root` when
// run as root, else ~/.config/`as_user`.
std::string default_place(const char *as_root, const char *as_user)
{
    if (getuid() == 0)
        return as_root;
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.config/" + as_user;
}

pappl_loglevel_t log_level(const char *name)
{
    static const struct {
        const char *name;
        pappl_loglevel_t level;
    } levels[] = {{"fatal", PAPPL_LOGLEVEL_FATAL}, {"error", PAPPL_LOGLEVEL_ERROR}, {"warn", PAPPL_LOGLEVEL_WARN},
                  {"info", PAPPL_LOGLEVEL_INFO},   {"debug", PAPPL_LOGLEVEL_DEBUG}};
    for (const auto &l : levels)
        if (name && std::strcmp(name, l.name) == 0)
            return l.level;
    return PAPPL_LOGLEVEL_WARN;
}

// Adds a printer's id to the list (papplSystemIteratePrinters, which holds
// the system's lock: no printer's lock is taken here).
void add_printer_id(pappl_printer_t *printer, void *ids)
{
    static_cast<std::vector<int> *>(ids)->push_back(papplPrinterGetID(printer));
}

// Shows each printer's print speed, each printer's lock taken without the
// system's (PAPPL 1.3.1 takes a printer's and then the system's as it turns
// a job away as busy, in _papplJobCopyDocumentData).
void report_speeds(pappl_system_t *system)
{
    std::vector<int> ids;
    papplSystemIteratePrinters(system, add_printer_id, &ids);
    for (int id : ids)
        if (pappl_printer_t *printer = papplSystemFindPrinter(system, nullptr, id, nullptr))
            report_speed(printer);
}

// Saves the printers and their settings, or, while jobs are printing, has
// save_later do it once the printers are quiet (see app_setup). A save put
// off leaves the state changed for PAPPL, whose last save as it shuts down
// (in papplSystemRun) runs only when the state changed since the save before;
// papplSystemSetDefaultPrinterID with the same printer counts as a change.
bool save_state(pappl_system_t *system, void *data)
{
    app_setup &setup = *static_cast<app_setup *>(data);
    // Shutting down, PAPPL has ended every job: the last one is done with
    // PAPPL within a tenth of a second.
    for (int wait = 0; wait < 20 && papplSystemIsShutdown(system) && !printers_quiet(setup.jobs); wait++)
        usleep(10000);
    if (!printers_quiet(setup.jobs)) {
        setup.save_pending = true;
        papplSystemSetDefaultPrinterID(system, papplSystemGetDefaultPrinterID(system));
        return true;
    }
    setup.save_pending = false;
    report_speeds(system);
    return papplSystemSaveState(system, setup.state_file.c_str()) && keep_save(system, setup.state_file);
}

// Once a second: a save put off while jobs were printing.
bool save_later(pappl_system_t *system, void *data)
{
    app_setup &setup = *static_cast<app_setup *>(data);
    if (setup.save_pending && printers_quiet(setup.jobs))
        save_state(system, data);
    return true;
}

// The server: its port, addresses, spool, log and state file from the -o
// options, the drivers, and the printers kept in the state file.
pappl_system_t *create_system(int num_options, cups_option_t *options, void *data)
{
    app_setup &setup = *static_cast<app_setup *>(data);
    auto option = [&](const char *name) { return cupsGetOption(name, num_options, options); };

    int port = 0;
    if (const char *value = option("server-port")) {
        char *end = nullptr;
        long n = std::strtol(value, &end, 10);
        if (*value == '\0' || *end || n < 0 || n > 65535) {
            std::fprintf(stderr, "%s: Bad 'server-port' value '%s'.\n", app_name, value);
            return nullptr;
        }
        port = int(n);
    }
    const char *spool = option("spool-directory");
    const std::string spool_default = default_place("/var/spool/zaridiravid-app", "zaridiravid-app.d");
    setup.state_file = option("state-file") ? option("state-file")
                                          : default_place("/var/lib/zaridiravid-app.state", "zaridiravid-app.state");

    // TLS stays off unless administrators log in: clients on the label
    // network talk plain IPP, and PAPPL lets a remote administrator in only
    // over TLS.
    const char *auth = option("auth-service");
    auto soptions = pappl_soptions_t(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE);
    if (!auth)
        soptions = pappl_soptions_t(soptions | PAPPL_SOPTIONS_NO_TLS);
    pappl_system_t *system = papplSystemCreate(soptions, app_name, port, "_print,_universal",
                                               spool ? spool : spool_default.c_str(), option("log-file"),
                                               log_level(option("log-level")), auth, false);
    if (!system)
        return nullptr;
    if (const char *group = option("admin-group"))
        papplSystemSetAdminGroup(system, group);
    if (const char *host = option("server-hostname"))
        papplSystemSetHostName(system, host);
    if (!option("private-server") && !papplSystemAddListeners(system, option("listen-hostname"))) {
        std::fprintf(stderr, "%s: Unable to listen for connections.\n", app_name);
        papplSystemDelete(system);
        return nullptr;
    }

    add_web_pages(system, setup.drivers);
    add_second_start_filters(system);
    papplSystemSetPrinterDrivers(system, int(model_count), setup.drivers.drivers, nullptr,
                                 zaridiravid_printer_created, zaridiravid_driver, &setup);
    papplSystemLoadState(system, setup.state_file.c_str());
    keep_load(system, setup.state_file);
    papplSystemSetSaveCallback(system, save_state, &setup);
    papplSystemAddTimerCallback(system, 0, 1, save_later, &setup);  // every second
    bound_system(system);
    return system;
}

}  // namespace

int main(int argc, char *argv[])
{
    give_memory_back();
    app_setup setup;
    list_drivers(setup.drivers);
    return papplMainloop(argc, argv, ZARIDIRAVID_VERSION, nullptr, int(model_count), setup.drivers.drivers, nullptr,
                         zaridiravid_driver, nullptr, nullptr, create_system, nullptr, &setup);
}
