// The folder walk, the file listing and their filters, on trees made here.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <functional>

#include "app/folderwalkreport.h"
#include "filelist/filelist.h"
#include "filelist/folderscan.h"
#include "fs/fs.h"
#include "support/scripted.h"
#include "text/error.h"

namespace qm {
namespace {

class FolderScan : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path() + u'/';
    }

    void mkdir(const QString& rel) { ASSERT_TRUE(QDir().mkpath(root + rel)); }
    void touch(const QString& rel) {
        QFile f(root + rel);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    // Makes a file or folder with a raw byte name, bypassing any text conversion.
    void rawFile(const QByteArray& relBytes) {
        const QByteArray p = QFile::encodeName(root) + relBytes;
        const int fd = ::open(p.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    void rawDir(const QByteArray& relBytes) {
        const QByteArray p = QFile::encodeName(root) + relBytes;
        ASSERT_EQ(::mkdir(p.constData(), 0755), 0);
    }

    QStringList walk(const QString& seed, bool recurse = true) {
        QStringList folders{seed};
        walkFolders(folders, recurse, folderWalkReport(boxes), nullptr, [this] { pump.pump(); });
        return folders;
    }
    QStringList relative(const QStringList& paths) {
        QStringList out;
        for (const QString& p : paths) out << (p.startsWith(root) ? p.mid(root.size()) : p);
        return out;
    }

    QTemporaryDir tmp;
    QString root;
    ScriptedMessageBoxes boxes;
    ScriptedEventPump pump;
};

// What `body` gives when run as an ordinary user: as is, or as root in a
// child process that has become "nobody" (65534), its answer sent back
// through a pipe.
QByteArray asOrdinaryUser(const std::function<QByteArray()>& body) {
    if (::geteuid() != 0) return body();
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(1);
        const QByteArray out = body();
        for (qsizetype done = 0; done < out.size();) {
            const ssize_t w = ::write(fds[1], out.constData() + done, size_t(out.size() - done));
            if (w <= 0) ::_exit(1);
            done += w;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : QByteArray("child failed");
}

int depth(const QString& rel) {
    return static_cast<int>(rel.count(u'/'));
}
QString parentOf(const QString& rel) {
    const QString noSlash = rel.chopped(1);
    const qsizetype at = noSlash.lastIndexOf(u'/');
    return at < 0 ? QString() : noSlash.left(at + 1);
}

TEST_F(FolderScan, WalkIsLevelOrderGroupedByParent) {
    for (const char* d : {"a/a1/a1x", "a/a2", "b/b1/b1x/deep", "c", "b/b2"})
        mkdir(QString::fromLatin1(d));
    const QStringList got = walk(root);

    ASSERT_FALSE(got.isEmpty());
    EXPECT_EQ(got.front(), root);
    QStringList rel = relative(got.mid(1));
    QStringList sorted = rel;
    sorted.sort();
    EXPECT_EQ(sorted, (QStringList{"a/", "a/a1/", "a/a1/a1x/", "a/a2/", "b/", "b/b1/", "b/b1/b1x/",
                                   "b/b1/b1x/deep/", "b/b2/", "c/"}));
    // Depth never falls; within a depth, parents come in the order of the level above.
    for (qsizetype i = 1; i < rel.size(); ++i) {
        ASSERT_LE(depth(rel[i - 1]), depth(rel[i])) << qPrintable(rel.join(u' '));
        if (depth(rel[i - 1]) == depth(rel[i]) && depth(rel[i]) > 1) {
            EXPECT_LE(rel.indexOf(parentOf(rel[i - 1])), rel.indexOf(parentOf(rel[i])))
                << qPrintable(rel.join(u' '));
        }
    }
    // One visit at least per walked folder.
    EXPECT_GE(pump.count, 11);
    EXPECT_TRUE(boxes.shown.empty());

    // Without recursion only the first level is added.
    QStringList oneLevel = relative(walk(root, false).mid(1));
    oneLevel.sort();
    EXPECT_EQ(oneLevel, (QStringList{"a/", "b/", "c/"}));
}

// The directory's own order is hash order on most file systems; the walk and the
// listing give names in the order a file manager shows them.
TEST_F(FolderScan, FoldersAndFilesComeByNameLetterCaseIgnoredFirst) {
    for (const char* d :
         {"zeta", "Beta", "alpha", "beta", "Gamma/y", "Gamma/X", "alpha/b", "alpha/A"})
        mkdir(QString::fromLatin1(d));
    for (const char* f : {"m.pdf", "B.pdf", "a b.pdf", "a.pdf", "b.pdf", "A.pdf", "c.PDF"})
        touch(QString::fromLatin1(f));
    EXPECT_EQ(relative(walk(root).mid(1)),
              (QStringList{"alpha/", "Beta/", "beta/", "Gamma/", "zeta/", "alpha/A/", "alpha/b/",
                           "Gamma/X/", "Gamma/y/"}));
    EXPECT_EQ(listMatchingFiles(root, QStringLiteral("*.pdf")),
              (QStringList{"a b.pdf", "A.pdf", "a.pdf", "B.pdf", "b.pdf", "c.PDF", "m.pdf"}));
}

TEST_F(FolderScan, DotFoldersAndTheirTreesAreSkippedButAChosenOneIsWalked) {
    mkdir(QStringLiteral(".hidden/inner"));
    mkdir(QStringLiteral("visible/.git/objects"));
    touch(QStringLiteral(".hidden/a.pdf"));
    touch(QStringLiteral(".hidden/inner/b.pdf"));
    touch(QStringLiteral("visible/.git/objects/c.pdf"));
    touch(QStringLiteral("visible/d.pdf"));

    EXPECT_EQ(relative(walk(root)), (QStringList{"", "visible/"}));

    const QStringList chosen = relative(walk(root + QStringLiteral(".hidden/")));
    EXPECT_EQ(chosen, (QStringList{".hidden/", ".hidden/inner/"}));
    QStringList files;
    for (const QString& f : walk(root + QStringLiteral(".hidden/")))
        files += filesToAddFromFolder(f, QStringLiteral("*.pdf"));
    EXPECT_EQ(relative(files), (QStringList{".hidden/a.pdf", ".hidden/inner/b.pdf"}));
}

// Catches a linked folder skipped without a word, a folder walked twice
// through two links, and a walk that never ends or loops unsaid: each real
// folder is walked once, a loop is named in the walk's report.
TEST_F(FolderScan, LinkedFoldersAreWalkedOnceAndALoopIsNamed) {
    mkdir(QStringLiteral("archive2023/inner"));
    mkdir(QStringLiteral("docs"));
    mkdir(QStringLiteral("a/b"));
    touch(QStringLiteral("archive2023/x.pdf"));
    touch(QStringLiteral("real.pdf"));
    const auto link = [&](const char* target, const char* rel) {
        ASSERT_EQ(::symlink(target, (QFile::encodeName(root) + rel).constData()), 0);
    };
    link("../archive2023", "docs/2023");
    link("../archive2023", "docs/again");    // the same folder once more
    link("../archive2023", "docs/.hidden");  // a hidden name stays skipped
    link("/nowhere", "docs/dangling");
    link("..", "a/b/up");  // loops back to a folder above
    link(".", "a/self");
    link("../real.pdf", "a/link.pdf");
    link("missing.pdf", "a/dangling.pdf");
    struct Case {
        QString seed;
        QStringList folders, files, problems;
    };
    const Case cases[] = {
        {QStringLiteral("docs/"),
         {"docs/", "docs/2023/", "docs/2023/inner/"},
         {"docs/2023/x.pdf"},
         {}},
        {QStringLiteral("a/"), {"a/", "a/b/"}, {"a/link.pdf"}, {"a/self/", "a/b/up/"}},
    };
    for (const Case& c : cases) {
        WalkProblems problems;
        QStringList folders{root + c.seed};
        walkFolders(folders, true, folderWalkReport(boxes), &problems, [&] { pump.pump(); });
        EXPECT_EQ(relative(folders), c.folders) << c.seed.toStdString();
        QStringList files;
        for (const QString& f : folders) files += filesToAddFromFolder(f, QStringLiteral("*"));
        EXPECT_EQ(relative(files), c.files) << c.seed.toStdString();
        QStringList named;
        for (const WalkProblem& p : problems) {
            EXPECT_EQ(p.error, ELOOP);
            named << p.path;
        }
        EXPECT_EQ(relative(named), c.problems);
        // The window's report names each loop with its reason.
        boxes.shown.clear();
        showUnreadable(boxes, problems, QStringLiteral("Add"));
        for (const QString& p : named)
            EXPECT_TRUE(boxes.messageTexts().value(0).contains(
                p + QStringLiteral("  - a link back to a folder that holds it (a loop)")));
    }
}

// A link in a folder that can be listed but not searched (no x) cannot be
// looked at: it is named with its reason. Fault: such a link passed over
// without a word.
TEST_F(FolderScan, ALinkInAFolderThatCannotBeSearchedIsNamed) {
    if (::geteuid() == 0) GTEST_SKIP() << "root searches every folder";
    mkdir(QStringLiteral("target"));
    mkdir(QStringLiteral("shut"));
    const QByteArray shut = QFile::encodeName(root + QStringLiteral("shut"));
    ASSERT_EQ(::symlink("../target", (shut + "/link").constData()), 0);
    ASSERT_EQ(::chmod(shut.constData(), 0444), 0);
    WalkProblems problems;
    QStringList folders{root + QStringLiteral("shut/")};
    walkFolders(folders, true, folderWalkReport(boxes), &problems);
    ::chmod(shut.constData(), 0755);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(relative({problems[0].path}), QStringList{"shut/link/"});
    EXPECT_EQ(problems[0].error, EACCES);
}

TEST_F(FolderScan, ListingFiltersByPatternInAnyCaseAndSkipsTildeAndDotFiles) {
    for (const char* f : {"a.pdf", "B.PDF", "c.Pdf", "d.txt", "e.pdfx", "pdf", "~lock.pdf",
                          ".secret.pdf", "f.tar.pdf"})
        touch(QString::fromLatin1(f));
    mkdir(QStringLiteral("folder.pdf"));

    QStringList raw = listMatchingFiles(tmp.path(), QStringLiteral("*.pdf"));
    raw.sort();
    EXPECT_EQ(raw,
              (QStringList{".secret.pdf", "B.PDF", "a.pdf", "c.Pdf", "f.tar.pdf", "~lock.pdf"}));

    QStringList added = relative(filesToAddFromFolder(root, QStringLiteral("*.PDF")));
    added.sort();
    EXPECT_EQ(added, (QStringList{"B.PDF", "a.pdf", "c.Pdf", "f.tar.pdf"}));

    QStringList all = relative(filesToAddFromFolder(root, QStringLiteral("*.*")));
    all.sort();
    EXPECT_EQ(all, (QStringList{"B.PDF", "a.pdf", "c.Pdf", "d.txt", "e.pdfx", "f.tar.pdf", "pdf"}));

    QStringList txt = relative(filesToAddFromFolder(root, QStringLiteral("*.TxT")));
    EXPECT_EQ(txt, QStringList{"d.txt"});
}

TEST(FilePatternTest, WildcardsAndCaseOfEveryCodePoint) {
    EXPECT_TRUE(FilePattern(QStringLiteral("*.p?f")).matches(QStringLiteral("x.PDF")));
    EXPECT_FALSE(FilePattern(QStringLiteral("*.p?f")).matches(QStringLiteral("x.pf")));
    EXPECT_TRUE(FilePattern(QStringLiteral("*.ÉXT")).matches(QStringLiteral("résumé.éxt")));
    EXPECT_TRUE(FilePattern(QStringLiteral("*.*")).matches(QStringLiteral("no extension")));
    EXPECT_TRUE(FilePattern(QStringLiteral("*")).matches(QStringLiteral("")));
    EXPECT_TRUE(FilePattern(QStringLiteral("*a*b")).matches(QStringLiteral("xxaxxbxxb")));
    EXPECT_FALSE(FilePattern(QStringLiteral("*a*b")).matches(QStringLiteral("xxaxxbxxc")));
    EXPECT_FALSE(FilePattern(QStringLiteral("*.pdf")).matches(QStringLiteral("pdf")));
}

TEST_F(FolderScan, FolderThatVanishesDuringTheWalkIsDroppedSilently) {
    mkdir(QStringLiteral("a/a1"));
    mkdir(QStringLiteral("b/b1"));
    mkdir(QStringLiteral("c"));
    touch(QStringLiteral("top.pdf"));
    touch(QStringLiteral("c/in-c.pdf"));
    // Pump 1 comes before the chosen folder is listed, pump 2 before the first
    // of its subfolders: that one is being listed when it goes, the other is
    // already gone when its turn comes.
    pump.onPump = [&] {
        if (pump.count == 2) {
            QDir(root + QStringLiteral("a")).removeRecursively();
            QDir(root + QStringLiteral("b")).removeRecursively();
        }
    };
    const QStringList folders = walk(root);
    EXPECT_EQ(relative(folders), (QStringList{"", "c/"}));
    EXPECT_TRUE(boxes.shown.empty());
    QStringList files;
    for (const QString& f : folders) files += filesToAddFromFolder(f, QStringLiteral("*.pdf"));
    EXPECT_EQ(relative(files), (QStringList{"top.pdf", "c/in-c.pdf"}));
}

TEST_F(FolderScan, UnreadableFolderIsDroppedAndTheWalkGoesOn) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder; covered by the vanishing case";
    mkdir(QStringLiteral("locked/inner"));
    mkdir(QStringLiteral("open"));
    ASSERT_EQ(::chmod(QFile::encodeName(root + QStringLiteral("locked")).constData(), 0), 0);
    const QStringList folders = walk(root);
    ::chmod(QFile::encodeName(root + QStringLiteral("locked")).constData(), 0755);
    EXPECT_EQ(relative(folders), (QStringList{"", "open/"}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FolderScan, OtherListingFailuresAreReportedAndTheWalkGoesOn) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtime needs file descriptors of its own to check memory";
#endif
    mkdir(QStringLiteral("a/a1"));
    mkdir(QStringLiteral("b"));
    // With no descriptor left, the folders still test as folders but cannot be opened.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    pump.onPump = [&] {
        if (pump.count == 2) {
            rlimit tight = saved;
            tight.rlim_cur = static_cast<rlim_t>(lowestFree);
            ::setrlimit(RLIMIT_NOFILE, &tight);
        }
    };
    const QStringList folders = walk(root);
    ::setrlimit(RLIMIT_NOFILE, &saved);

    // The two subfolders failed, were reported, and stay in the result unwalked.
    QStringList rel = relative(folders);
    rel.sort();
    EXPECT_EQ(rel, (QStringList{"", "a/", "b/"}));
    ASSERT_EQ(boxes.shown.size(), 2u);
    for (const auto& box : boxes.shown) {
        EXPECT_EQ(box.title, QStringLiteral("Application Error"));
        EXPECT_EQ(box.icon, MessageBoxes::Icon::Warning);
        EXPECT_TRUE(box.text.contains(QStringLiteral(
            "\r\nin OrvenTitle2021/08/31.AddFolder.GetSubDirectories2016 at line 100\r\r")))
            << qPrintable(box.text);
    }
}

// A failure while the found folders are collected has a step of its own in the
// window's report; the folder it happened at is left out and the rest come.
TEST_F(FolderScan, CollectingFailuresAreReportedAtTheirOwnStep) {
    mkdir(QStringLiteral("a"));
    mkdir(QStringLiteral("b"));
    // Pumps 1 to 3 list the root, "a" and "b"; pump 4 collects "a".
    pump.onPump = [&] {
        if (pump.count == 4) throw Error(QStringLiteral("Out of memory"));
    };
    EXPECT_EQ(relative(walk(root)), (QStringList{"", "b/"}));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Application Error"));
    EXPECT_TRUE(boxes.shown[0].text.startsWith(
        QStringLiteral("Out of memory\r\nin OrvenTitle2021/08/31.AddFolder.GetSubDirectories2016 "
                       "at line 102\r\r")))
        << qPrintable(boxes.shown[0].text);
}

TEST_F(FolderScan, WalkStopsAtTheLongestPathTheSystemTakes) {
    // 25 nested folders of 200-character names, made level by level relative
    // to the one above, reach far past the 4,096-byte path limit.
    const QByteArray name(200, 'd');
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 0; level < 25; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.constData(), 0755), 0);
        const int inner = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(inner, 0);
        fd = inner;
    }
    ::close(fd);

