#include "extraction/child.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace qm {

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

}  // namespace

ChildResult runChild(const QString& program, const QStringList& arguments, ChildToken& token,
                     const QByteArray& input, int timeLimitMs, const QString& outputPath) {
    ChildResult result;
    if (program.isEmpty()) return result;

    std::vector<std::string> args;
    args.push_back(QFile::encodeName(program).toStdString());
    for (const QString& a : arguments) args.push_back(QFile::encodeName(a).toStdString());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (!input.isEmpty() && ::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipeFds[0] >= 0)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string output = outputPath.isEmpty() ? std::string("/dev/null")
                                                    : QFile::encodeName(outputPath).toStdString();
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                     outputPath.isEmpty() ? O_WRONLY : O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    auto& r = Children::get();
    pid_t pid = 0;
    {
        // Started under the lock, so a cancel either comes before (and the
        // child is never started) or finds it in the list.
        std::lock_guard lock(r.mutex);
        if (r.ended || Children::isCancelled(token)) {
            result.ended = true;
        } else if (posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ) == 0) {
            result.started = true;
            r.running.emplace_back(pid, &token);
            ++r.started;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (pipeFds[0] >= 0) ::close(pipeFds[0]);
    if (pipeFds[1] >= 0) {
        if (result.started)
            feed(pipeFds[1], input);
        else
            ::close(pipeFds[1]);
    }
    if (!result.started) return result;

    // Wait without reaping, so the pid cannot be reused while it is still
    // listed for killing; then unlist it and reap it.
    const std::int64_t deadline = timeLimitMs > 0 ? nowMs() + timeLimitMs : -1;
    if (!waitForEnd(pid, deadline)) {
        {
            std::lock_guard lock(r.mutex);
            result.timedOut = true;
            Children::killGroup(pid);
        }
        waitForEnd(pid, -1);
    }
    {
        std::lock_guard lock(r.mutex);
        auto& v = r.running;
        v.erase(std::remove_if(v.begin(), v.end(), [&](const auto& e) { return e.first == pid; }),
                v.end());
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
