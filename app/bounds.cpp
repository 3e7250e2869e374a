// Bounds on what clients can make the server hold (see bounds.h).
#include "app/bounds.h"

#include <malloc.h>

namespace {

// Every 10 seconds: PAPPL 1.3.1 cleans the job histories only a minute after
// a job ends, and then only the jobs that ended before that minute; the
// rest stay until another job ends, and all of them are written into the
// state file at every save. This clean runs its papplSystemCleanJobs again.
bool clean_jobs(pappl_system_t *system, void *)
{
    papplSystemCleanJobs(system);
    return true;
}

}  // namespace

void give_memory_back()
{
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);  // a fixed threshold: glibc's own rises to 32 MiB
    mallopt(M_TRIM_THRESHOLD, 256 * 1024);
    mallopt(M_ARENA_MAX, 2);
}

void bound_system(pappl_system_t *system)
{
    papplSystemSetMaxClients(system, 100);
    papplSystemSetMaxSubscriptions(system, 100);
    papplSystemAddTimerCallback(system, 0, 10, clean_jobs, nullptr);
}
