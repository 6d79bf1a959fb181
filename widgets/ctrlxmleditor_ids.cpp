// The editor control: which instance a tree node is. Instance nodes carry their id in grey
// after the caption, in a second column, or not at all (InstanceIds); the captions stay the
// element names either way.
#include "widgets/ctrlxmleditor.h"
#include "session/treemodel.h"
#include "widgets/nodeiddelegate.h"

#include <QHeaderView>
#include <QTreeView>

namespace quillon {

void CtrlXMLEditor::setupInstanceIds()
{
    ctrlTree->setItemDelegateForColumn(0, new NodeIdDelegate(ctrlTree));
    setInstanceIds(TreeModel::IdAfterCaption);
}

int CtrlXMLEditor::InstanceIds() const
{
    return m_session->treeModel()->idDisplay();
}

void CtrlXMLEditor::setInstanceIds(int nShow)
{
    if (nShow < TreeModel::IdHidden || nShow > TreeModel::IdColumn)
        return;
    TreeModel *tree = m_session->treeModel();
    const QModelIndex current = ctrlTree->currentIndex();
    const int node = tree->nodeIndex(current);
    QList<int> open; // the model's reset closes every node: they open again after it
    for (int i = 1; i <= tree->store().count(); ++i)
        if (ctrlTree->isExpanded(tree->indexOfNode(i)))
            open << i;
    tree->setIdDisplay(TreeModel::IdDisplay(nShow));
    for (int i : std::as_const(open))
        ctrlTree->expand(tree->indexOfNode(i));
    if (node)
        ctrlTree->setCurrentIndex(tree->indexOfNode(node));
    // A column of its own has a header to say what it holds.
    const bool column = nShow == TreeModel::IdColumn;
    ctrlTree->setHeaderHidden(!column);
    if (column)
        ctrlTree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
}

} // namespace quillon
