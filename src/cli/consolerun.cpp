#include "cli/consolerun.h"

#include <QCoreApplication>

#include "cli/cliopts.h"
#include "cli/console.h"
#include "cli/printer.h"
#include "fs/fs.h"
#include "text/display.h"
#include "words/words.h"

namespace qm::cli {

void ConsoleRun::fileBegins(int i, int n, const QString& path) {
    terminal_.progress(i - 1, n, fs::fileName(path));
}

WaitWatch ConsoleRun::waitWatch(int, int, const QString&) {
    return {[this](int, int page, int pages) { terminal_.reading(page, pages); }, {}};
}

void ConsoleRun::passwordNeeded(const QString& path) {
    // The name on one line, as every name on the terminal.
    const QString answer = cli_.hasPassword
                               ? cli_.password
                               : readPassword(passwordPrompt(text::displayText(path)), terminal_);
    session->providePassword(path, answer);
}

void ConsoleRun::fileSearched(const QString&) {
    // -q: the first match answers the question. Nobody reads any more:
    // the session ends now, the current extraction included.
    if (out_.broken() || (cli_.quiet && printer_.anyRow())) session->cancel();
}

void ConsoleRun::stageFailed(RunStage, const QString& description) {
    trouble = true;
    if (!cli_.noMessages) terminal_.problem(description);
}

void ConsoleRun::patternTooComplex(const QString& path) {
    trouble = true;
    if (!cli_.noMessages) terminal_.problem(patternTooComplexText(path));
}

void ConsoleRun::readabilityFailed(const QString& description) {
    if (!cli_.noMessages) terminal_.problem(description);
}

void ConsoleRun::finished(const SearchSummary& done) {
    summary = done;
    QCoreApplication::exit(0);
}

}  // namespace qm::cli
