#include "results/roworder.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

namespace qm {

namespace {

bool isDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// The end of the run of digits that starts at `i`.
qsizetype digitsEnd(const QString& s, qsizetype i) {
    while (i < s.size() && isDigit(s[i])) ++i;
    return i;
}

}  // namespace

int naturalCompare(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Leading zeros do not count; then the longer number is the larger.
            qsizetype ai = i, bj = j;
            while (ai < a.size() && a[ai] == u'0') ++ai;
            while (bj < b.size() && b[bj] == u'0') ++bj;
            const qsizetype ae = digitsEnd(a, ai), be = digitsEnd(b, bj);
            if (ae - ai != be - bj) return ae - ai < be - bj ? -1 : 1;
            for (; ai < ae; ++ai, ++bj)
                if (a[ai] != b[bj]) return a[ai] < b[bj] ? -1 : 1;
            i = ae;
            j = be;
            continue;
        }
        const char16_t x = a[i].toCaseFolded().unicode(), y = b[j].toCaseFolded().unicode();
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
    return a.compare(b);
}

void RowOrder::reset() {
    known_ = 0;
    sorted_.clear();
    shown_.clear();
    pathOf_.clear();
    paths_.clear();
    pathNumbers_.clear();
    pathRank_.clear();
    pathPasses_.clear();
    keys_.clear();
    whereKeys_.clear();
}

bool RowOrder::takePaths(int first) {
    const int count = rows_.count();
    pathOf_.resize(static_cast<std::size_t>(count));
    const std::size_t before = paths_.size();
    int last = -1;
    for (int r = first; r < count; ++r) {
        const QString& path = rows_.row(r).pathShown();  // as column 0 shows it
        // Rows of one file mostly follow each other.
        if (last >= 0 && paths_[static_cast<std::size_t>(last)] == path) {
            pathOf_[static_cast<std::size_t>(r)] = last;
            continue;
        }
        auto it = pathNumbers_.constFind(path);
        if (it == pathNumbers_.constEnd()) {
            it = pathNumbers_.insert(path, static_cast<int>(paths_.size()));
            paths_.push_back(path);
        }
        last = it.value();
        pathOf_[static_cast<std::size_t>(r)] = last;
    }
    if (paths_.size() == before) return false;
    pathPasses_.resize(paths_.size());
    for (std::size_t p = before; p < paths_.size(); ++p)
        pathPasses_[p] = !filter_.isEmpty() && paths_[p].contains(filter_, Qt::CaseInsensitive);
    rankPaths();
    return true;
}

void RowOrder::rankPaths() {
    std::vector<int> byName(paths_.size());
    for (std::size_t p = 0; p < byName.size(); ++p) byName[p] = static_cast<int>(p);
    std::sort(byName.begin(), byName.end(), [this](int a, int b) {
        return naturalCompare(paths_[static_cast<std::size_t>(a)],
                              paths_[static_cast<std::size_t>(b)]) < 0;
    });
    pathRank_.resize(paths_.size());
    for (std::size_t i = 0; i < byName.size(); ++i)
        pathRank_[static_cast<std::size_t>(byName[i])] = static_cast<int>(i);
}

namespace {

char fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c;
}

}  // namespace

void FoldedFinder::setNeedle(const QByteArray& bytes) {
    needle_.resize(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) needle_[i] = fold(bytes[i]);
    // Bytes from the most frequent in text on; any other byte is rarer still.
    static const QByteArray kFrequent =
        QByteArrayLiteral(" etaoinsrhldcumfpgwyb.,vk0123456789xjqz");
    const auto rank = [](char c) {
        const qsizetype at = kFrequent.indexOf(c);
        return at < 0 ? qsizetype(-1) : kFrequent.size() - at;  // lower: rarer
    };
    rare_ = 0;
    for (qsizetype i = 1; i < needle_.size(); ++i)
        if (rank(needle_[i]) < rank(needle_[rare_])) rare_ = i;
    rareLower_ = needle_.isEmpty() ? 0 : needle_[rare_];
    rareUpper_ =
        rareLower_ >= 'a' && rareLower_ <= 'z' ? static_cast<char>(rareLower_ - 32) : rareLower_;
}

