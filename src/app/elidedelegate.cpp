#include "app/elidedelegate.h"

namespace qm {

void MiddleElideDelegate::initStyleOption(QStyleOptionViewItem* option,
                                          const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideMiddle;
}

}  // namespace qm
