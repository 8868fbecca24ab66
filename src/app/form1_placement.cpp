// The window's placement on the screen and what of it is kept (windowplacement.h).
#include "app/windowplacement.h"

#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <algorithm>
#include <cmath>

#include "app/form1.h"
#include "app/windowlayout.h"
#include "text/error.h"

namespace qm {

namespace {

// What a window manager's title bar and borders usually take; the real frame
// is not known before the window is shown.
const QMargins kFrameAllowance(8, 32, 8, 8);
constexpr double kSmallestScale = 0.4;
constexpr double kLargestFontRatio = 4.0;
constexpr int kLargestLength = 100000;
// Of the screen's room, what the window takes at its first start.
constexpr double kFirstShare = 0.8;

const QString kGeometryKey = QStringLiteral("WindowGeometry");
const QString kMaximizedKey = QStringLiteral("WindowMaximized");

QSize scaledSize(const QSize& s, double scale) {
    return QSize(static_cast<int>(std::lround(s.width() * scale)),
                 static_cast<int>(std::lround(s.height() * scale)));
}

qint64 overlap(const QRect& a, const QRect& b) {
    const QRect both = a.intersected(b);
    return both.isEmpty() ? 0 : qint64(both.width()) * both.height();
}

// The list views whose column widths are kept, with their keys.
struct KeptColumns {
    QTreeView* view;
    QString key;
};
QList<KeptColumns> keptColumns(Form1& form) {
    return {{form.ListView1, QStringLiteral("ListView1Columns")},
            {form.ListView2, QStringLiteral("ListView2Columns")}};
}

}  // namespace

double desktopFontRatio(const QFont& desktopFont) {
    double points = desktopFont.pointSizeF();
    if (points <= 0 && desktopFont.pixelSize() > 0) points = desktopFont.pixelSize() * 72.0 / 96.0;
    if (points <= 0) return 1.0;
    return std::clamp(points / kDesignedDesktopPoints, kSmallestScale, kLargestFontRatio);
}

Placement planPlacement(const PlacementRequest& q) {
    Placement out;
    out.maximized = q.storedMaximized;

    QRect stored;
    const bool haveStored = parseGeometry(q.storedGeometry, stored);
    // The screen the stored window overlaps most; none when it is on no screen.
    int screen = -1;
    qint64 best = 0;
    for (int i = 0; haveStored && i < q.screens.size(); ++i) {
        const qint64 o = overlap(stored, q.screens[i]);
        if (o > best) {
            best = o;
            screen = static_cast<int>(i);
        }
    }
    const bool keepPlace = screen >= 0;
    const QRect area = q.screens.isEmpty() ? QRect(QPoint(0, 0), q.defaultSize)
                       : keepPlace         ? q.screens[screen]
                                           : q.screens.front();
    const QSize room(std::max(1, area.width() - q.frame.left() - q.frame.right()),
                     std::max(1, area.height() - q.frame.top() - q.frame.bottom()));

    const double ratio = q.fontRatio > 0 ? q.fontRatio : 1.0;
    double fit = ratio;
    if (!q.defaultSize.isEmpty())
        fit = std::min({ratio, double(room.width()) / q.defaultSize.width(),
                        double(room.height()) / q.defaultSize.height()});
    out.scale = std::max(fit, kSmallestScale);

    const QSize minimum = scaledSize(q.defaultSize, out.scale);
    // The first start takes most of the screen; later ones the size kept.
    const QSize first = scaledSize(room, kFirstShare);
    const QSize size = (haveStored ? stored.size() : first).boundedTo(room).expandedTo(minimum);

    // The inside of the window may lie in this part of the area.
    const int left = area.left() + q.frame.left();
    const int top = area.top() + q.frame.top();
    const int lastLeft = std::max(left, left + room.width() - size.width());
    const int lastTop = std::max(top, top + room.height() - size.height());
    QPoint at;
    if (keepPlace)
        at = QPoint(std::clamp(stored.left(), left, lastLeft),
                    std::clamp(stored.top(), top, lastTop));
    else
        at = QPoint((left + lastLeft) / 2, (top + lastTop) / 2);
    out.geometry = QRect(at, size);
    return out;
}

QString geometryText(const QRect& r) {
    return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

bool parseGeometry(const QString& text, QRect& r) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4) return false;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || std::abs(v[i]) > kLargestLength) return false;
    }
    if (v[2] <= 0 || v[3] <= 0) return false;
    r = QRect(v[0], v[1], v[2], v[3]);
    return true;
}

QString widthsText(const QList<int>& widths) {
    QStringList parts;
    for (const int w : widths) parts << QString::number(w);
    return parts.join(u',');
}

QList<int> parseWidths(const QString& text) {
    QList<int> out;
    if (text.trimmed().isEmpty()) return out;
    for (const QString& part : text.split(u',')) {
        bool ok = false;
        const int w = part.trimmed().toInt(&ok);
        if (!ok || w <= 0 || w > kLargestLength) return {};
        out << w;
    }
    return out;
}

