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
#include <cstring>

#include "filter/filter.h"
#include "filter/job.h"
#include "preview/decode.h"
#include "tests/support.h"

namespace {

std::string raster_path;      // the input, as the raster file
unsigned cancel_after = 0;    // rows to read before SIGTERM; 0 = never
unsigned rows_requested = 0;  // cupsRasterReadPixels calls in this run

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
    const int raster = memfd_create("raster", 0), printer = memfd_create("printer", 0);
    FUZZ_CHECK(raster >= 0 && printer >= 0 && dup2(printer, STDOUT_FILENO) >= 0, "memory files");
    close(printer);
    raster_path = "/proc/self/fd/" + std::to_string(raster);
    setenv("PPD", FUZZ_LABEL_PPD, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_file(raster_path, bytes(data, data + size));
    std::fflush(stdout);
    FUZZ_CHECK(ftruncate(STDOUT_FILENO, 0) == 0 && lseek(STDOUT_FILENO, 0, SEEK_SET) == 0);
    std::clearerr(stdout);
    cancel_after = size % 4 == 3 ? 1 + static_cast<unsigned>(size / 4 % 97) : 0;
    rows_requested = 0;

    char *argv[] = {const_cast<char *>("zaridiravid"), const_cast<char *>("1"), const_cast<char *>("fuzz"),
                    const_cast<char *>("label"),       const_cast<char *>("1"), const_cast<char *>(""),
                    raster_path.data(),                nullptr};
    const int status = filter_main(7, argv), pages = page;
    std::fflush(stdout);
    const bytes out = read_file("/proc/self/fd/1");  // the printer stream, from its start
    FUZZ_CHECK(status == (pages > 0 ? 0 : 1), status, pages);
    FUZZ_CHECK(pages > 0 || out.empty(), out.size());
    if (pages == 0)
        return 0;
    const decoded_stream stream = decode_stream(out);
    FUZZ_CHECK(stream.error.what.empty(), stream.error.what, "at byte", stream.error.offset);
    FUZZ_CHECK(stream.pages.size() == size_t(pages), stream.pages.size(), pages);

    // The same raster read again with libcups, as the filter reads it: a
    // failed read ends a page's rows, and a cancel stops after the row being
    // read; the rest are blank.
    const int fd = open(raster_path.c_str(), O_RDONLY);
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    unsigned requested = 0;
    bool cancelled_job = false;
    cups_page_header_t h;
    int p = 0;
    for (; !cancelled_job && cupsRasterReadHeader(ras, &h) && page_refusal(h).empty(); p++) {
        FUZZ_CHECK(p < pages, p, pages);
        const stream_page &got = stream.pages[size_t(p)];
        FUZZ_CHECK(got.has_image && got.image_before == 2 && got.lines[0].text == "e img;*" &&
                   got.lines[1].text == "d IMG;cups", p);
        const img_image &image = got.image;
        FUZZ_CHECK(image.header.line_width == uint16_t(h.cupsBytesPerLine * 8) && image.header.lines == h.cupsHeight &&
                   image.rows.size() == h.cupsHeight && image.row_bytes == h.cupsBytesPerLine, p);
        bytes row(h.cupsBytesPerLine);
        for (unsigned y = 0, reading = 1; y < h.cupsHeight; y++) {
            const bool got_row = reading && __real_cupsRasterReadPixels(ras, row.data(), h.cupsBytesPerLine) != 0;
            cancelled_job = cancelled_job || (reading && ++requested == cancel_after);
            reading = got_row && !cancelled_job;
            if (!got_row)
                std::fill(row.begin(), row.end(), 0);
            FUZZ_CHECK(row.empty() || std::memcmp(image.row(y), row.data(), row.size()) == 0, "page", p + 1, "row", y);
        }
    }
    cupsRasterClose(ras);
    close(fd);
    FUZZ_CHECK(p == pages, p, pages);
    return 0;
}
