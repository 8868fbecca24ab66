// The safety checks of --tsv: links in shared folders, and descriptors that
// cannot be written.
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <poll.h>

#include <cerrno>
#include <cstring>

#include "cli/tsvtarget.h"

namespace qm::cli {
namespace {

// The kernel's rule: in a sticky folder writable by all, a link is followed
// by its owner, or when the folder's owner owns it; anywhere else, always.
TEST(TsvTarget, LinksInSharedFolders) {
    constexpr mode_t kShared = S_IFDIR | S_ISVTX | 0777;
    constexpr uid_t kMe = 1000, kOther = 1001, kRoot = 0;
    struct Case {
        uid_t linkOwner, folderOwner;
        mode_t folderMode;
        bool isProtected;
    };
    const Case cases[] = {
        {kOther, kRoot, kShared, true},                    // planted by another user in /tmp
        {kMe, kRoot, kShared, false},                      // one's own link
        {kRoot, kRoot, kShared, false},                    // the folder's owner's link
        {kOther, kOther, kShared, false},                  // the folder's owner's link
        {kOther, kRoot, S_IFDIR | 0777, false},            // not sticky
        {kOther, kRoot, S_IFDIR | S_ISVTX | 0775, false},  // not writable by all
    };
    for (const Case& c : cases)
        EXPECT_EQ(isProtectedLink(c.linkOwner, c.folderOwner, c.folderMode, kMe), c.isProtected)
            << "link of " << c.linkOwner << " in a folder of " << c.folderOwner << " mode "
            << std::oct << c.folderMode;
}

// A descriptor is written in place when it was opened for writing, and
// refused at once when it was opened for reading only.
TEST(TsvTarget, DescriptorsOpenedForWritingOnly) {
    struct Case {
        int flags;
        bool usable;
    };
    for (const Case& c : {Case{O_RDONLY, false}, Case{O_WRONLY, true}, Case{O_RDWR, true}}) {
        const int fd = ::open("/dev/null", c.flags | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        for (const QString& prefix :
             {QStringLiteral("/dev/fd/"), QStringLiteral("/proc/self/fd/")}) {
            TsvTarget target;
            const QString path = prefix + QString::number(fd);
            const QString problem = prepareTsvTarget(path, target);
            EXPECT_EQ(problem.isEmpty(), c.usable) << path.toStdString() << " " << c.flags;
            if (c.usable) {
                EXPECT_EQ(target.kind, TsvTarget::Kind::Descriptor);
                EXPECT_EQ(target.descriptor, fd);
            } else {
                EXPECT_TRUE(problem.contains(QString::fromLocal8Bit(std::strerror(EBADF))))
                    << problem.toStdString();
            }
        }
        ::close(fd);
    }
}

// Catches a raw U+202E written by --tsv - to a terminal (reordering what
// follows it there), and a file's bytes changed by the display rule.
TEST(TsvTarget, BidirectionalControlsShownOnATerminalOnly) {
    ResultRows rows;
    rows.append(QStringLiteral("a\u202Eb.pdf"), QStringLiteral("x\u2066y"));
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    struct Case {
        int write, read;
        bool shown;
    };
    for (const Case& c : {Case{slave, master, true}, Case{pipeEnds[1], pipeEnds[0], false}}) {
        writeTsv({TsvTarget::Kind::Descriptor, QStringLiteral("-"), c.write}, rows);
        // A terminal may hand the lines over one read at a time.
        QByteArray bytes;
        pollfd ready{c.read, POLLIN, 0};
        while (::poll(&ready, 1, 200) > 0) {
            char buffer[512];
            const ssize_t n = ::read(c.read, buffer, sizeof buffer);
            if (n <= 0) break;
            bytes.append(buffer, n);
        }
        ASSERT_FALSE(bytes.isEmpty());
        const QString got = QString::fromUtf8(bytes);
        EXPECT_EQ(got.contains(QStringLiteral("a<U+202E>b.pdf")), c.shown) << got.toStdString();
        EXPECT_EQ(got.contains(QStringLiteral("x<U+2066>y")), c.shown) << got.toStdString();
        EXPECT_EQ(got.contains(QChar(0x202E)), !c.shown) << got.toStdString();
    }
    for (const int fd : {master, slave, pipeEnds[0], pipeEnds[1]}) ::close(fd);
}

}  // namespace
}  // namespace qm::cli
