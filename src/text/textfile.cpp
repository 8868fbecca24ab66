#include "text/textfile.h"

#include "text/names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "text/error.h"
#include "text/utf8.h"

namespace qm {

namespace {

// Re-encodes bytes from `validUpTo` on: valid stretches are copied, every other
// byte becomes the Latin-1 character of its value.
std::string decodeFrom(std::string_view bytes, std::size_t validUpTo) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8 + 16);
    out.append(bytes.data(), validUpTo);
    std::size_t i = validUpTo;
    while (i < bytes.size()) {
        // bytes[i] is not the start of a valid sequence, so it is 0x80 or above.
        char two[2];
        utf8::encode(static_cast<unsigned char>(bytes[i]), two);
        out.append(two, 2);
        ++i;
        const std::size_t ok = utf8::validPrefixLength(bytes.substr(i));
        out.append(bytes.data() + i, ok);
        i += ok;
    }
    return out;
}

}  // namespace

std::string decodeOwned(std::string bytes) {
    const std::size_t ok = utf8::validPrefixLength(bytes);
    if (ok == bytes.size()) return bytes;
    return decodeFrom(bytes, ok);
}

namespace {

// Opens a regular file for reading (with `pipes`, a FIFO or a socket too,
// read to its end); throws as the readers say.
int openRegularFile(const QString& path, bool pipes = false) {
    const QByteArray native = text::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) throw Error(QStringLiteral("File not found: ") + path);
        throw Error(QStringLiteral("Cannot open the file ") + path + QStringLiteral(": ") +
                    QString::fromLocal8Bit(std::strerror(err)));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw Error(QStringLiteral("Cannot read the file ") + path + QStringLiteral(": ") +
                    QString::fromLocal8Bit(std::strerror(err)));
    }
    if (pipes && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        // A pipe is read as its writer writes: each read waits for more.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error(QStringLiteral("Cannot open the file ") + path +
                    QStringLiteral(": not a regular file"));
    }
    return fd;
}

// The whole file, read in one go. Only a regular file is read: a FIFO or a
// device could block the reader or never end. A file of more than `maxBytes`
// bytes (when not negative) is refused with `tooLarge`.
std::string readWholeFile(const QString& path, std::int64_t maxBytes = -1,
                          const QString& tooLarge = QString(), bool pipes = false) {
    const int fd = openRegularFile(path, pipes);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const auto fail = [&](int err) {
        throw Error(QStringLiteral("Cannot read the file ") + path + QStringLiteral(": ") +
                    QString::fromLocal8Bit(std::strerror(err)));
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) fail(errno);
    if (maxBytes >= 0 && st.st_size > maxBytes) throw Error(tooLarge);
    std::string data;
    data.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    for (;;) {
        if (got == data.size()) {
            // Whatever the size said, read on to the end (a file that grew).
            if (maxBytes >= 0 && static_cast<std::int64_t>(got) >= maxBytes) {
                char probe;
                const ssize_t r = ::read(fd, &probe, 1);
                if (r > 0) throw Error(tooLarge);
                if (r < 0 && errno == EINTR) continue;
                if (r < 0) fail(errno);
                break;
            }
            data.resize(got + 16384);
        }
        const ssize_t r = ::read(fd, data.data() + got, data.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) fail(errno);
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    data.resize(got);
    if (maxBytes >= 0 && static_cast<std::int64_t>(got) > maxBytes) throw Error(tooLarge);
    return data;
}

}  // namespace

std::string decodeToUtf8(std::string_view bytes) {
    const std::size_t ok = utf8::validPrefixLength(bytes);
    if (ok == bytes.size()) return std::string(bytes);
    return decodeFrom(bytes, ok);
}

TextChunks TextChunks::fromUtf8(std::string utf8) {
    TextChunks t;
    t.text_ = std::move(utf8);
    t.bounds_.clear();
    t.bounds_.push_back(0);
    const std::string_view all(t.text_);
    std::size_t pos = 0;
    while (pos < all.size()) {
        pos = utf8::advanceCodePoints(all, pos, kChunkLength);
        t.bounds_.push_back(pos);
    }
    if (t.bounds_.size() == 1) t.bounds_.push_back(0);
    return t;
}

QString TextChunks::chunkString(std::size_t i) const {
    const std::string_view c = chunk(i);
    return QString::fromUtf8(c.data(), static_cast<qsizetype>(c.size()));
}

