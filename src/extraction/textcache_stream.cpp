// A large text of the disk cache read a block at a time as it is searched.
#include <unistd.h>
#include <algorithm>
#include <cerrno>

#include "extraction/textcache.h"
#include "text/error.h"

namespace qm {

namespace {
// Bytes read at a time: a block and the chunk being cut stay in the
// processor's cache.
constexpr std::int64_t kBlock = std::int64_t(128) << 10;
}  // namespace

EntryStream::EntryStream(int fd, std::int64_t from, std::int64_t length, QByteArray header,
                         QByteArray tail, QByteArray sum)
    : fd_(fd),
      from_(from),
      length_(length),
      header_(std::move(header)),
      tail_(std::move(tail)),
      sum_(std::move(sum)) {}

EntryStream::~EntryStream() {
    ::close(fd_);
}

void EntryStream::begin() {
    check_ = EntryCheck();
    check_.add(header_);
    at_ = 0;
    begun_ = true;
}

bool EntryStream::readBlock(std::string& out) {
    if (at_ == length_) {
        if (!whole_) {
            check_.add(tail_);
            whole_ = check_.sum() == sum_;
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
    check_.add(QByteArrayView(out.data() + kept, static_cast<qsizetype>(n)));
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
