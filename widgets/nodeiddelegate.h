#pragma once
// Draws a tree node as usual and, after its caption, the id the model gives in
// TreeModel::InstanceIdRole, in grey: the caption itself stays the element's name.

#include <QStyledItemDelegate>

namespace quillon {

class NodeIdDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The gap between the caption and the id, in pixels.
    static constexpr int kGap = 6;
};

} // namespace quillon
