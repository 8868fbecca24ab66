// The results list's buttons: clear, save, spreadsheet, clipboard, open.
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

#include "app/errorreport.h"
#include "app/form1.h"
#include "fs/fs.h"
#include "platform/settings.h"
#include "results/exports.h"
#include "results/opening.h"
#include "results/spreadsheet.h"
#include "results/viewer.h"
#include "words/words.h"

namespace qm {

namespace {

// "Open All Files" asks before opening more files than this.
constexpr int kOpenWithoutAsking = 10;

const QString kMissingFile = QStringLiteral("Can not open this file. It does not exist.");
const QString kNoViewer = QStringLiteral(
    "A PDF viewer is not installed on this computer. You need to have one installed to open "
    "PDF files.");

// The save dialog's answer with `suffix` added when the name has none; when a
// file of that name is there, the user is asked before it is replaced. Empty
// when cancelled or not to be replaced.
QString chooseSaveTarget(Services& services, const QString& title, const QString& filter,
                         const QString& suffix = QString()) {
    QString path = services.dialogs->saveFile(title, filter);
    if (path.isEmpty()) return path;
    if (!suffix.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += u'.' + suffix;
    if (!QFileInfo::exists(path)) return path;
    const bool replace = services.boxes->question(
        QStringLiteral("\"") + QFileInfo(path).fileName() +
            QStringLiteral("\" already exists.\r\rDo you want to replace it?"),
        applicationTitle());
    return replace ? path : QString();
}

// A long export keeps the window alive: events are pumped at every step.
ExportStep pumpingStep(EventPump* pump) {
    if (!pump) return {};
    return [pump] { pump->pump(); };
}

}  // namespace

// "Clear Results".
void Form1::PushButton2_Click() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    p.step(100, [&] {
        lastSummary_.reset();
        results.clear();
    });
}

// "Open All Files": every distinct file of the list, one second apart.
void Form1::PushButton3_Click() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton3_Click"));
    bool stop = false;
    p.step(100, [&] {
        if (results.rowCount() == 0) {
            services_.boxes->message(QStringLiteral("No file selected in Results list."),
                                     applicationTitle());
            stop = true;
        }
    });
    if (stop) return;
    p.step(102, [&] { setMousePointer(MousePointer::Busy); });
    QStringList paths;
    // Each file opens at the page of its first row, finding that row's phrase.
    QHash<QString, std::pair<int, QString>> firstRow;
    p.step(104, [&] {
        paths = distinctPaths(results.rows(), pumpingStep(services_.pump));
        for (int r = 0; r < results.rowCount(); ++r) {
            const ResultRow& row = results.row(r);
            if (!firstRow.contains(row.path)) firstRow.insert(row.path, {row.page, row.phrase});
        }
    });
    // Many viewer windows at once are asked for first.
    const auto opened = std::count_if(paths.begin(), paths.end(),
                                      [](const QString& path) { return !path.isEmpty(); });
    if (opened > kOpenWithoutAsking &&
        !services_.boxes->question(QStringLiteral("Open %1 files in the PDF viewer?").arg(opened),
                                   applicationTitle())) {
        setMousePointer(MousePointer::Default);
        return;
    }
    bool noViewer = false;
    for (const QString& path : paths) {
        if (path.isEmpty()) continue;
        if (noViewer) break;  // said once
        p.step(106, [&] {
            if (fs::exists(path)) {
                const auto at = firstRow.value(path);
                if (!openAtPage(*services_.desktop, path, at.first, at.second)) {
                    services_.boxes->message(kNoViewer, applicationTitle());
                    noViewer = true;
                    return;
                }
                if (waitSeconds_)
                    waitSeconds_(1);
                else
                    waitSeconds(1, pumpingStep(services_.pump));
            } else {
                services_.boxes->message(kMissingFile, applicationTitle());
            }
        });
    }
    p.step(108, [&] { setMousePointer(MousePointer::Default); });
}

// "Save Results As Text File".
void Form1::PushButton4_Click() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton4_Click"));
    QString path;
    p.step(100, [&] {
        if (results.rowCount() == 0)
            path = services_.dialogs->saveFile(QStringLiteral("Save List"),
                                               QStringLiteral("Text Files (*.txt);;All Files (*)"));
        else
            path = chooseSaveTarget(services_, QStringLiteral("Save List"),
                                    QStringLiteral("Text Files (*.txt);;All Files (*)"));
    });
    if (path.isEmpty()) return;
    p.step(102, [&] { setMousePointer(MousePointer::Busy); });
    p.step(104, [&] {
        fs::LostAttributes lost;
        if (!writeResultsText(exportRows(), path, pumpingStep(services_.pump), &lost))
            services_.boxes->message(QString::fromLatin1(kNoResultsToSave), applicationTitle());
        else if (lost.any())
            services_.boxes->message(attributesNotKeptText(path, lost), applicationTitle());
    });
    p.step(106, [&] { setMousePointer(MousePointer::Default); });
    showResultsStatus();
}

