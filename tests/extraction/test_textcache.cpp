// The extracted-text cache: keys follow the file's state and the password,
// the memory bound holds with the least recently used entries going first,
// and the disk folder survives damaged files, concurrent writers and its bound.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "extraction/textcache.h"
#include "support/pdfmaker.h"
#include "text/textfile.h"

namespace qm {
namespace {

using test::writeBytes;

// Sets a file's modification time (seconds since the epoch).
void setModified(const QString& path, long seconds) {
    struct utimbuf t {};
    t.actime = seconds;
    t.modtime = seconds;
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &t), 0);
}

std::string textOf(const CachedText& t) {
    return t.chunks().utf8();
}

// A text that compresses well, of about `bytes` bytes.
std::string repetitive(std::size_t bytes) {
    std::string s;
    while (s.size() < bytes) s += "the quick brown fox jumps over the lazy dog. ";
    return s;
}

TEST(TextCacheTest, EntriesFollowTheFileStateAndThePassword) {
    QTemporaryDir dir;
    const QString pdf = dir.path() + QStringLiteral("/a.pdf");
    writeBytes(pdf, "one");
    setModified(pdf, 1000000);
    TextCache cache;
    const FileIdentity id = *FileIdentity::of(pdf);
    EXPECT_EQ(id.absolutePath, QFileInfo(pdf).absoluteFilePath());
    EXPECT_EQ(id.size, 3);

    cache.store(id, QString(), CachedText::forText("plain text", 10));
    cache.store(id, QStringLiteral("pw"), CachedText::forText("text with password", 18));
    ASSERT_TRUE(cache.find(id, QString()));
    EXPECT_EQ(textOf(*cache.find(id, QString())), "plain text");
    EXPECT_EQ(textOf(*cache.find(id, QStringLiteral("pw"))), "text with password");
    EXPECT_FALSE(cache.find(id, QStringLiteral("other")));

    // Same size, another time; another size, same time; a new file (inode) in its place.
    // (After a pause the coarse file clock has moved on, so change times differ.)
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    setModified(pdf, 1000001);
    EXPECT_FALSE(cache.find(*FileIdentity::of(pdf), QString()));
    // The modification time put back: the change time still tells.
    setModified(pdf, 1000000);
    EXPECT_FALSE(cache.find(*FileIdentity::of(pdf), QString()));
    writeBytes(pdf, "two!");
    setModified(pdf, 1000000);
    EXPECT_FALSE(cache.find(*FileIdentity::of(pdf), QString()));
    QFile::remove(pdf);
    writeBytes(dir.path() + QStringLiteral("/spacer"), "x");  // keeps the old inode taken
    writeBytes(pdf, "one");
    setModified(pdf, 1000000);
    const FileIdentity again = *FileIdentity::of(pdf);
    EXPECT_EQ(again.size, id.size);
    EXPECT_EQ(again.modifiedNs, id.modifiedNs);
    if (again.inode != id.inode) {
        EXPECT_FALSE(cache.find(again, QString()));
    }

    // No identity for what is not a regular file.
    EXPECT_FALSE(FileIdentity::of(dir.path()));
    EXPECT_FALSE(FileIdentity::of(dir.path() + QStringLiteral("/missing.pdf")));
    EXPECT_FALSE(FileIdentity::of(QString()));
}