bool FoldedFinder::foundIn(const char* text, qsizetype size) const {
    const qsizetype m = needle_.size();
    if (m == 0) return true;
    if (size < m) return false;
    // The rare byte can only lie where a whole needle fits around it.
    const char* from = text + rare_;
    const char* const end = text + size - (m - rare_) + 1;
    while (from < end) {
        const auto left = static_cast<std::size_t>(end - from);
        const void* lower = std::memchr(from, rareLower_, left);
        const void* upper =
            rareUpper_ == rareLower_ ? nullptr : std::memchr(from, rareUpper_, left);
        const char* at = static_cast<const char*>(!lower   ? upper
                                                  : !upper ? lower
                                                           : std::min(lower, upper));
        if (!at) return false;
        const char* start = at - rare_;
        qsizetype j = 0;
        while (j < m && fold(start[j]) == needle_[j]) ++j;
        if (j == m) return true;
        from = at + 1;
    }
    return false;
}

void RowOrder::makeKeys(int first) {
    const auto count = static_cast<std::size_t>(known_);
    if (key_ == SortKey::Where) {
        whereKeys_.resize(count);
        for (std::size_t r = static_cast<std::size_t>(first); r < count; ++r) {
            const ResultRow& row = rows_.row(static_cast<int>(r));
            QByteArray own;  // a row without context: its snippet's bytes
            const char* bytes = nullptr;
            qsizetype size = 0;
            if (row.hasContext()) {
                bytes = row.context.constData() + row.spans.matchFrom;
                size = row.context.size() - row.spans.matchFrom;
            } else {
                own = row.snippet.mid(std::max(row.matchAt, 0), 16).toUtf8();
                bytes = own.constData();
                size = own.size();
            }
            std::uint64_t half[2] = {0, 0};
            for (qsizetype i = 0; i < 16; ++i) {
                const auto byte = static_cast<unsigned char>(i < size ? fold(bytes[i]) : 0);
                half[i / 8] = half[i / 8] << 8 | byte;
            }
            whereKeys_[r] = {half[0], half[1]};
        }
        return;
    }
    if (key_ != SortKey::Path && key_ != SortKey::Page) return;
    keys_.resize(count);
    for (std::size_t r = static_cast<std::size_t>(first); r < count; ++r) {
        const int p = rows_.row(static_cast<int>(r)).page;
        // An unknown page (0) sorts after every known one.
        const std::uint64_t page = p > 0 ? static_cast<std::uint32_t>(p) : 0xffffffffu;
        const std::uint64_t rank =
            static_cast<std::uint32_t>(pathRank_[static_cast<std::size_t>(pathOf_[r])]);
        keys_[r] = key_ == SortKey::Path ? rank << 32 | page : page << 32 | rank;
    }
}

bool RowOrder::before(int a, int b) const {
    if (descending_) std::swap(a, b);
    const auto x = static_cast<std::size_t>(a), y = static_cast<std::size_t>(b);
    switch (key_) {
        case SortKey::Path:
        case SortKey::Page:
            if (keys_[x] != keys_[y]) return keys_[x] < keys_[y];
            break;
        case SortKey::Where:
            if (whereKeys_[x] != whereKeys_[y]) return whereKeys_[x] < whereKeys_[y];
            break;
        case SortKey::Found:
            break;
    }
    return a < b;  // ties keep the order found
}

bool RowOrder::textPasses(const ResultRow& row) const {
    if (!row.hasContext()) return row.snippet.contains(filter_, Qt::CaseInsensitive);
    const char* bytes = row.context.constData();
    const qsizetype size = row.context.size();
    if (asciiOnly_) return finder_.foundIn(bytes, size);
    // The filter's other letters all in lower or all in upper case (its ASCII
    // letters in any); that is every way of writing it when it has one such
    // letter. Else the text is read as text where it holds the ASCII part.
    if (lowerFinder_.foundIn(bytes, size) || upperFinder_.foundIn(bytes, size)) return true;
    return mixedCases_ && finder_.foundIn(bytes, size) &&
           QString::fromUtf8(row.context).contains(filter_, Qt::CaseInsensitive);
}

bool RowOrder::passes(int r) const {
    if (filter_.isEmpty()) return true;
    if (pathPasses_[static_cast<std::size_t>(pathOf_[static_cast<std::size_t>(r)])]) return true;
    return textPasses(rows_.row(r));
}

std::vector<int> RowOrder::takeNew(int first) const {
    std::vector<int> fresh;
    fresh.reserve(static_cast<std::size_t>(rows_.count() - first));
    for (int r = first; r < rows_.count(); ++r) fresh.push_back(r);
    if (key_ != SortKey::Found || descending_)
        std::sort(fresh.begin(), fresh.end(), [this](int a, int b) { return before(a, b); });
    return fresh;
}

