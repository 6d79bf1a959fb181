// The editing session: Undo and Redo of committed edits and link changes.
//
// Each change of the document shown is a command on the session's undo stack. It holds the
// document change itself (XmlChange, which puts back the very nodes and the record of what
// changed, so a save after an undo writes the file's own bytes again) and what the property
// list showed on either side of it: an undo shows the rows as they were before the change, a
// redo as the change left them, whichever instance was on show meanwhile, so the user sees
// what came back. Commands refer to nodes of the document shown; a load clears the stack.
#include "session/editorsession.h"
#include "document/xmlchange.h"
#include "session/keptdocument.h"

#include <QUndoCommand>
#include <QUndoStack>

namespace quillon {

class ChangeCommand : public QUndoCommand {
public:
    ChangeCommand(EditorSession *session, const ChangeRecord &record)
        : QUndoCommand(record.text), m_session(session), m_record(record)
    { }
    const ChangeRecord &record() const { return m_record; }

    void undo() override { apply(false); }
    void redo() override
    {
        // The change is made before the command is pushed; pushing only records it.
        if (m_made) {
            m_made = false;
            return;
        }
        apply(true);
    }

private:
    void apply(bool forward)
    {
        if (m_session->m_replaying)
            return; // the stack is set up again over a document in the state it describes
        forward ? m_record.change.redo() : m_record.change.undo();
        m_session->showRowsView(forward ? m_record.after : m_record.before, m_record.row);
        if (m_record.link)
            m_session->rebuildTree();
    }

    EditorSession *m_session;
    ChangeRecord m_record;
    bool m_made = true;
};

void EditorSession::setUpUndo()
{
    connect(m_file.undoStack(), &QUndoStack::indexChanged, this, &EditorSession::followCleanState);
    connect(m_file.undoStack(), &QUndoStack::cleanChanged, this, &EditorSession::followCleanState);
}

// The document differs from its file exactly when the stack stands elsewhere than where it
// stood at the last load or save.
void EditorSession::followCleanState()
{
    m_file.followCleanState();
    updateModified();
}

void EditorSession::showRowsView(const RowsView &view, int row)
{
    m_shown.restore(view, m_file.fileName());
    setEntity(view.entity);
    setListVisible(true);
    emit changeShown(row);
    announceShown();
}

void EditorSession::recordChange(const XmlChange &change, const RowsView &before, int row, bool link)
{
    const PropertyModel *rows = m_shown.rows();
    const QString caption = rows->isValidRow(row) ? rows->row(row).caption : QString();
    const QString text = (link ? tr("Edit Link %1") : tr("Edit %1")).arg(caption);
    m_file.undoStack()->push(new ChangeCommand(this, {change, before, m_shown.view(), row, link, text}));
}

UndoState EditorSession::undoState() const
{
    const QUndoStack *stack = m_file.undoStack();
    UndoState state{{}, stack->index(), stack->cleanIndex()};
    for (int i = 0; i < stack->count(); ++i)
        state.changes.append(static_cast<const ChangeCommand *>(stack->command(i))->record());
    return state;
}

// The document is in the state the stack stood at: the commands are pushed again without being
// made, the clean state put where it was, and the stack moved back to where it stood.
void EditorSession::restoreUndo(const UndoState &state)
{
    QUndoStack *stack = m_file.undoStack();
    m_replaying = true;
    stack->clear();
    for (qsizetype i = 0; i < state.changes.size(); ++i) {
        if (i == state.cleanIndex)
            stack->setClean();
        stack->push(new ChangeCommand(this, state.changes[i]));
    }
    if (state.cleanIndex == state.changes.size())
        stack->setClean();
    else if (state.cleanIndex < 0)
        stack->resetClean();
    stack->setIndex(state.index);
    m_replaying = false;
    followCleanState();
}

} // namespace quillon