    const QStringList folders = walk(root);
    EXPECT_TRUE(boxes.shown.empty());
    // Every level the system can still name is in the result; nothing longer.
    const int rootBytes = static_cast<int>(QFile::encodeName(root).size());
    int nameable = 0;
    while (rootBytes + (nameable + 1) * (name.size() + 1) < kFolderPathLimit) ++nameable;
    EXPECT_EQ(folders.size(), nameable + 1);
    for (const QString& f : folders) EXPECT_LT(QFile::encodeName(f).size(), kFolderPathLimit);
    // QTemporaryDir cannot remove paths this long; take the tree down from the top.
    std::function<void(int)> removeAt = [&](int dirFd) {
        const int inner = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY);
        if (inner >= 0) {
            removeAt(inner);
            ::close(inner);
            ::unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
        }
    };
    const int top = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    removeAt(top);
    ::close(top);
}

// Catches names read as patterns or dropped for their characters: every
// folder is walked and every file listed, under a text that names its very
// bytes, also when they are not UTF-8.
TEST_F(FolderScan, FoldersAndFilesWithOddNamesAreWalkedAndListedByTheirBytes) {
    const QList<QByteArray> odd{"new\nline", "bad\xff\xfe", "what?",      "star*",
                                "br[ack",    "del\x7f",     "c1\xc2\x85", "caf\xc3\xa9"};
    QList<QByteArray> expected{"raw\xff.pdf", "ok?.pdf", "[a].pdf"};
    for (const QByteArray& d : odd) {
        rawDir(d);
        rawFile(d + "/inside.pdf");
        expected << d + "/inside.pdf";
    }
    for (const QByteArray& f : {QByteArray("raw\xff.pdf"), QByteArray("ok?.pdf"),
                                QByteArray("[a].pdf"), QByteArray("a.pdf")})
        rawFile(f);
    expected << "a.pdf";

    WalkProblems problems;
    QStringList folders{root};
    walkFolders(folders, true, folderWalkReport(boxes), &problems, [&] { pump.pump(); });
    EXPECT_EQ(folders.size(), odd.size() + 1);
    QStringList files;
    for (const QString& f : folders)
        files += filesToAddFromFolder(f, QStringLiteral("*.pdf"), &problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(boxes.shown.empty());

    QList<QByteArray> got;
    for (const QString& f : files) {
        got << fs::encodeName(f).mid(fs::encodeName(root).size());
        // The text opens the file it came from.
        const int fd = ::open(fs::encodeName(f).constData(), O_RDONLY);
        EXPECT_GE(fd, 0) << fs::encodeName(f).toHex().constData();
        if (fd >= 0) ::close(fd);
    }
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);

    // The list shows a byte that is not UTF-8 as such, and a line break as a blank.
    FileList list;
    list.add(QStringList{root + fs::decodeName("raw\xff.pdf"),
                         root + fs::decodeName("new\nline/inside.pdf")});
    EXPECT_EQ(list.data(list.index(0, 0), Qt::DisplayRole).toString(),
              root + QStringLiteral("raw\\xFF.pdf"));
    EXPECT_EQ(list.data(list.index(1, 0), Qt::DisplayRole).toString(),
              root + QStringLiteral("new line/inside.pdf"));

    // Names that are not UTF-8 are beyond QDir; take them away by their bytes.
    ::unlink((QFile::encodeName(root) + "bad\xff\xfe/inside.pdf").constData());
    ::rmdir((QFile::encodeName(root) + "bad\xff\xfe").constData());
    ::unlink((QFile::encodeName(root) + "raw\xff.pdf").constData());
}

