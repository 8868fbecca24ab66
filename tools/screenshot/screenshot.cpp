// quillmark-screenshot: the program's window, made as the program makes it,
// saved as a PNG picture.
//
//   quillmark-screenshot [--search] OUTPUT.png
//
// Shortly after the window is shown it saves the picture and ends. With
// --search it first loads the example files and searches them (for "salad",
// the phrase loading them sets), answering every box with No or OK, so the
// picture shows results.

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "app/form1.h"
#include "app/program.h"

namespace {

// Loads the example files, searches them and ticks two results; every message
// box shown meanwhile is answered with No, or OK when it has no No.
void searchSamples(qm::Form1& window) {
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            QAbstractButton* no = box->button(QMessageBox::No);
            (no ? no : box->button(QMessageBox::Ok))->click();
        }
    });
    answer.start(300);
    window.PushButton10_Click();
    // The search runs beside the window: wait for its end (and its boxes).
    QEventLoop done;
    QObject::connect(&window, &qm::Form1::searchFinished, &done, &QEventLoop::quit);
    window.PushButton7_Click();
    if (window.searchRunning()) done.exec();
    QEventLoop settle;  // the "Done." box answered and the rows shown
    QTimer::singleShot(800, &settle, &QEventLoop::quit);
    settle.exec();
    answer.stop();
    if (window.results.rowCount() >= 3) {
        window.results.setChecked(0, true);
        window.results.setChecked(2, true);
    }
    window.ListView1->setCurrentIndex(window.fileList.index(0));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool search = args.removeAll(QStringLiteral("--search")) > 0;
    if (args.size() != 1 || args[0].startsWith(u'-')) {
        std::fprintf(stderr, "usage: quillmark-screenshot [--search] OUTPUT.png\n");
        return 2;
    }
    const QString output = args[0];

    qm::ProgramStart start;
    start.applicationFolder = QStringLiteral(QM_PROGRAM_FOLDER);
    start.shown = [search, output](qm::Form1& window) {
        QTimer::singleShot(1500, &window, [&window, search, output] {
            if (search) searchSamples(window);
            if (!window.grab().save(output, "PNG")) {
                std::fprintf(stderr, "Could not save the picture to %s\n", qPrintable(output));
                QCoreApplication::exit(1);
                return;
            }
            QCoreApplication::quit();
        });
    };
    return qm::runProgram(app, start);
}
