#include "search/pages.h"

#include <algorithm>
#include <cstring>

namespace qm {

std::size_t PageFinder::pageAtByte(std::size_t offset) {
    if (!scanned_) {
        scanned_ = true;
        const std::string& all = text_.utf8();
        const char* begin = all.data();
        const char* end = begin + all.size();
        for (const char* p = begin; p < end;) {
            const void* ff = std::memchr(p, '\f', static_cast<std::size_t>(end - p));
            if (!ff) break;
            const char* at = static_cast<const char*>(ff);
            formFeeds_.push_back(static_cast<std::size_t>(at - begin));
            p = at + 1;
        }
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
