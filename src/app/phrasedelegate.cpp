#include "app/phrasedelegate.h"

#include <QApplication>
#include <QPainter>
#include <QPoint>
#include <algorithm>

#include "text/display.h"

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
    // Each piece on one line, as a plain cell's text would be.
    const QString before = text::displayText(text.left(start));
    const QString match = text::displayText(text.mid(start, end - start));
    const QString after = text::displayText(text.mid(end));
    const QFontMetrics regularMetrics(regular), boldMetrics(bold);
    const int room = box.width();
    const int matchWidth = boldMetrics.horizontalAdvance(match);
    const int beforeWidth = regularMetrics.horizontalAdvance(before);
    const int afterWidth = regularMetrics.horizontalAdvance(after);
    // The phrase stays in sight: what is left of the room goes half to each
    // side, and what one side does not need to the other.
    const int side = std::max(0, room - matchWidth);
    const int beforeRoom = std::min(beforeWidth, std::max(side / 2, side - afterWidth));
    const struct {
        QString text;
        const QFont& font;
        int width;
        Qt::TextElideMode elide;
    } pieces[] = {{before, regular, beforeRoom, Qt::ElideLeft},
                  {match, bold, std::min(matchWidth, room), Qt::ElideRight},
                  {after, regular, std::max(0, side - beforeRoom), Qt::ElideRight}};

    painter->save();
    painter->setClipRect(box);
    painter->setPen(opt.palette.color(
        group, opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    int x = box.left();
    for (const auto& piece : pieces) {
        if (piece.text.isEmpty() || piece.width <= 0) continue;
        const QFontMetrics metrics(piece.font);
        const QString shown = metrics.horizontalAdvance(piece.text) <= piece.width
                                  ? piece.text
                                  : metrics.elidedText(piece.text, piece.elide, piece.width);
        painter->setFont(piece.font);
        painter->drawText(QRect(x, box.top(), piece.width, box.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        x += piece.width;
    }
    painter->restore();
}

}  // namespace qm
