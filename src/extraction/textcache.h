#pragma once
// A cache of extracted texts, shared by the search run and the add-time check.
// An entry belongs to one state of one file (absolute path, size, modification
// and change times, device and inode), one password and one way of reading
// (plain, or with scanned pages read by OCR in given languages by a given
// engine); a file changed on disk no longer
// matches its entry and is extracted again. Entries hold the text (compressed
// when that saves room), what became of a file without text, and the size of
// the text file the extractor wrote. The memory taken is bounded: the least
// recently used entries go first. Optionally backed by a folder on disk that
// keeps entries between runs of the program (DiskTextCache).
//
// Thread-safe: extraction workers look up and store entries concurrently.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "extraction/entrycheck.h"
#include "extraction/outcome.h"

namespace qm {

class TextChunks;
class EntryStream;

// The state of a file on disk that an entry belongs to.
struct FileIdentity {
    QString absolutePath;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
    // Change time: moves with a chmod, or a rewrite whose modification time was put back.
    std::int64_t changedNs = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    // The identity of the file at `path` now; nothing when it cannot be examined
    // or is not a regular file.
    static std::optional<FileIdentity> of(const QString& path);
    bool operator==(const FileIdentity&) const = default;
};

// What the extractor made of a file. Only outcomes that belong to the file's
// content are kept (isContentOutcome): a failure with a passing cause (a
// signal, a full disk, a time limit) is never stored.
struct CachedText {
    TextOutcome outcome = TextOutcome::Protected;
    // Size in bytes of the text file the extractor wrote; -1 when it wrote none.
    std::int64_t textFileSize = -1;
    // The text as valid UTF-8 (Text only); compressed when `compressed`: as
    // LZ4 blocks when `lz4` (the total length, then each block's packed size
    // and bytes, each unpacking to 128 KiB but the last), else as qCompress
    // packs it (entries kept on disk by earlier versions).
    QByteArray data;
    bool compressed = false;
    bool lz4 = false;
    // The data is known to unpack to valid UTF-8 (so said when it was made,
    // and kept on disk under the entry's check). Otherwise it is read by the
    // rule of text files.
    bool trusted = false;
    // The pages whose text OCR gave (Text only), in order, and each one's
    // confidence (as FileText's; empty in entries of earlier runs).
    std::vector<int> ocrPages;
    std::vector<int> ocrConfidence;
    // Set for a large valid text of the disk cache found for a reader that
    // searches it as it reads it (TextCache::find with `streamed`): the text
    // stays in its file and forEachChunk reads it a block at a time; `data`
    // is then empty. What was found in it may be used only once the stream
    // said the entry is whole (EntryStream::whole).
    std::shared_ptr<EntryStream> stream;

    // The text as chunks; empty chunks for other outcomes. Throws qm::Error
    // when compressed data is damaged.
    TextChunks chunks() const;
    // The same chunks handed to `chunk` one at a time, unpacked and decoded
    // only as far as they are taken: a reader that stops early (by throwing)
    // pays for the beginning of the text only. Throws qm::Error as chunks()
    // does, once the damage is reached.
    void forEachChunk(const std::function<void(std::string_view)>& chunk) const;
    // The data unpacked, as it is (Text only). Throws qm::Error when damaged.
    std::string unpacked() const;
    // When the data unpacks to valid UTF-8: keeps it unpacked, marked valid,
    // and says so (false, and nothing changed, when it is not or is damaged).
    bool makeTrusted();
    // An entry for a text (valid UTF-8), compressed when that saves at least an eighth.
    static CachedText forText(const std::string& utf8, std::int64_t textFileSize,
                              std::vector<int> ocrPages = {}, std::vector<int> ocrConfidence = {});
    static CachedText forOutcome(TextOutcome outcome, std::int64_t textFileSize);
    // Bytes an entry is counted as, key included.
    std::int64_t footprint(std::size_t keyBytes) const;
};

// The text of an entry file read a block at a time into a room its thread
// uses again, every block passing through the entry's check as it is read: a
// large text takes no memory of its size, and it is searched while its bytes
// are still in the processor's cache. One reader at a time.
class EntryStream {
  public:
    // `fd` (now the stream's) holds the entry; its text is `length` bytes
    // from `from`. `header` and `tail` are the bytes the check covers before
    // and after the text, `sum` the check the file ends with.
    EntryStream(int fd, std::int64_t from, std::int64_t length, QByteArray header, QByteArray tail,
                QByteArray sum);
    ~EntryStream();
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    // The next next() reads the text from its beginning.
    void rewind() { begun_ = false; }
    // Appends the next block of the text to `out`; false at its end (and the
    // text begins again). Throws qm::Error when the file ends early.
    bool next(std::string& out);
    // Reads what was not read yet through the check: true when the entry is
    // whole and as it was written.
    bool whole();

  private:
    void begin();
    bool readBlock(std::string& out);
    int fd_;
    std::int64_t from_, length_, at_ = 0;
    QByteArray header_, tail_, sum_;
    EntryCheck check_;
    bool begun_ = false;
    std::optional<bool> whole_;
};

// The key of an entry: a file's identity, the password it was extracted with,
// and how it was read (`reading`: empty for plain extraction, else what tells
// one OCR reading from another, e.g. ocrCacheTag()).
std::string textCacheKey(const FileIdentity& file, const QString& password,
                         const QString& reading = {});

class DiskTextCache;

class TextCache {
  public:
    static constexpr std::int64_t kDefaultBound = 512ll * 1024 * 1024;

