// The matcher and its snippets on any bytes: the text made valid by the rule
// of text files, and the same bytes taken as they are (a text that skipped
// validation must still not overrun a buffer).
//
// Input: a flags byte (bit 0: ignore case, bit 1: bytes taken as they are,
// bit 2: two phrases; bits 3 to 7 equal to 1: the text repeated past the
// first chunk's end, which is slow, so for few inputs), a
// length byte per phrase, the phrases, then the text.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzzsupport.h"
#include "search/matcher.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace {

using qm::fuzz::require;

struct CheckingSink : qm::SearchSink {
    const qm::TextChunks* text = nullptr;
    const std::vector<std::string>* prepared = nullptr;
    bool valid = false;
    bool matchCase = false;
    std::size_t count = 0;
    std::size_t across = 0;  // occurrences that run on into the next chunk

    qm::SinkAnswer occurrence(const qm::Hit& hit) override {
        ++count;
        qm::fuzz::requireInsideChunk(hit, *text);
        const std::string_view chunk = text->chunk(hit.chunk);
        if (hit.offset + hit.length > chunk.size()) ++across;
        // The chunks lie one after the other: the text from the hit's chunk on.
        const std::string_view rest(
            chunk.data(),
            static_cast<std::size_t>(text->utf8().data() + text->utf8().size() - chunk.data()));
        const std::string_view snip = hit.snippet.text;
        const std::string bytes = hit.snippet.toUtf8();
        require(bytes.size() == snip.size() + (hit.snippet.leadingMarker ? 6 : 3),
                "snippet bytes are the text and its markers");
        const QString shown = hit.snippet.toString();
        if (!valid) return qm::SinkAnswer::More;
        const std::string& phrase = (*prepared)[hit.phrase];
        if (matchCase)
            require(rest.substr(hit.offset, phrase.size()) == phrase, "the phrase is at the hit");
        require(static_cast<std::size_t>(snip.data() - chunk.data()) <= hit.offset,
                "snippet starts at or before the hit");
        require(qm::utf8::validPrefixLength(snip) == snip.size(), "snippet is valid UTF-8");
        require(qm::utf8::countCodePoints(snip) <= qm::kSnippetLength, "snippet of 30 at most");
        require(shown.toUtf8() == QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                "snippet shown as it is");
        return qm::SinkAnswer::More;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t flags = data[0];
    const int phraseCount = (flags & 4) ? 2 : 1;
    if (size < 1 + static_cast<std::size_t>(phraseCount)) return 0;
    std::size_t pos = 1 + phraseCount;
    QStringList phrases;
    for (int k = 0; k < phraseCount; ++k) {
        const std::size_t len = std::min<std::size_t>(data[1 + k] % 16, size - pos);
        phrases << QString::fromUtf8(reinterpret_cast<const char*>(data + pos),
                                     static_cast<qsizetype>(len));
        pos += len;
    }
    std::string_view bytes(reinterpret_cast<const char*>(data + pos), size - pos);
    std::string repeated;
    if ((flags & 0xF8) == 0x08 && !bytes.empty()) {
        // Chunks end after 65,536 code points: matches and snippets at the seam.
        while (repeated.size() <= qm::kChunkLength + 64) repeated += bytes;
        bytes = repeated;
    }
    const bool raw = flags & 2;
    const qm::CaseMode mode = (flags & 1) ? qm::CaseMode::IgnoreCase : qm::CaseMode::MatchCase;
    const qm::TextChunks text =
        qm::TextChunks::fromUtf8(raw ? std::string(bytes) : qm::decodeToUtf8(bytes));

    qm::TermMatcher matcher(mode);
    std::vector<std::string> prepared;
    for (const QString& p : phrases) prepared.push_back(matcher.prepare(p));

    CheckingSink sink;
    sink.text = &text;
    sink.prepared = &prepared;
    sink.valid = !raw;
    sink.matchCase = mode == qm::CaseMode::MatchCase;
    const std::size_t found = qm::searchText(QStringLiteral("f.pdf"), text, phrases, mode, sink);
    require(found == sink.count, "the count returned is the count reported");
    std::size_t each = 0;
    std::size_t inside = 0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(phrases.size()); ++k) {
        const QString& p = phrases[static_cast<qsizetype>(k)];
        // Searched alone, the phrase is phrase 0 of its run.
        const std::vector<std::string> alone{prepared[k]};
        CheckingSink one = sink;
        one.prepared = &alone;
        one.count = 0;
        each += qm::searchText(QStringLiteral("f.pdf"), text, {p}, mode, one);
        inside += qm::TermMatcher(mode).countOccurrences(text, p);
    }
    require(each == found, "phrases found together as one by one");
    require(inside + sink.across == found, "every occurrence inside a chunk or across two");
    return 0;
}
