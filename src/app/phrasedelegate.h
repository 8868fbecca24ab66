#pragma once
// A snippet column that shows the found phrase in bold and the text around it
// in the regular weight. The cell's text stays as it is; the model tells
// where the phrase lies in it (a QPoint: first UTF-16 unit, length) under
// `rangeRole`. A cell without that is drawn as usual.

#include <QStyledItemDelegate>

namespace qm {

class PhraseDelegate : public QStyledItemDelegate {
  public:
    PhraseDelegate(int rangeRole, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    int rangeRole_;
};

}  // namespace qm