QStringList readFileLines(const QString& path, std::int64_t maxBytes, const QString& tooLarge) {
    return splitLines(decodeOwned(readWholeFile(path, maxBytes, tooLarge)));
}

std::string readFileBytes(const QString& path, std::int64_t maxBytes, const QString& tooLarge) {
    return readWholeFile(path, maxBytes, tooLarge);
}

QStringList readFileOrPipeLines(const QString& path, std::int64_t maxBytes,
                                const QString& tooLarge) {
    return splitLines(decodeOwned(readWholeFile(path, maxBytes, tooLarge, true)));
}

QStringList splitLines(const std::string& text) {
    QStringList lines;
    if (text.empty()) {
        lines << QString();
        return lines;
    }
    const char* s = text.data();
    const std::size_t n = text.size();
    std::size_t start = 0;
    while (start < n) {
        const void* hit = std::memchr(s + start, '\n', n - start);
        const std::size_t lf =
            hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - s) : n;
        std::size_t end = lf;
        if (hit && end > start && s[end - 1] == '\r') --end;  // CR LF ends a line, too
        lines << QString::fromUtf8(s + start, static_cast<qsizetype>(end - start));
        start = lf + 1;
    }
    return lines;
}

TextChunks readFileChunks(const QString& path) {
    return TextChunks::fromUtf8(decodeOwned(readWholeFile(path)));
}

}  // namespace qm

namespace qm {

void forEachChunkOf(const std::function<bool(std::string&)>& more,
                    const std::function<void(std::string_view)>& chunk) {
    std::string raw;      // bytes read and not yet decoded
    std::size_t at = 0;   // first byte of `raw` not yet decoded
    std::string current;  // the chunk being filled, valid UTF-8
    current.reserve(kChunkLength + kChunkLength / 2);
    std::size_t codePoints = 0;  // in `current`
    bool handedAny = false;
    const auto hand = [&] {
        chunk(current);
        handedAny = true;
        current.clear();
        codePoints = 0;
    };
    bool end = false;
    while (!end) {
        // Keep the undecoded tail, then take the next bytes behind it.
        raw.erase(0, at);
        at = 0;
        end = !more(raw);
        // A sequence is at most 4 bytes: a byte with 3 more behind it is
        // decoded just as it would be in the whole text. The last 3 wait for
        // the next bytes, unless the text has ended.
        const std::size_t limit = end ? raw.size() : (raw.size() > 3 ? raw.size() - 3 : 0);
        const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
        while (at < limit) {
            // A valid stretch is taken whole, up to the chunk's end.
            const std::string_view valid(
                raw.data() + at,
                utf8::validPrefixLength(std::string_view(raw).substr(at, limit - at)));
            if (!valid.empty()) {
                const std::size_t cut =
                    utf8::advanceCodePoints(valid, 0, kChunkLength - codePoints);
                current.append(valid.data(), cut);
                at += cut;
                if (cut < valid.size()) {
                    hand();
                } else {
                    codePoints += utf8::countCodePoints(valid);
                    if (codePoints == kChunkLength) hand();
                }
                continue;
            }
            if (const std::size_t len = utf8::validSequenceLength(bytes + at, raw.size() - at)) {
                current.append(raw.data() + at, len);  // a sequence the limit cut in two
                at += len;
            } else {
                char two[2];
                utf8::encode(bytes[at], two);
                current.append(two, 2);
                ++at;
            }
            if (++codePoints == kChunkLength) hand();
        }
    }
    // The last chunk holds the rest; an empty text is one empty chunk.
    if (!current.empty() || !handedAny) hand();
}

void forEachFileChunk(const QString& path, const std::function<void(std::string_view)>& chunk,
                      std::size_t blockBytes) {
    blockBytes = std::max<std::size_t>(blockBytes, 16);
    const int fd = openRegularFile(path);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    forEachChunkOf(
        [&](std::string& raw) {
            const std::size_t kept = raw.size();
            raw.resize(kept + blockBytes);
            ssize_t r;
            do {
                r = ::read(fd, raw.data() + kept, blockBytes);
            } while (r < 0 && errno == EINTR);
            if (r < 0) {
                const int err = errno;
                throw Error(QStringLiteral("Cannot read the file ") + path + QStringLiteral(": ") +
                            QString::fromLocal8Bit(std::strerror(err)));
            }
            raw.resize(kept + static_cast<std::size_t>(r));
            return r != 0;
        },
        chunk);
}

}  // namespace qm
