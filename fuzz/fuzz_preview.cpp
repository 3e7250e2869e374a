// The preview tool's decoder on arbitrary bytes: the whole printer stream,
// a bare IMG image, and the plain-words description of each page.
//
// Checked: nothing crashes or reads outside the input; an error points
// inside the stream (or just past its end); every page read in full ends in
// its A line and has as many rows as its IMG header declares, each row
// within the stored ones.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "preview/decode.h"
#include "preview/describe.h"

namespace {

[[noreturn]] void fail(const char *what, size_t a = 0, size_t b = 0)
{
    std::fprintf(stderr, "fuzz_preview: %s (%zu, %zu)\n", what, a, b);
    std::abort();
}

void check_image(const img_image &image, bool whole)
{
    const size_t stored = image.row_bytes ? image.store.size() / image.row_bytes : 0;
    if (whole && image.row_bytes != (size_t{image.header.line_width} + 7) / 8)
        fail("row length does not follow the line width", image.row_bytes, image.header.line_width);
    if (whole && image.rows.size() != image.header.lines)
        fail("a whole image without all its rows", image.rows.size(), image.header.lines);
    if (image.rows.size() > image.header.lines)
        fail("more rows than the header declares", image.rows.size(), image.header.lines);
    for (uint32_t r : image.rows)
        if (image.row_bytes && r >= stored)
            fail("a row outside the stored rows", r, stored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::span<const unsigned char> bytes(data, size);

    const decoded_stream stream = decode_stream(bytes);
    if (stream.error.offset > size)
        fail("error offset past the end", stream.error.offset, size);
    if (stream.error.what.empty() && stream.pages.empty())
        fail("no page and no error");
    for (const stream_page &page : stream.pages) {
        if (page.lines.empty() || !page.lines.back().text.starts_with('A'))
            fail("a page that does not end in its A line", page.offset);
        std::vector<std::string> lines;
        for (const stream_line &line : page.lines) {
            if (line.offset < page.offset || line.offset >= size)
                fail("a line outside its page", line.offset, page.offset);
            lines.push_back(line.text);
        }
        if (page.has_image) {
            if (page.image_offset < page.offset || page.image_before > page.lines.size())
                fail("image outside its page", page.image_offset, page.offset);
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
    const size_t used = decode_img(bytes, 1000, image, error);
    if (used > size)
        fail("decode_img used more bytes than it had", used, size);
    if (!error.what.empty() && (error.offset < 1000 || error.offset > 1000 + size))
        fail("decode_img error outside the image", error.offset, size);
    check_image(image, error.what.empty());
    printable(std::string_view(reinterpret_cast<const char *>(data), std::min<size_t>(size, 64)));
    return 0;
}
