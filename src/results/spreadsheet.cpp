#include "results/spreadsheet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "fs/fs.h"
#include "fs/keptattributes.h"
#include "results/exports.h"
#include "text/display.h"
#include "text/error.h"

namespace qm {

namespace {

void stepOn(const ExportStep& step) {
    if (step) step();
}

// Owns the workbook until it is closed (which writes the file) or dropped.
class Workbook {
  public:
    // Written to `file`; messages name `shown`, the file the user knows.
    Workbook(const QString& file, const QString& shown) : path_(file), shown_(shown) {
        const QByteArray name = fs::encodeName(file);
        book_ = workbook_new(name.constData());
        if (!book_)
            throw Error(QStringLiteral("Could not create the workbook \"") + shown_ +
                        QStringLiteral("\"."));
        sheet_ = workbook_add_worksheet(book_, nullptr);
        if (!sheet_) {
            fail();
            throw Error(QStringLiteral("Could not add a worksheet to the workbook."));
        }
    }
    ~Workbook() {
        if (book_) fail();
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // Row and column count from 1.
    void writeText(int row, int column, const QString& value) {
        const QString cell = text::leftCharacters(value, kMaxCellCharacters);
        const QByteArray utf8 = cell.toUtf8();
        const lxw_error err =
            worksheet_write_string(sheet_, static_cast<lxw_row_t>(row - 1),
                                   static_cast<lxw_col_t>(column - 1), utf8.constData(), nullptr);
        if (err != LXW_NO_ERROR)
            throw Error(QStringLiteral("Could not write cell ") + QString::number(row) + u',' +
                        QString::number(column) + QStringLiteral(" of the workbook: ") +
                        QString::fromUtf8(lxw_strerror(err)));
        int& longest = longest_[column];
        longest = std::max(longest, int(text::characterCount(cell)));
    }

    // Sizes every written column from its longest text, then writes the file.
    void close() {
        for (const auto& [column, longest] : longest_) {
            const double width = std::clamp(longest + 2.0, LXW_DEF_COL_WIDTH, 255.0);
            const auto c = static_cast<lxw_col_t>(column - 1);
            worksheet_set_column(sheet_, c, c, width, nullptr);
        }
        lxw_workbook* book = book_;
        book_ = nullptr;
        const lxw_error err = workbook_close(book);
        if (err != LXW_NO_ERROR)
            throw Error(QStringLiteral("Could not write the workbook \"") + shown_ +
                        QStringLiteral("\": ") + QString::fromUtf8(lxw_strerror(err)));
    }

  private:
    // Frees the workbook without leaving a half-written file behind.
    void fail() {
        workbook_close(book_);
        book_ = nullptr;
        QFile::remove(path_);
    }

    QString path_;
    QString shown_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    std::map<int, int> longest_;
};

void writeRows(const ResultRows& list, const QString& file, const QString& shown,
               const ExportStep& step) {
    const int rows = list.count();
    // Sheet rows and columns count from 1: the header is row 1, list row r is
    // sheet row r + 2.
    Workbook book(file, shown);
    int c = 1;
    for (int k = 0; k < ResultRows::kColumnCount; ++k) {
        stepOn(step);
        if (rows > 0 && !list.row(0).text(k).isEmpty())
            book.writeText(1, c++, qm::text::blankControls(ResultRows::columnTitle(k)));
    }
    for (int r = 0; r < rows; ++r) {
        stepOn(step);
        c = 1;
        for (int k = 0; k < ResultRows::kColumnCount; ++k) {
            stepOn(step);
            const QString cell = list.row(r).text(k);
            if (cell.isEmpty()) continue;
            book.writeText(r + 2, c++, qm::text::blankControls(cell));
        }
    }
    book.close();
}

// A new, empty, hidden file in the folder of `path`, with the permissions of
// the file at `path` when there is one (else as the user's file mask allows).
QString temporaryBeside(const QString& path) {
    const QFileInfo target(path);
    const QString stem = target.absolutePath() + QStringLiteral("/.") + target.fileName();
    // Asked by the name's bytes: Qt's own calls miss a name that is not UTF-8.
    struct stat st {};
    const bool replaces = ::stat(fs::encodeName(path).constData(), &st) == 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            stem + u'.' + QString::number(QRandomGenerator::global()->generate(), 36);
        // Made closed when it replaces a file, then given that file's permissions.
        const int fd = ::open(fs::encodeName(name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replaces ? 0600 : 0666);
        if (fd >= 0) {
            const bool kept = !replaces || ::fchmod(fd, st.st_mode & 0777) == 0;
            const int error = errno;
            ::close(fd);
            if (!kept) {
                ::unlink(fs::encodeName(name).constData());
                errno = error;
                break;
            }
            return name;
        }
        if (errno != EEXIST) break;
    }
    throw Error(QStringLiteral("Could not create the workbook \"") + path + QStringLiteral("\": ") +
                QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

const int kMaxWorkbookRows = static_cast<int>(LXW_ROW_MAX) - 1;

fs::LostAttributes writeResultsWorkbook(const ResultRows& list, const QString& path,
                                        const ExportStep& step) {
    if (list.count() > kMaxWorkbookRows)
        throw Error(QStringLiteral("Too many rows for a worksheet."));

    // The workbook is written beside the target and renamed over it when
    // whole, so a failed write leaves what was there.
    const fs::FileAttributes old = fs::attributesOf(path);
    const QString temporary = temporaryBeside(path);
    const auto failed = [&](int error) {
        return Error(QStringLiteral("Could not write the workbook \"") + path +
                     QStringLiteral("\": ") + QString::fromLocal8Bit(std::strerror(error)));
    };
    try {
        writeRows(list, temporary, path, step);
        fs::LostAttributes lost;
        if (old.exists) {
            const int fd = ::open(fs::encodeName(temporary).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) throw failed(errno);
            lost = fs::giveAttributes(fd, old);
            ::close(fd);
        }
        if (::rename(fs::encodeName(temporary).constData(), fs::encodeName(path).constData()))
            throw failed(errno);
        return lost;
    } catch (...) {
        QFile::remove(temporary);
        throw;
    }
}

QString workbookFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir().mkpath(documents)) return documents;
    return QDir::tempPath();
}

QString newWorkbookPath(const QString& folder, const QDateTime& now) {
    const QString stem = folder + QStringLiteral("/Quillmark results ") +
                         now.toString(QStringLiteral("yyyy-MM-dd HHmmss"));
    for (int n = 1; n < 1000; ++n) {
        const QString path =
            stem + (n == 1 ? QString() : QStringLiteral(" (%1)").arg(n)) + QStringLiteral(".xlsx");
        const int fd =
            ::open(fs::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            throw Error(QStringLiteral("Could not create a file in the folder \"") + folder +
                        QStringLiteral("\": ") + QString::fromLocal8Bit(std::strerror(errno)));
    }
    throw Error(QStringLiteral("Could not create a file in the folder \"") + folder +
                QStringLiteral("\": every name is taken"));
}

}  // namespace qm
