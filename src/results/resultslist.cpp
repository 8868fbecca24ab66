#include "results/resultslist.h"

#include "text/display.h"
#include "text/error.h"

namespace qm {

QString ResultsList::columnTitle(int column) {
    if (column == 0) return QStringLiteral("Results (File)");
    if (column == 1) return QStringLiteral(" Where");
    throw Error(QStringLiteral("Invalid column number ") + QString::number(column) +
                QStringLiteral(" in the results list."));
}

ResultsList::ResultsList(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsList::clear() {
    beginResetModel();
    rows_.clear();
    published_ = 0;
    selected_ = -1;
    endResetModel();
}

void ResultsList::addRow(const QString& path, const QString& snippet, int page,
                         const QString& phrase) {
    rows_.push_back(ResultRow{path, snippet, false, page, phrase});
}

void ResultsList::publish() {
    const int total = static_cast<int>(rows_.size());
    if (total <= published_) return;
    beginInsertRows(QModelIndex(), published_, total - 1);
    published_ = total;
    endInsertRows();
}

const ResultRow& ResultsList::row(int r) const {
    if (r < 0 || r >= published_)
        throw Error(QStringLiteral("Invalid row number ") + QString::number(r) +
                    QStringLiteral(" in the results list."));
    return rows_[static_cast<size_t>(r)];
}

void ResultsList::setChecked(int r, bool checked) {
    row(r);  // throws outside the published rows
    rows_[static_cast<size_t>(r)].checked = checked;
    const QModelIndex i = index(r, 0);
    Q_EMIT dataChanged(i, i, {Qt::CheckStateRole});
}

int ResultsList::selectedRow() const {
    if (published_ == 0) return -1;
    return selected_ >= 0 && selected_ < published_ ? selected_ : 0;
}

void ResultsList::setSelectedRow(int r) {
    selected_ = r;
}

int ResultsList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : published_;
}

int ResultsList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResultsList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= published_ || index.column() >= kColumnCount) return {};
    const ResultRow& r = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text::blankControls(r.text(index.column()));
    if (role == Qt::CheckStateRole && index.column() == 0)
        return r.checked ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ResultsList::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= published_ || index.column() != 0 ||
        role != Qt::CheckStateRole)
        return false;
    rows_[static_cast<size_t>(index.row())].checked =
        value.toInt() == static_cast<int>(Qt::Checked);
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
