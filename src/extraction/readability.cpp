#include "extraction/readability.h"

#include <QFile>

#include "text/display.h"
#include "text/error.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace qm {

namespace {

constexpr int kReadableCount = 6;  // printable characters that make a text readable
constexpr qint64 kFirstLook = 64 * 1024;

// Counts printable characters of valid UTF-8 text; line ends (LF, and CR just
// before LF) are not characters of any line and are passed over.
struct Tally {
    int printable = 0;
    bool nonPrintable = false;
    bool decided() const { return printable >= kReadableCount; }

    void add(std::string_view text) {
        const auto* s = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t n = text.size();
        std::size_t i = 0;
        while (i < n && !decided()) {
            const std::size_t len = s[i] < 0x80 ? 1 : utf8::validSequenceLength(s + i, n - i);
            const char32_t c = utf8::decode(s + i, len == 0 ? 1 : len);
            i += len == 0 ? 1 : len;
            if (c == u'\n') continue;
            if (c == u'\r' && i < n && s[i] == '\n') continue;
            if (text::isPrintable(c))
                ++printable;
            else
                nonPrintable = true;
        }
    }
};

// Most texts are decided by their first few characters: look at the start of
// the file first and read it whole only when that does not settle it.
bool unreadableText(const QString& textPath) {
    QFile f(textPath);
    if (!f.open(QIODevice::ReadOnly)) throw Error(QStringLiteral("File not found: ") + textPath);
    const QByteArray head = f.read(kFirstLook);
    const bool whole = f.atEnd();
    f.close();

    qsizetype cut = head.size();
    if (!whole) {
        // Decode only up to the last plain ASCII byte that is not a CR: no
        // multi-byte sequence and no CR LF pair is split there.
        cut = 0;
        for (qsizetype i = head.size() - 1; i >= 0; --i) {
            const auto b = static_cast<unsigned char>(head[i]);
            if (b < 0x80 && b != '\r') {
                cut = i + 1;
                break;
            }
        }
    }
    Tally tally;
    tally.add(decodeToUtf8(std::string_view(head.constData(), cut)));
    if (tally.decided()) return false;
    if (whole) return tally.nonPrintable;

    Tally full;
    for (const QString& line : readFileLines(textPath)) {
        for (char32_t c : line.toStdU32String()) {
            if (text::isPrintable(c)) {
                if (++full.printable >= kReadableCount) return false;
            } else {
                full.nonPrintable = true;
            }
        }
    }
    return full.nonPrintable;
}

}  // namespace

bool isUnreadableText(const QString& textPath) {
    return unreadableText(textPath);
}

std::int32_t lowSize(std::int64_t size) {
    if (size < 0) return -1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(size & 0xFFFFFFFFu));
}

}  // namespace qm
