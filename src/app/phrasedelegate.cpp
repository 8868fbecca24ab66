#include "app/phrasedelegate.h"

#include <QApplication>
#include <QPainter>
#include <QPoint>
#include <algorithm>

namespace qm {

PhraseDelegate::PhraseDelegate(int rangeRole, QObject* parent)
    : QStyledItemDelegate(parent), rangeRole_(rangeRole) {}

void PhraseDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    const QVariant range = index.data(rangeRole_);
    if (!range.canConvert<QPoint>()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    const qsizetype start = std::clamp<qsizetype>(range.toPoint().x(), 0, text.size());
    const qsizetype end = std::clamp<qsizetype>(start + range.toPoint().y(), start, text.size());

    // Background, selection and focus as the style draws them, without the text.
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    // The text's place as the style would put it.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect box = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
                          .adjusted(margin, 0, -margin, 0);
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Normal
                                                                            : QPalette::Inactive;
    QFont regular = opt.font;
    regular.setBold(false);
    QFont bold = opt.font;
    bold.setBold(true);
    const struct {
        QString text;
        const QFont& font;
    } pieces[] = {{text.left(start), regular},
                  {text.mid(start, end - start), bold},
                  {text.mid(end), regular}};

    painter->save();
    painter->setClipRect(box);
    painter->setPen(opt.palette.color(
        group, opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    int x = box.left();
    for (const auto& piece : pieces) {
        if (piece.text.isEmpty()) continue;
        const QFontMetrics metrics(piece.font);
        const int room = box.right() + 1 - x;
        const int width = metrics.horizontalAdvance(piece.text);
        // What does not fit ends in an ellipsis, as a plain cell's text would.
        const QString shown =
            width <= room ? piece.text : metrics.elidedText(piece.text, Qt::ElideRight, room);
        painter->setFont(piece.font);
        painter->drawText(QRect(x, box.top(), room, box.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        if (width > room) break;
        x += width;
    }
    painter->restore();
}

}  // namespace qm
