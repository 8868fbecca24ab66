#include "extraction/child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>
#include <utility>
#include <vector>

#include <QFile>

#include "extraction/child_launch.h"
#include "fs/fs.h"

namespace qm {

namespace {

// The process groups of the running children, for signal handlers, which
// cannot take the registry's lock: slots are taken and freed atomically. A
// child that finds no free slot is still ended as usual, but not stopped
// with the program.
constexpr int kGroupSlots = 256;
std::atomic<pid_t> groupSlots[kGroupSlots];

void listGroup(pid_t pid) {
    for (auto& slot : groupSlots) {
        pid_t free = 0;
        if (slot.compare_exchange_strong(free, pid)) return;
    }
}

void unlistGroup(pid_t pid) {
    for (auto& slot : groupSlots) {
        pid_t mine = pid;
        if (slot.compare_exchange_strong(mine, 0)) return;
    }
}

void signalGroups(int sig) {
    for (auto& slot : groupSlots)
        if (const pid_t pid = slot.load(); pid > 0) ::kill(-pid, sig);
}

}  // namespace

void stopChildrenFromSignal() {
    signalGroups(SIGSTOP);
}

void continueChildrenFromSignal() {
    signalGroups(SIGCONT);
}

struct Children {
    std::mutex mutex;
    std::vector<std::pair<pid_t, ChildToken*>> running;
    bool ended = false;
    std::atomic<std::int64_t> started{0};

    static Children& get() {
        static Children r;
        return r;
    }
    // Kills the children of one token (null: all). Called with the lock held.
    void killLocked(const ChildToken* token) {
        for (const auto& [pid, t] : running)
            if (!token || t == token) killGroup(pid);
    }
    // The child leads its own group: the group goes, with whatever it started.
    static void killGroup(pid_t pid) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
    }
    // Takes a child off the lists. Called with the lock held.
    void unlistLocked(pid_t pid) {
        running.erase(std::remove_if(running.begin(), running.end(),
                                     [&](const auto& e) { return e.first == pid; }),
                      running.end());
        unlistGroup(pid);
    }
    static void markCancelled(ChildToken& t) { t.cancelled_ = true; }
    static bool isCancelled(const ChildToken& t) { return t.cancelled_; }
};

void ChildToken::cancel() {
    auto& r = Children::get();
    std::lock_guard lock(r.mutex);
    Children::markCancelled(*this);
    r.killLocked(this);
}

bool ChildToken::cancelled() const {
    auto& r = Children::get();
    std::lock_guard lock(r.mutex);
    return Children::isCancelled(*this);
}

namespace {

std::int64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits until the child has ended (without reaping it) or the deadline
// (-1: none) has passed; false when the deadline passed first.
bool waitForEnd(pid_t pid, std::int64_t deadline) {
    const auto ended = [pid](int flags) {
        siginfo_t info{};
        for (;;) {
            if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | flags) == 0)
                return flags == 0 || info.si_pid != 0;
            if (errno != EINTR) return true;  // nothing to wait for
        }
    };
    if (deadline < 0) return ended(0);
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        for (;;) {
            const std::int64_t left = deadline - nowMs();
            if (left <= 0) break;
            pollfd p{fd, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left, 1 << 30)));
            if (r > 0) break;
            if (r < 0 && errno != EINTR) break;
        }
        ::close(fd);
        return ended(WNOHANG);
    }
    // Without process descriptors: look every few milliseconds.
    while (!ended(WNOHANG)) {
        if (nowMs() >= deadline) return false;
        const timespec pause{0, 5 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
    return true;
}

// Writes `input` to the pipe without ever blocking, then closes it. What a
// full pipe does not take is dropped (the child reads a short line only).
void feed(int fd, const QByteArray& input) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    qsizetype done = 0;
    while (done < input.size()) {
        const ssize_t w = ::write(fd, input.constData() + done, size_t(input.size() - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += w;
    }
    ::close(fd);
}

// Writes all of `data` to `fd`; false when a write fails.
bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t w = ::write(fd, data, size);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        size -= static_cast<std::size_t>(w);
    }
    return true;
}

// Reads the output of child `pid` from `from` and writes it to the file
// `path` (made at its first byte, owner-only: no output, no file), until every
// writer has closed the pipe or the child has ended (what it left behind in
// the pipe is still read). False when the deadline (-1: none) passed first. A
// write that fails sets `lost`; the rest is read and dropped, so the child is
// never held up.
// With `cap` (not negative), reading ends once more than `cap` bytes came
// (`capped`): the reader's end closes, and the child with it.
bool copyOutput(int from, pid_t pid, const QByteArray& path, bool& lost, std::int64_t deadline,
                std::int64_t cap, bool& capped) {
    std::int64_t total = 0;
    ::fcntl(from, F_SETFL, ::fcntl(from, F_GETFL) | O_NONBLOCK);
    std::vector<char> buffer(std::size_t(1) << 16);
    int to = -1;
    enum Read { Got, Empty, End };
    const auto readSome = [&] {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0) return errno == EINTR ? Got : errno == EAGAIN ? Empty : End;
        if (n == 0) return End;
        total += n;
        if (cap >= 0 && total > cap) {
            capped = true;
            return End;
        }
        if (to < 0 && !lost) {
            to = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            lost = to < 0;
        }
        if (to >= 0 && !writeAll(to, buffer.data(), static_cast<std::size_t>(n))) {
            ::close(to);
            to = -1;
            lost = true;
        }
        return Got;
    };
    const int ended = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    bool inTime = true;
    for (;;) {
        const std::int64_t left = deadline < 0 ? -1 : deadline - nowMs();
        if (deadline >= 0 && left <= 0) {
            inTime = false;
            break;
        }
        pollfd p[2] = {{from, POLLIN, 0}, {ended, POLLIN, 0}};
        const int ready =
            ::poll(p, ended >= 0 ? 2 : 1,
                   left < 0 ? -1 : static_cast<int>(std::min<std::int64_t>(left, 1 << 30)));
        if (ready <= 0) continue;  // interrupted, or the deadline (checked above)
        if (p[0].revents != 0) {
            if (readSome() == End) break;
        } else if (p[1].revents != 0) {
            // Ended, while something it started may hold the pipe: what is in it, and no more.
            while (readSome() == Got) {
            }
            break;
        }
    }
    if (ended >= 0) ::close(ended);
    if (to >= 0 && ::close(to) != 0) lost = true;
    return inTime;
}

}  // namespace

