// A large text of the disk cache read a block at a time as it is searched.
#include <unistd.h>
#define XXH_INLINE_ALL  // the check's loop built here, for this processor
#include <xxhash.h>
#include <algorithm>
#include <cerrno>

#include "extraction/textcache.h"
#include "text/error.h"

namespace qm {

namespace {
// Bytes read at a time: a block and the chunk being cut stay in the
// processor's cache.
constexpr std::int64_t kBlock = std::int64_t(128) << 10;

void add(XXH3_state_t* state, const void* bytes, std::size_t n) {
    XXH3_128bits_update(state, bytes, n);
}
}  // namespace

struct EntryStream::Check {
    XXH3_state_t state;
};

EntryStream::EntryStream(int fd, std::int64_t from, std::int64_t length, QByteArray header,
                         QByteArray tail, QByteArray sum)
    : fd_(fd),
      from_(from),
      length_(length),
      header_(std::move(header)),
      tail_(std::move(tail)),
      sum_(std::move(sum)),
      check_(std::make_unique<Check>()) {}

EntryStream::~EntryStream() {
    ::close(fd_);
}

void EntryStream::begin() {
    XXH3_INITSTATE(&check_->state);
    XXH3_128bits_reset(&check_->state);
    add(&check_->state, header_.constData(), static_cast<std::size_t>(header_.size()));
    at_ = 0;
    begun_ = true;
}

bool EntryStream::readBlock(std::string& out) {
    if (at_ == length_) {
        if (!whole_) {
            add(&check_->state, tail_.constData(), static_cast<std::size_t>(tail_.size()));
            const XXH128_hash_t h = XXH3_128bits_digest(&check_->state);
            unsigned char sum[16];
            for (int half = 0; half < 2; ++half)
                for (int i = 0; i < 8; ++i)
                    sum[8 * half + i] = static_cast<unsigned char>(
                        ((half == 0 ? h.low64 : h.high64) >> (8 * i)) & 0xFF);
            whole_ = sum_.size() == 16 &&
                     std::equal(sum, sum + 16, sum_.constData(), [](unsigned char a, char b) {
                         return a == static_cast<unsigned char>(b);
                     });
        }
        begun_ = false;
        return false;
    }
    const std::size_t kept = out.size();
    const std::int64_t n = std::min(kBlock, length_ - at_);
    out.resize(kept + static_cast<std::size_t>(n));
    std::int64_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd_, out.data() + kept + got, static_cast<std::size_t>(n - got),
                                  from_ + at_ + got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            out.resize(kept);
            whole_ = false;
            throw Error(QStringLiteral("A cached text is damaged."));
        }
        got += r;
    }
    add(&check_->state, out.data() + kept, static_cast<std::size_t>(n));
    at_ += n;
    return true;
}

bool EntryStream::next(std::string& out) {
    if (!begun_) begin();
    return readBlock(out);
}

bool EntryStream::whole() {
    if (whole_) return *whole_;
    // The rest is read through the check only.
    if (!begun_) begin();
    thread_local std::string rest;
    try {
        do rest.clear();
        while (readBlock(rest));
    } catch (const Error&) {
        return false;
    }
    return whole_.value_or(false);
}

}  // namespace qm
