#pragma once
// The results list as its view shows it: the list's two columns, then "Page"
// with each hit's page (empty when not known); the snippets know where they
// show their occurrence. The exports read the list itself, so they keep its
// two columns.

#include <QIdentityProxyModel>
#include <QPoint>
#include <cstddef>

class QTreeView;

namespace qm {

class ResultsList;
struct Snippet;

// Where a snippet, as Snippet::toString() shows it, holds its occurrence of
// `matchBytes` bytes: the first UTF-16 unit and the number of units, as far
// as the snippet reaches.
QPoint shownMatch(const Snippet& snippet, std::size_t matchBytes);

// Shows the list in `view` through a ResultsView: each hit's page in a column
// that takes what the two designed columns (`designedWidth` together) leave
// of the view beside its scroll bar; the found phrase in bold.
void showResults(QTreeView& view, ResultsList& list, int designedWidth);

class ResultsView : public QIdentityProxyModel {
  public:
    static constexpr int kPageColumn = 2;
    // Of the snippet column: where the snippet shows the occurrence (a QPoint:
    // first UTF-16 unit, length), for the view to draw it in bold.
    static constexpr int kMatchRole = Qt::UserRole + 1;

    ResultsView(ResultsList& list, QObject* parent);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& idx) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    ResultsList& list_;
};

}  // namespace qm
