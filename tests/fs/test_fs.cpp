#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>

#include "fs/fs.h"

namespace qm {
namespace {

// The one split of a path into folder and name, and the two helpers made from it.
TEST(SplitPath, FolderHasNoTrailingSeparatorExceptTheRoot) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
        const char* folderOf;
    };
    const Case cases[] = {
        {"/a/b/c.pdf", "/a/b", "c.pdf", "/a/b/"},
        {"/c.pdf", "/", "c.pdf", "/"},
        {"c.pdf", "", "c.pdf", ""},
        {"/a/b/", "/a/b", "", "/a/b/"},
        {"/a//c.pdf", "/a/", "c.pdf", "/a//"},
        {"a/c.pdf", "a", "c.pdf", "a/"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        const fs::FolderAndName split = fs::splitPath(QString::fromUtf8(c.path));
        EXPECT_EQ(split.folder, QString::fromUtf8(c.folder)) << c.path;
        EXPECT_EQ(split.name, QString::fromUtf8(c.name)) << c.path;
        EXPECT_EQ(fs::fileName(QString::fromUtf8(c.path)), split.name) << c.path;
        EXPECT_EQ(fs::folderOf(QString::fromUtf8(c.path)), QString::fromUtf8(c.folderOf)) << c.path;
    }
}

// Catches a name whose bytes are not UTF-8 turned into U+FFFD (QFile's own
// decoding), after which the file can be neither opened nor copied.
TEST(NativeNames, EveryByteStringComesBackAsItWas) {
    const QList<QByteArray> names{"caf\xe9.pdf",
                                  "\xff\xfe",
                                  "\xc0\xaf overlong",
                                  "\xed\xa0\x80 cut",
                                  "cut \xe2\x82",
                                  "\xf4\x90\x80\x80",
                                  "caf\xc3\xa9 \xf0\x9f\x98\x80",
                                  "plain",
                                  QByteArray()};
    for (const QByteArray& n : names)
        EXPECT_EQ(fs::encodeName(fs::decodeName(n)), n) << n.toHex().constData();
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, static_cast<char>(b));
        EXPECT_EQ(fs::encodeName(fs::decodeName(one)), one) << b;
    }
    std::srand(7);
    for (int k = 0; k < 2000; ++k) {
        QByteArray n(std::rand() % 12, '\0');
        for (char& c : n) c = static_cast<char>(0x80 + std::rand() % 0x80 - (k % 2) * 0x40);
        EXPECT_EQ(fs::encodeName(fs::decodeName(n)), n) << n.toHex().constData();
    }
    // Valid text is its UTF-8, and its bytes decode to it.
    const QString text = QStringLiteral("café 😀 \uFFFD");
    EXPECT_EQ(fs::encodeName(text), text.toUtf8());
    EXPECT_EQ(fs::decodeName(text.toUtf8()), text);
    EXPECT_FALSE(fs::holdsRawBytes(text));
    EXPECT_TRUE(fs::holdsRawBytes(fs::decodeName("caf\xe9")));
    // The two names differ, though Qt's decoding makes them the same text.
    EXPECT_NE(fs::decodeName("a\xe9"), fs::decodeName("a\xe8"));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + u'/' + fs::decodeName("caf\xe9.pdf");
    const int fd = ::open((QFile::encodeName(dir.path()) + "/caf\xe9.pdf").constData(),
                          O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "%PDF", 4), 4);
    ::close(fd);
    EXPECT_TRUE(fs::isFile(path));
    EXPECT_EQ(fs::copyFileReporting(path, dir.path() + QStringLiteral("/copy.pdf")),
              fs::CopyResult::Copied);
}

TEST(FixDoubleBackslashes, PairsCollapseLeftToRightWithoutOverlap) {
    EXPECT_EQ(fs::collapseSlashes(QString()), QString());
    EXPECT_EQ(fs::collapseSlashes("a/b/c.pdf"), QStringLiteral("a/b/c.pdf"));
    EXPECT_EQ(fs::collapseSlashes("a//b"), QStringLiteral("a/b"));
    EXPECT_EQ(fs::collapseSlashes("a///b"), QStringLiteral("a//b"));
    EXPECT_EQ(fs::collapseSlashes("a////b"), QStringLiteral("a//b"));
    EXPECT_EQ(fs::collapseSlashes("a/////b"), QStringLiteral("a///b"));
    EXPECT_EQ(fs::collapseSlashes("docs//x//"), QStringLiteral("docs/x/"));
    // Nothing else changes: blanks, case and backslashes stay.
    EXPECT_EQ(fs::collapseSlashes(" A//b\\\\c "), QStringLiteral(" A/b\\\\c "));
}

