#include <QApplication>
#include <cstdio>

#include "app/program.h"
#include "fs/fs.h"

namespace {

QStringList argumentsOf(int argc, char** argv) {
    QStringList out;
    // A path's bytes are kept as they are, UTF-8 or not.
    for (int i = 1; i < argc; ++i) out << qm::fs::decodeName(argv[i]);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    // --help, --version and a mistaken option are answered before Qt starts,
    // so they need no display.
    const qm::ProgramArguments early =
        qm::parseProgramArguments(qm::withoutQtOptions(argumentsOf(argc, argv)));
    if (early.help || early.version) {
        const QString text = early.help ? qm::programUsageText() : qm::programVersionText() + u'\n';
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!early.error.isEmpty()) {
        std::fprintf(stderr, "quillmark: %s\nTry 'quillmark --help' for more information.\n",
                     early.error.toLocal8Bit().constData());
        return 2;
    }
    // Qt takes its own options (-platform, -style, ...) out of the list first.
    QApplication app(argc, argv);
    const qm::ProgramArguments args = qm::parseProgramArguments(argumentsOf(argc, argv));
    if (!args.error.isEmpty()) {
        std::fprintf(stderr, "quillmark: %s\nTry 'quillmark --help' for more information.\n",
                     args.error.toLocal8Bit().constData());
        return 2;
    }
    qm::ProgramStart start;
    start.paths = args.paths;
    return qm::runProgram(app, start);
}
