#include "search/snippet.h"

#include <cstring>

#include "text/utf8.h"

namespace qm {

Snippet snippetAt(std::string_view chunk, std::size_t offset) {
    const auto* s = reinterpret_cast<const unsigned char*>(chunk.data());
    std::size_t start = offset;
    std::size_t back = 0;
    while (back < kSnippetLeadIn && start > 0) {
        --start;
        while (start > 0 && utf8::isContinuation(s[start])) --start;
        ++back;
    }
    Snippet snippet;
    snippet.leadingMarker = back == kSnippetLeadIn;
    const std::size_t end = utf8::advanceCodePoints(chunk, start, kSnippetLength);
    snippet.text = chunk.substr(start, end - start);
    snippet.matchAt = offset - start;
    snippet.source = chunk;
    snippet.sourceAt = offset;
    return snippet;
}

Context contextOf(const Snippet& snippet, std::size_t length, std::size_t around) {
    const std::string_view chunk = snippet.source;
    const auto* s = reinterpret_cast<const unsigned char*>(chunk.data());
    const std::size_t at = std::min(snippet.sourceAt, chunk.size());
    const std::size_t end = std::min(at + length, chunk.size());
    std::size_t start = at;
    for (std::size_t back = 0; back < around && start > 0; ++back) {
        --start;
        while (start > 0 && utf8::isContinuation(s[start])) --start;
    }
    const std::size_t last = utf8::advanceCodePoints(chunk, end, around);
    return {chunk.substr(start, at - start), chunk.substr(at, end - at),
            chunk.substr(end, last - end)};
}

std::size_t Snippet::appendTo(char* out) const {
    std::size_t n = 0;
    if (leadingMarker) {
        std::memcpy(out, kSnippetMarker.data(), kSnippetMarker.size());
        n += kSnippetMarker.size();
    }
    if (!text.empty()) std::memcpy(out + n, text.data(), text.size());
    n += text.size();
    std::memcpy(out + n, kSnippetMarker.data(), kSnippetMarker.size());
    return n + kSnippetMarker.size();
}

std::string Snippet::toUtf8() const {
    // Sized by the text itself: bytes that are not valid UTF-8 make a snippet
    // longer than thirty characters' worth.
    std::string out(text.size() + 2 * kSnippetMarker.size(), '\0');
    out.resize(appendTo(out.data()));
    return out;
}

QString Snippet::toString() const {
    const std::string bytes = toUtf8();
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::size_t positionInChunk(std::string_view chunk, std::size_t offset) {
    return utf8::countCodePoints(chunk.substr(0, offset)) + 1;
}

}  // namespace qm
