// quillmark-search: searches PDF files from the command line with the engine
// of the Quillmark window.
#include <QCoreApplication>

#include "cli/clisearch.h"
#include "cli/console.h"

int main(int argc, char** argv) {
    // Before Qt starts any thread, so that every thread and child holds Ctrl+C back.
    qm::cli::holdInterrupts();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillmark-search"));
    return qm::cli::runCommandLine(QCoreApplication::arguments().mid(1));
}
