// GEM IMG encoder.
//
// A scan line is a row of bytes made of three kinds of record:
//   n          (n = 1..127)   n bytes of 0x00
//   0x80 + n   (n = 1..127)   n bytes of 0xFF
//   80 n data  (n = 1..254)   n bytes copied as they are (a bit string)
// and a row that repeats may be preceded by 00 00 FF n, "the next scan line
// stands for n rows".
//
// A bit string grows byte by byte until the three bytes after it are all
// 0x00 or all 0xFF (worth a solid run), or until it holds 252 bytes; when
// only one to three bytes of the row are left after it, they join it
// whatever they are. The encoder below finds where a string ends by looking
// for the first such triple, 16 positions at a time with SSE2 where the CPU
// has it; the scalar search gives the same answer one byte at a time.
#include "img/img.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t max_run = 127;        // longest solid run of one record
constexpr size_t max_grown_string = 252;  // a bit string stops growing here
constexpr int max_replication = 255;   // rows one replication record covers

inline bool solid(unsigned char b) { return b == 0x00 || b == 0xFF; }

inline bool triple_at(const unsigned char *row, size_t p)
{
    return solid(row[p]) && row[p + 1] == row[p] && row[p + 2] == row[p];
}

// Bytes equal to `value` from `row` on, at most `limit`.
size_t run_length_scalar(const unsigned char *row, size_t limit, unsigned char value)
{
    size_t n = 0;
    while (n < limit && row[n] == value)
        n++;
    return n;
}

// First p in [from, last] where three solid bytes of one value start, or
// last + 1. The caller guarantees that row[last + 2] exists.
size_t find_triple_scalar(const unsigned char *row, size_t from, size_t last)
{
    for (size_t p = from; p <= last; p++)
        if (triple_at(row, p))
            return p;
    return last + 1;
}

#if defined(__SSE2__)
size_t run_length_sse2(const unsigned char *row, size_t limit, unsigned char value)
{
    const __m128i v = _mm_set1_epi8(static_cast<char>(value));
    size_t n = 0;
    while (n + 16 <= limit) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + n));
        unsigned differ = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, v))) & 0xFFFFu;
        if (differ)
            return n + static_cast<size_t>(__builtin_ctz(differ));
        n += 16;
    }
    return n + run_length_scalar(row + n, limit - n, value);
}

size_t find_triple_sse2(const unsigned char *row, size_t from, size_t last)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi8(static_cast<char>(0xFF));
    size_t p = from;
    // Positions p..p+15 need bytes up to p+17, which exist while p+15 <= last.
    while (p + 15 <= last) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + p));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + p + 1));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + p + 2));
        __m128i zeros = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, zero), _mm_cmpeq_epi8(b, zero)),
                                      _mm_cmpeq_epi8(c, zero));
        __m128i fulls = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, ones), _mm_cmpeq_epi8(b, ones)),
                                      _mm_cmpeq_epi8(c, ones));
        unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(zeros, fulls)));
        if (hits)
            return p + static_cast<size_t>(__builtin_ctz(hits));
        p += 16;
    }
    return find_triple_scalar(row, p, last);
}
#endif

struct scalar_search {
    static size_t run(const unsigned char *r, size_t l, unsigned char v) { return run_length_scalar(r, l, v); }
    static size_t triple(const unsigned char *r, size_t f, size_t l) { return find_triple_scalar(r, f, l); }
};
#if defined(__SSE2__)
struct sse2_search {
    static size_t run(const unsigned char *r, size_t l, unsigned char v) { return run_length_sse2(r, l, v); }
    static size_t triple(const unsigned char *r, size_t f, size_t l) { return find_triple_sse2(r, f, l); }
};
using best_search = sse2_search;
#else
using best_search = scalar_search;
#endif

