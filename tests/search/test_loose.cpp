#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <random>
#include <utility>
#include <vector>

#include "search/loose.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "search/snippet.h"
#include "support/rounds.h"
#include "support/searchrows.h"

namespace qm {
namespace {

using namespace qm::test;

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
    // The exact search finds an occurrence across the chunks too.
    EXPECT_EQ(looseHits(chunks, {QStringLiteral("needle")}, CaseMode::MatchCase, false).size(), 1u);
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
    for (int round = 0; round < test::rounds(300); ++round) {
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
    for (int round = 0; round < test::rounds(100); ++round) {
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

// Each ligature matches its letters, case matching (folding would hide a
// ligature the table lacks).
TEST(LooseSearch, EveryLigatureMatchesItsLetters) {
    const std::pair<char16_t, const char*> ligatures[] = {
        {0xFB00, "ff"},  {0xFB01, "fi"}, {0xFB02, "fl"}, {0xFB03, "ffi"},
        {0xFB04, "ffl"}, {0xFB05, "st"}, {0xFB06, "st"},
    };
    for (const auto& [ligature, letters] : ligatures) {
        const QString text = QStringLiteral("<") + QChar(ligature) + QStringLiteral(">");
        const auto hits = looseHits(text, QStringLiteral("<%1>").arg(QLatin1String(letters)));
        ASSERT_EQ(hits.size(), 1u) << letters;
        EXPECT_EQ(hits[0].length, 5u) << letters;  // "<", the ligature's 3 bytes, ">"
    }
}

// Read from its file chunk by chunk, the loose search finds the rows of the
// whole text, also where a chunk ends inside a run of white space, after a
// soft hyphen (with and without a line end behind it) or a zero-width character.
TEST(LooseSearch, ATextFileSearchedChunkByChunkGivesTheWholeTextRows) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const char16_t pieces[] = {u'a', u'b', u'f', u'i', u' ', u'\n', u'\f', 0xAD, 0x200B, 0xFB01};
    // What stands on each side of the chunk boundaries, round by round.
    const QString cuts[][2] = {
        {QStringLiteral("a\u00AD"), QStringLiteral("\n b")},
        {QStringLiteral("a "), QStringLiteral("  b")},
        {QStringLiteral("a\u00AD"), QStringLiteral(" b")},
        {QStringLiteral("a\u200B"), QStringLiteral("  b")},
        {QStringLiteral(" \u00AD"), QStringLiteral("\nb")},
        {QStringLiteral("a\u00AD\u200B"), QStringLiteral("\u200B\nb")},
        {QStringLiteral("ab"), QStringLiteral("ab")},
    };
    std::mt19937 rng(5);
    int round = 0;
    for (const auto& cut : cuts) {
        QString text;
        // Three chunk boundaries, one under the sanitizers.
        while (text.size() < qsizetype(test::rounds(3) * kChunkLength + 500))
            text += QChar(pieces[rng() % std::size(pieces)]);
        for (qsizetype at = kChunkLength; at < text.size(); at += kChunkLength) {
            text.replace(at - cut[0].size(), cut[0].size(), cut[0]);
            text.replace(at, cut[1].size(), cut[1]);
        }
        const QString file = dir.filePath(QStringLiteral("t%1.txt").arg(round++));
        writeFile(file, text.toStdString());
        const TextChunks whole = readFileChunks(file);
        ASSERT_EQ(whole.chunk(1).substr(0, cut[1].toUtf8().size()), cut[1].toStdString());
        const QStringList phrases{QStringLiteral("a b"), QStringLiteral(" "),
                                  QStringLiteral("ab"),  QStringLiteral("b\na"),
                                  QStringLiteral("FI"),  QStringLiteral("\u00ADb")};
        for (const CaseMode mode : {CaseMode::MatchCase, CaseMode::IgnoreCase}) {
            RowStrings a;
            RowStrings b;
            searchText(kPath, whole, phrases, mode, a, true);
            searchTextFile(kPath, file, phrases, mode, b, true);
            ASSERT_FALSE(a.out.empty());
            ASSERT_EQ(a.out, b.out)
                << "cut " << cut[0].toStdString() << "|" << cut[1].toStdString();
        }
    }
}

}  // namespace
}  // namespace qm