TEST(TextCacheTest, TextsAndOutcomesRoundTrip) {
    const std::string big = repetitive(200000);
    const CachedText packed = CachedText::forText(big, 200001);
    EXPECT_TRUE(packed.compressed);
    EXPECT_LT(packed.data.size(), static_cast<qsizetype>(big.size() / 4));
    EXPECT_EQ(textOf(packed), big);
    // Chunks as the file reader makes them: 65,536 code points each.
    EXPECT_EQ(packed.chunks().count(), (big.size() + kChunkLength - 1) / kChunkLength);

    const std::string small = "short \xc3\xa4 text";
    const CachedText plain = CachedText::forText(small, 15);
    EXPECT_FALSE(plain.compressed);
    EXPECT_EQ(textOf(plain), small);

    // Data that does not shrink is kept as it is.
    std::string noise;
    std::uint32_t x = 12345;
    for (int i = 0; i < 4096; ++i) {
        x = x * 1103515245u + 12345u;
        noise += static_cast<char>(x >> 24);
    }
    EXPECT_FALSE(CachedText::forText(noise, 4096).compressed);

    const CachedText none = CachedText::forOutcome(TextOutcome::Protected, -1);
    EXPECT_EQ(none.textFileSize, -1);
    EXPECT_EQ(none.chunks().count(), 1u);
    EXPECT_TRUE(none.chunks().utf8().empty());

    CachedText damaged = packed;
    damaged.data[damaged.data.size() / 2] =
        static_cast<char>(damaged.data[damaged.data.size() / 2] ^ 0x55);
    damaged.data.truncate(damaged.data.size() - 10);
    // Damaged data is refused without a Qt warning on standard error.
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
    EXPECT_ANY_THROW(damaged.chunks());
    CachedText forged = packed;
    forged.data[0] = '\x7f';  // a length no real entry has
    EXPECT_ANY_THROW(forged.chunks());
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();
}

// The chunks of an entry taken one at a time, and as many as were taken
// before `stopAfter` of them (0: all).
std::vector<std::string> chunksOneByOne(const CachedText& t, std::size_t stopAfter = 0) {
    struct Stop {};
    std::vector<std::string> got;
    try {
        t.forEachChunk([&](std::string_view c) {
            got.emplace_back(c);
            if (got.size() == stopAfter) throw Stop{};
        });
    } catch (const Stop&) {
    }
    return got;
}

TEST(TextCacheTest, ChunksOneAtATimeAreTheWholeTextsChunksAndStopEarly) {
    // Two-, three- and four-byte characters across every 64 KiB of packed
    // and plain data, a stray byte, and a tail shorter than a chunk.
    std::string mixed;
    while (mixed.size() < 600000) mixed += "word \xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80 x\xff ";
    std::string noise;
    std::uint32_t x = 99;
    for (int i = 0; i < 300000; ++i) {
        x = x * 1103515245u + 12345u;
        noise += static_cast<char>(x >> 24);
    }
    for (const std::string& text : {mixed, noise, std::string("short"), std::string()}) {
        const CachedText entry = CachedText::forText(text, 1);
        const TextChunks whole = entry.chunks();
        const std::vector<std::string> got = chunksOneByOne(entry);
        ASSERT_EQ(got.size(), whole.count()) << text.size();
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], whole.chunk(i)) << i;
    }
    EXPECT_TRUE(CachedText::forText(mixed, 1).compressed);
    EXPECT_FALSE(
        CachedText::forText(mixed, 1).trusted);  // its stray byte is read as text files are

    // A text known valid is cut as the decoder cuts it, packed or plain
    // (catches chunks cut elsewhere, so rows differ with where a text came from).
    std::string valid;
    while (valid.size() < 600000) valid += "word \xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80 x ";
    CachedText packed = CachedText::forText(valid, 1);
    ASSERT_TRUE(packed.trusted && packed.compressed);
    CachedText plain = packed;
    plain.data = QByteArray::fromStdString(valid);
    plain.compressed = plain.lz4 = false;
    const TextChunks truth = TextChunks::fromUtf8(valid);
    for (const CachedText* e : {&packed, &plain}) {
        const std::vector<std::string> got = chunksOneByOne(*e);
        ASSERT_EQ(got.size(), truth.count());
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], truth.chunk(i)) << i;
        EXPECT_EQ(e->chunks().utf8(), valid);
    }
    EXPECT_EQ(chunksOneByOne(CachedText::forOutcome(TextOutcome::Damaged, -1)),
              std::vector<std::string>{std::string()});

    // Packed data cut short: the whole text is refused, and a reader that
    // stops at the first chunk never gets that far.
    CachedText cut = CachedText::forText(noise + mixed, 1);
    ASSERT_TRUE(cut.compressed);
    cut.data.truncate(cut.data.size() - cut.data.size() / 4);
    EXPECT_ANY_THROW(chunksOneByOne(cut));
    EXPECT_EQ(chunksOneByOne(cut, 1).size(), 1u);
}

