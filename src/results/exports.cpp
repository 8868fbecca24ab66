#include "results/exports.h"
#include "text/display.h"

#include <QSaveFile>
#include <algorithm>
#include <vector>

#include "platform/error.h"
#include "platform/settings.h"

namespace qm {

namespace {

void pumpEvents(EventPump* pump) {
    if (pump) pump->pump();
}

const QString kTab = QStringLiteral("\t");
const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

int characterCount(const QString& text) {
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++n;
    }
    return n;
}

QString ResultsText(const ResultsList& list, EventPump* pump) {
    QString text;
    const int rows = list.RowCount();
    const int columns = list.ColumnCount();
    if (rows == 0) return text;

    for (int k = 1; k <= columns; ++k) {
        pumpEvents(pump);
        if (!list.Cell(1, k).isEmpty())
            text += qm::text::blankControls(list.ColumnHeader(k)) + kTab;
    }
    text += kCrLf;

    for (int r = 1; r <= rows; ++r) {
        pumpEvents(pump);
        for (int k = 1; k <= columns; ++k) {
            pumpEvents(pump);
            const QString cell = list.Cell(r, k);
            if (!cell.isEmpty()) text += qm::text::blankControls(cell) + kTab;
        }
        text += kCrLf;
    }
    return text;
}

void WriteTextFile(const QString& text, const QString& path) {
    auto failure = [&](const QString& what, const QString& reason) {
        return Error(QStringLiteral("Could not ") + what + QStringLiteral(" the file \"") + path +
                     QStringLiteral("\": ") + reason);
    };
    // Unbuffered, so that a short write (a full disk, a size limit) is seen
    // here and the old file is kept rather than replaced by a cut-off one.
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
    if (!file.commit()) throw failure(QStringLiteral("write"), file.errorString());
}

void SaveListViewToTextFile(const ResultsList& list, const QString& path, Services& services) {
    if (list.RowCount() == 0) {
        services.boxes->message(QStringLiteral("There are no results to save."),
                                applicationTitle());
        return;
    }
    const QString text = ResultsText(list, services.pump);
    WriteTextFile(text, path);
}

QString ClipboardText(const ResultsList& list, EventPump* pump) {
    const int rows = list.RowCount();
    const int columns = list.ColumnCount();

    // Widths over all rows, ticked or not; the header does not count.
    std::vector<int> width(static_cast<size_t>(columns) + 1, 0);
    for (int k = 1; k <= columns; ++k) {
        for (int r = 1; r <= rows; ++r) {
            pumpEvents(pump);
            width[static_cast<size_t>(k)] =
                std::max(width[static_cast<size_t>(k)], characterCount(list.Cell(r, k)));
        }
    }

    QString text;
    for (int r = 1; r <= rows; ++r) {
        pumpEvents(pump);
        if (!list.IsChecked(r)) continue;
        QString line;
        for (int k = 1; k <= columns; ++k) {
            pumpEvents(pump);
            const QString cell = qm::text::blankControls(list.Cell(r, k));
            line += cell;
            line += QString(width[static_cast<size_t>(k)] - characterCount(cell), u' ');
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

void ClearClipboard(Clipboard& clipboard) {
    clipboard.clear();
}

bool SetClipboardText(Clipboard& clipboard, const QString& text, int format) {
    if (format != 0) return false;
    clipboard.setText(text);
    return true;
}

void CopyListViewToClipboard(const ResultsList& list, Services& services) {
    if (list.RowCount() == 0) return;
    const QString text = ClipboardText(list, services.pump);
    ClearClipboard(*services.clipboard);
    SetClipboardText(*services.clipboard, text, 0);
}

}  // namespace qm
