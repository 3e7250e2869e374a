// Functions of PAPPL 1.3.1 that the app replaces where they are at fault.
// A program's own definition of a function of a shared library comes first
// for every caller, libpappl's own calls included: libpappl calls these
// through its procedure linkage table. app.dnssd_announcements shows the
// announcing and printer-id faults gone; app.load_and_faults the deadlock,
// and under the sanitizers the shared collections.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <pappl/pappl.h>

// Functions libpappl 1.3.1 exports but declares in no installed header.
extern "C" {
void _papplClientFlushDocumentData(pappl_client_t *client);
void _papplJobProcessRaster(pappl_job_t *job, pappl_client_t *client);
void _papplJobSetState(pappl_job_t *job, ipp_jstate_t state);
void _papplJobSubmitFile(pappl_job_t *job, const char *filename);
void _papplPrinterCopyAttributesNoLock(pappl_printer_t *printer, pappl_client_t *client, cups_array_t *ra,
                                       const char *format);
const char *_papplJobReasonString(pappl_jreason_t reason);
}

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

void add_if_printing(pappl_job_t *job, void *count)
{
    const ipp_jstate_t state = papplJobGetState(job);
    *static_cast<int *>(count) += state == IPP_JSTATE_PROCESSING || state == IPP_JSTATE_PENDING ||
                                  (state == IPP_JSTATE_HELD && (papplJobGetReasons(job) & PAPPL_JREASON_JOB_INCOMING));
}

// Whether one of the printer's jobs is printing or about to (a raster job
// let in is held, its document incoming, until it prints).
bool printer_busy(pappl_printer_t *printer)
{
    int printing = 0;
    papplPrinterIterateActiveJobs(printer, add_if_printing, &printing, 1, 0);
    return printing > 0;
}

// The reason a job in `state` gives when PAPPL has noted none.
const char *plain_reason(ipp_jstate_t state)
{
    switch (state) {
    case IPP_JSTATE_HELD: return "job-data-insufficient";
    case IPP_JSTATE_PROCESSING: return "job-printing";
    case IPP_JSTATE_STOPPED: return "job-stopped";
    case IPP_JSTATE_CANCELED: return "job-canceled-by-user";
    case IPP_JSTATE_ABORTED: return "aborted-by-system";
    case IPP_JSTATE_COMPLETED: return "job-completed-successfully";
    default: return "none";
    }
}

// The job's id, URI, state and its reasons in the response to the request
// that sent its document, as PAPPL gives them. The URI is made as PAPPL
// makes it, from the request's printer-uri (or its job-uri): the job's own
// attributes are read by its printing thread at the same time.
void add_job_status(pappl_client_t *client, pappl_job_t *job)
{
    ipp_t *request = papplClientGetRequest(client), *response = papplClientGetResponse(client);
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", papplJobGetID(job));
    if (ipp_attribute_t *printer_uri = ippFindAttribute(request, "printer-uri", IPP_TAG_URI)) {
        const std::string uri = ippGetString(printer_uri, 0, nullptr) + ("/" + std::to_string(papplJobGetID(job)));
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
    } else if (ipp_attribute_t *job_uri = ippFindAttribute(request, "job-uri", IPP_TAG_URI)) {
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_URI, "job-uri", nullptr, ippGetString(job_uri, 0, nullptr));
    }
    const ipp_jstate_t state = papplJobGetState(job);
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", state);
    std::vector<const char *> reasons;
    const unsigned noted = papplJobGetReasons(job);
    for (unsigned bit = PAPPL_JREASON_ABORTED_BY_SYSTEM; bit <= PAPPL_JREASON_JOB_HOLD_UNTIL_SPECIFIED; bit *= 2)
        if (noted & bit)
            reasons.push_back(_papplJobReasonString(static_cast<pappl_jreason_t>(bit)));
    if (reasons.empty())
        reasons.push_back(plain_reason(state));
    ippAddStrings(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons", int(reasons.size()), nullptr,
                  reasons.data());
}

// Turns a job's document away: the client gets `status`, the rest of the
// document is read and dropped, and the job ends aborted. The job is ended
// through papplJobCancel, which takes the printer's lock and then the job's,
// as every other path of PAPPL does.
void refuse_document(pappl_client_t *client, pappl_job_t *job, ipp_status_t status, const char *message)
{
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Aborting job: %s", message);
    papplClientRespondIPP(client, status, "%s", message);
    _papplClientFlushDocumentData(client);
    papplJobCancel(job);
    _papplJobSetState(job, IPP_JSTATE_ABORTED);
    add_job_status(client, job);
}

// Spools the rest of the request, the job's document, into a file of the
// job's; returns false, with the client answered and the job ended, if it
// cannot.
bool spool_document(pappl_client_t *client, pappl_job_t *job, char *filename, size_t size)
{
    const int fd = papplJobOpenFile(job, filename, size, nullptr, nullptr, "w");
    if (fd < 0) {
        refuse_document(client, job, IPP_STATUS_ERROR_INTERNAL, "Unable to create print file.");
        return false;
    }
    char buffer[8192];
    ssize_t bytes;
    bool written = true;
    while ((bytes = httpRead(papplClientGetHTTP(client), buffer, sizeof buffer)) > 0 && written)
        written = write(fd, buffer, static_cast<size_t>(bytes)) == bytes;
    written = close(fd) == 0 && written;
    if (bytes < 0 || !written) {
        unlink(filename);
        refuse_document(client, job, IPP_STATUS_ERROR_INTERNAL,
                        bytes < 0 ? "Unable to read print file." : "Unable to write print file.");
        return false;
    }
    return true;
}

