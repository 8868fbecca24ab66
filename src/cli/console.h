#pragma once
// The platform services of a search without a window: messages go to standard
// error, the password prompt reads the terminal, the event pump watches for
// Ctrl+C and keeps a one-line progress display on standard error up to date.

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <functional>

#include "platform/services.h"

namespace qm::cli {

// Ctrl+C, SIGTERM and SIGHUP are held back (blocked) in the whole process, so
// they end a run in order (children ended, work folder removed); the pump
// collects them. Extractors run in process groups of their own, so a Ctrl+C at
// the terminal never reaches them. Call before any thread exists.
void holdInterrupts();
// Ctrl+Z (SIGTSTP) stops the extractors with this program, and SIGCONT
// resumes them with it: in process groups of their own, the terminal's stop
// does not reach them.
void stopExtractorsWithProgram();
// Number of Ctrl+C (SIGINT) received since the last call; never waits.
int takeInterrupts();
// True when SIGTERM or SIGHUP came since the last call (held back with Ctrl+C);
// never waits.
bool takeTermination();
// The exit status of a run that a signal cut short: 128 + the signal, the
// first SIGTERM (143) or SIGHUP (129) taken, else Ctrl+C's SIGINT (130).
int abortedStatus();

// Standard error, with the progress line that is redrawn in place.
class Terminal {
  public:
    Terminal(std::FILE* err, bool progressShown);

    // Writes whole lines (the progress line is cleared first and redrawn by the
    // next update), control characters but line feeds shown as blanks,
    // bidirectional controls visibly and a name's bytes that are not UTF-8 as
    // they are (text::displayBytes).
    void errorLine(const QString& text);
    // One line "quillmark-search: TEXT", as errorLine writes it.
    void problem(const QString& text);
    // The progress: files done of all, files per second, the current file's name.
    void progress(int done, int total, const QString& name);
    // Page `page` of the current file's `pages` scanned pages is being read
    // with OCR (0 pages: none is); shown after the name.
    void reading(int page, int pages);
    // Redraws the last progress now if it is older than a moment (during long files).
    void refresh();
    // Removes the progress line (before other output and at the end).
    void clear();
    // Called before each line written, so that what waits for standard
    // output goes before it.
    std::function<void()> beforeWriting;

  private:
    void draw();

    std::FILE* err_;
    bool shown_;
    bool drawn_ = false;
    int done_ = 0;
    int total_ = 0;
    QString name_;
    int page_ = 0;
    int pages_ = 0;
    QElapsedTimer started_;
    QElapsedTimer lastDraw_;
};

// Message boxes of a search without a window.
class ConsoleBoxes : public MessageBoxes {
  public:
    explicit ConsoleBoxes(Terminal& terminal) : terminal_(terminal) {}
    // Every message goes to standard error.
    void message(const QString& text, const QString& title, Icon icon) override;
    bool question(const QString& text, const QString& title) override;
    // Nothing of the command line asks for input here: the answer is the empty text.
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;

  private:
    Terminal& terminal_;
};

// Pumps Qt's events, turns Ctrl+C into a stop request and refreshes the progress.
class ConsolePump : public EventPump {
  public:
    explicit ConsolePump(Terminal& terminal) : terminal_(terminal) {}
    void pump() override;
    // Called with the number of Ctrl+C received so far (1, 2, ...).
    std::function<void(int)> onInterrupt;
    // Collects pending Ctrl+C without pumping events.
    void checkInterrupts();

  private:
    Terminal& terminal_;
    int interrupts_ = 0;
};

// Reads a password for `prompt` (the search's prompt text): from the terminal
// without echo when standard input is one, else one line of standard input.
// A Ctrl+C while waiting ends the question with the empty answer and is left
// for the pump to collect.
QString readPassword(const QString& prompt, Terminal& terminal);

// A name as one line of a report of several lines (Terminal::errorLine): its
// line feeds as blanks, its bytes kept.
QString nameInReport(const QString& name);

// Text for a one-line display: CR LF, CR and LF become "\n".
QString toLines(const QString& text);

}  // namespace qm::cli