// Catches folders and files skipped without a word when the user may not
// read them. Root reads everything, so as root the walk runs in a child
// process that has become "nobody".
TEST_F(FolderScan, WhatCannotBeReadIsNamedWithItsReason) {
    mkdir(QStringLiteral("locked/inner"));
    mkdir(QStringLiteral("noread"));
    mkdir(QStringLiteral("nosearch/sub"));
    touch(QStringLiteral("nosearch/inner.pdf"));
    touch(QStringLiteral("secret.pdf"));
    touch(QStringLiteral("ok.pdf"));
    touch(QStringLiteral(".hidden-secret.pdf"));
    const auto mode = [&](const char* rel, mode_t m) {
        ASSERT_EQ(::chmod((QFile::encodeName(root) + rel).constData(), m), 0);
    };
    mode("", 0755);
    mode("locked", 0);
    mode("noread", 0311);
    mode("nosearch", 0644);
    mode("secret.pdf", 0);
    mode(".hidden-secret.pdf", 0);

    const QByteArray seen = asOrdinaryUser([&] {
        WalkProblems problems;
        QStringList folders{root};
        walkFolders(folders, true, {}, &problems);
        QStringList lines;
        for (const QString& f : folders)
            for (const QString& file : filesToAddFromFolder(f, QStringLiteral("*.pdf"), &problems))
                lines << QStringLiteral("listed ") + file.mid(root.size());
        for (const WalkProblem& p : problems)
            lines << p.path.mid(root.size()) + QStringLiteral(": ") +
                         QString::fromLocal8Bit(std::strerror(p.error));
        lines.sort();
        return lines.join(u'\n').toUtf8();
    });
    for (const char* rel : {"locked", "noread", "nosearch"}) mode(rel, 0755);
    EXPECT_EQ(seen.toStdString(),
              "listed ok.pdf\n"
              "locked/: Permission denied\n"
              "noread/: Permission denied\n"
              "nosearch/inner.pdf: Permission denied\n"
              "nosearch/sub/: Permission denied\n"
              "secret.pdf: Permission denied");
}

