#include "search/matcher.h"

#include <QByteArray>
#include <QChar>
#include <algorithm>
#include <array>
#include <cstring>

#include "text/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QM_HAVE_AVX2_PATH 1
#endif

namespace qm {

// ---------------------------------------------------------------------------
// Byte search. The text and the phrase are valid UTF-8, which synchronises
// itself: a byte-wise match always starts and ends on code point boundaries.

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Candidates are the places where the phrase's first and last bytes both fit;
// only those are compared in full.
inline bool restMatches(const char* at, const char* needle, std::size_t m) {
    return m <= 2 || std::memcmp(at + 1, needle + 1, m - 2) == 0;
}

std::size_t findScalar(const char* h, std::size_t last, const char* p, std::size_t m,
                       std::size_t i) {
    for (; i <= last; ++i)
        if (h[i] == p[0] && h[i + m - 1] == p[m - 1] && restMatches(h + i, p, m)) return i;
    return npos;
}

#if defined(QM_HAVE_AVX2_PATH)
__attribute__((target("avx2"))) std::size_t findAvx2(const char* h, std::size_t last, const char* p,
                                                     std::size_t m, std::size_t i) {
    const __m256i first = _mm256_set1_epi8(p[0]);
    const __m256i lastByte = _mm256_set1_epi8(p[m - 1]);
    // Positions i .. i+63 are all valid starts while i + 63 <= last.
    while (i + 64 <= last + 1) {
        const char* a = h + i;
        const char* b = h + i + m - 1;
        const __m256i e0 =
            _mm256_and_si256(_mm256_cmpeq_epi8(first, _mm256_loadu_si256((const __m256i*)a)),
                             _mm256_cmpeq_epi8(lastByte, _mm256_loadu_si256((const __m256i*)b)));
        const __m256i e1 = _mm256_and_si256(
            _mm256_cmpeq_epi8(first, _mm256_loadu_si256((const __m256i*)(a + 32))),
            _mm256_cmpeq_epi8(lastByte, _mm256_loadu_si256((const __m256i*)(b + 32))));
        std::uint64_t mask =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(e0)) |
            (std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(e1))) << 32);
        while (mask != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctzll(mask));
            if (restMatches(h + i + bit, p, m)) return i + bit;
            mask &= mask - 1;
        }
        i += 64;
    }
    return findScalar(h, last, p, m, i);
}

bool haveAvx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#endif

std::size_t findSse2(const char* h, std::size_t last, const char* p, std::size_t m, std::size_t i) {
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(p[0]);
    const __m128i lastByte = _mm_set1_epi8(p[m - 1]);
    while (i + 16 <= last + 1) {
        const __m128i e = _mm_and_si128(
            _mm_cmpeq_epi8(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i))),
            _mm_cmpeq_epi8(lastByte,
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1))));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(e));
        while (mask != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (restMatches(h + i + bit, p, m)) return i + bit;
            mask &= mask - 1;
        }
        i += 16;
    }
#endif
    return findScalar(h, last, p, m, i);
}

}  // namespace

std::size_t findBytes(std::string_view haystack, std::string_view needle, std::size_t from) {
    const std::size_t n = haystack.size(), m = needle.size();
    if (m == 0 || m > n || from > n - m) return npos;
    if (m == 1) {
        const void* hit = std::memchr(haystack.data() + from, needle[0], n - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data())
                   : npos;
    }
    const std::size_t last = n - m;
#if defined(QM_HAVE_AVX2_PATH)
    if (haveAvx2()) return findAvx2(haystack.data(), last, needle.data(), m, from);
#endif
    return findSse2(haystack.data(), last, needle.data(), m, from);
}

// ---------------------------------------------------------------------------
// Lowering.

namespace {

// Lowered forms of U+0000 to U+07FF, the characters of up to two bytes.
const std::array<char32_t, 0x800>& twoByteLower() {
    static const std::array<char32_t, 0x800> table = [] {
        std::array<char32_t, 0x800> t{};
        for (char32_t c = 0; c < 0x800; ++c) t[c] = QChar::toLower(c);
        return t;
    }();
    return table;
}

void grow(std::string& buf, char*& d, std::size_t remainingInput) {
    buf.resize(buf.size() + remainingInput * 3 / 2 + 64);
    d = buf.data();
}

// Lowers `in` into `buf` from byte `w` on and returns the end. `buf` should
// already hold room for in.size() * 3 / 2 bytes from `w` (a lowered code point
// grows by at most half: two bytes to three); it is enlarged if not.
// With `shifts`, every code point whose lowered form has another byte length
// is recorded, `originalBase` being the offset of in[0] in the original text.
std::size_t lowerInto(std::string_view in, std::string& buf, std::size_t w,
                      std::vector<detail::CaseShift>* shifts, std::size_t originalBase) {
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    char* d = buf.data();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i belowA = _mm_set1_epi8('A' - 1);
    const __m128i aboveZ = _mm_set1_epi8('Z' + 1);
    const __m128i caseBit = _mm_set1_epi8(0x20);
#endif
    while (i < n) {
#if defined(__SSE2__)
        while (i + 16 <= n && w + 16 <= buf.size()) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            const __m128i upper =
                _mm_and_si128(_mm_cmpgt_epi8(v, belowA), _mm_cmplt_epi8(v, aboveZ));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + w),
                             _mm_or_si128(v, _mm_and_si128(upper, caseBit)));
            const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
            if (high != 0) {
                // Keep the ASCII before the first multi-byte character; the
                // rest of the store is written over below.
                const unsigned k = static_cast<unsigned>(__builtin_ctz(high));
                i += k;
                w += k;
                break;
            }
            i += 16;
            w += 16;
        }
        if (i >= n) break;
