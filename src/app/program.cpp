#include "app/program.h"

#include <QApplication>

#include "app/form1.h"
#include "platform/gui/qt_services.h"
#include "platform/settings.h"

namespace qm {

int runProgram(QApplication& app) {
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
    config.applicationFolder = QCoreApplication::applicationDirPath();
    Form1 window(services, config);
    boxes.setParent(&window);
    dialogs.setParent(&window);
    window.show();
    const int rc = app.exec();
    removeWorkFolder();
    return rc;
}

}  // namespace qm
