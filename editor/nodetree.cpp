#include "nodetree.h"

#include <QKeyEvent>

namespace quillon {

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
    const QPersistentModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    if (currentIndex().isValid() && currentIndex() != before)
        emit movedByKey(currentIndex());
}

} // namespace quillon
