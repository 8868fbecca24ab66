#include "search/pages.h"

#include <algorithm>
#include <cstring>

namespace qm {

std::size_t countFormFeeds(std::string_view bytes) {
    std::size_t n = 0;
    for (const char *p = bytes.data(), *end = p + bytes.size(); p < end; ++n) {
        p = static_cast<const char*>(std::memchr(p, '\f', static_cast<std::size_t>(end - p)));
        if (!p) break;
        ++p;
    }
    return n;
}

std::size_t PageFinder::pageAtByte(std::size_t offset) {
    constexpr std::size_t kStretch = std::size_t(1) << 20;
    const std::string& all = text_.utf8();
    if (offset > scanned_ && scanned_ < all.size()) {
        const std::size_t to = std::min(all.size(), std::max(offset, scanned_ + kStretch));
        const char* begin = all.data();
        const char* end = begin + to;
        for (const char* p = begin + scanned_; p < end;) {
            const void* ff = std::memchr(p, '\f', static_cast<std::size_t>(end - p));
            if (!ff) break;
            const char* at = static_cast<const char*>(ff);
            formFeeds_.push_back(static_cast<std::size_t>(at - begin));
            p = at + 1;
        }
        scanned_ = to;
    }
    return 1 +
           static_cast<std::size_t>(std::lower_bound(formFeeds_.begin(), formFeeds_.end(), offset) -
                                    formFeeds_.begin());
}

std::size_t PageFinder::pageAt(std::size_t chunk, std::size_t offset) {
    const std::size_t start =
        static_cast<std::size_t>(text_.chunk(chunk).data() - text_.utf8().data());
    return pageAtByte(start + offset);
}

}  // namespace qm
