// zaridiravid-app: the Printer Application for our label printers. Any IPP
// Everywhere client (CUPS's driverless queues, phones, ipptool) prints to it
// with no driver; it prints to the printers over their raw network port or
// USB.
//
//   zaridiravid-app server -o server-port=8000 -o state-file=FILE ...
//   zaridiravid-app add -d label -v socket://192.0.2.10 -m ravi343
//   zaridiravid-app submit -d label -o copies=3 label.png
//   zaridiravid-app testpage -d label
//
// PAPPL's main loop gives the sub-commands; this file sets up the system.
#include <grp.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <pappl/pappl.h>

#include "app/access.h"
#include "app/bounds.h"
#include "app/driver.h"
#include "app/keep.h"
#include "app/testpage.h"
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

// Shows each printer's print speed, each printer's lock taken while the
// system's is not held.
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
    // PAPPL writes the file in place: a server killed or a machine losing
    // power in the middle would start again without its printers.
    const std::string written = setup.state_file + ".new";
    return papplSystemSaveState(system, written.c_str()) &&
           std::rename(written.c_str(), setup.state_file.c_str()) == 0 && keep_save(system, setup.state_file);
}

// Once a second: a save put off while jobs were printing.
bool save_later(pappl_system_t *system, void *data)
{
    app_setup &setup = *static_cast<app_setup *>(data);
    if (setup.save_pending && printers_quiet(setup.jobs))
        save_state(system, data);
    return true;
}

// The value of a sub-command's option `flag` ("-v URI" or "-vURI"), or
// nullptr.
const char *command_option(int argc, char *argv[], std::string_view flag)
{
    for (int i = 2; i < argc; i++)
        if (std::string_view(argv[i]).starts_with(flag))
            return argv[i][flag.size()] ? argv[i] + flag.size() : i + 1 < argc ? argv[i + 1] : nullptr;
    return nullptr;
}

// Whether the command line would have a printer write to a device that is
// not a printer (`add` or `modify` with -v); says why on stderr.
bool refuses_device(int argc, char *argv[])
{
    const char *uri = command_option(argc, argv, "-v");
    if (!uri || (std::strcmp(argv[1], "add") != 0 && std::strcmp(argv[1], "modify") != 0))
        return false;
    const std::string why = device_uri_problem(uri);
    if (!why.empty())
        std::fprintf(stderr, "%s: %s\n", app_name, why.c_str());
    return !why.empty();
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

    // Listening beyond localhost, TLS is on: PAPPL answers plain HTTP from
    // there with "426 Upgrade Required" once an auth callback is set (as it
    // always is here), and IPP clients follow it.
    const char *listen = option("listen-hostname") ? option("listen-hostname") : "localhost";
    const bool local_only = !reaches_network(listen);
    access_setup &access = setup.access;
    access.auth_service = option("auth-service") ? option("auth-service") : "";
    if (const char *group = option("admin-group"))
        access.admin_group = group;
    // PAPPL asks the auth callback for printing with no group: the admin
    // group must be one, or it would pass for printing.
    const group *admins = getgrnam(access.admin_group.c_str());
    if (!admins) {
        std::fprintf(stderr, "%s: No group '%s' to administer the server: make it or name another with -o admin-group.\n",
                     app_name, access.admin_group.c_str());
        return nullptr;
    }
    access.admin_gid = admins->gr_gid;
    auto soptions = pappl_soptions_t(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE);
    if (local_only)
        soptions = pappl_soptions_t(soptions | PAPPL_SOPTIONS_NO_TLS);
    pappl_system_t *system = papplSystemCreate(soptions, app_name, port, "_print,_universal",
                                               spool ? spool : spool_default.c_str(), option("log-file"),
                                               log_level(option("log-level")), nullptr, false);
    if (!system)
        return nullptr;
    papplSystemSetAdminGroup(system, access.admin_group.c_str());
    if (const char *host = option("server-hostname"))
        papplSystemSetHostName(system, host);
    if (!option("private-server") && !papplSystemAddListeners(system, listen)) {
        std::fprintf(stderr, "%s: Unable to listen for connections.\n", app_name);
        papplSystemDelete(system);
        return nullptr;
    }
    std::string why;
    if (!access.socket_dir.empty() && !guard_local_socket(system, access, setup.base_name, why)) {
        std::fprintf(stderr, "%s: %s\n", app_name, why.c_str());
        papplSystemDelete(system);
        return nullptr;
    }
    guard_administration(system, access);
    papplLog(system, PAPPL_LOGLEVEL_INFO,
             "Listening on %s%s. Printing and job status open to all who reach it; administration for root and "
             "group '%s' on the local socket %s%s.",
             listen, local_only ? "" : " with TLS", access.admin_group.c_str(),
             access.socket_dir.empty() ? "(PAPPL's place)" : access.socket_dir.c_str(),
             access.auth_service.empty() ? ", none over TCP (no auth-service)"
                                         : (", and over TCP after a login with PAM service '" + access.auth_service +
                                            "'")
                                               .c_str());

    add_web_pages(system, setup.drivers);
    add_second_start_filters(system);
    papplSystemSetPrinterDrivers(system, int(model_count), setup.drivers.drivers, nullptr,
                                 zaridiravid_printer_created, zaridiravid_driver, &setup);
    papplSystemLoadState(system, setup.state_file.c_str());
    keep_load(system, setup.state_file);
    papplSystemSetSaveCallback(system, save_state, &setup);
    papplSystemAddTimerCallback(system, 0, 1, save_later, &setup);  // every second
    // Announced on DNS-SD only where phones can reach the printers.
    if (!option("private-server") && !local_only)
        setup.dnssd = dnssd_start(system, listen);
    bound_system(system);
    return system;
}

}  // namespace

int main(int argc, char *argv[])
{
    give_memory_back();
    app_setup setup;
    list_drivers(setup.drivers);
    if (argc > 1 && refuses_device(argc, argv))
        return 1;
    const char *slash = std::strrchr(argv[0], '/');
    setup.base_name = slash ? slash + 1 : argv[0];
    const bool server = argc > 1 && std::strcmp(argv[1], "server") == 0;
    setup.access.socket_dir = local_socket_dir(setup.base_name, server);
    // A server not run by root adds its socket there itself (see
    // guard_local_socket): $SNAP_COMMON would also move its CUPS settings.
    // (Some sub-commands, `printers` one, look for the local server even
    // when given a URI with -u.)
    if (!server || getuid() == 0)
        use_local_socket_dir(setup.access.socket_dir);
    return papplMainloop(argc, argv, ZARIDIRAVID_VERSION, nullptr, int(model_count), setup.drivers.drivers, nullptr,
                         zaridiravid_driver, "testpage", testpage_command, create_system, nullptr, &setup);
}
