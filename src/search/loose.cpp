#include "search/loose.h"

#include <QChar>
#include <QString>
#include <algorithm>
#include <unordered_map>

#include "search/fold.h"
#include "text/utf8.h"

namespace qm {

namespace {

bool isSpace(char32_t c) {
    switch (c) {
        case u' ':
        case u'\t':
        case u'\n':
        case u'\v':
        case u'\f':
        case u'\r':
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

bool isLineEnd(char32_t c) {
    return c == u'\n' || c == u'\r' || c == u'\f' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

constexpr char32_t kSoftHyphen = 0xAD;

// Characters that take no room: the soft hyphen and the zero-width ones.
bool isSkipped(char32_t c) {
    return c == kSoftHyphen || (c >= 0x200B && c <= 0x200D) || c == 0x2060 || c == 0xFEFF ||
           c == 0x180E;
}

const char* ligature(char32_t c) {
    switch (c) {
        case 0xFB00:
            return "ff";
        case 0xFB01:
            return "fi";
        case 0xFB02:
            return "fl";
        case 0xFB03:
            return "ffi";
        case 0xFB04:
            return "ffl";
        case 0xFB05:
        case 0xFB06:
            return "st";
        default:
            return nullptr;
    }
}

// Full case folding of one code point, as UTF-8: the simple folding, and where
// the upper case of that is several characters (the sharp s, ligatures, some
// Greek letters with marks), the folding of those.
const std::string& foldedUtf8(char32_t c) {
    thread_local std::unordered_map<char32_t, std::string> cache;
    auto it = cache.find(c);
    if (it != cache.end()) return it->second;
    const char32_t simple = QChar::toCaseFolded(c);
    QString s = QString::fromUcs4(&simple, 1);
    const QString upper =
        s.toUpper();  // in UTF-16: a single astral letter counts as two, harmlessly
    if (upper.size() > 1) s = upper.toCaseFolded();
    return cache.emplace(c, s.toStdString()).first->second;
}

}  // namespace

class LooseBuilder {
  public:
    LooseBuilder(LooseText& t, std::string_view in, bool fold, bool accents)
        : t_(t), in_(in), fold_(fold), accents_(accents) {
        t_.normal_.reserve(in.size());
    }

    void run() {
        const auto* s = reinterpret_cast<const unsigned char*>(in_.data());
        const std::size_t n = in_.size();
        std::size_t i = 0;
        while (i < n) {
            if (s[i] < 0x80 && !isSpace(s[i])) {
                // Plain ASCII: the same byte (lowered when folding).
                const char b = static_cast<char>(s[i]);
                linear(i);
                t_.normal_ += fold_ && b >= 'A' && b <= 'Z' ? static_cast<char>(b + 0x20) : b;
                ++i;
                continue;
            }
            std::size_t len = 0;
            const char32_t c = at(i, len);
            if (isSpace(c)) {
                const std::size_t start = i;
                i = skipSpace(i);
                piece(" ", start, i);
                continue;
            }
            if (isSkipped(c)) {
                i += len;
                // A soft hyphen before a line end: the word goes on after it.
                if (c == kSoftHyphen) {
                    const std::size_t after = skipSpace(i);
                    bool lineEnd = false;
                    for (std::size_t k = i; k < after;) {
                        std::size_t l = 0;
                        if (isLineEnd(at(k, l))) lineEnd = true;
                        k += l;
                    }
                    if (lineEnd) i = after;
                }
                continue;
            }
            char32_t bare[4];
            const std::size_t n = accents_ ? stripAccents(c, bare) : 0;
            if (accents_ && n == 0) {  // a mark: part of the letter before it
                i += len;
                continue;
            }
            if (const char* letters = ligature(c)) {
                piece(letters, i, i + len);
            } else if (accents_ && (n != 1 || bare[0] != c)) {
                std::string letters;
                for (std::size_t k = 0; k < n; ++k) {
                    if (fold_) {
                        letters += foldedUtf8(bare[k]);
                    } else {
                        char out[4];
                        letters.append(out, utf8::encode(bare[k], out));
                    }
                }
                piece(letters, i, i + len);
            } else if (fold_) {
                piece(foldedUtf8(c), i, i + len);
            } else {
                linear(i);
                t_.normal_.append(in_.data() + i, len);
            }
            i += len;
        }
        // The end of the normal form is the end of the original.
        linear(n);
    }

  private:
    char32_t at(std::size_t i, std::size_t& len) const {
        const auto* s = reinterpret_cast<const unsigned char*>(in_.data());
        const unsigned char b = s[i];
        len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        len = std::min(len, in_.size() - i);
        return utf8::decode(s + i, len);
    }

    // Past a run of white space (and the zero-width characters within it).
    std::size_t skipSpace(std::size_t i) const {
        while (i < in_.size()) {
            std::size_t len = 0;
            const char32_t c = at(i, len);
            if (!isSpace(c) && !isSkipped(c)) break;
            i += len;
        }
        return i;
    }

    // The next normal byte comes from original byte `original`, one for one.
    void linear(std::size_t original) {
        const std::size_t n = t_.normal_.size();
        auto& seg = t_.segments_;
        if (!seg.empty() && !seg.back().whole &&
            seg.back().original + (n - seg.back().normal) == original)
            return;
        if (!seg.empty() && seg.back().normal == n)
            seg.back() = {n, original, false};
        else
            seg.push_back({n, original, false});
    }

    // `text` stands for the original bytes [begin, end).
    void piece(std::string_view text, std::size_t begin, std::size_t end) {
        const bool oneForOne = text.size() == end - begin && utf8::countCodePoints(text) == 1;
        if (oneForOne) {
            linear(begin);
        } else {
            const std::size_t n = t_.normal_.size();
            auto& seg = t_.segments_;
            if (!seg.empty() && seg.back().normal == n)
                seg.back() = {n, begin, true};
            else
                seg.push_back({n, begin, true});
        }
        t_.normal_.append(text);
        if (!oneForOne) linear(end);
    }

    LooseText& t_;
    std::string_view in_;
    bool fold_;
    bool accents_;
};

LooseText::LooseText(std::string_view text, bool foldCase, bool foldAccents) {
    LooseBuilder(*this, text, foldCase, foldAccents).run();
}

std::size_t LooseText::toOriginal(std::size_t n) const {
    auto it = std::upper_bound(segments_.begin(), segments_.end(), n,
                               [](std::size_t v, const Segment& s) { return v < s.normal; });
    if (it == segments_.begin()) return n;
    --it;
    return it->whole ? it->original : it->original + (n - it->normal);
}

std::size_t LooseText::toOriginalEnd(std::size_t n) const {
    if (n == 0) return toOriginal(0);
    auto it = std::upper_bound(segments_.begin(), segments_.end(), n - 1,
                               [](std::size_t v, const Segment& s) { return v < s.normal; });
    if (it == segments_.begin()) return n;
    const auto seg = it - 1;
    if (!seg->whole) return seg->original + (n - seg->normal);
    // Inside a piece: it ends where the next segment begins.
    return it != segments_.end() ? it->original : seg->original;
}

std::string loosePhrase(const QString& phrase, bool foldCase, bool foldAccents) {
    const QByteArray bytes = phrase.toUtf8();
    return LooseText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                     foldCase, foldAccents)
        .normal();
}

namespace {

// The code point that ends just before byte `end` of `text`, and where it begins.
char32_t codePointBefore(std::string_view text, std::size_t end, std::size_t& start) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    start = end - 1;
    while (start > 0 && end - start < 4 && utf8::isContinuation(s[start])) --start;
    return utf8::decode(s + start, end - start);
}

}  // namespace

LooseCut looseCutAfter(std::string_view piece, LooseCut before) {
    bool softHyphen = false;
    for (std::size_t end = piece.size(); end > 0;) {
        std::size_t start = 0;
        const char32_t c = codePointBefore(piece, end, start);
        if (isSpace(c)) return LooseCut::InSpace;
        if (!isSkipped(c)) return softHyphen ? LooseCut::AfterSoftHyphen : LooseCut::Clear;
        softHyphen = softHyphen || c == kSoftHyphen;
        end = start;
    }
    // Nothing but characters that take no room.
    if (before == LooseCut::InSpace) return before;
    return softHyphen ? LooseCut::AfterSoftHyphen : before;
}

std::size_t looseKeptCodePoints(std::string_view piece, std::size_t enough, bool dropMarks) {
    const auto* s = reinterpret_cast<const unsigned char*>(piece.data());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < piece.size() && kept < enough;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            kept += isSpace(b) ? 0 : 1;
            ++i;
            continue;
        }
        const std::size_t len = std::min<std::size_t>(b < 0xE0   ? 2
                                                      : b < 0xF0 ? 3
                                                                 : 4,
                                                      piece.size() - i);
        const char32_t c = utf8::decode(s + i, len);
        kept += isSpace(c) || isSkipped(c) ||
                        (dropMarks && QChar::category(c) == QChar::Mark_NonSpacing)
                    ? 0
                    : 1;
        i += len;
    }
    return kept;
}

std::size_t looseBorrowedLead(std::string_view piece, LooseCut before) {
    if (before == LooseCut::Clear) return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(piece.data());
    std::size_t i = 0;
    bool lineEnd = false;
    while (i < piece.size()) {
        const unsigned char b = s[i];
        const std::size_t len = std::min<std::size_t>(b < 0x80   ? 1
                                                      : b < 0xE0 ? 2
                                                      : b < 0xF0 ? 3
                                                                 : 4,
                                                      piece.size() - i);
        const char32_t c = utf8::decode(s + i, len);
        if (!isSpace(c) && !isSkipped(c)) break;
        lineEnd = lineEnd || isLineEnd(c);
        i += len;
    }
    return before == LooseCut::InSpace || lineEnd ? i : 0;
}

}  // namespace qm
