#include "extraction/child_launch.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>

#include "fs/fs.h"

extern char** environ;

namespace qm {

ChildCommand::ChildCommand(const QString& program, const QStringList& arguments,
                           const QStringList& environment) {
    args_.push_back(fs::encodeName(program).toStdString());
    for (const QString& a : arguments) args_.push_back(fs::encodeName(a).toStdString());
    for (const QString& e : environment) added_.push_back(fs::encodeName(e).toStdString());
    // Pointers are taken once every string is in place.
    for (std::string& a : args_) argv_.push_back(a.data());
    argv_.push_back(nullptr);
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        const bool replaced = std::any_of(added_.begin(), added_.end(), [&](const std::string& a) {
            const std::size_t eq = a.find('=');
            return eq != std::string::npos && entry.substr(0, eq + 1) == a.substr(0, eq + 1);
        });
        if (!replaced) envp_.push_back(*e);
    }
    for (std::string& a : added_) envp_.push_back(a.data());
    envp_.push_back(nullptr);
}

namespace {

// In the child: the signal state a program expects, its own process group,
// an end together with this process, the standard descriptors; then the
// program. Returns only when something failed (errno tells).
void becomeChild(const Launch& launch, pid_t parent) {
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction now {};
        if (::sigaction(sig, nullptr, &now) != 0) continue;
        // Handlers of this program must not run in the child; what this
        // program ignores for itself (a closed pipe) is the program's again.
        const bool handled = now.sa_handler != SIG_DFL && now.sa_handler != SIG_IGN;
        if (handled || sig == SIGPIPE || sig == SIGINT || sig == SIGTERM || sig == SIGHUP)
            ::sigaction(sig, &plain, nullptr);
    }
    if (::setpgid(0, 0) != 0) return;
    // Ends when the thread that started it ends, which waits for it: so when
    // this program ends in any way, even killed. The program may have ended
    // before that was said: then the parent is another process by now.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return;
    if (::getppid() != parent) {
        errno = ESRCH;
        return;
    }
    const int in = launch.input >= 0 ? launch.input : ::open("/dev/null", O_RDONLY);
    const int out = launch.output >= 0 ? launch.output : ::open("/dev/null", O_WRONLY);
    const int err = ::open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0 || err < 0) return;
    if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) return;
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(launch.argv[0], launch.argv, launch.envp);
}

}  // namespace

pid_t launchChild(const Launch& launch, int& execPipe) {
    int report[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0) return 0;
    // No handler of this program may run in the child before it has its own.
    sigset_t all, saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        becomeChild(launch, parent);
        const int error = errno;
        [[maybe_unused]] const ssize_t w = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    if (pid > 0) ::setpgid(pid, pid);  // at once, whichever of the two comes first
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return 0;
    }
    execPipe = report[0];
    return pid;
}

bool execSucceeded(int execPipe) {
    int error = 0;
    ssize_t n = 0;
    do {
        n = ::read(execPipe, &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(execPipe);
    return n == 0;
}

}  // namespace qm
