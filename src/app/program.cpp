#include "app/program.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/form1.h"
#include "app/windowplacement.h"
#include "fs/fs.h"
#include "platform/gui/qt_services.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "results/spreadsheet.h"

namespace qm {

namespace {
constexpr std::chrono::seconds kForcedExitAfter{5};

// SIGTERM, SIGHUP and SIGINT end the program as closing the window does: the
// handler only writes the signal's number into a pipe, and the event loop
// reads it and shuts down in order (extractions ended, work folder removed).
int signalPipe[2] = {-1, -1};

extern "C" void onShutdownSignal(int signo) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &b, 1);
    errno = saved;
}

class ShutdownSignals {
  public:
    ShutdownSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            unsigned char b = 0;
            while (::read(signalPipe[0], &b, 1) == 1) {
                if (received_ == 0) {
                    received_ = b;
                    onSignal_(b);
                }
            }
        });
        struct sigaction sa {};
        sa.sa_handler = onShutdownSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (const int signo : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signo, &sa, nullptr);
    }
    ~ShutdownSignals() {
        struct sigaction sa {};
        sa.sa_handler = SIG_DFL;
        sigemptyset(&sa.sa_mask);
        for (const int signo : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signo, &sa, nullptr);
        notifier_.reset();
        for (int& fd : signalPipe) {
            if (fd >= 0) ::close(fd);
            fd = -1;
        }
    }
    // The signal that ended the program, 0 when none did.
    int received() const { return received_; }

  private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int received_ = 0;
};

}  // namespace

int runProgram(QApplication& app, const ProgramStart& start) {
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    // Work folders that ended runs left behind go first.
    removeStaleWorkFolders();
    createWorkFolder();
    QtMessageBoxes boxes;
    QtEventPump pump;
    QtFileDialogs dialogs;
    // The viewer and the spreadsheet program are looked up while the window opens.
    QtDesktop desktop(
        {QStringLiteral("application/pdf"), QString::fromLatin1(kSpreadsheetMimeType)});
    QtClipboard clipboard;
    IniSettingsStore settings;
    Services services{&boxes, &pump, &dialogs, &desktop, &clipboard, &settings};

    Form1::Config config;
    config.applicationFolder = start.applicationFolder.isEmpty()
                                   ? QCoreApplication::applicationDirPath()
                                   : start.applicationFolder;
    // Closing the window ends the event loop (and every loop inside it), so
    // the program ends normally: the window and the application object are
    // destroyed, which hands the clipboard over to the desktop. Should that not
    // finish within a few seconds, the process ends anyway.
    config.endProgram = [] {
        std::thread([] {
            std::this_thread::sleep_for(kForcedExitAfter);
            std::fflush(nullptr);
            ::_exit(0);
        }).detach();
        QCoreApplication::exit(0);
    };
#ifdef QM_INSTALL_SAMPLES_DIR
    config.installedSamplesFolder =
        QDir::cleanPath(config.applicationFolder + u'/' + QStringLiteral(QM_INSTALL_SAMPLES_DIR));
#endif
#ifdef QM_INSTALL_DRAG_POINTER
    config.installedDragPointer =
        QDir::cleanPath(config.applicationFolder + u'/' + QStringLiteral(QM_INSTALL_DRAG_POINTER));
#endif
    Form1 window(services, config);
    ShutdownSignals shutdownSignals([&window](int) { window.Form_Unload(); });
    boxes.setParent(&window);
    dialogs.setParent(&window);
    placeWindow(window);
    window.show();
    if (start.shown) start.shown(window);
    if (!start.paths.isEmpty()) {
        // Once the loop runs, so the window is drawn while the check works.
        const QStringList paths = start.paths;
        QMetaObject::invokeMethod(
            &window,
            [&window, paths] {
                QStringList missing;
                openPaths(window, paths, QString(), &missing);
                // The window has said it; a terminal user reads it here too.
                for (const QString& path : missing)
                    std::fprintf(stderr, "quillmark: no such file or folder: %s\n",
                                 fs::encodeName(path).constData());
            },
            Qt::QueuedConnection);
    }
    const int rc = app.exec();
    removeWorkFolder();
    // Ended by a signal: the status a shell expects of it.
    return shutdownSignals.received() ? 128 + shutdownSignals.received() : rc;
}

