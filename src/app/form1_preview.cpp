// The preview of the selected hit's page below the results (app/previewpane.h):
// the results list and the pane share the list's place in a splitter; the
// pane is shown or hidden by the button above the list's scroll bar or F3,
// its state and height kept in the settings ("Preview": "True"/"False",
// "PreviewHeight": pixels at the layout's scale 1). n and N (or F4 and
// Shift+F4) move to the next and previous hit of the list, across files.

#include <QEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <cmath>

#include "app/form1.h"
#include "app/previewpane.h"
#include "app/resultsview.h"
#include "app/windowlayout.h"
#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "platform/workfolder.h"
#include "text/error.h"

namespace qm {

namespace {

const QString kShownKey = QStringLiteral("Preview");
const QString kHeightKey = QStringLiteral("PreviewHeight");
// The pane's height when none is kept (pixels at scale 1).
constexpr int kDefaultHeight = 260;

}  // namespace

void Form1::setUpPreview() {
    // The list's place, shared with the pane below it.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("ResultsSplitter"));
    split->setGeometry(ListView2->geometry());
    split->setChildrenCollapsible(false);
    split->addWidget(ListView2);
    preview_ = new PreviewPane([this] {
        const QString extractor = canRun(ExtractorPath) ? ExtractorPath : findExtractor();
        return PageSource::Setup{{findPdftoppm(), extractor, findQpdf()},
                                 workFolder() + QStringLiteral("/preview")};
    });
    split->addWidget(preview_);
    // The rows are marked by the case and line-break rules of the search that
    // found them: taken as a search starts (this runs before the click's handler).
    connect(PushButton7, &QPushButton::clicked, this, [this] {
        if (!searchRunning()) {
            const SearchOptions o = searchOptions();
            preview_->searchRules = {o.caseMode, o.loose};
        }
    });
    split->setStretchFactor(0, 1);
    connect(preview_, &PreviewPane::openRequested, this, [this] {
        const QModelIndex current = ListView2->currentIndex();
        if (current.isValid()) ListView2_DblClick(resultsView_->listRow(current.row()));
    });

    // The button stands above the list's scroll bar, beside its header.
    auto* button = new QToolButton;
    button->setObjectName(QStringLiteral("PreviewButton"));
    button->setArrowType(Qt::DownArrow);
    button->setToolTip(QStringLiteral("Show or hide the page of the selected hit (F3)"));
    button->setCheckable(true);
    button->setFixedHeight(ListView2->header()->sizeHint().height());
    ListView2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ListView2->addScrollBarWidget(button, Qt::AlignTop);

    auto scale = [this] { return layout_ ? layout_->scale() : 1.0; };
    // A window without a settings store (as some tests make) keeps nothing.
    auto stored = [this](const QString& key, const QString& otherwise) {
        return services_.settings ? services_.settings->getSetting(key, otherwise) : otherwise;
    };
    auto save = [this](const QString& key, const QString& value) {
        try {
            if (services_.settings) services_.settings->saveSetting(key, value);
        } catch (const Error&) {
            // The preview still works; the next start opens as designed.
        }
    };
    // Dragging the handle saves the height once the drag rests.
    auto* rest = new QTimer(split);
    rest->setSingleShot(true);
    rest->setInterval(400);
    connect(split, &QSplitter::splitterMoved, rest, qOverload<>(&QTimer::start));
    connect(rest, &QTimer::timeout, this, [=, this] {
        if (preview_->isVisible())
            save(kHeightKey, QString::number(std::lround(preview_->height() / scale())));
    });
    auto show = [=, this](bool on) {
        if (on) {
            const int kept = stored(kHeightKey, QString()).toInt();
            // At first half the list's place at most, so the list keeps its rows.
            const int height =
                kept > 40 ? static_cast<int>(std::lround(kept * scale()))
                          : std::min(static_cast<int>(std::lround(kDefaultHeight * scale())),
                                     split->height() / 2);
            preview_->show();
            split->setSizes({std::max(40, split->height() - height), height});
            const QModelIndex current = ListView2->currentIndex();
            showPreview(current.isValid() ? resultsView_->listRow(current.row()) : -1);
        } else {
            preview_->hide();
        }
        if (button->isChecked() != on) button->setChecked(on);
    };
    connect(button, &QToolButton::toggled, this, [=](bool on) {
        show(on);
        save(kShownKey, on ? QStringLiteral("True") : QStringLiteral("False"));
    });
    const bool kept = stored(kShownKey, QStringLiteral("False"))
                          .trimmed()
                          .compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0;
    preview_->setVisible(kept);
    button->setChecked(kept);
    if (kept) QTimer::singleShot(0, this, [=] { show(true); });

    auto key = [this](const QKeySequence& keys, QWidget* within, auto action) {
        auto* s = new QShortcut(keys, within);
        s->setContext(within == this ? Qt::WindowShortcut : Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, action);
    };
    key(QKeySequence(Qt::Key_F3), this, [button] { button->toggle(); });
    auto step = [this](int by) {
        const int rows = ListView2->model()->rowCount();
        if (rows == 0) return;
        const QModelIndex current = ListView2->currentIndex();
        const int row = current.isValid() ? std::clamp(current.row() + by, 0, rows - 1) : 0;
        ListView2->setCurrentIndex(ListView2->model()->index(row, 0));
    };
    key(QKeySequence(Qt::Key_F4), this, [step] { step(1); });
    key(QKeySequence(Qt::SHIFT | Qt::Key_F4), this, [step] { step(-1); });
    key(QKeySequence(Qt::Key_N), split, [step] { step(1); });
    key(QKeySequence(Qt::SHIFT | Qt::Key_N), split, [step] { step(-1); });
}

void Form1::showPreview(int row) {
    if (!preview_ || !preview_->isVisible()) return;
    if (row < 0 || row >= results.rowCount()) {
        preview_->clear();
        return;
    }
    const ResultRow& r = results.row(row);
    // Rows not found by a search of this window (tests) take the controls' rules.
    const SearchOptions now = searchOptions();
    const auto rules = preview_->searchRules.value_or(PreviewPane::Rules{now.caseMode, now.loose});
    preview_->showHit({r.path, r.page, r.phrase, occurrenceOnPage(results.rows(), row),
                       rules.caseMode, rules.loose});
}

void Form1::rememberPassword(const QString& path, const QString& password) {
    if (preview_) preview_->rememberPassword(path, password);
}

}  // namespace qm
