// Whether a file needs a password, asked of qpdf on a thread of its own.
#include <QMetaObject>
#include <algorithm>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pipeline.h"
#include "extraction/pipeline_job.h"

namespace qm {

namespace {
// The longest qpdf may take to tell whether a file needs a password.
constexpr int kPasswordCheckLimitMs = 30000;
}  // namespace

void TextPipeline::askNeedsPassword(const QString& path, std::function<void(bool)> answer) {
    // Checks that have answered are cleared away first.
    passwordChecks_.erase(std::remove_if(passwordChecks_.begin(), passwordChecks_.end(),
                                         [](const std::unique_ptr<PasswordCheck>& c) {
                                             if (!c->finished) return false;
                                             c->thread.join();
                                             return true;
                                         }),
                          passwordChecks_.end());
    if (setup_.qpdfPath.isEmpty()) {
        QMetaObject::invokeMethod(
            &notifier_, [answer = std::move(answer)] { answer(true); }, Qt::QueuedConnection);
        return;
    }
    auto check = std::make_unique<PasswordCheck>();
    PasswordCheck* c = check.get();
    c->thread = std::thread([this, c, path, qpdf = setup_.qpdfPath, answer = std::move(answer)] {
        const ChildResult r =
            runChild(qpdf, requiresPasswordArguments(path), c->token, {}, kPasswordCheckLimitMs);
        // qpdf --requires-password: 0 needs one, 2 not encrypted, 3 encrypted without one.
        const bool needs = !(r.exited && (r.exitCode == 2 || r.exitCode == 3));
        QMetaObject::invokeMethod(
            &notifier_, [answer, needs] { answer(needs); }, Qt::QueuedConnection);
        c->finished = true;
    });
    passwordChecks_.push_back(std::move(check));
}

}  // namespace qm
