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

#include <QUndoCommand>
#include <QUndoStack>

namespace quillon {

class ChangeCommand : public QUndoCommand {
public:
    ChangeCommand(EditorSession *session, const XmlChange &change, const EditorSession::RowsView &before,
                  const EditorSession::RowsView &after, int row, bool link, const QString &text)
        : QUndoCommand(text),
          m_session(session),
          m_change(change),
          m_before(before),
          m_after(after),
          m_row(row),
          m_link(link)
    { }

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
        forward ? m_change.redo() : m_change.undo();
        m_session->showRowsView(forward ? m_after : m_before, m_row);
        if (m_link)
            m_session->rebuildTree();
    }

    EditorSession *m_session;
    XmlChange m_change;
    EditorSession::RowsView m_before, m_after;
    int m_row;
    bool m_link;
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
    m_file.undoStack()->push(new ChangeCommand(this, change, before, m_shown.view(), row, link, text));
}

} // namespace quillon
