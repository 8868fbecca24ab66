#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "search/searcher.h"
#include "search/sink.h"
#include "support/rounds.h"
#include "support/searchrows.h"
#include "text/error.h"
#include "text/textfile.h"

namespace qm {
namespace {

using namespace qm::test;

TEST(TermMatching, OverlappingOccurrencesAreAllReported) {
    EXPECT_EQ(searchFor(QStringLiteral("aaaa"), QStringLiteral("aa")).size(), 3);
    // A blanks-only phrase is searched like any other.
    EXPECT_EQ(searchFor(QStringLiteral("a    b c  d"), QStringLiteral("  ")).size(), 4);
    EXPECT_EQ(search(QStringLiteral("x  y"), multiple({QStringLiteral("  ")}, CaseMode::MatchCase))
                  .size(),
              1);
}

TEST(TermMatching, CaseIsMatchedOrIgnored) {
    EXPECT_TRUE(searchFor(QStringLiteral("A PDF file"), QStringLiteral("pdf")).isEmpty());
    EXPECT_EQ(
        searchFor(QStringLiteral("PDF, Pdf and pdf"), QStringLiteral("pdf"), CaseMode::IgnoreCase)
            .size(),
        3);
    // Also after the first occurrence of a chunk.
    EXPECT_EQ(
        searchFor(QStringLiteral("Foo then foo"), QStringLiteral("FOO"), CaseMode::IgnoreCase),
        (QStringList{tail(QStringLiteral("Foo then foo")), tail(QStringLiteral("Foo then foo"))}));
}

TEST(TermMatching, LeadingBlankIsPartOfThePhrase) {
    EXPECT_TRUE(searchFor(QStringLiteral("the internet"), QStringLiteral(" net")).isEmpty());
    EXPECT_EQ(searchFor(QStringLiteral("the net"), QStringLiteral(" net")).size(), 1);
}

TEST(TermMatching, RowsComeGroupedByPhraseInListOrder) {
    const QString text = QStringLiteral("01234567890123456789 cat");
    EXPECT_EQ(
        search(text, multiple({QStringLiteral("cat"), QStringLiteral("at")}, CaseMode::MatchCase)),
        (QStringList{dots(text.mid(6)), dots(text.mid(7))}));
    // The same phrase twice gives its rows twice, one group after the other.
    const QString abc = QStringLiteral("a b a");
    EXPECT_EQ(search(abc, multiple({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a")},
                                   CaseMode::MatchCase)),
              QStringList(5, tail(abc)));
    // A phrase without occurrence adds nothing, neither does an empty entry.
    EXPECT_EQ(search(abc, multiple({QString(), QStringLiteral("zz"), QStringLiteral("b")},
                                   CaseMode::IgnoreCase))
                  .size(),
              1);
}

TEST(TermMatching, NothingIsSearchedWithoutPhrases) {
    SearchOptions none = single(QStringLiteral("a"), CaseMode::MatchCase);
    none.mode = SearchMode::None;
    EXPECT_TRUE(search(QStringLiteral("aaa"), none).isEmpty());
    EXPECT_TRUE(
        search(QStringLiteral("aaa"), multiple({QString()}, CaseMode::MatchCase)).isEmpty());
    EXPECT_TRUE(searchFor(QString(), QStringLiteral("a")).isEmpty());
}

TEST(TermMatching, OccurrencesAcrossChunksAreFoundAndOthersStopAtTheirChunk) {
    // Two-byte characters, so chunks must be counted in code points.
    const QString first = QString(65535, QChar(0xE9));  // é
    const QString text = first + QStringLiteral("ab") + QString(40, QChar(0xE9));
    // Across the end of the first chunk: the snippet runs on into the next.
    EXPECT_EQ(searchFor(text, QStringLiteral("ab")),
              QStringList{dots(QString(15, QChar(0xE9)) + QStringLiteral("ab") +
                               QString(13, QChar(0xE9)))});
    // The end of the first chunk: the snippet stops there.
    EXPECT_EQ(searchFor(text, QString(QChar(0xE9)) + QStringLiteral("a")),
              QStringList{dots(QString(16, QChar(0xE9)) + QStringLiteral("a"))});
    // The start of the second chunk.
    EXPECT_EQ(searchFor(text, QStringLiteral("b")),
              QStringList{tail(QStringLiteral("b") + QString(29, QChar(0xE9)))});
}

// The page and phrase of every occurrence, as the sink gets them.
std::vector<std::pair<std::size_t, QString>> pagesOf(const QString& text,
                                                     const SearchOptions& options) {
    const TextChunks chunks = TextChunks::fromUtf8(text.toStdString());
    struct Pages : SearchSink {
        std::vector<std::pair<std::size_t, QString>> out;
        SinkAnswer occurrence(const Hit& hit) override {
            out.emplace_back(hit.page, hit.phraseText);
            return SinkAnswer::More;
        }
    } sink;
    searchText(kPath, chunks, options.phrases(), options.caseMode, sink);
    return sink.out;
}

using PageList = std::vector<std::pair<std::size_t, QString>>;

TEST(TermMatching, EveryOccurrenceKnowsItsPageAndPhrase) {
    const QString cat = QStringLiteral("cat");
    const QString dog = QStringLiteral("dog");
    // Page 1, an empty page 2, page 3, and the last page without a final form feed.
    const QString text = QStringLiteral("cat dog\fcat\f\fdog cat\fcat");
    EXPECT_EQ(pagesOf(text, multiple({dog, cat}, CaseMode::MatchCase)),
              (PageList{{1, dog}, {4, dog}, {1, cat}, {2, cat}, {4, cat}, {5, cat}}));
    // An occurrence that begins with the form feed itself is on the page it ends.
    EXPECT_EQ(pagesOf(text, single(QStringLiteral("\fcat"), CaseMode::MatchCase)),
              (PageList{{1, QStringLiteral("\fcat")}, {4, QStringLiteral("\fcat")}}));
    // Ignoring case changes no page, also after characters that lower to another length.
    EXPECT_EQ(pagesOf(QStringLiteral("\u0130\fCAT\f\u0130 cat"), single(cat, CaseMode::IgnoreCase)),
              (PageList{{2, cat}, {3, cat}}));
}

TEST(TermMatching, PagesAreCountedAcrossChunks) {
    // Form feeds in the first chunk count for occurrences in the second; the
    // second phrase starts counting again from the first chunk.
    QString text = QString(65536, QChar(u'x'));
    text[10] = u'\f';
    text[65535] = u'\f';
    text += QStringLiteral("\fab\fab");
    text[20] = u'a';
    text[21] = u'b';
    EXPECT_EQ(
        pagesOf(text, multiple({QStringLiteral("ab"), QStringLiteral("b")}, CaseMode::MatchCase)),
        (PageList{{2, QStringLiteral("ab")},
                  {4, QStringLiteral("ab")},
                  {5, QStringLiteral("ab")},
                  {2, QStringLiteral("b")},
                  {4, QStringLiteral("b")},
                  {5, QStringLiteral("b")}}));
}

TEST(TermMatching, IgnoringCaseLowersEachCharacter) {
    EXPECT_EQ(
        searchFor(QStringLiteral("ÄRGER"), QStringLiteral("ärger"), CaseMode::IgnoreCase).size(),
        1);
    EXPECT_EQ(
        searchFor(QStringLiteral("ΣΟΦΊΑ σοφία"), QStringLiteral("σοφία"), CaseMode::IgnoreCase)
            .size(),
        2);
    EXPECT_TRUE(
        searchFor(QStringLiteral("ΣΟΦΊΑ"), QStringLiteral("σοφία"), CaseMode::MatchCase).isEmpty());
    // The Kelvin sign lowers to a one-byte k; the snippet must still come from
    // the right place of the original text.
    const QString kelvin = QString(QChar(0x212A));
    const QString text = kelvin.repeated(20) + QStringLiteral(" target ") + kelvin.repeated(3);
    EXPECT_EQ(searchFor(text, QStringLiteral("TARGET"), CaseMode::IgnoreCase),
              QStringList{dots(text.mid(6, 30))});
    EXPECT_EQ(searchFor(text, QStringLiteral("kk"), CaseMode::IgnoreCase).size(), 21);
    // Ⱥ grows from two bytes to three when lowered.
    const QString grow = QString(QChar(0x023A)).repeated(17) + QStringLiteral("xy");
    EXPECT_EQ(searchFor(grow, QStringLiteral("XY"), CaseMode::IgnoreCase),
              QStringList{dots(grow.mid(2))});
}

// --- against a plain reference --------------------------------------------

// Every occurrence's snippet, computed on code points the slow, obvious way.
QStringList referenceSnippets(const QList<uint>& text, const QStringList& phrases,
                              bool ignoreCase) {
    const auto lower = [&](QList<uint> v) {
        if (ignoreCase)
            for (uint& c : v) c = QChar::toLower(char32_t(c));
        return v;
    };
    const auto str = [](const QList<uint>& v, qsizetype from, qsizetype n) {
        const QList<uint> part = v.mid(from, n);
        return QString::fromUcs4(reinterpret_cast<const char32_t*>(part.constData()), part.size());
    };
    QStringList out;
    for (const QString& phrase : phrases) {
        const QList<uint> p = lower(phrase.toUcs4());
        for (qsizetype chunkStart = 0; chunkStart < text.size(); chunkStart += 65536) {
            const QList<uint> chunk = text.mid(chunkStart, 65536);
            const QList<uint> low = lower(chunk);
            // An occurrence may run on into the next chunk, and its snippet with it.
            const QList<uint> rest = lower(text.mid(chunkStart));
            for (qsizetype i = 0; i < chunk.size() && i + p.size() <= rest.size(); ++i) {
                if (rest.mid(i, p.size()) != p) continue;
                const QList<uint>& from =
                    i + p.size() > chunk.size() ? text.mid(chunkStart) : chunk;
                const qsizetype pos = i + 1;
                out << (pos - 15 < 1 ? str(from, 0, 30) + QStringLiteral("...")
                                     : QStringLiteral("...") + str(from, pos - 16, 30) +
                                           QStringLiteral("..."));
            }
        }
    }
    return out;
}

TEST(TermMatching, AgreesWithAPlainSearchOnRandomText) {
    // Characters whose lowered form has another length, others that do not.
    const std::vector<char32_t> alphabet = {'a',  'A',   'b',    'B',   ' ',    '\r',   '\n',
                                            0xC4, 0xE4,  0x3A3,  0x3C3, 0x212A, 'k',    0x130,
                                            'i',  0x23A, 0x2C65, 0xDF,  0x1E9E, 0x1F600};
    std::mt19937 rng(12345);
    // Short texts, then texts of two chunks.
    const int shortRounds = test::rounds(25);
    for (int round = 0; round < shortRounds + test::rounds(5); ++round) {
        QList<uint> text;
        const int length = round < shortRounds ? 200 + round * 37 : 65536 + 300;
        std::uniform_int_distribution<std::size_t> pick(0, (round % 2 ? 5 : alphabet.size() - 1));
        for (int i = 0; i < length; ++i) text << alphabet[pick(rng)];
        QStringList phrases;
        for (int k = 0; k < 3; ++k) {
            const qsizetype len = 1 + k;
            // In a text of two chunks the last phrase is taken across their seam.
            const qsizetype at =
                k == 2 && length > 65536
                    ? 65534
                    : std::uniform_int_distribution<qsizetype>(0, text.size() - 4)(rng);
            const QList<uint> part = text.mid(at, len);
            phrases << QString::fromUcs4(reinterpret_cast<const char32_t*>(part.constData()),
                                         part.size());
        }
        const QString s =
            QString::fromUcs4(reinterpret_cast<const char32_t*>(text.constData()), text.size());
        for (bool ignore : {false, true}) {
            const auto mode = ignore ? CaseMode::IgnoreCase : CaseMode::MatchCase;
            ASSERT_EQ(search(s, multiple(phrases, mode)), referenceSnippets(text, phrases, ignore))
                << "round " << round << (ignore ? " ignoring case" : " matching case");
        }
    }
}

// chunk boundaries and with bytes that are not UTF-8 in the file.
TEST(TermMatching, ATextFileSearchedChunkByChunkGivesTheWholeTextRows) {
    using Rows = RowStrings;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::mt19937 rng(7);
    const char* pieces[] = {"ab",           "AB",       " ",
                            "\n",           "\xC3\xA4", "\xC3\x84",
                            "\xE2\x82\xAC", "\xFF",     "\xF0\x9F\x98\x80",
                            "\xE1\xBA\x9E", "\f"};
    for (int round = 0; round < test::rounds(4); ++round) {
        std::string bytes;
        while (bytes.size() < 400000u + static_cast<unsigned>(round) * 777u)
            bytes += pieces[rng() % 11];
        const QString file = dir.filePath(QStringLiteral("t%1.txt").arg(round));
        writeFile(file, bytes);
        const TextChunks whole = readFileChunks(file);
        ASSERT_GT(whole.count(), 3u);
        // Also the characters around the end of the first chunk, so that one
        // occurrence at least runs on into the second.
        const std::string_view seamTail = whole.chunk(0).substr(whole.chunk(0).size() - 8);
        const QString across = QString::fromUtf8(seamTail.data(), seamTail.size()).right(2) +
                               whole.chunkString(1).left(2);
        const QStringList sets[] = {
            {QStringLiteral("ab")},
            {QStringLiteral("b\u00E4"), QString(), QStringLiteral("\u20AC"), QStringLiteral("A")},
            {QString::fromUtf8("\xC3\xBF"), QStringLiteral("\u00DF")},
            {across, QStringLiteral("ab")},
        };
        for (const QStringList& phrases : sets) {
            for (const CaseMode mode : {CaseMode::MatchCase, CaseMode::IgnoreCase}) {
                Rows a;
                Rows b;
                const std::size_t na = searchText(kPath, whole, phrases, mode, a);
                const std::size_t nb = searchTextFile(kPath, file, phrases, mode, b);
                ASSERT_GT(na, 0u);
                EXPECT_EQ(na, nb);
                ASSERT_EQ(a.out, b.out)
                    << "round " << round << ", " << phrases.join(u'|').toStdString();
            }
        }
    }
    Rows none;
    EXPECT_THROW(searchTextFile(kPath, dir.filePath(QStringLiteral("absent.txt")),
                                {QStringLiteral("a")}, CaseMode::MatchCase, none),
                 Error);
}

// A phrase written across the end of a chunk is found, held or read from its
// file, matching or ignoring case: after the rows of its chunk, with the page
// and offset where it begins and a snippet that runs on into the next chunk;
// the rows of occurrences inside one chunk are as they always were.
TEST(TermMatching, APhraseAcrossTheEndOfAChunkIsFoundEitherWay) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Row {
        std::size_t phrase, chunk, offset;
        std::string snippet;
        std::size_t page, length;
        bool operator==(const Row&) const = default;
    };
    struct Rows : SearchSink {
        std::vector<Row> out;
        SinkAnswer occurrence(const Hit& hit) override {
            out.push_back(
                {hit.phrase, hit.chunk, hit.offset, hit.snippet.toUtf8(), hit.page, hit.length});
            return SinkAnswer::More;
        }
    };
    struct Case {
        std::string text;
        QStringList phrases;
        std::vector<CaseMode> modes;
        std::vector<Row> rows;
    };
    const std::string x14(14, 'x');
    const std::string e15 = [] {
        std::string e;
        for (int i = 0; i < 15; ++i) e += "\xC3\xA9";
        return e;
    }();
    std::string eLong;
    for (int i = 0; i < 65535; ++i) eLong += "\xC3\xA9";  // é: chunks count code points
    const Case cases[] = {
        // The first chunk ends with "\fa", the second begins with "bcab".
        {"ab " + std::string(65531, 'x') + "\fabcab",
         {QStringLiteral("ab"), QStringLiteral("b")},
         {CaseMode::MatchCase, CaseMode::IgnoreCase},
         {{0, 0, 0, "ab " + std::string(27, 'x') + "...", 1, 2},
          {0, 0, 65535, "..." + x14 + "\fabcab...", 2, 2},
          {0, 1, 2, "bcab...", 2, 2},
          {1, 0, 1, "ab " + std::string(27, 'x') + "...", 1, 1},
          {1, 1, 0, "bcab...", 2, 1},
          {1, 1, 3, "bcab...", 2, 1}}},
        // The Kelvin sign, the first chunk's last character, lowers to one byte.
        {eLong + "\xE2\x84\xAAX\xC3\xA9",
         {QStringLiteral("kX")},
         {CaseMode::IgnoreCase},
         {{0, 0, 2 * 65535, "..." + e15 + "\xE2\x84\xAAX\xC3\xA9...", 1, 4}}},
        {std::string(65533, '-') + "the same prefix",
         {QStringLiteral("the same prefix")},
         {CaseMode::MatchCase, CaseMode::IgnoreCase},
         {{0, 0, 65533, "..." + std::string(15, '-') + "the same prefix...", 1, 15}}},
    };
    for (const Case& c : cases) {
        const QString file = dir.filePath(QStringLiteral("across.txt"));
        writeFile(file, c.text);
        const TextChunks chunks = readFileChunks(file);
        ASSERT_EQ(chunks.count(), 2u);
        for (const CaseMode mode : c.modes) {
            QStringList phrases = c.phrases;
            if (mode == CaseMode::IgnoreCase)
                for (QString& p : phrases) p = p.toUpper();
            Rows held;
            Rows read;
            searchText(kPath, chunks, phrases, mode, held);
            searchTextFile(kPath, file, phrases, mode, read);
            const std::string what = c.phrases.join(u'|').toStdString();
            EXPECT_EQ(held.out, c.rows) << what;
            EXPECT_EQ(read.out, c.rows) << what << " from the file";
        }
    }
}

// A text whose first chunk ends with a page break, and one whose second chunk
// begins with one: read from its file, every later hit is on the next page.
TEST(TermMatching, APageBreakAtTheEndOfAChunkCountsFromTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        std::string text;
        std::vector<std::size_t> pages;
    };
    const std::string x(kChunkLength - 1, 'x');
    const Case cases[] = {
        {x + "\f" + "ab\fab", {2, 3}},
        {x + "y" + "\fab\fab", {2, 3}},
        {"ab\f" + x + "\fab", {1, 3}},
    };
    struct Pages : SearchSink {
        std::vector<std::size_t> out;
        SinkAnswer occurrence(const Hit& hit) override {
            out.push_back(hit.page);
            return SinkAnswer::More;
        }
    };
    for (const Case& c : cases) {
        const QString file = dir.filePath(QStringLiteral("pages.txt"));
        writeFile(file, c.text);
        for (const bool loose : {false, true}) {
            Pages sink;
            searchTextFile(kPath, file, {QStringLiteral("ab")}, CaseMode::MatchCase, sink, loose);
            EXPECT_EQ(sink.out, c.pages) << (loose ? "loose" : "exact");
        }
    }
}

// Catches an occurrence longer than a chunk going unfound when it runs over
// three chunks or more: exact and loose, held or read from its file, matching
// or ignoring case, one row where it begins, the same either way.
TEST(TermMatching, APhraseOverSeveralChunksIsFoundEitherWay) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::mt19937 rng(3);
    std::string text;
    for (std::size_t i = 0; i < 4 * kChunkLength + 100; ++i)
        text += i % 997 == 0 ? '\f' : "abcdefghij  "[rng() % 12];
    text.replace(100000, 70000, std::string(70000, ' '));  // a blank run longer than a chunk
    const QString file = dir.filePath(QStringLiteral("long.txt"));
    struct Case {
        std::size_t start, length;
        bool loose;  // the phrase with each run of white space as one blank
    };
    const Case cases[] = {
        {65000, 70002, false},              // chunks 0 to 2
        {kChunkLength - 1, 131074, false},  // the last character of chunk 0 to chunk 3
        {60000, 140000, true},              // chunks 0 to 3, the long blank run one blank
        {131000, 65536 + 1000, true},       // chunks 1 to 3
    };
    struct Where : SearchSink {
        std::vector<std::size_t> out;  // chunk, offset, page of each row
        SinkAnswer occurrence(const Hit& hit) override {
            out.insert(out.end(), {hit.chunk, hit.offset, hit.page});
            return SinkAnswer::More;
        }
    };
    for (const Case& c : cases) {
        std::string span = text.substr(c.start, c.length);
        span.front() = text[c.start] = 'a';
        span.back() = text[c.start + c.length - 1] = 'b';
        writeFile(file, text);
        const TextChunks held = readFileChunks(file);
        QString phrase = QString::fromStdString(span);
        if (c.loose) phrase = phrase.simplified();
        const std::vector<std::size_t> expected = {
            c.start / kChunkLength, c.start % kChunkLength,
            1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + c.start, '\f'))};
        for (const CaseMode mode : {CaseMode::MatchCase, CaseMode::IgnoreCase}) {
            const QStringList phrases{mode == CaseMode::IgnoreCase ? phrase.toUpper() : phrase};
            Where inMemory;
            Where fromFile;
            searchText(kPath, held, phrases, mode, inMemory, c.loose);
            searchTextFile(kPath, file, phrases, mode, fromFile, c.loose);
            EXPECT_EQ(inMemory.out, expected) << c.start << (c.loose ? " loose" : " exact");
            EXPECT_EQ(fromFile.out, expected) << c.start << (c.loose ? " loose" : " exact");
        }
    }
}

