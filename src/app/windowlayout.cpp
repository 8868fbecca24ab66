#include "app/windowlayout.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTreeView>
#include <algorithm>
#include <climits>
#include <cmath>

namespace qm {

namespace {

// A stretch column never gets narrower than this when its list shrinks.
constexpr int kNarrowestStretch = 20;

int scaledLength(int length, double scale) {
    return static_cast<int>(std::lround(length * scale));
}

QFont scaledFont(QFont font, double scale) {
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale);
    else if (font.pixelSize() > 0)
        font.setPixelSize(std::max(1, scaledLength(font.pixelSize(), scale)));
    return font;
}

// The list a control shows: the control itself, or the list a splitter holds
// first (the results list shares its place with the preview).
QTreeView* listOf(QWidget* control) {
    if (auto* split = qobject_cast<QSplitter*>(control))
        return split->count() > 0 ? qobject_cast<QTreeView*>(split->widget(0)) : nullptr;
    return qobject_cast<QTreeView*>(control);
}

}  // namespace

bool WindowLayout::Control::is(const QWidget* w) const {
    return widget == w || (widget && listOf(widget) == w);
}

WindowLayout::WindowLayout(QWidget& window)
    : QObject(&window), window_(window), defaultSize_(window.size()), windowFont_(window.font()) {
    auto take = [this](QWidget* w, int parent) {
        Control c{w,         w->geometry(), w->testAttribute(Qt::WA_SetFont),
                  w->font(), Left | Top,    parent < 0};
        c.parent = parent;
        controls_.push_back(c);
    };
    for (QWidget* w : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isWindow()) continue;
        const int at = static_cast<int>(controls_.size());
        take(w, -1);
        if (qobject_cast<QGroupBox*>(w))
            for (QWidget* inner : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                take(inner, at);
    }
    window.setMinimumSize(defaultSize_);
    window.installEventFilter(this);
}

void WindowLayout::anchor(const QWidget* control, int anchors) {
    for (Control& c : controls_)
        if (c.is(control)) c.anchors = anchors;
    arrange();
}

void WindowLayout::share(const QWidget* control, double left, double right) {
    for (Control& c : controls_)
        if (c.is(control)) {
            c.shared = true;
            c.shareLeft = left;
            c.shareRight = right;
        }
    arrange();
}

void WindowLayout::setStretchColumn(const QWidget* list, int column) {
    for (Control& c : controls_)
        if (c.is(list)) c.stretchColumn = column;
}

int WindowLayout::stretchColumn(const QWidget* list) const {
    for (const Control& c : controls_)
        if (c.is(list)) return c.stretchColumn;
    return -1;
}

int WindowLayout::stretchGrowth(const QWidget* list) const {
    for (const Control& c : controls_)
        if (c.is(list)) return c.growth;
    return 0;
}

QRect WindowLayout::scaled(const QRect& r) const {
    const int left = scaledLength(r.left(), scale_);
    const int top = scaledLength(r.top(), scale_);
    // Edges scaled, not sizes, so that neighbours stay as far apart as designed.
    return QRect(QPoint(left, top), QPoint(scaledLength(r.right() + 1, scale_) - 1,
                                           scaledLength(r.bottom() + 1, scale_) - 1));
}

QSize WindowLayout::scaledDefaultSize() const {
    return QSize(scaledLength(defaultSize_.width(), scale_),
                 scaledLength(defaultSize_.height(), scale_));
}

void WindowLayout::setScale(double scale) {
    if (!(scale > 0)) return;
    const double ratio = scale / scale_;
    scale_ = scale;
    window_.setFont(scaledFont(windowFont_, scale_));
    for (Control& c : controls_) {
        if (!c.widget) continue;
        if (c.ownFont) c.widget->setFont(scaledFont(c.font, scale_));
        // The columns of a list keep their share of it.
        if (auto* view = listOf(c.widget.data())) {
            QHeaderView* header = view->header();
            for (int i = 0; i < header->count(); ++i)
                header->resizeSection(i, scaledLength(header->sectionSize(i), ratio));
            // The scroll bar keeps its width at any scale: made smaller, the
            // stretch column gives way so that the columns still fit beside it.
            if (ratio < 1 && c.stretchColumn >= 0 && c.stretchColumn < header->count()) {
                const int room =
                    scaled(c.designed).width() - 2 * view->frameWidth() -
                    view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
                const int excess = header->length() - c.growth - room;
                if (excess > 0)
                    header->resizeSection(
                        c.stretchColumn,
                        std::max(kNarrowestStretch, header->sectionSize(c.stretchColumn) - excess));
            }
        }
    }
    const QSize before = window_.minimumSize();
    const QSize minimum = scaledDefaultSize();
    window_.setMinimumSize(minimum);
    // A window at its default size stays at its default size.
    window_.resize(window_.size() == before ? minimum : window_.size().expandedTo(minimum));
    arrange();
}

