#pragma once
// The pages shown last, kept in memory only: least recently used first out,
// bounded both in pages and in bytes. Not thread-safe: one owner's thread.

#include <QString>
#include <cstdint>
#include <list>
#include <memory>

#include "preview/pagerender.h"

namespace qm {

// What tells one render from another: the file as it is now (its path and a
// stamp of its size and modification time), the page, the width asked for and
// whether it was opened with a password.
struct PageKey {
    QString path;
    QString stamp;
    int page = 0;
    int width = 0;  // the width asked for, in pixels
    bool password = false;
    bool operator==(const PageKey&) const = default;
};

class PageCache {
  public:
    PageCache(int maxPages, qint64 maxBytes) : maxPages_(maxPages), maxBytes_(maxBytes) {}

    // The page, now the most recently used; null when not kept.
    std::shared_ptr<const PageImage> find(const PageKey& key);
    // Keeps a shown page (anything else is not kept), dropping the least
    // recently used ones until both bounds hold. A page larger than the
    // byte bound is not kept.
    void store(const PageKey& key, std::shared_ptr<const PageImage> image);

    int pages() const { return static_cast<int>(entries_.size()); }
    qint64 bytes() const { return bytes_; }

  private:
    struct Entry {
        PageKey key;
        std::shared_ptr<const PageImage> image;
    };
    std::list<Entry> entries_;  // most recent first
    int maxPages_;
    qint64 maxBytes_;
    qint64 bytes_ = 0;
};

}  // namespace qm
