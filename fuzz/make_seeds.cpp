// Writes the fuzzers' seed corpora:
//
//   fuzz_seeds CORPUS_DIR LABEL_PPD [PPD...]
//
// CORPUS_DIR/fuzz_filter: raster streams written with libcups's own writer,
// in its three formats, with the pages the filter refuses and streams cut
// short; CORPUS_DIR/fuzz_img: bitmaps in fuzz_img's input layout, from the
// encoder's worked examples and its edge cases; CORPUS_DIR/fuzz_preview:
// printer streams the filter wrote (LABEL_PPD as the queue's PPD), a bare
// IMG image and one with a pattern run; CORPUS_DIR/fuzz_ppd: LABEL_PPD and
// each PPD given, behind a line of job options.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "filter/filter.h"
#include "tests/img/img_oracle.h"
#include "tests/raster_writer.h"

namespace {

std::string corpus;

std::string path(const std::string &target, const std::string &name)
{
    std::string dir = corpus + "/" + target;
    std::string mk = "mkdir -p '" + dir + "'";
    if (std::system(mk.c_str()) != 0)
        std::exit(1);
    return dir + "/" + name;
}

void save(const std::string &target, const std::string &name, const bytes &content)
{
    std::ofstream(path(target, name), std::ios::binary)
        .write(reinterpret_cast<const char *>(content.data()), static_cast<std::streamsize>(content.size()));
}

test_page make_page(unsigned width, unsigned height, std::vector<unsigned char> rows = {})
{
    test_page p;
    p.width = width;
    p.height = height;
    p.rows = std::move(rows);
    return p;
}

std::vector<unsigned char> stripes(unsigned width, unsigned height)
{
    return rows_from_pattern(width, height, [](unsigned x, unsigned y) { return (x / 8 + y / 4) % 3 == 0; });
}

void rasters()
{
    const std::string t = "fuzz_filter";
    write_raster(path(t, "v1_stripes.ras"), {make_page(64, 16, stripes(64, 16))});
    write_raster(path(t, "v2_two_pages_odd_bytes.ras"),
                 {make_page(100, 30, random_rows(100, 30, 7)), make_page(100, 30, stripes(100, 30))}, 0,
                 CUPS_RASTER_WRITE_COMPRESSED);
    write_raster(path(t, "pwg_page.ras"), {make_page(48, 20, stripes(48, 20))}, 0, CUPS_RASTER_WRITE_PWG);
    write_raster(path(t, "v1_cut_mid_page.ras"),
                 {make_page(32, 40, random_rows(32, 40, 3)), make_page(32, 40, random_rows(32, 40, 4))}, 50);
    test_page header_only = make_page(24, 10);
    header_only.header_only = true;
    write_raster(path(t, "v1_header_only.ras"), {header_only});
    test_page grey = make_page(16, 4);
    grey.bits_per_pixel = 8;
    write_raster(path(t, "v2_8bit_refused.ras"), {make_page(16, 4, stripes(16, 4)), grey}, 0,
                 CUPS_RASTER_WRITE_COMPRESSED);
    test_page loose = make_page(16, 3, std::vector<unsigned char>(18, 0x5A));
    loose.bytes_per_line = 6;
    write_raster(path(t, "v1_bytes_per_line_refused.ras"), {loose});
    test_page label = make_page(1200, 600);
    label.num_copies = 3;
    label.page_size[0] = 283;
    label.page_size[1] = 142;
    write_raster(path(t, "v2_blank_label_3_copies.ras"), {label}, 0, CUPS_RASTER_WRITE_COMPRESSED);
    write_raster(path(t, "v1_one_row.ras"), {make_page(8, 1, {0xA5})});
    write_raster(path(t, "v2_widest.ras"), {make_page(32767, 3, stripes(32767, 3))}, 0, CUPS_RASTER_WRITE_COMPRESSED);
    write_raster(path(t, "v2_three_sizes.ras"),
                 {make_page(8, 8, stripes(8, 8)), make_page(200, 12, random_rows(200, 12, 9)), make_page(17, 5)}, 0,
                 CUPS_RASTER_WRITE_COMPRESSED);
    write_raster(path(t, "v2_no_pages.ras"), {}, 0, CUPS_RASTER_WRITE_COMPRESSED);
}

// fuzz_img's layout: width, height (signed 16-bit, high byte first), pad, rows.
bytes bitmap(int width, int height, unsigned char pad, const bytes &rows)
{
    bytes b = {static_cast<unsigned char>(width >> 8 & 0xFF), static_cast<unsigned char>(width & 0xFF),
               static_cast<unsigned char>(height >> 8 & 0xFF), static_cast<unsigned char>(height & 0xFF), pad};
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

bytes repeat(unsigned char value, size_t n) { return bytes(n, value); }

void bitmaps()
{
    const std::string t = "fuzz_img";
    save(t, "row_runs_and_string.img", bitmap(64, 1, 0, hex("00 00 00 FF FF 12 34 00")));
    save(t, "row_string_stops.img", bitmap(96, 1, 0, hex("12 00 00 34 00 00 00 00 FF FF FF 56")));
    save(t, "row_tail_joins.img", bitmap(56, 1, 0, hex("12 00 00 34 FF FF FF")));
    save(t, "row_string_then_run.img", bitmap(40, 1, 0, hex("12 00 00 00 00")));
    save(t, "rows_replicated.img", bitmap(16, 4, 0, hex("F0 0F F0 0F F0 0F 00 00")));
    save(t, "odd_row_pad.img", bitmap(20, 2, 0x99, hex("AA BB C0 AA BB C0")));
    save(t, "rows_300_equal.img", bitmap(16, 300, 0, hex("3C 3C")));
    save(t, "rows_256_equal.img", bitmap(16, 256, 0, hex("81 7E")));
    save(t, "row_263_zero.img", bitmap(2100, 1, 0, repeat(0x00, 263)));
    save(t, "row_263_ones.img", bitmap(2100, 1, 0, repeat(0xFF, 263)));
    bytes mixed(255);
    for (size_t i = 0; i < mixed.size(); i++)
        mixed[i] = static_cast<unsigned char>(1 + i % 254);
    save(t, "row_254_string.img", bitmap(2032, 1, 0, bytes(mixed.begin(), mixed.begin() + 254)));
    save(t, "row_255_string.img", bitmap(2040, 1, 0, mixed));
    save(t, "width_0.img", bitmap(0, 3, 0, {}));
    save(t, "height_0.img", bitmap(64, 0, 0, hex("12 34")));
    save(t, "width_negative.img", bitmap(-8, 2, 0, hex("12 34")));
    save(t, "widest_row.img", bitmap(32767, 2, 0x77, hex("12 00 00 00 FF FF FF 34")));
    std::mt19937 gen(11);
    save(t, "biased_rows_2000.img", bitmap(2000, 6, 0, biased_rows(gen, 250, 6)));
    save(t, "biased_rows_520.img", bitmap(520, 40, 0xFF, biased_rows(gen, 65, 40)));
}

// Runs the filter on a raster file with stdout going to `out`.
void filter_run(const std::string &raster, const std::string &out)
{
    std::fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    close(fd);
    char *argv[] = {const_cast<char *>("zaridiravid"), const_cast<char *>("1"), const_cast<char *>("seed"),
                    const_cast<char *>("label"),       const_cast<char *>("1"), const_cast<char *>(""),
                    const_cast<char *>(raster.c_str()), nullptr};
    filter_main(7, argv);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
}

void streams(const std::string &label_ppd)
{
    const std::string t = "fuzz_preview";
    setenv("PPD", label_ppd.c_str(), 1);
    for (const char *name : {"v1_stripes", "v2_two_pages_odd_bytes", "v2_blank_label_3_copies", "v1_one_row"})
        filter_run(path("fuzz_filter", std::string(name) + ".ras"), path(t, std::string(name) + ".prn"));
    bytes image = oracle_header(16, 4);
    bytes lines = hex("00 00 FF 03 80 02 F0 0F 02");
    image.insert(image.end(), lines.begin(), lines.end());
    save(t, "bare.img", image);
    // An image from another IMG writer: pattern length 2, a pattern run.
    std::string text = "e img;*\rd IMG;cups\r\x1b:";
    bytes pattern = hex("00 01 00 08 00 01 00 02 00 53 00 53 00 30 00 02  00 03 AB CD  00 00 FF 01 06");
    text.append(pattern.begin(), pattern.end());
    text += "\x1b" "end-of-data" "m m\r\nJ\r\nO D\r\nH 4,10,T\r\nS l1;0.00,0.00,50.09,53.09,99.8\r\n"
            "I 0,0,0;cups\r\nA1\r\n";
    save(t, "pattern_run.prn", bytes(text.begin(), text.end()));
}

void ppds(const std::vector<std::string> &files)
{
    static const char *const options[] = {
        "",
        "Cutter=True cCutterMode=CMOD2E PeelOff=True cPeelOffDir=PODIRM",
        "Heat=12 Speed=6 PrintMethod=False LabelSensor=LSE BackFeed=BFS",
        "LabelMirrored=true LabelRotate=True TearOffMode=True PageSize=Custom.100x50mm copies=2",
        "Cutter=True cCutterMode=CMOD1I cCutterInterval=5 cCutterOffset1Dir=Minus PrnHeadOffsetYDir=Minus",
    };
    size_t i = 0;
    for (const std::string &file : files) {
        std::ifstream in(file, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string seed = std::string(options[i % std::size(options)]) + "\n" + text;
        std::string name = file.substr(file.find_last_of('/') + 1);
        save("fuzz_ppd", name, bytes(seed.begin(), seed.end()));
        i++;
    }
}

}  // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("usage: fuzz_seeds CORPUS_DIR LABEL_PPD [PPD...]\n", stderr);
        return 2;
    }
    corpus = argv[1];
    rasters();
    bitmaps();
    streams(argv[2]);
    ppds(std::vector<std::string>(argv + 2, argv + argc));
    return 0;
}
