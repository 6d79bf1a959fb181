// The editor control's event handlers: each hands the event to the session or the edit box
// and tells the user what came of it.
#include "widgets/ctrlxmleditor.h"
#include "picker/dlgref.h"
#include "widgets/editbox.h"
#include "widgets/messagesink.h"
#include "session/treemodel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTreeView>

namespace quillon {

namespace {

// The character code a key press types, as the list sees it; -1 for none.
int keyAscii(const QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    default:
        break;
    }
    const QString t = e->text();
    return t.size() == 1 ? int(t.at(0).unicode()) : -1;
}

} // namespace

bool CtrlXMLEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ctrlProperties->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto *me = static_cast<QMouseEvent *>(event);
            const QPoint inList = ctrlProperties->viewport()->mapTo(ctrlProperties, me->position().toPoint());
            ctrlProperties_MouseDown(me->button(), toTwips(inList.x()));
            m_bListPressed = true;
        } else if (event->type() == QEvent::MouseButtonRelease && m_bListPressed) {
            m_bListPressed = false;
            const QModelIndex index = ctrlProperties->indexAt(static_cast<QMouseEvent *>(event)->position().toPoint());
            if (index.isValid())
                ctrlProperties_ItemClick(index.row());
            ctrlProperties_Click();
        }
    } else if (watched == ctrlTree && event->type() == QEvent::KeyPress) {
        if (controlKeyPress(static_cast<QKeyEvent *>(event)))
            return true;
    } else if (watched == ctrlProperties && event->type() == QEvent::KeyPress) {
        if (controlKeyPress(static_cast<QKeyEvent *>(event)) || ctrlProperties_KeyDown(static_cast<QKeyEvent *>(event)))
            return true;
        const int code = keyAscii(static_cast<QKeyEvent *>(event));
        if (code >= 0) {
            const bool wasEditing = IsEditing();
            ctrlProperties_KeyPress(code);
            // The typed character went into the box; the list does not search with it too.
            if (!wasEditing && IsEditing())
                return true;
        }
    } else if (watched == lblResizeBar) {
        if (event->type() == QEvent::MouseButtonPress)
            lblResizeBar_MouseDown(toTwips(static_cast<QMouseEvent *>(event)->position().toPoint().x()));
        else if (event->type() == QEvent::MouseMove)
            lblResizeBar_MouseMove(toTwips(static_cast<QMouseEvent *>(event)->position().toPoint().x()));
        else if (event->type() == QEvent::MouseButtonRelease)
            lblResizeBar_MouseUp();
    } else if (event->type() == QEvent::Resize || event->type() == QEvent::Move) {
        // The tab pages settle inside the tab container: place their children again.
        if (watched->parent() && watched->parent()->parent() == ctrlTab)
            applyLayout();
    }
    return QWidget::eventFilter(watched, event);
}

void CtrlXMLEditor::ctrlTree_NodeClick(const QModelIndex &node)
{
    lblMessage->clear();
    tell(m_session->selectNode(m_session->treeModel()->nodeIndex(node)));
}

void CtrlXMLEditor::ctrlProperties_MouseDown(Qt::MouseButton button, int x)
{
    m_edit->mouseDown(x);
    m_bRightClick = button == Qt::RightButton;
}

void CtrlXMLEditor::ctrlProperties_ItemClick(int row)
{
    if (IsEditing())
        return;
    if (!m_session->rows()->row(row).isReference())
        return m_edit->prepare(row);
    m_nLinkRow = row;
    if (m_bRightClick)
        mnuEditLink->popup(QCursor::pos());
    else
        tell(m_session->followRow(row));
}

void CtrlXMLEditor::ctrlProperties_Click()
{
    m_edit->click();
}

void CtrlXMLEditor::ctrlProperties_KeyPress(int code)
{
    m_edit->typed(code);
}

void CtrlXMLEditor::cmdBack_Click()
{
    tell(m_session->back());
}

void CtrlXMLEditor::mnuEdit_Click()
{
    if (m_nLinkRow < 0 || !m_session->document())
        return;
    // The picker reads a relative name where following the reference finds it, next to the
    // document shown, while its address keeps the name as written: the new reference is
    // written from that address, so a relative reference stays relative.
    const QString choice = dlgRef::instance(this)->chooseFrom(m_session->linkAddress(m_nLinkRow), FileName(),
                                                              m_session->document());
    if (!choice.isEmpty())
        tell(m_session->applyLink(m_nLinkRow, choice));
}

// ---- Property list ------------------------------------------------------------------------

void CtrlXMLEditor::setListVisible(bool visible)
{
    ctrlProperties->setVisible(visible);
    lblSelectWhat->setVisible(!visible);
}

void CtrlXMLEditor::showList()
{
    setListVisible(m_session->listVisible());
    if (m_session->listVisible() && m_session->hasRows())
        FitColumns();
}

void CtrlXMLEditor::FitColumns()
{
    for (int i = 0; i < m_session->rows()->columnCount(); ++i)
        ctrlProperties->resizeColumnToContents(i);
    // The captions whole, up to half the list; the values take the rest.
    const layout::ColumnWidths w =
        layout::fitColumnsUpTo(toTwips(ctrlProperties->columnWidth(0)), toTwips(ctrlProperties->width()), 400, 0.5);
    ctrlProperties->setColumnWidth(0, toPx(w.first));
    ctrlProperties->setColumnWidth(1, toPx(w.second));
}

} // namespace quillon
