#pragma once
// The results list: one row per occurrence (file path, snippet, a check box
// only the user ticks). A Qt table model over it feeds the view; rows appended
// by a search are published to the view in batches (`publish`), so thousands
// of rows cost one view update, not one each.

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace qm {

struct ResultRow {
    QString path;     // column 1, "Results (File)"
    QString snippet;  // column 2, " Where"; empty until set
    bool checked = false;
};

class ResultsList : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit ResultsList(QObject* parent = nullptr);

    // --- the list's operations (positions count from 1) ---
    void Clear();
    // Appends an unticked row with column 1 set; returns its position.
    int AddRow(const QString& path);
    // Sets cell `column` (1 = path, 2 = snippet) of row `row`.
    void SetCell(int row, int column, const QString& text);
    int RowCount() const { return static_cast<int>(rows_.size()); }
    const ResultRow& Row(int row) const;
    int ColumnCount() const { return 2; }
    QString ColumnHeader(int column) const;
    QString Cell(int row, int column) const;
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    // The row the user picked, or 1 while rows exist and none was picked; 0 when empty.
    int SelectedRow() const;
    void SetSelectedRow(int row);  // 0 = none picked

    // Shows the rows appended since the last call in the view, in one batch.
    void publish();

    // --- QAbstractTableModel ---
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    void checkRow(int row) const;
    std::vector<ResultRow> rows_;
    int published_ = 0;
    int selected_ = 0;
};

}  // namespace qm
