#include "platform/workfolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace qm {

namespace {

constexpr const char* kPrefix = "quillmark-";
constexpr const char* kOwnerFile = "owner";

struct WorkState {
    std::mutex mutex;
    bool tried = false;
    int parentFd = -1;  // the candidate folder, held open
    std::string name;   // the work folder's name in it
    dev_t device = 0;   // the work folder made, to know it again
    ino_t inode = 0;
    QString path;
    QString problem;
};

WorkState& state() {
    static WorkState s;
    return s;
}

QString systemReason(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// Why a folder open as `fd` (with its status `st`) must not hold a work folder.
QString unsafeReason(const struct stat& st) {
    if (!S_ISDIR(st.st_mode)) return QStringLiteral("not a folder");
    if (st.st_uid != ::geteuid() && st.st_uid != 0) return QStringLiteral("owned by another user");
    const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (othersWrite && (st.st_mode & S_ISVTX) == 0)
        return QStringLiteral("other users can write to it and it is not sticky");
    return QString();
}

// Opens a candidate folder when it is safe; -1 with `why` otherwise.
int openCandidate(const QString& folder, QString& why) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        why = systemReason(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = systemReason(errno);
        ::close(fd);
        return -1;
    }
    why = unsafeReason(st);
    if (!why.isEmpty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool writeOwner(int dirFd) {
    const int fd =
        ::openat(dirFd, kOwnerFile, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string pid = std::to_string(::getpid()) + '\n';
    const bool ok = ::write(fd, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size());
    return ::close(fd) == 0 && ok;
}

// The process id in a work folder's owner file; 0 when there is none.
pid_t ownerOf(int dirFd) {
    const int fd = ::openat(dirFd, kOwnerFile, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return 0;
    char buf[32] = {};
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(buf, &end, 10);
    if (end == buf || pid <= 0 || (*end != '\n' && *end != '\0')) return 0;
    return static_cast<pid_t>(pid);
}

bool processRuns(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool removeContent(int dirFd);

// Removes the entry `name` of `dirFd`: a folder with its content (entered only
// when it is a real folder), anything else as the entry itself.
bool removeEntry(int dirFd, const char* name) {
    const int sub = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) {
        // A link (ELOOP), a file (ENOTDIR) or gone: never entered.
        if (::unlinkat(dirFd, name, 0) == 0 || errno == ENOENT) return true;
        return false;
    }
    const bool emptied = removeContent(sub);
    ::close(sub);
    if (::unlinkat(dirFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT) return emptied;
    return false;
}

bool removeContent(int dirFd) {
    const int listFd = ::dup(dirFd);
    if (listFd < 0) return false;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return false;
    }
    bool ok = true;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    for (const std::string& n : names) ok = removeEntry(dirFd, n.c_str()) && ok;
    return ok;
}

}  // namespace

QStringList workFolderCandidates() {
    QStringList c;
    for (const char* var : {"TEMP", "TMPDIR"}) {
        const QString v = qEnvironmentVariable(var);
        if (!v.isEmpty() && !c.contains(v)) c << v;
    }
    if (!c.contains(QStringLiteral("/tmp"))) c << QStringLiteral("/tmp");
    return c;
}

QString unsafeTemporaryFolderReason(const QString& folder) {
    QString why;
    const int fd = openCandidate(folder, why);
    if (fd >= 0) ::close(fd);
    return why;
}

QString createWorkFolder() {
    return createWorkFolder(workFolderCandidates());
}

QString createWorkFolder(const QStringList& candidates) {
    WorkState& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.path.isEmpty()) return s.path;
    s.tried = true;
    QStringList tried;
    for (const QString& folder : candidates) {
        QString why;
        const int fd = openCandidate(folder, why);
        if (fd < 0) {
            tried << QStringLiteral("  ") + folder + QStringLiteral(": ") + why;
            continue;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name =
                kPrefix + QString::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 36)
                              .rightJustified(5, u'0')
                              .toStdString();
            if (::mkdirat(fd, name.c_str(), 0700) != 0) {
                if (errno == EEXIST) continue;
                why = systemReason(errno);
                break;
            }
            const int dirFd =
                ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat st {};
            if (dirFd < 0 || ::fstat(dirFd, &st) != 0 || !writeOwner(dirFd)) {
                why = systemReason(errno);
                if (dirFd >= 0) ::close(dirFd);
                removeTreeAt(fd, name.c_str());
                break;
            }
            ::close(dirFd);
            s.parentFd = fd;
            s.name = name;
            s.device = st.st_dev;
            s.inode = st.st_ino;
            s.path = (folder.endsWith(u'/') && folder.size() > 1 ? folder.chopped(1) : folder) +
                     u'/' + QString::fromStdString(name);
            s.problem.clear();
            return s.path;
        }
        if (why.isEmpty()) why = QStringLiteral("no free name");
        tried << QStringLiteral("  ") + folder + QStringLiteral(": ") + why;
        ::close(fd);
    }
    s.problem = QStringLiteral(
                    "No safe temporary folder could be found for the work files, so no search "
                    "can be run. Folders tried:\n") +
                tried.join(u'\n');
    return QString();
}

QString workFolder() {
    {
        WorkState& s = state();
        std::lock_guard lock(s.mutex);
        if (!s.path.isEmpty() || s.tried) return s.path;
    }
    return createWorkFolder();
}

QString workFolderProblem() {
    WorkState& s = state();
    std::lock_guard lock(s.mutex);
    return s.problem;
}

void removeWorkFolder() {
    WorkState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.parentFd >= 0) {
        // Only the folder made here is removed: a link or another folder put in
        // its place is left alone.
        struct stat st {};
        if (::fstatat(s.parentFd, s.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(st.st_mode) && st.st_dev == s.device && st.st_ino == s.inode)
            removeTreeAt(s.parentFd, s.name.c_str());
        ::close(s.parentFd);
    }
    s.parentFd = -1;
    s.name.clear();
    s.path.clear();
    s.problem.clear();
    s.tried = false;
}

bool removeTreeAt(int parentFd, const char* name) {
    return removeEntry(parentFd, name);
}

int removeStaleWorkFolders(const QStringList& candidates) {
    int removed = 0;
    for (const QString& folder : candidates) {
        QString why;
        const int fd = openCandidate(folder, why);
        if (fd < 0) continue;
        std::vector<std::string> names;
        if (DIR* dir = ::fdopendir(::dup(fd))) {
            while (const dirent* e = ::readdir(dir))
                if (std::strncmp(e->d_name, kPrefix, std::strlen(kPrefix)) == 0)
                    names.emplace_back(e->d_name);
            ::closedir(dir);
        }
        for (const std::string& name : names) {
            const int dirFd =
                ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (dirFd < 0) continue;
            struct stat st {};
            const bool mine = ::fstat(dirFd, &st) == 0 && st.st_uid == ::geteuid();
            const pid_t owner = mine ? ownerOf(dirFd) : 0;
            ::close(dirFd);
            if (owner <= 0 || owner == ::getpid() || processRuns(owner)) continue;
            if (removeTreeAt(fd, name.c_str())) ++removed;
        }
        ::close(fd);
    }
    return removed;
}

}  // namespace qm
