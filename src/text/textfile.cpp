#include "text/textfile.h"

#include <QFile>
#include <QFileInfo>
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

// Valid input is handed on without a copy.
std::string decodeOwned(std::string bytes) {
    const std::size_t ok = utf8::validPrefixLength(bytes);
    if (ok == bytes.size()) return bytes;
    return decodeFrom(bytes, ok);
}

// The whole file, read in one go.
std::string readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (!QFileInfo::exists(path)) throw Error(QStringLiteral("File not found: ") + path);
        throw Error(QStringLiteral("Cannot open the file ") + path + QStringLiteral(": ") +
                    file.errorString());
    }
    const auto fail = [&] {
        throw Error(QStringLiteral("Cannot read the file ") + path + QStringLiteral(": ") +
                    file.errorString());
    };
    std::string data;
    const qint64 expected = file.size();
    if (expected > 0) {
        data.resize(static_cast<std::size_t>(expected));
        std::size_t got = 0;
        while (got < data.size()) {
            const qint64 r = file.read(data.data() + got, static_cast<qint64>(data.size() - got));
            if (r < 0) fail();
            if (r == 0) break;
            got += static_cast<std::size_t>(r);
        }
        data.resize(got);
    }
    // Whatever the size said, read on to the end (a file that grew, a device).
    char more[16384];
    for (;;) {
        const qint64 r = file.read(more, sizeof more);
        if (r < 0) fail();
        if (r == 0) break;
        data.append(more, static_cast<std::size_t>(r));
    }
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

QStringList readFileLines(const QString& path) {
    const std::string text = decodeOwned(readWholeFile(path));
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
