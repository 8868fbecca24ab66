#include "extraction/child.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
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
            if (!token || t == token) ::kill(pid, SIGKILL);
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

ChildResult runChild(const QString& program, const QStringList& arguments,
                                 ChildToken& token) {
    ChildResult result;
    if (program.isEmpty()) return result;

    std::vector<std::string> args;
    args.push_back(QFile::encodeName(program).toStdString());
    for (const QString& a : arguments) args.push_back(QFile::encodeName(a).toStdString());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

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
    if (!result.started) return result;

    // Wait without reaping, so the pid cannot be reused while it is still
    // listed for killing; then unlist it and reap it.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    {
        std::lock_guard lock(r.mutex);
        auto& v = r.running;
        v.erase(std::remove_if(v.begin(), v.end(), [&](const auto& e) { return e.first == pid; }),
                v.end());
        result.ended = r.ended || Children::isCancelled(token);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
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
