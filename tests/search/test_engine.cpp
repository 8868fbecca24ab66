// The one assembly of a search (SearchEngine::prepare): the problems it gives
// for a request, which of them stop the search, which are said only once,
// and the pipeline kept from one search to the next.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "extraction/pipeline.h"
#include "search/engine.h"

namespace qm {
namespace {

using Kind = SearchProblem::Kind;

std::vector<Kind> kinds(const std::vector<SearchProblem>& problems) {
    std::vector<Kind> out;
    for (const SearchProblem& p : problems) out.push_back(p.kind);
    return out;
}

class EngineTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    SearchRequest request() const {
        SearchRequest r;
        r.options.mode = SearchMode::Single;
        r.options.singlePhrase = QStringLiteral("kiwi");
        r.files = {dir.path() + QStringLiteral("/a.pdf")};
        r.extractorPath = QStringLiteral("/bin/true");
        r.workFolder = dir.path();
        r.keep = SearchRequest::Keep::Memory;
        return r;
    }
};

// Faults caught: a search started without a phrase, files or work folder;
// the add-time check (texts only) refused for want of a phrase.
TEST_F(EngineTest, WhatStopsASearchStopsItBeforeAnythingIsBuilt) {
    struct Case {
        const char* name;
        void (*edit)(SearchRequest&);
        std::vector<Kind> expected;
    };
    const Case cases[] = {
        {"blank phrase",
         [](SearchRequest& r) { r.options.singlePhrase = QStringLiteral("  "); },
         {Kind::NothingToSearchFor}},
        {"empty find set",
         [](SearchRequest& r) { r.options.mode = SearchMode::Multiple; },
         {Kind::NothingToSearchFor}},
        {"no files", [](SearchRequest& r) { r.files.clear(); }, {Kind::NoFiles}},
        {"no work folder", [](SearchRequest& r) { r.workFolder.clear(); }, {Kind::NoWorkFolder}},
        {"texts only, no phrase",
         [](SearchRequest& r) {
             r.match = false;
             r.options.singlePhrase.clear();
         },
         {}},
    };
    for (const Case& c : cases) {
        SearchEngine engine;
        SearchRequest r = request();
        c.edit(r);
        const auto problems = engine.prepare(r);
        EXPECT_EQ(kinds(problems), c.expected) << c.name;
        for (const SearchProblem& p : problems) EXPECT_TRUE(p.fatal) << c.name;
        EXPECT_EQ(engine.pipeline() != nullptr, c.expected.empty()) << c.name;
    }
    SearchEngine engine;
    SearchRequest findSet = request();
    findSet.options.mode = SearchMode::Multiple;
    EXPECT_TRUE(engine.prepare(findSet).at(0).multiple);
}

// Faults caught: a refused cache folder or a silent tesseract said at every
// search (or never), the search stopped for them, OCR left on when tesseract
// did not answer; the pipeline (and its work in hand) rebuilt for each search.
TEST_F(EngineTest, WhatTheSearchCanDoWithoutIsSaidOnceAndThePipelineStays) {
    // A file where the cache folder would be made: the folder is refused.
    const QString blocked = dir.path() + QStringLiteral("/blocked");
    QFile(blocked).open(QIODevice::WriteOnly);
    qputenv("XDG_CACHE_HOME", blocked.toUtf8());
    const QString silent = dir.path() + QStringLiteral("/tesseract");
    {
        QFile f(silent);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nexit 1\n");
    }
    QFile::setPermissions(silent, QFile::ReadOwner | QFile::ExeOwner);
    SearchRequest r = request();
    r.keep = SearchRequest::Keep::MemoryAndDisk;
    r.readScannedPages = true;
    r.tesseract = silent;

    SearchEngine engine;
    const auto first = engine.prepare(r);
    EXPECT_EQ(kinds(first), (std::vector<Kind>{Kind::OcrUnavailable, Kind::CacheFolderRefused}));
    for (const SearchProblem& p : first) EXPECT_FALSE(p.fatal);
    EXPECT_EQ(first[0].tesseract, silent);
    ASSERT_TRUE(engine.plan().ocr);
    EXPECT_FALSE(engine.plan().ocr->on());
    ASSERT_NE(engine.pipeline(), nullptr);
    const auto pipeline = engine.pipeline();

    EXPECT_TRUE(engine.prepare(r).empty());
    EXPECT_EQ(engine.pipeline(), pipeline);
    // Another extractor: another pipeline, and texts kept apart (its cache
    // folder is asked for, and refused, anew).
    r.extractorPath = QStringLiteral("/bin/false");
    EXPECT_EQ(kinds(engine.prepare(r)), std::vector<Kind>{Kind::CacheFolderRefused});
    EXPECT_NE(engine.pipeline(), pipeline);
    qunsetenv("XDG_CACHE_HOME");
}

}  // namespace
}  // namespace qm
