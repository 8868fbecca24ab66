// The window's keyboard: Enter in the phrase field starts the search as
// "Start Searching" does, Enter on a result row opens it as a double click
// does, and a ring drawn around the control that has the keyboard focus.
#include <QApplication>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStyleOption>
#include <QTreeView>

#include "app/form1.h"

namespace qm {

namespace {

// Two pixels of the selection colour around the focused control.
class FocusRing : public QFocusFrame {
  public:
    using QFocusFrame::QFocusFrame;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QPen pen(palette().color(QPalette::Active, QPalette::Highlight), 2);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
};

class WindowKeys : public QObject {
  public:
    explicit WindowKeys(Form1& form)
        : QObject(&form), form_(form), window_(&form), results_(form.ListView2) {
        form.ListView2->installEventFilter(this);
        connect(form.Text1, &QLineEdit::returnPressed, this, [this] {
            // While a search runs the button stops it; Enter only starts one.
            if (form_.PushButton7->text() == QStringLiteral("Start Searching"))
                form_.PushButton7->click();
        });
        ring_ = new FocusRing(&form);
        ring_->hide();
        connect(qApp, &QApplication::focusChanged, this,
                [this](QWidget*, QWidget* now) { follow(now); });
        // Focus moves while the window's controls are destroyed: from then on
        // the window is no more a Form1.
        connect(&form, &QObject::destroyed, this, [this] { window_ = nullptr; });
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (window_ && results_ && watched == results_ && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                const QModelIndex current = results_->currentIndex();
                if (current.isValid()) form_.ListView2_DblClick(current.row());
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    void follow(QWidget* now) {
        if (!ring_ || !window_) return;
        // A list's rows take the focus through its viewport: the ring goes
        // around the whole list.
        while (now && now != window_ && qobject_cast<QAbstractScrollArea*>(now->parentWidget()))
            now = now->parentWidget();
        if (now && now != window_ && window_->isAncestorOf(now))
            ring_->setWidget(now);
        else
            ring_->setWidget(nullptr);
    }

    Form1& form_;  // for the handlers, while window_ is set
    QPointer<QWidget> window_;
    QPointer<QTreeView> results_;
    QPointer<FocusRing> ring_;
};

}  // namespace

void Form1::setUpKeys() {
    new WindowKeys(*this);
    // Escape ends an add-time check; the files not yet checked are not reported.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { stopCheck(); });
}

}  // namespace qm