ChildResult runChild(const QString& program, const QStringList& arguments, ChildToken& token,
                     const QByteArray& input, int timeLimitMs, const QString& outputPath,
                     const QStringList& environment, std::int64_t outputCap) {
    ChildResult result;
    if (program.isEmpty()) return result;

    ChildCommand command(program, arguments, environment);
    int pipeFds[2] = {-1, -1};
    if (!input.isEmpty() && ::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    // The output comes through a pipe and this thread writes it to its file,
    // so a write that fails (a full disk) is known.
    int outFds[2] = {-1, -1};
    const QByteArray outFile = fs::encodeName(outputPath);
    if (!outputPath.isEmpty()) {
        if (::pipe2(outFds, O_CLOEXEC) != 0) {
            if (pipeFds[0] >= 0) ::close(pipeFds[0]);
            if (pipeFds[1] >= 0) ::close(pipeFds[1]);
            result.outputLost = true;
            return result;
        }
        ::unlink(outFile.constData());
        // Room for a good part of a text at once: fewer turns between the two.
        ::fcntl(outFds[0], F_SETPIPE_SZ, 1 << 20);
    }
    const Launch launch{command.argv(), command.envp(), pipeFds[0], outFds[1]};

    auto& r = Children::get();
    pid_t pid = 0;
    int execPipe = -1;
    {
        // Started under the lock, so a cancel either comes before (and the
        // child is never started) or finds it in the list.
        std::lock_guard lock(r.mutex);
        if (r.ended || Children::isCancelled(token)) {
            result.ended = true;
        } else if ((pid = launchChild(launch, execPipe)) > 0) {
            result.started = true;
            r.running.emplace_back(pid, &token);
            listGroup(pid);
            ++r.started;
        }
    }
    if (pipeFds[0] >= 0) ::close(pipeFds[0]);
    if (outFds[1] >= 0) ::close(outFds[1]);
    if (result.started && !execSucceeded(execPipe)) {
        // The program could not be run: as if it had never started.
        std::lock_guard lock(r.mutex);
        r.unlistLocked(pid);
        result.started = false;
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    if (pipeFds[1] >= 0) {
        if (result.started)
            feed(pipeFds[1], input);
        else
            ::close(pipeFds[1]);
    }
    const std::int64_t deadline = timeLimitMs > 0 ? nowMs() + timeLimitMs : -1;
    bool inTime = true;
    if (outFds[0] >= 0) {
        if (result.started)
            inTime = copyOutput(outFds[0], pid, outFile, result.outputLost, deadline, outputCap,
                                result.outputCapped);
        ::close(outFds[0]);
    }
    if (!result.started) return result;
    if (result.outputCapped) {
        std::lock_guard lock(r.mutex);
        Children::killGroup(pid);
    }

    // Wait without reaping, so the pid cannot be reused while it is still
    // listed for killing; then unlist it and reap it.
    if (!inTime || !waitForEnd(pid, deadline)) {
        {
            std::lock_guard lock(r.mutex);
            result.timedOut = true;
            Children::killGroup(pid);
        }
        waitForEnd(pid, -1);
    }
    {
        std::lock_guard lock(r.mutex);
        r.unlistLocked(pid);
        result.ended = r.ended || Children::isCancelled(token);
        // Whatever the child left running in its group goes with it.
        ::kill(-pid, SIGKILL);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

std::optional<QByteArray> takeAnswer(const ChildResult& r, const QString& path, qint64 maxBytes,
                                     std::initializer_list<int> goodExits) {
    std::optional<QByteArray> answer;
    const bool good = r.exited && !r.outputLost &&
                      std::find(goodExits.begin(), goodExits.end(), r.exitCode) != goodExits.end();
    if (good) {
        // No output leaves no file: the answer is then empty.
        QFile f(path);
        answer = !f.open(QIODevice::ReadOnly) ? QByteArray()
                 : maxBytes < 0               ? f.readAll()
                                              : f.read(maxBytes);
    }
    fs::removeQuietly(path);
    return answer;
}

void endAllExtractions() {
    auto& r = Children::get();
    std::lock_guard lock(r.mutex);
    r.ended = true;
    r.killLocked(nullptr);
}

void allowExtractions() {
    auto& r = Children::get();
    std::lock_guard lock(r.mutex);
    r.ended = false;
}

bool extractionsEnded() {
    auto& r = Children::get();
    std::lock_guard lock(r.mutex);
    return r.ended;
}

int runningChildren() {
    auto& r = Children::get();
    std::lock_guard lock(r.mutex);
    return static_cast<int>(r.running.size());
}

std::int64_t childrenStarted() {
    return Children::get().started.load();
}

}  // namespace qm
