#pragma once
// The rows a search of a text adds, as the search tests compare them.

#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "search/searcher.h"
#include "search/sink.h"
#include "terms/searchoptions.h"
#include "text/textfile.h"

namespace qm::test {

inline const QString kPath = QStringLiteral("/docs/report.pdf");

inline SearchOptions single(const QString& phrase, CaseMode caseMode) {
    SearchOptions o;
    o.mode = SearchMode::Single;
    o.singlePhrase = phrase;
    o.caseMode = caseMode;
    return o;
}

inline SearchOptions multiple(const QStringList& phrases, CaseMode caseMode) {
    SearchOptions o;
    o.mode = SearchMode::Multiple;
    o.findSets = phrases;
    o.caseMode = caseMode;
    return o;
}

// The snippets of the rows that a search of `text` adds, in order; every row
// must carry the path and be unticked.
inline QStringList search(const QString& text, const SearchOptions& options) {
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

inline QStringList searchFor(const QString& text, const QString& phrase,
                             CaseMode caseMode = CaseMode::MatchCase) {
    return search(text, single(phrase, caseMode));
}

inline QString dots(const QString& s) {
    return QStringLiteral("...") + s + QStringLiteral("...");
}
inline QString tail(const QString& s) {
    return s + QStringLiteral("...");
}

// Every field of every row a search reports, a string a row, to compare two searches.
struct RowStrings : SearchSink {
    std::vector<std::string> out;
    SinkAnswer occurrence(const Hit& hit) override {
        out.push_back(std::to_string(hit.phrase) + ':' + std::to_string(hit.chunk) + ':' +
                      std::to_string(hit.offset) + ':' + hit.snippet.toUtf8() + ':' +
                      std::to_string(hit.page) + ':' + hit.phraseText.toStdString() + ':' +
                      std::to_string(hit.length));
        return SinkAnswer::More;
    }
};

// A new file `path` that holds `bytes`.
inline void writeFile(const QString& path, const std::string& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes.data(), static_cast<qint64>(bytes.size())),
              static_cast<qint64>(bytes.size()));
}

}  // namespace qm::test
