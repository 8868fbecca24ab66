#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>
#include <string>
#include <vector>

#include "text/error.h"
#include "text/names.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace qm {
namespace {

class TextReaders : public ::testing::Test {
  protected:
    QString write(const std::string& bytes, const QString& name = QStringLiteral("t.txt")) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path;
    }
    QTemporaryDir dir_;
};

std::string repeat(const std::string& s, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

// Fault caught: a phrase list or password file whose name is not UTF-8
// reported as not found (its name re-encoded by Qt instead of byte for byte).
TEST_F(TextReaders, AFileWhoseNameIsNotUtf8IsRead) {
    const QByteArray native = QFile::encodeName(dir_.path()) + "/caf\xe9.txt";
    QFile f;
    ASSERT_TRUE(f.open(::fdopen(::creat(native.constData(), 0600), "w"), QIODevice::WriteOnly,
                       QFileDevice::AutoCloseHandle));
    f.write("words");
    f.close();
    EXPECT_EQ(readFileChunks(text::decodeName(native)).utf8(), "words");
}

TEST_F(TextReaders, EmptyFileGivesOneEmptyElement) {
    const QString path = write("");
    EXPECT_EQ(readFileLines(path), QStringList{QString()});
    const TextChunks chunks = readFileChunks(path);
    ASSERT_EQ(chunks.count(), 1u);
    EXPECT_TRUE(chunks.chunk(0).empty());
}

TEST_F(TextReaders, ChunksHold65536Characters) {
    // Counted in characters, not bytes: two-byte é.
    const TextChunks exact = readFileChunks(write(repeat("é", 65536)));
    ASSERT_EQ(exact.count(), 1u);
    EXPECT_EQ(exact.chunkString(0), QString(65536, QChar(0xE9)));

    const TextChunks over = readFileChunks(write(repeat("é", 65536) + "€"));
    ASSERT_EQ(over.count(), 2u);
    EXPECT_EQ(over.chunkString(1), QStringLiteral("€"));

    // Mixed widths: every chunk but the last holds exactly 65536 code points, and
    // together they hold the whole text.
    std::mt19937 rng(3);
    const char* pieces[] = {"a", "\r\n", "ß", "€", "😀", "\f"};
    std::string text;
    while (text.size() < 600000) text += pieces[rng() % 6];
    const TextChunks mixed = readFileChunks(write(text));
    std::string joined;
    for (std::size_t i = 0; i < mixed.count(); ++i) {
        if (i + 1 < mixed.count()) {
            EXPECT_EQ(utf8::countCodePoints(mixed.chunk(i)), 65536u);
        }
        joined += mixed.chunk(i);
    }
    EXPECT_GE(mixed.count(), 3u);
    EXPECT_EQ(joined, text);
}

TEST_F(TextReaders, LineEnds) {
    const QString crlf = write("first\r\nsecond\r\n");
    EXPECT_EQ(readFileLines(crlf),
              (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    const TextChunks chunks = readFileChunks(crlf);
    EXPECT_EQ(chunks.chunk(0), "first\r\nsecond\r\n");

    // LF alone ends a line, a lone CR stays, inner empty lines stay, a last line
    // without a line end counts.
    EXPECT_EQ(readFileLines(write("a\n\nb\rc\r\r\nd")),
              (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b\rc\r"),
                           QStringLiteral("d")}));
    EXPECT_EQ(readFileLines(write("\n")), QStringList{QString()});
    EXPECT_EQ(readFileLines(write("x\r")), QStringList{QStringLiteral("x\r")});
}

TEST_F(TextReaders, FormFeedsStay) {
    const QString path = write("page 1\fpage 2\f");
    EXPECT_EQ(readFileLines(path), QStringList{QStringLiteral("page 1\fpage 2\f")});
    EXPECT_EQ(readFileChunks(path).chunk(0), "page 1\fpage 2\f");
}

TEST_F(TextReaders, InvalidUtf8ReadsAsLatin1) {
    // "café" in Latin-1, then valid UTF-8 "é", then a stray byte.
    const QString path = write("caf\xE9\n\xC3\xA9\x80");
    EXPECT_EQ(readFileLines(path),
              (QStringList{QStringLiteral("café"), QStringLiteral("é\u0080")}));
    EXPECT_EQ(readFileChunks(path).chunkString(0), QStringLiteral("café\né\u0080"));
}

TEST_F(TextReaders, MissingFileOrFolderThrows) {
    const QString missing = dir_.filePath(QStringLiteral("nothing.txt"));
    try {
        readFileChunks(missing);
        FAIL() << "no error for a missing file";
    } catch (const Error& e) {
        EXPECT_EQ(e.description(), QStringLiteral("File not found: ") + missing);
    }
    EXPECT_THROW(readFileLines(missing), Error);
    // A folder cannot be read as a file, whoever runs the test.
    EXPECT_THROW(readFileChunks(dir_.path()), Error);
}

TEST_F(TextReaders, FileWithoutReadPermissionThrows) {
    const QString locked = write("secret");
    QFile::setPermissions(locked, QFileDevice::Permissions());
    if (geteuid() == 0) GTEST_SKIP() << "root reads files without read permission";
    try {
        readFileLines(locked);
        FAIL() << "no error for an unreadable file";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("Permission denied")))
            << e.description().toStdString();
    }
}

