#include <gtest/gtest.h>

#include "text/display.h"

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

}  // namespace
}  // namespace qm
