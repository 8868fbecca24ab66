#include "results/spreadsheet.h"

#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

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
    explicit Workbook(const QString& path) : path_(path) {
        const QByteArray name = QFile::encodeName(path);
        book_ = workbook_new(name.constData());
        if (!book_)
            throw Error(QStringLiteral("Could not create the workbook \"") + path +
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
        longest = std::max(longest, characterCount(cell));
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
            throw Error(QStringLiteral("Could not write the workbook \"") + path_ +
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
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    std::map<int, int> longest_;
};

}  // namespace

const int kMaxWorkbookRows = static_cast<int>(LXW_ROW_MAX) - 1;

void writeResultsWorkbook(const ResultRows& list, const QString& path, const ExportStep& step) {
    const int rows = list.count();
    if (rows > kMaxWorkbookRows) throw Error(QStringLiteral("Too many rows for a worksheet."));

    // Sheet rows and columns count from 1: the header is row 1, list row r is
    // sheet row r + 2.
    Workbook book(path);
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
            QString value = qm::text::blankControls(cell);
            if (k > 0) value.remove(u'=');
            book.writeText(r + 2, c++, value);
        }
    }
    book.close();
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
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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