TEST(OddCharacters, BytesAndText) {
    EXPECT_FALSE(hasOddCharacters(QByteArray()));
    EXPECT_FALSE(hasOddCharacters(QByteArray("plain name ~!")));
    EXPECT_FALSE(hasOddCharacters(QByteArray("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80")));
    EXPECT_TRUE(hasOddCharacters(QByteArray("tab\there")));
    EXPECT_TRUE(hasOddCharacters(QByteArray("q?")));
    EXPECT_TRUE(hasOddCharacters(QByteArray("del\x7f")));
    EXPECT_TRUE(hasOddCharacters(QByteArray("c1\xc2\x9f")));
    EXPECT_FALSE(hasOddCharacters(QByteArray("nbsp\xc2\xa0")));
    EXPECT_TRUE(hasOddCharacters(QByteArray("latin1 \xe9")));
    EXPECT_TRUE(hasOddCharacters(QByteArray("overlong \xc0\xaf")));
    EXPECT_TRUE(hasOddCharacters(QByteArray("surrogate \xed\xa0\x80")));
    EXPECT_TRUE(hasOddCharacters(QByteArray("cut \xe2\x82")));

    EXPECT_FALSE(hasOddCharacters(QStringLiteral("café 😀")));
    EXPECT_TRUE(hasOddCharacters(QStringLiteral("new\nline")));
    EXPECT_TRUE(hasOddCharacters(QString(QChar(0x85))));
    EXPECT_TRUE(hasOddCharacters(QStringLiteral("?")));
    EXPECT_TRUE(hasOddCharacters(QString(QChar(0xD800))));
}

