#include "cli/console.h"

#include <poll.h>
#include <signal.h>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>

#include <QCoreApplication>
#include <cerrno>
#include <string>

#include "cli/cliopts.h"
#include "extraction/child.h"
#include "fs/fs.h"
#include "text/display.h"

namespace qm::cli {

namespace {

sigset_t interruptSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    return set;
}

// A request to end (kill's default, a closed terminal): an orderly shutdown.
sigset_t terminationSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

bool interruptPending() {
    sigset_t pending;
    sigemptyset(&pending);
    return sigpending(&pending) == 0 && sigismember(&pending, SIGINT) == 1;
}

int terminalColumns(int fd) {
    winsize ws{};
    if (ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

void writeAll(std::FILE* f, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), f);
    std::fflush(f);
}

constexpr qint64 kRefreshMilliseconds = 500;

void onTerminalStop(int);

void setStopHandler(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTSTP, &sa, nullptr);
}

// Stops the extractors, then this program as Ctrl+Z would have (so the shell
// sees a stopped job); the program goes on here when it is continued.
// SIGSTOP, not SIGTSTP's default action: the system discards that one when
// the process group is orphaned (a program started by another one that has
// a session of its own), and the program would run on with its extractors
// stopped.
void onTerminalStop(int) {
    const int saved = errno;
    stopChildrenFromSignal();
    raise(SIGSTOP);
    continueChildrenFromSignal();
    errno = saved;
}

}  // namespace

void stopExtractorsWithProgram() {
    setStopHandler(onTerminalStop);
}

void holdInterrupts() {
    sigset_t set = interruptSet();
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

namespace {
std::atomic<int> firstTermination{0};  // SIGTERM or SIGHUP, the first taken
}  // namespace

bool takeTermination() {
    const sigset_t set = terminationSet();
    const timespec none{0, 0};
    bool any = false;
    for (;;) {
        const int sig = sigtimedwait(&set, nullptr, &none);
        if (sig != SIGTERM && sig != SIGHUP) break;
        int unset = 0;
        firstTermination.compare_exchange_strong(unset, sig);
        any = true;
    }
    return any;
}

int abortedStatus() {
    const int sig = firstTermination.load();
    return 128 + (sig != 0 ? sig : SIGINT);
}

int takeInterrupts() {
    const sigset_t set = interruptSet();
    const timespec none{0, 0};
    int n = 0;
    while (sigtimedwait(&set, nullptr, &none) == SIGINT) ++n;
    return n;
}

QString nameInReport(const QString& name) {
    return QString(name).replace(u'\n', u' ');
}

QString toLines(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(u'\r', u'\n');
    return t;
}

// --- Terminal ---

Terminal::Terminal(std::FILE* err, bool progressShown) : err_(err), shown_(progressShown) {
    started_.start();
    lastDraw_.start();
}

void Terminal::clear() {
    if (!drawn_) return;
    writeAll(err_, QByteArrayLiteral("\r\033[K"));
    drawn_ = false;
}

void Terminal::errorLine(const QString& text) {
    if (beforeWriting) beforeWriting();
    clear();
    // Names in it could move the cursor, retitle the terminal or reorder the line.
    QByteArray bytes = text::displayBytes(text, true);
    if (!bytes.endsWith('\n')) bytes += '\n';
    writeAll(err_, bytes);
}

void Terminal::problem(const QString& text) {
    errorLine(QString::fromLatin1(kProgramName) + QStringLiteral(": ") + text);
}

void Terminal::progress(int done, int total, const QString& name) {
    done_ = done;
    total_ = total;
    name_ = name;
    page_ = pages_ = 0;
    if (shown_) draw();
}

void Terminal::reading(int page, int pages) {
    if (page == page_ && pages == pages_) return;
    page_ = page;
    pages_ = pages;
    if (shown_) draw();
}

void Terminal::refresh() {
    if (shown_ && total_ > 0 && lastDraw_.elapsed() >= kRefreshMilliseconds) draw();
}

void Terminal::draw() {
    const double seconds = static_cast<double>(started_.elapsed()) / 1000.0;
    const double rate = seconds > 0.0 ? done_ / seconds : 0.0;
    QString line = QString::number(done_) + u'/' + QString::number(total_) + QStringLiteral("  ") +
                   QString::number(rate, 'f', 1) + QStringLiteral(" files/s  ");
    if (pages_ > 0) line += QStringLiteral("Reading page %1 of %2 (OCR): ").arg(page_).arg(pages_);
    // The name's control characters would move the cursor: shown as blanks.
    line += text::displayText(name_);
    const qsizetype room = terminalColumns(fileno(err_)) - 1;
    if (line.size() > room && room > 3) line = line.left(room - 3) + QStringLiteral("...");
    writeAll(err_, QByteArrayLiteral("\r\033[K") + line.toUtf8());
    drawn_ = true;
    lastDraw_.restart();
}

// --- ConsoleBoxes ---

void ConsoleBoxes::message(const QString& text, const QString& title, Icon icon) {
    Q_UNUSED(title);
    Q_UNUSED(icon);
    terminal_.problem(toLines(text).trimmed());
}

bool ConsoleBoxes::question(const QString& text, const QString& title) {
    Q_UNUSED(title);
    terminal_.problem(toLines(text).trimmed() + QStringLiteral(" (answered No)"));
    return false;
}

QString ConsoleBoxes::input(const QString& prompt, const QString& title,
                            const QString& defaultText) {
    Q_UNUSED(prompt);
    Q_UNUSED(title);
    Q_UNUSED(defaultText);
    return QString();
}

// --- ConsolePump ---

void ConsolePump::checkInterrupts() {
    if (takeTermination()) {
        // Ends at once, as a second Ctrl+C does.
        interrupts_ = std::max(interrupts_ + 1, 2);
        if (onInterrupt) onInterrupt(interrupts_);
    }
    const int n = takeInterrupts();
    for (int k = 0; k < n; ++k) {
        ++interrupts_;
        if (onInterrupt) onInterrupt(interrupts_);
    }
}

void ConsolePump::pump() {
    QCoreApplication::processEvents();
    checkInterrupts();
    terminal_.refresh();
}

// --- password prompt ---

QString readPassword(const QString& prompt, Terminal& terminal) {
    // The prompt's note goes first, so the answer is typed right after the question.
    const QStringList parts = toLines(prompt).split(u'\n');
    const QString question = parts.value(0);
    const QString note = parts.mid(1).join(u'\n').trimmed();
    if (!note.isEmpty())
        terminal.errorLine(note);
    else
        terminal.clear();
    std::fputs(text::displayText(question).toUtf8().constData(), stderr);
    std::fflush(stderr);

    const int fd = STDIN_FILENO;
    const bool tty = isatty(fd) == 1;
    termios saved{};
    if (tty && tcgetattr(fd, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }

    std::string line;
    bool interrupted = false;
    for (;;) {
        if (interruptPending()) {
            interrupted = true;
            break;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, 200);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        line.push_back(c);
    }
    if (tty) tcsetattr(fd, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    if (interrupted) return QString();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return QString::fromStdString(line);
}

}  // namespace qm::cli
