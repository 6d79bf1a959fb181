// The control's "Rename Id..." and "Delete Instance..." on the instance's menu: each asks the
// user, then forwards to the session and tells what it reported.
#include "widgets/ctrlxmleditor.h"
#include "widgets/dlgrenameid.h"
#include "widgets/messagesink.h"

#include <QMenu>

namespace quillon {

void CtrlXMLEditor::addInstanceCommands(QMenu &menu)
{
    QAction *rename = menu.addAction(tr("Rename Id..."));
    rename->setObjectName(QStringLiteral("actRenameId"));
    connect(rename, &QAction::triggered, this, &CtrlXMLEditor::mnuRenameId_Click);
    QAction *remove = menu.addAction(tr("Delete Instance..."));
    remove->setObjectName(QStringLiteral("actDeleteInstance"));
    connect(remove, &QAction::triggered, this, &CtrlXMLEditor::mnuDeleteInstance_Click);
}

void CtrlXMLEditor::mnuRenameId_Click()
{
    m_session->readFolderBeside();
    dlgRenameId dlg(
        firstAttributeText(m_session->shownInstance()), m_session->referrersOfShown(),
        [this](const QString &id) { return m_session->renamePlan(id).refusal; }, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    QStringList written;
    const EditorSession::Reports reports = m_session->renameInstanceId(dlg.newId(), &written);
    tell(reports);
    MessageSink(this).written(MessageSink::Command::RenameId, written);
}

void CtrlXMLEditor::mnuDeleteInstance_Click()
{
    int inDocument = 0;
    m_session->readFolderBeside();
    const QList<Referrer> referrers = m_session->referrersOfShown(&inDocument);
    if (!MessageSink(this).confirmDelete(m_session->entity(), inDocument, int(referrers.size()) - inDocument))
        return;
    QStringList written;
    tell(m_session->deleteInstance(!referrers.isEmpty(), &written));
    MessageSink(this).written(MessageSink::Command::DeleteInstance, written);
}

} // namespace quillon