void placeWindow(Form1& form) {
    WindowLayout& layout = form.windowLayout();
    SettingsStore* settings = form.services().settings;
    auto stored = [settings](const QString& key) {
        return settings ? settings->getSetting(key, QString()) : QString();
    };

    PlacementRequest q;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) q.screens << primary->availableGeometry();
    for (QScreen* s : QGuiApplication::screens())
        if (s != primary) q.screens << s->availableGeometry();
    q.defaultSize = layout.defaultSize();
    q.fontRatio = desktopFontRatio(QGuiApplication::font());
    q.frame = kFrameAllowance;
    q.storedGeometry = stored(kGeometryKey);
    q.storedMaximized =
        stored(kMaximizedKey).trimmed().compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0;
    const Placement p = planPlacement(q);

    layout.setScale(p.scale);
    // Widths as at the default size: the window's growth is added as it grows.
    for (const KeptColumns& c : keptColumns(form)) {
        const QList<int> widths = parseWidths(stored(c.key));
        QHeaderView* header = c.view->header();
        for (int i = 0; i < widths.size() && i < header->count(); ++i)
            header->resizeSection(i, static_cast<int>(std::lround(widths[i] * p.scale)));
    }
    form.setGeometry(p.geometry);
    if (p.maximized) form.setWindowState(form.windowState() | Qt::WindowMaximized);
    layout.setKept(true);
}

void keepWindowPlacement(Form1& form) {
    WindowLayout& layout = form.windowLayout();
    SettingsStore* settings = form.services().settings;
    if (!layout.kept() || !settings) return;
    const bool maximized = form.windowState() & Qt::WindowMaximized;
    try {
        settings->saveSetting(kGeometryKey,
                              geometryText(maximized ? form.normalGeometry() : form.geometry()));
        settings->saveSetting(kMaximizedKey,
                              maximized ? QStringLiteral("True") : QStringLiteral("False"));
        for (const KeptColumns& c : keptColumns(form)) {
            QList<int> widths;
            const QHeaderView* header = c.view->header();
            for (int i = 0; i < header->count(); ++i) {
                const int grown =
                    i == layout.stretchColumn(c.view) ? layout.stretchGrowth(c.view) : 0;
                widths << std::max(1, static_cast<int>(std::lround(
                                          (header->sectionSize(i) - grown) / layout.scale())));
            }
            settings->saveSetting(c.key, widthsText(widths));
        }
    } catch (const Error&) {
        // The program is ending; the next start opens as designed.
    }
}

// How the controls follow the window when it grows: the file list's side
// takes a third of the width it gains and the results' side the rest; the
// lists take the height; buttons side by side share their side's width.
void Form1::anchorControls() {
    using A = WindowLayout::Anchor;
    constexpr double third = 1.0 / 3;
    constexpr double middle = (1 + third) / 2;  // of the results' side
    layout_ = new WindowLayout(*this);
    layout_->anchor(ListView1, A::Left | A::Top | A::Bottom);
    layout_->anchor(ListView2, A::Left | A::Top | A::Right | A::Bottom);
    layout_->setStretchColumn(ListView1, 0);
    layout_->setStretchColumn(ListView2, 1);  // " Where"
    const QWidget* const filesSide[] = {PushButton5, ListView1, Frame3};
    for (const QWidget* w : filesSide) layout_->share(w, 0, third);
    for (const QWidget* w : {PushButton1, PushButton9}) layout_->share(w, 0, third / 2);
    for (const QWidget* w : {PushButton6, PushButton10}) layout_->share(w, third / 2, third);
    const QWidget* const resultsSide[] = {Frame1,    Frame2,        ResultsFilter,
                                          ListView2, ResultsStatus, ProgressBar1};
    for (const QWidget* w : resultsSide) layout_->share(w, third, 1);
    for (const QWidget* w : {PushButton11, PushButton4, PushButton8})
        layout_->share(w, third, middle);
    for (const QWidget* w : {PushButton3, PushButton13, PushButton2}) layout_->share(w, middle, 1);
    // Inside "Search Options": the phrase and the find sets take the frame's growth.
    const QWidget* const phraseRow[] = {Text1, Combo1, PushButton7};
    for (const QWidget* w : phraseRow) layout_->share(w, 0, 1);
    for (const QWidget* w : {PushButton12, PushButton14, PushButton16, PushButton15})
        layout_->share(w, 1, 1);
    layout_->anchor(ProgressBar1, A::Left | A::Right | A::Bottom);
    layout_->anchor(ResultsStatus, A::Left | A::Bottom);
    const QWidget* const byLeftBottom[] = {PushButton1, PushButton6,  PushButton9, PushButton10,
                                           Frame3,      PushButton11, PushButton4, PushButton8};
    for (const QWidget* w : byLeftBottom) layout_->anchor(w, A::Left | A::Bottom);
    for (QWidget* w : {PushButton3, PushButton13, PushButton2})
        layout_->anchor(w, A::Right | A::Bottom);
}

}  // namespace qm
