// Cancellation and the label job block.
#include "filter/job.h"

#include <unistd.h>

#include "settings/lines.h"
#include "settings/options.h"

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

// A built line goes out as it stands, never as a format.
void write_line(const std::string &line, FILE *out)
{
    std::fputs(line.c_str(), out);
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

void printpage(const cups_page_header_t *header, FILE *out)
{
    std::string line;

    std::fputs("\x1b" "end-of-data", out);  // closes the image download
    std::fputs("m m\r\n", out);             // lengths in millimetres
    std::fputs("J\r\n", out);               // a new label job
    if (get_o_opt(line) == 1)
        write_line(line, out);
    write_line(get_h_opt(line), out);
    write_line(get_s_opt(line, header, printwidth), out);
    std::fputs("I 0,0,0;cups\r\n", out);    // place the image just downloaded
    if (get_c_opt(line) == 1)
        write_line(line, out);
    if (get_p_opt(line) == 1)
        write_line(line, out);
    std::fprintf(out, "A%u\r\n", header->NumCopies != 0 ? header->NumCopies : 1u);

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
