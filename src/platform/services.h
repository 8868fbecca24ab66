#pragma once
// The platform services the program's logic talks to. The program uses the Qt
// implementations of platform/gui; tests use the scripted ones of tests/support/scripted.h,
// which record every request and answer from a script.

#include <QString>
#include <QStringList>

namespace qm {

// Modal message boxes and input boxes.
class MessageBoxes {
  public:
    enum class Icon { None, Information, Warning };
    virtual ~MessageBoxes() = default;
    // A box with an OK button only.
    virtual void message(const QString& text, const QString& title, Icon icon = Icon::None) = 0;
    // A Yes/No question without icon; true for Yes.
    virtual bool question(const QString& text, const QString& title) = 0;
    // A text prompt with OK and Cancel; Cancel gives the empty text.
    virtual QString input(const QString& prompt, const QString& title,
                          const QString& defaultText) = 0;
    // A text prompt for a password: what is typed is not shown. Cancel gives
    // the empty text. By default the plain prompt.
    virtual QString password(const QString& prompt, const QString& title) {
        return input(prompt, title, QString());
    }
};

// "Pump pending window events".
class EventPump {
  public:
    virtual ~EventPump() = default;
    virtual void pump() = 0;
};

// Open, save and folder dialogs.
class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // Multi-select open dialog; the chosen paths in the dialog's order, empty when cancelled.
    // The filter uses Qt's form, e.g. "PDF Files (*.pdf)".
    virtual QStringList openFiles(const QString& title, const QString& filter) = 0;
    // Save dialog; the name exactly as typed (no extension added), empty when cancelled.
    virtual QString saveFile(const QString& title, const QString& filter) = 0;
    // Folder dialog opening at `initialFolder`; empty when cancelled.
    virtual QString chooseFolder(const QString& title, const QString& initialFolder) = 0;
};

// The desktop's default applications.
class Desktop {
  public:
    virtual ~Desktop() = default;
    // Opens a document or folder with its default application; the outcome is not examined.
    virtual void openDocument(const QString& path) = 0;
    virtual void openUrl(const QString& url) = 0;
    // True when the desktop has a default application for the MIME type.
    virtual bool hasDefaultApplication(const QString& mimeType) = 0;
    // The desktop entry of the default application for the MIME type (for
    // example "org.gnome.Evince.desktop"); empty when there is none or it cannot be asked.
    virtual QString defaultApplication(const QString& mimeType) = 0;
    // Starts a program with an argument list, detached (its outcome is not
    // followed); false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // The desktop entries of the installed applications registered for the
    // MIME type, the most preferred first.
    virtual QStringList applicationsFor(const QString& mimeType) = 0;
    // Starts the application of a desktop entry on a file, detached; false
    // when it could not be started.
    virtual bool openWith(const QString& desktopEntry, const QString& path) = 0;
};

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    virtual void clear() = 0;
    virtual void setText(const QString& text) = 0;
    virtual QString text() const = 0;
};

// The window's progress bar: a value 0..100 and a shown text.
class ProgressBar {
  public:
    virtual ~ProgressBar() = default;
    virtual int value() const = 0;
    virtual void setValue(int v) = 0;
    virtual QString text() const = 0;
    virtual void setText(const QString& t) = 0;
};

// The main window's mouse pointer: 0 arrow, 11 busy, 99 hover hand.
class MousePointer {
  public:
    enum : int { Default = 0, Busy = 11, Hover = 99 };
    virtual ~MousePointer() = default;
    virtual int mousePointer() const = 0;
    virtual void setMousePointer(int value) = 0;
    bool isBusy() const { return mousePointer() == Busy; }
};

// Per-user key/value store: application "Veltrane", group "Quillmark".
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // The stored text, or `defaultValue` when the key is missing. Never creates the key.
    virtual QString getSetting(const QString& key, const QString& defaultValue) const = 0;
    // Writes and syncs at once. Throws qm::Error when the store cannot be written,
    // the first time in a session only (later failed writes are silent).
    virtual void saveSetting(const QString& key, const QString& value) = 0;
};

// Everything a command of the window needs from the platform, in one place.
struct Services {
    MessageBoxes* boxes = nullptr;
    EventPump* pump = nullptr;
    FileDialogs* dialogs = nullptr;
    Desktop* desktop = nullptr;
    Clipboard* clipboard = nullptr;
    SettingsStore* settings = nullptr;
};

}  // namespace qm
