// The text cache's folder on disk: one entry file per key, written whole or
// not at all, the folder claimed only when it is the user's own.
#include "extraction/textcache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "extraction/entrycheck.h"
#include "fs/fs.h"
#include "text/error.h"
#include "text/textfile.h"

namespace qm {

namespace {
constexpr char kMagic[4] = {'Q', 'M', 'T', 'C'};
// Version 3 packs texts as LZ4 blocks (packing 2), keeps each OCR page's
// confidence after its number and ends with an XXH3-128 checksum instead of
// SHA-256 (a check against damage that costs next to nothing beside reading
// the file); version 2 (zlib, packing 1) adds the pages read by OCR after the
// data; entries of versions 2 and 1 (no OCR pages) are still read.
constexpr std::uint32_t kDiskVersion = 3;
constexpr std::uint32_t kZlibDiskVersion = 2;
constexpr std::uint32_t kPlainDiskVersion = 1;
// More OCR pages than this is no real entry.
constexpr std::uint32_t kMaxOcrPages = 1u << 24;
constexpr qsizetype kDigestBytes = 32;  // SHA-256
// header: magic, version, digest, outcome, compressed, text file size, data length
constexpr qsizetype kHeaderBytes = 4 + 4 + kDigestBytes + 1 + 1 + 8 + 8;
// The outcome byte of files written by every earlier run.
static_assert(static_cast<int>(TextOutcome::Text) == 1 &&
                  static_cast<int>(TextOutcome::Protected) == 2 &&
                  static_cast<int>(TextOutcome::Unreadable) == 3 &&
                  static_cast<int>(TextOutcome::Damaged) == 4,
              "the outcomes kept on disk keep their values");
// An entry used this recently is not marked used again.
constexpr std::int64_t kRecentSeconds = 3600;

constexpr qsizetype kChecksumBytes = 16;  // XXH3-128, version 3
// Version 3: this bit of the compressed byte says the text is valid UTF-8.
constexpr std::uint8_t kValidText = 4;

// A thread keeps the room it read an entry into up to this size.
constexpr qsizetype kKeptReadBytes = qsizetype(8) << 20;

// The checksum that ends an entry of version 3: of `bytes` followed by `more`.
QByteArray checksum(QByteArrayView bytes, QByteArrayView more = {}) {
    EntryCheck check;
    check.add(bytes);
    check.add(more);
    return check.sum();
}

// SHA-256 of the key (the entry's name) and of an earlier version's entry.
// Qt's own: a key is a few hundred bytes, and a library that must be loaded
// and configured first costs a short run more than all its digests.
QByteArray sha256(QByteArrayView bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// The OCR pages' count and numbers (each followed by its confidence when
// `confident`) that fill `bytes` exactly; false when they do not.
bool readOcrPages(const char* p, qsizetype bytes, bool confident, std::vector<int>& pages,
                  std::vector<int>& confidence) {
    const qsizetype each = confident ? 8 : 4;
    if (bytes < 4) return false;
    const std::uint32_t count = qFromLittleEndian<std::uint32_t>(p);
    if (count > kMaxOcrPages || qsizetype(count) * each != bytes - 4) return false;
    for (std::uint32_t k = 0; k < count; ++k) {
        const char* at = p + 4 + qsizetype(k) * each;
        pages.push_back(static_cast<int>(qFromLittleEndian<std::uint32_t>(at)));
        if (confident) confidence.push_back(qFromLittleEndian<std::int32_t>(at + 4));
    }
    return true;
}

// A use makes the entry recent, for the pruning by age; one used within the
// hour is recent enough (a repeated search writes no file's times).
void markUsed(const QByteArray& name, std::int64_t lastUse) {
    if (static_cast<std::int64_t>(::time(nullptr)) - lastUse > kRecentSeconds)
        ::utimensat(AT_FDCWD, name.constData(), nullptr, 0);
}

// The fields of an entry's header.
struct Header {
    std::uint32_t version = 0;
    std::uint8_t outcome = 0, packing = 0;
    std::int64_t textFileSize = 0, dataLength = 0;

    // False when `head` (kHeaderBytes) begins no entry of a known version
    // for `keyDigest`.
    bool read(const char* head, const QByteArray& keyDigest) {
        if (std::memcmp(head, kMagic, 4) != 0) return false;
        version = qFromLittleEndian<std::uint32_t>(head + 4);
        if (version != kDiskVersion && version != kZlibDiskVersion && version != kPlainDiskVersion)
            return false;
        if (QByteArrayView(head + 8, kDigestBytes) != QByteArrayView(keyDigest)) return false;
        outcome = static_cast<std::uint8_t>(head[8 + kDigestBytes]);
        packing = static_cast<std::uint8_t>(head[9 + kDigestBytes]);
        textFileSize = qFromLittleEndian<std::int64_t>(head + 10 + kDigestBytes);
        dataLength = qFromLittleEndian<std::int64_t>(head + 18 + kDigestBytes);
        return true;
    }
    // The text is marked valid UTF-8 (version 3 only).
    bool valid() const { return version == kDiskVersion && (packing & kValidText) != 0; }
    // 0 none, 1 zlib, 2 LZ4.
    std::uint8_t compressed() const {
        return static_cast<std::uint8_t>(valid() ? packing & ~kValidText : packing);
    }
};

// A valid unpacked text of at least `least` bytes left in its file `fd`
// (whose header `head` names `keyDigest`) as a stream that checks it as it is
// read; nothing (and `fd` left open) for any other entry, which is then read
// whole and checked as ever.
std::optional<CachedText> streamed(int fd, const char* head, std::int64_t fileSize,
                                   const QByteArray& keyDigest, std::int64_t least) {
    Header h;
    if (!h.read(head, keyDigest) || !h.valid() || h.compressed() != 0 ||
        h.outcome != static_cast<int>(TextOutcome::Text))
        return std::nullopt;
    const std::int64_t dataLength = h.dataLength;
    const std::int64_t tailBytes = fileSize - kHeaderBytes - dataLength;
    if (dataLength < least || tailBytes < 4 + kChecksumBytes || tailBytes > (qsizetype(1) << 20))
        return std::nullopt;
    QByteArray tail(static_cast<qsizetype>(tailBytes), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < tail.size()) {
        const ssize_t r =
            ::pread(fd, tail.data() + got, static_cast<std::size_t>(tail.size() - got),
                    kHeaderBytes + dataLength + got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return std::nullopt;
        got += r;
    }
    CachedText t;
    if (!readOcrPages(tail.constData(), tail.size() - kChecksumBytes, true, t.ocrPages,
                      t.ocrConfidence))
        return std::nullopt;
    t.outcome = TextOutcome::Text;
    t.trusted = true;
    t.textFileSize = h.textFileSize;
    QByteArray sum = tail.right(kChecksumBytes);
    tail.chop(kChecksumBytes);
    t.stream =
        std::make_shared<EntryStream>(fd, kHeaderBytes, dataLength, QByteArray(head, kHeaderBytes),
                                      std::move(tail), std::move(sum));
    return t;
}

void putU32(QByteArray& out, std::uint32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
void putI64(QByteArray& out, std::int64_t v) {
    char b[8];
    qToLittleEndian(v, b);
    out.append(b, 8);
}
}  // namespace

// --- DiskTextCache ---

QByteArray DiskTextCache::digest(const std::string& key) const {
    QByteArray salted = salt_;
    salted.append('\0');
    salted.append(key.data(), static_cast<qsizetype>(key.size()));
    return sha256(salted);
}

QString DiskTextCache::pathFor(const std::string& key) const {
    return pathOf(digest(key));
}

QString DiskTextCache::pathOf(const QByteArray& keyDigest) const {
    return folder_ + u'/' + QString::fromLatin1(keyDigest.toHex()) +
           QLatin1String(DiskTextCache::kEntrySuffix);
}

std::optional<CachedText> DiskTextCache::find(const std::string& key, bool stream) {
    if (!usable()) return std::nullopt;
    const QByteArray keyDigest = digest(key);
    const QString path = pathOf(keyDigest);
    const QByteArray name = fs::encodeName(path);
    // The header, then the rest (the data, the OCR pages, the check) read into
    // a room the thread uses again once the text it held is let go: a text
    // read costs no fresh memory.
    char head[kHeaderBytes];
    thread_local QByteArray rest;
    if (!rest.isDetached() || rest.capacity() > kKeptReadBytes) rest = QByteArray();
    std::int64_t lastUse = 0;  // the entry's modification time: its last use
    qsizetype size = 0;        // bytes read of the file
    {
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return std::nullopt;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (std::int64_t(1) << 40)) {
            ::close(fd);
            return std::nullopt;
        }
        lastUse = static_cast<std::int64_t>(st.st_mtim.tv_sec);
        const auto readInto = [fd](char* to, qsizetype n) {
            qsizetype got = 0;
            while (got < n) {
                const ssize_t r = ::read(fd, to + got, static_cast<std::size_t>(n - got));
                if (r < 0 && errno == EINTR) continue;
                if (r <= 0) break;
                got += r;
            }
            return got;
        };
        size = readInto(head, std::min<qsizetype>(kHeaderBytes, st.st_size));
        if (stream && size == kHeaderBytes) {
            if (auto t = streamed(fd, head, st.st_size, keyDigest, streamedFrom_)) {
                markUsed(name, lastUse);
                return t;
            }
        }
        const qsizetype need =
            std::max<qsizetype>(0, static_cast<qsizetype>(st.st_size) - kHeaderBytes);
        if (need > rest.capacity()) {
            // Grown at once, and by doubling: its bytes need no keeping.
            const qsizetype grown = std::max(need, 2 * rest.capacity());
            rest = QByteArray();
            rest.reserve(grown);
        }
        rest.resize(need);
        if (size == kHeaderBytes) size += readInto(rest.data(), rest.size());
        ::close(fd);
        rest.truncate(std::max<qsizetype>(0, size - kHeaderBytes));
    }

    const auto bad = [&]() -> std::optional<CachedText> {
        // Cut short or damaged: not used; the next store writes it anew.
        QFile::remove(path);
        return std::nullopt;
    };
    if (size < kHeaderBytes + kChecksumBytes) return bad();
    const char* q = rest.constData() - kHeaderBytes;  // byte i of the file, from the header's end
    Header h;
    if (!h.read(head, keyDigest)) return bad();
    const std::uint32_t version = h.version;
    const qsizetype sumBytes = version == kDiskVersion ? kChecksumBytes : kDigestBytes;
    if (size < kHeaderBytes + sumBytes) return bad();
    const std::uint8_t compressed = h.compressed();
    const std::int64_t dataLength = h.dataLength;
    if (!isContentOutcome(static_cast<TextOutcome>(h.outcome)) ||
        compressed > (version == kDiskVersion ? 2 : 1))
        return bad();
    const qsizetype room = size - kHeaderBytes - sumBytes;
    if (dataLength < 0 || dataLength > room) return bad();
    // Version 2: the OCR pages' count and numbers after the data; version 3:
    // each number followed by the page's confidence.
    std::vector<int> ocrPages, ocrConfidence;
    const qsizetype end = size - sumBytes;
    if (version != kPlainDiskVersion &&
        !readOcrPages(q + kHeaderBytes + dataLength, room - static_cast<qsizetype>(dataLength),
                      version == kDiskVersion, ocrPages, ocrConfidence))
        return bad();
    if (version == kPlainDiskVersion && room != dataLength) return bad();
    const QByteArrayView body(rest.constData(), end - kHeaderBytes);
    const QByteArray sum = version == kDiskVersion
                               ? checksum(QByteArrayView(head, kHeaderBytes), body)
                               : sha256(QByteArray(head, kHeaderBytes) + body.toByteArray());
    if (QByteArrayView(q + end, sumBytes) != QByteArrayView(sum)) return bad();

    CachedText t;
    t.outcome = static_cast<TextOutcome>(h.outcome);
    t.compressed = compressed != 0;
    t.lz4 = compressed == 2;
    t.trusted = h.valid();  // the check holds: the bytes are those written
    t.textFileSize = h.textFileSize;
    rest.truncate(static_cast<qsizetype>(dataLength));
    t.data = rest;
    t.ocrPages = std::move(ocrPages);
    t.ocrConfidence = std::move(ocrConfidence);
    markUsed(name, lastUse);
    // A text kept by an earlier version is checked once and kept again marked
    // valid and unpacked, so that later reads take it as it is.
    if (!t.trusted && t.makeTrusted()) store(key, t);
    return t;
}

void DiskTextCache::store(const std::string& key, const CachedText& entry) {
    if (!usable()) return;
    // A valid text is kept unpacked: reading it back is one copy from the
    // system's cache, faster than any unpacking.
    QByteArray data = entry.data;
    bool compressed = entry.compressed;
    if (entry.trusted && compressed) {
        try {
            data = QByteArray::fromStdString(entry.unpacked());
            compressed = false;
        } catch (const Error&) {
            return;  // damaged: not kept
        }
    }
    QByteArray out;
    out.reserve(kHeaderBytes + data.size() + 4 + kChecksumBytes);
    out.append(kMagic, 4);
    putU32(out, kDiskVersion);
    out.append(digest(key));
    out.append(static_cast<char>(entry.outcome));
    const int packing = !compressed ? 0 : entry.lz4 ? 2 : 1;
    out.append(static_cast<char>(packing | (entry.trusted ? kValidText : 0)));
    putI64(out, entry.textFileSize);
    putI64(out, data.size());
    out.append(data);
    putU32(out, static_cast<std::uint32_t>(entry.ocrPages.size()));
    for (std::size_t k = 0; k < entry.ocrPages.size(); ++k) {
        putU32(out, static_cast<std::uint32_t>(entry.ocrPages[k]));
        putU32(out, static_cast<std::uint32_t>(
                        k < entry.ocrConfidence.size() ? entry.ocrConfidence[k] : -1));
    }
    out.append(checksum(out));

    // Written beside the entry under a temporary name and renamed into place.
    QSaveFile f(pathFor(key));
    if (!f.open(QIODevice::WriteOnly)) return;
    // Owner-only, whatever the umask: the texts of private files are kept here.
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (f.write(out) != out.size()) {
        f.cancelWriting();
        return;
    }
    if (!f.commit()) return;
    bool full = false;
    {
        std::lock_guard lock(mutex_);
        used_ += out.size();
        full = !counted_ || used_ > bound_;
    }
    if (full) prune();
}

}  // namespace qm
