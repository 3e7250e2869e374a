// Joins raster streams into one multi-page stream, each input repeated a
// number of times: raster_join OUT REPEAT IN...
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <cups/raster.h>

struct page {
    cups_page_header2_t header;
    std::vector<unsigned char> pixels;
};

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fputs("usage: raster_join OUT REPEAT IN...\n", stderr);
        return 2;
    }
    std::vector<page> pages;
    for (int i = 3; i < argc; i++) {
        int fd = open(argv[i], O_RDONLY);
        if (fd < 0) {
            std::perror(argv[i]);
            return 1;
        }
        cups_raster_t *in = cupsRasterOpen(fd, CUPS_RASTER_READ);
        page p;
        while (in && cupsRasterReadHeader2(in, &p.header)) {
            p.pixels.assign(size_t{p.header.cupsBytesPerLine} * p.header.cupsHeight, 0);
            if (!p.pixels.empty())
                cupsRasterReadPixels(in, p.pixels.data(), static_cast<unsigned>(p.pixels.size()));
            pages.push_back(p);
        }
        cupsRasterClose(in);
        close(fd);
    }
    int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t *out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);  // uncompressed, as CUPS writes it
    int repeat = std::atoi(argv[2]);
    for (int r = 0; r < repeat; r++)
        for (page &p : pages) {
            cupsRasterWriteHeader2(out, &p.header);
            cupsRasterWritePixels(out, p.pixels.data(), static_cast<unsigned>(p.pixels.size()));
        }
    cupsRasterClose(out);
    close(fd);
    std::fprintf(stderr, "%zu pages x %d\n", pages.size(), repeat);
    return pages.empty() ? 1 : 0;
}
