#include "filelist/folderscan.h"

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QChar>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "fs/fs.h"
#include "text/display.h"
#include "text/error.h"
#include "text/utf8.h"

namespace qm {

namespace {

// A directory opened for listing; closed when it goes out of scope.
class DirHandle {
  public:
    explicit DirHandle(const QByteArray& path) {
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            error_ = errno;
            return;
        }
        dir_ = ::fdopendir(fd);
        if (!dir_) {
            error_ = errno;
            ::close(fd);
        }
    }
    ~DirHandle() {
        if (dir_) ::closedir(dir_);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;

    bool ok() const { return dir_ != nullptr; }
    int error() const { return error_; }
    int fd() const { return ::dirfd(dir_); }
    // The next entry other than "." and ".."; nullptr at the end or on a
    // failure (then error() is set).
    const dirent* next() {
        for (;;) {
            errno = 0;
            const dirent* e = ::readdir(dir_);
            if (!e) {
                error_ = errno;
                return nullptr;
            }
            const char* n = e->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
            return e;
        }
    }

  private:
    DIR* dir_ = nullptr;
    int error_ = 0;
};

// The entry's type without following a symbolic link.
unsigned char entryType(int dirFd, const dirent* e) {
    if (e->d_type != DT_UNKNOWN) return e->d_type;
    struct stat st {};
    if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
    if (S_ISDIR(st.st_mode)) return DT_DIR;
    if (S_ISREG(st.st_mode)) return DT_REG;
    if (S_ISLNK(st.st_mode)) return DT_LNK;
    return DT_FIFO;  // any other kind: not listed
}

// What the file test of the listing found.
enum class FileCheck { Openable, NotAFile, Unopenable };

// The file test of the listing, relative to the open folder: a regular file
// (a symbolic link is followed) that opens for reading. A link is looked at
// before it is opened so that devices and pipes behind it are never opened.
// Unopenable: a regular file that does not open (`error` tells why).
FileCheck checkFileAt(int dirFd, const char* name, unsigned char type, int& error) {
    if (type != DT_REG) {
        struct stat st {};
        if (::fstatat(dirFd, name, &st, 0) != 0) {
            // A link that leads nowhere is no file; a folder that cannot be
            // searched hides what its entries are.
            error = errno;
            return errno == EACCES ? FileCheck::Unopenable : FileCheck::NotAFile;
        }
        if (!S_ISREG(st.st_mode)) return FileCheck::NotAFile;
    }
    const int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = errno;
        return errno == ENOENT ? FileCheck::NotAFile : FileCheck::Unopenable;
    }
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return ok ? FileCheck::Openable : FileCheck::NotAFile;
}

void note(WalkProblems* problems, const QString& path, int error) {
    if (problems) problems->push_back({path, error});
}

bool isUnlistable(int error) {
    return error == EACCES || error == EPERM || error == ENOENT || error == ENOTDIR;
}

// Gone, or no longer a folder: nothing is left to read.
bool isGone(int error) {
    return error == ENOENT || error == ENOTDIR;
}

QString describe(const QString& folder, int error) {
    return QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral(": ") + folder;
}

// The order in which a folder's entries are listed. The directory itself keeps
// them in no order a user would recognise (hash order on most file systems), so
// they are listed by name, letter case ignored first, as file managers show them.
bool byName(QStringView a, QStringView b) {
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.compare(b, Qt::CaseSensitive) < 0;
}

// Runs one part of the walk; a failure in it goes to `failed` and the walk goes on.
template <class F>
void attempt(FolderWalkStage stage, const FolderWalkFailure& failed, F&& body) {
    try {
        std::forward<F>(body)();
    } catch (const Error& e) {
        if (failed) failed(stage, e.description());
    } catch (const std::exception& e) {
        if (failed) failed(stage, QString::fromLocal8Bit(e.what()));
    }
}

// The real folders the walk has met (device and inode), so that each is
// walked once, however many links lead to it.
using SeenFolders = std::set<std::pair<dev_t, ino_t>>;

// The folder's path with every link resolved; empty when it cannot be had.
QByteArray realPath(const QByteArray& path) {
    char* real = ::realpath(path.constData(), nullptr);
    if (!real) return QByteArray();
    QByteArray out(real);
    std::free(real);
    return out;
}

// True when the link `name` in the folder `folder` leads to that folder or to
// one that holds it: following it would walk the same tree again.
bool leadsAbove(const QByteArray& folder, const char* name) {
    const QByteArray here = realPath(folder);
    const QByteArray target = realPath(folder + name);
    if (here.isEmpty() || target.isEmpty()) return false;
    return here == target || target == "/" || here.startsWith(target + '/');
}

// Lists the subfolders of every entry of `level` that may be walked, in order.
// Entries that cannot be listed are removed from `level`. A link to a folder
// is followed as the folder, unless the folder was met before; a link that
// leads back above itself (a loop) is named in `problems` with ELOOP.
QStringList walkLevel(QStringList& level, const std::function<void()>& visiting,
                      const FolderWalkFailure& failed, WalkProblems* problems, SeenFolders& seen) {
    QStringList found;
    qsizetype i = 0;
    while (i < level.size()) {
        const QString f = level[i];
        bool unlistable = false;
        attempt(FolderWalkStage::Listing, failed, [&] {
            const QByteArray native = fs::encodeName(f);
            if (native.size() >= kFolderPathLimit) {
                note(problems, f, ENAMETOOLONG);
                unlistable = true;
                return;
            }
            struct stat st {};
            const bool known = ::stat(native.constData(), &st) == 0;
            if (!known || !S_ISDIR(st.st_mode)) {
                // Gone, or never a folder: kept without a word. A folder above
                // that cannot be searched hides it: that is named.
                if (!known && (errno == EACCES || errno == EPERM)) {
                    note(problems, f, errno);
                    unlistable = true;
                }
                return;
            }
            if (visiting) visiting();
            DirHandle dir(native);
            if (!dir.ok()) {
                if (isUnlistable(dir.error())) {
                    if (!isGone(dir.error())) note(problems, f, dir.error());
                    unlistable = true;
                    return;
                }
                throw Error(describe(f, dir.error()));
            }
            const qsizetype first = found.size();
            while (const dirent* e = dir.next()) {
                const unsigned char type = entryType(dir.fd(), e);
                if (type != DT_DIR && type != DT_LNK) continue;
                const char* name = e->d_name;
                const std::size_t len = std::strlen(name);
                if (len >= static_cast<std::size_t>(kNameLimit)) continue;
                if (name[0] == '.') continue;  // hidden folders and their trees
                // A link is followed: what it leads to decides. A folder whose
                // entries cannot be looked at (no search permission) is still
                // listed, for the level below to name.
                struct stat sub {};
                const bool known = ::fstatat(dir.fd(), name, &sub, 0) == 0;
                const int why = known ? 0 : errno;
                const QByteArray bytes = QByteArray::fromRawData(name, static_cast<qsizetype>(len));
                const QString path = f + fs::decodeName(bytes) + u'/';
                // A link that cannot be looked at (its folder cannot be
                // searched) may lead to a folder: it is named with the reason.
                if (!known && type == DT_LNK && (why == EACCES || why == EPERM))
                    note(problems, path, why);
                if (known ? !S_ISDIR(sub.st_mode) : type != DT_DIR) continue;
                if (known && !seen.insert({sub.st_dev, sub.st_ino}).second) {
                    // Walked already: another link to it goes unsaid, a loop is named.
                    if (type == DT_LNK && leadsAbove(native, name)) note(problems, path, ELOOP);
                    continue;
                }
                found.push_back(path);
            }
            std::sort(found.begin() + first, found.end(), [](const QString& a, const QString& b) {
                return byName(QStringView(a).chopped(1), QStringView(b).chopped(1));
            });
            if (dir.error() != 0) {
                if (isUnlistable(dir.error())) {
                    if (!isGone(dir.error())) note(problems, f, dir.error());
                    unlistable = true;
                    return;
                }
                throw Error(describe(f, dir.error()));
            }
        });
        if (unlistable) {
            // The subfolders found before the failure stay.
            const qsizetype at = level.indexOf(f);
            if (at >= 0) level.removeAt(at);
            if (at > i) ++i;  // an earlier duplicate went; this one stays
            continue;
        }
        ++i;
    }
    return found;
}

}  // namespace

