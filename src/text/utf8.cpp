#include "text/utf8.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

namespace utf8 {

std::size_t validSequenceLength(const unsigned char* s, std::size_t available) {
    const unsigned char b0 = s[0];
    if (b0 < 0x80) return 1;
    if (b0 < 0xC2) return 0;  // stray continuation byte or overlong two-byte form
    if (b0 < 0xE0) return (available >= 2 && isContinuation(s[1])) ? 2 : 0;
    if (b0 < 0xF0) {
        if (available < 3) return 0;
        // E0 needs A0.. to avoid overlongs; ED stops at 9F to keep out surrogates.
        const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
        return (s[1] >= lo && s[1] <= hi && isContinuation(s[2])) ? 3 : 0;
    }
    if (b0 < 0xF5) {
        if (available < 4) return 0;
        // F0 needs 90.. to avoid overlongs; F4 stops at 8F to stay within U+10FFFF.
        const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
        return (s[1] >= lo && s[1] <= hi && isContinuation(s[2]) && isContinuation(s[3])) ? 4 : 0;
    }
    return 0;
}

std::size_t validPrefixLength(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Plain ASCII is skipped 16 bytes at a time, up to the first byte above 0x7F.
#if defined(__SSE2__)
        while (i + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
            if (high != 0) {
                i += static_cast<unsigned>(__builtin_ctz(high));
                break;
            }
            i += 16;
        }
#else
        while (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, s + i, 8);
            if ((w & 0x8080808080808080ULL) != 0) break;
            i += 8;
        }
#endif
        while (i < n && s[i] < 0x80) {
            ++i;
            if ((i & 15) == 0) break;  // back to the fast loop now and then
        }
        // A run of multi-byte sequences.
        while (i < n && s[i] >= 0x80) {
            // Two-byte characters (Latin, Greek, Cyrillic letters) checked in line.
            if (s[i] >= 0xC2 && s[i] < 0xE0 && i + 1 < n && isContinuation(s[i + 1])) {
                i += 2;
                continue;
            }
            const std::size_t len = validSequenceLength(s + i, n - i);
            if (len == 0) return i;
            i += len;
        }
    }
    return n;
}

namespace {
// Number of bytes of a little word that start a code point.
inline unsigned startsInWord(std::uint64_t w) {
    const std::uint64_t cont = w & ~(w << 1) & 0x8080808080808080ULL;
    // One bit per continuation byte at bit 7; sum them with a multiply.
    const unsigned conts = static_cast<unsigned>(((cont >> 7) * 0x0101010101010101ULL) >> 56);
    return 8 - conts;
}
}  // namespace

// The processor's population count where it has one (the 32-byte blocks below).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("popcnt", "default")))
#endif
std::size_t
advanceCodePoints(std::string_view text, std::size_t from, std::size_t count) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = from;
    std::size_t remaining = count;
#if defined(__SSE2__)
    // A block of 32 bytes starts at most 32 code points, so it can be taken
    // whole while at least that many remain.
    const __m128i belowCont = _mm_set1_epi8(static_cast<char>(0xC0));  // 0x80..0xBF are less
    while (remaining >= 32 && i + 32 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16));
        const unsigned conts =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(a, belowCont))) |
            (static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(b, belowCont))) << 16);
        remaining -= 32 - static_cast<unsigned>(__builtin_popcount(conts));
        i += 32;
    }
#endif
    while (i + 8 <= n) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        const unsigned starts = startsInWord(w);
        if (starts > remaining) break;
        remaining -= starts;
        i += 8;
    }
    for (; i < n; ++i) {
        if (!isContinuation(s[i])) {
            if (remaining == 0) break;
            --remaining;
        }
    }
    return i;
}

std::size_t countCodePoints(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0, total = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        total += startsInWord(w);
    }
    for (; i < n; ++i)
        if (!isContinuation(s[i])) ++total;
    return total;
}

}  // namespace utf8

}  // namespace qm