TEST_F(FolderScan, RootFolderGivesPathsWithOneLeadingSeparator) {
    // The chosen root "/" is seeded as "//"; its subfolders carry the doubled separator...
    QStringList top{QStringLiteral("//")};
    walkFolders(top, false, folderWalkReport(boxes), nullptr, [&] { pump.pump(); });
    ASSERT_GE(top.size(), 2);
    for (qsizetype i = 1; i < top.size(); ++i) EXPECT_TRUE(top[i].startsWith(QStringLiteral("//")));
    for (const QString& f : filesToAddFromFolder(top.front(), QStringLiteral("*")))
        EXPECT_FALSE(f.startsWith(QStringLiteral("//"))) << qPrintable(f);
    // ...which is collapsed when a file of such a folder is added.
    touch(QStringLiteral("x.pdf"));
    const QStringList files = filesToAddFromFolder(u'/' + root, QStringLiteral("*.pdf"));
    EXPECT_EQ(files, QStringList{root + QStringLiteral("x.pdf")});
}

TEST_F(FolderScan, NonFoldersAndMissingFoldersListNothing) {
    touch(QStringLiteral("file.pdf"));
    EXPECT_TRUE(listMatchingFiles(root + QStringLiteral("missing"), QStringLiteral("*")).isEmpty());
    EXPECT_TRUE(
        listMatchingFiles(root + QStringLiteral("file.pdf"), QStringLiteral("*")).isEmpty());
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + QStringLiteral("pipe.pdf")).constData(), 0644), 0);
    EXPECT_EQ(listMatchingFiles(root, QStringLiteral("*.pdf")), QStringList{"file.pdf"});
    // A missing chosen folder stays in the collection but yields no folders.
    EXPECT_EQ(walk(root + QStringLiteral("missing/")),
              QStringList{root + QStringLiteral("missing/")});
}

TEST(FileListContains, WholeTextsCompareByCharacterCode) {
    FileList list;
    list.add(QStringList{"/p/A.pdf", "/p/b.pdf", "/p/b.pdf"});
    EXPECT_TRUE(list.contains("/p/A.pdf"));
    EXPECT_TRUE(list.contains("/p/b.pdf"));
    EXPECT_FALSE(list.contains("/p/a.pdf"));
    EXPECT_FALSE(list.contains("/p/b.pdf "));
    EXPECT_FALSE(list.contains("/p//b.pdf"));
    EXPECT_FALSE(FileList().contains(QString()));
}

}  // namespace
}  // namespace qm
