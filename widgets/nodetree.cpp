#include "widgets/nodetree.h"
#include "session/treemodel.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QStatusTipEvent>

namespace quillon {

NodeTree::NodeTree(QWidget *parent) : QTreeView(parent)
{
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        const auto *tree = qobject_cast<const TreeModel *>(model());
        if (tree && tree->store().depth(tree->nodeIndex(index)) >= kMaxExpandDepth) {
            collapse(index);
            sayExpandStopped();
        }
    });
}

void NodeTree::keyPressEvent(QKeyEvent *event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const int key = event->key();
    if (plain && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        event->accept();
        if (currentIndex().isValid())
            emit chosenByKey(currentIndex());
        return;
    }
    if (key == Qt::Key_Asterisk && currentIndex().isValid() && qobject_cast<const TreeModel *>(model())) {
        event->accept();
        expandAllBelow(currentIndex());
        return;
    }
    const QPersistentModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    if (currentIndex().isValid() && currentIndex() != before)
        emit movedByKey(currentIndex());
}

void NodeTree::expandAllBelow(const QModelIndex &index)
{
    const auto *tree = static_cast<const TreeModel *>(model());
    bool cut = false;
    const std::vector<int> nodes =
        tree->store().nodesToExpand(tree->nodeIndex(index), kMaxExpandDepth, kMaxExpandNodes, &cut);
    // Marked open first, laid out once afterwards.
    scheduleDelayedItemsLayout();
    for (int node : nodes)
        expand(tree->indexOfNode(node));
    if (cut)
        sayExpandStopped();
}

void NodeTree::sayExpandStopped()
{
    QStatusTipEvent tip(tr("Expanding stopped at %1 levels or %2 nodes; the rest stays closed.")
                            .arg(QLocale().toString(kMaxExpandDepth), QLocale().toString(kMaxExpandNodes)));
    QCoreApplication::sendEvent(this, &tip);
}

} // namespace quillon
