#include "app/waitbar.h"

#include <algorithm>
#include <cmath>

#include "platform/services.h"

namespace qm {

namespace {
int roundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}
}  // namespace

int creepValue(std::int32_t startPercent, std::int32_t fileCount, int k) {
    int step;
    int ceiling;
    if (fileCount > 0) {
        step = roundHalfEven(100.0 / fileCount / 10.0);
        ceiling = roundHalfEven(100.0 / fileCount + startPercent - step);
    } else {
        step = roundHalfEven((100.0 - startPercent) / 10.0);
        ceiling = 100 - step;
    }
    const long long v = static_cast<long long>(startPercent) + static_cast<long long>(k) * step;
    return v >= ceiling ? ceiling : static_cast<int>(v);
}

QString waitText(const QString& statusText, int polls) {
    if (polls < kPollsBeforeCounting) return QString();
    QString t = statusText;
    if (!t.isEmpty()) t += QStringLiteral(", ");
    return t + QStringLiteral("Please wait.. ") + QString::number(polls - kPollsBeforeCounting);
}

void WaitBar::poll(int polls, const QString& reading) const {
    if (bar && !reading.isEmpty()) bar->setText(reading);
    if (!bar || polls < kPollsBeforeCounting) return;
    if (reading.isEmpty()) bar->setText(waitText(statusText, polls));
    const int k = polls - kPollsBeforeCounting;
    // The last file's share would creep past the end of the bar.
    if (k % kPollsPerCreep == 0)
        bar->setValue(std::clamp(creepValue(startPercent, fileCount, k / kPollsPerCreep), 0, 100));
}

void WaitBar::finish() const {
    if (bar) bar->setText(statusText.isEmpty() ? QStringLiteral("Progress Bar") : statusText);
}

WaitWatch WaitBar::watch(std::function<QString(int page, int pages)> ocrText) const {
    if (!bar) return {};
    return {[shown = *this, ocrText = std::move(ocrText)](int polls, int page, int pages) {
                shown.poll(polls, pages > 0 && ocrText ? ocrText(page, pages) : QString());
            },
            [shown = *this] { shown.finish(); }};
}

}  // namespace qm
