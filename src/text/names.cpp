#include "text/names.h"

#include "text/utf8.h"

namespace qm::text {

namespace {

constexpr char16_t kRawFirst = 0xDC80;  // stands for the byte 0x80
constexpr char16_t kRawLast = 0xDCFF;   // ... and 0xFF

}  // namespace

bool isRawByte(const QString& s, qsizetype i) {
    const char16_t c = s[i].unicode();
    return c >= kRawFirst && c <= kRawLast && (i == 0 || !s[i - 1].isHighSurrogate());
}

bool holdsRawBytes(const QString& path) {
    // Every path of every file passes here, several times: a plain loop over
    // the code units, the pair looked at only where one may stand for a byte.
    const auto* u = path.utf16();
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i)
        if (char16_t(u[i] - kRawFirst) <= char16_t(kRawLast - kRawFirst) && isRawByte(path, i))
            return true;
    return false;
}

QString decodeName(const QByteArray& bytes) {
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto n = static_cast<std::size_t>(bytes.size());
    std::size_t i = utf8::validPrefixLength(std::string_view(bytes.constData(), n));
    if (i == n) return QString::fromUtf8(bytes);
    QString out = QString::fromUtf8(bytes.constData(), static_cast<qsizetype>(i));
    while (i < n) {
        const std::size_t start = i;
        for (std::size_t len; i < n && (len = utf8::validSequenceLength(d + i, n - i)) > 0;)
            i += len;
        out += QString::fromUtf8(bytes.constData() + start, static_cast<qsizetype>(i - start));
        if (i < n) out += QChar(char16_t(kRawFirst + (d[i++] - 0x80)));
    }
    return out;
}

QByteArray encodeName(const QString& path) {
    if (!holdsRawBytes(path)) return path.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isRawByte(path, i)) continue;
        out += QStringView(path).mid(start, i - start).toUtf8();
        out += static_cast<char>(0x80 + (path[i].unicode() - kRawFirst));
        start = i + 1;
    }
    out += QStringView(path).mid(start).toUtf8();
    return out;
}

}  // namespace qm::text
