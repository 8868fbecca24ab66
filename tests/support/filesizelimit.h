#pragma once
// Writes past a size fail while a FileSizeLimit lives, in this process and the
// children it starts: a stand-in for a full disk that holds even for root.
// SIGXFSZ is ignored meanwhile, so a write fails instead of killing.

#include <sys/resource.h>
#include <QtGlobal>
#include <csignal>

namespace qm::test {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(qint64 bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        handler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    void (*handler_)(int) = nullptr;
};

}  // namespace qm::test
