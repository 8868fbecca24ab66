// The exports of the results list: the text file's bytes, the clipboard text,
// the workbook as a real reader sees it, the distinct paths and the wait.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>

#include "fs/fs.h"
#include "results/exports.h"
#include "results/opening.h"
#include "results/resultslist.h"
#include "results/spreadsheet.h"
#include "support/scripted.h"
#include "text/error.h"

namespace qm {
namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The step of an export that pumps `pump`, as the window's does.
ExportStep stepOf(ScriptedEventPump& pump) {
    return [&pump] { pump.pump(); };
}

// Appends a row as a search does and shows it.
void addRow(ResultsList& list, const QString& path, const QString& snippet) {
    list.addRow(path, snippet);
    list.publish();
}

TEST(TextFile, BytesAreHeaderThenRowsEachEndingWithTabCrLf) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = QStringLiteral("/srv/Bücher/Straße ü.pdf");
    ResultsList list;
    addRow(list, source, QStringLiteral("line\nend\fhere\r\tx"));
    addRow(list, QStringLiteral("/b.pdf"), QStringLiteral("plain"));
    addRow(list, QStringLiteral("/c.pdf"), QString());  // no snippet: its TAB goes too

    const QString target = dir.path() + QStringLiteral("/Ergebnisse é");  // no extension added
    ScriptedEventPump pump;
    const bool written = writeResultsText(list.rows(), target, stepOf(pump));

    const QByteArray expected = QByteArray("Results (File)\t Where\t\r\n") + source.toUtf8() +
                                "\tline end here  x\t\r\n"
                                "/b.pdf\tplain\t\r\n"
                                "/c.pdf\t\r\n";
    EXPECT_EQ(readAll(target), expected);
    EXPECT_TRUE(written);
    // Once per header column, once per row and once per cell.
    EXPECT_EQ(pump.count, 2 + 3 + 3 * 2);
    // The stored rows keep their raw text.
    EXPECT_EQ(list.row(0).snippet, QStringLiteral("line\nend\fhere\r\tx"));
}

TEST(TextFile, HeaderShowsOnlyTheColumnsFilledInTheFirstRow) {
    ResultsList list;
    addRow(list, QStringLiteral("/a.pdf"), QString());
    addRow(list, QStringLiteral("/b.pdf"), QStringLiteral("s"));
    EXPECT_EQ(resultsText(list.rows()),
              QStringLiteral("Results (File)\t\r\n/a.pdf\t\r\n/b.pdf\ts\t\r\n"));
}

// The message the window then shows is checked with the window's buttons.
TEST(TextFile, EmptyListWritesNothing) {
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/old.txt");
    writeBytes(target, "old content");
    ResultsList list;
    EXPECT_FALSE(writeResultsText(list.rows(), target));
    EXPECT_EQ(readAll(target), QByteArray("old content"));
}

TEST(TextFile, SavingOverALongerFileLeavesNothingOfIt) {
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/r.txt");
    writeBytes(target, QByteArray(100000, 'x'));
    ResultsList list;
    addRow(list, QStringLiteral("/a.pdf"), QStringLiteral("hit"));
    writeTextFile(resultsText(list.rows()), target);
    EXPECT_EQ(readAll(target), QByteArray("Results (File)\t Where\t\r\n/a.pdf\thit\t\r\n"));
}

// Catches a save over a file (the text file, --tsv, the workbook) that gives
// the new file the saver's group, the default mode or no access list.
TEST(TextFile, ASaveOverAFileKeepsItsGroupModeAndAccessList) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file any group";
    QTemporaryDir dir;
    ResultsList list;
    addRow(list, QStringLiteral("/a.pdf"), QStringLiteral("hit"));
    // user::rw- user:1234:r-- group::r-- mask::r-- other::---, as the kernel stores it.
    QByteArray acl;
    const auto entry = [&acl](quint16 tag, quint16 perm, quint32 id) {
        acl.append(reinterpret_cast<const char*>(&tag), 2);
        acl.append(reinterpret_cast<const char*>(&perm), 2);
        acl.append(reinterpret_cast<const char*>(&id), 4);
    };
    const quint32 version = 2;
    acl.append(reinterpret_cast<const char*>(&version), 4);
    entry(0x01, 6, 0xFFFFFFFF);
    entry(0x02, 4, 1234);
    entry(0x04, 4, 0xFFFFFFFF);
    entry(0x10, 4, 0xFFFFFFFF);
    entry(0x20, 0, 0xFFFFFFFF);
    const std::function<fs::LostAttributes(const QString&)> saves[] = {
        [&](const QString& path) {
            fs::LostAttributes lost;
            EXPECT_TRUE(writeResultsText(list.rows(), path, {}, &lost));
            return lost;
        },
        [&](const QString& path) { return writeResultsWorkbook(list.rows(), path); },
    };
    for (const auto& save : saves) {
        const QString path = dir.path() + QStringLiteral("/saved");
        writeBytes(path, "old");
        const QByteArray native = QFile::encodeName(path);
        ASSERT_EQ(::chown(native.constData(), 0, 4321), 0);
        ASSERT_EQ(::chmod(native.constData(), 0640), 0);
        const bool withAcl = ::setxattr(native.constData(), "system.posix_acl_access",
                                        acl.constData(), acl.size(), 0) == 0;
        EXPECT_FALSE(save(path).any());
        EXPECT_NE(readAll(path), QByteArray("old"));
        struct stat st {};
        ASSERT_EQ(::stat(native.constData(), &st), 0);
        EXPECT_EQ(st.st_gid, 4321u);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        if (withAcl) {
            EXPECT_EQ(fs::attributesOf(path).acl, acl);
        }
        QFile::remove(path);
    }
}

