// The reader of cache entries on any bytes: an entry file of the disk cache as
// found (DiskTextCache::find) and the text of an entry (CachedText::chunks),
// compressed or not, searched afterwards.
//
// A valid text is also read as it streams from its file, searched before its
// check is known (with whole words and accents ignored by bits 3 and 4).
//
// Input: a mode byte, then bytes. Mode 0: the bytes are the entry file as they
// are. Mode 1: the bytes follow a valid header (key digest, lengths and
// checksum filled in), so the checks behind the checksum are reached. Mode 2:
// the bytes are an entry's data, with bit 1 for compressed.

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "extraction/entrycheck.h"
#include "extraction/textcache.h"
#include "fuzzsupport.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "text/error.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace {

using qm::fuzz::require;

const std::string kKey = std::string("/docs/a.pdf\0", 12) + "1:2:3:4:5";

struct CountingSink : qm::SearchSink {
    std::size_t count = 0;
    qm::SinkAnswer occurrence(const qm::Hit& hit) override {
        ++count;
        (void)hit.snippet.toString();
        return qm::SinkAnswer::More;
    }
};

// The text of an entry as the search sees it: searchable; valid UTF-8 unless
// the entry says it is (the writer checked it, under the entry's check: only
// a forged entry breaks that word, and then the search must still hold).
void useEntry(const qm::CachedText& entry) {
    qm::TextChunks text;
    try {
        text = entry.chunks();
    } catch (const qm::Error&) {
        return;  // damaged compressed data is refused
    }
    require(entry.trusted || qm::utf8::validPrefixLength(text.utf8()) == text.utf8().size(),
            "a cached text reaches the matcher as valid UTF-8");
    CountingSink sink;
    qm::searchText(QStringLiteral("a.pdf"), text, {QStringLiteral("e"), QStringLiteral("\u00e9")},
                   qm::CaseMode::IgnoreCase, sink);
}

qm::DiskTextCache& cache() {
    static qm::DiskTextCache* disk = [] {
        auto* d = new qm::DiskTextCache(qm::fuzz::scratchFolder() + QStringLiteral("/cache"),
                                        QStringLiteral("salt"), 1 << 30);
        d->setStreamedFrom(1);  // every valid text streams too
        return d;
    }();
    return *disk;
}

// The header of a valid entry for kKey, taken from one the cache writes.
const QByteArray& validHeader() {
    static const QByteArray header = [] {
        cache().store(kKey, qm::CachedText::forText("x", 1));
        QFile f(cache().pathFor(kKey));
        require(f.open(QIODevice::ReadOnly), "the cache wrote its entry");
        return f.readAll().left(4 + 4 + 32);
    }();
    return header;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int mode = data[0] % 3;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    require(cache().usable(), "the scratch cache folder is usable");

    if (mode == 2) {
        qm::CachedText entry;
        entry.outcome = qm::TextOutcome::Text;
        entry.compressed = size > 1 && (data[0] & 2);
        entry.lz4 = entry.compressed && (data[0] & 4);
        entry.data = bytes;
        useEntry(entry);
        return 0;
    }

    QByteArray file;
    if (mode == 0) {
        file = bytes;
    } else {
        // outcome, compressed, text file size (8 bytes), then the data
        if (bytes.size() < 2) return 0;
        file = validHeader();
        file.append(bytes.left(2));
        QByteArray tail = bytes.mid(2);
        char n[8];
        qToLittleEndian<std::int64_t>(
            tail.size() >= 8 ? qFromLittleEndian<std::int64_t>(tail.constData()) : 0, n);
        file.append(n, 8);
        const QByteArray payload = tail.size() >= 8 ? tail.mid(8) : QByteArray();
        qToLittleEndian<std::int64_t>(payload.size(), n);
        file.append(n, 8);
        file.append(payload);
        if (data[0] & 32) {
            // Version 3's end: no OCR page, then its XXH3 check (right, or one bit off).
            file.append(4, '\0');
            qm::EntryCheck check;
            check.add(file);
            file.append(check.sum());
            if (data[0] & 64) file[file.size() - 1] = static_cast<char>(file[file.size() - 1] ^ 1);
        } else {
            file.append(QCryptographicHash::hash(file, QCryptographicHash::Sha256));
        }
    }
    QFile f(cache().pathFor(kKey));
    require(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(file) == file.size(),
            "the entry file is written");
    f.close();
    // Streamed: the bytes reach the search before their check is known; the
    // search must hold on any of them, and only a whole entry is whole.
    if (std::optional<qm::CachedText> streamed = cache().find(kKey, true);
        streamed && streamed->stream) {
        CountingSink sink;
        qm::MatchRules rules;
        rules.wholeWords = data[0] & 8;
        rules.ignoreAccents = data[0] & 16;
        try {
            qm::searchTextChunks(
                QStringLiteral("a.pdf"),
                [&](const std::function<void(std::string_view)>& chunk) {
                    streamed->forEachChunk(chunk);
                },
                {QStringLiteral("e"), QStringLiteral("\u00e9")}, rules, sink);
        } catch (const qm::Error&) {
        }
        if (streamed->stream->whole()) useEntry(*streamed);
    }
    const std::optional<qm::CachedText> found = cache().find(kKey);
    if (found) {
        require(static_cast<int>(found->outcome) >= 1 && static_cast<int>(found->outcome) <= 4,
                "an entry found has a known outcome");
        useEntry(*found);
    }
    return 0;
}
