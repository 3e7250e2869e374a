// zaridiravid: CUPS filter from 1-bit CUPS raster to the label printers'
// command language.
//
//   zaridiravid job-id user title copies options [file]
//
// Per page the printer gets an image download (the bitmap as a GEM IMG
// image) and a label job block that sets up the label and prints the image.
#include "filter/filter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <cups/cups.h>
#include <cups/raster.h>

#include "filter/job.h"
#include "img/img.h"
#include "settings/options.h"

int page = 0;

namespace {

struct free_deleter {
    void operator()(void *p) const { std::free(p); }
};
using bitmap_data = std::unique_ptr<unsigned char, free_deleter>;

struct raster_closer {
    void operator()(cups_raster_t *ras) const { cupsRasterClose(ras); }
};

// Bytes from one bitmap row to the next: the raster row made even.
size_t rowStride(const cups_page_header_t &header)
{
    return (size_t{header.cupsBytesPerLine} + 1) / 2 * 2;
}

// Reads the page's rows into the bitmap until all are read, the stream ends
// or the job is cancelled; rows never read are made blank.
void readPage(cups_raster_t *ras, const cups_page_header_t &header, unsigned char *data)
{
    const size_t stride = rowStride(header);
    unsigned y = 0;
    for (; y < header.cupsHeight && !cancelled; y++)
        if (cupsRasterReadPixels(ras, data + y * stride, header.cupsBytesPerLine) == 0)
            break;
    std::memset(data + y * stride, 0, (header.cupsHeight - y) * stride);
}

// One page's journey: raster rows, bitmap, IMG image, label job block.
void outputPage(cups_raster_t *ras, const cups_page_header_t &header, const job_settings &job, bitmap_data data)
{
    const img_bitmap bitmap = {static_cast<int16_t>(header.cupsWidth), static_cast<int16_t>(header.cupsHeight),
                               data.get()};
    startPage(&header);
    readPage(ras, header, bitmap.data);
    printpage(&header, bitmap, job);
}

// The page's bitmap, or null when it can't be had. It is not cleared here:
// readPage fills every row, blank where the raster gave none.
bitmap_data createBitmap(const cups_page_header_t &header)
{
    const size_t size = size_t{header.cupsHeight} * rowStride(header);
    return bitmap_data(static_cast<unsigned char *>(std::malloc(size ? size : 1)));
}

}  // namespace

int filter_main(int argc, char *argv[])
{
    std::setbuf(stderr, nullptr);

    if (argc == 2) {
        if (std::strcmp(argv[1], "--version") != 0)
            return 1;
        std::fputs("zaridiravid v1.12.2 2007-03-05\n", stderr);
        return 0;
    }
    if (argc < 6 || argc > 7) {
        std::fputs("ERROR: zel - zaridiravid job-id user title copies options [file]\n", stderr);
        return 1;
    }

    int fd = 0;
    if (argc == 7 && (fd = open(argv[6], O_RDONLY)) < 0) {
        std::perror("ERROR: zel - Unable to open raster file - ");
        sleep(1);
        return 1;
    }

    // A printer that hangs up must not kill us before we can say so.
    std::signal(SIGPIPE, SIG_IGN);

    cups_option_t *options = nullptr;
    int num_options = cupsParseOptions(argv[5], 0, &options);
    std::unique_ptr<cups_raster_t, raster_closer> ras(cupsRasterOpen(fd, CUPS_RASTER_READ));

    const job_settings job = setup(num_options, options);

    page = 0;
    cancelled = 0;
    bool refused = false;
    cups_page_header_t header;
    while (ras && cupsRasterReadHeader(ras.get(), &header)) {
        std::string why = page_refusal(header);
        bitmap_data data;
        if (why.empty() && !(data = createBitmap(header)))
            why = "no memory for its bitmap";
        if (!why.empty()) {
            std::fprintf(stderr, "ERROR: zel - Page %d refused: %s\n", page + 1, why.c_str());
            refused = true;
            break;
        }

        page++;
        std::fprintf(stderr, "PAGE: %d 1\n", page);
        outputPage(ras.get(), header, job, std::move(data));
        if (cancelled)
            break;
    }

    ras.reset();
    if (fd != 0)
        close(fd);
    cupsFreeOptions(num_options, options);

    if (page == 0) {
        if (!refused)
            std::fputs("ERROR: zel - No pages found!\n", stderr);
        return 1;
    }
    // A write that failed earlier leaves only the stream's error flag.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ERROR: zel - Unable to write to the printer - %s\n",
                     errno ? std::strerror(errno) : "write error");
        return 1;
    }
    std::fputs("DEBUG: zel - Ready to print.\n", stderr);
    return 0;
}
