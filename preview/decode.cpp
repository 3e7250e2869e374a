// Reading a printer stream back.
//
// An IMG scan line is made of records, each covering bytes of one row:
//   n          (n = 1..127)   n bytes of 0x00
//   0x80 + n   (n = 1..127)   n bytes of 0xFF
//   80 n data  (n = 1..255)   n bytes copied as they are (a bit string)
//   00 n pat   (n = 1..255)   the header's pattern-length bytes `pat`, n times
// and a scan line may be preceded by 00 00 FF n: "the next scan line stands
// for n rows". Our filter writes all but the pattern run; other IMG writers
// use it too, so it is read here.
//
// Every count is checked against the row and the declared line count, and
// row memory grows only as rows arrive, so a header that claims 65535 x 65535
// pixels costs nothing until the data is there.
#include "preview/decode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned char esc = 0x1B;
constexpr std::string_view end_of_data = "\x1b" "end-of-data";

std::string hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string num(size_t value) { return std::to_string(value); }

unsigned word_at(std::span<const unsigned char> bytes, size_t at)
{
    return unsigned{bytes[at]} << 8 | bytes[at + 1];
}

// Decodes the scan lines of an image whose header is already read.
struct scan_reader {
    std::span<const unsigned char> bytes;
    size_t base;
    size_t pos;
    img_image &image;
    decode_error &error;

    size_t left() const { return bytes.size() - pos; }

    bool fail(size_t at, std::string what)
    {
        error.offset = base + at;
        error.what = std::move(what);
        return false;
    }

    std::string where(size_t row, size_t col) const
    {
        return "at byte " + num(col) + " of row " + num(row + 1) + " (" + num(image.row_bytes) + " bytes a row)";
    }

    // One scan line into `out`; `row` counts from 0, for the messages.
    bool scan_line(unsigned char *out, size_t row)
    {
        const size_t width = image.row_bytes;
        const size_t pattern = image.header.pattern_length;
        size_t col = 0;
        while (col < width) {
            const size_t at = pos;
            if (left() == 0)
                return fail(at, "the stream ends inside row " + num(row + 1) + ", after " + num(col) + " of its " +
                                    num(width) + " bytes");
            const unsigned char b = bytes[pos];
            if (b == 0x00 || b == 0x80) {
                if (left() < 2)
                    return fail(at, "the stream ends inside a record " + where(row, col));
                const size_t n = bytes[pos + 1];
                if (b == 0x00 && n == 0)
                    return fail(at, "vertical replication record " + where(row, col) +
                                        "; it may only stand before a scan line");
                if (b == 0x80 && n == 0)
                    return fail(at, "bit string of 0 bytes " + where(row, col));
                const size_t covers = b == 0x80 ? n : n * pattern;
                const size_t data = b == 0x80 ? n : pattern;
                const char *kind = b == 0x80 ? "bit string" : "pattern run";
                if (covers > width - col)
                    return fail(at, std::string(kind) + " of " + num(covers) + " bytes " + where(row, col) +
                                        " passes the end of the row");
                if (left() - 2 < data)
                    return fail(at, std::string("the stream ends inside a ") + kind + " " + where(row, col) +
                                        ": it needs " + num(data) + " data bytes, " + num(left() - 2) + " are left");
                const unsigned char *src = bytes.data() + pos + 2;
                if (b == 0x80)
                    std::memcpy(out + col, src, n);
                else
                    for (size_t k = 0; k < n; k++)
                        std::memcpy(out + col + k * pattern, src, pattern);
                pos += 2 + data;
                col += covers;
            } else {
                const size_t n = b & 0x7F;
                if (n > width - col)
                    return fail(at, "solid run of " + num(n) + " bytes of " + hex(b & 0x80 ? 0xFF : 0x00) + " " +
                                        where(row, col) + " passes the end of the row");
                std::memset(out + col, b & 0x80 ? 0xFF : 0x00, n);
                pos++;
                col += n;
            }
        }
        return true;
    }

    bool all_lines()
    {
        const size_t lines = image.header.lines;
        while (image.rows.size() < lines) {
            const size_t row = image.rows.size();
            size_t repeat = 1;
            if (left() >= 2 && bytes[pos] == 0x00 && bytes[pos + 1] == 0x00) {
                if (left() < 4)
                    return fail(pos, "the stream ends inside the vertical replication record before row " +
                                         num(row + 1));
                if (bytes[pos + 2] != 0xFF)
                    return fail(pos + 2, "00 00 before row " + num(row + 1) + " is followed by " + hex(bytes[pos + 2]) +
                                             ", not by FF and a count (a vertical replication record)");
                repeat = bytes[pos + 3];
                if (repeat == 0)
                    return fail(pos + 3, "vertical replication count 0 before row " + num(row + 1));
                if (repeat > lines - row)
                    return fail(pos + 3, "vertical replication of " + num(repeat) + " rows from row " + num(row + 1) +
                                             " passes the " + num(lines) + " lines that the header declares");
                pos += 4;
            } else if (left() == 0 && image.row_bytes > 0) {
                return fail(pos, "the stream ends after " + num(row) + " of the " + num(lines) +
                                     " lines that the IMG header declares");
            }
            const size_t index = image.row_bytes ? image.store.size() / image.row_bytes : 0;
            image.store.resize(image.store.size() + image.row_bytes);
            if (!scan_line(image.store.data() + index * image.row_bytes, row))
                return false;
            image.rows.insert(image.rows.end(), repeat, static_cast<uint32_t>(index));
        }
        return true;
    }
};

}  // namespace

