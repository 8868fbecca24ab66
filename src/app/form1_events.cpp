// The window's events: the pointer and keys over its lists, drops on the
// file list, and captions fitted to the desktop's font.
#include <QCheckBox>
#include <QComboBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTreeView>

#include "app/form1.h"
#include "app/twips.h"

namespace qm {

namespace {

// The user opens, picks from or types into the find-set list: a click on it,
// the wheel over it, or a key on it other than the ones that only move the
// focus on. Tab passing over it (the focus arriving by keyboard) is none of these.
bool usesCombo1(const QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
            return true;
        case QEvent::FocusIn:
            return static_cast<const QFocusEvent*>(event)->reason() == Qt::MouseFocusReason;
        case QEvent::KeyPress:
            switch (static_cast<const QKeyEvent*>(event)->key()) {
                case Qt::Key_Tab:
                case Qt::Key_Backtab:
                case Qt::Key_Escape:
                case Qt::Key_Shift:
                case Qt::Key_Control:
                case Qt::Key_Alt:
                case Qt::Key_Meta:
                    return false;
                default:
                    return true;
            }
        default:
            return false;
    }
}

}  // namespace

// The desktop's font may be wider than the one the layout was drawn for: a
// check box alone on its row takes its frame's width, and a caption that
// still does not fit is set a little smaller, so that none is cut off.
void Form1::fitCaptions() {
    for (QCheckBox* box : {Check1, Check3, Check4}) {
        const QWidget* frame = box->parentWidget();
        box->resize(frame->width() - box->x() - twipsToPixels(120), box->height());
    }
    constexpr double kSmallest = 0.8;  // of the designed size
    for (QAbstractButton* b :
         std::initializer_list<QAbstractButton*>{Option1, Option2, Option3, Option4, Check1, Check2,
                                                 Check3, Check4, Check5, Check6, Check7}) {
        QFont f = b->font();
        const double designed = f.pointSizeF();
        while (b->sizeHint().width() > b->width() && f.pointSizeF() > designed * kSmallest) {
            f.setPointSizeF(f.pointSizeF() - 0.25);
            b->setFont(f);
        }
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView1->viewport()) {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove:
                ListView1_OLEDragOver(static_cast<QDragMoveEvent*>(event));
                return true;
            case QEvent::Drop:
                ListView1_OLEDragDrop(static_cast<QDropEvent*>(event));
                return true;
            case QEvent::MouseButtonPress:
                ListView1_MouseDown(static_cast<QMouseEvent*>(event));
                break;
            case QEvent::MouseButtonRelease:
                ListView1_MouseUp(static_cast<QMouseEvent*>(event));
                break;
            case QEvent::Leave:
                // A release that never arrives (a box opened while the button was
                // held) must not leave the list reordering under a free pointer.
                if (IsDragging) ListView1_MouseUp(nullptr);
                break;
            default:
                break;
        }
    }
    if (event->type() == QEvent::MouseMove) {
        QWidget* w = qobject_cast<QWidget*>(watched);
        if (w == ListView1->viewport()) w = ListView1;
        if (w == ListView2->viewport()) w = ListView2;
        if (w) mouseMoveOver(w);
        if (watched == ListView1->viewport()) ListView1_MouseMove(static_cast<QMouseEvent*>(event));
    } else if (watched == Combo1 && usesCombo1(event)) {
        Combo1_GotFocus();
    } else if (event->type() == QEvent::FocusOut && watched == ListView1) {
        if (IsDragging) ListView1_MouseUp(nullptr);
    } else if (event->type() == QEvent::KeyPress && watched == ListView1) {
        ListView1_KeyDown(static_cast<QKeyEvent*>(event)->key());
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace qm
