#pragma once
// Pages made ready off the owner's thread: each request runs loadPage
// (pagerender.h) on a thread of its own and answers through `ready` on the
// owner's thread. A new request ends the one before (its children are
// killed), so only the page wanted last is answered; the pages shown last
// come from the cache at once.

#include <QObject>
#include <QThread>
#include <memory>
#include <vector>

#include "preview/pagecache.h"
#include "preview/pagerender.h"

namespace qm {

class PageSource : public QObject {
    Q_OBJECT
  public:
    struct Setup {
        PageTools tools;
        QString folder;  // the source's own folder of the work folder
        int cachePages = 6;
        qint64 cacheBytes = 48ll * 1024 * 1024;
    };

    explicit PageSource(Setup setup, QObject* parent = nullptr);
    // Ends the page being made and waits for its thread.
    ~PageSource() override;

    // Asks for a page; returns the request's number. A kept page is answered
    // before this returns.
    quint64 request(const PageRequest& request);
    // Ends the request running, if any: it is not answered.
    void cancel();

    const PageCache& cache() const { return cache_; }
    // Requests whose children are still running (ended ones included).
    int running() const;

  Q_SIGNALS:
    // The answer to request `id`; only the latest request is answered.
    void ready(quint64 id, std::shared_ptr<const qm::PageImage> image);

  private:
    void finish(quint64 id, const PageKey& key, std::shared_ptr<const PageImage> image);
    PageKey keyOf(const PageRequest& r) const;

    // The decrypted copy of the protected file shown last, kept for its next page.
    struct Decrypted {
        QString path, stamp, password, copy;
    };
    QString keptCopyFor(const PageRequest& r, const PageKey& key);

    Setup setup_;
    Decrypted decrypted_;
    PageCache cache_;
    quint64 latest_ = 0;
    std::shared_ptr<ChildToken> token_;  // of the latest request
    std::vector<QThread*> threads_;
};

}  // namespace qm