std::string printable(std::string_view bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\')
            text += static_cast<char>(c);
        else if (c == '\\')
            text += "\\\\";
        else
            text += "\\x" + hex(c).substr(2);
    }
    return text;
}

size_t decode_img(std::span<const unsigned char> bytes, size_t base, img_image &image, decode_error &error)
{
    auto fail = [&](size_t at, std::string what) {
        error.offset = base + at;
        error.what = std::move(what);
        return at;
    };
    image = img_image{};
    if (bytes.size() < 16)
        return fail(bytes.size(), "the stream ends inside the IMG header, after " + num(bytes.size()) + " of 16 bytes");
    img_header &h = image.header;
    uint16_t *words[] = {&h.version,     &h.header_words, &h.planes,     &h.pattern_length,
                         &h.pixel_width, &h.pixel_height, &h.line_width, &h.lines};
    for (size_t i = 0; i < 8; i++)
        *words[i] = static_cast<uint16_t>(word_at(bytes, 2 * i));

    if (h.version != 1)
        return fail(0, "IMG version " + num(h.version) + ", expected 1");
    if (h.header_words < 8)
        return fail(2, "IMG header length of " + num(h.header_words) + " words; it is at least 8");
    if (h.planes != 1)
        return fail(4, "IMG image with " + num(h.planes) + " planes; only 1 plane (black and white) can be shown");
    if (h.pattern_length == 0)
        return fail(6, "IMG pattern length 0; it is at least 1");
    // Longer headers (extended IMG) carry words that a 1-plane image can do without.
    const size_t header_bytes = size_t{h.header_words} * 2;
    if (bytes.size() < header_bytes)
        return fail(bytes.size(), "the stream ends inside the IMG header of " + num(header_bytes) + " bytes");

    image.row_bytes = (size_t{h.line_width} + 7) / 8;
    scan_reader reader{bytes, base, header_bytes, image, error};
    reader.all_lines();
    return reader.pos;
}

decoded_stream decode_stream(std::span<const unsigned char> bytes)
{
    decoded_stream out;
    stream_page page;
    bool open = false;  // the page has begun
    size_t pos = 0;
    const size_t size = bytes.size();
    auto fail = [&](size_t at, const std::string &what) {
        out.error.offset = at;
        out.error.what = "page " + num(out.pages.size() + 1) + ": " + what;
        return std::move(out);
    };
    auto begin = [&](size_t at) {
        if (!open) {
            page = stream_page{};
            page.offset = at;
            open = true;
        }
    };

    while (pos < size) {
        const unsigned char b = bytes[pos];
        if (b == '\r' || b == '\n') {  // an empty line
            pos++;
            continue;
        }
        if (b == esc) {
            if (pos + 1 < size && bytes[pos + 1] == ':') {
                if (open && page.has_image)
                    return fail(pos, "a second image starts before the page's print command (the A line)");
                begin(pos);
                page.has_image = true;
                page.image_offset = pos;
                page.image_before = page.lines.size();
                decode_error error;
                pos += 2 + decode_img(bytes.subspan(pos + 2), pos + 2, page.image, error);
                if (!error.what.empty())
                    return fail(error.offset, error.what);
                std::string_view rest(reinterpret_cast<const char *>(bytes.data() + pos), size - pos);
                if (rest.starts_with(end_of_data)) {
                    pos += end_of_data.size();
                    continue;
                }
                if (rest.empty() || end_of_data.starts_with(rest))
                    return fail(pos, "the stream ends after the image, before its ESC \"end-of-data\"");
                return fail(pos, "after the image's " + num(page.image.header.lines) + " lines comes " +
                                     hex(bytes[pos]) +
                                     " instead of ESC \"end-of-data\": the image holds more data than its header "
                                     "declares");
            }
            if (std::string_view(reinterpret_cast<const char *>(bytes.data() + pos), size - pos)
                    .starts_with(end_of_data))
                return fail(pos, "ESC \"end-of-data\" without an image before it");
            if (pos + 1 == size)
                return fail(pos, "the stream ends with an ESC");
            return fail(pos, "ESC followed by " + hex(bytes[pos + 1]) + " is not the start of an image (ESC \":\")");
        }

        const size_t start = pos;
        while (pos < size && bytes[pos] != '\r' && bytes[pos] != '\n') {
            const unsigned char c = bytes[pos];
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                return fail(pos, "byte " + hex(c) + " inside the command line that starts at byte " + num(start));
            pos++;
        }
        std::string text(reinterpret_cast<const char *>(bytes.data() + start), pos - start);
        if (pos == size)
            return fail(start, "the stream ends inside the command line \"" + printable(text.substr(0, 40)) +
                                   "\", before its CR");
        pos++;
        if (bytes[pos - 1] == '\r' && pos < size && bytes[pos] == '\n')
            pos++;
        begin(start);
        const bool print = text.starts_with('A');
        page.lines.push_back({start, std::move(text)});
        if (print) {
            out.pages.push_back(std::move(page));
            open = false;
        }
    }
    if (open)
        return fail(size, "the stream ends before the page's print command (the A line)");
    if (out.pages.empty())
        out.error = {size, size ? "no page in the stream" : "the stream is empty"};
    return out;
}