FileIdentity fakeIdentity(int n) {
    FileIdentity id;
    id.absolutePath = QStringLiteral("/f/%1.pdf").arg(n);
    id.size = n;
    id.inode = static_cast<std::uint64_t>(n);
    return id;
}

TEST(TextCacheTest, TheBoundHoldsAndTheLeastRecentlyUsedGoFirst) {
    const std::int64_t bound = 64 * 1024;
    TextCache cache(bound);
    // Texts of about 10 KB that do not compress, so each takes its size.
    auto text = [](int n) {
        std::string s;
        std::uint32_t x = static_cast<std::uint32_t>(n) * 7919u + 1u;
        for (int i = 0; i < 10000; ++i) {
            x = x * 1103515245u + 12345u;
            s += static_cast<char>(x >> 24);
        }
        return s;
    };
    for (int n = 1; n <= 5; ++n)
        cache.store(fakeIdentity(n), QString(), CachedText::forText(text(n), 10000));
    EXPECT_EQ(cache.entryCount(), 5u);
    // Using 1 makes 2 the oldest.
    ASSERT_TRUE(cache.find(fakeIdentity(1), QString()));
    for (int n = 6; n <= 7; ++n)
        cache.store(fakeIdentity(n), QString(), CachedText::forText(text(n), 10000));
    EXPECT_LE(cache.bytesUsed(), bound);
    EXPECT_TRUE(cache.find(fakeIdentity(1), QString()));
    EXPECT_FALSE(cache.find(fakeIdentity(2), QString()));
    EXPECT_TRUE(cache.find(fakeIdentity(7), QString()));
    // Bytes that are not UTF-8 come back as a text file's would read.
    EXPECT_EQ(textOf(*cache.find(fakeIdentity(7), QString())), decodeToUtf8(text(7)));

    // Many more: the bound still holds, the newest are kept.
    for (int n = 8; n <= 100; ++n) {
        cache.store(fakeIdentity(n), QString(), CachedText::forText(text(n), 10000));
        ASSERT_LE(cache.bytesUsed(), bound);
    }
    EXPECT_TRUE(cache.find(fakeIdentity(100), QString()));
    EXPECT_FALSE(cache.find(fakeIdentity(50), QString()));

    // Replacing an entry does not count it twice; one larger than the bound is not kept.
    const std::int64_t before = cache.bytesUsed();
    cache.store(fakeIdentity(100), QString(), CachedText::forText(text(100), 10000));
    EXPECT_EQ(cache.bytesUsed(), before);
    cache.store(fakeIdentity(999), QString(), CachedText::forText(std::string(100000, '\x01'), 1));
    EXPECT_LE(cache.bytesUsed(), bound);
    EXPECT_TRUE(cache.find(fakeIdentity(100), QString()));

    // Stores and finds from several threads at once keep the books right.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int n = 0; n < 200; ++n) {
                const int k = 1000 + t * 1000 + n;
                cache.store(fakeIdentity(k), QString(), CachedText::forText(text(k % 7), 10000));
                cache.find(fakeIdentity(k - 1), QString());
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_LE(cache.bytesUsed(), bound);
    EXPECT_GT(cache.entryCount(), 0u);
}

class DiskCacheTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString folder() const { return dir.path() + QStringLiteral("/cache/quillmark"); }
};