#endif
        if (s[i] < 0x80) {  // the last few bytes, or the buffer needs room first
            if (w + 1 > buf.size()) grow(buf, d, n - i);
            const unsigned char b = s[i++];
            d[w++] = static_cast<char>((b >= 'A' && b <= 'Z') ? b + 0x20 : b);
            continue;
        }
        // A run of multi-byte characters.
        while (i < n && s[i] >= 0x80) {
            if (w + 4 > buf.size()) grow(buf, d, n - i);
            const unsigned char b = s[i];
            std::size_t len = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            if (len > n - i) len = n - i;  // only for input that is not valid UTF-8
            const char32_t c = utf8::decode(s + i, len);
            const char32_t lower = c < 0x800 ? twoByteLower()[c] : QChar::toLower(c);
            if (lower == c) {
                for (std::size_t k = 0; k < len; ++k) d[w + k] = static_cast<char>(s[i + k]);
                w += len;
            } else {
                const std::size_t written = utf8::encode(lower, d + w);
                w += written;
                if (written != len && shifts) shifts->push_back({w, originalBase + i + len});
            }
            i += len;
        }
    }
    return w;
}

}  // namespace

void lowerUtf8(std::string_view text, std::string& out) {
    const std::size_t w = out.size();
    out.resize(w + text.size() + text.size() / 2 + 16);
    out.resize(lowerInto(text, out, w, nullptr, 0));
}

// ---------------------------------------------------------------------------
// The matcher.

std::string TermMatcher::prepare(const QString& phrase) const {
    const QByteArray bytes = phrase.toUtf8();
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (caseMode_ != CaseMode::IgnoreCase) return std::string(view);
    std::string out;
    lowerUtf8(view, out);
    return out;
}

std::size_t TermMatcher::toOriginal(std::size_t loweredOffset) const {
    if (shifts_.empty()) return loweredOffset;
    auto it =
        std::upper_bound(shifts_.begin(), shifts_.end(), loweredOffset,
                         [](std::size_t v, const detail::CaseShift& s) { return v < s.lowered; });
    if (it == shifts_.begin()) return loweredOffset;
    --it;
    return it->original + (loweredOffset - it->lowered);
}

bool TermMatcher::findInChunk(std::string_view chunk, const std::vector<std::string>& prepared,
                              FunctionRef<bool(std::size_t, std::size_t)> sink) {
    std::string_view text = chunk;
    if (caseMode_ == CaseMode::IgnoreCase) {
        shifts_.clear();
        if (lowered_.size() < chunk.size() + chunk.size() / 2 + 64)
            lowered_.resize(chunk.size() + chunk.size() / 2 + 64);
        text = std::string_view(lowered_.data(), lowerInto(chunk, lowered_, 0, &shifts_, 0));
    }
    for (std::size_t k = 0; k < prepared.size(); ++k) {
        if (prepared[k].empty()) continue;
        for (std::size_t pos = findBytes(text, prepared[k], 0); pos != npos;
             pos = findBytes(text, prepared[k], pos + 1))
            if (!sink(k, toOriginal(pos))) return false;
    }
    return true;
}

void TermMatcher::forEachOccurrence(const TextChunks& text, const QString& phrase,
                                    OccurrenceSink sink) {
    const std::vector<std::string> prepared{prepare(phrase)};
    Occurrence occurrence;
    for (std::size_t i = 0; i < text.count(); ++i) {
        const std::string_view chunk = text.chunk(i);
        occurrence.chunk = i;
        findInChunk(chunk, prepared, [&](std::size_t, std::size_t offset) {
            occurrence.offset = offset;
            occurrence.snippet = snippetAt(chunk, offset);
            sink(occurrence);
            return true;
        });
    }
}

std::size_t TermMatcher::countOccurrences(const TextChunks& text, const QString& phrase) {
    std::size_t n = 0;
    forEachOccurrence(text, phrase, [&n](const Occurrence&) { ++n; });
    return n;
}

// Bytes of `chunk` from `offset` on whose lowered form is `loweredLength` bytes long.
std::size_t originalLength(std::string_view chunk, std::size_t offset, std::size_t loweredLength) {
    // ASCII lowers byte for byte: the usual case costs one look at the bytes.
    const std::string_view same = chunk.substr(offset, loweredLength);
    if (same.size() == loweredLength &&
        std::all_of(same.begin(), same.end(), [](char c) { return (c & 0x80) == 0; }))
        return loweredLength;
    std::size_t i = offset;
    std::size_t lowered = 0;
    std::string one;
    while (lowered < loweredLength && i < chunk.size()) {
        const std::size_t next = utf8::advanceCodePoints(chunk, i, 1);
        one.clear();
        lowerUtf8(chunk.substr(i, next - i), one);
        lowered += one.size();
        i = next;
    }
    return i - offset;
}

}  // namespace qm