TEST(TextFile, FailedWritesThrowAndLeaveWhatWasThere) {
    QTemporaryDir dir;
    // A target whose parent is a regular file.
    const QString plain = dir.path() + QStringLiteral("/plain");
    writeBytes(plain, "keep");
    try {
        writeTextFile(QStringLiteral("text"), plain + QStringLiteral("/out.txt"));
        ADD_FAILURE() << "no error for a path below a regular file";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(plain + QStringLiteral("/out.txt"))) << e.what();
    }
    EXPECT_EQ(readAll(plain), QByteArray("keep"));

    // A target that is an existing, non-empty folder.
    const QString folder = dir.path() + QStringLiteral("/folder.txt");
    ASSERT_TRUE(QDir().mkpath(folder));
    writeBytes(folder + QStringLiteral("/inner"), "inner");
    EXPECT_THROW(writeTextFile(QStringLiteral("text"), folder), Error);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(readAll(folder + QStringLiteral("/inner")), QByteArray("inner"));
    // No temporary files are left beside the targets.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{QStringLiteral("folder.txt"), QStringLiteral("plain")}));
}

TEST(TextFile, ClearingTheListWhileWritingFailsWithoutWritingAFile) {
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/r.txt");
    ResultsList list;
    addRow(list, QStringLiteral("/a.pdf"), QStringLiteral("hit"));
    addRow(list, QStringLiteral("/b.pdf"), QStringLiteral("hit"));
    ScriptedEventPump pump;
    pump.onPump = [&] {
        if (pump.count == 4) list.clear();  // "Clear Results" clicked during the first row
    };
    EXPECT_THROW(writeResultsText(list.rows(), target, stepOf(pump)), Error);
    EXPECT_FALSE(QFile::exists(target));
}

// Two ticked rows with paths of 10 and 14 characters, an unticked one of 20.
void fillClipboardList(ResultsList& list) {
    addRow(list, QStringLiteral("/d/ten.pdf"), QStringLiteral("first  hit   "));
    addRow(list, QStringLiteral("/unticked/long.pdf"), QStringLiteral("not copied"));
    addRow(list, QStringLiteral("/d/fourteen.pdf"), QStringLiteral("a\nb\f"));
    list.setChecked(0, true);
    list.setChecked(2, true);
}

TEST(Clipboard, TickedRowsArePaddedToTheLongestPathOfAllRows) {
    ResultsList list;
    fillClipboardList(list);
    EXPECT_EQ(list.row(1).path.size(), 18);
    const QString expected =
        QStringLiteral("/d/ten.pdf") + QString(8, u' ') + QStringLiteral("\tfirst  hit\r\n") +
        QStringLiteral("/d/fourteen.pdf") + QString(3, u' ') + QStringLiteral("\ta b\r\n");
    ScriptedClipboard clipboard;
    clipboard.value = QStringLiteral("before");
    ScriptedEventPump pump;
    copyResultsToClipboard(list.rows(), clipboard, stepOf(pump));
    EXPECT_EQ(clipboard.value, expected);
    EXPECT_EQ(clipboard.clears, 1);
    EXPECT_EQ(clipboard.sets, 1);
    // Widths: one per cell; lines: one per row and one per cell of a ticked row.
    EXPECT_EQ(pump.count, 6 + 3 + 4);
}

TEST(Clipboard, WidthsCountCharactersNotUtf16Units) {
    ResultsList list;
    addRow(list, QStringLiteral("/\U0001D11E.pdf"), QStringLiteral("x"));  // 6 characters
    addRow(list, QStringLiteral("/abcd.pdf"), QStringLiteral("y"));        // 9 characters
    list.setChecked(0, true);
    EXPECT_EQ(clipboardText(list.rows()),
              QStringLiteral("/\U0001D11E.pdf") + QString(3, u' ') + QStringLiteral("\tx\r\n"));
}

