#pragma once
// The Qt Widgets implementations of the platform services, used by the program.

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <atomic>
#include <map>
#include <memory>

#include "platform/services.h"

class QDialog;

namespace qm {

// Shows CR LF and a lone CR as line breaks; the text passed in is not changed.
QString displayTextForBox(const QString& text);

// A message of more lines than this (a report of many files) shows its text in
// a scrollable, selectable text area instead of a plain label.
inline constexpr int kLongMessageLines = 20;
bool isLongMessage(const QString& text);

// The box `QtMessageBoxes::message` shows, made but not shown, for a screen
// whose available area is `available`. A long message gets the text area with
// the OK button below it, and the box is never taller than the available area
// (title bar included), so OK can always be reached. The text shown is always
// `displayTextForBox(text)`, whole.
std::unique_ptr<QDialog> makeMessageBox(const QString& text, const QString& title,
                                        MessageBoxes::Icon icon, QWidget* parent,
                                        const QRect& available);

class QtMessageBoxes : public MessageBoxes {
  public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void message(const QString& text, const QString& title, Icon icon) override;
    bool question(const QString& text, const QString& title) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString password(const QString& prompt, const QString& title) override;

  private:
    QPointer<QWidget> parent_;
};

class QtFileDialogs : public FileDialogs {
  public:
    explicit QtFileDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    QStringList openFiles(const QString& title, const QString& filter) override;
    QString saveFile(const QString& title, const QString& filter) override;
    QString chooseFolder(const QString& title, const QString& initialFolder) override;

  private:
    QPointer<QWidget> parent_;
};

// The desktop's default applications are asked of `xdg-mime` in a thread of
// its own, never on the window's thread: the look-up of a MIME type starts when
// the desktop is made (for the types given) or at its first use, and every use
// of hasDefaultApplication hands out the answer known and asks again for the
// next use, so a changed default is seen. A look-up that takes more than 5 s is given up (no
// answer).
class QtDesktop : public Desktop {
  public:
    explicit QtDesktop(const QStringList& askAhead = {});
    ~QtDesktop() override;
    void openDocument(const QString& path) override;
    // Asked now, and waited for (at most 5 s): the viewer that opens a file
    // is the default at that moment.
    QString defaultApplication(const QString& mimeType) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    void openUrl(const QString& url) override;
    // Waits for the first answer when none has come yet (asked ahead, it has).
    bool hasDefaultApplication(const QString& mimeType) override;
    // From the desktop entries (platform/desktopentries.h).
    QStringList applicationsFor(const QString& mimeType) override;
    bool openWith(const QString& desktopEntry, const QString& path) override;

  private:
    struct LookUp;
    QString answer(const QString& mimeType, bool wait);
    std::map<QString, std::unique_ptr<LookUp>> lookUps_;
    std::shared_ptr<std::atomic<bool>> closing_;
};

class QtClipboard : public Clipboard {
  public:
    void clear() override;
    void setText(const QString& text) override;
    QString text() const override;
};

}  // namespace qm