TEST(DecodeToUtf8, InvalidBytesBecomeLatin1OneByOne) {
    struct Case {
        std::string in;
        std::u32string out;
    };
    const Case cases[] = {
        {"plain ascii", U"plain ascii"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", U"é€😀"},   // valid 2, 3, 4 bytes
        {"\xC0\xAF", U"\u00C0\u00AF"},                      // overlong '/'
        {"\xE0\x80\xAF", U"\u00E0\u0080\u00AF"},            // overlong, three bytes
        {"\xED\xA0\x80", U"\u00ED\u00A0\u0080"},            // surrogate D800
        {"\xF4\x90\x80\x80", U"\u00F4\u0090\u0080\u0080"},  // above U+10FFFF
        {"\xE2\x82"
         "A",
         U"\u00E2\u0082A"},                         // truncated before ASCII
        {"x\xF0\x9F\x98", U"x\u00F0\u009F\u0098"},  // truncated at the end
        {"\xFF\xC3\xA9", U"\u00FFé"},               // valid sequence after a bad byte
    };
    for (const Case& c : cases) {
        const std::string got = decodeToUtf8(c.in);
        EXPECT_EQ(QString::fromStdString(got), QString::fromStdU32String(c.out))
            << "input of " << c.in.size() << " bytes";
        EXPECT_EQ(utf8::validPrefixLength(got), got.size());
    }
}

TEST(DecodeToUtf8, RandomBytesGiveValidUtf8AndValidTextStays) {
    std::mt19937 rng(11);
    for (int round = 0; round < 100; ++round) {
        std::string bytes(static_cast<std::size_t>(rng() % 200), '\0');
        for (char& b : bytes) b = static_cast<char>(rng() % 3 == 0 ? rng() % 128 : rng());
        const std::string out = decodeToUtf8(bytes);
        ASSERT_EQ(utf8::validPrefixLength(out), out.size());
        ASSERT_EQ(decodeToUtf8(out), out);
        // One character per invalid byte: never fewer characters than Qt's
        // own decoder, which replaces whole bad sequences.
        EXPECT_GE(utf8::countCodePoints(out),
                  static_cast<std::size_t>(QString::fromStdString(bytes).toUcs4().size()));
    }
}

// Chunk by chunk from the file must give exactly the chunks of the whole-file
// reader, whatever falls on a block boundary: a multi-byte character, a
// truncated sequence, a bad byte, a chunk boundary, or the end of the file.
TEST_F(TextReaders, ChunkByChunkGivesTheWholeFileChunks) {
    std::mt19937 rng(5);
    const char* pieces[] = {
        "a",    "\r\n",     "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF0\x9F\x98",
        "\xFF", "\x80\x80", "\xE2\x82", "\xC3"};
    std::vector<std::string> texts = {"", "x", repeat("a", 65536), repeat("a", 65536 * 2),
                                      repeat("\xC3\xA9", 65536) + "\xF0\x9F"};
    for (int round = 0; round < 6; ++round) {
        std::string text;
        const std::size_t length = round < 3 ? 300000 : 140000 + rng() % 1000;
        while (text.size() < length) text += pieces[rng() % 10];
        texts.push_back(text);
    }
    for (std::size_t t = 0; t < texts.size(); ++t) {
        const QString path = write(texts[t]);
        const TextChunks whole = readFileChunks(path);
        for (const std::size_t block :
             {std::size_t(16), std::size_t(17), std::size_t(4099), std::size_t(1) << 20}) {
            std::vector<std::string> got;
            forEachFileChunk(
                path, [&](std::string_view c) { got.emplace_back(c); }, block);
            ASSERT_EQ(got.size(), whole.count()) << "text " << t << ", block " << block;
            for (std::size_t i = 0; i < got.size(); ++i)
                ASSERT_EQ(got[i], whole.chunk(i))
                    << "text " << t << ", block " << block << ", chunk " << i;
        }
    }
    EXPECT_THROW(
        forEachFileChunk(dir_.filePath(QStringLiteral("absent.txt")), [](std::string_view) {}),
        Error);
}

}  // namespace
}  // namespace qm
