#include "platform/gui/qt_services.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace qm {

QString displayTextForBox(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(u'\r', u'\n');
    return t;
}

void QtMessageBoxes::message(const QString& text, const QString& title, Icon icon) {
    QMessageBox box(parent_);
    box.setWindowTitle(title);
    box.setText(displayTextForBox(text));
    box.setIcon(icon == Icon::Warning       ? QMessageBox::Warning
                : icon == Icon::Information ? QMessageBox::Information
                                            : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

bool QtMessageBoxes::question(const QString& text, const QString& title) {
    QMessageBox box(parent_);
    box.setWindowTitle(title);
    box.setText(displayTextForBox(text));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString QtMessageBoxes::input(const QString& prompt, const QString& title,
                              const QString& defaultText) {
    bool ok = false;
    QString answer = QInputDialog::getText(parent_, title, displayTextForBox(prompt),
                                           QLineEdit::Normal, defaultText, &ok);
    return ok ? answer : QString();
}

QStringList QtFileDialogs::openFiles(const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileNames(parent_, title, QString(), filter);
}

QString QtFileDialogs::saveFile(const QString& title, const QString& filter) {
    QFileDialog dialog(parent_, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(QString());
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

QString QtFileDialogs::chooseFolder(const QString& title, const QString& initialFolder) {
    return QFileDialog::getExistingDirectory(parent_, title, initialFolder,
                                             QFileDialog::ShowDirsOnly);
}

void QtDesktop::openDocument(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtDesktop::openUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

bool QtDesktop::hasDefaultApplication(const QString& mimeType) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return false;
    QProcess p;
    p.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    return p.exitCode() == 0 && !p.readAllStandardOutput().trimmed().isEmpty();
}

QString QtDesktop::defaultApplication(const QString& mimeType) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return QString();
    QProcess p;
    p.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished();
        return QString();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return QString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

bool QtDesktop::startDetached(const QString& program, const QStringList& arguments) {
    const QString found = QStandardPaths::findExecutable(program);
    return !found.isEmpty() && QProcess::startDetached(found, arguments);
}

void QtClipboard::clear() {
    QApplication::clipboard()->clear();
}
void QtClipboard::setText(const QString& text) {
    QApplication::clipboard()->setText(text);
}
QString QtClipboard::text() const {
    return QApplication::clipboard()->text();
}

}  // namespace qm
