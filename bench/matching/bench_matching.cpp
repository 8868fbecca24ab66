// Term matching and text reading over 64 MiB of extracted-looking text.
// Figures are bytes of text per second of CPU time (for 20 phrases: text
// bytes, each searched for all 20), so that other work on a shared machine
// does not distort them; the wall-clock time is printed beside.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>
#include <string>

#include "search/matcher.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "text/textfile.h"

namespace {

constexpr std::size_t kTextBytes = 64u << 20;

// Words with some multi-byte ones, lines of about 70 characters ending in
// CR LF, a form feed about every 3,000 characters, and the rare word
// "Quillmarkx" about once per megabyte.
const std::string& sampleText() {
    static const std::string text = [] {
        static const char* const words[] = {
            "the",      "of",     "and",    "PDF",     "report",  "Größe",    "café",
            "naïve",    "Σοφία",  "€",      "invoice", "page",    "Total",    "amount",
            "delivery", "Straße", "résumé", "data",    "network", "internet", "file",
            "search",   "result", "Ärger",  "value",   "line",    "word",     "text"};
        std::mt19937 rng(2024);
        std::string t;
        t.reserve(kTextBytes + 64);
        std::size_t line = 0, page = 0, rare = 0;
        while (t.size() < kTextBytes) {
            const char* w = words[rng() % (sizeof words / sizeof *words)];
            t += w;
            line += 8;
            page += 8;
            rare += 8;
            if (rare > (1u << 20)) {
                t += " Quillmarkx";
                rare = 0;
            }
            if (page > 3000) {
                t += "\f";
                page = 0;
            } else if (line > 70) {
                t += "\r\n";
                line = 0;
            } else {
                t += ' ';
            }
        }
        return t;
    }();
    return text;
}

const qm::TextChunks& sampleChunks() {
    static const qm::TextChunks chunks = qm::TextChunks::fromUtf8(sampleText());
    return chunks;
}

void runSearch(benchmark::State& state, const QStringList& phrases, qm::CaseMode caseMode) {
    const qm::TextChunks& chunks = sampleChunks();
    qm::SearchOptions options;
    options.mode = qm::SearchMode::Multiple;
    options.findSets = phrases;
    options.caseMode = caseMode;
    // Every occurrence becomes a row of path and snippet, as in the window.
    struct Rows : qm::SearchSink {
        std::vector<std::pair<QString, QString>> rows;
        qm::SinkAnswer occurrence(const qm::Hit& hit) override {
            rows.emplace_back(hit.path, hit.snippet.toString());
            return qm::SinkAnswer::More;
        }
    } results;
    const QString path = QStringLiteral("/data/sample.pdf");
    for (auto _ : state) {
        state.PauseTiming();
        results.rows.clear();
        state.ResumeTiming();
        qm::searchText(path, chunks, options.phrases(), options.caseMode, results);
        benchmark::DoNotOptimize(results.rows.size());
    }
    state.counters["rows"] = static_cast<double>(results.rows.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(chunks.utf8().size()));
}

const QStringList kRare{QStringLiteral("Quillmarkx")};
const QStringList kCommon{QStringLiteral("the ")};
// A find-set list as a user keeps one: mostly names that occur rarely or not
// at all, a few that occur now and then.
const QStringList kTwenty{QStringLiteral("Quillmarkx"),    QStringLiteral("invoice data"),
                          QStringLiteral("Größe Total"),   QStringLiteral("network file"),
                          QStringLiteral("Zebra"),         QStringLiteral("quarterly"),
                          QStringLiteral("résumé café"),   QStringLiteral("Σοφία €"),
                          QStringLiteral("unused phrase"), QStringLiteral("Total amount"),
                          QStringLiteral("xylophone"),     QStringLiteral("café au lait"),
                          QStringLiteral("delivery date"), QStringLiteral("Ärger über"),
                          QStringLiteral("Straße 12"),     QStringLiteral("absent"),
                          QStringLiteral("PDF report"),    QStringLiteral("missing"),
                          QStringLiteral("line word"),     QStringLiteral("yonder")};

void BM_MatchCase_OnePhrase_Few(benchmark::State& s) {
    runSearch(s, kRare, qm::CaseMode::MatchCase);
}
void BM_IgnoreCase_OnePhrase_Few(benchmark::State& s) {
    runSearch(s, kRare, qm::CaseMode::IgnoreCase);
}
void BM_MatchCase_OnePhrase_Many(benchmark::State& s) {
    runSearch(s, kCommon, qm::CaseMode::MatchCase);
}
void BM_IgnoreCase_OnePhrase_Many(benchmark::State& s) {
    runSearch(s, kCommon, qm::CaseMode::IgnoreCase);
}
void BM_MatchCase_20Phrases(benchmark::State& s) {
    runSearch(s, kTwenty, qm::CaseMode::MatchCase);
}
void BM_IgnoreCase_20Phrases(benchmark::State& s) {
    runSearch(s, kTwenty, qm::CaseMode::IgnoreCase);
}

// Occurrences through the callback alone: matching cost without result rows.
void BM_IgnoreCase_OnePhrase_Many_NoRows(benchmark::State& state) {
    const qm::TextChunks& chunks = sampleChunks();
    for (auto _ : state) {
        qm::TermMatcher matcher(qm::CaseMode::IgnoreCase);
        std::size_t n = 0;
        matcher.forEachOccurrence(chunks, QStringLiteral("the "),
                                  [&](const qm::Occurrence& o) { n += o.snippet.text.size(); });
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(chunks.utf8().size()));
}

// What -l asks of a file: its first row, after which matching stops. Beside
// BM_IgnoreCase_OnePhrase_Many (every row), the saving of a sink that has enough.
void BM_IgnoreCase_OnePhrase_Many_FirstRowOnly(benchmark::State& state) {
    const qm::TextChunks& chunks = sampleChunks();
    struct First : qm::SearchSink {
        std::size_t rows = 0;
        qm::SinkAnswer occurrence(const qm::Hit&) override {
            ++rows;
            return qm::SinkAnswer::Enough;
        }
    } first;
    for (auto _ : state) {
        qm::searchText(QStringLiteral("/data/sample.pdf"), chunks, kCommon,
                       qm::CaseMode::IgnoreCase, first);
        benchmark::DoNotOptimize(first.rows);
    }
}

void readChunks(benchmark::State& state, const std::string& content) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tmp.txt"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the sample file");
            return;
        }
        f.write(content.data(), static_cast<qint64>(content.size()));
    }
    for (auto _ : state) {
        const qm::TextChunks chunks = qm::readFileChunks(path);
        benchmark::DoNotOptimize(chunks.count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(content.size()));
}

void BM_ReadFileChunks_64MiB(benchmark::State& state) {
    readChunks(state, sampleText());
}

// The same file with a Latin-1 byte in about every 4 KiB: the re-encoding path.
void BM_ReadFileChunks_64MiB_Latin1(benchmark::State& state) {
    std::string text = sampleText();
    for (std::size_t i = 4096; i < text.size(); i += 4096)
        if (static_cast<unsigned char>(text[i]) < 0x80 && text[i] != '\n') text[i] = '\xE9';
    readChunks(state, text);
}

}  // namespace

BENCHMARK(BM_MatchCase_OnePhrase_Few)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IgnoreCase_OnePhrase_Few)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchCase_OnePhrase_Many)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IgnoreCase_OnePhrase_Many)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IgnoreCase_OnePhrase_Many_NoRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IgnoreCase_OnePhrase_Many_FirstRowOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchCase_20Phrases)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IgnoreCase_20Phrases)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFileChunks_64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFileChunks_64MiB_Latin1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
