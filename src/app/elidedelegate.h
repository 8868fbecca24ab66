#pragma once
// A list column whose too-long texts lose their middle, not their end: a
// path keeps its file name in sight. The whole text stays the cell's tooltip.

#include <QStyledItemDelegate>

namespace qm {

class MiddleElideDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace qm
