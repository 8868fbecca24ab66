// Where a phrase stands on a page, from the page's words and boxes.
#include <gtest/gtest.h>

#include "preview/hitmap.h"

namespace qm {
namespace {

// A page of lines of words; every word 10 points per code point wide, 10 high,
// one line per 20 points, words 5 points apart; each line a block of its own
// unless `oneBlock`.
PageWords page(const std::vector<std::vector<QString>>& lines, bool oneBlock = false) {
    PageWords p;
    p.size = QSizeF(600, 800);
    for (int l = 0; l < static_cast<int>(lines.size()); ++l) {
        double x = 0;
        for (const QString& w : lines[static_cast<std::size_t>(l)]) {
            const double width = 10.0 * w.toUcs4().size();
            p.words.push_back({w, QRectF(x, 20.0 * l, width, 10), l, oneBlock ? 0 : l, 0});
            x += width + 5;
        }
    }
    return p;
}

QString boxesText(const std::vector<PageOccurrence>& found) {
    QStringList all;
    for (const PageOccurrence& o : found) {
        QStringList one;
        for (const QRectF& r : o)
            one << QStringLiteral("%1-%2@%3").arg(r.left()).arg(r.right()).arg(r.top());
        all << one.join(u'+');
    }
    return all.join(QStringLiteral(" | "));
}

// Each case catches a mapping that disagrees with the search's own rules, so
// the n-th occurrence on the page would not be the row's n-th.
TEST(HitMap, OccurrencesAndTheirBoxes) {
    const QString ligature = QString(QChar(0xFB01)) + QStringLiteral("nd");  // "ﬁnd"
    struct Case {
        const char* what;
        PageWords words;
        QString phrase;
        CaseMode caseMode;
        bool loose;
        QString expected;
    } cases[] = {
        // Repeated words: every one, in reading order, a part of a word as its share.
        {"repeated", page({{"to", "be", "or"}, {"not", "to", "be"}}), "to be", CaseMode::MatchCase,
         false, "0-20@0+25-45@0 | 35-55@20+60-80@20"},
        {"inside a word", page({{"stop", "top"}}), "top", CaseMode::MatchCase, false,
         "10-40@0 | 45-75@0"},
        // Case: ignored, and kept.
        {"ignore case", page({{"Word", "WORD", "word"}}), "word", CaseMode::IgnoreCase, false,
         "0-40@0 | 45-85@0 | 90-130@0"},
        {"match case", page({{"Word", "WORD", "word"}}), "word", CaseMode::MatchCase, false,
         "90-130@0"},
        // A hyphen at a line's end inside a block: the word is whole in the text.
        {"hyphenated", page({{"an", "exam-"}, {"ple", "here"}}, true), "example",
         CaseMode::MatchCase, false, "25-65@0+0-30@20"},
        // ... but not across two blocks.
        {"hyphen ends a block", page({{"an", "exam-"}, {"ple"}}), "example", CaseMode::MatchCase,
         false, ""},
        // A ligature is one character: exact matches it only as written, loose as letters.
        {"ligature exact", page({{ligature}}), "find", CaseMode::MatchCase, false, ""},
        {"ligature loose", page({{ligature}}), "find", CaseMode::MatchCase, true, "0-30@0"},
        // A phrase over a line end: loose finds it (two boxes), exact does not.
        {"across a line loose", page({{"the", "big"}, {"dog"}}), "big dog", CaseMode::IgnoreCase,
         true, "35-65@0+0-30@20"},
        {"across a line exact", page({{"the", "big"}, {"dog"}}), "big dog", CaseMode::IgnoreCase,
         false, ""},
        // Words that nearly touch (a superscript) have no blank between them.
        {"touching",
         [] {
             PageWords p = page({{"links"}});
             p.words.push_back({"1", QRectF(50, 0, 5, 10), 0, 0, 0});
             return p;
         }(),
         "links1", CaseMode::MatchCase, false, "0-50@0+50-55@0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(boxesText(findOnPage(c.words, c.phrase, c.caseMode, c.loose)).toStdString(),
                  c.expected.toStdString())
            << c.what;
}

// A damaged output keeps the words read before the fault and says so; a whole
// one is read to its page's end, control characters (which pdftotext writes
// as they are, though XML forbids them) kept in their words (catches a reader
// that drops a page's words at the first fault or at a control character, or
// takes a whole page for a damaged one).
TEST(HitMap, ReadsTheBoxesOfAPage) {
    const QByteArray head =
        "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><doc>"
        "<page width=\"612\" height=\"792\"><flow><block><line>"
        "<word xMin=\"1\" yMin=\"2\" xMax=\"30\" yMax=\"12\">Fish &amp; chips</word>";
    const PageWords whole = parsePageWords(
        head + "<word xMin=\"40\" yMin=\"2\" xMax=\"60\" yMax=\"12\">\x02/driver\x04</word>" +
        "</line></block></flow></page></doc></body></html>");
    ASSERT_EQ(whole.words.size(), 2u);
    EXPECT_EQ(whole.words[1].text, QStringLiteral("\x02/driver\x04"));
    EXPECT_FALSE(whole.damaged);
    EXPECT_EQ(whole.words[0].text, QStringLiteral("Fish & chips"));
    EXPECT_EQ(whole.words[0].box, QRectF(QPointF(1, 2), QPointF(30, 12)));
    EXPECT_EQ(whole.size, QSizeF(612, 792));
    const PageWords cut = parsePageWords(head + "<word xMin=\"40\" yMin=\"2\" xM");
    EXPECT_TRUE(cut.damaged);
    EXPECT_EQ(cut.words.size(), 1u);
}

}  // namespace
}  // namespace qm
