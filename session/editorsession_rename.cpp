// The editing session: Rename Id and Delete Instance of the instance on show.
//
// Both change the document shown as one step (EditStep) that is one command on the undo stack:
// an undo takes the whole step back and shows the instance as it was, a redo makes it again.
// The files of the folder that Rename Id and Delete Instance write are not taken back by an
// undo: they were written as a save writes them, and are reported.
#include "session/editorsession.h"
#include "document/xmlchange.h"
#include "refs/refindex.h"

#include <QUndoCommand>
#include <QUndoStack>


namespace quillon {

class StepCommand : public QUndoCommand {
public:
    // instance: what to show after a redo (null: nothing, it was deleted) and after an undo.
    StepCommand(EditorSession *session, EditStep step, const XmlNode &instance, bool deleted, const QString &text)
        : QUndoCommand(text), m_session(session), m_step(std::move(step)), m_instance(instance), m_deleted(deleted)
    { }

    void undo() override
    {
        m_step.undo();
        m_session->showAfterStep(m_instance);
    }
    void redo() override
    {
        // The step is made before the command is pushed; pushing only records it.
        if (!m_made)
            m_step.redo();
        m_made = false;
        m_session->showAfterStep(m_deleted ? XmlNode() : m_instance);
    }

private:
    EditorSession *m_session;
    EditStep m_step;
    XmlNode m_instance;
    bool m_deleted;
    bool m_made = true;
};

void EditorSession::showAfterStep(const XmlNode &instance)
{
    const Operation operation(this);
    rebuildTree();
    m_shown.setInstance(instance);
    if (instance) {
        populateInstance();
    } else {
        clearRows();
        setEntity({});
    }
    setListVisible(bool(instance));
    updateModified();
}

IdRenamePlan EditorSession::renamePlan(const QString &newId) const
{
    const XmlNode shown = m_shown.instance();
    XmlDocument *doc = m_file.document();
    if (!shown || !doc || !shown.belongsTo(doc))
        return {{}, newId, {}, {}, tr("No instance is shown.")};
    return IdRename::plan(*doc, *m_file.referenceIndex(), firstAttributeText(shown), newId);
}

EditorSession::Reports EditorSession::renameInstanceId(const QString &newId, QStringList *written)
{
    const Operation operation(this);
    emit editMustClose();
    const IdRenamePlan plan = renamePlan(newId);
    if (!plan.refusal.isEmpty()) {
        report(Outcome::RenameRefused, plan.refusal);
        return take();
    }
    EditStep step;
    if (const QString why = IdRename::apply(*m_file.document(), plan, &step, written); !why.isEmpty()) {
        report(Outcome::RenameFailed, why);
        return take();
    }
    const QString text = tr("Rename Id %1 to %2").arg(plan.oldId, plan.newId);
    m_file.undoStack()->push(new StepCommand(this, std::move(step), m_shown.instance(), false, text));
    return take();
}

QList<Referrer> EditorSession::referrersOfShown(int *inDocument) const
{
    if (inDocument)
        *inDocument = 0;
    const XmlNode shown = m_shown.instance();
    const XmlDocument *doc = m_file.document();
    if (!shown || !doc || !shown.belongsTo(doc))
        return {};
    const QString id = firstAttributeText(shown);
    ReferenceIndex &index = *m_file.referenceIndex();
    const QList<Referrer> own = index.referrers(*doc, id);
    if (inDocument)
        *inDocument = int(own.size());
    return own + index.referrersInFolder(*doc, id);
}

EditorSession::Reports EditorSession::deleteInstance(bool removeReferences, QStringList *written)
{
    const Operation operation(this);
    emit editMustClose();
    const XmlNode shown = m_shown.instance();
    XmlDocument *doc = m_file.document();
    if (!shown || !doc || !shown.belongsTo(doc))
        return {};
    const QString id = firstAttributeText(shown);
    int inDocument = 0;
    const QList<Referrer> referrers = referrersOfShown(&inDocument);
    if (!referrers.isEmpty() && !removeReferences) {
        report(Outcome::DeleteRefused, tr("%n reference(s) refer to it.", "", int(referrers.size())));
        return take();
    }
    EditStep step;
    if (const QString why = IdRename::remove(*doc, shown, id, referrers.mid(inDocument), &step, written);
        !why.isEmpty()) {
        report(Outcome::DeleteFailed, why);
        return take();
    }
    if (step.isEmpty())
        return {}; // its place in the file cannot be told
    const QString text = tr("Delete Instance %1").arg(id);
    m_file.undoStack()->push(new StepCommand(this, std::move(step), shown, true, text));
    return take();
}

} // namespace quillon
