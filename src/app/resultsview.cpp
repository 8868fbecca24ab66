#include "app/resultsview.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QTreeView>
#include <algorithm>

#include "app/phrasedelegate.h"

#include "results/resultslist.h"
#include "search/snippet.h"
#include "text/display.h"

namespace qm {

namespace {

// A column made wider takes its room from " Where", then from the path,
// never from the page.
void keepPageInSight(QTreeView& view) {
    constexpr int kNarrowest = 40;
    QHeaderView* header = view.header();
    int excess = header->length() - view.viewport()->width();
    for (const int column : {1, 0}) {
        if (excess <= 0) return;
        const int width = header->sectionSize(column);
        const int give = std::min(excess, width - kNarrowest);
        if (give <= 0) continue;
        excess -= give;
        header->resizeSection(column, width - give);
    }
}

class PageInSight : public QObject {
  public:
    explicit PageInSight(QTreeView& view) : QObject(&view), view_(view) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Widths kept from the last run meet the view's width when it shows.
        if (event->type() == QEvent::Show) keepPageInSight(view_);
        return QObject::eventFilter(watched, event);
    }

  private:
    QTreeView& view_;
};

}  // namespace

ResultsView& showResults(QTreeView& view, ResultsList& list, int designedWidth) {
    auto* model = new ResultsView(list, &view);
    view.setModel(model);
    const int room = view.width() - 2 * view.frameWidth() -
                     view.style()->pixelMetric(QStyle::PM_ScrollBarExtent) - designedWidth;
    view.setColumnWidth(ResultsView::kPageColumn, std::max(room, 30));
    // The cell's text stays as it is; the view draws the phrase in bold.
    view.setItemDelegateForColumn(1, new PhraseDelegate(ResultsView::kMatchRole, &view));
    QHeaderView* header = view.header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    // "Page" stays in sight when a column is made wider. (The window's layout
    // gives and takes the width of " Where" as the view grows and shrinks.)
    QObject::connect(header, &QHeaderView::sectionResized, &view, [&view](int section) {
        if (section != ResultsView::kPageColumn && view.isVisible()) keepPageInSight(view);
    });
    view.installEventFilter(new PageInSight(view));
    QObject::connect(header, &QHeaderView::sectionClicked, model, [model, header](int column) {
        model->sortByColumn(column);
        const RowOrder& o = model->order();
        header->setSortIndicatorShown(o.sortKey() != SortKey::Found);
        header->setSortIndicator(column, o.descending() ? Qt::DescendingOrder : Qt::AscendingOrder);
    });
    return *model;
}

QPoint shownMatch(const Snippet& snippet, std::size_t matchBytes) {
    const auto [a, b] = snippet.matchBytes(matchBytes);
    const auto units = [&](std::size_t from, std::size_t to) {
        return static_cast<int>(
            QString::fromUtf8(snippet.text.data() + from, static_cast<qsizetype>(to - from))
                .size());
    };
    const int lead = snippet.leadingMarker ? static_cast<int>(kSnippetMarker.size()) : 0;
    return QPoint(lead + units(0, a), units(a, b));
}

ResultsView::ResultsView(ResultsList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(&list), order_(list.rows()) {
    order_.appended(0);
    place_ = new QTimer(this);
    place_->setSingleShot(true);
    place_->setInterval(kPlaceEvery);
    connect(place_, &QTimer::timeout, this, [this] { flush(); });
    connect(&list, &QObject::destroyed, this, [this] {
        beginResetModel();
        order_.reset();
        endResetModel();
    });
    connect(&list, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { listAppended(first, last); });
    connect(&list, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        beginResetModel();
        resetting_ = true;
    });
    connect(&list, &QAbstractItemModel::modelReset, this, [this] {
        place_->stop();
        order_.reset();
        order_.appended(0);
        resetting_ = false;
        endResetModel();
    });
    connect(&list, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                for (int r = from.row(); r <= to.row(); ++r) {
                    const int shown = viewRow(r);
                    if (shown >= 0)
                        Q_EMIT dataChanged(index(shown, from.column()), index(shown, to.column()),
                                           roles);
                }
            });
}

int ResultsView::listRow(int r) const {
    const std::vector<int>& shown = order_.shown();
    return r >= 0 && r < static_cast<int>(shown.size()) ? shown[static_cast<std::size_t>(r)] : -1;
}

int ResultsView::viewRow(int listRow) const {
    const std::vector<int>& shown = order_.shown();
    if (!order_.inEffect())
        return listRow >= 0 && listRow < static_cast<int>(shown.size()) ? listRow : -1;
    const auto it = std::find(shown.begin(), shown.end(), listRow);
    return it == shown.end() ? -1 : static_cast<int>(it - shown.begin());
}

