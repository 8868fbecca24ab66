#pragma once
// The results list as its view shows it: the list's two columns, then "Page"
// with each hit's page (empty when not known), sorted and filtered as the
// user asks (RowOrder). The snippets know where they show their occurrence.
// Rows of the view count in the order shown; listRow() gives the list's row.

#include <QAbstractTableModel>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <cstddef>

#include "results/resultslist.h"
#include "results/roworder.h"

class QTreeView;

namespace qm {

struct Snippet;

// Where a snippet, as Snippet::toString() shows it, holds its occurrence of
// `matchBytes` bytes: the first UTF-16 unit and the number of units, as far
// as the snippet reaches.
QPoint shownMatch(const Snippet& snippet, std::size_t matchBytes);

class ResultsView : public QAbstractTableModel {
  public:
    static constexpr int kPageColumn = 2;
    // Of the snippet column: where the shown text holds the occurrence (a
    // QPoint: first UTF-16 unit, length), for the view to draw it in bold.
    static constexpr int kMatchRole = Qt::UserRole + 1;

    ResultsView(ResultsList& list, QObject* parent);

    // The list's row shown as row `r` of the view, and back (-1: not shown).
    int listRow(int r) const;
    int viewRow(int listRow) const;
    const RowOrder& order() const { return order_; }
    // A click on the title of `column`: sorted by it, then the other way,
    // then as found again.
    void sortByColumn(int column);
    void setFilter(const QString& text);
    // Takes in at once the rows found since the view last placed them (a
    // sorted or filtered view places new rows at most every kPlaceEvery).
    void flush();
    // The rows as shown, in the order shown (the list's own when no sort or
    // filter is in effect).
    ResultRows shownRows() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    void listAppended(int first, int last);
    // Runs `change` of the order as one layout change of the view, keeping
    // the picked and current rows where they went.
    template <typename Change>
    void reorder(Change change);

    // The list goes before the view when the window is taken down.
    QPointer<ResultsList> list_;
    // Rows found while a sort or filter is in effect wait here a little:
    // placing them makes the view lay out every row again.
    static constexpr int kPlaceEvery = 250;  // ms
    QTimer* place_ = nullptr;
    RowOrder order_;
    bool resetting_ = false;
};

// Shows the list in `view` through a ResultsView: each hit's page in a column
// that takes what the two designed columns (`designedWidth` together) leave
// of the view beside its scroll bar; the found phrase in bold, with as much
// of its context as the column has room for; a click on a column's title
// sorts by it.
ResultsView& showResults(QTreeView& view, ResultsList& list, int designedWidth);

}  // namespace qm
