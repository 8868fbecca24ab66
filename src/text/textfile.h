#pragma once
// Readers of plain-text files. Text is UTF-8; a byte that is not part of valid
// UTF-8 is read as the Latin-1 character of its value, so every file reads.
// A "character" is a Unicode code point.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

inline constexpr std::size_t kChunkLength = 65536;  // code points per chunk

// A text split into chunks of kChunkLength code points (the last holds the rest),
// kept as one valid UTF-8 buffer. An empty text has one empty chunk.
class TextChunks {
  public:
    TextChunks() : bounds_{0, 0} {}
    // Takes valid UTF-8 and splits it.
    static TextChunks fromUtf8(std::string utf8);
    std::size_t count() const { return bounds_.size() - 1; }
    std::string_view chunk(std::size_t i) const {
        return std::string_view(text_).substr(bounds_[i], bounds_[i + 1] - bounds_[i]);
    }
    QString chunkString(std::size_t i) const;  // for tests and small texts
    const std::string& utf8() const { return text_; }

  private:
    std::string text_;
    std::vector<std::size_t> bounds_;  // count()+1 offsets into text_
};

// Decodes bytes by the UTF-8 rule above into valid UTF-8.
std::string decodeToUtf8(std::string_view bytes);
// The same for bytes the caller gives up: valid UTF-8 is handed on without a copy.
std::string decodeOwned(std::string bytes);

// One element per line; a line ends at LF or CR LF (not part of the element); an
// empty file gives one empty element; a final line end adds no element.
// Throws qm::Error when the file cannot be opened or is not a regular file,
// and the error `tooLarge` when it holds more than `maxBytes` bytes (when
// `maxBytes` is not negative).
// Valid UTF-8 split into lines by the rule of readFileLines.
QStringList splitLines(const std::string& text);

QStringList readFileLines(const QString& path, std::int64_t maxBytes = -1,
                          const QString& tooLarge = QString());
// The file's bytes as they are, read and refused as readFileLines does.
std::string readFileBytes(const QString& path, std::int64_t maxBytes = -1,
                          const QString& tooLarge = QString());
// As readFileLines, and a pipe (a FIFO, or a descriptor such as /dev/fd/3 that
// holds one) is read too: to its end, or refused once past `maxBytes`.
QStringList readFileOrPipeLines(const QString& path, std::int64_t maxBytes,
                                const QString& tooLarge);

// The whole file in chunks of 65,536 characters; nothing removed or converted.
// Throws qm::Error when the file cannot be opened or is not a regular file.
TextChunks readFileChunks(const QString& path);

// The same chunks as readFileChunks, handed to `chunk` one at a time in order
// (the view lasts for the call only), with no more than one chunk and one
// block of `blockBytes` bytes of the file in memory: a text of any size is
// read in bounded memory. Throws as readFileChunks does.
void forEachFileChunk(const QString& path, const std::function<void(std::string_view)>& chunk,
                      std::size_t blockBytes = std::size_t(1) << 20);

// The same chunks of a text that comes in pieces: `more` appends the next
// bytes (any number, none too) to its argument and returns false once the
// text has ended. The chunks are those readFileChunks makes of a file holding
// the bytes, handed over one at a time as soon as they are whole.
void forEachChunkOf(const std::function<bool(std::string&)>& more,
                    const std::function<void(std::string_view)>& chunk);

}  // namespace qm