// "Copy Results To Clipboard".
void Form1::PushButton8_Click() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton8_Click"));
    p.step(100, [&] {
        copyResultsToClipboard(exportRows(), *services_.clipboard, pumpingStep(services_.pump));
        showResultsStatus();
    });
    p.step(102, [&] {
        if (results.rowCount() == 0) {
            services_.boxes->message(QString::fromLatin1(kNoResultsToCopy), applicationTitle());
            return;
        }
        services_.boxes->message(
            QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area where "
                           "you normally type and press Ctrl+V to paste the clipboard."),
            applicationTitle());
    });
}

// "Open Selected File": the picked row's file, or the first row's.
void Form1::PushButton11_Click() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton11_Click"));
    bool stop = false;
    p.step(100, [&] {
        if (results.rowCount() == 0) {
            services_.boxes->message(QStringLiteral("No PDF selected in Results list."),
                                     applicationTitle());
            stop = true;
        }
    });
    if (stop) return;
    ResultRow row;
    p.step(102, [&] { row = results.row(results.selectedRow()); });
    p.step(104, [&] {
        if (!fs::exists(row.path))
            services_.boxes->message(kMissingFile, applicationTitle());
        else if (!openAtPage(*services_.desktop, row.path, row.page, row.phrase))
            services_.boxes->message(kNoViewer, applicationTitle());
    });
}

// A double click on a result row: that row's file at its page.
void Form1::ListView2_DblClick(int r) {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("ListView2_DblClick"));
    ResultRow row;
    bool stop = false;
    p.step(100, [&] {
        stop = r < 0 || r >= results.rowCount();
        if (!stop) row = results.row(r);
    });
    if (stop) return;
    p.step(102, [&] {
        if (!fs::exists(row.path))
            services_.boxes->message(kMissingFile, applicationTitle());
        else if (!openAtPage(*services_.desktop, row.path, row.page, row.phrase))
            services_.boxes->message(kNoViewer, applicationTitle());
    });
}

// "Save Results As Excel File": a new workbook in the user's temporary folder,
// opened with the desktop's spreadsheet program.
void Form1::PushButton13_Click() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton13_Click"));
    bool stop = false;
    bool saveInstead = false;
    p.step(100, [&] { stop = results.rowCount() == 0; });
    if (stop) return;
    // A list a worksheet cannot hold is refused before anything is asked or written.
    p.step(101, [&] {
        const int rows = results.rowCount();
        if (rows <= kMaxWorkbookRows) return;
        services_.boxes->message(QStringLiteral("The results list has ") + QString::number(rows) +
                                     QStringLiteral(" rows; a worksheet holds at most ") +
                                     QString::number(kMaxWorkbookRows) +
                                     QStringLiteral(" results. Nothing was saved."),
                                 applicationTitle());
        stop = true;
    });
    if (stop) return;
    p.step(102, [&] {
        if (!services_.desktop->hasDefaultApplication(QString::fromLatin1(kSpreadsheetMimeType))) {
            services_.boxes->message(
                QStringLiteral("A spreadsheet program is not installed on this computer. You need "
                               "to have it installed to use this software without error."),
                applicationTitle());
            services_.boxes->message(
                QStringLiteral("A spreadsheet program is not installed on this computer. You need "
                               "to have it installed to use this feature."),
                applicationTitle());
            saveInstead = true;
        }
    });
    QString path;
    if (saveInstead) {
        // Without a program to open it, the workbook can still be saved for later.
        p.step(103, [&] {
            path =
                chooseSaveTarget(services_, QStringLiteral("Save Results As Excel File"),
                                 QStringLiteral("Excel Workbook (*.xlsx)"), QStringLiteral("xlsx"));
        });
        if (path.isEmpty()) return;
    }
    p.step(104, [&] { setMousePointer(MousePointer::Busy); });
    const bool written = p.step(106, [&] {
        if (saveInstead) {
            // A failed write leaves the chosen file as it was.
            const fs::LostAttributes lost =
                writeResultsWorkbook(exportRows(), path, pumpingStep(services_.pump));
            if (lost.any())
                services_.boxes->message(attributesNotKeptText(path, lost), applicationTitle());
            return;
        }
        const QString folder =
            config_.workbookFolder.isEmpty() ? workbookFolder() : config_.workbookFolder;
        path = newWorkbookPath(folder, QDateTime::currentDateTime());
        try {
            writeResultsWorkbook(exportRows(), path, pumpingStep(services_.pump));
        } catch (...) {
            QFile::remove(path);  // the empty file just made for it
            throw;
        }
    });
    // A workbook that could not be written is not handed to the spreadsheet program.
    if (written && !saveInstead) p.step(108, [&] { services_.desktop->openDocument(path); });
    p.step(110, [&] { setMousePointer(MousePointer::Default); });
    showResultsStatus();
}

}  // namespace qm
