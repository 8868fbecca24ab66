#include "extraction/textcache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "fs/fs.h"
#include "text/error.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace qm {

// --- FileIdentity ---

std::optional<FileIdentity> FileIdentity::of(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    struct stat st {};
    if (::stat(fs::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    FileIdentity id;
    id.absolutePath = QFileInfo(path).absoluteFilePath();
    id.size = static_cast<std::int64_t>(st.st_size);
    id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000ll +
                    static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    id.changedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000ll +
                   static_cast<std::int64_t>(st.st_ctim.tv_nsec);
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    return id;
}

std::string textCacheKey(const FileIdentity& file, const QString& password,
                         const QString& reading) {
    // Fields joined by NUL, which neither a path nor a typed password holds.
    std::string key = fs::encodeName(file.absolutePath).toStdString();
    key += '\0';
    key += std::to_string(file.size) + ':' + std::to_string(file.modifiedNs) + ':' +
           std::to_string(file.changedNs) + ':' + std::to_string(file.device) + ':' +
           std::to_string(file.inode);
    key += '\0';
    key += password.toStdString();
    if (!reading.isEmpty()) {
        key += '\0';
        key += reading.toStdString();
    }
    return key;
}

// --- TextCache ---

TextCache::TextCache(std::int64_t boundBytes) : bound_(boundBytes) {}
TextCache::~TextCache() = default;

void TextCache::attachDisk(DiskTextCache* disk) {
    std::lock_guard lock(mutex_);
    disk_ = disk;
}

std::shared_ptr<const CachedText> TextCache::find(const FileIdentity& file, const QString& password,
                                                  const QString& reading, bool streamed) {
    const std::string key = textCacheKey(file, password, reading);
    DiskTextCache* disk = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = index_.find(key);
        if (it != index_.end()) {
            lru_.splice(lru_.begin(), lru_, it->second);
            return it->second->entry;
        }
        disk = password.isEmpty() ? disk_ : nullptr;
        if (!disk) return nullptr;
    }
    // The disk is read without holding the lock.
    std::optional<CachedText> found = disk->find(key, streamed);
    if (!found) return nullptr;
    // A stream is its reader's alone.
    if (found->stream) return std::make_shared<const CachedText>(std::move(*found));
    std::lock_guard lock(mutex_);
    auto entry = std::make_shared<const CachedText>(std::move(*found));
    insertLocked(key, entry);
    return entry;
}

void TextCache::store(const FileIdentity& file, const QString& password, CachedText entry,
                      const QString& reading) {
    const std::string key = textCacheKey(file, password, reading);
    auto shared = std::make_shared<const CachedText>(std::move(entry));
    DiskTextCache* disk = nullptr;
    {
        std::lock_guard lock(mutex_);
        insertLocked(key, shared);
        disk = password.isEmpty() ? disk_ : nullptr;
    }
    if (disk) disk->store(key, *shared);
}

void TextCache::insertLocked(const std::string& key, std::shared_ptr<const CachedText> entry) {
    auto old = index_.find(key);
    if (old != index_.end()) {
        used_ -= old->second->bytes;
        lru_.erase(old->second);
        index_.erase(old);
    }
    const std::int64_t bytes = entry->footprint(key.size());
    if (bytes > bound_) return;
    lru_.push_front(Node{key, std::move(entry), bytes});
    index_.emplace(key, lru_.begin());
    used_ += bytes;
    while (used_ > bound_ && !lru_.empty()) {
        const Node& last = lru_.back();
        used_ -= last.bytes;
        index_.erase(last.key);
        lru_.pop_back();
    }
}

std::int64_t TextCache::bytesUsed() const {
    std::lock_guard lock(mutex_);
    return used_;
}
std::size_t TextCache::entryCount() const {
    std::lock_guard lock(mutex_);
    return lru_.size();
}
void TextCache::clear() {
    std::lock_guard lock(mutex_);
    lru_.clear();
    index_.clear();
    used_ = 0;
}

}  // namespace qm
