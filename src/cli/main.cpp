// quillmark-search: searches PDF files from the command line with the engine
// of the Quillmark window.
#include <malloc.h>

#include <QCoreApplication>

#include "cli/clisearch.h"
#include "cli/console.h"
#include "fs/fs.h"

int main(int argc, char** argv) {
    // One run, then the end: memory freed is kept for the next text rather
    // than handed back and asked for again (each fresh page costs a fault).
    // Each worker frees the texts it searched itself: the threads keep
    // arenas of their own and never wait for each other's.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    // Before Qt starts any thread, so that every thread and child holds Ctrl+C back.
    qm::cli::holdInterrupts();
    qm::cli::stopExtractorsWithProgram();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillmark-search"));
    // A path's bytes are kept as they are, UTF-8 or not.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << qm::fs::decodeName(argv[i]);
    return qm::cli::runCommandLine(arguments);
}
