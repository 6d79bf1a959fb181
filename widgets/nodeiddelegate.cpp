#include "widgets/nodeiddelegate.h"
#include "session/treemodel.h"

#include <QApplication>
#include <QPainter>

namespace quillon {

void NodeIdDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const QString id = index.data(TreeModel::InstanceIdRole).toString();
    if (id.isEmpty())
        return;
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
    // Where the caption ends: the style's text margin, then the caption's advance.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    QRect rest = text.adjusted(margin + opt.fontMetrics.horizontalAdvance(opt.text) + kGap, 0, 0, 0);
    if (rest.width() <= 0)
        return;
    const bool selected = opt.state & QStyle::State_Selected;
    QColor grey = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText);
    if (selected)
        grey.setAlphaF(0.7f);
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(grey);
    painter->drawText(rest, Qt::AlignLeft | Qt::AlignVCenter,
                      opt.fontMetrics.elidedText(id, Qt::ElideRight, rest.width()));
    painter->restore();
}

QSize NodeIdDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString id = index.data(TreeModel::InstanceIdRole).toString();
    if (!id.isEmpty())
        size.rwidth() += kGap + option.fontMetrics.horizontalAdvance(id);
    return size;
}

} // namespace quillon
