#include "extraction/textcache.h"

#include <lz4.h>
#include <zlib.h>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <string>

#include "text/error.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace qm {

namespace {
constexpr std::int64_t kNodeOverhead = 160;  // list node, map slot, shared block
constexpr qsizetype kSmallestCompressed = 512;
constexpr std::size_t kLz4Block = std::size_t(1) << 17;  // bytes each LZ4 block unpacks to
// A thread keeps the room it unpacked a text into up to this size.
constexpr std::size_t kKeptUnpackBytes = std::size_t(4) << 20;

void putU32(QByteArray& out, std::uint32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// The text as LZ4 blocks (see CachedText::data).
QByteArray packLz4(std::string_view text) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(text.size() / 2 + 64));
    putU32(out, static_cast<std::uint32_t>(text.size()));
    std::string block(static_cast<std::size_t>(LZ4_compressBound(kLz4Block)), '\0');
    for (std::size_t at = 0; at < text.size(); at += kLz4Block) {
        const std::size_t n = std::min(kLz4Block, text.size() - at);
        const int packed = LZ4_compress_default(text.data() + at, block.data(), static_cast<int>(n),
                                                static_cast<int>(block.size()));
        putU32(out, static_cast<std::uint32_t>(packed));
        out.append(block.data(), packed);
    }
    return out;
}
}  // namespace

// --- CachedText ---

CachedText CachedText::forText(const std::string& utf8, std::int64_t textFileSize,
                               std::vector<int> ocrPages, std::vector<int> ocrConfidence) {
    CachedText t;
    t.outcome = TextOutcome::Text;
    // Checked once here, so that no reader of the entry checks it again.
    t.trusted = utf8::validPrefixLength(utf8) == utf8.size();
    t.textFileSize = textFileSize;
    t.ocrPages = std::move(ocrPages);
    t.ocrConfidence = std::move(ocrConfidence);
    const auto raw = QByteArray::fromRawData(utf8.data(), static_cast<qsizetype>(utf8.size()));
    // A text of 4 GiB or more is kept as it is (its length would not fit).
    if (raw.size() >= kSmallestCompressed && utf8.size() < (std::size_t(1) << 32)) {
        QByteArray packed = packLz4(utf8);
        if (packed.size() <= raw.size() - raw.size() / 8) {
            t.data = std::move(packed);
            t.compressed = true;
            t.lz4 = true;
            return t;
        }
    }
    t.data = QByteArray(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return t;
}

CachedText CachedText::forOutcome(TextOutcome outcome, std::int64_t textFileSize) {
    CachedText t;
    t.outcome = outcome;
    t.textFileSize = textFileSize;
    return t;
}

namespace {

Error damaged() {
    return Error(QStringLiteral("A cached text is damaged."));
}

// The length qCompress wrote before its zlib stream (4 bytes big-endian).
// Throws qm::Error when it is no real entry's.
quint32 packedLength(const QByteArray& packed) {
    if (packed.size() < 4) throw damaged();
    const quint32 length = qFromBigEndian<quint32>(packed.constData());
    // zlib packs at most about 1032 to 1; a larger length is no real entry.
    constexpr std::uint64_t kMaxRatio = 1100;
    if (static_cast<std::uint64_t>(length) > static_cast<std::uint64_t>(packed.size()) * kMaxRatio)
        throw damaged();
    return length;
}

// Unpacks what qCompress packed (the length, then a zlib stream) without
// qUncompress's warning on damaged data: a damaged entry is dropped quietly
// and its file extracted again. Throws qm::Error when damaged.
std::string unpack(const QByteArray& packed) {
    const quint32 length = packedLength(packed);
    std::string plain(length, '\0');
    uLongf produced = length;
    const int rc = ::uncompress(reinterpret_cast<Bytef*>(plain.data()), &produced,
                                reinterpret_cast<const Bytef*>(packed.constData() + 4),
                                static_cast<uLong>(packed.size() - 4));
    if (rc != Z_OK || produced != length) throw damaged();
    return plain;
}

// Unpacks LZ4 blocks (see CachedText::data) block by block: more(plain bytes)
// for each; the total length is checked at the end. Throws qm::Error when
// damaged.
class Lz4Blocks {
  public:
    explicit Lz4Blocks(const QByteArray& packed) : packed_(packed) {
        if (packed.size() < 4) throw damaged();
        length_ = qFromLittleEndian<std::uint32_t>(packed.constData());
        at_ = 4;
    }
    std::uint32_t length() const { return length_; }
    // Appends the next block to `out`; false when there was none left.
    bool next(std::string& out) {
        if (at_ == packed_.size()) {
            if (produced_ != length_) throw damaged();
            return false;
        }
        if (packed_.size() - at_ < 4) throw damaged();
        const std::uint32_t size = qFromLittleEndian<std::uint32_t>(packed_.constData() + at_);
        at_ += 4;
        if (size > static_cast<std::uint64_t>(packed_.size() - at_)) throw damaged();
        // Room for no more than the text has left: a block that would
        // unpack to more is damaged.
        const std::size_t room =
            static_cast<std::size_t>(std::min<std::uint64_t>(kLz4Block, length_ - produced_));
        const std::size_t kept = out.size();
        out.resize(kept + room);
        const int got = LZ4_decompress_safe(packed_.constData() + at_, out.data() + kept,
                                            static_cast<int>(size), static_cast<int>(room));
        if (got < 0 || produced_ + static_cast<std::uint64_t>(got) > length_) throw damaged();
        out.resize(kept + static_cast<std::size_t>(got));
        produced_ += static_cast<std::uint64_t>(got);
        at_ += size;
        return true;
    }

  private:
    const QByteArray& packed_;
    std::uint32_t length_ = 0;
    qsizetype at_ = 0;
    std::uint64_t produced_ = 0;
};

std::string unpackLz4(const QByteArray& packed) {
    Lz4Blocks blocks(packed);
    std::string plain;
    // The length is the entry's word, checked as the blocks unpack: room is
    // made for no more than the packed bytes can give (LZ4 packs at most 255
    // to 1), so a damaged length asks for no more memory than that.
    plain.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>(blocks.length(), std::uint64_t(packed.size()) * 255)));
    while (blocks.next(plain)) {
    }
    return plain;
}

}  // namespace

