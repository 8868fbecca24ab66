#pragma once
// The results list: one row per occurrence (file path, snippet, a check box
// only the user ticks), as a Qt table model. Rows appended by a search wait
// until `publish` shows them in one batch, so thousands of rows cost one view
// update, not one each. Everything that reads the list -- the view, the
// exports, the window's buttons -- sees the published rows only, so all of
// them agree on what the list holds. Rows count from 0.

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace qm {

struct ResultRow {
    QString path;     // column 0, "Results (File)"
    QString snippet;  // column 1, " Where"; may be empty
    bool checked = false;
    // Kept for opening the file where the occurrence is; never shown or exported.
    int page = 0;    // 1-based; 0 when not known
    QString phrase;  // the phrase that found it

    // The raw text of column 0 or 1.
    const QString& text(int column) const { return column == 0 ? path : snippet; }
};

class ResultsList : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumnCount = 2;
    // The title of column 0 or 1.
    static QString columnTitle(int column);

    explicit ResultsList(QObject* parent = nullptr);

    // Removes every row, published or not; nothing is picked afterwards.
    void clear();
    // Appends an unticked row; it shows at the next `publish`.
    void addRow(const QString& path, const QString& snippet, int page = 0,
                const QString& phrase = QString());
    // Shows the rows appended since the last call, in one batch.
    void publish();

    // Row `r` of the published rows (0 to rowCount() - 1). Throws qm::Error
    // for any other number, so a reader that pumps events notices rows cleared
    // meanwhile. The reference holds until the list next changes.
    const ResultRow& row(int r) const;
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
    std::vector<ResultRow> rows_;  // the published rows, then the waiting ones
    int published_ = 0;
    int selected_ = -1;
};

}  // namespace qm
