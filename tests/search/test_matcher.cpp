#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <random>
#include <string>
#include <vector>

#include "search/matcher.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "text/error.h"
#include "text/textfile.h"

namespace qm {
namespace {

const QString kPath = QStringLiteral("/docs/report.pdf");

SearchOptions single(const QString& phrase, CaseMode caseMode) {
    SearchOptions o;
    o.mode = SearchMode::Single;
    o.singlePhrase = phrase;
    o.caseMode = caseMode;
    return o;
}

SearchOptions multiple(const QStringList& phrases, CaseMode caseMode) {
    SearchOptions o;
    o.mode = SearchMode::Multiple;
    o.findSets = phrases;
    o.caseMode = caseMode;
    return o;
}

// The snippets of the rows that a search of `text` adds, in order; every row
// must carry the path and be unticked.
QStringList search(const QString& text, const SearchOptions& options) {
    const TextChunks chunks = TextChunks::fromUtf8(text.toStdString());
    struct Snippets : SearchSink {
        QStringList out;
        SinkAnswer occurrence(const Hit& hit) override {
            EXPECT_EQ(hit.path, kPath);
            out << hit.snippet.toString();
            return SinkAnswer::More;
        }
    } sink;
    const std::size_t found = searchText(kPath, chunks, options.phrases(), options.caseMode, sink);
    EXPECT_EQ(found, static_cast<std::size_t>(sink.out.size()));
    return sink.out;
}

QStringList searchFor(const QString& text, const QString& phrase,
                      CaseMode caseMode = CaseMode::MatchCase) {
    return search(text, single(phrase, caseMode));
}

QString dots(const QString& s) {
    return QStringLiteral("...") + s + QStringLiteral("...");
}
QString tail(const QString& s) {
    return s + QStringLiteral("...");
}

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

TEST(TermMatching, OccurrencesDoNotCrossChunks) {
    // Two-byte characters, so chunks must be counted in code points.
    const QString first = QString(65535, QChar(0xE9));  // é
    const QString text = first + QStringLiteral("ab") + QString(40, QChar(0xE9));
    EXPECT_TRUE(searchFor(text, QStringLiteral("ab")).isEmpty());
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
            for (qsizetype i = 0; i + p.size() <= low.size(); ++i) {
                if (low.mid(i, p.size()) != p) continue;
                const qsizetype pos = i + 1;
                out << (pos - 15 < 1 ? str(chunk, 0, 30) + QStringLiteral("...")
                                     : QStringLiteral("...") + str(chunk, pos - 16, 30) +
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
    for (int round = 0; round < 30; ++round) {
        QList<uint> text;
        const int length = round < 25 ? 200 + round * 37 : 65536 + 300;
        std::uniform_int_distribution<std::size_t> pick(0, (round % 2 ? 5 : alphabet.size() - 1));
        for (int i = 0; i < length; ++i) text << alphabet[pick(rng)];
        QStringList phrases;
        for (int k = 0; k < 3; ++k) {
            const qsizetype len = 1 + k;
            const qsizetype at = std::uniform_int_distribution<qsizetype>(0, text.size() - 4)(rng);
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

TEST(ByteSearch, FindsEveryOccurrenceLikeStdFind) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::string hay(std::uniform_int_distribution<int>(0, 300)(rng), 'a');
        for (char& c : hay) c = "ab"[rng() % 2];
        std::string needle(std::uniform_int_distribution<int>(1, 70)(rng), 'a');
        for (char& c : needle) c = "ab"[rng() % 4 == 0];
        std::vector<std::size_t> expected, got;
        for (auto p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1))
            expected.push_back(p);
        for (auto p = findBytes(hay, needle, 0); p != std::string_view::npos;
             p = findBytes(hay, needle, p + 1))
            got.push_back(p);
        ASSERT_EQ(got, expected) << "haystack " << hay << " needle " << needle;
    }
}

TEST(TermMatcher, ReportsChunkAndOffsetOfEachOccurrence) {
    const TextChunks chunks = TextChunks::fromUtf8(std::string(65536, 'x') + "yxy");
    TermMatcher matcher(CaseMode::IgnoreCase);
    std::vector<std::pair<std::size_t, std::size_t>> seen;
    matcher.forEachOccurrence(chunks, QStringLiteral("XY"), [&](const Occurrence& o) {
        seen.emplace_back(o.chunk, o.offset);
        EXPECT_EQ(o.snippet.toUtf8().substr(0, 3), o.chunk == 0 ? "..." : "yxy");
    });
    EXPECT_EQ(seen, (std::vector<std::pair<std::size_t, std::size_t>>{{1, 1}}));
    EXPECT_EQ(matcher.countOccurrences(chunks, QStringLiteral("x")), 65537u);
    EXPECT_EQ(positionInChunk("äöü", 4), 3u);
}

// Searching the text file chunk by chunk must report the very rows of a
// search of the whole text: same phrase, chunk, offset and snippet, in the
// same order, for one phrase and several, with and without case, across
// chunk boundaries and with bytes that are not UTF-8 in the file.
TEST(TermMatching, ATextFileSearchedChunkByChunkGivesTheWholeTextRows) {
    struct Rows : SearchSink {
        std::vector<std::string> out;
        SinkAnswer occurrence(const Hit& hit) override {
            out.push_back(std::to_string(hit.phrase) + ':' + std::to_string(hit.chunk) + ':' +
                          std::to_string(hit.offset) + ':' + hit.snippet.toUtf8() + ':' +
                          std::to_string(hit.page) + ':' + hit.phraseText.toStdString() + ':' +
                          std::to_string(hit.length));
            return SinkAnswer::More;
        }
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::mt19937 rng(7);
    const char* pieces[] = {"ab",           "AB",       " ",
                            "\n",           "\xC3\xA4", "\xC3\x84",
                            "\xE2\x82\xAC", "\xFF",     "\xF0\x9F\x98\x80",
                            "\xE1\xBA\x9E", "\f"};
    for (int round = 0; round < 4; ++round) {
        std::string bytes;
        while (bytes.size() < 400000u + static_cast<unsigned>(round) * 777u)
            bytes += pieces[rng() % 11];
        const QString file = dir.filePath(QStringLiteral("t%1.txt").arg(round));
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        }
        const TextChunks whole = readFileChunks(file);
        ASSERT_GT(whole.count(), 3u);
        const QStringList sets[] = {
            {QStringLiteral("ab")},
            {QStringLiteral("b\u00E4"), QString(), QStringLiteral("\u20AC"), QStringLiteral("A")},
            {QString::fromUtf8("\xC3\xBF"), QStringLiteral("\u00DF")},
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

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// --- the line-break-tolerant search ----------------------------------------

struct LooseHit {
    std::size_t chunk, offset, page, length;
    QString snippet;
};

std::vector<LooseHit> looseHits(const TextChunks& chunks, const QStringList& phrases,
                                CaseMode caseMode, bool loose = true) {
    struct Sink : SearchSink {
        std::vector<LooseHit> out;
        SinkAnswer occurrence(const Hit& hit) override {
            out.push_back({hit.chunk, hit.offset, hit.page, hit.length, hit.snippet.toString()});
            return SinkAnswer::More;
        }
    } sink;
    searchText(kPath, chunks, phrases, caseMode, sink, loose);
    return sink.out;
}

std::vector<LooseHit> looseHits(const QString& text, const QString& phrase,
                                CaseMode caseMode = CaseMode::MatchCase, bool loose = true) {
    return looseHits(TextChunks::fromUtf8(text.toStdString()), {phrase}, caseMode, loose);
}

TEST(LooseSearch, WrappedPhrasesAreFoundWhereTheyBegin) {
    const QString text = QStringLiteral("one quick\r\n  brown fox; quick\tbrown\fquick\u00A0brown");
    const auto hits = looseHits(text, QStringLiteral("quick brown"));
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[0].offset, 4u);
    EXPECT_EQ(hits[0].snippet, tail(QStringLiteral("one quick\r\n  brown fox; quick\t")));
    EXPECT_EQ(hits[0].length, 14u);  // "quick\r\n  brown", the highlight of the original
    EXPECT_EQ(hits[1].page, 1u);
    EXPECT_EQ(hits[2].page, 2u);
    // The default search finds none of them: a blank is a blank there.
    EXPECT_TRUE(looseHits(text, QStringLiteral("quick brown"), CaseMode::MatchCase, false).empty());
    // Blanks of the phrase are one run too; a phrase of blanks finds each run once.
    EXPECT_EQ(looseHits(text, QStringLiteral("quick \n brown")).size(), 3u);
    EXPECT_EQ(looseHits(QStringLiteral("a  b\n\nc"), QStringLiteral(" ")).size(), 2u);
}

TEST(LooseSearch, LigaturesSoftHyphensAndZeroWidthCharacters) {
    const QString text = QStringLiteral(
        "the o\uFB03ce, an exam\u00ADple, a hy\u00AD\nphen, zero\u200Bwidth, \uFB02ow");
    EXPECT_EQ(looseHits(text, QStringLiteral("office")).size(), 1u);
    EXPECT_EQ(looseHits(text, QStringLiteral("example")).size(), 1u);
    EXPECT_EQ(looseHits(text, QStringLiteral("hyphen")).size(), 1u);
    EXPECT_EQ(looseHits(text, QStringLiteral("zerowidth")).size(), 1u);
    EXPECT_EQ(looseHits(text, QStringLiteral("flow")).size(), 1u);
    // The letters of a ligature are one place: "f" is found once in "ﬃ", at the ligature.
    const auto f = looseHits(QStringLiteral("o\uFB03"), QStringLiteral("f"));
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].offset, 1u);
    EXPECT_EQ(f[0].length, 3u);  // the whole ligature
    // A ligature in the phrase matches the letters in the text.
    EXPECT_EQ(looseHits(QStringLiteral("office"), QStringLiteral("o\uFB03ce")).size(), 1u);
    EXPECT_TRUE(looseHits(text, QStringLiteral("office"), CaseMode::MatchCase, false).empty());
}

TEST(LooseSearch, OccurrencesAcrossChunksAreFound) {
    const QString text = QString(65533, QChar(u'x')) + QStringLiteral(" needle \f\fin hay");
    const TextChunks chunks = TextChunks::fromUtf8(text.toStdString());
    ASSERT_EQ(chunks.count(), 2u);
    const auto hits = looseHits(chunks, {QStringLiteral("needle in")}, CaseMode::MatchCase);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].chunk, 0u);
    EXPECT_EQ(hits[0].offset, 65534u);
    EXPECT_EQ(hits[0].page, 1u);
    // The snippet stays within the chunk where the occurrence begins.
    EXPECT_EQ(hits[0].snippet, dots(QString(14, QChar(u'x')) + QStringLiteral(" ne")));
    EXPECT_EQ(looseHits(chunks, {QStringLiteral("needle")}, CaseMode::MatchCase).size(), 1u);
    EXPECT_TRUE(looseHits(chunks, {QStringLiteral("needle")}, CaseMode::MatchCase, false).empty());
}

TEST(LooseSearch, FullCaseFoldingWhenIgnoringCase) {
    const QString text = QStringLiteral(
        "STRASSE, Stra\u00DFe, \u1E9E, \u039F\u0394\u039F\u03A3 \u03BF\u03B4\u03BF\u03C2");
    EXPECT_EQ(looseHits(text, QStringLiteral("strasse"), CaseMode::IgnoreCase).size(), 2u);
    EXPECT_EQ(looseHits(text, QStringLiteral("stra\u00DFe"), CaseMode::IgnoreCase).size(), 2u);
    EXPECT_EQ(looseHits(text, QStringLiteral("ss"), CaseMode::IgnoreCase).size(), 3u);
    EXPECT_EQ(
        looseHits(text, QStringLiteral("\u03BF\u03B4\u03BF\u03C3"), CaseMode::IgnoreCase).size(),
        2u);
    // Case matters: no folding at all.
    EXPECT_EQ(looseHits(text, QStringLiteral("strasse")).size(), 0u);
    EXPECT_EQ(looseHits(text, QStringLiteral("Stra\u00DFe")).size(), 1u);
}

// The obvious loose search on code points: a table of the characters used
// below, each text position's normal form, and a plain search of the joined form.
std::vector<std::size_t> referenceLoose(const QList<uint>& text, const QList<uint>& phrase,
                                        bool fold) {
    const auto isSpace = [](uint c) { return c == ' ' || c == '\n' || c == '\f' || c == 0xA0; };
    const auto isSkipped = [](uint c) { return c == 0xAD || c == 0x200B; };
    const auto normal = [&](const QList<uint>& in, std::vector<std::size_t>* from) {
        QList<uint> out;
        for (qsizetype i = 0; i < in.size();) {
            const uint c = in[i];
            const auto put = [&](std::initializer_list<uint> cs) {
                for (uint x : cs) {
                    out << x;
                    if (from) from->push_back(static_cast<std::size_t>(i));
                }
            };
            if (isSpace(c)) {
                put({' '});
                while (i < in.size() && (isSpace(in[i]) || isSkipped(in[i]))) ++i;
                continue;
            }
            ++i;
            if (c == 0xAD) {
                qsizetype j = i;
                bool lineEnd = false;
                while (j < in.size() && (isSpace(in[j]) || isSkipped(in[j])))
                    lineEnd = lineEnd || in[j] == '\n' || in[j] == '\f', ++j;
                if (lineEnd) i = j;
                continue;
            }
            if (c == 0x200B) continue;
            --i;
            if (c == 0xFB01)
                put({'f', 'i'});
            else if (c == 0xFB00)
                put({'f', 'f'});
            else if (fold && c == 0xDF)
                put({'s', 's'});
            else if (fold && c == 'S')
                put({'s'});
            else
                put({c});
            ++i;
        }
        return out;
    };
    std::vector<std::size_t> from;
    const QList<uint> t = normal(text, &from);
    const QList<uint> p = normal(phrase, nullptr);
    std::vector<std::size_t> out;
    for (qsizetype i = 0; !p.isEmpty() && i + p.size() <= t.size(); ++i)
        if (t.mid(i, p.size()) == p && (out.empty() || out.back() != from[i]))
            out.push_back(from[i]);
    return out;
}

TEST(LooseSearch, AgreesWithAPlainReferenceOnRandomText) {
    const uint alphabet[] = {'a',  'b',  'f',  'i',    's',    'S',    ' ', '\n',
                             '\f', 0xA0, 0xAD, 0x200B, 0xFB01, 0xFB00, 0xDF};
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        QList<uint> text;
        const int n = 1 + static_cast<int>(rng() % 60);
        for (int i = 0; i < n; ++i) text << alphabet[rng() % std::size(alphabet)];
        QList<uint> phrase;
        const int m = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < m; ++i) phrase << alphabet[rng() % 10];
        const QString t =
            QString::fromUcs4(reinterpret_cast<const char32_t*>(text.constData()), text.size());
        const QString p =
            QString::fromUcs4(reinterpret_cast<const char32_t*>(phrase.constData()), phrase.size());
        for (const bool fold : {false, true}) {
            std::vector<std::size_t> got;
            const std::string utf8 = t.toStdString();
            for (const LooseHit& h :
                 looseHits(t, p, fold ? CaseMode::IgnoreCase : CaseMode::MatchCase))
                got.push_back(positionInChunk(utf8, h.offset) - 1);
            EXPECT_EQ(got, referenceLoose(text, phrase, fold))
                << t.toStdString() << " / " << p.toStdString() << " " << fold;
        }
    }
}

TEST(LooseSearch, PlainTextGivesTheDefaultResults) {
    // Without white space or special characters, the loose search is the default one.
    std::mt19937 rng(11);
    for (int round = 0; round < 100; ++round) {
        QString text;
        for (int i = 0; i < 200; ++i) text += QChar(u"abAB\u00E9\u00C9"[rng() % 6]);
        const QString phrase = text.mid(static_cast<qsizetype>(rng() % 190), 3);
        for (const CaseMode mode : {CaseMode::MatchCase, CaseMode::IgnoreCase}) {
            const auto loose = looseHits(text, phrase, mode, true);
            const auto exact = looseHits(text, phrase, mode, false);
            ASSERT_EQ(loose.size(), exact.size());
            for (std::size_t i = 0; i < loose.size(); ++i) {
                EXPECT_EQ(loose[i].offset, exact[i].offset);
                EXPECT_EQ(loose[i].snippet, exact[i].snippet);
                EXPECT_EQ(loose[i].length, exact[i].length);
            }
        }
    }
}

}  // namespace
}  // namespace qm