// Gives each collection among `ipp`'s values, and each collection inside
// those, a copy of its own.
void own_collections(ipp_t *ipp)
{
    for (ipp_attribute_t *attr = ippFirstAttribute(ipp); attr; attr = ippNextAttribute(ipp))
        for (int i = 0; ippGetValueTag(attr) == IPP_TAG_BEGIN_COLLECTION && i < ippGetCount(attr); i++) {
            ipp_t *copy = ippNew();
            ippCopyAttributes(copy, ippGetCollection(attr, i), 0, nullptr, nullptr);
            own_collections(copy);
            ippSetCollection(ipp, &attr, i, copy);
            ippDelete(copy);
        }
}

}  // namespace

extern "C" {

// PAPPL 1.3.1's _papplJobCopyDocumentData (job-ipp.c), which takes a job's
// document from Print-Job or Send-Document, ends a job it turns away (the
// printer busy or holding new jobs, the document cut off or not spooled)
// holding the printer's lock while it waits for the server's. Every request
// that reads a printer's attributes, the state's saving and the jobs' clean-
// up take the server's lock and then the printer's: one of them at the same
// moment, and both wait for ever, and with them every later request to that
// printer. The same work here, with each job ended through papplJobCancel.
// A raster job prints as it arrives, unless a job is printing or waiting to
// (server-error-busy: the client sends it again later) or the printer holds
// new jobs.
void _papplJobCopyDocumentData(pappl_client_t *client, pappl_job_t *job)
{
    pappl_printer_t *printer = papplJobGetPrinter(job);
    const char *format = papplJobGetFormat(job);
    if (format && (std::strcmp(format, "image/pwg-raster") == 0 || std::strcmp(format, "image/urf") == 0)) {
        // One raster job a printer at a time, let in one at a time: two let
        // in at once would both print, the later one possibly first. PAPPL
        // marks the job pending before it prints it, and a job ending in that
        // moment has PAPPL start it again as a spooled job (see the driver's
        // second_start); held until _papplJobProcessRaster starts it, it is
        // never started twice.
        static std::mutex letting_in;
        std::unique_lock turn(letting_in);
        if (printer_busy(printer)) {
            turn.unlock();
            return refuse_document(client, job, IPP_STATUS_ERROR_BUSY, "Currently printing another job.");
        }
        if (papplPrinterIsHoldingNewJobs(printer)) {
            turn.unlock();
            return refuse_document(client, job, IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS, "Currently holding new jobs.");
        }
        papplJobSetReasons(job, PAPPL_JREASON_JOB_INCOMING, PAPPL_JREASON_NONE);
        turn.unlock();
        _papplJobProcessRaster(job, client);
        papplJobSetReasons(job, PAPPL_JREASON_NONE, PAPPL_JREASON_JOB_INCOMING);
    } else {
        char filename[1024];
        if (!spool_document(client, job, filename, sizeof filename))
            return;
        if (papplJobIsCanceled(job) || papplJobGetState(job) >= IPP_JSTATE_CANCELED)
            unlink(filename);  // cancelled while its document came
        else
            _papplJobSubmitFile(job, filename);
    }
    papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
    add_job_status(client, job);
}

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

// PAPPL 1.3.1's _papplPrinterCopyAttributesNoLock (printer-ipp.c) puts a
// printer's attributes into a response (Get-Printer-Attributes, Get-Printers,
// Create-Printer) under the printer's read lock, so many clients copy at
// once. The copies share the printer's collections (media-col-database,
// media-size-supported, finishing-col-database) and count their users in
// libcups' ippCopyAttribute and ippDelete without a lock: two clients at
// once lose a count, and a collection the printer still has is freed when a
// response is deleted (AddressSanitizer: heap-use-after-free writing a
// response). They also point at the printer's strings, which a change of
// its defaults frees while a response is still being sent. Here the new
// attributes of the response are made its own, strings and collections,
// while no other response is being made.
void _papplPrinterCopyAttributesNoLock(pappl_printer_t *printer, pappl_client_t *client, cups_array_t *ra,
                                       const char *format)
{
    static const auto copy =
        reinterpret_cast<decltype(&_papplPrinterCopyAttributesNoLock)>(dlsym(RTLD_NEXT, "_papplPrinterCopyAttributesNoLock"));
    static std::mutex copying;
    ipp_t *response = papplClientGetResponse(client);
    if (!copy || !response)
        return;
    std::lock_guard hold(copying);
    ipp_attribute_t *last = nullptr;
    for (ipp_attribute_t *attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response))
        last = attr;
    copy(printer, client, ra, format);

    ipp_t *own = ippNew();
    std::vector<ipp_attribute_t *> added;
    bool after = last == nullptr;
    for (ipp_attribute_t *attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
        if (after)
            added.push_back(attr);
        after |= attr == last;
    }
    for (ipp_attribute_t *attr : added) {
        ippCopyAttribute(own, attr, 0);
        ippDeleteAttribute(response, attr);
    }
    own_collections(own);
    ippCopyAttributes(response, own, 0, nullptr, nullptr);
    ippDelete(own);
}

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
