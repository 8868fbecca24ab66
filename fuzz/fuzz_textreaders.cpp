// The readers of text files on any bytes: decoding by the UTF-8 rule with the
// Latin-1 fallback, the line reader with and without a size limit, the chunk
// reader.
//
// Input: a byte that sets the line reader's limit, then the file's bytes.

#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzzsupport.h"
#include "text/error.h"
#include "text/textfile.h"
#include "text/utf8.h"

using qm::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::int64_t limit = data[0] == 0xFF ? -1 : static_cast<std::int64_t>(data[0]) * 16;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string decoded = qm::decodeToUtf8(bytes);
    require(qm::utf8::validPrefixLength(decoded) == decoded.size(), "decoding gives valid UTF-8");
    require(decoded.size() >= bytes.size() && decoded.size() <= 2 * bytes.size(),
            "each byte gives one or two bytes");
    require(qm::decodeToUtf8(decoded) == decoded, "valid UTF-8 is kept as it is");
    if (qm::utf8::validPrefixLength(bytes) == bytes.size())
        require(decoded == bytes, "valid input is not changed");

    const QString path = qm::fuzz::writeScratch("text", data + 1, size - 1);
    const qm::TextChunks chunks = qm::readFileChunks(path);
    require(chunks.utf8() == decoded, "the chunk reader decodes as decodeToUtf8");
    std::string joined;
    for (std::size_t i = 0; i < chunks.count(); ++i) joined += chunks.chunk(i);
    require(joined == decoded, "the chunks make the whole text");

    const QStringList lines = qm::readFileLines(path);
    require(!lines.isEmpty(), "a file has a line at least");
    QByteArray rejoined = lines.join(u'\n').toUtf8();
    QByteArray plain(decoded.data(), static_cast<qsizetype>(decoded.size()));
    plain.replace("\r\n", "\n");
    if (plain.endsWith('\n')) plain.chop(1);
    require(rejoined == plain, "the lines make the text without their ends");

    try {
        const QStringList limited = qm::readFileLines(path, limit, QStringLiteral("too large"));
        require(limit < 0 || static_cast<std::int64_t>(bytes.size()) <= limit,
                "a file over the limit is refused");
        require(limited == lines, "a limit does not change the lines");
    } catch (const qm::Error&) {
        require(limit >= 0 && static_cast<std::int64_t>(bytes.size()) > limit,
                "only a file over the limit is refused");
    }
    return 0;
}
