// Whole words, accents ignored and patterns, each over made texts and once
// more with the text moved onto the end of a chunk, held and from its file.
#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "search/regexsearch.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "search/snippet.h"
#include "support/searchrows.h"

namespace qm {
namespace {

using namespace qm::test;

// "code point where a row begins in the whole text:bytes it covers" for every row.
struct Starts : SearchSink {
    std::vector<std::string> out;
    const TextChunks* chunks = nullptr;
    std::vector<std::size_t> sizes;  // code points of each chunk, for a text from its file
    SinkAnswer occurrence(const Hit& hit) override {
        const std::size_t before = hit.chunk * kChunkLength;
        std::size_t at = before;
        if (chunks) at += positionInChunk(chunks->chunk(hit.chunk), hit.offset) - 1;
        out.push_back(std::to_string(at) + ':' + std::to_string(hit.length) + ':' +
                      std::to_string(hit.page));
        return SinkAnswer::More;
    }
};

struct Case {
    const char* text;
    const char* phrase;
    MatchRules rules;
    std::vector<std::string> rows;  // "start:length:page"
};

// The rows of `c`, and the same once the text begins `shift` code points
// before the end of the first chunk (after a page of full stops), held whole
// and read from its file chunk by chunk.
void check(const Case& c, const char* what) {
    const QString phrase = QString::fromUtf8(c.phrase);
    {
        const TextChunks chunks = TextChunks::fromUtf8(c.text);
        Starts rows;
        rows.chunks = &chunks;
        searchText(kPath, chunks, {phrase}, c.rules, rows);
        EXPECT_EQ(rows.out, c.rows) << what << ": " << c.text << " / " << c.phrase;
    }
    for (const std::size_t shift : {3u, 1u}) {
        const std::size_t filler = kChunkLength - shift;
        const std::string text = std::string(filler - 1, '.') + '\f' + c.text;
        std::vector<std::string> moved;
        for (const std::string& row : c.rows) {
            const std::size_t colon = row.find(':'), page = row.rfind(':');
            moved.push_back(std::to_string(std::stoul(row) + filler) +
                            row.substr(colon, page - colon + 1) +
                            std::to_string(std::stoul(row.substr(page + 1)) + 1));
        }
        const TextChunks chunks = TextChunks::fromUtf8(text);
        Starts held;
        held.chunks = &chunks;
        searchText(kPath, chunks, {phrase}, c.rules, held);
        EXPECT_EQ(held.out, moved) << what << " at the seam (" << shift << "): " << c.text;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("t.txt"));
        writeFile(file, text);
        Starts read;
        read.chunks = &chunks;
        searchTextFile(kPath, file, {phrase}, c.rules, read);
        EXPECT_EQ(read.out, held.out) << what << " from the file (" << shift << "): " << c.text;
    }
}

constexpr MatchRules kWords{CaseMode::MatchCase, false, true};
constexpr MatchRules kWordsCaseless{CaseMode::IgnoreCase, false, true};
constexpr MatchRules kWordsLoose{CaseMode::MatchCase, true, true};

// Faults: a word character beside a row not seen (letters of any script,
// digits, the underscore), the edge of a chunk taken for a boundary, a phrase
// with punctuation at its end judged by itself, a mark after a letter taken
// for the letter's end.
TEST(MatchRules, WholeWords) {
    const Case cases[] = {
        {"cat category cat_s cat.", "cat", kWords, {"0:3:1", "19:3:1"}},
        {"x1 1x 1 y", "1", kWords, {"6:1:1"}},
        {"\xD0\xBA\xD0\xBE\xD1\x82 \xD0\xBA\xD0\xBE\xD1\x82\xD0\xB8\xD0\xBA",
         "\xD0\xBA\xD0\xBE\xD1\x82",
         kWords,
         {"0:6:1"}},
        {"a-b -b", "-b", kWords, {"4:2:1"}},
        {"ab. ab.c", "ab.", kWords, {"0:3:1"}},
        {"Cat CAT cats\fcat", "cat", kWordsCaseless, {"0:3:1", "4:3:1", "13:3:2"}},
        {"the cat\nfish cat fishes", "cat fish", kWordsLoose, {"4:8:1"}},
        {"cafe\xCC\x81 cafe", "cafe", kWords, {"6:4:1"}},
    };
    for (const Case& c : cases) check(c, "whole words");
}

constexpr MatchRules kAccents{CaseMode::MatchCase, false, false, true};
constexpr MatchRules kAccentsCaseless{CaseMode::IgnoreCase, false, false, true};

// Faults: accents compared (NFC or NFD), a letter that does not decompose kept,
// case ignored or kept against the option, the marks left out of a row's
// bytes, half of a letter that folds into two taken for a row, the loose
// search or whole words without accents.
TEST(MatchRules, AccentsIgnored) {
    const Case cases[] = {
        {"r\xC3\xA9sum\xC3\xA9 resume R\xC3\x89SUM\xC3\x89",
         "resume",
         kAccents,
         {"0:8:1", "7:6:1"}},
        {"r\xC3\xA9sum\xC3\xA9 resume R\xC3\x89SUM\xC3\x89",
         "resume",
         kAccentsCaseless,
         {"0:8:1", "7:6:1", "14:8:1"}},
        {"re\xCC\x81sume\xCC\x81 x", "r\xC3\xA9sum\xC3\xA9", kAccents, {"0:10:1"}},
        {"S\xC3\xB8ren \xC5\x81\xC3\xB3"
         "d\xC5\xBA \xC4\x91\xC4\xA7\xC4\xB1",
         "Soren Lodz dhi",
         kAccents,
         {"0:21:1"}},
        {"\xC3\x86sop \xC5\x93uvre Stra\xC3\x9F"
         "e",
         "aesop oeuvre strasse",
         kAccentsCaseless,
         {"0:20:1"}},
        {"Stra\xC3\x9F"
         "e",
         "se",
         kAccents,
         {}},
        {"M\xC3\x9CLLER", "muller", kAccents, {}},
        {"Muller", "M\xC3\xBCller", kAccents, {"0:6:1"}},
        {"re\xCC\x81sume\xCC\x81\n x",
         "resume x",
         {CaseMode::MatchCase, true, false, true},
         {"0:13:1"}},
        {"caf\xC3\xA9s caf\xC3\xA9", "cafe", {CaseMode::MatchCase, false, true, true}, {"6:5:1"}},
    };
    for (const Case& c : cases) check(c, "accents");
}

constexpr MatchRules kPattern{CaseMode::MatchCase, false, false, false, true};

// Faults: a class, an anchor or an alternation read as text, an anchor taken
// at the text's start instead of the page's, a match over a page break, an
// empty match given as a row, case, whole words or accents not applied to
// patterns.
TEST(MatchRules, Patterns) {
    const Case cases[] = {
        {"cat cot cut c4t", "c[ao]t", kPattern, {"0:3:1", "4:3:1"}},
        {"ab\fab x\fx ab", "^ab", kPattern, {"0:2:1", "3:2:2"}},
        {"ab\fab x\fx ab", "ab$", kPattern, {"0:2:1", "10:2:3"}},
        {"one two three", "two|one", kPattern, {"0:3:1", "4:3:1"}},
        {"ab\fcd", "b\\fc|b\\sc", kPattern, {}},
        {"abc", "x*", kPattern, {}},
        {"ABC abc", "a.c", {CaseMode::IgnoreCase, false, false, false, true}, {"0:3:1", "4:3:1"}},
        {"cat cats", "ca\\w", {CaseMode::MatchCase, false, true, false, true}, {"0:3:1"}},
        {"r\xC3\xA9sum\xC3\xA9",
         "res.me",
         {CaseMode::MatchCase, false, false, true, true},
         {"0:8:1"}},
    };
    for (const Case& c : cases) check(c, "patterns");
}

// Faults: a pattern that does not compile found only when a file is searched,
// or without PCRE2's message and place; a pattern that backtracks without end
// left to run instead of stopping the file's search.
TEST(MatchRules, PatternsThatCannotRun) {
    const auto fault = checkPatterns({QStringLiteral("ok"), QStringLiteral("a(b|c")}, kPattern);
    ASSERT_TRUE(fault.has_value());
    EXPECT_EQ(fault->pattern, QStringLiteral("a(b|c"));
    EXPECT_EQ(fault->message, QStringLiteral("Missing closing parenthesis"));
    EXPECT_EQ(fault->character, 6u);
    EXPECT_FALSE(checkPatterns({QStringLiteral("a(b|c)")}, kPattern).has_value());

    const TextChunks chunks = TextChunks::fromUtf8("aaa\f" + std::string(5000, 'a') + "!");
    Starts rows;
    rows.chunks = &chunks;
    try {
        searchText(kPath, chunks, {QStringLiteral("(a|aa)+$")}, kPattern, rows);
        ADD_FAILURE() << "no limit met";
    } catch (const PatternTooComplex& e) {
        EXPECT_EQ(e.found, 1u);  // the row before the limit stays
    }
}

}  // namespace
}  // namespace qm
