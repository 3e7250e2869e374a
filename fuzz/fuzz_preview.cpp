// The preview tool's decoder on arbitrary bytes: the whole printer stream,
// a bare IMG image, and the plain-words description of each page.
//
// Checked: nothing crashes or reads outside the input; an error points
// inside the stream (or just past its end); every page read in full ends in
// its A line and has as many rows as its IMG header declares, each row
// within the stored ones.
#include <span>

#include "preview/decode.h"
#include "preview/describe.h"
#include "tests/support.h"

namespace {

void check_image(const img_image &image, bool whole)
{
    const size_t stored = image.row_bytes ? image.store.size() / image.row_bytes : 0;
    FUZZ_CHECK(!whole || image.row_bytes == (size_t{image.header.line_width} + 7) / 8, image.header.line_width);
    FUZZ_CHECK(!whole || image.rows.size() == image.header.lines, image.rows.size(), image.header.lines);
    FUZZ_CHECK(image.rows.size() <= image.header.lines, image.rows.size(), image.header.lines);
    for (uint32_t r : image.rows)
        FUZZ_CHECK(!image.row_bytes || r < stored, r, stored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::span<const unsigned char> in(data, size);

    const decoded_stream stream = decode_stream(in);
    FUZZ_CHECK(stream.error.offset <= size, stream.error.offset, size);
    FUZZ_CHECK(!stream.error.what.empty() || !stream.pages.empty());
    for (const stream_page &page : stream.pages) {
        FUZZ_CHECK(!page.lines.empty() && page.lines.back().text.starts_with('A'), page.offset);
        std::vector<std::string> lines;
        for (const stream_line &line : page.lines) {
            FUZZ_CHECK(line.offset >= page.offset && line.offset < size, line.offset, page.offset);
            lines.push_back(line.text);
        }
        if (page.has_image) {
            FUZZ_CHECK(page.image_offset >= page.offset && page.image_before <= page.lines.size(), page.image_offset);
            check_image(page.image, true);
        }
        describe_lines(lines);
        guess_resolution(lines, page.has_image ? page.image.header.lines : 0);
    }
    if (!stream.error.what.empty())
        printable(stream.error.what);

    // The bytes as a bare IMG image, with an offset added to its errors.
    img_image image;
    decode_error error;
    const size_t used = decode_img(in, 1000, image, error);
    FUZZ_CHECK(used <= size, used, size);
    FUZZ_CHECK(error.what.empty() || (error.offset >= 1000 && error.offset <= 1000 + size), error.offset, size);
    check_image(image, error.what.empty());
    printable(std::string_view(reinterpret_cast<const char *>(data), std::min<size_t>(size, 64)));
    return 0;
}
