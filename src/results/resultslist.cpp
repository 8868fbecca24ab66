#include "results/resultslist.h"
#include "text/display.h"

#include "platform/error.h"

namespace qm {

ResultsList::ResultsList(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsList::Clear() {
    beginResetModel();
    rows_.clear();
    published_ = 0;
    selected_ = 0;
    endResetModel();
}

int ResultsList::AddRow(const QString& path) {
    rows_.push_back(ResultRow{path, QString(), false});
    return static_cast<int>(rows_.size());
}

void ResultsList::checkRow(int row) const {
    if (row < 1 || row > RowCount())
        throw Error(QStringLiteral("Invalid row number ") + QString::number(row) +
                    QStringLiteral(" in the results list."));
}

void ResultsList::SetCell(int row, int column, const QString& text) {
    checkRow(row);
    auto& r = rows_[static_cast<size_t>(row - 1)];
    if (column == 1)
        r.path = text;
    else if (column == 2)
        r.snippet = text;
    else
        throw Error(QStringLiteral("Invalid column number ") + QString::number(column) +
                    QStringLiteral(" in the results list."));
    if (row <= published_) {
        const QModelIndex i = index(row - 1, column - 1);
        Q_EMIT dataChanged(i, i);
    }
}

const ResultRow& ResultsList::Row(int row) const {
    checkRow(row);
    return rows_[static_cast<size_t>(row - 1)];
}

QString ResultsList::ColumnHeader(int column) const {
    if (column == 1) return QStringLiteral("Results (File)");
    if (column == 2) return QStringLiteral(" Where");
    throw Error(QStringLiteral("Invalid column number ") + QString::number(column) +
                QStringLiteral(" in the results list."));
}

QString ResultsList::Cell(int row, int column) const {
    const ResultRow& r = Row(row);
    if (column == 1) return r.path;
    if (column == 2) return r.snippet;
    throw Error(QStringLiteral("Invalid column number ") + QString::number(column) +
                QStringLiteral(" in the results list."));
}

bool ResultsList::IsChecked(int row) const {
    return Row(row).checked;
}

void ResultsList::SetChecked(int row, bool checked) {
    checkRow(row);
    rows_[static_cast<size_t>(row - 1)].checked = checked;
    if (row <= published_) {
        const QModelIndex i = index(row - 1, 0);
        Q_EMIT dataChanged(i, i, {Qt::CheckStateRole});
    }
}

int ResultsList::SelectedRow() const {
    if (rows_.empty()) return 0;
    if (selected_ >= 1 && selected_ <= RowCount()) return selected_;
    return 1;
}

void ResultsList::SetSelectedRow(int row) {
    selected_ = row;
}

void ResultsList::publish() {
    const int total = RowCount();
    if (total <= published_) return;
    beginInsertRows(QModelIndex(), published_, total - 1);
    published_ = total;
    endInsertRows();
}

int ResultsList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : published_;
}

int ResultsList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant ResultsList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= published_ || index.column() > 1) return {};
    const ResultRow& r = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text::blankControls(index.column() == 0 ? r.path : r.snippet);
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
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1)
        return {};
    return ColumnHeader(section + 1);
}

}  // namespace qm
