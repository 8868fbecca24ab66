#include "search/fold.h"

#include <QChar>
#include <QList>
#include <QString>
#include <array>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "text/utf8.h"

namespace qm {

namespace {

// The letters that do not decompose into a letter and marks, and what they
// are read as.
std::size_t bareLetters(char32_t c, char32_t* out) {
    static constexpr struct {
        char32_t letter;
        char32_t as[2];  // a second letter or none
    } kBare[] = {
        {0xD8, {U'O'}},        {0xF8, {U'o'}},       {0x110, {U'D'}},        {0x111, {U'd'}},
        {0x126, {U'H'}},       {0x127, {U'h'}},      {0x131, {U'i'}},        {0x141, {U'L'}},
        {0x142, {U'l'}},       {0xC6, {U'A', U'E'}}, {0xE6, {U'a', U'e'}},   {0x152, {U'O', U'E'}},
        {0x153, {U'o', U'e'}}, {0xDF, {U's', U's'}}, {0x1E9E, {U'S', U'S'}},
    };
    for (const auto& b : kBare) {
        if (b.letter != c) continue;
        out[0] = b.as[0];
        if (!b.as[1]) return 1;
        out[1] = b.as[1];
        return 2;
    }
    return 0;
}

// One code point's folded bytes.
struct Folded {
    unsigned char size = 0;
    char bytes[8] = {};
};

Folded computeFold(char32_t c, bool lower, bool strip) {
    char32_t parts[4];
    std::size_t n = 1;
    parts[0] = c;
    if (strip) n = stripAccents(c, parts);
    Folded f;
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t p = lower ? QChar::toLower(parts[i]) : parts[i];
        f.size = static_cast<unsigned char>(f.size + utf8::encode(p, f.bytes + f.size));
    }
    return f;
}

}  // namespace

bool isCombiningMark(char32_t c) {
    if (c < 0x300) return false;
    const QChar::Category k = QChar::category(c);
    return k == QChar::Mark_NonSpacing || k == QChar::Mark_SpacingCombining ||
           k == QChar::Mark_Enclosing;
}

bool isWordCharacter(char32_t c) {
    if (c < 0x80)
        return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9') ||
               c == U'_';
    return QChar::isLetterOrNumber(c);
}

std::size_t stripAccents(char32_t c, char32_t* out) {
    if (c < 0xC0) {
        out[0] = c;
        return 1;
    }
    if (const std::size_t n = bareLetters(c, out)) return n;
    if (QChar::category(c) == QChar::Mark_NonSpacing) return 0;
    // Hangul syllables decompose into their letters, which carry no accent.
    if (QChar::decompositionTag(c) != QChar::Canonical || (c >= 0xAC00 && c <= 0xD7A3)) {
        out[0] = c;
        return 1;
    }
    thread_local std::unordered_map<char32_t, std::vector<char32_t>> known;
    auto it = known.find(c);
    if (it == known.end()) {
        std::vector<char32_t> kept;
        for (const char32_t part : QChar::decomposition(c).toUcs4()) {
            char32_t sub[4];
            const std::size_t n = stripAccents(part, sub);
            kept.insert(kept.end(), sub, sub + n);
        }
        if (kept.size() > 4) kept.resize(4);
        it = known.emplace(c, std::move(kept)).first;
    }
    std::copy(it->second.begin(), it->second.end(), out);
    return it->second.size();
}

namespace {
// The folded forms of U+0000 to U+07FF for one way of folding (lowered,
// stripped of accents, or both: `way` 1, 2, 3), each made at its first use.
using TwoByteFolds = std::array<Folded, 0x800>;
template <int way>
const TwoByteFolds& twoByteFolds() {
    static const TwoByteFolds table = [] {
        TwoByteFolds t;
        for (char32_t k = 0; k < 0x800; ++k) t[k] = computeFold(k, way & 1, way & 2);
        return t;
    }();
    return table;
}
}  // namespace

std::size_t foldCodePoint(char32_t c, bool lower, bool strip, char* out) {
    if (c < 0x800) {
        if (!strip && !lower) return utf8::encode(c, out);
        const Folded& f = !strip  ? twoByteFolds<1>()[c]
                          : lower ? twoByteFolds<3>()[c]
                                  : twoByteFolds<2>()[c];
        std::memcpy(out, f.bytes, 8);
        return f.size;
    }
    if (strip) {
        // Punctuation, ligatures and letters beyond U+07FF come again and
        // again in a text: each is folded once per thread and way.
        thread_local std::unordered_map<char32_t, Folded> seen[2];
        auto& known = seen[lower ? 1 : 0];
        auto it = known.find(c);
        if (it == known.end()) it = known.emplace(c, computeFold(c, lower, strip)).first;
        std::memcpy(out, it->second.bytes, 8);
        return it->second.size;
    }
    return utf8::encode(lower ? QChar::toLower(c) : c, out);
}

namespace {

char32_t decodeAt(std::string_view text, std::size_t at, std::size_t& len) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char b = s[at];
    len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (len > text.size() - at) len = text.size() - at;
    return utf8::decode(s + at, len);
}

}  // namespace

WordSide wordSideBefore(std::string_view text, std::size_t at) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    while (at > 0) {
        std::size_t start = at - 1;
        while (start > 0 && at - start < 4 && utf8::isContinuation(s[start])) --start;
        std::size_t len = 0;
        const char32_t c = decodeAt(text, start, len);
        if (!isCombiningMark(c)) return isWordCharacter(c) ? WordSide::Word : WordSide::NotWord;
        at = start;
    }
    return WordSide::Unknown;
}

WordSide wordSideAfter(std::string_view text, std::size_t at, bool skipMarks) {
    while (at < text.size()) {
        std::size_t len = 0;
        const char32_t c = decodeAt(text, at, len);
        if (!isCombiningMark(c)) return isWordCharacter(c) ? WordSide::Word : WordSide::NotWord;
        if (!skipMarks) return WordSide::Word;
        at += len;
    }
    return WordSide::Unknown;
}

}  // namespace qm