// Length of the bit string that starts at `start` (whose first byte is not
// solid), by the growing rule described at the top of this file.
template <class Search>
size_t bit_string_length(const unsigned char *row, size_t len, size_t start)
{
    // The string can grow by look-ahead while four or more bytes follow it and
    // it holds fewer than 252 bytes: the end positions start+1 .. last.
    size_t last_by_size = start + max_grown_string - 1;
    if (len < 4 || len - 4 < start + 1)
        return len - start;  // at most three bytes follow the first: all join
    size_t last = std::min(last_by_size, len - 4);
    size_t end = Search::triple(row, start + 1, last);
    if (end <= last)
        return end - start;
    if (last == last_by_size)
        return max_grown_string;
    return len - start;  // the last one to three bytes join the string
}

template <class Search>
size_t encode_row(const unsigned char *row, size_t len, unsigned char *out)
{
    unsigned char *o = out;
    size_t i = 0;
    while (i < len) {
        unsigned char b = row[i];
        if (solid(b)) {
            size_t n = Search::run(row + i, std::min(max_run, len - i), b);
            *o++ = static_cast<unsigned char>((b ? 0x80 : 0x00) + n);
            i += n;
        } else {
            size_t n = bit_string_length<Search>(row, len, i);
            *o++ = 0x80;
            *o++ = static_cast<unsigned char>(n);
            std::memcpy(o, row + i, n);
            o += n;
            i += n;
        }
    }
    return static_cast<size_t>(o - out);
}

}  // namespace

void write_word(unsigned char *p, uint16_t value)
{
    p[0] = static_cast<unsigned char>(value >> 8);
    p[1] = static_cast<unsigned char>(value & 0xFF);
}

void write_IMG_Header(FILE *out, uint32_t linewidth, uint32_t lines)
{
    unsigned char header[16];
    write_word(header + 0, 1);     // version
    write_word(header + 2, 8);     // header length in words
    write_word(header + 4, 1);     // planes
    write_word(header + 6, 1);     // pattern length
    write_word(header + 8, 83);    // pixel width, micrometres
    write_word(header + 10, 83);   // pixel height, micrometres
    write_word(header + 12, static_cast<uint16_t>(linewidth));
    write_word(header + 14, static_cast<uint16_t>(lines));
    std::fwrite(header, sizeof header, 1, out);
}

size_t encode_scanline(const unsigned char *row, size_t len, unsigned char *out)
{
    return encode_row<best_search>(row, len, out);
}

size_t encode_scanline_portable(const unsigned char *row, size_t len, unsigned char *out)
{
    return encode_row<scalar_search>(row, len, out);
}

void write_img(const img_bitmap &bitmap, FILE *out)
{
    if (bitmap.height <= 0 || bitmap.width < 0)
        return;
    const size_t stride = static_cast<size_t>(img_row_stride(bitmap.width));
    const size_t len = static_cast<size_t>(img_row_length(bitmap.width));
    const int height = bitmap.height;

    // Scan lines are gathered here and leave in large blocks; a row never
    // needs more than img_scanline_bound(4096) bytes.
    unsigned char buffer[32768];
    const size_t room = sizeof buffer - img_scanline_bound(len);
    size_t used = 0;

    for (int r = 0; r < height; r++) {
        const unsigned char *line = bitmap.data + static_cast<size_t>(r) * stride;
        // Rows equal to this one that follow it, up to 255 rows in a group;
        // the last row never opens a group.
        int count = 0;
        while (r != height - 1 &&
               std::memcmp(line, bitmap.data + static_cast<size_t>(r + 1) * stride, len) == 0) {
            r++;
            count = count ? count + 1 : 2;
            if (count == max_replication)
                break;
        }
        if (count) {
            unsigned char *o = buffer + used;
            o[0] = 0x00;
            o[1] = 0x00;
            o[2] = 0xFF;
            o[3] = static_cast<unsigned char>(count);
            used += 4;
        }
        used += encode_row<best_search>(line, len, buffer + used);
        if (used > room) {
            std::fwrite(buffer, 1, used, out);
            used = 0;
        }
    }
    if (used)
        std::fwrite(buffer, 1, used, out);
}
