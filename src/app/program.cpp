#include "app/program.h"

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/form1.h"
#include "platform/gui/qt_services.h"
#include "platform/settings.h"

namespace qm {

namespace {
constexpr std::chrono::seconds kForcedExitAfter{5};
}

int runProgram(QApplication& app, const ProgramStart& start) {
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    createWorkFolder();
    QtMessageBoxes boxes;
    QtEventPump pump;
    QtFileDialogs dialogs;
    QtDesktop desktop;
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
    boxes.setParent(&window);
    dialogs.setParent(&window);
    window.show();
    if (start.shown) start.shown(window);
    const int rc = app.exec();
    removeWorkFolder();
    return rc;
}

}  // namespace qm
