#include "platform/gui/qt_services.h"
#include "platform/desktopentries.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <future>
#include <optional>

namespace qm {

QString displayTextForBox(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(u'\r', u'\n');
    return t;
}

bool isLongMessage(const QString& text) {
    return displayTextForBox(text).count(u'\n') + 1 > kLongMessageLines;
}

namespace {

QMessageBox::Icon boxIcon(MessageBoxes::Icon icon) {
    return icon == MessageBoxes::Icon::Warning       ? QMessageBox::Warning
           : icon == MessageBoxes::Icon::Information ? QMessageBox::Information
                                                     : QMessageBox::NoIcon;
}

// Room kept for the window manager's title bar and frame, which the box's own
// height does not include.
constexpr int kWindowFrameAllowance = 48;

// A long message: the icon, the text in a read-only text area that scrolls and
// can be selected and copied, and OK below it.
std::unique_ptr<QDialog> makeLongMessageBox(const QString& shown, const QString& title,
                                            MessageBoxes::Icon icon, QWidget* parent,
                                            const QRect& available) {
    auto box = std::make_unique<QDialog>(parent);
    box->setWindowTitle(title);
    box->setModal(true);
    auto* layout = new QVBoxLayout(box.get());
    auto* row = new QHBoxLayout;
    if (icon != MessageBoxes::Icon::None) {
        auto* picture = new QLabel(box.get());
        const QStyle::StandardPixmap which = icon == MessageBoxes::Icon::Warning
                                                 ? QStyle::SP_MessageBoxWarning
                                                 : QStyle::SP_MessageBoxInformation;
        const int side = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
        picture->setPixmap(box->style()->standardIcon(which).pixmap(side, side));
        picture->setAlignment(Qt::AlignTop);
        row->addWidget(picture, 0, Qt::AlignTop);
    }
    auto* area = new QPlainTextEdit(box.get());
    area->setObjectName(QStringLiteral("messageText"));
    area->setReadOnly(true);
    area->setLineWrapMode(QPlainTextEdit::NoWrap);
    area->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    area->setPlainText(shown);
    row->addWidget(area, 1);
    layout->addLayout(row, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, box.get());
    QObject::connect(buttons, &QDialogButtonBox::accepted, box.get(), &QDialog::accept);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    layout->addWidget(buttons);

    // As large as the text wants, within the available area.
    const QFontMetrics metrics(area->font());
    const QStringList lines = shown.split(u'\n');
    int widest = 0;
    for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
    const int textFrame =
        2 * area->frameWidth() + 16 + area->verticalScrollBar()->sizeHint().width();
    const int maxWidth = std::max(320, available.width() * 4 / 5);
    const int maxHeight = std::max(160, available.height() - kWindowFrameAllowance);
    const int width = std::clamp(widest + textFrame + 80, 420, maxWidth);
    layout->activate();
    const int chrome = box->sizeHint().height() - area->sizeHint().height();
    const int wanted = metrics.lineSpacing() * (static_cast<int>(lines.size()) + 1) + textFrame +
                       std::max(0, chrome);
    box->setMaximumHeight(maxHeight);
    box->resize(width, std::min(wanted, maxHeight));
    box->move(available.center() - box->rect().center());
    return box;
}

}  // namespace

std::unique_ptr<QDialog> makeMessageBox(const QString& text, const QString& title,
                                        MessageBoxes::Icon icon, QWidget* parent,
                                        const QRect& available) {
    const QString shown = displayTextForBox(text);
    if (isLongMessage(text)) return makeLongMessageBox(shown, title, icon, parent, available);
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(title);
    box->setText(shown);
    box->setIcon(boxIcon(icon));
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

void QtMessageBoxes::message(const QString& text, const QString& title, Icon icon) {
    const QScreen* screen = parent_ ? parent_->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const std::unique_ptr<QDialog> box = makeMessageBox(text, title, icon, parent_, available);
    box->exec();
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

QString QtMessageBoxes::password(const QString& prompt, const QString& title) {
    bool ok = false;
    QString answer = QInputDialog::getText(parent_, title, displayTextForBox(prompt),
                                           QLineEdit::Password, QString(), &ok);
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

namespace {

// The desktop entry `xdg-mime` names for a MIME type; empty when there is none,
// it fails, or it takes longer than 5 s. Runs outside the window's thread;
// gives up early once `closing` is set.
QString askXdgMime(const QString& mimeType, const std::shared_ptr<std::atomic<bool>>& closing) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return QString();
    QProcess p;
    p.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    bool finished = false;
    for (int waited = 0; !finished && waited < 5000 && !*closing; waited += 100)
        finished = p.waitForFinished(100) || p.state() == QProcess::NotRunning;
    if (!finished) {
        p.kill();
        p.waitForFinished();
        return QString();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return QString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

}  // namespace

struct QtDesktop::LookUp {
    std::future<QString> pending;  // the look-up under way
    std::optional<QString> known;  // the last answer that came
};

QtDesktop::QtDesktop(const QStringList& askAhead)
    : closing_(std::make_shared<std::atomic<bool>>(false)) {
    for (const QString& mimeType : askAhead) answer(mimeType, false);
}

QtDesktop::~QtDesktop() {
    *closing_ = true;  // the look-ups under way end within 0.1 s
}

QString QtDesktop::answer(const QString& mimeType, bool wait) {
    std::unique_ptr<LookUp>& slot = lookUps_[mimeType];
    if (!slot) slot = std::make_unique<LookUp>();
    LookUp& l = *slot;
    const auto ask = [&] {
        l.pending = std::async(std::launch::async, askXdgMime, mimeType, closing_);
    };
    if (!l.pending.valid()) ask();
    const bool ready = l.pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    if (ready || (wait && !l.known)) {
        l.known = l.pending.get();
        ask();
    }
    return l.known.value_or(QString());
}

bool QtDesktop::hasDefaultApplication(const QString& mimeType) {
    return !answer(mimeType, true).isEmpty();
}

QString QtDesktop::defaultApplication(const QString& mimeType) {
    // The default at this moment: an answer looked up ahead may name a
    // viewer the user has changed since.
    return askXdgMime(mimeType, closing_);
}

bool QtDesktop::startDetached(const QString& program, const QStringList& arguments) {
    const QString found = QStandardPaths::findExecutable(program);
    return !found.isEmpty() && QProcess::startDetached(found, arguments);
}

QStringList QtDesktop::applicationsFor(const QString& mimeType) {
    return registeredApplications(mimeType);
}

bool QtDesktop::openWith(const QString& desktopEntry, const QString& path) {
    const QStringList command = openCommand(desktopEntry, path);
    return !command.isEmpty() && startDetached(command.first(), command.mid(1));
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
