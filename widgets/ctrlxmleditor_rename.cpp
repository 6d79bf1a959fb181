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
    dlgRenameId dlg(
        firstAttributeText(m_session->shownInstance()), m_session->referrersOfShown(),
        [this](const QString &id) { return m_session->renamePlan(id).refusal; }, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    QStringList written;
    const EditorSession::Reports reports = m_session->renameInstanceId(dlg.newId(), &written);
    tell(reports);
    MessageSink(this).written(written);
}

void CtrlXMLEditor::mnuDeleteInstance_Click()
{
    const int references = int(m_session->referrersOfShown().size());
    if (MessageSink(this).confirmDelete(m_session->entity(), references))
        tell(m_session->deleteInstance(references > 0));
}

} // namespace quillon
