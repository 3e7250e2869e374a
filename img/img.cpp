// GEM IMG encoder.
//
// A scan line is a row of bytes made of three kinds of record:
//   n          (n = 1..127)   n bytes of 0x00
//   0x80 + n   (n = 1..127)   n bytes of 0xFF
//   80 n data  (n = 1..254)   n bytes copied as they are (a bit string)
// and a row that repeats may be preceded by 00 00 FF n, "the next scan line
// stands for n rows".
//
// A solid byte (0x00 or 0xFF) starts a run of its value. Any other byte starts
// a bit string, which grows byte by byte until the three bytes after it are
// all 0x00 or all 0xFF (worth a run), or until it holds 252 bytes; when only
// one to three bytes of the row are left after it, they join it whatever
// they are.
//
// How it is done fast. Labels are mostly white, so most rows repeat the one
// above and cost one memcmp each. In the other rows most records are short:
// with SSE2, which every x86-64 has, the 16 bytes at the cursor are compared
// with 0x00 and 0xFF at once, and those two bit masks tell the record's kind,
// where a short run ends and where a short bit string meets its three solid
// bytes; the string's bytes are then stored straight from the same register.
// Longer records go on to searches that also look at 16 (or 64) bytes a step;
// near the end of a row the last window is laid over the row's last bytes
// instead of running past them. Without SSE2 the same searches go byte by
// byte and give the same answers.
#include "img/img.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t max_run = 127;           // longest solid run of one record
constexpr size_t max_grown_string = 252;  // a bit string stops growing here
constexpr int max_replication = 255;      // rows one replication record covers

inline bool triple_at(const unsigned char *row, size_t p)
{
    return (row[p] == 0x00 || row[p] == 0xFF) && row[p + 1] == row[p] && row[p + 2] == row[p];
}

struct scalar_search {
    static constexpr bool simd = false;
    // Bytes equal to `value` from i on, at most `limit` (limit <= len - i).
    static size_t run(const unsigned char *row, size_t, size_t i, size_t limit, unsigned char value)
    {
        size_t n = 0;
        while (n < limit && row[i + n] == value)
            n++;
        return n;
    }
    // First p in [from, last] where three solid bytes of one value start, or
    // last + 1 (last + 2 < len).
    static size_t triple(const unsigned char *row, size_t, size_t from, size_t last)
    {
        for (size_t p = from; p <= last; p++)
            if (triple_at(row, p))
                return p;
        return last + 1;
    }
    static void copy(unsigned char *out, const unsigned char *row, size_t, size_t i, size_t n)
    {
        std::memcpy(out, row + i, n);
    }
};

#if defined(__SSE2__)
struct sse2_search {
    static constexpr bool simd = true;
    static __m128i load(const unsigned char *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

    // Mask of the 16 bytes at p that equal `value`, and of those that differ.
    static unsigned equal(const unsigned char *p, __m128i value)
    {
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(load(p), value)));
    }
    static unsigned differ(const unsigned char *p, __m128i value) { return equal(p, value) ^ 0xFFFFu; }

    static size_t run(const unsigned char *row, size_t len, size_t i, size_t limit, unsigned char value)
    {
        if (len < 16)
            return scalar_search::run(row, len, i, limit, value);
        const __m128i v = _mm_set1_epi8(static_cast<char>(value));
        size_t p = i;
        for (;;) {
            if (p + 64 <= len) {  // long white stretches: 64 bytes a step
                const uint64_t same = uint64_t{equal(row + p, v)} | uint64_t{equal(row + p + 16, v)} << 16 |
                                      uint64_t{equal(row + p + 32, v)} << 32 | uint64_t{equal(row + p + 48, v)} << 48;
                if (~same)
                    return std::min(p - i + static_cast<size_t>(__builtin_ctzll(~same)), limit);
                p += 64;
            } else if (p + 16 <= len) {
                if (unsigned stop = differ(row + p, v))
                    return std::min(p - i + static_cast<size_t>(__builtin_ctz(stop)), limit);
                p += 16;
            } else {  // the row's last 16 bytes; bits before p don't count
                const size_t skip = p - (len - 16);
                unsigned stop = (differ(row + len - 16, v) >> skip) | (1u << (16 - skip));
                return std::min(p - i + static_cast<size_t>(__builtin_ctz(stop)), limit);
            }
            if (p - i >= limit)
                return limit;
        }
    }

    // Copies a bit string, 16 bytes a step where the row has the bytes;
    // may write up to 15 bytes past the string.
    static void copy(unsigned char *out, const unsigned char *row, size_t len, size_t i, size_t n)
    {
        if (i + ((n + 15) & ~size_t{15}) > len) {
            std::memcpy(out, row + i, n);
            return;
        }
        for (size_t k = 0; k < n; k += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), load(row + i + k));
    }

    // Mask of the positions p..p+15 at which three equal solid bytes start
    // (needs bytes p..p+17).
    static unsigned triples(const unsigned char *p)
    {
        const __m128i zero = _mm_setzero_si128();
        const __m128i ones = _mm_set1_epi8(static_cast<char>(0xFF));
        __m128i a = load(p), b = load(p + 1), c = load(p + 2);
        __m128i zeros = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, zero), _mm_cmpeq_epi8(b, zero)),
                                      _mm_cmpeq_epi8(c, zero));
        __m128i fulls = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, ones), _mm_cmpeq_epi8(b, ones)),
                                      _mm_cmpeq_epi8(c, ones));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(zeros, fulls)));
    }

    static size_t triple(const unsigned char *row, size_t len, size_t from, size_t last)
    {
        if (len < 18)
            return scalar_search::triple(row, len, from, last);
        size_t p = from;
        for (;;) {
            unsigned hits;
            if (p + 18 <= len) {
                hits = triples(row + p);
            } else {  // the last window that fits; positions before p don't count
                const size_t skip = p - (len - 18);
                hits = triples(row + len - 18) >> skip;
            }
            if (hits)
                return std::min(p + static_cast<size_t>(__builtin_ctz(hits)), last + 1);
            p += 16;
            if (p > last)
                return last + 1;
        }
    }
};
using best_search = sse2_search;
#else
using best_search = scalar_search;
#endif