TextChunks CachedText::chunks() const {
    if (outcome != TextOutcome::Text) return TextChunks();
    if (stream) {
        std::string all;
        stream->rewind();
        while (stream->next(all)) {
        }
        if (!stream->whole()) throw damaged();
        return TextChunks::fromUtf8(std::move(all));
    }
    // Whatever bytes an entry holds are read by the rule of text files, so the
    // matcher only ever sees valid UTF-8.
    if (trusted && !compressed) return TextChunks::fromUtf8(data.toStdString());
    if (trusted && lz4) return TextChunks::fromUtf8(unpackLz4(data));
    if (!compressed)
        return TextChunks::fromUtf8(decodeToUtf8(std::string_view(data.constData(), data.size())));
    return TextChunks::fromUtf8(decodeOwned(lz4 ? unpackLz4(data) : unpack(data)));
}

namespace {

// Valid UTF-8 handed on in chunks as forEachChunkOf cuts them, as views into
// the bytes themselves: none is copied or decoded. `more` appends the next
// bytes to its argument and says whether there were any.
template <class More>
void forEachTrustedChunk(More&& more, const std::function<void(std::string_view)>& chunk) {
    // A chunk is at most 4 bytes a code point.
    constexpr std::size_t kRoom = 4 * kChunkLength;
    // The same room serves the thread's next text, unless it grew large.
    thread_local std::string bytes;
    struct Trim {
        ~Trim() {
            if (bytes.capacity() > kKeptUnpackBytes) std::string().swap(bytes);
        }
    } trim;
    bytes.clear();
    bool left = true;
    std::size_t from = 0;
    for (;;) {
        // What is handed on is no longer needed: the room is used again.
        if (from >= kRoom) {
            bytes.erase(0, from);
            from = 0;
        }
        while (left && bytes.size() - from < kRoom) left = more(bytes);
        const std::size_t cut = utf8::advanceCodePoints(bytes, from, kChunkLength);
        chunk(std::string_view(bytes).substr(from, cut - from));
        from = cut;
        if (!left && from == bytes.size()) return;
    }
}

}  // namespace