void walkFolders(QStringList& folders, bool recurse, const FolderWalkFailure& failed,
                 WalkProblems* problems, const std::function<void()>& visiting) {
    // The levels below the entries of `folders`, each listed from the one above.
    std::vector<QStringList> levels;
    SeenFolders seen;
    for (const QString& f : folders) {
        struct stat st {};
        if (::stat(fs::encodeName(f).constData(), &st) == 0) seen.insert({st.st_dev, st.st_ino});
    }
    QStringList current = walkLevel(folders, visiting, failed, problems, seen);
    while (recurse && !current.isEmpty()) {
        QStringList next = walkLevel(current, visiting, failed, problems, seen);
        levels.push_back(std::move(current));
        current = std::move(next);
    }
    if (!current.isEmpty()) levels.push_back(std::move(current));

    for (QStringList& level : levels) {
        for (QString& g : level) {
            attempt(FolderWalkStage::Collecting, failed, [&] {
                if (visiting) visiting();
                if (fs::isFolder(g)) folders.push_back(std::move(g));
            });
        }
        level = QStringList();  // give the memory back level by level
    }
}

namespace {

// The matching names of `folder` (ending in "/"), and those that could not be
// opened with their reasons.
QStringList listNames(const QString& path, const QString& pattern,
                      std::vector<std::pair<QString, int>>* unreadable) {
    QStringList names;
    const QByteArray native = fs::encodeName(path);
    DirHandle dir(native);
    if (!dir.ok()) return names;
    const FilePattern match(pattern);
    while (const dirent* e = dir.next()) {
        const unsigned char type = entryType(dir.fd(), e);
        if (type != DT_REG && type != DT_LNK) continue;
        const char* name = e->d_name;
        const std::size_t len = std::strlen(name);
        QString qname = fs::decodeName(QByteArray::fromRawData(name, static_cast<qsizetype>(len)));
        if (!match.matches(qname)) continue;
        int error = 0;
        const FileCheck check = checkFileAt(dir.fd(), name, type, error);
        if (check == FileCheck::NotAFile) continue;
        if (native.size() + static_cast<qsizetype>(len) >= kFolderPathLimit) {
            if (unreadable) unreadable->emplace_back(std::move(qname), ENAMETOOLONG);
        } else if (check == FileCheck::Unopenable) {
            if (unreadable) unreadable->emplace_back(std::move(qname), error);
        } else {
            names.push_back(std::move(qname));
        }
    }
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return byName(a, b); });
    return names;
}

}  // namespace

