#include <gtest/gtest.h>

#include "results/roworder.h"

namespace qm {
namespace {

ResultRow row(const char* path, const char* snippet, int page) {
    ResultRow r;
    r.path = QString::fromUtf8(path);
    r.snippet = QString::fromUtf8(snippet);
    r.page = page;
    r.matchAt = 0;
    return r;
}

// Paths in natural order, not by code unit: "file2" before "file10", case
// ignored, leading zeros not counting. Catches a plain string sort.
TEST(RowOrder, NaturalCompareOrdersNumbersByValue) {
    const struct {
        const char *a, *b;
        int sign;
    } cases[] = {
        {"file2.pdf", "file10.pdf", -1},
        {"File2", "file10", -1},
        {"a/9/x", "a/10/x", -1},
        {"v007", "v7", -1},  // equal by value, then told apart exactly
        {"abc", "abd", -1},
        {"ab", "abc", -1},
        {"x.pdf", "x.pdf", 0},
        {"Z1", "a1", 1},
        {"2", "a", -1},
    };
    for (const auto& c : cases) {
        const int got = naturalCompare(QString::fromUtf8(c.a), QString::fromUtf8(c.b));
        EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
        const int back = naturalCompare(QString::fromUtf8(c.b), QString::fromUtf8(c.a));
        EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " vs " << c.a;
    }
}

// Each sort gives its order, the reverse is the exact reverse, and a filter
// keeps the sorted order. Catches pages sorted as text, a file's pages out of
// order under the path sort, ties not kept in the order found.
TEST(RowOrder, SortsAndFiltersRows) {
    ResultRows rows;
    rows.append(row("/d/file10.pdf", "...kiwi b...", 3));  // 0
    rows.append(row("/d/file2.pdf", "...Apple...", 12));   // 1
    rows.append(row("/d/file10.pdf", "...kiwi a...", 1));  // 2
    rows.append(row("/d/file2.pdf", "...apple...", 2));    // 3
    rows.append(row("/d/Other.pdf", "...zebra...", 0));    // 4: page not known
    RowOrder order(rows);
    order.appended(0);
    const struct {
        SortKey key;
        bool descending;
        const char* filter;
        std::vector<int> shown;
    } cases[] = {
        {SortKey::Found, false, "", {0, 1, 2, 3, 4}}, {SortKey::Path, false, "", {3, 1, 2, 0, 4}},
        {SortKey::Path, true, "", {4, 0, 2, 1, 3}},   {SortKey::Page, false, "", {2, 3, 0, 1, 4}},
        {SortKey::Where, false, "", {1, 3, 2, 0, 4}}, {SortKey::Page, false, "APPLE", {3, 1}},
        {SortKey::Page, false, "file1", {2, 0}},  // the path holds it
        {SortKey::Found, true, "kiwi", {2, 0}},       {SortKey::Found, false, "nothing", {}},
    };
    for (const auto& c : cases) {
        order.setSort(c.key, c.descending);
        order.setFilter(QString::fromUtf8(c.filter));
        EXPECT_EQ(order.shown(), c.shown) << static_cast<int>(c.key) << c.descending << c.filter;
    }
}

// Rows found while a sort and a filter are in effect take their places; a
// filter typed on narrows, one shortened widens again. Catches new rows
// appended at the end of a sorted view, and a narrowed filter that forgets
// rows when the text is shortened.
TEST(RowOrder, KeepsUpWithRowsFoundLaterAndWithTyping) {
    ResultRows rows;
    rows.append(row("/b10.pdf", "...x...", 5));
    rows.append(row("/b2.pdf", "...y...", 1));
    RowOrder order(rows);
    order.appended(0);
    order.setSort(SortKey::Path, false);
    order.setFilter(QStringLiteral("b"));
    EXPECT_EQ(order.shown(), (std::vector<int>{1, 0}));
    rows.append(row("/b1.pdf", "...z...", 2));
    rows.append(row("/c.pdf", "...w...", 2));  // does not pass the filter
    rows.append(row("/b2.pdf", "...v...", 0));
    EXPECT_TRUE(order.appended(2));
    EXPECT_EQ(order.shown(), (std::vector<int>{2, 1, 4, 0}));
    EXPECT_EQ(order.pathCount(), 4);

    order.setFilter(QStringLiteral("b2"));
    EXPECT_EQ(order.shown(), (std::vector<int>{1, 4}));
    order.setFilter(QString());
    EXPECT_EQ(order.shown(), (std::vector<int>{2, 1, 4, 0, 3}));

    rows.clear();
    order.reset();
    EXPECT_TRUE(order.shown().empty());
    rows.append(row("/a.pdf", "...", 1));
    order.appended(0);
    EXPECT_EQ(order.shown(), (std::vector<int>{0}));
}

// A row that keeps its context is filtered and sorted by that text (its
// bytes, letters compared without case). Catches a search that misses a
// match at the text's end or in another case, and non-ASCII letters compared
// with case.
TEST(RowOrder, FiltersAndSortsByTheContextShown) {
    const char* texts[] = {"one Kiwi by Herr M\xC3\xBCller",                // 0
                           "two kiwi, then the end: R\xC3\x89SUM\xC3\x89",  // 1
                           "three KIWI at MULLER's"};                       // 2
    ResultRows rows;
    for (const char* t : texts) {
        ResultRow r = row("/p.pdf", "", 1);
        r.context = QByteArray(t);
        r.spans.matchFrom = static_cast<int>(r.context.indexOf("iwi")) - 1;
        r.spans.matchTo = r.spans.matchFrom + 4;
        rows.append(r);
    }
    RowOrder order(rows);
    order.appended(0);
    const struct {
        const char* filter;
        std::vector<int> shown;
    } cases[] = {
        {"kiwi", {0, 1, 2}},           {"THE END", {1}}, {"end", {1}},       {"m\xC3\xBCller", {0}},
        {"M\xC3\x9CLLER", {0}},        {"muller", {2}},  {"kiwi at m", {2}}, {"absent", {}},
        {"r\xC3\xA9sum\xC3\xA9", {1}},  // the text in upper case
    };
    for (const auto& c : cases) {
        order.setFilter(QString::fromUtf8(c.filter));
        EXPECT_EQ(order.shown(), c.shown) << c.filter;
    }
    order.setFilter(QString());
    // From the occurrence on: "KIWI at", "Kiwi by", "kiwi, " (case folded).
    order.setSort(SortKey::Where, false);
    EXPECT_EQ(order.shown(), (std::vector<int>{2, 0, 1}));

    order.setSort(SortKey::Found, false);
    // A row inside an attachment is filtered by the path it shows.
    ResultRow attached = row("/p.pdf", "...kiwi...", 0);
    attached.place = std::make_shared<const ResultRow::Place>(
        ResultRow::Place{QStringLiteral("/p.pdf \u00bb notes.txt"), QStringLiteral("notes.txt")});
    rows.append(attached);
    order.appended(3);
    order.setFilter(QStringLiteral("NOTES.txt"));
    EXPECT_EQ(order.shown(), (std::vector<int>{3}));
}

}  // namespace
}  // namespace qm
