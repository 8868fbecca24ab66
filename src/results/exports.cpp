#include "results/exports.h"
#include "text/display.h"

#include <QSaveFile>
#include <algorithm>

#include "platform/services.h"
#include "text/error.h"

namespace qm {

namespace {

void stepOn(const ExportStep& step) {
    if (step) step();
}

const QString kTab = QStringLiteral("\t");
const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

QString resultsText(const ResultRows& list, const ExportStep& step) {
    QString text;
    const int rows = list.count();
    if (rows == 0) return text;

    for (int k = 0; k < ResultRows::kColumnCount; ++k) {
        stepOn(step);
        if (!list.row(0).text(k).isEmpty())
            text += qm::text::blankControls(ResultRows::columnTitle(k)) + kTab;
    }
    text += kCrLf;

    for (int r = 0; r < rows; ++r) {
        stepOn(step);
        for (int k = 0; k < ResultRows::kColumnCount; ++k) {
            stepOn(step);
            const QString cell = list.row(r).text(k);
            if (!cell.isEmpty()) text += qm::text::blankControls(cell) + kTab;
        }
        text += kCrLf;
    }
    return text;
}

fs::LostAttributes writeTextFile(const QString& text, const QString& path) {
    auto failure = [&](const QString& what, const QString& reason) {
        return Error(QStringLiteral("Could not ") + what + QStringLiteral(" the file \"") + path +
                     QStringLiteral("\": ") + reason);
    };
    // Unbuffered, so that a short write (a full disk, a size limit) is seen
    // here and the old file is kept rather than replaced by a cut-off one.
    const fs::FileAttributes old = fs::attributesOf(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw failure(QStringLiteral("create"), file.errorString());
    const QByteArray bytes = text.toUtf8();
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            const QString reason = n < 0 ? file.errorString() : QStringLiteral("nothing written");
            file.cancelWriting();
            throw failure(QStringLiteral("write"), reason);
        }
        done += n;
    }
    const fs::LostAttributes lost = fs::giveAttributes(file.handle(), old);
    if (!file.commit()) throw failure(QStringLiteral("write"), file.errorString());
    return lost;
}

bool writeResultsText(const ResultRows& rows, const QString& path, const ExportStep& step,
                      fs::LostAttributes* lost) {
    if (rows.empty()) return false;
    const fs::LostAttributes l = writeTextFile(resultsText(rows, step), path);
    if (lost) *lost = l;
    return true;
}

QString clipboardText(const ResultRows& list, const ExportStep& step) {
    const int rows = list.count();
    constexpr int columns = ResultRows::kColumnCount;

    // Widths over all rows, ticked or not; the header does not count.
    int width[columns] = {};
    for (int k = 0; k < columns; ++k) {
        for (int r = 0; r < rows; ++r) {
            stepOn(step);
            width[k] = std::max(width[k], int(text::characterCount(list.row(r).text(k))));
        }
    }

    // Without a ticked row, every row is copied.
    bool anyTicked = false;
    for (int r = 0; r < rows && !anyTicked; ++r) anyTicked = list.row(r).checked;

    QString text;
    for (int r = 0; r < rows; ++r) {
        stepOn(step);
        if (anyTicked && !list.row(r).checked) continue;
        QString line;
        for (int k = 0; k < columns; ++k) {
            stepOn(step);
            const QString cell = qm::text::blankControls(list.row(r).text(k));
            line += cell;
            line += QString(width[k] - int(text::characterCount(cell)), u' ');
            line += kTab;
        }
        line.chop(1);  // the TAB after the last cell
        qsizetype end = line.size();
        while (end > 0 && line.at(end - 1) == u' ') --end;
        line.truncate(end);
        text += line + kCrLf;
    }
    return text;
}

void copyResultsToClipboard(const ResultRows& rows, Clipboard& clipboard, const ExportStep& step) {
    if (rows.empty()) return;
    const QString text = clipboardText(rows, step);
    clipboard.clear();
    clipboard.setText(text);
}

}  // namespace qm
