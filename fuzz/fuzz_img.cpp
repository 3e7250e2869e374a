// The IMG encoder on arbitrary bitmaps, against the reference encoder and
// decoder of the tests.
//
// Input: width (2 bytes, signed, high byte first), height (2 bytes, signed),
// the value of the pad bytes, then the rows, each (width + 7) / 8 bytes.
// When the bytes run out, the last row given repeats to the bottom, so long
// groups of equal rows come cheap. Bitmaps are held to 1 MiB: 256 rows of
// the widest width, or thousands of narrow ones.
//
// Checked: the header against the reference header; write_img's bytes
// against the reference encoder, byte for byte; those bytes decoded back
// into the very rows given; and for every row, encode_scanline,
// encode_scanline_portable and the reference scan line agree and stay within
// img_scanline_bound. Rows and output buffers are heap blocks of exactly the
// size the encoder may use, so the address sanitizer sees any byte beyond.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "img/img.h"
#include "tests/img/img_oracle.h"

namespace {

constexpr size_t max_bitmap = 1u << 20;
constexpr size_t max_row = 4096;  // a 32767-pixel row

[[noreturn]] void fail(const char *what, long a = 0, long b = 0)
{
    std::fprintf(stderr, "fuzz_img: %s (%ld, %ld)\n", what, a, b);
    std::abort();
}

// What a function writes to a stream, as bytes.
template <class Write>
bytes captured(Write write)
{
    char *buffer = nullptr;
    size_t size = 0;
    FILE *f = open_memstream(&buffer, &size);
    if (!f)
        fail("open_memstream");
    write(f);
    std::fclose(f);
    bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

void check_scanline(const unsigned char *source, size_t len)
{
    // Exact-size copies: a read past the row or a write past the bound is
    // caught at once.
    std::unique_ptr<unsigned char[]> row(new unsigned char[len ? len : 1]);
    if (len)
        std::memcpy(row.get(), source, len);
    const size_t bound = img_scanline_bound(len);
    std::unique_ptr<unsigned char[]> fast(new unsigned char[bound]);
    std::unique_ptr<unsigned char[]> plain(new unsigned char[bound]);
    const size_t n_fast = encode_scanline(row.get(), len, fast.get());
    const size_t n_plain = encode_scanline_portable(row.get(), len, plain.get());
    const bytes reference = oracle_scanline(row.get(), len);
    // The bound covers the replication record that may stand before the line.
    if (n_fast + 4 > bound || n_plain + 4 > bound)
        fail("scan line longer than img_scanline_bound", static_cast<long>(n_fast), static_cast<long>(len));
    if (n_fast != reference.size() || (n_fast && std::memcmp(fast.get(), reference.data(), n_fast) != 0))
        fail("encode_scanline differs from the reference", static_cast<long>(n_fast), static_cast<long>(len));
    if (n_plain != reference.size() || (n_plain && std::memcmp(plain.get(), reference.data(), n_plain) != 0))
        fail("encode_scanline_portable differs from the reference", static_cast<long>(n_plain),
             static_cast<long>(len));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const int16_t width = static_cast<int16_t>(data[0] << 8 | data[1]);
    int16_t height = static_cast<int16_t>(data[2] << 8 | data[3]);
    const unsigned char pad = data[4];
    data += 5;
    size -= 5;

    // Header: the line width's high bits come from the pad byte, to see
    // that only the low 16 bits are kept.
    const uint32_t linewidth = static_cast<uint32_t>(static_cast<uint16_t>(width)) * 8 + (uint32_t{pad} << 16);
    const uint32_t lines = static_cast<uint32_t>(height);
    if (captured([&](FILE *f) { write_IMG_Header(f, linewidth, lines); }) != oracle_header(linewidth, lines))
        fail("write_IMG_Header differs from the reference header");

    if (width < 0) {
        // Wider than the filter ever asks for: the encoder may refuse or
        // clip such a bitmap, and must survive it. Rows of the widest
        // bitmap are there for a clipping encoder to read.
        const int16_t some = std::min<int16_t>(height, 64);
        std::vector<unsigned char> wide(static_cast<size_t>(some > 0 ? some : 0) * 4096 + 1, pad);
        img_bitmap bitmap = {width, some, wide.data()};
        captured([&](FILE *f) { write_img(bitmap, f); });
        return 0;
    }
    const size_t stride = static_cast<size_t>(img_row_stride(width));
    const size_t len = static_cast<size_t>(img_row_length(width));
    if (height > 0 && stride && size_t(height) * stride > max_bitmap)
        height = static_cast<int16_t>(max_bitmap / stride);
    const size_t rows = height > 0 ? static_cast<size_t>(height) : 0;

    // The bitmap, pad bytes set, rows from the input, the last one repeated.
    std::vector<unsigned char> pixels(rows * stride, pad);
    size_t given = len ? size / len : 0;
    for (size_t r = 0; len && r < rows; r++) {
        size_t from = r < given ? r : given;
        if (from < given)
            std::memcpy(pixels.data() + r * stride, data + from * len, len);
        else if (given > 0)
            std::memcpy(pixels.data() + r * stride, data + (given - 1) * len, len);
        else
            std::memset(pixels.data() + r * stride, 0, len);
    }
    // Rows of width 0 hold no byte, yet the rows are somewhere, as in the filter.
    static unsigned char nothing[1];
    unsigned char *const base = pixels.empty() ? nothing : pixels.data();
    img_bitmap bitmap = {width, height, base};

    const bytes encoded = captured([&](FILE *f) { write_img(bitmap, f); });
    const bytes reference = oracle_img(width, height, base);
    if (encoded != reference)
        fail("write_img differs from the reference encoder", static_cast<long>(encoded.size()),
             static_cast<long>(reference.size()));
    if (rows == 0 && !encoded.empty())
        fail("an empty image has scan lines", height);

    // Decoded back, the image is the bitmap without its pad bytes.
    bytes image = oracle_header(static_cast<uint32_t>(len * 8), static_cast<uint32_t>(rows));
    image.insert(image.end(), encoded.begin(), encoded.end());
    img_image decoded;
    const std::string error = img_decode(std::string(image.begin(), image.end()), 0, decoded);
    if (!error.empty())
        fail(("the encoded image does not decode: " + error).c_str());
    if (decoded.end != image.size() || decoded.rows.size() != rows)
        fail("the decoded image has another size", static_cast<long>(decoded.rows.size()), static_cast<long>(rows));
    for (size_t r = 0; r < rows; r++)
        if (decoded.rows[r].size() != len ||
            (len && std::memcmp(decoded.rows[r].data(), pixels.data() + r * stride, len) != 0))
            fail("a decoded row differs", static_cast<long>(r));

    // Each distinct row through both scan-line encoders.
    for (size_t r = 0; r < rows; r++)
        if (r == 0 || (len && std::memcmp(pixels.data() + r * stride, pixels.data() + (r - 1) * stride, len) != 0))
            check_scanline(base + r * stride, len);
    if (rows == 0)
        check_scanline(data, std::min(size, max_row));
    return 0;
}
