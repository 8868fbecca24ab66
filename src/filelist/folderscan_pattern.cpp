// Names as the walk and the listing look at them: characters no shell user
// would type into a name, and the letter-case-blind patterns of "Add All PDF
// File(s) In Folder".
#include <string>

#include "filelist/folderscan.h"
#include "text/display.h"
#include "text/utf8.h"

namespace qm {

namespace {

bool isOddCodePoint(char32_t cp) {
    return text::isControl(cp) || cp == U'?';
}

char32_t lowerCodePoint(char32_t cp) {
    return QChar::toLower(static_cast<char32_t>(cp));
}

std::u32string loweredCodePoints(const QString& s) {
    std::u32string out;
    out.reserve(static_cast<std::size_t>(s.size()));
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t cp = s[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(s[i], s[i + 1]);
            ++i;
        }
        out.push_back(lowerCodePoint(cp));
    }
    return out;
}

// Wildcard match with backtracking to the last "*" (linear for patterns with one "*").
bool wildcardMatch(const std::u32string& pattern, const std::u32string& name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}

}  // namespace

bool hasOddCharacters(const QByteArray& name) {
    const auto* d = reinterpret_cast<const unsigned char*>(name.constData());
    const auto size = static_cast<std::size_t>(name.size());
    for (std::size_t i = 0; i < size;) {
        const std::size_t len = utf8::validSequenceLength(d + i, size - i);
        if (len == 0 || isOddCodePoint(utf8::decode(d + i, len))) return true;
        i += len;
    }
    return false;
}

bool hasOddCharacters(const QString& name) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) return true;  // unpaired: no file-system form
        if (isOddCodePoint(c.unicode())) return true;
    }
    return false;
}

FilePattern::FilePattern(const QString& pattern) {
    all_ = pattern == QLatin1String("*") || pattern == QLatin1String("*.*");
    pattern_ = loweredCodePoints(pattern);
}

bool FilePattern::matches(const QString& name) const {
    if (all_) return true;
    return wildcardMatch(pattern_, loweredCodePoints(name));
}

}  // namespace qm