TEST_F(DiskCacheTest, EntriesSurviveTheProgramAndPasswordsStayInMemory) {
    const std::string text = repetitive(50000);
    {
        DiskTextCache disk(folder(), QStringLiteral("pdftotext 1"));
        ASSERT_TRUE(disk.usable());
        EXPECT_EQ(QFileInfo(folder()).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                  QFileDevice::Permissions());
        TextCache cache;
        cache.attachDisk(&disk);
        cache.store(fakeIdentity(1), QString(), CachedText::forText(text, 50001));
        cache.store(fakeIdentity(2), QString(), CachedText::forOutcome(TextOutcome::Unreadable, 3));
        cache.store(fakeIdentity(3), QStringLiteral("secret"), CachedText::forText("hidden", 6));
        // Nothing in a file tells the path or the password.
        for (const QFileInfo& fi : QDir(folder()).entryInfoList(QDir::Files)) {
            QFile f(fi.absoluteFilePath());
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            const QByteArray all = f.readAll();
            EXPECT_FALSE(all.contains("/f/1.pdf"));
            EXPECT_FALSE(all.contains("secret"));
        }
        EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 2);
    }
    // A later program finds them.
    DiskTextCache disk(folder(), QStringLiteral("pdftotext 1"));
    TextCache cache;
    cache.attachDisk(&disk);
    auto one = cache.find(fakeIdentity(1), QString());
    ASSERT_TRUE(one);
    EXPECT_EQ(textOf(*one), text);
    EXPECT_EQ(one->textFileSize, 50001);
    auto two = cache.find(fakeIdentity(2), QString());
    ASSERT_TRUE(two);
    EXPECT_EQ(two->outcome, TextOutcome::Unreadable);
    EXPECT_EQ(two->textFileSize, 3);
    EXPECT_FALSE(cache.find(fakeIdentity(3), QStringLiteral("secret")));
    // Another extractor: the texts do not count.
    DiskTextCache otherDisk(folder(), QStringLiteral("pdftotext 2"));
    EXPECT_FALSE(otherDisk.find(textCacheKey(fakeIdentity(1), QString())));
}

TEST_F(DiskCacheTest, OcrReadingsAreKeptApartWithTheirPages) {
    const QString eng = QStringLiteral("tesseract 5 -l eng");
    const QString deu = QStringLiteral("tesseract 5 -l deu");
    {
        DiskTextCache disk(folder(), QStringLiteral("x"));
        TextCache cache;
        cache.attachDisk(&disk);
        cache.store(fakeIdentity(1), QString(), CachedText::forText("plain", 5));
        cache.store(fakeIdentity(1), QString(), CachedText::forText("read", 4, {2, 7}, {88, 41}),
                    eng);
        EXPECT_EQ(textOf(*cache.find(fakeIdentity(1), QString())), "plain");
        EXPECT_TRUE(cache.find(fakeIdentity(1), QString())->ocrPages.empty());
        EXPECT_FALSE(cache.find(fakeIdentity(1), QString(), deu));
        EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 2);
    }
    // From the disk, in a later program: the text and its OCR pages.
    DiskTextCache disk(folder(), QStringLiteral("x"));
    TextCache cache;
    cache.attachDisk(&disk);
    const auto read = cache.find(fakeIdentity(1), QString(), eng);
    ASSERT_TRUE(read);
    EXPECT_EQ(textOf(*read), "read");
    EXPECT_EQ(read->ocrPages, (std::vector<int>{2, 7}));
    EXPECT_EQ(read->ocrConfidence, (std::vector<int>{88, 41}));
    EXPECT_FALSE(cache.find(fakeIdentity(1), QString(), deu));

    // Faults: an entry of an earlier version refused (extracted again) or misread.
    // An entry written before OCR pages were kept (version 1: no page list) still reads.
    const std::string key = textCacheKey(fakeIdentity(1), QString());
    QFile f(disk.pathFor(key));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray old = f.readAll();
    f.close();
    old.chop(16 + 4);  // the checksum and the empty page list
    old[4] = 1;
    old[41] = static_cast<char>(old[41] & 3);  // no earlier version marked valid text
    old.append(QCryptographicHash::hash(old, QCryptographicHash::Sha256));
    writeBytes(disk.pathFor(key), old);
    const auto plain = disk.find(key);
    ASSERT_TRUE(plain);
    EXPECT_EQ(textOf(*plain), "plain");
    // Read once, it is kept again marked valid and unpacked (catches old
    // entries that are never read the fast way, or rewritten wrong).
    const auto again = DiskTextCache(folder(), QStringLiteral("x")).find(key);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->trusted);
    EXPECT_FALSE(again->compressed);
    EXPECT_EQ(textOf(*again), "plain");

    // An entry of version 2 (texts packed by zlib, as qCompress packs them) still reads.
    const std::string text = repetitive(30000);
    const QByteArray packed =
        qCompress(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())), 1);
    QByteArray v2 = old.left(4);
    const auto le = [&v2](std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) v2.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    le(2, 4);
    v2.append(old.mid(8, 32));  // the key's digest
    v2.append(char(1));         // a text
    v2.append(char(1));         // packed by zlib
    le(text.size(), 8);
    le(static_cast<std::uint64_t>(packed.size()), 8);
    v2.append(packed);
    le(0, 4);  // no OCR pages
    v2.append(QCryptographicHash::hash(v2, QCryptographicHash::Sha256));
    writeBytes(disk.pathFor(key), v2);
    const auto zlib = disk.find(key);
    ASSERT_TRUE(zlib);
    EXPECT_EQ(textOf(*zlib), text);
}

