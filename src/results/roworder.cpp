#include "results/roworder.h"

#include <algorithm>
#include <climits>

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
}

void RowOrder::takePaths(int first) {
    const int count = rows_.count();
    pathOf_.resize(static_cast<std::size_t>(count));
    const std::size_t before = paths_.size();
    int last = -1;
    for (int r = first; r < count; ++r) {
        const QString& path = rows_.row(r).path;
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
    if (paths_.size() == before) return;
    pathPasses_.resize(paths_.size());
    for (std::size_t p = before; p < paths_.size(); ++p)
        pathPasses_[p] = !filter_.isEmpty() && paths_[p].contains(filter_, Qt::CaseInsensitive);
    rankPaths();
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

int RowOrder::compareKeys(int a, int b) const {
    const ResultRow& x = rows_.row(a);
    const ResultRow& y = rows_.row(b);
    const auto rank = [this](int r) {
        return pathRank_[static_cast<std::size_t>(pathOf_[static_cast<std::size_t>(r)])];
    };
    // An unknown page (0) sorts after every known one.
    const auto page = [](const ResultRow& row) { return row.page > 0 ? row.page : INT_MAX; };
    const auto three = [](int u, int v) { return u < v ? -1 : u > v ? 1 : 0; };
    switch (key_) {
        case SortKey::Path:
            if (const int c = three(rank(a), rank(b))) return c;
            return three(page(x), page(y));
        case SortKey::Page:
            if (const int c = three(page(x), page(y))) return c;
            return three(rank(a), rank(b));
        case SortKey::Where:
            return x.fromMatch().compare(y.fromMatch(), Qt::CaseInsensitive);
        case SortKey::Found:
            break;
    }
    return 0;
}

bool RowOrder::before(int a, int b) const {
    if (descending_) std::swap(a, b);
    const int c = compareKeys(a, b);
    return c != 0 ? c < 0 : a < b;  // ties keep the order found
}

bool RowOrder::passes(int r) const {
    if (filter_.isEmpty()) return true;
    if (pathPasses_[static_cast<std::size_t>(pathOf_[static_cast<std::size_t>(r)])]) return true;
    return rows_.row(r).shownText().contains(filter_, Qt::CaseInsensitive);
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
    takePaths(first);
    known_ = rows_.count();
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

void RowOrder::filterAll() {
    for (std::size_t p = 0; p < paths_.size(); ++p)
        pathPasses_[p] = !filter_.isEmpty() && paths_[p].contains(filter_, Qt::CaseInsensitive);
    shown_.clear();
    for (const int r : sorted_)
        if (passes(r)) shown_.push_back(r);
}

void RowOrder::setSort(SortKey key, bool descending) {
    if (key == key_ && descending == descending_) return;
    key_ = key;
    descending_ = descending;
    sortAll();
    filterAll();
}

void RowOrder::setFilter(const QString& text) {
    if (text == filter_) return;
    // Typing on narrows what is shown: only the rows shown can still pass.
    const bool narrower = !filter_.isEmpty() && text.contains(filter_, Qt::CaseInsensitive);
    filter_ = text;
    if (!narrower) {
        filterAll();
        return;
    }
    for (std::size_t p = 0; p < paths_.size(); ++p)
        pathPasses_[p] = pathPasses_[p] && paths_[p].contains(filter_, Qt::CaseInsensitive);
    std::erase_if(shown_, [this](int r) { return !passes(r); });
}

}  // namespace qm