void CachedText::forEachChunk(const std::function<void(std::string_view)>& chunk) const {
    if (outcome != TextOutcome::Text) {
        chunk(std::string_view());
        return;
    }
    if (stream) {
        stream->rewind();
        forEachTrustedChunk([this](std::string& out) { return stream->next(out); }, chunk);
        return;
    }
    if (trusted && !compressed) {
        std::size_t from = 0;
        const std::string_view all(data.constData(), static_cast<std::size_t>(data.size()));
        do {
            const std::size_t cut = utf8::advanceCodePoints(all, from, kChunkLength);
            chunk(all.substr(from, cut - from));
            from = cut;
        } while (from < all.size());
        return;
    }
    if (trusted && lz4) {
        Lz4Blocks blocks(data);
        forEachTrustedChunk([&](std::string& out) { return blocks.next(out); }, chunk);
        return;
    }
    // Bytes are handed to the chunker a block at a time.
    constexpr std::size_t kBlock = std::size_t(1) << 16;
    if (!compressed) {
        std::size_t at = 0;
        const std::size_t size = static_cast<std::size_t>(data.size());
        forEachChunkOf(
            [&](std::string& raw) {
                const std::size_t n = std::min(kBlock, size - at);
                raw.append(data.constData() + at, n);
                at += n;
                return at < size;
            },
            chunk);
        return;
    }
    if (lz4) {
        Lz4Blocks blocks(data);
        forEachChunkOf([&](std::string& raw) { return blocks.next(raw); }, chunk);
        return;
    }
    const quint32 length = packedLength(data);
    z_stream z{};
    if (::inflateInit(&z) != Z_OK) throw damaged();
    struct Ender {
        z_stream& z;
        ~Ender() { ::inflateEnd(&z); }
    } ender{z};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData() + 4));
    z.avail_in = static_cast<uInt>(data.size() - 4);
    std::uint64_t produced = 0;
    forEachChunkOf(
        [&](std::string& raw) {
            const std::size_t kept = raw.size();
            raw.resize(kept + kBlock);
            z.next_out = reinterpret_cast<Bytef*>(raw.data() + kept);
            z.avail_out = static_cast<uInt>(kBlock);
            const int rc = ::inflate(&z, Z_NO_FLUSH);
            const std::size_t got = kBlock - z.avail_out;
            raw.resize(kept + got);
            produced += got;
            if (produced > length) throw damaged();
            if (rc == Z_STREAM_END) {
                if (produced != length) throw damaged();
                return false;
            }
            // Neither output nor an end from the whole input: cut short or damaged.
            if (rc != Z_OK || (got == 0 && z.avail_in == 0)) throw damaged();
            return true;
        },
        chunk);
}

std::string CachedText::unpacked() const {
    if (!compressed) return data.toStdString();
    return lz4 ? unpackLz4(data) : unpack(data);
}

bool CachedText::makeTrusted() {
    if (outcome != TextOutcome::Text) return false;
    try {
        const std::string text = unpacked();
        if (utf8::validPrefixLength(text) != text.size()) return false;
        data = QByteArray::fromStdString(text);
    } catch (const Error&) {
        return false;
    }
    compressed = lz4 = false;
    trusted = true;
    return true;
}

std::int64_t CachedText::footprint(std::size_t keyBytes) const {
    return static_cast<std::int64_t>(data.size()) + static_cast<std::int64_t>(keyBytes) +
           static_cast<std::int64_t>((ocrPages.size() + ocrConfidence.size()) * sizeof(int)) +
           kNodeOverhead;
}

}  // namespace qm
