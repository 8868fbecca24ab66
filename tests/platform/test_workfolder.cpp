// The work folder: made only in a temporary folder no other user can tamper
// with, removed without following links, and leftovers of ended runs removed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/workfolder.h"

namespace {

class WorkFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qm::removeWorkFolder();
        ASSERT_TRUE(tmp_.isValid());
    }
    void TearDown() override { qm::removeWorkFolder(); }

    // A folder of the test with the given mode.
    QString folder(const QString& name, mode_t mode) {
        const QString path = tmp_.filePath(name);
        EXPECT_TRUE(QDir().mkpath(path));
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
        return path;
    }
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QTemporaryDir tmp_;
};

TEST_F(WorkFolderTest, AFolderOthersCanWriteIsPassedOverUnlessSticky) {
    const QString open = folder(QStringLiteral("open"), 0777);
    const QString sticky = folder(QStringLiteral("sticky"), 01777);
    const QString own = folder(QStringLiteral("own"), 0700);

    const QString work = qm::createWorkFolder({open, own});
    EXPECT_TRUE(work.startsWith(own + QStringLiteral("/quillmark-"))) << work.toStdString();
    EXPECT_TRUE(QDir(open).isEmpty());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(work).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // The owner file names this process, for the clean-up of a later start.
    QFile owner(work + QStringLiteral("/owner"));
    ASSERT_TRUE(owner.open(QIODevice::ReadOnly));
    EXPECT_EQ(owner.readAll().trimmed().toLong(), static_cast<long>(::getpid()));
    qm::removeWorkFolder();

    EXPECT_TRUE(qm::createWorkFolder({sticky, own}).startsWith(sticky + u'/'));
    qm::removeWorkFolder();
    // Writable by the group is writable by others too.
    const QString group = folder(QStringLiteral("group"), 0770);
    EXPECT_TRUE(qm::createWorkFolder({group, own}).startsWith(own + u'/'));
}

TEST_F(WorkFolderTest, AFolderOfAnotherUserIsPassedOver) {
    if (::geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
    const QString theirs = folder(QStringLiteral("theirs"), 0755);
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);
    const QString own = folder(QStringLiteral("own"), 0700);
    EXPECT_FALSE(qm::unsafeTemporaryFolderReason(theirs).isEmpty());
    EXPECT_TRUE(qm::createWorkFolder({theirs, own}).startsWith(own + u'/'));
}

TEST_F(WorkFolderTest, WithoutAUsableCandidateEachIsNamedWithItsReason) {
    const QString open = folder(QStringLiteral("open"), 0777);
    const QString missing = tmp_.filePath(QStringLiteral("missing"));
    writeFile(tmp_.filePath(QStringLiteral("file")), "x");
    const QString file = tmp_.filePath(QStringLiteral("file"));

    EXPECT_TRUE(qm::createWorkFolder({open, missing, file}).isEmpty());
    const QString problem = qm::workFolderProblem();
    EXPECT_TRUE(problem.contains(open + QStringLiteral(": other users can write")))
        << problem.toStdString();
    EXPECT_TRUE(problem.contains(missing + QStringLiteral(": "))) << problem.toStdString();
    EXPECT_TRUE(problem.contains(file + QStringLiteral(": "))) << problem.toStdString();
    // The failure stands: no work folder appears at "" or anywhere else.
    EXPECT_TRUE(qm::workFolder().isEmpty());
    EXPECT_EQ(qm::workFolderProblem(), problem);
    EXPECT_TRUE(QDir(open).isEmpty());
}

TEST_F(WorkFolderTest, RemovalNeverFollowsALink) {
    const QString own = folder(QStringLiteral("own"), 0700);
    const QString precious = folder(QStringLiteral("precious"), 0755);
    writeFile(precious + QStringLiteral("/keep.txt"), "mine");
    const QString work = qm::createWorkFolder({own});
    ASSERT_FALSE(work.isEmpty());
    ASSERT_TRUE(QDir(work).mkpath(QStringLiteral("ex0/deeper")));
    writeFile(work + QStringLiteral("/ex0/tmp.pdf"), "%PDF");
    ASSERT_TRUE(QFile::link(precious, work + QStringLiteral("/ex0/link")));
    ASSERT_TRUE(QFile::link(precious, work + QStringLiteral("/ex0/deeper/link")));
    ASSERT_TRUE(QFile::link(precious + QStringLiteral("/keep.txt"), work + QStringLiteral("/f")));

    qm::removeWorkFolder();
    EXPECT_FALSE(QFileInfo::exists(work));
    EXPECT_TRUE(QFileInfo::exists(precious + QStringLiteral("/keep.txt")));
}

TEST_F(WorkFolderTest, AWorkFolderSwappedForALinkLeavesTheTargetAlone) {
    const QString own = folder(QStringLiteral("own"), 0700);
    const QString precious = folder(QStringLiteral("precious"), 0755);
    writeFile(precious + QStringLiteral("/keep.txt"), "mine");
    const QString work = qm::createWorkFolder({own});
    ASSERT_TRUE(QDir(work).removeRecursively());
    ASSERT_TRUE(QFile::link(precious, work));

    qm::removeWorkFolder();
    EXPECT_TRUE(QFileInfo::exists(precious + QStringLiteral("/keep.txt")));
}

TEST_F(WorkFolderTest, LeftoversOfEndedProcessesAreRemovedOthersKept) {
    const QString own = folder(QStringLiteral("own"), 0700);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);  // a pid that no longer runs

    const auto leftover = [&](const QString& name, const QByteArray& owner) {
        const QString path = own + u'/' + name;
        EXPECT_TRUE(QDir().mkpath(path + QStringLiteral("/ex0")));
        writeFile(path + QStringLiteral("/ex0/tmp.pdf"), "%PDF");
        if (!owner.isNull()) writeFile(path + QStringLiteral("/owner"), owner);
        return path;
    };
    const QString dead =
        leftover(QStringLiteral("quillmark-dead1"), QByteArray::number(child) + '\n');
    const QString live =
        leftover(QStringLiteral("quillmark-live1"), QByteArray::number(::getppid()) + '\n');
    const QString unknown = leftover(QStringLiteral("quillmark-none1"), QByteArray());
    const QString other = leftover(QStringLiteral("other-dead1"), QByteArray::number(child));

    EXPECT_EQ(qm::removeStaleWorkFolders({own}), 1);
    EXPECT_FALSE(QFileInfo::exists(dead));
    EXPECT_TRUE(QFileInfo::exists(live + QStringLiteral("/ex0/tmp.pdf")));
    EXPECT_TRUE(QFileInfo::exists(unknown));
    EXPECT_TRUE(QFileInfo::exists(other));

    // The running program's own folder is never a leftover.
    const QString work = qm::createWorkFolder({own});
    EXPECT_EQ(qm::removeStaleWorkFolders({own}), 0);
    EXPECT_TRUE(QFileInfo::exists(work));
}

}  // namespace
