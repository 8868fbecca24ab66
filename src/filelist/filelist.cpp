#include "filelist/filelist.h"

#include "text/display.h"
#include "text/error.h"

namespace qm {

FileList::FileList(QObject* parent) : QAbstractListModel(parent) {}

void FileList::add(const QString& path) {
    const int n = count();
    beginInsertRows(QModelIndex(), n, n);
    paths_.push_back(path);
    endInsertRows();
}

void FileList::add(const QStringList& paths) {
    if (paths.isEmpty()) return;
    const int n = count();
    beginInsertRows(QModelIndex(), n, n + static_cast<int>(paths.size()) - 1);
    paths_ += paths;
    endInsertRows();
}

QString FileList::text(int position) const {
    if (position < 1 || position > count())
        throw Error(QStringLiteral("Invalid entry number ") + QString::number(position) +
                    QStringLiteral(" in the file list."));
    return paths_[position - 1];
}

void FileList::remove(int position) {
    if (position < 1 || position > count())
        throw Error(QStringLiteral("Invalid entry number ") + QString::number(position) +
                    QStringLiteral(" in the file list."));
    beginRemoveRows(QModelIndex(), position - 1, position - 1);
    paths_.removeAt(position - 1);
    endRemoveRows();
    if (selected_ == position)
        setSelected(0);
    else if (selected_ > position)
        selected_ -= 1;
}

void FileList::clear() {
    beginResetModel();
    paths_.clear();
    endResetModel();
    setSelected(0);
}

void FileList::swapTexts(int a, int b) {
    if (a < 1 || a > count() || b < 1 || b > count())
        throw Error(QStringLiteral("Invalid entry number in the file list."));
    paths_.swapItemsAt(a - 1, b - 1);
    Q_EMIT dataChanged(index(a - 1), index(a - 1));
    Q_EMIT dataChanged(index(b - 1), index(b - 1));
}

void FileList::setSelected(int position) {
    if (position < 0 || position > count()) position = 0;
    selected_ = position;
}

int FileList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant FileList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return text::displayText(paths_[index.row()]);
    }
    return {};
}

QVariant FileList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return QStringLiteral(" PDF File(s)");
    return {};
}

Qt::ItemFlags FileList::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace qm
