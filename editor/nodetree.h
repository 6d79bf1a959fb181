#pragma once
// The tree of the editor control (ctrlTree): a tree view that tells apart how its current
// node moved. Enter, Return and Space choose the current node as a click does; any other key
// that moves the current node (arrows, Home/End, PgUp/PgDn, typing a caption) reports the move.
// Mouse clicks report through QAbstractItemView::clicked as usual.

#include <QTreeView>

namespace quillon {

class NodeTree : public QTreeView {
    Q_OBJECT
public:
    explicit NodeTree(QWidget *parent = nullptr) : QTreeView(parent) { }

signals:
    void chosenByKey(const QModelIndex &node);
    void movedByKey(const QModelIndex &node);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace quillon
