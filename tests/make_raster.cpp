// Writes a small raster stream: make_raster OUT WIDTH HEIGHT [PAGES] [random|blank|stripes]
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/raster_writer.h"

int main(int argc, char *argv[])
{
    if (argc < 4)
        return 2;
    test_page page;
    page.width = static_cast<unsigned>(std::atoi(argv[2]));
    page.height = static_cast<unsigned>(std::atoi(argv[3]));
    int pages = argc > 4 ? std::atoi(argv[4]) : 1;
    std::string kind = argc > 5 ? argv[5] : "stripes";
    if (kind == "random")
        page.rows = random_rows(page.width, page.height, 1);
    else if (kind == "stripes")
        page.rows = rows_from_pattern(page.width, page.height, [](unsigned x, unsigned y) { return (x / 8 + y / 4) % 3 == 0; });
    write_raster(argv[1], std::vector<test_page>(static_cast<size_t>(pages), page));
    return 0;
}
