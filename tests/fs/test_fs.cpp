#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "fs/fs.h"

namespace qm {
namespace {

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

TEST_F(Existence, FileExistsIsFalseForAFileWithoutReadPermission) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which opens files whatever their permissions";
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::Permissions()));
    EXPECT_FALSE(fs::isFile(file));
    EXPECT_TRUE(fs::exists(file));  // its date can still be read
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


}  // namespace
}  // namespace qm