// Length of the bit string that starts at `start`, by the growing rule.
template <class Search>
inline size_t bit_string_length(const unsigned char *row, size_t len, size_t start)
{
    // The string can end early only at start+1 .. last: there four or more
    // bytes still follow it and it holds fewer than 252 bytes.
    if (len < start + 5)
        return len - start;  // at most three bytes follow the first: all join
    const size_t last_by_size = start + max_grown_string - 1;
    const size_t last = std::min(last_by_size, len - 4);
    const size_t end = Search::triple(row, len, start + 1, last);
    if (end <= last)
        return end - start;
    return last == last_by_size ? max_grown_string : len - start;
}

template <class Search>
size_t encode_row(const unsigned char *row, size_t len, unsigned char *out)
{
    unsigned char *o = out;
    size_t i = 0;
    while (i < len) {
#if defined(__SSE2__)
        if (Search::simd && i + 16 <= len) {
            // Most records are short: the 16 bytes at the cursor tell the
            // record's kind, its end, and give the bytes of a short string.
            const __m128i bytes = sse2_search::load(row + i);
            const unsigned zero = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
            const unsigned full = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(0xFF)))));
            if (zero & 1) {
                const unsigned n = static_cast<unsigned>(__builtin_ctz(~zero));  // 16 when all are 0x00
                if (n < 16) {
                    *o++ = static_cast<unsigned char>(n);
                    i += n;
                    continue;
                }
            } else if (full & 1) {
                const unsigned n = static_cast<unsigned>(__builtin_ctz(~full));
                if (n < 16) {
                    *o++ = static_cast<unsigned char>(0x80 | n);
                    i += n;
                    continue;
                }
            } else {
                // Where three equal solid bytes start, at window positions 1..13.
                const unsigned ends = ((zero & zero >> 1 & zero >> 2) | (full & full >> 1 & full >> 2)) & 0x3FFEu;
                if (ends) {
                    const unsigned n = static_cast<unsigned>(__builtin_ctz(ends));
                    if (i + n + 4 <= len) {
                        o[0] = 0x80;
                        o[1] = static_cast<unsigned char>(n);
                        _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 2), bytes);
                        o += 2 + n;
                        i += n;
                        continue;
                    }
                }
            }
        }
#endif
        const unsigned char b = row[i];
        if (b == 0x00 || b == 0xFF) {
            size_t n = Search::run(row, len, i, std::min(max_run, len - i), b);
            *o++ = static_cast<unsigned char>((b & 0x80) | n);
            i += n;
        } else {
            size_t n = bit_string_length<Search>(row, len, i);
            o[0] = 0x80;
            o[1] = static_cast<unsigned char>(n);
            Search::copy(o + 2, row, len, i, n);
            o += 2 + n;
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

    // Scan lines are gathered here and leave in large blocks.
    unsigned char buffer[32768];
    const size_t room = sizeof buffer - img_scanline_bound(img_max_row_length);
    size_t used = 0;

    for (int r = 0; r < height; r++) {
        const unsigned char *line = bitmap.data + static_cast<size_t>(r) * stride;
        // Rows equal to this one that follow it, up to 255 rows in a group;
        // the last row never opens a group.
        int count = 0;
        while (r != height - 1 &&
               (len == 0 || std::memcmp(line, bitmap.data + static_cast<size_t>(r + 1) * stride, len) == 0)) {
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
