// Bounds on what clients can make the server hold, and memory freed back to
// the system, whatever the clients send.
#pragma once

#include <pappl/pappl.h>

// Sets glibc's allocator to give freed memory back: large blocks (a page
// line PAPPL allocates at the size a page header claims) always mapped and
// unmapped, the heap's free top trimmed, two arenas for all the threads.
void give_memory_back();

// Limits the system's clients and subscriptions, and cleans the printers'
// job histories every 10 seconds: each then keeps its last 100 jobs and
// those that ended within the last minute.
void bound_system(pappl_system_t *system);

