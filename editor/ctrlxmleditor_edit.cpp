// The editor control: editing values in place and following reference rows.
#include "ctrlxmleditor.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>

namespace quillon {

namespace {

// The character code a key press types, as the list and the box see it; -1 for none.
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
            auto *me = static_cast<QMouseEvent *>(event);
            if (QTreeWidgetItem *item = ctrlProperties->itemAt(me->position().toPoint()))
                ctrlProperties_ItemClick(item);
            ctrlProperties_Click();
        }
    } else if (watched == ctrlProperties && event->type() == QEvent::KeyPress) {
        const int code = keyAscii(static_cast<QKeyEvent *>(event));
        if (code >= 0) {
            const bool wasEditing = m_bEditing;
            ctrlProperties_KeyPress(code);
            // The typed character went into the box; the list does not search with it too.
            if (!wasEditing && m_bEditing)
                return true;
        }
    } else if (watched == txtEdit && event->type() == QEvent::KeyPress) {
        const int code = keyAscii(static_cast<QKeyEvent *>(event));
        if (code == 13 || code == 27) {
            txtEdit_KeyPress(code);
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

void CtrlXMLEditor::ctrlProperties_MouseDown(Qt::MouseButton button, int x)
{
    m_nClickX = x;
    m_bRightClick = button == Qt::RightButton;
}

int CtrlXMLEditor::columnLeftTwips(int column) const
{
    const QHeaderView *h = ctrlProperties->header();
    return toTwips(h->mapTo(ctrlProperties, QPoint(h->sectionViewportPosition(column), 0)).x());
}

int CtrlXMLEditor::columnWidthTwips(int column) const
{
    return toTwips(ctrlProperties->columnWidth(column));
}

int CtrlXMLEditor::rowTopTwips(QTreeWidgetItem *item) const
{
    const QRect r = ctrlProperties->visualItemRect(item);
    return toTwips(ctrlProperties->viewport()->mapTo(ctrlProperties, r.topLeft()).y());
}

int CtrlXMLEditor::rowHeightTwips(QTreeWidgetItem *item) const
{
    return toTwips(ctrlProperties->visualItemRect(item).height());
}

void CtrlXMLEditor::placeEditBox(QTreeWidgetItem *item, int leftTwips)
{
    const layout::Rect &list = m_layout.ctrlProperties;
    m_layout.txtEdit = {leftTwips, list.top + 60 + rowTopTwips(item), std::max(0, columnWidthTwips(1) - 60),
                        std::max(0, rowHeightTwips(item) - 60)};
    applyLayout();
}

void CtrlXMLEditor::ctrlProperties_ItemClick(QTreeWidgetItem *item)
{
    if (m_bEditing)
        return;
    if (isReferenceRow(item)) {
        m_itmLink = item;
        if (m_bRightClick) {
            mnuEditLink->popup(QCursor::pos());
            return;
        }
        followReferenceRow(item);
        return;
    }
    txtEdit->setText(item->text(1));
    placeEditBox(item, m_layout.ctrlProperties.left + columnLeftTwips(1) + 60);
    const double twipsPerPixel = 1440.0 / dpi();
    const int px = layout::roundHalfEven((m_nClickX - columnLeftTwips(1)) / twipsPerPixel);
    txtEdit->setCursorPosition(std::max(0, txtEdit->cursorPositionAt(QPoint(px, 0))));
    m_itmEdit = item;
}

void CtrlXMLEditor::followReferenceRow(QTreeWidgetItem *item)
{
    const QString value = item->text(1);
    const QString idBefore = firstAttributeText(m_elmInstance);
    const QString placeId = returnPlaceId();
    m_strPendingFile = m_strFileName;
    if (isSameDocumentRefValue(value)) {
        m_elmInstance = FindInstance(value);
    } else {
        const RefPieces pieces(value);
        if (beginJump(pieces.piece(0), pieces.piece(1)) != JumpResult::NotLoaded)
            return; // under way (the load completes it), or the document could not be left
        m_elmInstance = FindInstance(pieces.piece(1));
    }
    if (!m_elmInstance) {
        message(QStringLiteral("Instance not found"), QStringLiteral("Warning"), 48);
        m_elmInstance = FindInstance(idBefore);
        if (!m_elmRows || !m_elmRows.belongsTo(xmlDoc)) {
            // The document was read again: the rows on show belong to its old copy.
            if (m_elmInstance)
                PopulateInstance();
            else
                clearRows();
        }
        return;
    }
    if (!placeId.isEmpty())
        recordEntry(m_strPendingFile + QLatin1Char('#') + placeId);
    PopulateInstance();
}

void CtrlXMLEditor::ctrlProperties_Click()
{
    if (!m_itmEdit)
        return;
    if (!m_bEditing) {
        txtEdit->show();
        txtEdit->raise();
        txtEdit->setFocus();
        m_bEditing = true;
    } else {
        SaveItemChanges(true);
    }
}

void CtrlXMLEditor::ctrlProperties_KeyPress(int code)
{
    if (m_bEditing || code < 33 || code > 127)
        return;
    QTreeWidgetItem *row = ctrlProperties->currentItem();
    if (!row || !row->isSelected() || isReferenceRow(row))
        return;
    placeEditBox(row, m_layout.ctrlProperties.left + 60 + columnWidthTwips(0));
    txtEdit->setText(QString(QChar(code)));
    txtEdit->show();
    txtEdit->raise();
    txtEdit->setFocus();
    m_bEditing = true;
    m_itmEdit = row;
}

void CtrlXMLEditor::txtEdit_KeyPress(int code)
{
    if (code == 13)
        SaveItemChanges(true);
    else if (code == 27)
        SaveItemChanges(false);
}

} // namespace quillon
