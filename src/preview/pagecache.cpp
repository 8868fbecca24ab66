#include "preview/pagecache.h"

namespace qm {

std::shared_ptr<const PageImage> PageCache::find(const PageKey& key) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (!(it->key == key)) continue;
        entries_.splice(entries_.begin(), entries_, it);
        return entries_.front().image;
    }
    return nullptr;
}

void PageCache::store(const PageKey& key, std::shared_ptr<const PageImage> image) {
    if (!image || !image->shown() || image->bytes() > maxBytes_ || maxPages_ <= 0) return;
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (it->key == key) {
            bytes_ -= it->image->bytes();
            entries_.erase(it);
            break;
        }
    bytes_ += image->bytes();
    entries_.push_front({key, std::move(image)});
    while (static_cast<int>(entries_.size()) > maxPages_ || bytes_ > maxBytes_) {
        bytes_ -= entries_.back().image->bytes();
        entries_.pop_back();
    }
}

}  // namespace qm