QStringList listMatchingFiles(const QString& folder, const QString& pattern,
                              WalkProblems* problems) {
    QString path = folder;
    if (!path.endsWith(u'/')) path += u'/';
    std::vector<std::pair<QString, int>> unreadable;
    const QStringList names = listNames(path, pattern, problems ? &unreadable : nullptr);
    for (auto& [name, error] : unreadable) note(problems, path + name, error);
    return names;
}

QStringList filesToAddFromFolder(const QString& folderEntry, const QString& pattern,
                                 WalkProblems* problems) {
    QString folder = folderEntry;
    if (folder.endsWith(u'/')) folder.chop(1);
    // The root folder's entry is "//": what is left is "/", and the doubled
    // separator of folder + "/" + name is collapsed below.
    const QString listed = folder.isEmpty() ? QStringLiteral("/") : folder;
    QStringList out;
    std::vector<std::pair<QString, int>> unreadable;
    const QStringList names = listNames(listed.endsWith(u'/') ? listed : listed + u'/', pattern,
                                        problems ? &unreadable : nullptr);
    const auto hidden = [](const QString& name) {
        return name.startsWith(u'~') || name.startsWith(u'.');
    };
    out.reserve(names.size());
    for (const QString& name : names) {
        if (hidden(name)) continue;
        out.push_back(fs::collapseSlashes(folder + u'/' + name));
    }
    for (auto& [name, error] : unreadable)
        if (!hidden(name)) note(problems, fs::collapseSlashes(folder + u'/' + name), error);
    return out;
}

}  // namespace qm
