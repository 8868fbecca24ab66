#include <gtest/gtest.h>

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "search/regexsearch.h"
#include "search/searchahead.h"
#include "search/sink.h"
#include "support/searchrows.h"
#include "text/error.h"

namespace qm {
namespace {

using namespace qm::test;

// Everything a sink can read of a hit, the window's context included.
struct Seen {
    std::vector<std::string> rows;
    std::size_t stopAt = 0;  // answer Enough at this row (0: never)
};

class Recorder : public SearchSink {
  public:
    explicit Recorder(Seen& seen) : seen_(seen) {}
    SinkAnswer occurrence(const Hit& hit) override {
        const Context c = contextOf(hit.snippet, hit.length, 50);
        seen_.rows.push_back(hit.path.toStdString() + '|' + std::to_string(hit.phrase) + '|' +
                             std::to_string(hit.chunk) + '|' + std::to_string(hit.offset) + '|' +
                             std::to_string(hit.page) + '|' + hit.phraseText.toStdString() + '|' +
                             std::to_string(hit.length) + '|' + hit.snippet.toUtf8() + '|' +
                             std::string(c.before) + '[' + std::string(c.match) + ']' +
                             std::string(c.after) + '|' + std::string(hit.matched));
        return seen_.rows.size() == seen_.stopAt ? SinkAnswer::Enough : SinkAnswer::More;
    }

  private:
    Seen& seen_;
};

// What reaches the sink, and what the search threw at its end ("" for nothing).
std::string runOf(const std::function<std::size_t(SearchSink&)>& search, Seen& seen) {
    Recorder sink(seen);
    try {
        const std::size_t found = search(sink);
        EXPECT_EQ(found, seen.rows.size());
        return {};
    } catch (const PatternTooComplex& e) {
        EXPECT_EQ(e.found, seen.rows.size());
        return "too complex";
    } catch (const Error& e) {
        return e.description().toStdString();
    }
}

// Catches a search made by the workers that hands the sink other rows than
// the search on the session's thread: a snippet or context cut from the kept
// stretch instead of the chunk, a page, chunk or matched text lost, rows after
// a sink had enough, or a pattern's failure dropped.
TEST(SearchAhead, RowsAreThoseOfTheSearchItStandsFor) {
    // Occurrences at the text's ends, beside a chunk's seam, across a line
    // break and on later pages, among letters of two to four bytes.
    std::string text = "cat start \xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80 ";
    while (text.size() < 70000) text += "a cat or category \xe2\x82\xac, caf\xc3\xa9\f";
    text += std::string(65536 - 70000 % 65536, 'x') + "cat\nalog caT";
    const TextChunks chunks = TextChunks::fromUtf8(text);
    ASSERT_GT(chunks.count(), 1u);
    FileText fromMemory;
    fromMemory.outcome = TextOutcome::Text;
    fromMemory.chunks = chunks;
    FileText fromCache;  // as the workers take a kept text: chunk by chunk
    fromCache.outcome = TextOutcome::Text;
    fromCache.kept = std::make_shared<const CachedText>(CachedText::forText(text, 1));

    struct Case {
        const char* name;
        SearchOptions options;
        bool countsOnly = false;
        std::size_t stopAt = 0;
    };
    const auto with = [](SearchOptions o, auto change) {
        change(o);
        return o;
    };
    std::vector<Case> cases{
        {"plain", single(QStringLiteral("cat"), CaseMode::MatchCase)},
        {"case ignored, stopped", single(QStringLiteral("cat"), CaseMode::IgnoreCase), false, 5},
        {"words", with(single(QStringLiteral("cat"), CaseMode::MatchCase),
                       [](SearchOptions& o) { o.wholeWords = true; })},
        {"accents", with(single(QStringLiteral("cafe"), CaseMode::IgnoreCase),
                         [](SearchOptions& o) { o.ignoreAccents = true; })},
        {"loose", with(single(QStringLiteral("cat alog"), CaseMode::MatchCase),
                       [](SearchOptions& o) { o.loose = true; })},
        {"phrases",
         multiple({QStringLiteral("\xe2\x82\xac"), QStringLiteral("cat")}, CaseMode::MatchCase)},
        {"pattern", with(single(QStringLiteral("^a c\\w+|ca[Tt]$"), CaseMode::MatchCase),
                         [](SearchOptions& o) { o.regex = true; })},
        {"runaway pattern", with(single(QStringLiteral("c[aA]t|(x|xx)+$"), CaseMode::MatchCase),
                                 [](SearchOptions& o) { o.regex = true; })},
        {"counted", single(QStringLiteral("cat"), CaseMode::MatchCase), true},
    };
    for (const Case& c : cases) {
        for (const FileText* source : {&fromMemory, &fromCache}) {
            SCOPED_TRACE(std::string(c.name) + (source == &fromCache ? ", from the cache" : ""));
            Seen direct{{}, c.stopAt};
            const std::string directEnd = runOf(
                [&](SearchSink& s) { return searchPages(kPath, *source, c.options, s); }, direct);
            const SearchAhead ahead(c.options, c.countsOnly, false);
            ChildToken token;
            const auto worked = ahead.work(kPath, *source, token);
            ASSERT_TRUE(worked);
            Seen replayed{{}, c.stopAt};
            const std::string replayedEnd = runOf(
                [&](SearchSink& s) { return SearchAhead::replay(kPath, *worked, s); }, replayed);
            EXPECT_EQ(replayedEnd, directEnd);
            if (std::string(c.name) == "loose") {  // the occurrence's own bytes, as found
                ASSERT_FALSE(direct.rows.empty());
                EXPECT_NE(direct.rows.back().find("|cat\nalog"), std::string::npos);
            }
            if (std::string(c.name) == "runaway pattern") {
                EXPECT_EQ(directEnd, "too complex");
            }
            if (c.countsOnly) {
                EXPECT_EQ(replayed.rows.size(), direct.rows.size());
            } else {
                EXPECT_EQ(replayed.rows, direct.rows);
            }
            EXPECT_FALSE(direct.rows.empty() && directEnd.empty());
        }
    }
}

// Catches a file of millions of occurrences kept whole beside the rows made
// of them: past its bound the search ahead gives up and leaves the file to
// the session's own search (with the text kept for it).
TEST(SearchAhead, AFileOfTooManyOccurrencesIsLeftToTheSession) {
    FileText text;
    text.outcome = TextOutcome::Text;
    std::string many;
    while (many.size() < 20000) many += "cat ";
    text.chunks = TextChunks::fromUtf8(many);
    ChildToken token;
    const SearchOptions cat = single(QStringLiteral("cat"), CaseMode::MatchCase);
    EXPECT_FALSE(SearchAhead(cat, false, false, 4096).work(kPath, text, token));
    EXPECT_TRUE(SearchAhead(cat, true, false, 4096).work(kPath, text, token));  // counts only
    EXPECT_TRUE(SearchAhead(cat, false, false).work(kPath, text, token));
}

}  // namespace
}  // namespace qm
