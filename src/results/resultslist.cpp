#include "results/resultslist.h"

#include "text/display.h"

namespace qm {

ResultsList::ResultsList(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsList::clear() {
    beginResetModel();
    shown_.clear();
    waiting_.clear();
    selected_ = -1;
    endResetModel();
}

void ResultsList::addRow(const QString& path, const QString& snippet, int page,
                         const QString& phrase, int matchAt, int matchLength) {
    waiting_.push_back(ResultRow{path, snippet, false, page, phrase, matchAt, matchLength, {}, {}});
}

void ResultsList::publish() {
    if (waiting_.empty()) return;
    const int first = shown_.count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(waiting_.size()) - 1);
    shown_.append(waiting_);
    endInsertRows();
}

void ResultsList::setChecked(int r, bool checked) {
    shown_.row(r).checked = checked;  // throws outside the published rows
    const QModelIndex i = index(r, 0);
    Q_EMIT dataChanged(i, i, {Qt::CheckStateRole});
}

int ResultsList::selectedRow() const {
    if (shown_.empty()) return -1;
    return selected_ >= 0 && selected_ < shown_.count() ? selected_ : 0;
}

void ResultsList::setSelectedRow(int r) {
    selected_ = r;
}

int ResultsList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_.count();
}

int ResultsList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResultsList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_.count() || index.column() >= kColumnCount)
        return {};
    const ResultRow& r = shown_.row(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text::displayText(r.text(index.column()));
    if (role == Qt::CheckStateRole && index.column() == 0)
        return r.checked ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ResultsList::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= shown_.count() || index.column() != 0 ||
        role != Qt::CheckStateRole)
        return false;
    shown_.row(index.row()).checked = value.toInt() == static_cast<int>(Qt::Checked);
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags ResultsList::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ResultsList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount)
        return {};
    return columnTitle(section);
}

}  // namespace qm
