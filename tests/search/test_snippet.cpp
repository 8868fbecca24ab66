#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <string>

#include "search/snippet.h"
#include "support/searchrows.h"

namespace qm {
namespace {

using namespace qm::test;

// 46 distinct characters, so every position is found by its own letter.
const QString kAlphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ");

TEST(TermMatching, ASnippetOfBytesThatAreNotUtf8IsCutSafely) {
    // A run of continuation bytes (as a forged cache entry could hold) makes
    // a "character" of any length: the snippet must still be whole and safe.
    std::string bytes = "ab";
    bytes += std::string(4000, '\x80');
    bytes += "fox";
    bytes += std::string(4000, '\x80');
    const Snippet s = snippetAt(bytes, bytes.find("fox"));
    const std::string out = s.toUtf8();
    EXPECT_EQ(out.size(), s.text.size() + (s.leadingMarker ? 6 : 3));
    EXPECT_NE(out.find("fox"), std::string::npos);
    EXPECT_FALSE(s.toString().isEmpty());
}

TEST(TermMatching, SnippetDependsOnThePositionOfTheMatch) {
    // Position 1 of a short chunk: all of it, then the marker.
    EXPECT_EQ(searchFor(QStringLiteral("abcdef"), QStringLiteral("a")),
              QStringList{tail(QStringLiteral("abcdef"))});
    // Position 15: still from the start, no leading marker.
    EXPECT_EQ(searchFor(kAlphabet, QStringLiteral("o")), QStringList{tail(kAlphabet.left(30))});
    // Position 16: a leading marker although the snippet starts with character 1.
    EXPECT_EQ(searchFor(kAlphabet, QStringLiteral("p")), QStringList{dots(kAlphabet.left(30))});
    EXPECT_EQ(searchFor(kAlphabet, QStringLiteral("q")), QStringList{dots(kAlphabet.mid(1, 30))});
    // Near the end the snippet is shorter, the trailing marker stays.
    EXPECT_EQ(searchFor(kAlphabet, QStringLiteral("J")), QStringList{dots(kAlphabet.mid(30))});
    // A long phrase only shows its first 15 characters.
    EXPECT_EQ(searchFor(kAlphabet, kAlphabet.mid(20)), QStringList{dots(kAlphabet.mid(5, 30))});
}

TEST(TermMatching, SnippetsKeepLineEndsAndPageBreaks) {
    const QString text = QStringLiteral("one\r\ntwo\fthree");
    EXPECT_EQ(searchFor(text, QStringLiteral("two")), QStringList{tail(text)});
}

TEST(TermMatching, SnippetsAreCountedInCharacters) {
    // Mixed widths: 2, 3 and 4 bytes per character.
    QString text;
    for (int i = 0; i < 20; ++i) text += QStringLiteral("ä€😀");
    const QStringList found = searchFor(text, QStringLiteral("😀"));
    ASSERT_EQ(found.size(), 20);
    const QList<uint> ucs4 = text.toUcs4();
    const auto codePoints = [&](int from, int count) {
        QList<uint> part = ucs4.mid(from, count);
        return QString::fromUcs4(reinterpret_cast<const char32_t*>(part.constData()), part.size());
    };
    EXPECT_EQ(found[0], tail(codePoints(0, 30)));
    EXPECT_EQ(found[5], dots(codePoints(17 - 15, 30)));  // 😀 of group 6 is character 18
    EXPECT_EQ(found[19], dots(codePoints(59 - 15, 30)));
}

}  // namespace
}  // namespace qm
