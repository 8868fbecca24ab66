#include "search/matcher.h"

#include <QByteArray>
#include <QChar>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "search/fold.h"
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

// How common each byte is in extracted text, from 0 (the rarest) to 255 (the
// space): counted over the texts of 704 documentation PDFs in a dozen
// languages (30 MB). Candidates are the places where the phrase's two rarest
// bytes both fit, so that few are compared in full: "equation" is looked for
// by its "q" and "u", not by an "e" and an "n" found everywhere.
constexpr std::uint8_t kByteRank[256] = {
    0,   72,  66,  73,  70,  67,  51,  49,  54,  20,  248, 1,   165, 2,   32,  53,  62,  57,  64,
    58,  43,  40,  44,  27,  38,  29,  45,  55,  56,  39,  41,  31,  255, 140, 178, 202, 163, 211,
    153, 89,  206, 207, 171, 166, 232, 209, 247, 187, 223, 233, 228, 224, 219, 218, 216, 214, 213,
    212, 210, 176, 157, 199, 159, 129, 225, 205, 185, 200, 189, 195, 188, 167, 179, 198, 155, 158,
    204, 194, 196, 184, 201, 125, 197, 203, 215, 168, 164, 183, 182, 144, 139, 191, 239, 192, 136,
    217, 98,  252, 234, 242, 243, 254, 236, 235, 241, 250, 174, 220, 244, 240, 251, 249, 238, 193,
    245, 246, 253, 237, 222, 229, 226, 227, 190, 231, 147, 230, 154, 30,  208, 141, 135, 109, 120,
    102, 145, 161, 170, 116, 107, 99,  138, 80,  88,  83,  134, 148, 177, 149, 131, 103, 90,  146,
    151, 180, 94,  105, 152, 172, 111, 186, 118, 95,  173, 142, 112, 115, 137, 123, 169, 181, 130,
    97,  132, 92,  82,  84,  87,  128, 108, 101, 117, 121, 106, 127, 119, 113, 91,  110, 126, 122,
    104, 114, 3,   4,   143, 175, 78,  86,  42,  52,  50,  23,  25,  68,  124, 36,  162, 150, 81,
    71,  46,  48,  37,  22,  65,  75,  85,  79,  34,  47,  60,  21,  61,  59,  93,  100, 221, 133,
    76,  96,  77,  74,  69,  63,  26,  28,  33,  24,  35,  156, 160, 5,   6,   7,   8,   9,   10,
    11,  12,  13,  14,  15,  16,  17,  18,  19,
};

using Anchors = ByteFinder::Anchors;

// The two offsets of the phrase whose bytes are the rarest (two different
// bytes where the phrase has them). `m` is at least 2.
Anchors rarestBytes(const char* p, std::size_t m) {
    const auto rank = [p](std::size_t k) { return kByteRank[static_cast<unsigned char>(p[k])]; };
    Anchors x;
    for (std::size_t k = 1; k < m; ++k)
        if (rank(k) < rank(x.a)) x.a = k;
    // Another byte than a's first, then the rarest.
    const auto worse = [&](std::size_t k, std::size_t than) {
        return std::pair(p[k] == p[x.a], rank(k)) > std::pair(p[than] == p[x.a], rank(than));
    };
    x.b = x.a == 0 ? 1 : 0;
    for (std::size_t k = 0; k < m; ++k)
        if (k != x.a && worse(x.b, k)) x.b = k;
    return x;
}

inline bool matchesAt(const char* at, const char* needle, std::size_t m) {
    return std::memcmp(at, needle, m) == 0;
}

std::size_t findScalar(const char* h, std::size_t last, const char* p, std::size_t m,
                       const Anchors& k, std::size_t i) {
    for (; i <= last; ++i)
        if (h[i + k.a] == p[k.a] && h[i + k.b] == p[k.b] && matchesAt(h + i, p, m)) return i;
    return npos;
}

