#pragma once
// The file list: the ordered full paths the next search reads. Duplicates are
// allowed; the order changes only by dragging. Positions count from 1.

#include <QAbstractListModel>
#include <QStringList>

namespace qm {

class FileList : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit FileList(QObject* parent = nullptr);

    void add(const QString& path);
    void add(const QStringList& paths);  // one view update for many
    int count() const { return static_cast<int>(paths_.size()); }
    QString text(int position) const;  // throws qm::Error outside 1..count
    void remove(int position);
    void clear();
    void swapTexts(int a, int b);
    const QStringList& paths() const { return paths_; }
    // True when an entry's text equals `text` exactly (case-sensitive, no trimming).
    bool contains(const QString& text) const { return paths_.contains(text); }

    // The selected entry's position, 0 when none.
    int selected() const { return selected_; }
    void setSelected(int position);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    QStringList paths_;
    int selected_ = 0;
};

}  // namespace qm
