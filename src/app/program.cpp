#include "app/program.h"

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <cstdio>

#include "app/form1.h"
#include "platform/gui/qt_services.h"
#include "platform/settings.h"

namespace qm {

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
    // Closing the window ends the program at once, also in the middle of a
    // search or a wait whose loop would otherwise go on: every setting was
    // written when it changed, so nothing is lost.
    config.endProgram = [] {
        std::fflush(nullptr);
        ::_exit(0);
    };
#ifdef QM_INSTALL_SAMPLES_DIR
    config.installedSamplesFolder =
        QDir::cleanPath(config.applicationFolder + u'/' + QStringLiteral(QM_INSTALL_SAMPLES_DIR));
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