#if defined(QM_HAVE_AVX2_PATH)
__attribute__((target("avx2"))) std::size_t findAvx2(const char* h, std::size_t last, const char* p,
                                                     std::size_t m, const Anchors& k,
                                                     std::size_t i) {
    const __m256i first = _mm256_set1_epi8(p[k.a]);
    const __m256i lastByte = _mm256_set1_epi8(p[k.b]);
    // Positions i .. i+63 are all valid starts while i + 63 <= last.
    while (i + 64 <= last + 1) {
        const char* a = h + i + k.a;
        const char* b = h + i + k.b;
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
            if (matchesAt(h + i + bit, p, m)) return i + bit;
            mask &= mask - 1;
        }
        i += 64;
    }
    return findScalar(h, last, p, m, k, i);
}

bool haveAvx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#endif

std::size_t findSse2(const char* h, std::size_t last, const char* p, std::size_t m,
                     const Anchors& k, std::size_t i) {
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(p[k.a]);
    const __m128i second = _mm_set1_epi8(p[k.b]);
    while (i + 16 <= last + 1) {
        const __m128i e = _mm_and_si128(
            _mm_cmpeq_epi8(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + k.a))),
            _mm_cmpeq_epi8(second, _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + k.b))));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(e));
        while (mask != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (matchesAt(h + i + bit, p, m)) return i + bit;
            mask &= mask - 1;
        }
        i += 16;
    }
#endif
    return findScalar(h, last, p, m, k, i);
}

}  // namespace

ByteFinder::ByteFinder(std::string_view needle) : needle_(needle) {
    if (needle.size() >= 2) anchors_ = rarestBytes(needle.data(), needle.size());
}

std::size_t ByteFinder::find(std::string_view haystack, std::size_t from) const {
    const std::size_t n = haystack.size(), m = needle_.size();
    if (m == 0 || m > n || from > n - m) return npos;
    if (m == 1) {
        const void* hit = std::memchr(haystack.data() + from, needle_[0], n - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data())
                   : npos;
    }
    const std::size_t last = n - m;
#if defined(QM_HAVE_AVX2_PATH)
    if (haveAvx2()) return findAvx2(haystack.data(), last, needle_.data(), m, anchors_, from);
#endif
    return findSse2(haystack.data(), last, needle_.data(), m, anchors_, from);
}

std::size_t findBytes(std::string_view haystack, std::string_view needle, std::size_t from) {
    return ByteFinder(needle).find(haystack, from);
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

// Folds `in` into `buf` from byte `w` on and returns the end: lowered when
// `lower`, without accents when `strip` (search/fold.h). `buf` should already
// hold room for in.size() * 3 / 2 bytes from `w` (a folded code point grows by
// at most half: two bytes to three); it is enlarged if not. With `shifts`,
// every code point whose folded form has another byte length is recorded,
// `originalBase` being the offset of in[0] in the original text.
std::size_t foldInto(std::string_view in, std::string& buf, std::size_t w,
                     std::vector<detail::CaseShift>* shifts, std::size_t originalBase, bool lower,
                     bool strip) {
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    char* d = buf.data();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i belowA = _mm_set1_epi8('A' - 1);
    const __m128i aboveZ = _mm_set1_epi8('Z' + 1);
    const __m128i caseBit = _mm_set1_epi8(lower ? 0x20 : 0);
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
            d[w++] = static_cast<char>((lower && b >= 'A' && b <= 'Z') ? b + 0x20 : b);
            continue;
        }
        // A run of multi-byte characters.
        while (i < n && s[i] >= 0x80) {
            if (w + 8 > buf.size()) grow(buf, d, n - i);
            const unsigned char b = s[i];
            std::size_t len = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            if (len > n - i) len = n - i;  // only for input that is not valid UTF-8
            const char32_t c = utf8::decode(s + i, len);
            std::size_t written = 0;
            if (strip) {
                written = foldCodePoint(c, lower, true, d + w);
            } else {
                const char32_t to = c < 0x800 ? twoByteLower()[c] : QChar::toLower(c);
                if (to == c) {
                    for (std::size_t k = 0; k < len; ++k) d[w + k] = static_cast<char>(s[i + k]);
                    written = len;
                } else {
                    written = utf8::encode(to, d + w);
                }
            }
            w += written;
            if (written != len && shifts) shifts->push_back({w, originalBase + i + len});
            i += len;
        }
    }
    return w;
}

}  // namespace

void lowerUtf8(std::string_view text, std::string& out) {
    const std::size_t w = out.size();
    out.resize(w + text.size() + text.size() / 2 + 16);
    out.resize(foldInto(text, out, w, nullptr, 0, true, false));
}

