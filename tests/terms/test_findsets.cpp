#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/settings.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "terms/findsets.h"
#include "terms/searchoptions.h"
#include "text/error.h"

namespace qm {
namespace {

using test::writeBytes;

TEST(FindSetsFormat, StoredFormHasASeparatorBeforeEachEntryAndNoneAtTheEnd) {
    EXPECT_EQ(joinFindSets({}), QString());
    EXPECT_EQ(joinFindSets({"X", "Y", "Z"}), QStringLiteral("::X::Y::Z"));
    EXPECT_EQ(joinFindSets({"A"}), QStringLiteral("::A"));
}

// Catches an entry that comes back split or changed after a restart: every
// list comes back as it was stored; one the plain form holds is stored plain,
// so that earlier versions still read it.
TEST(FindSetsFormat, EveryListComesBackAsItWasStored) {
    const struct {
        QStringList entries;
        bool plain;
    } cases[] = {
        {{"salad", "   ", " lead and trail ", "salad"}, true},
        {{"%only", "50%3A"}, true},
        {{"A::B", "salad"}, false},
        {{"a:", ":b", "c"}, false},
        {{"50%3A", "%", "::", "C:\\dir"}, false},
    };
    for (const auto& c : cases) {
        const QString stored = joinFindSets(c.entries);
        EXPECT_EQ(splitFindSets(stored), c.entries) << stored.toStdString();
        EXPECT_EQ(stored.startsWith(u':'), c.plain) << stored.toStdString();
    }
}

TEST(FindSetsFormat, EmptyPiecesFromDoubledLeadingOrTrailingSeparatorsAreSkipped) {
    EXPECT_EQ(splitFindSets(QStringLiteral("a::::b::")), (QStringList{"a", "b"}));
    EXPECT_EQ(splitFindSets(QStringLiteral("::")), QStringList());
    EXPECT_EQ(splitFindSets(QString()), QStringList());
    // A single colon is part of an entry.
    EXPECT_EQ(splitFindSets(QStringLiteral("::a:b:::c")), (QStringList{"a:b", ":c"}));
}

class ListFile : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    ScriptedMessageBoxes boxes;
    QString path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(ListFile, UsableLinesAreAppendedWithTheirBlanksAndBlankLinesSkipped) {
    writeBytes(path("list.txt"), "first\r\n  padded  \r\n   \r\n\r\n\t \r\nlast");
    QStringList list{"already"};
    ASSERT_TRUE(loadPhraseList(list, path("list.txt")));
    EXPECT_EQ(list, (QStringList{"already", "first", "  padded  ", "last"}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ListFile, DuplicatesAreKeptAndNonUtf8BytesReadAsLatin1) {
    writeBytes(path("dup.txt"), "salad\nsalad\ncaf\xe9\n");
    QStringList list{"salad"};
    ASSERT_TRUE(loadPhraseList(list, path("dup.txt")));
    EXPECT_EQ(list, (QStringList{"salad", "salad", "salad", QString::fromUtf8("caf\xc3\xa9")}));
}

TEST_F(ListFile, EmptyFileAddsNothing) {
    writeBytes(path("empty.txt"), "");
    QStringList list;
    ASSERT_TRUE(loadPhraseList(list, path("empty.txt")));
    EXPECT_TRUE(list.isEmpty());
    EXPECT_TRUE(boxes.shown.empty());
}

// The window's "File not found" for this case is pinned in the window's tests.
TEST_F(ListFile, MissingFileAddsNothingAndSaysSo) {
    QStringList list{"kept"};
    EXPECT_FALSE(loadPhraseList(list, path("missing.txt")));
    EXPECT_EQ(list, QStringList{"kept"});
}

TEST_F(ListFile, AFolderExistsButCannotBeReadAsAList) {
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    QStringList list;
    EXPECT_THROW((void)loadPhraseList(list, path("sub")), Error);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ListFile, TheListStopsGrowingAtItsLimit) {
    writeBytes(path("three.txt"), "a\nb\nc\n");
    QStringList list;
    for (int i = 0; i < kMaxFindSets - 2; ++i) list << QStringLiteral("x");
    EXPECT_THROW((void)loadPhraseList(list, path("three.txt")), Error);
    EXPECT_EQ(list.size(), kMaxFindSets);
    EXPECT_EQ(list.last(), QStringLiteral("b"));
}

// Catches a UTF-16 list (as Windows' editors save it) read as UTF-8, so that
// no phrase matches, a UTF-8 mark glued to the first phrase, and a list with
// NULs and no mark taken silently.
TEST(PhraseListBytes, ReadByTheirByteOrderMarkAndRefusedWithNulsAndNone) {
    struct Case {
        std::string bytes;
        QStringList lines;  // empty: refused
    };
    const QStringList both{QStringLiteral("fox"), QString::fromUtf8("caf\xc3\xa9")};
    using namespace std::string_literals;
    const Case cases[] = {
        {"\xFF\xFE"
         "f\0o\0x\0\r\0\n\0c\0a\0f\0\xE9\0"s,
         both},
        {"\xFE\xFF"
         "\0f\0o\0x\0\n\0c\0a\0f\0\xE9\0\n"s,
         both},
        {"\xEF\xBB\xBF"
         "fox\ncaf\xC3\xA9"s,
         both},
        {"fox\ncaf\xE9\n"s, both},  // Latin-1 fallback
        {"f\0o\0x\0\n\0"s, {}},     // UTF-16 without its mark
        {"\xEF\xBB\xBF"
         "fox\0"s,
         {}},
    };
    for (const Case& c : cases) {
        if (c.lines.isEmpty()) {
            EXPECT_THROW(phraseListLines(c.bytes, QStringLiteral("l.txt")), Error) << c.bytes;
            continue;
        }
        EXPECT_EQ(phraseListLines(c.bytes, QStringLiteral("l.txt")), c.lines) << c.bytes;
    }
}

TEST(ListFileDialog, ReturnedLengthIsPathOrFolderAndNamesJoinedByNul) {
    EXPECT_EQ(dialogSelectionLength({}), 0);
    EXPECT_EQ(dialogSelectionLength({"/home/u/list.txt"}), 16);
    // "/home/u" NUL "a.txt" NUL "bb.txt"
    EXPECT_EQ(dialogSelectionLength({"/home/u/a.txt", "/home/u/bb.txt"}), 7 + 1 + 5 + 1 + 6);
    // A root folder is named "/".
    EXPECT_EQ(dialogSelectionLength({"/a.txt", "/b.txt"}), 1 + 1 + 5 + 1 + 5);
}

TEST(ListFileDialog, ThirtyThousandCharactersIsTheLargestSelection) {
    const QString folder = QStringLiteral("/") + QString(99, u'f');  // 100 characters
    QStringList chosen;
    // 100 + n * (1 + 199) <= 30000 for n = 149 (29900); 150 files make 30100.
    for (int i = 0; i < 149; ++i)
        chosen << folder + u'/' + QString::number(i).rightJustified(195, u'n') + ".txt";
    EXPECT_EQ(dialogSelectionLength(chosen), 29900);
    EXPECT_LE(dialogSelectionLength(chosen), kDialogBufferLength);
    chosen << folder + u'/' + QString(195, u'z') + ".txt";
    EXPECT_GT(dialogSelectionLength(chosen), kDialogBufferLength);
    // One file is measured by its path only.
    EXPECT_GT(dialogSelectionLength({QString(30001, u'p')}), kDialogBufferLength);
    EXPECT_EQ(dialogSelectionLength({QString(30000, u'p')}), kDialogBufferLength);
}

TEST(ListFileDialog, LengthCountsUtf16UnitsAsTheDialogsTextDoes) {
    // U+1F600 is two UTF-16 units, U+00E9 one.
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(dialogSelectionLength({u'/' + face}), 3);
    EXPECT_EQ(dialogSelectionLength({u'/' + face + u'/' + face, QStringLiteral("/\u00E9/b")}),
              3 + 1 + 2 + 1 + 1);
    // "/", 14,999 such characters and "x" are 30,000 units; one more is too many.
    const QString fits = u'/' + face.repeated(14999) + QStringLiteral("x");
    EXPECT_EQ(dialogSelectionLength({fits}), kDialogBufferLength);
    EXPECT_GT(dialogSelectionLength({fits + u'y'}), kDialogBufferLength);
}

TEST(SearchPhrase, OnlySpacesOrNothingIsBlank) {
    for (const char* blank : {"", " ", "     "}) EXPECT_TRUE(isBlankPhrase(blank)) << blank;
    for (const char* text : {"\t", " \t ", "\n", " a ", "\u00A0", "\u3000", "x"})
        EXPECT_FALSE(isBlankPhrase(QString::fromUtf8(text))) << text;
}

TEST(ListFileDialog, PathsOfSeveralFilesHaveSingleSeparatorsAndOneFileStaysAsChosen) {
    EXPECT_EQ(pathsToLoad({"/a.txt", "/b.txt"}), (QStringList{"/a.txt", "/b.txt"}));
    EXPECT_EQ(pathsToLoad({"/home//u/a.txt", "/home//u/b.txt"}),
              (QStringList{"/home/u/a.txt", "/home/u/b.txt"}));
    EXPECT_EQ(pathsToLoad({"/home//u/a.txt"}), QStringList{"/home//u/a.txt"});
}

}  // namespace
}  // namespace qm
