// The text cache's folder: where it is, claimed only when it is the user's
// own and closed to others, counted, kept within its bound, emptied.
#include "extraction/textcache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "fs/fs.h"

namespace qm {

namespace {
// A temporary file this old was left by a writer that never finished.
constexpr qint64 kStaleTemporarySeconds = 600;
}  // namespace

QString DiskTextCache::defaultFolder() {
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
    // Only an absolute XDG_CACHE_HOME counts; a relative one is to be ignored.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return xdg + QStringLiteral("/quillmark");
    return QDir::homePath() + QStringLiteral("/.cache/quillmark");
}

namespace {

// Makes `folder` (0700) when it is missing and checks that it is this user's
// own and closed to others; an own folder open to others is closed first.
CacheFolderRefusal claimPrivateFolder(const QString& folder, int& error) {
    const QByteArray native = fs::encodeName(folder);
    QDir().mkpath(QFileInfo(folder).absolutePath());
    struct stat st {};
    if ((::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) ||
        ::lstat(native.constData(), &st) != 0) {
        error = errno;
        return CacheFolderRefusal::Unavailable;
    }
    if (S_ISLNK(st.st_mode)) return CacheFolderRefusal::Link;
    if (!S_ISDIR(st.st_mode)) return CacheFolderRefusal::NotAFolder;
    if (st.st_uid != ::geteuid()) return CacheFolderRefusal::OthersOwner;
    if ((st.st_mode & 077) != 0) {
        // Ours: closed through a descriptor of the very folder looked at.
        const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat again {};
        const bool closed = fd >= 0 && ::fstat(fd, &again) == 0 && again.st_ino == st.st_ino &&
                            again.st_dev == st.st_dev && ::fchmod(fd, 0700) == 0;
        if (fd >= 0) ::close(fd);
        if (!closed) return CacheFolderRefusal::OpenToOthers;
    }
    if (::access(native.constData(), W_OK | X_OK) != 0) {
        error = errno;
        return CacheFolderRefusal::Unavailable;
    }
    return CacheFolderRefusal::None;
}

}  // namespace

DiskTextCache::DiskTextCache(QString folder, QString salt, std::int64_t boundBytes)
    : folder_(std::move(folder)), salt_(salt.toUtf8()), bound_(boundBytes) {
    refusal_ = claimPrivateFolder(folder_, refusalError_);
    // The folder is counted (and pruned) at the first store: a run that only
    // reads entries never looks at all of them.
}

void DiskTextCache::prune() {
    std::lock_guard lock(mutex_);
    struct Item {
        std::string name;
        std::int64_t size;
        std::int64_t used;  // nanoseconds since the epoch
    };
    std::vector<Item> items;
    std::int64_t total = 0;
    // One look at each file, without Qt's file information (its times are
    // local times: every file would read the time zone).
    const QByteArray native = fs::encodeName(folder_);
    DIR* dir = ::opendir(native.constData());
    if (!dir) return;
    const int at = ::dirfd(dir);
    const std::int64_t now = static_cast<std::int64_t>(::time(nullptr));
    const std::string suffix = DiskTextCache::kEntrySuffix;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        struct stat st {};
        if (name == "." || name == ".." ||
            ::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (name.size() < suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            // A temporary file left by a writer that died.
            if (name.find(suffix + '.') != std::string::npos &&
                now - static_cast<std::int64_t>(st.st_mtim.tv_sec) > kStaleTemporarySeconds)
                ::unlinkat(at, name.c_str(), 0);
            continue;
        }
        items.push_back({name, static_cast<std::int64_t>(st.st_size),
                         static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                             static_cast<std::int64_t>(st.st_mtim.tv_nsec)});
        total += static_cast<std::int64_t>(st.st_size);
    }
    if (total > bound_) {
        std::sort(items.begin(), items.end(),
                  [](const Item& a, const Item& b) { return a.used < b.used; });
        // Down to nine tenths, so that the next few stores do not prune again.
        const std::int64_t target = bound_ - bound_ / 10;
        for (const Item& it : items) {
            if (total <= target) break;
            if (::unlinkat(at, it.name.c_str(), 0) == 0) total -= it.size;
        }
    }
    ::closedir(dir);
    used_ = total;
    counted_ = true;
}

bool DiskTextCache::clear() {
    if (!usable()) return false;  // not this user's folder: nothing of it is touched
    std::lock_guard lock(mutex_);
    bool all = true;
    const QFileInfoList list =
        QDir(folder_).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo& fi : list)
        if (fi.fileName().contains(QLatin1String(kEntrySuffix)) &&
            !QFile::remove(fi.absoluteFilePath()))
            all = false;
    used_ = 0;
    counted_ = true;
    return all;
}

std::int64_t DiskTextCache::bytesUsed() {
    if (!usable()) return 0;
    {
        std::lock_guard lock(mutex_);
        if (counted_) return used_;
    }
    prune();
    std::lock_guard lock(mutex_);
    return used_;
}

QString extractorSalt(const QString& extractorPath) {
    const QFileInfo fi(extractorPath);
    return fi.absoluteFilePath() + u'\n' + QString::number(fi.size()) + u'\n' +
           QString::number(fi.lastModified().toMSecsSinceEpoch());
}

}  // namespace qm