// ---------------------------------------------------------------------------
// The matcher.

std::string TermMatcher::prepare(const QString& phrase) const {
    const QByteArray bytes = phrase.toUtf8();
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (!folds()) return std::string(view);
    std::string out(view.size() + view.size() / 2 + 16, '\0');
    out.resize(foldInto(view, out, 0, nullptr, 0, lower_, strip_));
    return out;
}

namespace {
std::size_t shiftBack(const std::vector<detail::CaseShift>& shifts, std::size_t n) {
    if (shifts.empty()) return n;
    auto it =
        std::upper_bound(shifts.begin(), shifts.end(), n,
                         [](std::size_t v, const detail::CaseShift& s) { return v < s.lowered; });
    if (it == shifts.begin()) return n;
    --it;
    return it->original + (n - it->lowered);
}
}  // namespace

std::size_t TermMatcher::toOriginal(std::size_t loweredOffset) const {
    return shiftBack(shifts_, loweredOffset);
}

void FoldedText::fold(std::string_view text, bool lower, bool strip) {
    shifts_.clear();
    if (buffer_.size() < text.size() + text.size() / 2 + 64)
        buffer_.resize(text.size() + text.size() / 2 + 64);
    size_ = foldInto(text, buffer_, 0, &shifts_, 0, lower, strip);
}

std::size_t FoldedText::toOriginal(std::size_t n) const {
    return shiftBack(shifts_, n);
}

bool TermMatcher::standsAlone(std::string_view text, std::size_t begin, std::size_t end,
                              WordEdges edges) const {
    WordSide before = wordSideBefore(text, begin);
    if (before == WordSide::Unknown) before = edges.before;
    WordSide after = wordSideAfter(text, end, strip_);
    if (after == WordSide::Unknown) after = edges.after;
    return before != WordSide::Word && after != WordSide::Word;
}

namespace {
// True when `text` holds no byte above 0x7F.
bool allAscii(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 64 <= n; i += 64) {
        const auto at = [&](std::size_t k) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + k));
        };
        const __m128i any = _mm_or_si128(_mm_or_si128(at(0), at(16)), _mm_or_si128(at(32), at(48)));
        if (_mm_movemask_epi8(any) != 0) return false;
    }
#endif
    for (; i < n; ++i)
        if (s[i] >= 0x80) return false;
    return true;
}
}  // namespace

bool TermMatcher::findInChunk(std::string_view chunk, const std::vector<std::string>& prepared,
                              ChunkSink sink, WordEdges edges) {
    std::string_view text = chunk;
    // Without accents and with case kept, a chunk of plain ASCII is its own
    // folded form: nothing to copy, no offsets to map.
    const bool same = folds() && !lower_ && allAscii(chunk);
    if (same) shifts_.clear();
    if (folds() && !same) {
        shifts_.clear();
        if (lowered_.size() < chunk.size() + chunk.size() / 2 + 64)
            lowered_.resize(chunk.size() + chunk.size() / 2 + 64);
        text = std::string_view(lowered_.data(),
                                foldInto(chunk, lowered_, 0, &shifts_, 0, lower_, strip_));
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(chunk.data());
    const auto midLetter = [&](std::size_t at) {
        return at < chunk.size() && utf8::isContinuation(bytes[at]);
    };
    for (std::size_t k = 0; k < prepared.size(); ++k) {
        const std::size_t size = prepared[k].size();
        if (size == 0) continue;
        const ByteFinder finder(prepared[k]);
        for (std::size_t pos = finder.find(text, 0); pos != npos;
             pos = finder.find(text, pos + 1)) {
            std::size_t at = pos, length = size;
            if (folds()) {
                at = toOriginal(pos);
                const std::size_t end = toOriginal(pos + size);
                // Half of a letter that folds into two ("s" of "ß") is no occurrence.
                if (midLetter(at) || midLetter(end)) continue;
                length = end - at;
            }
            if (words_ && !standsAlone(text, pos, pos + size, edges)) continue;
            if (!sink(k, at, length)) return false;
        }
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
        findInChunk(chunk, prepared, [&](std::size_t, std::size_t offset, std::size_t) {
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

}  // namespace qm
