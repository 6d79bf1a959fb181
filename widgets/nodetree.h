#pragma once
// The tree of the editor control (ctrlTree): a tree view that tells apart how its current
// node moved. Enter, Return and Space choose the current node as a click does; any other key
// that moves the current node (arrows, Home/End, PgUp/PgDn, typing a caption) reports the move.
// Mouse clicks report through QAbstractItemView::clicked as usual. "*" expands the current node
// and all below it as far as the view can lay them out (kMaxExpandDepth levels, kMaxExpandNodes
// nodes); when it stops short it says so in the status line (a QStatusTipEvent, which reaches a
// host's main window). No node deeper than kMaxExpandDepth stays open, however it was opened.

#include <QTreeView>

namespace quillon {

class NodeTree : public QTreeView {
    Q_OBJECT
public:
    explicit NodeTree(QWidget *parent = nullptr);

    // Deeper, the view's layout (which recurses once per open level) overruns the stack.
    static constexpr int kMaxExpandDepth = 10000;
    static constexpr int kMaxExpandNodes = 100000;

signals:
    void chosenByKey(const QModelIndex &node);
    void movedByKey(const QModelIndex &node);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void expandAllBelow(const QModelIndex &index);
    void sayExpandStopped();
};

} // namespace quillon
