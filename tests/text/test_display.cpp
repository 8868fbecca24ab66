#include <gtest/gtest.h>

#include "text/display.h"
#include "text/names.h"

namespace qm {
namespace {

// U+1F600 as its surrogate pair; a lone high and a lone low surrogate.
const QString kPair = QString::fromUtf8("\xF0\x9F\x98\x80");
const QChar kHigh = kPair.at(0);
const QChar kLow = kPair.at(1);

TEST(Characters, ASurrogatePairIsOneCharacterAndIsNeverCut) {
    struct Case {
        QString text;
        qsizetype count;
    };
    const Case cases[] = {
        {QString(), 0},
        {QStringLiteral("abc"), 3},
        {kPair, 1},
        {u'a' + kPair + u'b', 3},
        {kPair + kPair, 2},
        {QString(kHigh) + u'a', 2},          // an unpaired high surrogate is one
        {QString(kLow) + kHigh, 2},          // a low before a high is no pair
        {QString(kHigh) + kHigh + kLow, 2},  // the second high pairs with the low
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text::characterCount(c.text), c.count) << c.text.size();
        // Every cut keeps whole characters, in order, and as many as asked for.
        for (qsizetype limit = 0; limit <= c.count + 1; ++limit) {
            const QString left = text::leftCharacters(c.text, limit);
            EXPECT_TRUE(c.text.startsWith(left));
            EXPECT_EQ(text::characterCount(left), std::min(limit, c.count));
            EXPECT_FALSE(!left.isEmpty() && left.back().isHighSurrogate() &&
                         left.size() < c.text.size() && c.text.at(left.size()).isLowSurrogate())
                << "a pair cut in two at " << limit;
        }
    }
}

// Catches a line of a report of several lines (the second: "File not found:
// NAME") shown without the display rule, a raw U+202E reordering it, and a
// name's byte that is not UTF-8 printed as another one.
TEST(Display, EveryLineOfAReportIsShownByTheRule) {
    const QString raw = text::decodeName("caf\xe9");
    struct Case {
        QString text;
        QByteArray lines;  // displayBytes with line feeds kept
    };
    const Case cases[] = {
        {QStringLiteral("heading\nFile not found: a\u202Eb.txt\nc\u2066d\te"),
         "heading\nFile not found: a<U+202E>b.txt\nc<U+2066>d e"},
        {QStringLiteral("\u202E\n\n\u2069"), "<U+202E>\n\n<U+2069>"},
        {raw + QStringLiteral("\u202E\n") + raw, "caf\xe9<U+202E>\ncaf\xe9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text::displayBytes(c.text, true), c.lines) << c.lines.constData();
        // The text's face: the same lines, a raw byte written as "\xE9".
        EXPECT_EQ(text::displayText(c.text, true),
                  QString::fromUtf8(c.lines).replace(QChar(0xFFFD), QStringLiteral("\\xE9")));
    }
}

}  // namespace
}  // namespace qm