// Catches a large text read as it streams cut into other chunks than a whole
// read cuts, or its damage not told: a byte changed in the text, in the OCR
// pages after it or in its check, or the file cut short once opened.
TEST_F(DiskCacheTest, ALargeTextStreamsInTheSameChunksAndIsWholeOnlyAsWritten) {
    DiskTextCache disk(folder(), QStringLiteral("x"));
    std::string valid;
    while (valid.size() < 700000) valid += "word \xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80 x ";
    const std::string key = textCacheKey(fakeIdentity(1), QString());
    disk.store(key, CachedText::forText(valid, 1, {3}, {90}));
    const QString path = disk.pathFor(key);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    f.close();
    const TextChunks truth = TextChunks::fromUtf8(valid);
    {
        const std::optional<CachedText> t = disk.find(key, true);
        ASSERT_TRUE(t && t->stream);
        EXPECT_EQ(t->ocrPages, std::vector<int>{3});
        const std::vector<std::string> got = chunksOneByOne(*t);
        ASSERT_EQ(got.size(), truth.count());
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], truth.chunk(i)) << i;
        EXPECT_TRUE(t->stream->whole());
        EXPECT_EQ(t->chunks().utf8(), valid);  // read again from its beginning
    }
    for (const qsizetype at : {whole.size() / 2, whole.size() - 20, whole.size() - 1}) {
        QByteArray flipped = whole;
        flipped[at] = static_cast<char>(flipped[at] ^ 1);
        writeBytes(path, flipped);
        const std::optional<CachedText> t = disk.find(key, true);
        ASSERT_TRUE(t && t->stream) << at;
        chunksOneByOne(*t, 2);  // stopped early: the rest is read for the check
        EXPECT_FALSE(t->stream->whole()) << at;
        EXPECT_ANY_THROW(t->chunks()) << at;
    }
    writeBytes(path, whole);
    const std::optional<CachedText> t = disk.find(key, true);
    ASSERT_TRUE(t && t->stream);
    ASSERT_TRUE(QFile::resize(path, whole.size() / 2));
    EXPECT_ANY_THROW(chunksOneByOne(*t));
    EXPECT_FALSE(t->stream->whole());
}

