// Cancellation and the label job block.
#include "filter/job.h"

#include <unistd.h>

#include "label/output.h"

volatile sig_atomic_t cancelled = 0;

namespace {

void set_sigterm(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

void cancelJob(int)
{
    static const char message[] = "DEBUG: zel - Job cancelled ... \n";
    ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    cancelled = 1;
}

void startPage(const cups_page_header_t *)
{
    set_sigterm(cancelJob);
}

void printpage(const cups_page_header_t *header, const img_bitmap &bitmap, const job_settings &job)
{
    write_label_page(stdout, bitmap, {header->PageSize[0], header->PageSize[1], header->NumCopies}, job);
    set_sigterm(SIG_IGN);
}

std::string page_refusal(const cups_page_header_t &header)
{
    char reason[160];
    if (header.cupsBitsPerPixel != 1)
        std::snprintf(reason, sizeof reason, "%u bits per pixel, the printer takes 1", header.cupsBitsPerPixel);
    else if (header.cupsWidth > 32767)
        std::snprintf(reason, sizeof reason, "%u pixels wide, more than 32767", header.cupsWidth);
    else if (header.cupsHeight > 32767)
        std::snprintf(reason, sizeof reason, "%u pixels high, more than 32767", header.cupsHeight);
    else if (header.cupsBytesPerLine != (header.cupsWidth + 7) / 8)
        std::snprintf(reason, sizeof reason, "%u bytes per line for %u pixels, expected %u",
                      header.cupsBytesPerLine, header.cupsWidth, (header.cupsWidth + 7) / 8);
    else
        return {};
    return reason;
}