TEST(FixDoubleBackslashes, ALeadingRunBecomesOneSeparator) {
    EXPECT_EQ(fs::collapseSlashes("/home/u/a.pdf"), QStringLiteral("/home/u/a.pdf"));
    EXPECT_EQ(fs::collapseSlashes("//home/u/a.pdf"), QStringLiteral("/home/u/a.pdf"));
    EXPECT_EQ(fs::collapseSlashes("///home//u///a.pdf"), QStringLiteral("/home/u//a.pdf"));
    EXPECT_EQ(fs::collapseSlashes("/"), QStringLiteral("/"));
    EXPECT_EQ(fs::collapseSlashes("////"), QStringLiteral("/"));
    // A file chosen in the root folder: folder "/" joined to its name.
    EXPECT_EQ(fs::collapseSlashes(QStringLiteral("/") + "/" + "list.txt"),
              QStringLiteral("/list.txt"));
}

class Existence : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString file, folder;
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath("a file.pdf");
        folder = dir.filePath("sub");
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4\n");
        f.close();
        ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    }
};

TEST_F(Existence, FileExistsOnlyForFilesThatOpen) {
    EXPECT_TRUE(fs::isFile(file));
    EXPECT_FALSE(fs::isFile(folder));
    EXPECT_FALSE(fs::isFile(dir.filePath("missing.pdf")));
    EXPECT_FALSE(fs::isFile(QString()));
    EXPECT_FALSE(fs::isFile(file + "/inside"));  // a file is no folder
    // A file another program holds open for writing still counts.
    QFile other(file);
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    EXPECT_TRUE(fs::isFile(file));
    // Links count as their target.
    ASSERT_TRUE(QFile::link(file, dir.filePath("link.pdf")));
    ASSERT_TRUE(QFile::link(dir.filePath("gone.pdf"), dir.filePath("dangling.pdf")));
    EXPECT_TRUE(fs::isFile(dir.filePath("link.pdf")));
    EXPECT_FALSE(fs::isFile(dir.filePath("dangling.pdf")));
}

TEST_F(Existence, AFileWithoutReadPermissionIsAFileThatCannotBeCopied) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which opens files whatever their permissions";
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::Permissions()));
    EXPECT_TRUE(fs::isFile(file));  // a regular file, whoever may read it
    EXPECT_EQ(fs::copyFileReporting(file, dir.filePath("copy.pdf")),
              fs::CopyResult::SourceUnreadable);
}

TEST_F(Existence, FolderExistsAndPathExistsAreTestsOfTheirOwn) {
    EXPECT_TRUE(fs::isFolder(folder));
    EXPECT_TRUE(fs::isFolder(folder + "/"));
    EXPECT_FALSE(fs::isFolder(file));
    EXPECT_FALSE(fs::isFolder(dir.filePath("missing")));
    EXPECT_FALSE(fs::isFolder(QString()));

    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(fs::exists(folder));
    EXPECT_FALSE(fs::exists(dir.filePath("missing.txt")));
    EXPECT_FALSE(fs::exists(QString()));
    EXPECT_FALSE(fs::exists(file + "/inside"));
    EXPECT_FALSE(fs::exists(QString(5000, u'x')));  // a name the system refuses
}

