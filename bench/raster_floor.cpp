// The floor for the filter benchmark: reads a raster stream with libcups,
// page headers and every row, and throws it away. Nothing a raster filter
// does can cost less than this.
//   raster_floor [file]    (standard input without a file)
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include <cups/raster.h>

int main(int argc, char *argv[])
{
    int fd = argc > 1 ? open(argv[1], O_RDONLY) : 0;
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;
    std::vector<unsigned char> row;
    unsigned long long bytes = 0;
    int pages = 0;
    while (ras && cupsRasterReadHeader2(ras, &header)) {
        pages++;
        row.resize(header.cupsBytesPerLine);
        for (unsigned y = 0; y < header.cupsHeight; y++)
            if (cupsRasterReadPixels(ras, row.data(), header.cupsBytesPerLine) == 0)
                break;
        bytes += static_cast<unsigned long long>(header.cupsBytesPerLine) * header.cupsHeight;
    }
    cupsRasterClose(ras);
    std::fprintf(stderr, "DEBUG: %d pages, %llu bytes of bitmap\n", pages, bytes);
    return pages ? 0 : 1;
}
