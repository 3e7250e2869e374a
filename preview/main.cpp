// zaridiravid-preview: shows what a zaridiravid printer stream holds, without
// a printer: each page's image as a PNG file and its label job block in words.
//
//   zaridiravid-preview [-o PATTERN] [--page N] [--text] [--resolution DPI] [FILE]
#include <getopt.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "preview/decode.h"
#include "preview/describe.h"
#include "preview/png.h"

namespace {

const char *const program = "zaridiravid-preview";

enum exit_status { status_ok = 0, status_malformed = 1, status_usage = 2, status_io = 3 };

void usage(FILE *out)
{
    std::fprintf(out,
                 "Usage: %s [OPTION]... [FILE]\n"
                 "Shows what a zaridiravid printer stream holds: every page's image as a PNG file\n"
                 "and its label settings in plain words. Reads FILE, or standard input when FILE\n"
                 "is missing or \"-\".\n"
                 "\n"
                 "  -o, --output=PATTERN    PNG file names: %%d is the page number, %%%% a %%\n"
                 "                          (default page-%%d.png)\n"
                 "  -p, --page=N            only page N\n"
                 "  -t, --text              words only, no PNG files\n"
                 "  -r, --resolution=DPI    record DPI dots per inch in the PNG files\n"
                 "  -h, --help              show this help\n"
                 "  -V, --version           show the version\n"
                 "\n"
                 "Exit status: 0 all good, 1 malformed stream, 2 usage error,\n"
                 "3 a file could not be read or written.\n",
                 program);
}

struct options {
    std::string pattern = "page-%d.png";
    unsigned long page = 0;  // 0: all pages
    bool text = false;
    unsigned long dpi = 0;
    std::string input = "-";
};

bool whole_number(const char *text, unsigned long low, unsigned long high, unsigned long &value)
{
    const char *end = text + std::strlen(text);
    auto [stop, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && stop == end && stop != text && value >= low && value <= high;
}

// Returns -1 to go on, or the exit status.
int parse_options(int argc, char *argv[], options &opt)
{
    static const option longs[] = {{"output", required_argument, nullptr, 'o'},
                                   {"page", required_argument, nullptr, 'p'},
                                   {"text", no_argument, nullptr, 't'},
                                   {"resolution", required_argument, nullptr, 'r'},
                                   {"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, 'V'},
                                   {nullptr, 0, nullptr, 0}};
    int c;
    while ((c = getopt_long(argc, argv, "o:p:tr:hV", longs, nullptr)) != -1) {
        switch (c) {
        case 'o':
            opt.pattern = optarg;
            if (opt.pattern.empty()) {
                std::fprintf(stderr, "%s: the output pattern is empty\n", program);
                return status_usage;
            }
            break;
        case 'p':
            if (!whole_number(optarg, 1, 1000000000, opt.page)) {
                std::fprintf(stderr, "%s: --page needs a page number from 1 on, not \"%s\"\n", program,
                             printable(optarg).c_str());
                return status_usage;
            }
            break;
        case 't':
            opt.text = true;
            break;
        case 'r':
            if (!whole_number(optarg, 1, 100000, opt.dpi)) {
                std::fprintf(stderr, "%s: --resolution needs dots per inch from 1 to 100000, not \"%s\"\n", program,
                             printable(optarg).c_str());
                return status_usage;
            }
            break;
        case 'h':
            usage(stdout);
            return status_ok;
        case 'V':
            std::printf("%s %s\n", program, ZARIDIRAVID_VERSION);
            return status_ok;
        default:
            usage(stderr);
            return status_usage;
        }
    }
    if (argc - optind > 1) {
        std::fprintf(stderr, "%s: one input file at most\n", program);
        usage(stderr);
        return status_usage;
    }
    if (optind < argc)
        opt.input = argv[optind];
    return -1;
}

bool read_input(const std::string &name, std::vector<unsigned char> &bytes)
{
    FILE *in = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", program, name.c_str(), std::strerror(errno));
        return false;
    }
    unsigned char block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, in)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    bool ok = !std::ferror(in);
    if (!ok)
        std::fprintf(stderr, "%s: cannot read %s: %s\n", program, name.c_str(), std::strerror(errno));
    if (in != stdin)
        std::fclose(in);
    return ok;
}

// The PNG file name for a page. The pattern is never used as a format: "%d"
// becomes the page number, "%%" a "%", and any other "%" stays as it is. A
// pattern without "%d" that has to name several files gets "-N" before its
// extension.
std::string png_name(const std::string &pattern, size_t page, bool several)
{
    std::string name;
    bool numbered = false;
    for (size_t i = 0; i < pattern.size(); i++) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'd') {
            name += std::to_string(page);
            numbered = true;
            i++;
        } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
            name += '%';
            i++;
        } else {
            name += pattern[i];
        }
    }
    if (!numbered && several) {
        size_t slash = name.rfind('/');
        size_t dot = name.rfind('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
            dot = name.size();
        name.insert(dot, "-" + std::to_string(page));
    }
    return name;
}