TEST_F(DiskCacheTest, AFileCutShortOrDamagedIsIgnoredAndRewritten) {
    DiskTextCache disk(folder(), QStringLiteral("x"));
    const std::string key = textCacheKey(fakeIdentity(1), QString());
    const CachedText entry = CachedText::forText(repetitive(30000), 30000);
    disk.store(key, entry);
    const QString path = disk.pathFor(key);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    f.close();
    ASSERT_TRUE(disk.find(key));

    // Cut short at several points, and one byte changed: never used.
    for (qsizetype cut :
         {qsizetype(0), qsizetype(3), qsizetype(40), whole.size() / 2, whole.size() - 1}) {
        writeBytes(path, whole.left(cut));
        EXPECT_FALSE(disk.find(key)) << "cut at " << cut;
    }
    QByteArray flipped = whole;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 1);
    writeBytes(path, flipped);
    EXPECT_FALSE(disk.find(key));

    // The next store writes it whole again.
    TextCache cache;
    cache.attachDisk(&disk);
    writeBytes(path, whole.left(whole.size() / 3));
    EXPECT_FALSE(cache.find(fakeIdentity(1), QString()));
    cache.store(fakeIdentity(1), QString(), entry);
    QFile g(path);
    ASSERT_TRUE(g.open(QIODevice::ReadOnly));
    EXPECT_EQ(g.readAll(), whole);
    EXPECT_TRUE(disk.find(key));

    // A temporary file left by a writer that died is not an entry, and goes when old.
    const QString left = path + QStringLiteral(".AbCdEf");
    writeBytes(left, whole.left(10));
    setModified(left, 1000);
    disk.prune();
    EXPECT_FALSE(QFile::exists(left));
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(DiskCacheTest, TheFolderIsBoundedAndTwoWritersAtOnceLeaveWholeEntries) {
    const std::int64_t bound = 200 * 1024;
    // Texts that do not compress, about 20 KB each.
    auto text = [](int n) {
        std::string s;
        std::uint32_t x = static_cast<std::uint32_t>(n) + 7u;
        for (int i = 0; i < 20000; ++i) {
            x = x * 1103515245u + 12345u;
            s += static_cast<char>(x >> 24);
        }
        return s;
    };
    {
        // Two caches on one folder, as two programs would be, writing the same keys.
        DiskTextCache a(folder(), QStringLiteral("x"), bound);
        DiskTextCache b(folder(), QStringLiteral("x"), bound);
        std::thread ta([&] {
            for (int n = 0; n < 30; ++n)
                a.store(textCacheKey(fakeIdentity(n), QString()), CachedText::forText(text(n), n));
        });
        std::thread tb([&] {
            for (int n = 0; n < 30; ++n)
                b.store(textCacheKey(fakeIdentity(n), QString()), CachedText::forText(text(n), n));
        });
        ta.join();
        tb.join();
    }
    std::int64_t total = 0;
    for (const QFileInfo& fi : QDir(folder()).entryInfoList(QDir::Files)) total += fi.size();
    EXPECT_LE(total, bound);
    DiskTextCache disk(folder(), QStringLiteral("x"), bound);
    int found = 0;
    for (int n = 0; n < 30; ++n) {
        auto e = disk.find(textCacheKey(fakeIdentity(n), QString()));
        if (!e) continue;
        ++found;
        EXPECT_EQ(e->chunks().utf8(), decodeToUtf8(text(n)));  // every entry there is whole
    }
    EXPECT_GT(found, 3);
    // The newest survived the pruning.
    EXPECT_TRUE(disk.find(textCacheKey(fakeIdentity(29), QString())));
}

TEST_F(DiskCacheTest, PruningRemovesTheLeastRecentlyUsedEntriesFirst) {
    // Ten entries of one size, last used in another order than they were
    // written (0: the longest ago); then entry 3 is used and becomes the newest.
    constexpr int kEntries = 10;
    const int useOrder[kEntries] = {7, 2, 9, 0, 5, 8, 1, 6, 3, 4};
    std::vector<QString> paths;
    {
        DiskTextCache disk(folder(), QStringLiteral("x"));
        for (int n = 0; n < kEntries; ++n) {
            const std::string key = textCacheKey(fakeIdentity(n), QString());
            disk.store(key, CachedText::forOutcome(TextOutcome::Unreadable, n));
            paths.push_back(disk.pathFor(key));
            setModified(paths.back(), 1000000 + 1000L * useOrder[n]);
        }
        ASSERT_TRUE(disk.find(textCacheKey(fakeIdentity(3), QString())));
    }
    // Room for five and a half: pruned to nine tenths of that, four entries stay,
    // the four used last.
    const qint64 entryBytes = QFileInfo(paths[0]).size();
    DiskTextCache pruned(folder(), QStringLiteral("x"), entryBytes * 11 / 2);
    EXPECT_LE(pruned.bytesUsed(), entryBytes * 11 / 2);  // counted, and pruned, when first needed
    for (int n = 0; n < kEntries; ++n)
        EXPECT_EQ(QFile::exists(paths[n]), n == 3 || useOrder[n] >= 7) << "entry " << n;
}