void WindowLayout::arrange() {
    const QSize minimum = scaledDefaultSize();
    const int dx = std::max(0, window_.width() - minimum.width());
    const int dy = std::max(0, window_.height() - minimum.height());
    for (Control& c : controls_) {
        if (!c.widget) continue;
        QRect r = scaled(c.designed);
        if (c.shared) {
            // Placed after its parent: the window, or a frame taken before it.
            int grown = dx;
            if (c.parent >= 0) {
                const Control& frame = controls_[static_cast<std::size_t>(c.parent)];
                grown = frame.widget ? frame.widget->width() - scaled(frame.designed).width() : 0;
            }
            r.setLeft(r.left() + static_cast<int>(std::lround(c.shareLeft * grown)));
            r.setRight(r.right() + static_cast<int>(std::lround(c.shareRight * grown)));
        }
        if (c.topLevel) {
            if (!c.shared && (c.anchors & Right)) {
                if (c.anchors & Left)
                    r.setRight(r.right() + dx);
                else
                    r.translate(dx, 0);
            }
            if (c.anchors & Bottom) {
                if (c.anchors & Top)
                    r.setBottom(r.bottom() + dy);
                else
                    r.translate(0, dy);
            }
        }
        if (c.widget->geometry() != r) c.widget->setGeometry(r);
        auto* view = listOf(c.widget.data());
        if (view && c.stretchColumn >= 0 && c.stretchColumn < view->header()->count()) {
            const int growth = r.width() - scaled(c.designed).width();
            QHeaderView* header = view->header();
            const int width = header->sectionSize(c.stretchColumn) + growth - c.growth;
            header->resizeSection(c.stretchColumn, std::max(kNarrowestStretch, width));
            c.growth = growth;
        }
    }
    keepInsideFrames();
}

// Drawn smaller than designed (a small screen), a frame's title and a check
// box's square keep their size: the controls of a frame are moved down below
// its title, and drawn closer together when they would run out of it.
void WindowLayout::keepInsideFrames() {
    for (std::size_t f = 0; f < controls_.size(); ++f) {
        auto* frame = qobject_cast<QGroupBox*>(controls_[f].widget.data());
        if (!frame) continue;
        std::vector<QWidget*> inner;
        int top = INT_MAX, bottom = INT_MIN;
        for (const Control& c : controls_)
            if (c.parent == static_cast<int>(f) && c.widget) {
                // A box shorter than its square would draw the square beyond its top.
                if (qobject_cast<QAbstractButton*>(c.widget.data()) &&
                    !qobject_cast<QPushButton*>(c.widget.data())) {
                    const int tall = c.widget->sizeHint().height();
                    if (c.widget->height() < tall) c.widget->resize(c.widget->width(), tall);
                }
                inner.push_back(c.widget);
                top = std::min(top, c.widget->y());
                bottom = std::max(bottom, c.widget->geometry().bottom());
            }
        const int first = frame->contentsRect().top();
        const int last = frame->height() - 2;
        if (inner.empty() || top >= first) continue;
        const double squeeze = bottom + first - top > last && bottom > top
                                   ? double(last - first) / (bottom - top)
                                   : 1.0;
        for (QWidget* w : inner) {
            const int y = first + static_cast<int>(std::lround((w->y() - top) * squeeze));
            w->move(w->x(), y);
        }
    }
}

bool WindowLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Resize) arrange();
    return QObject::eventFilter(watched, event);
}

}  // namespace qm
