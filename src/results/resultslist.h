#pragma once
// The results list as the window's Qt table model: a thin view over its
// published rows (ResultRows). Rows appended by a search wait until `publish`
// shows them in one batch, so thousands of rows cost one view update, not one
// each. Everything that reads the list -- the view, the exports, the window's
// buttons -- sees the published rows only, so all of them agree on what the
// list holds. Rows count from 0.

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "results/resultrows.h"

namespace qm {

class ResultsList : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumnCount = ResultRows::kColumnCount;
    // The title of column 0 or 1.
    static QString columnTitle(int column) { return ResultRows::columnTitle(column); }

    explicit ResultsList(QObject* parent = nullptr);

    // Removes every row, published or not; nothing is picked afterwards.
    void clear();
    // Appends an unticked row; it shows at the next `publish`.
    void addRow(const QString& path, const QString& snippet, int page = 0,
                const QString& phrase = QString(), int matchAt = -1, int matchLength = 0);
    void addRow(ResultRow row) { waiting_.push_back(std::move(row)); }
    // Shows the rows appended since the last call, in one batch.
    void publish();

    // The published rows, as the exports take them.
    const ResultRows& rows() const { return shown_; }
    // Row `r` of the published rows (0 to rowCount() - 1). Throws qm::Error
    // for any other number, so a reader that pumps events notices rows cleared
    // meanwhile. The reference holds until the list next changes.
    const ResultRow& row(int r) const { return shown_.row(r); }
    void setChecked(int r, bool checked);  // throws like `row`
    // The row the user picked, or 0 while rows exist and none was picked; -1
    // when the list shows no rows.
    int selectedRow() const;
    void setSelectedRow(int r);  // -1: none picked

    // --- QAbstractTableModel; rowCount() counts the published rows ---
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    ResultRows shown_;                // the published rows
    std::vector<ResultRow> waiting_;  // appended, not yet published
    int selected_ = -1;
};

}  // namespace qm
