#include <gtest/gtest.h>

#include <QChar>
#include <QString>
#include <QStringList>
#include <random>
#include <string>
#include <vector>

#include "search/matcher.h"
#include "support/searchrows.h"

namespace qm {
namespace {

using namespace qm::test;

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