TEST(PathNames, NameAndFolder) {
    EXPECT_EQ(fs::fileName("/a/b/c.pdf"), QStringLiteral("c.pdf"));
    EXPECT_EQ(fs::fileName("c.pdf"), QStringLiteral("c.pdf"));
    EXPECT_EQ(fs::fileName("/a/b/"), QString());
    EXPECT_EQ(fs::folderOf("/a/b/c.pdf"), QStringLiteral("/a/b/"));
    EXPECT_EQ(fs::folderOf("c.pdf"), QString());
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(fs::folderOf(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(CopyAndRemove, CopyReplacesAndRefusesQuietly) {
    QTemporaryDir dir;
    const QString d = dir.path();
    const QString src = d + QStringLiteral("/src dir/ä \"q\" 'x'.pdf");
    const QString dst = d + QStringLiteral("/tmp.pdf");
    writeFile(src, "new content");
    writeFile(dst, "old content that is longer");
    EXPECT_EQ(fs::copyFileReporting(src, dst), fs::CopyResult::Copied);
    EXPECT_EQ(contents(dst), QByteArray("new content"));
    // The copy is the owner's alone: it may hold what the user keeps private.
    EXPECT_EQ(QFile::permissions(dst) & (QFile::ReadGroup | QFile::ReadOther), 0);
    // Doubled separators are cleaned first.
    QFile::remove(dst);
    EXPECT_EQ(fs::copyFileReporting(d + QStringLiteral("//src dir//ä \"q\" 'x'.pdf"), dst),
              fs::CopyResult::Copied);
    EXPECT_EQ(contents(dst), QByteArray("new content"));
    // A missing source, a missing folder, blank paths: nothing happens.
    EXPECT_EQ(fs::copyFileReporting(d + QStringLiteral("/gone.pdf"), dst),
              fs::CopyResult::SourceUnreadable);
    EXPECT_EQ(contents(dst), QByteArray("new content"));
    EXPECT_EQ(fs::copyFileReporting(src, d + QStringLiteral("/no such folder/tmp.pdf")),
              fs::CopyResult::WriteFailed);
    EXPECT_FALSE(QFile::exists(d + QStringLiteral("/no such folder/tmp.pdf")));
    EXPECT_EQ(fs::copyFileReporting(QStringLiteral("  "), dst), fs::CopyResult::SourceUnreadable);
    EXPECT_EQ(fs::copyFileReporting(src, QStringLiteral(" ")), fs::CopyResult::WriteFailed);
    EXPECT_EQ(contents(dst), QByteArray("new content"));
}

TEST(CopyAndRemove, ANamedPipeOrADeviceIsNeverCopied) {
    // Reading a FIFO with no writer waits for ever, and a device may never end.
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.pdf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(fs::isFile(fifo));
    EXPECT_FALSE(fs::isFile(QStringLiteral("/dev/zero")));
    EXPECT_EQ(fs::copyFileReporting(fifo, dir.filePath("copy.pdf")),
              fs::CopyResult::SourceUnreadable);
    EXPECT_EQ(fs::copyFileReporting(QStringLiteral("/dev/zero"), dir.filePath("zero.pdf")),
              fs::CopyResult::SourceUnreadable);
    EXPECT_FALSE(QFile::exists(dir.filePath("copy.pdf")));
    EXPECT_FALSE(QFile::exists(dir.filePath("zero.pdf")));
}

TEST(CopyAndRemove, RemoveQuietlyTakesReadOnlyFilesAndIgnoresMissingOnes) {
    QTemporaryDir dir;
    const QString ro = dir.filePath("readonly.txt");
    writeFile(ro, "x");
    QFile::setPermissions(ro, QFile::ReadOwner);
    fs::removeQuietly(ro);
    EXPECT_FALSE(QFile::exists(ro));
    fs::removeQuietly(dir.filePath("never there"));
    fs::removeQuietly(QString());
}

TEST(CopyAndRemove, ALongCopyEndsWhenCancelledAndLeavesNothing) {
    // Without the check between pieces a stop could not end a copy of a huge
    // file: it would run on to the end.
    QTemporaryDir dir;
    const QString big = dir.filePath("big.pdf");
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(64) << 20));
    }
    int asked = 0;
    const fs::CopyResult r =
        fs::copyFileReporting(big, dir.filePath("copy.pdf"), [&] { return ++asked > 1; });
    EXPECT_EQ(r, fs::CopyResult::Cancelled);
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("copy.pdf")));
    EXPECT_EQ(fs::copyFileReporting(big, dir.filePath("whole.pdf"), [] { return false; }),
              fs::CopyResult::Copied);
    EXPECT_EQ(QFileInfo(dir.filePath("whole.pdf")).size(), qint64(64) << 20);
}

}  // namespace
}  // namespace qm
