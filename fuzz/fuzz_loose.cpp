// The line-break-tolerant search and the search of a text read from its file,
// on any bytes.
//
// Input: a flags byte (bit 0: ignore case; bits 3 to 7 equal to 1: the text
// repeated past the first chunk's end, which is slow, so for few inputs), a
// phrase length byte, the phrase, then the text's bytes as a text file holds
// them (not necessarily UTF-8).
//
// Checked: the loose form of the text maps back inside the text, in order,
// and holds one blank per run of white space; every loose occurrence and its
// snippet lie inside their chunk, the snippet valid UTF-8 of 30 code points at
// most; and the text searched from its file, chunk by chunk, gives the same
// rows on the same pages as the same text searched in memory.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzzsupport.h"
#include "search/loose.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace {

using qm::fuzz::require;

using Row = std::tuple<std::size_t, std::size_t, QString>;  // phrase, page, snippet

struct RowSink : qm::SearchSink {
    const qm::TextChunks* text = nullptr;  // checked against when set
    std::vector<Row> rows;

    qm::SinkAnswer occurrence(const qm::Hit& hit) override {
        rows.emplace_back(hit.phrase, hit.page, hit.snippet.toString());
        if (!text) return qm::SinkAnswer::More;
        qm::fuzz::requireInsideChunk(hit, *text);
        const std::string_view snip = hit.snippet.text;
        require(qm::utf8::validPrefixLength(snip) == snip.size(), "snippet is valid UTF-8");
        require(qm::utf8::countCodePoints(snip) <= qm::kSnippetLength, "snippet of 30 at most");
        return qm::SinkAnswer::More;
    }
};

bool isBlankRun(std::string_view normal) {
    for (std::size_t k = 1; k < normal.size(); ++k)
        if (normal[k] == ' ' && normal[k - 1] == ' ') return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t flags = data[0];
    const std::size_t len = std::min<std::size_t>(data[1] % 24, size - 2);
    const QString phrase =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(len));
    std::string_view bytes(reinterpret_cast<const char*>(data + 2 + len), size - 2 - len);
    std::string repeated;
    if ((flags & 0xF8) == 0x08 && !bytes.empty()) {
        while (repeated.size() <= qm::kChunkLength + 64) repeated += bytes;
        bytes = repeated;
    }
    const bool fold = flags & 1;
    const qm::CaseMode mode = fold ? qm::CaseMode::IgnoreCase : qm::CaseMode::MatchCase;
    const std::string utf8 = qm::decodeToUtf8(bytes);

    // The loose form and its way back.
    const qm::LooseText loose(utf8, fold);
    const std::string& normal = loose.normal();
    require(qm::utf8::validPrefixLength(normal) == normal.size(), "loose form is valid UTF-8");
    require(!isBlankRun(normal), "one blank per run of white space");
    // Every byte of a short text; of a long one, about 2,000 spread over it.
    const std::size_t step = std::max<std::size_t>(1, normal.size() / 2048);
    std::size_t last = 0;
    for (std::size_t n = 0; n <= normal.size();
         n = n < normal.size() ? std::min(n + step, normal.size()) : n + 1) {
        const std::size_t at = loose.toOriginal(n);
        require(at <= utf8.size(), "loose byte maps inside the text");
        require(at >= last, "loose bytes map back in order");
        require(loose.toOriginalEnd(n) <= utf8.size(), "loose end maps inside the text");
        last = at;
    }

    // Loose occurrences and their snippets.
    const qm::TextChunks text = qm::TextChunks::fromUtf8(utf8);
    RowSink looseRows;
    looseRows.text = &text;
    const std::size_t found =
        qm::searchText(QStringLiteral("f.pdf"), text, {phrase}, mode, looseRows, true);
    require(found == looseRows.rows.size(), "the loose count returned is the count reported");

    // The same text from its file, chunk by chunk, as from memory.
    const QString file = qm::fuzz::writeScratch(
        "text.txt", reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    RowSink inMemory;
    qm::searchText(QStringLiteral("f.pdf"), text, {phrase}, mode, inMemory);
    RowSink fromFile;
    qm::searchTextFile(QStringLiteral("f.pdf"), file, {phrase}, mode, fromFile);
    require(inMemory.rows == fromFile.rows, "the file's rows are the text's rows");
    return 0;
}
