#include "preview/pagesource.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "fs/fs.h"

namespace qm {

PageSource::PageSource(Setup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), cache_(setup_.cachePages, setup_.cacheBytes) {
    qRegisterMetaType<std::shared_ptr<const qm::PageImage>>();
}

PageSource::~PageSource() {
    cancel();
    for (QThread* t : threads_) {
        t->wait();
        delete t;
    }
    if (!decrypted_.copy.isEmpty()) fs::removeQuietly(decrypted_.copy);
}

QString PageSource::keptCopyFor(const PageRequest& r, const PageKey& key) {
    if (r.password.isEmpty()) return {};
    const Decrypted& d = decrypted_;
    if (d.path == r.path && d.stamp == key.stamp && d.password == r.password) return d.copy;
    // Another file (or the same one changed): the copy before goes. A request
    // still decrypting it leaves its copy to the work folder's removal.
    if (!d.copy.isEmpty()) fs::removeQuietly(d.copy);
    decrypted_ = {r.path, key.stamp, r.password,
                  setup_.folder + QStringLiteral("/open%1.pdf").arg(latest_)};
    return decrypted_.copy;
}

PageKey PageSource::keyOf(const PageRequest& r) const {
    const QFileInfo info(r.path);
    const QString stamp = QString::number(info.size()) + u'/' +
                          QString::number(info.lastModified().toMSecsSinceEpoch());
    return {r.path, stamp, r.page, r.widthPixels, !r.password.isEmpty()};
}

quint64 PageSource::request(const PageRequest& r) {
    cancel();
    const quint64 id = ++latest_;
    const PageKey key = keyOf(r);
    if (auto kept = cache_.find(key)) {
        Q_EMIT ready(id, kept);
        return id;
    }
    // Threads that have ended are let go.
    std::erase_if(threads_, [](QThread* t) {
        if (!t->isFinished()) return false;
        delete t;
        return true;
    });
    const QString kept = keptCopyFor(r, key);
    auto token = std::make_shared<ChildToken>();
    token_ = token;
    // Each request has a folder of its own: an ended one may still be cleaning up.
    const QString folder = setup_.folder + QStringLiteral("/p") + QString::number(id);
    QThread* t = QThread::create([this, r, id, key, token, folder, kept, tools = setup_.tools] {
        auto image = std::make_shared<const PageImage>(loadPage(r, tools, folder, *token, kept));
        QDir().rmdir(folder);
        QMetaObject::invokeMethod(
            this, [this, id, key, image] { finish(id, key, image); }, Qt::QueuedConnection);
    });
    threads_.push_back(t);
    t->start();
    return id;
}

void PageSource::cancel() {
    if (token_) token_->cancel();
    token_.reset();
}

int PageSource::running() const {
    int n = 0;
    for (const QThread* t : threads_) n += t->isFinished() ? 0 : 1;
    return n;
}

void PageSource::finish(quint64 id, const PageKey& key, std::shared_ptr<const PageImage> image) {
    cache_.store(key, image);
    if (id == latest_ && image->outcome != PageOutcome::Ended) Q_EMIT ready(id, image);
}

}  // namespace qm
