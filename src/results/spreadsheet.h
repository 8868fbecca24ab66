#pragma once
// The results list as a new spreadsheet workbook (.xlsx, written with
// libxlsxwriter) that the desktop's spreadsheet program then opens.

#include <QDateTime>
#include <QString>

#include "results/exports.h"
#include "results/resultrows.h"

namespace qm {

inline constexpr const char* kSpreadsheetMimeType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// The longest text a worksheet cell holds, in characters; longer cells are cut.
inline constexpr int kMaxCellCharacters = 32767;

// The most rows a workbook holds below its header line.
extern const int kMaxWorkbookRows;

// Writes the rows as a workbook at `path`: the
// first sheet row holds the titles of the columns filled in the first row,
// then each row follows in the next sheet row, empty cells skipped so later
// cells move left, every value a text cell kept as it is (one beginning with
// "=", "+", "-" or "@" is still text, never a formula), every column as wide
// as its longest text. Takes `step` once per header column, per row and per
// cell (exports.h). The workbook is written to a temporary file beside `path`
// that replaces any file there only once it is whole. Throws qm::Error when
// the workbook cannot be written, leaving `path` as it was, or when there are
// more than kMaxWorkbookRows rows (the caller says so first). The workbook
// keeps the replaced file's owner, group, mode and access list where it may;
// what it could not keep is returned.
fs::LostAttributes writeResultsWorkbook(const ResultRows& rows, const QString& path,
                                        const ExportStep& step = {});

// The folder a workbook for the spreadsheet program goes to: the user's
// documents folder when it exists or can be made, else the temporary folder.
QString workbookFolder();
// A new, empty file "Quillmark results YYYY-MM-DD HHMMSS.xlsx" in `folder` (" (2)",
// " (3)", ... before ".xlsx" when that name is taken), made owner-only, so the
// name says what the workbook is and a save in the spreadsheet program keeps
// it with the user's files. Throws qm::Error when none can be made.
QString newWorkbookPath(const QString& folder, const QDateTime& now);

}  // namespace qm