    explicit TextCache(std::int64_t boundBytes = kDefaultBound);
    ~TextCache();
    TextCache(const TextCache&) = delete;
    TextCache& operator=(const TextCache&) = delete;

    // The entry for a file as it is and a password, or null. A hit becomes the
    // most recently used entry. Looks on disk too when a disk cache is attached
    // (and keeps what it finds there in memory).
    // With `streamed`, a large valid text of the disk cache is handed over as
    // a stream (CachedText::stream) and not kept in memory.
    std::shared_ptr<const CachedText> find(const FileIdentity& file, const QString& password,
                                           const QString& reading = {}, bool streamed = false);
    // Stores an entry, replacing any for the same key, and drops least recently
    // used entries until the bound holds again. An entry larger than the bound
    // is not kept. Also written to the attached disk cache, except for texts
    // got with a password (those stay in memory only).
    void store(const FileIdentity& file, const QString& password, CachedText entry,
               const QString& reading = {});

    // Keeps entries between runs in `disk` too (not owned; null detaches).
    void attachDisk(DiskTextCache* disk);

    std::int64_t bound() const { return bound_; }
    std::int64_t bytesUsed() const;
    std::size_t entryCount() const;
    void clear();

  private:
    struct Node {
        std::string key;
        std::shared_ptr<const CachedText> entry;
        std::int64_t bytes = 0;
    };
    void insertLocked(const std::string& key, std::shared_ptr<const CachedText> entry);

    const std::int64_t bound_;
    mutable std::mutex mutex_;
    std::list<Node> lru_;  // most recently used first
    std::unordered_map<std::string, std::list<Node>::iterator> index_;
    std::int64_t used_ = 0;
    DiskTextCache* disk_ = nullptr;
};

// Entries kept in files of a folder between runs: one file per key, named by
// a hash of the key (the password and the path are not written). Each file is
// written under a temporary name and renamed into place, so a reader sees
// either a whole entry or none, also with two programs at work at once or a
// crash in the middle of a write; a file that is cut short or damaged is
// ignored and rewritten at the next store. The folder's total size is bounded:
// the files used least recently are removed first.
// Why a disk cache's folder is not used.
enum class CacheFolderRefusal : std::uint8_t {
    None,          // it is used
    Unavailable,   // it cannot be made or looked at (the error number tells why)
    Link,          // it is a symbolic link
    NotAFolder,    // something else has its name
    OthersOwner,   // it belongs to another user
    OpenToOthers,  // others may open it, and it cannot be closed
};

class DiskTextCache {
  public:
    static constexpr std::int64_t kDefaultBound = 1024ll * 1024 * 1024;
    // How the name of an entry's file ends.
    static constexpr char kEntrySuffix[] = ".qtc";

    // The user's cache folder: XDG_CACHE_HOME/quillmark, else ~/.cache/quillmark.
    static QString defaultFolder();

    // Uses (and makes, owner-only) `folder`. `salt` tells apart texts made by
    // different extractors (e.g. the extractor's path, size and date). The
    // folder is used only when it is the user's own (a folder of this user,
    // not a symbolic link, looked at with lstat) and closed to others: an own
    // folder that others may open is closed (0700) first. Entries are 0600.
    DiskTextCache(QString folder, QString salt, std::int64_t boundBytes = kDefaultBound);

    bool usable() const { return refusal_ == CacheFolderRefusal::None; }
    // Why the folder is not used (the faces say it once); with Unavailable,
    // the system's error number.
    CacheFolderRefusal refusal() const { return refusal_; }
    int refusalError() const { return refusalError_; }
    const QString& folder() const { return folder_; }

    // With `streamed`, a valid unpacked text of at least streamedFrom() bytes
    // is left in its file (CachedText::stream).
    std::optional<CachedText> find(const std::string& key, bool streamed = false);
    static constexpr std::int64_t kStreamedBytes = std::int64_t(256) << 10;
    std::int64_t streamedFrom() const { return streamedFrom_; }
    void setStreamedFrom(std::int64_t bytes) {
        streamedFrom_ = bytes;
    }  // kStreamedBytes unless set
    void store(const std::string& key, const CachedText& entry);
    // Removes least recently used files until the folder holds at most the bound.
    void prune();
    // Removes every entry (and any temporary file a writer left). True when
    // the folder holds no entry afterwards.
    bool clear();
    // Bytes in the folder's entry files, as last counted (counted now when
    // they never were).
    std::int64_t bytesUsed();

    // The file an entry with this key is kept in.
    QString pathFor(const std::string& key) const;

  private:
    QByteArray digest(const std::string& key) const;
    QString pathOf(const QByteArray& keyDigest) const;

    QString folder_;
    QByteArray salt_;
    std::int64_t bound_;
    CacheFolderRefusal refusal_ = CacheFolderRefusal::None;
    int refusalError_ = 0;
    mutable std::mutex mutex_;
    std::int64_t used_ = 0;  // bytes counted at the first store plus bytes written since
    bool counted_ = false;   // the folder has been counted
    std::int64_t streamedFrom_ = kStreamedBytes;
};

// The salt of a disk cache for an extractor: its path, size and modification time.
QString extractorSalt(const QString& extractorPath);

}  // namespace qm