bool RowOrder::appended(int first) {
    first = std::min(first, known_);
    if (first >= rows_.count()) return false;
    const bool ranked = takePaths(first);
    known_ = rows_.count();
    // New paths move the ranks of others: every key is made again.
    makeKeys(ranked ? 0 : first);
    const std::vector<int> fresh = takeNew(first);
    const auto cmp = [this](int a, int b) { return before(a, b); };
    const std::size_t oldSorted = sorted_.size();
    sorted_.insert(sorted_.end(), fresh.begin(), fresh.end());
    std::inplace_merge(sorted_.begin(), sorted_.begin() + static_cast<std::ptrdiff_t>(oldSorted),
                       sorted_.end(), cmp);
    const std::size_t oldShown = shown_.size();
    for (const int r : fresh)
        if (passes(r)) shown_.push_back(r);
    if (shown_.size() == oldShown || oldShown == 0) return false;
    // Only the order found (ascending) keeps new rows at the end.
    const bool atEnd = !before(shown_[oldShown], shown_[oldShown - 1]);
    if (!atEnd)
        std::inplace_merge(shown_.begin(), shown_.begin() + static_cast<std::ptrdiff_t>(oldShown),
                           shown_.end(), cmp);
    return !atEnd;
}

void RowOrder::sortAll() {
    sorted_.resize(static_cast<std::size_t>(known_));
    for (int r = 0; r < known_; ++r) sorted_[static_cast<std::size_t>(r)] = r;
    if (key_ == SortKey::Found) {
        if (descending_) std::reverse(sorted_.begin(), sorted_.end());
        return;
    }
    std::sort(sorted_.begin(), sorted_.end(), [this](int a, int b) { return before(a, b); });
}

std::vector<int> RowOrder::passing(const std::vector<int>& rows) const {
    std::vector<char> pass(rows.size());
    const auto check = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) pass[i] = passes(rows[i]);
    };
    // A long list is checked on two cores: the rows do not change meanwhile
    // (they grow only between calls, on this thread).
    constexpr std::size_t kAlone = 50000;
    if (rows.size() < kAlone) {
        check(0, rows.size());
    } else {
        const std::size_t half = rows.size() / 2;
        std::thread other(check, half, rows.size());
        check(0, half);
        other.join();
    }
    std::vector<int> out;
    out.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (pass[i]) out.push_back(rows[i]);
    return out;
}

void RowOrder::filterAll() {
    for (std::size_t p = 0; p < paths_.size(); ++p)
        pathPasses_[p] = !filter_.isEmpty() && paths_[p].contains(filter_, Qt::CaseInsensitive);
    if (filter_.isEmpty()) {
        shown_ = sorted_;
        return;
    }
    shown_ = passing(sorted_);
}

void RowOrder::setSort(SortKey key, bool descending) {
    if (key == key_ && descending == descending_) return;
    key_ = key;
    descending_ = descending;
    if (key_ != SortKey::Path && key_ != SortKey::Page) std::vector<std::uint64_t>().swap(keys_);
    if (key_ != SortKey::Where) std::vector<WhereKey>().swap(whereKeys_);
    makeKeys(0);
    sortAll();
    filterAll();
}

void RowOrder::setFilter(const QString& text) {
    if (text == filter_) return;
    // Typing on narrows what is shown: only the rows shown can still pass.
    const bool narrower = !filter_.isEmpty() && text.contains(filter_, Qt::CaseInsensitive);
    filter_ = text;
    // The longest run of ASCII characters is looked for in the bytes first.
    QString run, longest;
    asciiOnly_ = true;
    for (const QChar c : filter_) {
        if (c.unicode() < 0x80) {
            run += c;
            continue;
        }
        asciiOnly_ = false;
        if (run.size() > longest.size()) longest = run;
        run.clear();
    }
    if (run.size() > longest.size()) longest = run;
    finder_.setNeedle(longest.toLatin1());
    lowerFinder_.setNeedle(filter_.toLower().toUtf8());
    upperFinder_.setNeedle(filter_.toUpper().toUtf8());
    const auto cased = std::count_if(filter_.begin(), filter_.end(), [](QChar c) {
        return c.unicode() >= 0x80 && c.toLower() != c.toUpper();
    });
    mixedCases_ = cased > 1;
    if (!narrower) {
        filterAll();
        return;
    }
    for (std::size_t p = 0; p < paths_.size(); ++p)
        pathPasses_[p] = pathPasses_[p] && paths_[p].contains(filter_, Qt::CaseInsensitive);
    shown_ = passing(shown_);
}

}  // namespace qm