// Catches texts of private files written where another user can read them: a
// cache folder made by someone else (another owner, or a link to elsewhere)
// is never used, and entries are owner-only whatever the umask.
TEST_F(DiskCacheTest, OnlyAFolderOfTheUsersOwnClosedToOthersIsUsed) {
    const QString base = dir.path() + u'/';
    const auto make = [&](const QString& name, mode_t mode) {
        EXPECT_EQ(::mkdir(QFile::encodeName(base + name).constData(), mode), 0);
        ::chmod(QFile::encodeName(base + name).constData(), mode);  // past the umask
        return base + name;
    };
    const auto modeOf = [](const QString& path) {
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & 07777;
    };
    const mode_t savedMask = ::umask(0);
    const QString own = make(QStringLiteral("own-open"), 0777);
    // Open to others only, the group shut out: a test of the group's bits alone misses it.
    const QString ownOthers = make(QStringLiteral("own-others"), 0705);
    const QString target = make(QStringLiteral("target"), 0700);
    const QString link = base + QStringLiteral("link");
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
              0);
    QString others;
    if (::geteuid() == 0) {
        others = make(QStringLiteral("others"), 0777);
        ASSERT_EQ(::chown(QFile::encodeName(others).constData(), 65534, 65534), 0);
    }
    struct Case {
        QString folder;
        bool usable;
        CacheFolderRefusal refusal;
    };
    std::vector<Case> cases{
        {own, true, CacheFolderRefusal::None},
        {ownOthers, true, CacheFolderRefusal::None},
        {base + QStringLiteral("fresh/quillmark"), true, CacheFolderRefusal::None},
        {link, false, CacheFolderRefusal::Link}};
    if (!others.isEmpty()) cases.push_back({others, false, CacheFolderRefusal::OthersOwner});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        DiskTextCache disk(c.folder, QStringLiteral("x"));
        EXPECT_EQ(disk.usable(), c.usable);
        EXPECT_EQ(disk.refusal(), c.refusal);
        EXPECT_EQ(disk.clear(), c.usable);
        disk.store(textCacheKey(fakeIdentity(1), QString()), CachedText::forText("private", 7));
        const QFileInfoList entries = QDir(c.folder).entryInfoList(QDir::Files);
        EXPECT_EQ(entries.size(), c.usable ? 1 : 0);
        if (c.usable) {
            EXPECT_EQ(modeOf(c.folder), mode_t(0700));
            for (const QFileInfo& fi : entries) EXPECT_EQ(modeOf(fi.absoluteFilePath()), 0600u);
        }
    }
    EXPECT_EQ(modeOf(target), mode_t(0700));  // nothing through the link
    EXPECT_TRUE(QDir(target).isEmpty());
    ::umask(savedMask);
}

TEST(DiskCacheFolderTest, FollowsXdgCacheHome) {
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", "/some/where");
    EXPECT_EQ(DiskTextCache::defaultFolder(), QStringLiteral("/some/where/quillmark"));
    qputenv("XDG_CACHE_HOME", "relative/path");
    EXPECT_EQ(DiskTextCache::defaultFolder(),
              QDir::homePath() + QStringLiteral("/.cache/quillmark"));
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(DiskTextCache::defaultFolder(),
              QDir::homePath() + QStringLiteral("/.cache/quillmark"));
    if (!saved.isNull()) qputenv("XDG_CACHE_HOME", saved);
}

}  // namespace
}  // namespace qm