template <typename Change>
void ResultsView::reorder(Change change) {
    Q_EMIT layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<int> rows;
    for (const QModelIndex& i : before) rows.push_back(listRow(i.row()));
    change();
    if (!before.isEmpty()) {
        // Where each list row went: one pass over the shown rows.
        std::vector<int> at(static_cast<std::size_t>(list_->rowCount()), -1);
        const std::vector<int>& shown = order_.shown();
        for (std::size_t v = 0; v < shown.size(); ++v)
            at[static_cast<std::size_t>(shown[v])] = static_cast<int>(v);
        QModelIndexList after;
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const int v = rows[k] >= 0 ? at[static_cast<std::size_t>(rows[k])] : -1;
            after << (v >= 0 ? index(v, before[static_cast<int>(k)].column()) : QModelIndex());
        }
        changePersistentIndexList(before, after);
    }
    Q_EMIT layoutChanged();
}

void ResultsView::listAppended(int first, int last) {
    if (resetting_) return;
    if (!order_.inEffect() && !place_->isActive()) {
        beginInsertRows(QModelIndex(), first, last);
        order_.appended(first);
        endInsertRows();
        return;
    }
    if (!place_->isActive()) place_->start();
}

void ResultsView::flush() {
    place_->stop();
    if (!list_ || order_.knownRows() >= list_->rowCount()) return;
    reorder([&] { order_.appended(order_.knownRows()); });
}

void ResultsView::sortByColumn(int column) {
    flush();
    const SortKey key = column == 0 ? SortKey::Path : column == 1 ? SortKey::Where : SortKey::Page;
    SortKey next = key;
    bool descending = false;
    if (order_.sortKey() == key) {
        if (order_.descending())
            next = SortKey::Found;  // the third click: as found
        else
            descending = true;
    }
    reorder([&] { order_.setSort(next, descending); });
}

void ResultsView::setFilter(const QString& text) {
    flush();
    reorder([&] { order_.setFilter(text); });
}

ResultRows ResultsView::shownRows() const {
    ResultRows out;
    for (const int r : order_.shown()) out.append(ResultRow(list_->row(r)));
    return out;
}

int ResultsView::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !list_ ? 0 : static_cast<int>(order_.shown().size());
}

int ResultsView::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kPageColumn + 1;
}

QVariant ResultsView::data(const QModelIndex& index, int role) const {
    if (!list_) return {};
    const int r = index.isValid() ? listRow(index.row()) : -1;
    if (r < 0) return {};
    const ResultRow& row = list_->row(r);
    if (index.column() == 1 && row.hasContext()) {
        const auto units = [&row](int from, int to) {
            return static_cast<int>(
                QString::fromUtf8(row.context.constData() + from, to - from).size());
        };
        switch (role) {
            case kMatchRole:
                return QPoint(units(0, row.spans.matchFrom),
                              units(row.spans.matchFrom, row.spans.matchTo));
            case Qt::DisplayRole:  // one line, unit for unit as found
                return text::blankControls(QString::fromUtf8(row.context));
            case Qt::ToolTipRole:
                return text::displayText(QString::fromUtf8(row.context));
            default:
                break;
        }
    }
    if (role == kMatchRole) {
        if (index.column() != 1) return {};
        return row.matchAt >= 0 ? QVariant(QPoint(row.matchAt, row.matchLength)) : QVariant();
    }
    if (index.column() != kPageColumn) return list_->data(list_->index(r, index.column()), role);
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            if (!row.where().isEmpty()) return row.where();
            return row.page > 0 ? QVariant(QString::number(row.page)) : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant(Qt::AlignCenter);
        default:
            return {};
    }
}

bool ResultsView::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!list_) return false;
    const int r = index.isValid() ? listRow(index.row()) : -1;
    if (r < 0 || index.column() == kPageColumn) return false;
    return list_->setData(list_->index(r, index.column()), value, role);
}

Qt::ItemFlags ResultsView::flags(const QModelIndex& index) const {
    if (!index.isValid() || !list_) return Qt::NoItemFlags;
    if (index.column() == kPageColumn) return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return list_->flags(list_->index(listRow(index.row()), index.column()));
}

QVariant ResultsView::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!list_) return {};
    if (section == kPageColumn && orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole) return QStringLiteral("Page");
        if (role == Qt::TextAlignmentRole) return QVariant(Qt::AlignCenter);
        return {};
    }
    return list_->headerData(section, orientation, role);
}

}  // namespace qm