TEST(Clipboard, NothingTickedCopiesEveryRowAndEmptyListLeavesTheClipboard) {
    ScriptedClipboard clipboard;
    clipboard.value = QStringLiteral("before");

    ResultsList empty;
    copyResultsToClipboard(empty.rows(), clipboard);
    EXPECT_EQ(clipboard.value, QStringLiteral("before"));
    EXPECT_EQ(clipboard.clears + clipboard.sets, 0);

    ResultsList list;
    addRow(list, QStringLiteral("/a.pdf"), QStringLiteral("hit"));
    addRow(list, QStringLiteral("/bc.pdf"), QStringLiteral("two"));
    copyResultsToClipboard(list.rows(), clipboard);
    EXPECT_EQ(clipboard.value, QStringLiteral("/a.pdf \thit\r\n/bc.pdf\ttwo\r\n"));
    EXPECT_EQ(clipboard.clears, 1);
    EXPECT_EQ(clipboard.sets, 1);
}

TEST(Opening, DistinctPathsKeepFirstSeenOrderAndLetterCase) {
    ResultsList list;
    for (const char* p : {"/d/a.pdf", "/d/A.pdf", "/d/b.pdf", "/d/a.pdf", "", "/d/b.pdf"})
        addRow(list, QString::fromUtf8(p), QStringLiteral("s"));
    ScriptedEventPump pump;
    EXPECT_EQ(distinctPaths(list.rows(), stepOf(pump)),
              (QStringList{QString(), QStringLiteral("/d/a.pdf"), QStringLiteral("/d/A.pdf"),
                           QStringLiteral("/d/b.pdf")}));
    EXPECT_EQ(pump.count, 6);
}

TEST(Opening, WaitSecondsWaitsOnTheClockPumpingEvents) {
    ScriptedEventPump pump;
    QElapsedTimer timer;
    timer.start();
    waitSeconds(1, stepOf(pump));
    EXPECT_GE(timer.elapsed(), 1000);
    EXPECT_GT(pump.count, 1);
}

// Reads a workbook back with openpyxl; the cells with their types, the column
// widths and the number of rows, as JSON.
QJsonObject readWorkbook(const QString& path) {
    const QString script = QStringLiteral(R"(
import json, sys
try:
    import openpyxl
except ImportError:
    sys.exit(3)
ws = openpyxl.load_workbook(sys.argv[1]).active
cells = {c.coordinate: [c.value, c.data_type]
         for row in ws.iter_rows() for c in row if c.value is not None}
widths = {k: d.width for k, d in ws.column_dimensions.items() if d.customWidth}
print(json.dumps({"cells": cells, "widths": widths, "rows": ws.max_row}))
)");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    if (!python.waitForFinished(60000)) return {{QStringLiteral("error"), QStringLiteral("hang")}};
    if (python.exitCode() == 3) return {{QStringLiteral("skip"), true}};
    const QByteArray out = python.readAllStandardOutput();
    if (python.exitCode() != 0)
        return {{QStringLiteral("error"), QString::fromUtf8(python.readAllStandardError())}};
    return QJsonDocument::fromJson(out).object();
}

TEST(Workbook, ReadBackCellsTextTypesEqualsSignsAndWidths) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/r.xlsx");
    ResultsList list;
    addRow(list, QStringLiteral("/d/a=b.pdf"), QStringLiteral("x = y == z"));
    addRow(list, QStringLiteral("=SUM(1,2)"), QStringLiteral("line\nnext\fpage"));
    addRow(list, QStringLiteral("/d/only path.pdf"), QString());
    addRow(list, QStringLiteral("/") + QString(40000, u'q'), QStringLiteral("=1+1"));
    ScriptedEventPump pump;
    writeResultsWorkbook(list.rows(), path, stepOf(pump));
    EXPECT_EQ(pump.count, 2 + 4 + 4 * 2);

    const QJsonObject book = readWorkbook(path);
    if (book.contains(QStringLiteral("skip"))) GTEST_SKIP() << "openpyxl is not installed";
    ASSERT_FALSE(book.contains(QStringLiteral("error")))
        << book.value(QStringLiteral("error")).toString().toStdString();
    const QJsonObject cells = book.value(QStringLiteral("cells")).toObject();
    auto text = [&](const char* ref) {
        const QJsonArray cell = cells.value(QString::fromLatin1(ref)).toArray();
        EXPECT_EQ(cell.at(1).toString(), QStringLiteral("s")) << ref << " is not a text cell";
        return cell.at(0).toString();
    };
    EXPECT_EQ(text("A1"), QStringLiteral("Results (File)"));
    EXPECT_EQ(text("B1"), QStringLiteral(" Where"));
    EXPECT_EQ(text("A2"), QStringLiteral("/d/a=b.pdf"));
    EXPECT_EQ(text("B2"), QStringLiteral("x = y == z"));
    EXPECT_EQ(text("A3"), QStringLiteral("=SUM(1,2)"));
    EXPECT_EQ(text("B3"), QStringLiteral("line next page"));
    EXPECT_EQ(text("A4"), QStringLiteral("/d/only path.pdf"));
    EXPECT_FALSE(cells.contains(QStringLiteral("B4")));
    EXPECT_EQ(text("A5"), QStringLiteral("/") + QString(kMaxCellCharacters - 1, u'q'));
    EXPECT_EQ(text("B5"), QStringLiteral("=1+1"));
    EXPECT_EQ(cells.size(), 9);
    EXPECT_EQ(book.value(QStringLiteral("rows")).toInt(), 5);

    const QJsonObject widths = book.value(QStringLiteral("widths")).toObject();
    const double a = widths.value(QStringLiteral("A")).toDouble();
    const double b = widths.value(QStringLiteral("B")).toDouble();
    EXPECT_GE(a, 255.0);  // the longest path is wider than a column can be
    EXPECT_GE(b, 14.0);   // "line next page"
    EXPECT_LT(b, 30.0);
}

