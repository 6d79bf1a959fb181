// The editor control from the keyboard: Undo, Redo and Back wherever the focus is inside the
// control but in the edit box (which keeps its own keys), and the property list's Enter, F2
// and menu keys. The tree's keys come from NodeTree.
#include "widgets/ctrlxmleditor.h"
#include "widgets/editbox.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QUndoStack>

namespace quillon {

namespace {

enum class ControlKey { None, Undo, Redo, Back };

ControlKey controlKey(const QKeyEvent *e)
{
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const int key = e->key();
    if (key == Qt::Key_Z && mods == Qt::ControlModifier)
        return ControlKey::Undo;
    if ((key == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier)) ||
        (key == Qt::Key_Y && mods == Qt::ControlModifier))
        return ControlKey::Redo;
    if ((key == Qt::Key_Left && mods == Qt::AltModifier) || (key == Qt::Key_Backspace && mods == Qt::NoModifier))
        return ControlKey::Back;
    return ControlKey::None;
}

} // namespace

bool CtrlXMLEditor::event(QEvent *event)
{
    // A shortcut override that no child took reaches the control: these keys are the
    // control's while the focus is inside it, before any shortcut of the host's window.
    if (event->type() == QEvent::ShortcutOverride && !IsEditing() &&
        controlKey(static_cast<QKeyEvent *>(event)) != ControlKey::None) {
        event->accept();
        return true;
    }
    // Not keys: the other events the control looks at here. The hint's colour follows once
    // the new palette has reached the control's children too.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        QMetaObject::invokeMethod(
            this, [this] { showHintColour(); }, Qt::QueuedConnection);
    // The window has the user again (a window reaches its children with this): has another
    // program changed the file meanwhile? Asked once the activation is over.
    if (event->type() == QEvent::WindowActivate)
        QMetaObject::invokeMethod(
            this, [this] { tell(m_session->checkFileOnDisk()); }, Qt::QueuedConnection);
    return QWidget::event(event);
}

void CtrlXMLEditor::keyPressEvent(QKeyEvent *event)
{
    if (!controlKeyPress(event))
        QWidget::keyPressEvent(event);
}

bool CtrlXMLEditor::controlKeyPress(const QKeyEvent *event)
{
    const ControlKey key = controlKey(event);
    if (key == ControlKey::None || IsEditing() || m_edit->lineEdit()->hasFocus())
        return false;
    QUndoStack *stack = m_session->undoStack();
    switch (key) {
    case ControlKey::Undo:
        if (stack->canUndo())
            stack->undo();
        break;
    case ControlKey::Redo:
        if (stack->canRedo())
            stack->redo();
        break;
    case ControlKey::Back:
        if (cmdBack->isEnabled())
            cmdBack_Click();
        break;
    case ControlKey::None:
        break;
    }
    return true;
}

bool CtrlXMLEditor::ctrlProperties_KeyDown(const QKeyEvent *event)
{
    if (IsEditing())
        return false;
    const QModelIndex current = ctrlProperties->currentIndex();
    if (!current.isValid() || !m_session->rows()->isValidRow(current.row()))
        return false;
    const int row = current.row();
    const bool reference = m_session->rows()->row(row).isReference();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    const bool enter = mods == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter);
    const bool f2 = mods == Qt::NoModifier && key == Qt::Key_F2;
    const bool menu =
        (key == Qt::Key_Menu && mods == Qt::NoModifier) || (key == Qt::Key_F10 && mods == Qt::ShiftModifier);
    if (reference && enter) {
        // A left click on the row.
        m_nLinkRow = row;
        tell(m_session->followRow(row));
    } else if (reference && menu) {
        // A right click on the row: the menu opens over its value.
        m_nLinkRow = row;
        const QRect r = ctrlProperties->visualRect(current);
        const QPoint at(ctrlProperties->header()->sectionViewportPosition(1), r.bottom());
        mnuEditLink->popup(ctrlProperties->viewport()->mapToGlobal(at));
    } else if (!reference && (enter || f2)) {
        m_edit->edit(row);
    } else {
        return false;
    }
    return true;
}

} // namespace quillon
