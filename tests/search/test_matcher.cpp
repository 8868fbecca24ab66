#include <gtest/gtest.h>

#include <QChar>
#include <QString>
#include <QStringList>
#include <random>
#include <string>
#include <vector>

#include "search/fold.h"
#include "search/matcher.h"
#include "support/searchrows.h"

namespace qm {
namespace {

using namespace qm::test;

// Catches candidates looked for at the wrong places of the phrase (its rarest
// bytes, wherever they stand, also twice the same byte), in the vector loops
// and the scalar tail alike.
TEST(ByteSearch, FindsEveryOccurrenceLikeStdFind) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        std::string hay(std::uniform_int_distribution<int>(0, 600)(rng), 'a');
        for (char& c : hay) c = "abq"[rng() % 7 == 0 ? 2 : rng() % 2];
        std::string needle(std::uniform_int_distribution<int>(1, 70)(rng), 'a');
        for (char& c : needle) c = "abq"[rng() % 9 == 0 ? 2 : rng() % 4 == 0];
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

// Faults: one way of folding answered from another's table or from what an
// earlier call with another way kept (a letter below U+0800 and beyond it).
TEST(Folding, EachWayKeepsItsOwnForms) {
    struct Case {
        char32_t c;
        bool lower, strip;
        std::string folded;
    };
    const Case cases[] = {
        {0xC9, true, false, "\xC3\xA9"}, {0xC9, false, true, "E"},
        {0xC9, true, true, "e"},         {0x1E9E, true, true, "ss"},
        {0x1E9E, false, true, "SS"},     {0x1EBE, true, true, "e"},
        {0x1EBE, false, true, "E"},      {0x1EBE, true, false, "\xE1\xBA\xBF"},
    };
    for (const Case& k : cases) {
        char out[8];
        const std::size_t n = foldCodePoint(k.c, k.lower, k.strip, out);
        EXPECT_EQ(std::string(out, n), k.folded)
            << std::hex << static_cast<unsigned>(k.c) << " " << k.lower << k.strip;
    }
}

// Faults: a chunk of plain ASCII, searched as it is when accents are ignored,
// given the offsets of an earlier chunk's folded letters; a chunk whose first
// byte above 0x7F lies past the first 64 taken for plain ASCII (not folded).
TEST(TermMatcher, PlainAsciiChunksAmongOthersWithAccentsIgnored) {
    TermMatcher matcher(CaseMode::MatchCase, true);
    const std::vector<std::string> prepared{matcher.prepare(QStringLiteral("resume"))};
    const std::string pad(70, 'x');
    const std::string chunks[] = {"\xC3\xA9\xC3\xA9\xC3\xA9 resume", "ab resume", pad + " resume",
                                  pad + "r\xC3\xA9sum\xC3\xA9"};
    std::vector<std::pair<std::size_t, std::size_t>> seen;
    for (const std::string& chunk : chunks)
        matcher.findInChunk(chunk, prepared, [&](std::size_t, std::size_t at, std::size_t length) {
            seen.emplace_back(at, length);
            return true;
        });
    EXPECT_EQ(seen,
              (std::vector<std::pair<std::size_t, std::size_t>>{{7, 6}, {3, 6}, {71, 6}, {70, 8}}));
}

// Searching the text file chunk by chunk must report the very rows of a
// search of the whole text: same phrase, chunk, offset and snippet, in the
// same order, for one phrase and several, with and without case, across
// Lowering goes 16 bytes at a time while it can and byte by byte for the
// rest: on both ways every ASCII byte lowers as Unicode says, the ends of the
// range of capitals included.
TEST(Lowering, EveryAsciiByteOnBothWays) {
    for (const std::size_t length : {7u, 32u}) {  // byte by byte; 16 at a time
        for (char32_t c = 1; c < 0x80; ++c) {
            std::string out;
            lowerUtf8(std::string(length, static_cast<char>(c)), out);
            EXPECT_EQ(out, std::string(length, static_cast<char>(QChar::toLower(c))))
                << "byte " << static_cast<int>(c) << ", " << length << " of them";
        }
    }
}

}  // namespace
}  // namespace qm
