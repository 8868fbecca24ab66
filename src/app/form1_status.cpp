// The results' filter field above the list and the status line below it.
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTreeView>

#include "app/errorreport.h"
#include "app/form1.h"
#include "app/resultsstatus.h"
#include "app/resultsview.h"
#include "app/twips.h"
#include "platform/settings.h"

namespace qm {

namespace {

// A line that Escape empties (before the window's own Escape sees the key).
class FilterField : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;

  protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ShortcutOverride && !text().isEmpty() &&
            static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
            e->accept();
            return true;
        }
        return QLineEdit::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape && !text().isEmpty()) {
            clear();
            return;
        }
        QLineEdit::keyPressEvent(e);
    }
};

const QString kUnreadableLink = QStringLiteral("unreadable");

}  // namespace

void Form1::buildResultsBar() {
    const QRect list = ListView2->geometry();
    ResultsFilter = new FilterField(this);
    ResultsFilter->setObjectName(QStringLiteral("ResultsFilter"));
    ResultsFilter->setPlaceholderText(QStringLiteral("Filter results (Ctrl+F)"));
    ResultsFilter->setClearButtonEnabled(true);
    ResultsFilter->setFont(designedFont(9));
    ResultsFilter->setGeometry(list.left(), list.top() - twipsToPixels(330), list.width(),
                               twipsToPixels(300));
    connect(ResultsFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        resultsView_->setFilter(text);
        showResultsStatus();
    });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        ResultsFilter->setFocus(Qt::ShortcutFocusReason);
        ResultsFilter->selectAll();
    });

    ResultsStatus = new QLabel(this);
    ResultsStatus->setObjectName(QStringLiteral("ResultsStatus"));
    ResultsStatus->setFont(designedFont(9));
    ResultsStatus->setTextFormat(Qt::RichText);
    ResultsStatus->setGeometry(list.left(), list.bottom() + 1 + twipsToPixels(30), list.width(),
                               twipsToPixels(270));
    // The files that could not be read, as the "Done." message lists them.
    connect(ResultsStatus, &QLabel::linkActivated, this, [this](const QString& link) {
        if (link != kUnreadableLink || !lastSummary_) return;
        services_.boxes->message(unreadableReport(*lastSummary_).mid(2), applicationTitle());
    });
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(resultsView_, signal, this, [this] { showResultsStatus(); });
    connect(resultsView_, &QAbstractItemModel::layoutChanged, this,
            [this] { showResultsStatus(); });
    connect(resultsView_, &QAbstractItemModel::modelReset, this, [this] { showResultsStatus(); });
}

void Form1::showResultsStatus() {
    if (!searchRunning()) resultsView_->flush();  // the last rows counted
    const RowOrder& order = resultsView_->order();
    ResultsCount c;
    c.results = results.rowCount();
    c.shown = static_cast<qint64>(order.shown().size());
    c.filtered = !order.filter().isEmpty();
    c.files = order.pathCount();
    c.running = searchRunning();
    if (lastSummary_ && !c.running) {
        c.ended = true;
        c.stopped = lastSummary_->stopped;
        c.searched = lastSummary_->filesSearched;
        c.listed = lastListed_;
        c.unreadable = static_cast<int>(lastSummary_->failures.size());
    }
    const ResultsStatusText t = resultsStatusText(c);
    QString shown = t.count.toHtmlEscaped();
    if (!t.unreadable.isEmpty())
        shown += QStringLiteral(" · <a href=\"%1\">%2</a>")
                     .arg(kUnreadableLink, t.unreadable.toHtmlEscaped());
    ResultsStatus->setText(shown);
}

const ResultRows& Form1::exportRows() {
    resultsView_->flush();
    const RowOrder& order = resultsView_->order();
    if (!order.inEffect()) return results.rows();
    ResultsStatus->setText(
        savingShownText(static_cast<qint64>(order.shown().size()), results.rowCount())
            .toHtmlEscaped());
    exportCopy_ = resultsView_->shownRows();
    return exportCopy_;
}

}  // namespace qm
