#include "search/matcher.h"

#include <QChar>
#include <algorithm>
#include <cstring>

#include "extraction/utf8.h"
#include "results/resultslist.h"

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
            if (_mm_movemask_epi8(v) != 0) break;  // not all ASCII
            const __m128i upper =
                _mm_and_si128(_mm_cmpgt_epi8(v, belowA), _mm_cmplt_epi8(v, aboveZ));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + w),
                             _mm_or_si128(v, _mm_and_si128(upper, caseBit)));
            i += 16;
            w += 16;
        }
        if (i >= n) break;
#endif
        if (w + 4 > buf.size()) {
            buf.resize(buf.size() + (n - i) * 3 / 2 + 64);
            d = buf.data();
        }
        const unsigned char b = s[i];
        if (b < 0x80) {
            d[w++] = static_cast<char>((b >= 'A' && b <= 'Z') ? b + 0x20 : b);
            ++i;
            continue;
        }
        std::size_t len = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        if (len > n - i) len = n - i;  // only for input that is not valid UTF-8
        const char32_t c = utf8::decode(s + i, len);
        const char32_t lower = QChar::toLower(c);
        if (lower == c) {
            std::memcpy(d + w, s + i, len);
            w += len;
        } else {
            const std::size_t written = utf8::encode(lower, d + w);
            w += written;
            if (written != len && shifts) shifts->push_back({w, originalBase + i + len});
        }
        i += len;
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
// Snippets.

Snippet snippetAt(std::string_view chunk, std::size_t offset) {
    const auto* s = reinterpret_cast<const unsigned char*>(chunk.data());
    std::size_t start = offset;
    std::size_t back = 0;
    while (back < kSnippetLeadIn && start > 0) {
        --start;
        while (start > 0 && utf8::isContinuation(s[start])) --start;
        ++back;
    }
    Snippet snippet;
    snippet.leadingMarker = back == kSnippetLeadIn;
    const std::size_t end = utf8::advanceCodePoints(chunk, start, kSnippetLength);
    snippet.text = chunk.substr(start, end - start);
    return snippet;
}

std::size_t Snippet::appendTo(char* out) const {
    std::size_t n = 0;
    if (leadingMarker) {
        std::memcpy(out, kSnippetMarker.data(), kSnippetMarker.size());
        n += kSnippetMarker.size();
    }
    std::memcpy(out + n, text.data(), text.size());
    n += text.size();
    std::memcpy(out + n, kSnippetMarker.data(), kSnippetMarker.size());
    return n + kSnippetMarker.size();
}

std::string Snippet::toUtf8() const {
    char buf[maxBytes()];
    return std::string(buf, appendTo(buf));
}

QString Snippet::toString() const {
    char buf[maxBytes()];
    return QString::fromUtf8(buf, static_cast<qsizetype>(appendTo(buf)));
}

std::size_t positionInChunk(std::string_view chunk, std::size_t offset) {
    return utf8::countCodePoints(chunk.substr(0, offset)) + 1;
}

// ---------------------------------------------------------------------------
// The matcher.

TermMatcher::TermMatcher(const TextChunks& text, CaseMode caseMode)
    : text_(text), caseMode_(caseMode) {
    if (caseMode_ != CaseMode::IgnoreCase) return;
    const std::string& all = text_.utf8();
    lowered_.resize(all.size() + all.size() / 2 + 64);
    std::size_t w = 0;
    loweredStart_.reserve(text_.count() + 1);
    loweredStart_.push_back(0);
    for (std::size_t i = 0; i < text_.count(); ++i) {
        const std::string_view c = text_.chunk(i);
        w = lowerInto(c, lowered_, w, &shifts_, static_cast<std::size_t>(c.data() - all.data()));
        loweredStart_.push_back(w);
    }
    lowered_.resize(w);
}

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

void TermMatcher::forEachOccurrenceInChunk(std::string_view prepared, std::size_t chunk,
                                           OccurrenceSink sink) const {
    if (prepared.empty()) return;
    const std::string_view original = text_.chunk(chunk);
    Occurrence occurrence;
    occurrence.chunk = chunk;
    if (caseMode_ != CaseMode::IgnoreCase) {
        for (std::size_t pos = findBytes(original, prepared, 0); pos != npos;
             pos = findBytes(original, prepared, pos + 1)) {
            occurrence.offset = pos;
            occurrence.snippet = snippetAt(original, pos);
            sink(occurrence);
        }
        return;
    }
    const std::size_t lowStart = loweredStart_[chunk];
    const std::string_view lowered(lowered_.data() + lowStart, loweredStart_[chunk + 1] - lowStart);
    const std::size_t originalStart =
        static_cast<std::size_t>(original.data() - text_.utf8().data());
    for (std::size_t pos = findBytes(lowered, prepared, 0); pos != npos;
         pos = findBytes(lowered, prepared, pos + 1)) {
        occurrence.offset = toOriginal(lowStart + pos) - originalStart;
        occurrence.snippet = snippetAt(original, occurrence.offset);
        sink(occurrence);
    }
}

void TermMatcher::forEachOccurrence(std::string_view prepared, OccurrenceSink sink) const {
    for (std::size_t i = 0; i < text_.count(); ++i) forEachOccurrenceInChunk(prepared, i, sink);
}

std::size_t TermMatcher::countOccurrences(const QString& phrase) const {
    std::size_t n = 0;
    forEachOccurrence(phrase, [&n](const Occurrence&) { ++n; });
    return n;
}

void SearchChunks(const QString& path, const TextChunks& chunks, const SearchOptions& options,
                  ResultsList& results) {
    const QStringList phrases = options.phrases();
    if (phrases.isEmpty()) return;
    const TermMatcher matcher(chunks, options.caseMode);
    for (const QString& phrase : phrases) {
        const std::string prepared = matcher.prepare(phrase);
        matcher.forEachOccurrence(std::string_view(prepared), [&](const Occurrence& o) {
            const int row = results.AddRow(path);
            results.SetCell(row, 2, o.snippet.toString());
        });
    }
}

}  // namespace qm
