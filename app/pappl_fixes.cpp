// Functions of PAPPL 1.3.1 that the app replaces where they are at fault.
// A program's own definition of a function of a shared library comes first
// for every caller, libpappl's own calls included: libpappl calls these
// through its procedure linkage table. app.dnssd_announcements shows both
// faults gone.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include <pappl/pappl.h>

namespace {

// The threads this process runs now.
int thread_count()
{
    int n = 0;
    if (DIR *tasks = opendir("/proc/self/task")) {
        while (const dirent *e = readdir(tasks))
            n += e->d_name[0] != '.';
        closedir(tasks);
    }
    return n;
}

}  // namespace

extern "C" {

// PAPPL 1.3.1's papplMainloop deletes the server as soon as papplSystemRun
// returns, while the threads of the clients still connected go on: the one
// that asked for the shutdown logs its connection's end into the freed
// server (AddressSanitizer: heap-use-after-free in papplLogClient from
// _papplClientDelete, after papplSystemDelete). Its client threads are
// detached and not counted anywhere the app can see, so the server is
// deleted once the process's threads have stopped ending for a fifth of a
// second (at most two seconds).
void papplSystemDelete(pappl_system_t *system)
{
    static const auto remove = reinterpret_cast<decltype(&papplSystemDelete)>(dlsym(RTLD_NEXT, "papplSystemDelete"));
    using namespace std::chrono;
    const auto give_up = steady_clock::now() + seconds(2);
    for (int last = thread_count(), settled = 0; settled < 20 && steady_clock::now() < give_up; ) {
        std::this_thread::sleep_for(milliseconds(10));
        const int now = thread_count();
        settled = now == last ? settled + 1 : 0;
        last = now;
    }
    if (remove)
        remove(system);
}


// PAPPL's announcing of printers and of the server on DNS-SD, turned off:
// the app announces its printers itself (dnssd.cpp). In PAPPL 1.3.1,
// _papplPrinterRegisterDNSSDNoLock (dnssd.c) writes "TLS=1.2" and
// "mopria-certified=1.3" into every TXT record whatever the server offers,
// lists the driver's own format (which network jobs may not use) in "pdl",
// and is called from papplSystemRun, the name and location setters and its
// own Add Printer page, but not for a printer made by IPP Create-Printer
// while the server runs; its server's web site is announced also while the
// server listens on loopback only.
bool _papplPrinterRegisterDNSSDNoLock(pappl_printer_t *)
{
    return true;
}
void _papplPrinterUnregisterDNSSDNoLock(pappl_printer_t *) {}
bool _papplSystemRegisterDNSSDNoLock(pappl_system_t *)
{
    return true;
}
void _papplSystemUnregisterDNSSDNoLock(pappl_system_t *) {}

// PAPPL 1.3.1's papplPrinterCreate stores the printer-id attribute from its
// printer_id argument before it assigns a new printer's id, so a printer
// made with id 0 (as IPP Create-Printer and the web pages make them)
// reports printer-id 0 until the server restarts, and `delete` and
// Delete-Printer cannot name it. Given a free id instead, PAPPL stores that
// id. PAPPL counts on only from the ids it picks itself (and its
// papplSystemSetNextPrinterID works only before the server runs), so the
// free id is one past the highest of the printers there are and of those
// given here before, and never below the next id PAPPL would pick. The last
// id given and the lock that keeps two printers made at once from taking
// the same id live here, as this replacement has no data of the server to
// keep them in.
pappl_printer_t *papplPrinterCreate(pappl_system_t *system, int printer_id, const char *printer_name,
                                    const char *driver_name, const char *device_id, const char *device_uri)
{
    static const auto create = reinterpret_cast<decltype(&papplPrinterCreate)>(dlsym(RTLD_NEXT, "papplPrinterCreate"));
    static std::mutex creating;
    static int last_given = 0;
    if (!create) {
        errno = ENOSYS;
        return nullptr;
    }
    std::lock_guard hold(creating);
    if (printer_id == 0) {
        printer_id = std::max(papplSystemGetNextPrinterID(system), last_given + 1);
        papplSystemIteratePrinters(
            system, [](pappl_printer_t *printer, void *data) {
                int &id = *static_cast<int *>(data);
                id = std::max(id, papplPrinterGetID(printer) + 1);
            },
            &printer_id);
        last_given = printer_id;
    }
    return create(system, printer_id, printer_name, driver_name, device_id, device_uri);
}
}
