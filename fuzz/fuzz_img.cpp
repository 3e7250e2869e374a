// The IMG encoder on arbitrary bitmaps.
//
// Input: width (2 bytes, signed, high byte first), height (2 bytes, signed),
// the value of the pad bytes, then the rows, each (width + 7) / 8 bytes.
// When the bytes run out, the last row given repeats to the bottom, so long
// groups of equal rows come cheap. Bitmaps are held to 1 MiB: 256 rows of
// the widest width, or thousands of narrow ones.
//
// Checked: the image that write_img writes, read back by the preview's
// decoder, is every byte of the rows given and not one byte more; for every
// row, encode_scanline and encode_scanline_portable agree and stay within
// img_scanline_bound. Rows and output buffers are heap blocks of exactly the
// size the encoder may use, so the address sanitizer sees any byte beyond.
#include <algorithm>
#include <cstring>

#include "img/img.h"
#include "preview/decode.h"
#include "tests/support.h"

namespace {

constexpr size_t max_bitmap = 1u << 20;
constexpr size_t max_row = 4096;  // a 32767-pixel row

void check_scanline(const unsigned char *source, size_t len)
{
    // Exact-size copies: a read past the row or a write past the bound is
    // caught at once. The bound covers the replication record that may stand
    // before the line.
    bytes row(source, source + len);
    row.reserve(1);  // a block for a row of no byte too
    const size_t bound = img_scanline_bound(len);
    bytes fast(bound), plain(bound);
    const size_t n = encode_scanline(row.data(), len, fast.data());
    FUZZ_CHECK(n + 4 <= bound && encode_scanline_portable(row.data(), len, plain.data()) == n &&
               std::equal(fast.begin(), fast.begin() + long(n), plain.begin()), n, len);
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
    if (width < 0)  // wider than 32767 pixels: no bitmap the filter makes
        return 0;
    const size_t stride = static_cast<size_t>(img_row_stride(width));
    const size_t len = static_cast<size_t>(img_row_length(width));
    if (height > 0 && stride && size_t(height) * stride > max_bitmap)
        height = static_cast<int16_t>(max_bitmap / stride);
    const size_t rows = height > 0 ? static_cast<size_t>(height) : 0;

    // The bitmap, pad bytes set, rows from the input, the last one repeated
    // (blank rows if the input holds none).
    bytes pixels(rows * stride, pad);
    const size_t given = len ? size / len : 0;
    for (size_t r = 0; len && r < rows; r++) {
        if (given)
            std::memcpy(pixels.data() + r * stride, data + std::min(r, given - 1) * len, len);
        else
            std::memset(pixels.data() + r * stride, 0, len);
    }
    // Rows of width 0 hold no byte, yet the rows are somewhere, as in the filter.
    static unsigned char nothing[1];
    unsigned char *const base = pixels.empty() ? nothing : pixels.data();

    // Read back, the image is the bitmap without its pad bytes.
    const bytes image = written([&](FILE *f) {
        write_IMG_Header(f, static_cast<uint32_t>(len * 8), static_cast<uint32_t>(rows));
        write_img({width, height, base}, f);
    });
    img_image decoded;
    decode_error error;
    FUZZ_CHECK(decode_img(image, 0, decoded, error) == image.size() && error.what.empty(), error.what, error.offset);
    FUZZ_CHECK(decoded.rows.size() == rows, decoded.rows.size(), rows);
    for (size_t r = 0; r < rows; r++)
        FUZZ_CHECK(!len || std::memcmp(decoded.row(r), pixels.data() + r * stride, len) == 0, "row", r);

    // Each distinct row through both scan-line encoders.
    for (size_t r = 0; r < rows; r++)
        if (r == 0 || (len && std::memcmp(pixels.data() + r * stride, pixels.data() + (r - 1) * stride, len) != 0))
            check_scanline(base + r * stride, len);
    if (rows == 0)
        check_scanline(data, std::min(size, max_row));
    return 0;
}
