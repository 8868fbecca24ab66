#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "filelist/filelist.h"
#include "filelist/pathhelpers.h"

namespace qm {
namespace {

TEST(FixDoubleBackslashes, PairsCollapseLeftToRightWithoutOverlap) {
    EXPECT_EQ(FixDoubleBackslashes(QString()), QString());
    EXPECT_EQ(FixDoubleBackslashes("a/b/c.pdf"), QStringLiteral("a/b/c.pdf"));
    EXPECT_EQ(FixDoubleBackslashes("a//b"), QStringLiteral("a/b"));
    EXPECT_EQ(FixDoubleBackslashes("a///b"), QStringLiteral("a//b"));
    EXPECT_EQ(FixDoubleBackslashes("a////b"), QStringLiteral("a//b"));
    EXPECT_EQ(FixDoubleBackslashes("a/////b"), QStringLiteral("a///b"));
    EXPECT_EQ(FixDoubleBackslashes("docs//x//"), QStringLiteral("docs/x/"));
    // Nothing else changes: blanks, case and backslashes stay.
    EXPECT_EQ(FixDoubleBackslashes(" A//b\\\\c "), QStringLiteral(" A/b\\\\c "));
}

TEST(FixDoubleBackslashes, ALeadingRunBecomesOneSeparator) {
    EXPECT_EQ(FixDoubleBackslashes("/home/u/a.pdf"), QStringLiteral("/home/u/a.pdf"));
    EXPECT_EQ(FixDoubleBackslashes("//home/u/a.pdf"), QStringLiteral("/home/u/a.pdf"));
    EXPECT_EQ(FixDoubleBackslashes("///home//u///a.pdf"), QStringLiteral("/home/u//a.pdf"));
    EXPECT_EQ(FixDoubleBackslashes("/"), QStringLiteral("/"));
    EXPECT_EQ(FixDoubleBackslashes("////"), QStringLiteral("/"));
    // A file chosen in the root folder: folder "/" joined to its name.
    EXPECT_EQ(FixDoubleBackslashes(QStringLiteral("/") + "/" + "list.txt"),
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
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(folder));
    EXPECT_FALSE(FileExists(dir.filePath("missing.pdf")));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(file + "/inside"));  // a file is no folder
    // A file another program holds open for writing still counts.
    QFile other(file);
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    EXPECT_TRUE(FileExists(file));
    // Links count as their target.
    ASSERT_TRUE(QFile::link(file, dir.filePath("link.pdf")));
    ASSERT_TRUE(QFile::link(dir.filePath("gone.pdf"), dir.filePath("dangling.pdf")));
    EXPECT_TRUE(FileExists(dir.filePath("link.pdf")));
    EXPECT_FALSE(FileExists(dir.filePath("dangling.pdf")));
}

TEST_F(Existence, FileExistsIsFalseForAFileWithoutReadPermission) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which opens files whatever their permissions";
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::Permissions()));
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(PathExists(file));  // its date can still be read
}

TEST_F(Existence, FolderExistsAndPathExistsAreTestsOfTheirOwn) {
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_TRUE(FolderExists(folder + "/"));
    EXPECT_FALSE(FolderExists(file));
    EXPECT_FALSE(FolderExists(dir.filePath("missing")));
    EXPECT_FALSE(FolderExists(QString()));

    EXPECT_TRUE(PathExists(file));
    EXPECT_TRUE(PathExists(folder));
    EXPECT_FALSE(PathExists(dir.filePath("missing.txt")));
    EXPECT_FALSE(PathExists(QString()));
    EXPECT_FALSE(PathExists(file + "/inside"));
    EXPECT_FALSE(PathExists(QString(5000, u'x')));  // a name the system refuses
}

TEST(IsInList, WholeTextsCompareByCharacterCode) {
    FileList list;
    list.add(QStringList{"/p/A.pdf", "/p/b.pdf", "/p/b.pdf"});
    EXPECT_TRUE(IsInList(list, "/p/A.pdf"));
    EXPECT_TRUE(IsInList(list, "/p/b.pdf"));
    EXPECT_FALSE(IsInList(list, "/p/a.pdf"));
    EXPECT_FALSE(IsInList(list, "/p/b.pdf "));
    EXPECT_FALSE(IsInList(list, "/p//b.pdf"));
    EXPECT_FALSE(IsInList(FileList(), QString()));
}

}  // namespace
}  // namespace qm