ProgramArguments parseProgramArguments(const QStringList& arguments) {
    ProgramArguments r;
    bool optionsEnded = false;
    for (const QString& arg : arguments) {
        if (optionsEnded || arg == u"-" || !arg.startsWith(u'-')) {
            r.paths << arg;
        } else if (arg == u"--") {
            optionsEnded = true;
        } else if (arg == u"--help" || arg == u"-h") {
            r.help = true;
        } else if (arg == u"--version") {
            r.version = true;
        } else if (r.error.isEmpty()) {
            r.error = QStringLiteral("unknown option: ") + arg;
        }
    }
    return r;
}

QStringList withoutQtOptions(const QStringList& arguments) {
    // Qt's own options, as QGuiApplication and QApplication take them out
    // (with one dash or two, "-name value" or "-name=value").
    static const QStringList withValue{QStringLiteral("platform"),
                                       QStringLiteral("platformpluginpath"),
                                       QStringLiteral("platformtheme"),
                                       QStringLiteral("plugin"),
                                       QStringLiteral("qwindowgeometry"),
                                       QStringLiteral("geometry"),
                                       QStringLiteral("qwindowtitle"),
                                       QStringLiteral("title"),
                                       QStringLiteral("qwindowicon"),
                                       QStringLiteral("icon"),
                                       QStringLiteral("style"),
                                       QStringLiteral("stylesheet"),
                                       QStringLiteral("session"),
                                       QStringLiteral("display"),
                                       QStringLiteral("name"),
                                       QStringLiteral("qmljsdebugger")};
    static const QStringList alone{QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                   QStringLiteral("nograb"),  QStringLiteral("dograb"),
                                   QStringLiteral("sync"),    QStringLiteral("testability")};
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == u"--") {
            out << arguments.mid(i);
            break;
        }
        QString name = arg.startsWith(u"--") ? arg.mid(2) : arg.startsWith(u'-') ? arg.mid(1) : arg;
        const bool joined = name.contains(u'=');
        name = name.section(u'=', 0, 0);
        if (arg.startsWith(u'-') && withValue.contains(name)) {
            if (!joined) ++i;  // the value follows
        } else if (!(arg.startsWith(u'-') && !joined && alone.contains(name))) {
            out << arg;
        }
    }
    return out;
}

QString missingPathsMessage(const QStringList& paths) {
    return QStringLiteral(
               "These files and folders do not exist and were not added to the "
               "list:\r\n\r\n") +
           paths.join(QStringLiteral("\r\n"));
}

QString programUsageText() {
    return QStringLiteral(
        "Usage: quillmark [FILE|FOLDER]...\n"
        "\n"
        "Opens the Quillmark window, which searches the text of many PDF files at\n"
        "once. The files and folders given are added to its file list as dropping\n"
        "them on the list would: a file as given, a folder with every file in it and\n"
        "in the folders below it; then the files are checked for readable text.\n"
        "Paths that do not exist are left out, and the window names them.\n"
        "\n"
        "Options:\n"
        "  -h, --help     show this text\n"
        "      --version  show the version\n"
        "      --         every later argument is a path, also one beginning with -\n"
        "\n"
        "quillmark-search searches from the command line without a window.\n");
}

QString programVersionText() {
    return QStringLiteral("quillmark (Quillmark) ") + QStringLiteral(QM_VERSION);
}

void openPaths(Form1& window, const QStringList& paths, const QString& currentFolder,
               QStringList* missing) {
    const QDir here(currentFolder.isEmpty() ? QDir::currentPath() : currentFolder);
    QStringList existing;
    QStringList notThere;
    for (const QString& given : paths) {
        const QString path = given.isEmpty() || QDir::isAbsolutePath(given)
                                 ? given
                                 : QDir::cleanPath(here.absoluteFilePath(given));
        if (fs::exists(path))
            existing << path;
        else
            notThere << given;
    }
    if (!notThere.isEmpty())
        window.services().boxes->message(missingPathsMessage(notThere), applicationTitle(),
                                         MessageBoxes::Icon::Warning);
    if (missing) *missing << notThere;
    if (!existing.isEmpty()) window.addPaths(existing);
}

}  // namespace qm