// A sink that has enough after some rows: matching of the file stops at once,
// however the text is searched (held or read from its file, exact or loose, by
// the first phrase or by a later one).
TEST(TermMatching, MatchingStopsWhenTheSinkHasEnough) {
    struct Enough : SearchSink {
        std::size_t wanted = 0;
        std::size_t taken = 0;
        SinkAnswer occurrence(const Hit&) override {
            return ++taken >= wanted ? SinkAnswer::Enough : SinkAnswer::More;
        }
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string bytes;
    while (bytes.size() < 3 * kChunkLength) bytes += "ab ab\fcd ";
    const QString file = dir.filePath(QStringLiteral("many.txt"));
    writeFile(file, bytes);
    const TextChunks chunks = readFileChunks(file);
    const QStringList sets[] = {
        {QStringLiteral("ab")},
        {QStringLiteral("absent"), QStringLiteral("b")},
        {QStringLiteral("cd"), QStringLiteral("ab")},
    };
    for (const QStringList& phrases : sets)
        for (const bool loose : {false, true})
            for (const bool fromFile : {false, true})
                for (const std::size_t wanted : {1u, 2u, 7u}) {
                    Enough sink;
                    sink.wanted = wanted;
                    const std::size_t found =
                        fromFile
                            ? searchTextFile(kPath, file, phrases, CaseMode::IgnoreCase, sink,
                                             loose)
                            : searchText(kPath, chunks, phrases, CaseMode::IgnoreCase, sink, loose);
                    EXPECT_EQ(sink.taken, wanted) << phrases.join(u'|').toStdString() << " loose "
                                                  << loose << " from the file " << fromFile;
                    EXPECT_EQ(found, wanted);
                }
}

}  // namespace
}  // namespace qm