// One member of a zip archive, as `unzip -p` gives it; empty when it cannot.
QByteArray unzipped(const QString& archive, const QString& member) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, member});
    if (!unzip.waitForFinished(60000) || unzip.exitCode() != 0) return {};
    return unzip.readAllStandardOutput();
}

// What a spreadsheet program would take for a formula stays text, every
// character kept: the sheet's XML has string cells and no formula element.
TEST(Workbook, CellsThatLookLikeFormulasStayTextWithEveryCharacter) {
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        GTEST_SKIP() << "unzip is not installed";
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/r.xlsx");
    const QStringList snippets{QStringLiteral("=SUM(A1:A2)"), QStringLiteral("+49 30 1234"),
                               QStringLiteral("-1"), QStringLiteral("@cell"),
                               QStringLiteral("LANG=en_US.UTF-8")};
    ResultsList list;
    for (const QString& snippet : snippets) addRow(list, QStringLiteral("=x.pdf"), snippet);
    writeResultsWorkbook(list.rows(), path);

    const QByteArray sheet = unzipped(path, QStringLiteral("xl/worksheets/sheet1.xml"));
    const QByteArray strings = unzipped(path, QStringLiteral("xl/sharedStrings.xml"));
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_FALSE(sheet.contains("<f>") || sheet.contains("<f ")) << sheet.constData();
    // 2 header cells and 2 per row, every one a shared string.
    EXPECT_EQ(sheet.count("<c "), 2 + 2 * snippets.size());
    EXPECT_EQ(sheet.count("<c "), sheet.count(" t=\"s\""));
    for (const QString& snippet : snippets)
        EXPECT_TRUE(strings.contains("<t>" + snippet.toUtf8() + "</t>")) << snippet.toStdString();
    EXPECT_TRUE(strings.contains("<t>=x.pdf</t>"));
}

// Catches a workbook saved over a private file (0600) that others may then
// read, its name UTF-8 or not.
TEST(Workbook, SavedOverAFileKeepsItsPermissions) {
    QTemporaryDir dir;
    ResultsList list;
    addRow(list, QStringLiteral("a.pdf"), QStringLiteral("salad"));
    for (const QByteArray& name : {QByteArray("/r.xlsx"), QByteArray("/r\xe9.xlsx")}) {
        const QByteArray native = QFile::encodeName(dir.path()) + name;
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_TRUE(fd >= 0 && ::fchmod(fd, 0600) == 0 && ::close(fd) == 0);
        writeResultsWorkbook(list.rows(), fs::decodeName(native));
        struct stat st {};
        ASSERT_EQ(::stat(native.constData(), &st), 0);
        EXPECT_GT(st.st_size, 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << name.constData();
        ::unlink(native.constData());
    }
}

TEST(Workbook, NewPathsSayWhatTheyAreAndNeverReplaceAFile) {
    // A second export in the same second must not overwrite the first one.
    QTemporaryDir dir;
    const QDateTime at(QDate(2026, 12, 7), QTime(9, 5, 3));
    const QString first = newWorkbookPath(dir.path(), at);
    const QString second = newWorkbookPath(dir.path(), at);
    EXPECT_EQ(first, dir.path() + QStringLiteral("/Quillmark results 2026-12-07 090503.xlsx"));
    EXPECT_EQ(second, dir.path() + QStringLiteral("/Quillmark results 2026-12-07 090503 (2).xlsx"));
    for (const QString& p : {first, second}) {
        EXPECT_TRUE(QFile::exists(p));
        EXPECT_EQ(QFile::permissions(p) & (QFile::ReadGroup | QFile::ReadOther), 0);
    }
    EXPECT_THROW(newWorkbookPath(dir.path() + QStringLiteral("/missing"), at), Error);
}

}  // namespace
}  // namespace qm
