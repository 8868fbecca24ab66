#include "app/resultsview.h"

#include <QStyle>
#include <QTreeView>
#include <algorithm>

#include "app/phrasedelegate.h"

#include "results/resultslist.h"
#include "search/snippet.h"

namespace qm {

void showResults(QTreeView& view, ResultsList& list, int designedWidth) {
    view.setModel(new ResultsView(list, &view));
    const int room = view.width() - 2 * view.frameWidth() -
                     view.style()->pixelMetric(QStyle::PM_ScrollBarExtent) - designedWidth;
    view.setColumnWidth(ResultsView::kPageColumn, std::max(room, 30));
    // The cell's text stays as it is; the view draws the phrase in bold.
    view.setItemDelegateForColumn(1, new PhraseDelegate(ResultsView::kMatchRole, &view));
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
    : QIdentityProxyModel(parent), list_(list) {
    setSourceModel(&list);
}

int ResultsView::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kPageColumn + 1;
}

QModelIndex ResultsView::index(int row, int column, const QModelIndex& parent) const {
    if (column != kPageColumn) return QIdentityProxyModel::index(row, column, parent);
    if (parent.isValid() || row < 0 || row >= list_.rowCount()) return QModelIndex();
    return createIndex(row, column);
}

QModelIndex ResultsView::parent(const QModelIndex& child) const {
    if (child.column() == kPageColumn) return QModelIndex();
    return QIdentityProxyModel::parent(child);
}

QModelIndex ResultsView::sibling(int row, int column, const QModelIndex& idx) const {
    return idx.isValid() ? index(row, column) : QModelIndex();
}

QModelIndex ResultsView::mapToSource(const QModelIndex& proxyIndex) const {
    if (proxyIndex.column() == kPageColumn) return QModelIndex();
    return QIdentityProxyModel::mapToSource(proxyIndex);
}

QVariant ResultsView::data(const QModelIndex& index, int role) const {
    if (role == kMatchRole) {
        if (!index.isValid() || index.column() != 1 || index.row() >= list_.rowCount()) return {};
        const ResultRow& row = list_.row(index.row());
        return row.matchAt >= 0 ? QVariant(QPoint(row.matchAt, row.matchLength)) : QVariant();
    }
    if (index.column() != kPageColumn) return QIdentityProxyModel::data(index, role);
    if (!index.isValid() || index.row() >= list_.rowCount()) return {};
    const ResultRow& row = list_.row(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            if (!row.where.isEmpty()) return row.where;
            return row.page > 0 ? QVariant(QString::number(row.page)) : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant(Qt::AlignCenter);
        default:
            return {};
    }
}

Qt::ItemFlags ResultsView::flags(const QModelIndex& index) const {
    if (index.column() == kPageColumn)
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    return QIdentityProxyModel::flags(index);
}

QVariant ResultsView::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section == kPageColumn && orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole) return QStringLiteral("Page");
        if (role == Qt::TextAlignmentRole) return QVariant(Qt::AlignCenter);
        return {};
    }
    return QIdentityProxyModel::headerData(section, orientation, role);
}

}  // namespace qm