void print_words(const std::vector<std::string> &words)
{
    for (const std::string &w : words)
        std::printf("      %s\n", w.c_str());
}

// Describes one page and writes its PNG; false if the PNG could not be written.
bool show_page(const stream_page &page, size_t number, const options &opt, bool several)
{
    std::printf("page %zu, from byte %zu\n", number, page.offset);
    std::vector<std::string> texts;
    for (const stream_line &line : page.lines)
        texts.push_back(line.text);
    std::vector<described_line> described = describe_lines(texts);

    bool ok = true;
    auto show_image = [&] {
        const img_image &image = page.image;
        std::printf("  [image at byte %zu]\n", page.image_offset);
        std::vector<std::string> words = {
            std::to_string(image.header.line_width) + " x " + std::to_string(image.header.lines) + " dots, " +
                std::to_string(image.row_bytes) + " bytes a row",
            "IMG pixel size " + std::to_string(image.header.pixel_width) + " x " +
                std::to_string(image.header.pixel_height) + " um"};
        if (opt.dpi) {
            words.push_back("resolution " + std::to_string(opt.dpi) + " dpi (given)");
        } else if (unsigned guess = guess_resolution(texts, image.header.lines)) {
            words.push_back("about " + std::to_string(guess) + " dpi, by the label height in the S line (--resolution " +
                            std::to_string(guess) + " records it in the PNG)");
        }
        if (!opt.text) {
            std::string name = png_name(opt.pattern, number, several);
            std::string failure = write_png(name, image, static_cast<unsigned>(opt.dpi));
            if (failure.empty()) {
                words.push_back("PNG: " + name);
            } else {
                words.push_back("no PNG: " + failure);
                std::fprintf(stderr, "%s: page %zu: %s\n", program, number, failure.c_str());
                ok = image.header.line_width == 0 || image.rows.empty();  // an empty image is no failure
            }
        }
        print_words(words);
    };

    size_t shown = 0;  // stream lines shown so far
    for (const described_line &d : described) {
        if (!d.left_out && page.has_image && shown++ == page.image_before)
            show_image();
        std::printf("  %s\n", d.line.c_str());
        print_words(d.words);
    }
    if (page.has_image && page.image_before == page.lines.size())
        show_image();
    if (!page.has_image)
        std::printf("  [no image on this page]\n");
    return ok;
}

}  // namespace

int main(int argc, char *argv[])
{
    options opt;
    int status = parse_options(argc, argv, opt);
    if (status >= 0)
        return status;

    std::vector<unsigned char> bytes;
    if (!read_input(opt.input, bytes))
        return status_io;
    decoded_stream stream = decode_stream(bytes);

    size_t images = 0;
    for (const stream_page &page : stream.pages)
        images += page.has_image;
    const bool several = opt.page == 0 && images > 1;

    status = status_ok;
    std::printf("%s: %zu bytes, %zu page%s read\n", opt.input == "-" ? "standard input" : opt.input.c_str(),
                bytes.size(), stream.pages.size(), stream.pages.size() == 1 ? "" : "s");
    for (size_t i = 0; i < stream.pages.size(); i++)
        if ((opt.page == 0 || opt.page == i + 1) && !show_page(stream.pages[i], i + 1, opt, several))
            status = status_io;
    std::fflush(stdout);

    if (!stream.error.what.empty()) {
        std::fprintf(stderr, "%s: malformed stream at byte %zu (0x%zX): %s\n", program, stream.error.offset,
                     stream.error.offset, stream.error.what.c_str());
        return status_malformed;
    }
    if (opt.page > stream.pages.size()) {
        std::fprintf(stderr, "%s: there is no page %lu: the stream holds %zu\n", program, opt.page,
                     stream.pages.size());
        return status_usage;
    }
    return status;
}
