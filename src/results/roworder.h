#pragma once
// The order a results list is shown in: as found, or sorted by a column
// (paths and pages in natural order: "file2" before "file10"), and only the
// rows whose path or text holds a filter's text. It keeps up with a list that
// grows while a search runs: rows found later take their place in the sort.
// Rows count from 0.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "results/resultrows.h"

namespace qm {

enum class SortKey { Found, Path, Where, Page };

// < 0, 0 or > 0 as `a` sorts before, with or after `b`: runs of the digits
// 0-9 compare by their value, everything else without regard to case; texts
// that differ only there are then told apart exactly.
int naturalCompare(const QString& a, const QString& b);

// Finds a text in UTF-8 bytes with ASCII letters compared without case. The
// needle's rarest byte (by the usual frequency of letters in text) is looked
// for with memchr, in both cases, and each place it is found is checked.
class FoldedFinder {
  public:
    void setNeedle(const QByteArray& bytes);
    bool foundIn(const char* text, qsizetype size) const;

  private:
    QByteArray needle_;   // folded
    qsizetype rare_ = 0;  // the rarest byte's place in the needle
    char rareLower_ = 0, rareUpper_ = 0;
};

class RowOrder {
  public:
    explicit RowOrder(const ResultRows& rows) : rows_(rows) {}

    // The rows were cleared; sort and filter stay.
    void reset();
    // The rows from `first` on are new. True when some of them are shown
    // before rows already shown (the order changed, not only its end).
    bool appended(int first);

    void setSort(SortKey key, bool descending);
    void setFilter(const QString& text);  // empty: every row
    SortKey sortKey() const { return key_; }
    bool descending() const { return descending_; }
    const QString& filter() const { return filter_; }
    // A sort or a filter is in effect: the shown rows may differ from the list.
    bool inEffect() const { return key_ != SortKey::Found || !filter_.isEmpty(); }

    // The row numbers in the order shown.
    const std::vector<int>& shown() const { return shown_; }
    // The rows taken so far.
    int knownRows() const { return known_; }
    // The number of files the rows come from.
    int pathCount() const { return static_cast<int>(paths_.size()); }

  private:
    // Whether row `r` shows under the filter.
    bool passes(int r) const;
    // 16 bytes, big-endian in two numbers, so that they compare as the bytes do.
    using WhereKey = std::pair<std::uint64_t, std::uint64_t>;
    bool before(int a, int b) const;
    bool textPasses(const ResultRow& row) const;
    void makeKeys(int first);
    bool takePaths(int first);  // true when new paths came
    void rankPaths();
    void sortAll();
    void filterAll();
    std::vector<int> passing(const std::vector<int>& rows) const;  // those that pass
    std::vector<int> takeNew(int first) const;

    const ResultRows& rows_;
    SortKey key_ = SortKey::Found;
    bool descending_ = false;
    QString filter_;
    int known_ = 0;               // rows taken so far
    std::vector<int> sorted_;     // every row taken, in sort order
    std::vector<int> shown_;      // the rows of sorted_ that pass the filter
    std::vector<int> pathOf_;     // row -> its path's number
    std::vector<QString> paths_;  // by number, in order of first row
    QHash<QString, int> pathNumbers_;
    std::vector<int> pathRank_;     // path number -> place in natural order
    std::vector<char> pathPasses_;  // path number -> holds the filter's text
    // The sort's keys by row: path and page (or page and path) in one number,
    // or the first bytes from the occurrence on, case folded.
    std::vector<std::uint64_t> keys_;
    std::vector<WhereKey> whereKeys_;
    // The filter: a row's bytes hold `finder_`'s needle (the filter's longest
    // run of ASCII characters); a filter with other characters too is then
    // checked on the row's text.
    FoldedFinder finder_;
    FoldedFinder lowerFinder_;  // the whole filter in lower case
    FoldedFinder upperFinder_;  // and in upper case
    bool mixedCases_ = false;   // more than one non-ASCII letter with cases
    bool asciiOnly_ = true;
};

}  // namespace qm
