// The whole filter run on arbitrary raster bytes: the bytes become the raster
// file, libcups reads them, and filter_main writes the printer stream, which
// must hold nothing but whole pages and lose none that the raster gave.
//
// For each input the raster is read a second time here, with libcups alone,
// to know what the printer should get: one page for each header the filter
// accepts, every row that libcups delivered and blank rows after a short or
// cancelled page, each page followed by its label job block.
//
// Inputs whose length is 3 modulo 4 also cancel the job (SIGTERM, as the
// scheduler sends it) after a number of rows taken from the length, so an
// input file stays a plain raster that the filter can be run on by hand.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <cups/raster.h>

#include "filter/filter.h"
#include "filter/job.h"
#include "preview/decode.h"
#include "tests/support.h"

namespace {

int raster_fd = -1;           // the input, as the raster file
std::string raster_path;      // its name for the filter's argv
unsigned cancel_after = 0;    // rows to read before SIGTERM; 0 = never
unsigned rows_requested = 0;  // cupsRasterReadPixels calls in this run

[[noreturn]] void fail(const char *what, long a = 0, long b = 0)
{
    std::fprintf(stderr, "fuzz_filter: %s (%ld, %ld)\n", what, a, b);
    std::abort();
}

#define CHECK(cond, ...) \
    do {                 \
        if (!(cond))     \
            fail(#cond __VA_OPT__(, ) __VA_ARGS__); \
    } while (0)

}  // namespace

// libcups allocates a page's line buffers from its header's bytes per line,
// up to 4 GiB, before the filter can look at the header; the sanitizer would
// spend seconds poisoning such a block. Blocks above 1 GiB fail here as on
// a print server short of memory, and libcups then ends the stream. The
// filter's own bitmap is at most 128 MiB.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=1024"; }

extern "C" unsigned __real_cupsRasterReadPixels(cups_raster_t *r, unsigned char *p, unsigned len);

// The filter's row reads pass through here; the scheduler's SIGTERM comes
// after the row chosen for this input.
extern "C" unsigned __wrap_cupsRasterReadPixels(cups_raster_t *r, unsigned char *p, unsigned len)
{
    unsigned n = __real_cupsRasterReadPixels(r, p, len);
    if (++rows_requested == cancel_after)
        std::raise(SIGTERM);
    return n;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    raster_fd = memfd_create("raster", 0);
    int printer = memfd_create("printer", 0);
    if (raster_fd < 0 || printer < 0 || dup2(printer, STDOUT_FILENO) < 0)
        fail("cannot make the memory files");
    close(printer);
    raster_path = "/proc/self/fd/" + std::to_string(raster_fd);
    setenv("PPD", FUZZ_LABEL_PPD, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_file(raster_path, bytes(data, data + size));
    std::fflush(stdout);
    if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0)
        fail("cannot empty the printer stream");
    std::clearerr(stdout);

    cancel_after = size % 4 == 3 ? 1 + static_cast<unsigned>(size / 4 % 97) : 0;
    rows_requested = 0;

    char *argv[] = {const_cast<char *>("zaridiravid"), const_cast<char *>("1"), const_cast<char *>("fuzz"),
                    const_cast<char *>("label"),       const_cast<char *>("1"), const_cast<char *>(""),
                    raster_path.data(),                nullptr};
    const int status = filter_main(7, argv);
    const int pages = page;
    std::fflush(stdout);
    const bytes out = read_file("/proc/self/fd/1");  // the printer stream, from its start

    CHECK(status == (pages > 0 ? 0 : 1), status, pages);
    if (pages == 0) {
        CHECK(out.empty(), static_cast<long>(out.size()));
        return 0;
    }
    const decoded_stream stream = decode_stream(out);
    if (!stream.error.what.empty()) {
        std::fprintf(stderr, "printer stream: %s at byte %zu\n", stream.error.what.c_str(), stream.error.offset);
        fail("malformed printer stream");
    }
    CHECK(stream.pages.size() == static_cast<size_t>(pages), static_cast<long>(stream.pages.size()), pages);

    // The same raster read again with libcups: what the printer should get.
    int fd = open(raster_path.c_str(), O_RDONLY);
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    CHECK(ras != nullptr);
    unsigned requested = 0;
    bool cancelled_job = false;
    bytes row;
    cups_page_header_t h;
    int p = 0;
    for (; !cancelled_job && cupsRasterReadHeader(ras, &h) && page_refusal(h).empty(); p++) {
        CHECK(p < pages, p, pages);
        const stream_page &got = stream.pages[static_cast<size_t>(p)];
        CHECK(got.has_image && got.image_before == 2, p);
        CHECK(got.lines[0].text == "e img;*" && got.lines[1].text == "d IMG;cups", p);
        const img_image &image = got.image;
        CHECK(image.header.line_width == static_cast<uint16_t>(h.cupsBytesPerLine * 8), p);
        CHECK(image.header.lines == h.cupsHeight && image.rows.size() == h.cupsHeight, p);
        CHECK(image.row_bytes == h.cupsBytesPerLine, p);
        row.assign(h.cupsBytesPerLine, 0);
        bool reading = true;
        for (unsigned y = 0; y < h.cupsHeight; y++) {
            // As the filter reads: a failed read ends the page's rows, and a
            // cancel stops after the row being read; the rest are blank.
            bool got_row = false;
            if (reading) {
                got_row = __real_cupsRasterReadPixels(ras, row.data(), h.cupsBytesPerLine) != 0;
                reading = got_row;
                if (++requested == cancel_after) {
                    reading = false;
                    cancelled_job = true;
                }
            }
            if (!got_row)
                std::fill(row.begin(), row.end(), 0);
            if (!row.empty() && std::memcmp(image.row(y), row.data(), row.size()) != 0) {
                std::fprintf(stderr, "page %d row %u differs from the raster\n", p + 1, y);
                fail("a row was lost or changed");
            }
        }
    }
    cupsRasterClose(ras);
    close(fd);
    CHECK(p == pages, p, pages);
    return 0;
}
