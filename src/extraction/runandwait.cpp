#include "extraction/runandwait.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <vector>

#include "extraction/pooledchild.h"
#include "platform/services.h"

namespace qm {

namespace {

struct Children {
    std::vector<QProcess*> running;
    bool ended = false;
};

Children& children() {
    static Children c;
    return c;
}

// Keeps a child in the list of running children for the length of a wait.
class Registration {
  public:
    explicit Registration(QProcess* p) : p_(p) { children().running.push_back(p); }
    ~Registration() {
        auto& v = children().running;
        v.erase(std::remove(v.begin(), v.end(), p_), v.end());
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

  private:
    QProcess* p_;
};

std::int32_t startFailure(const QString& program) {
    const QFileInfo info(program);
    if (program.isEmpty() || !info.exists()) return kStartFailureBase + kErrorFileNotFound;
    if (!info.isExecutable() || info.isDir()) return kStartFailureBase + kErrorPermissionDenied;
    return kStartFailureBase + kErrorCannotStart;
}

int roundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

// Waits one poll period or until the child ends, whichever comes first, with
// the event loop running. True while the child still runs.
bool waitOnePoll(QProcess& proc, int ms) {
    if (proc.state() == QProcess::NotRunning) return false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&proc, &QProcess::finished, &loop, &QEventLoop::quit);
    timer.start(ms);
    loop.exec();
    // An event loop refuses to run while the application is quitting; then
    // wait on the child itself for the rest of the period instead of spinning.
    if (timer.isActive() && proc.state() != QProcess::NotRunning && !extractionsEnded())
        proc.waitForFinished(std::max(1, timer.remainingTime()));
    return proc.state() != QProcess::NotRunning;
}

}  // namespace

int creepValue(std::int32_t startPercent, std::int32_t fileCount, int k) {
    int step;
    int ceiling;
    if (fileCount > 0) {
        step = roundHalfEven(100.0 / fileCount / 10.0);
        ceiling = roundHalfEven(100.0 / fileCount + startPercent - step);
    } else {
        step = roundHalfEven((100.0 - startPercent) / 10.0);
        ceiling = 100 - step;
    }
    const long long v = static_cast<long long>(startPercent) + static_cast<long long>(k) * step;
    return v >= ceiling ? ceiling : static_cast<int>(v);
}

QString waitText(const QString& statusText, int polls) {
    if (polls < kPollsBeforeCounting) return QString();
    QString t = statusText;
    if (!t.isEmpty()) t += QStringLiteral(", ");
    return t + QStringLiteral("Please wait.. ") + QString::number(polls - kPollsBeforeCounting);
}

std::int32_t RunAndWait(const QString& program, const QStringList& arguments, EventPump* pump,
                        ProgressBar* bar, const QString& statusText, std::int32_t startPercent,
                        std::int32_t fileCount, int pollMilliseconds) {
    if (extractionsEnded()) return kStartFailureBase + kErrorCannotStart;
    auto pumpEvents = [pump] {
        if (pump) pump->pump();
    };

    QProcess proc;
    proc.setProgram(program);
    proc.setArguments(arguments);
    proc.setStandardInputFile(QProcess::nullDevice());
    proc.setStandardOutputFile(QProcess::nullDevice());
    proc.setStandardErrorFile(QProcess::nullDevice());
    if (program.isEmpty()) return startFailure(program);
    proc.start();
    if (!proc.waitForStarted(-1)) return startFailure(program);
    Registration registration(&proc);

    int polls = 0;
    while (proc.state() != QProcess::NotRunning && !extractionsEnded()) {
        pumpEvents();
        if (!waitOnePoll(proc, pollMilliseconds) || extractionsEnded()) break;
        if (bar) {
            pumpEvents();
            ++polls;
            if (polls >= kPollsBeforeCounting) {
                pumpEvents();
                bar->setText(waitText(statusText, polls));
                const int k = polls - kPollsBeforeCounting;
                if (k % kPollsPerCreep == 0) {
                    // The last file's share would creep past the end of the bar.
                    const int v = creepValue(startPercent, fileCount, k / kPollsPerCreep);
                    bar->setValue(std::clamp(v, 0, 100));
                }
                pumpEvents();
            }
            pumpEvents();
        }
        pumpEvents();
    }
    if (proc.state() != QProcess::NotRunning) {
        proc.kill();
        proc.waitForFinished(5000);
    }
    if (bar) bar->setText(statusText.isEmpty() ? QStringLiteral("Progress Bar") : statusText);
    return proc.exitCode();
}

void endAllExtractions() {
    auto& c = children();
    c.ended = true;
    for (QProcess* p : c.running) p->kill();
    endPooledExtractions();  // children of the extraction workers
}

bool extractionsEnded() {
    return children().ended;
}
void allowExtractions() {
    children().ended = false;
    allowPooledExtractions();
}
int runningExtractions() {
    return static_cast<int>(children().running.size());
}

}  // namespace qm
