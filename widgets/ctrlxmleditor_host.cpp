// What the control offers a host beyond the core automation interface: Back and Find Instance
// for its menus, and the figures of the document shown for its status bar.
#include "widgets/ctrlxmleditor.h"
#include "picker/dlgref.h"

#include <QFileInfo>

#include <pugixml.hpp>

namespace quillon {

void CtrlXMLEditor::connectHostSignals()
{
    EditorSession *s = m_session;
    connect(s, &EditorSession::addressChanged, this, [this] { emit FilePathChanged(FilePath()); });
    connect(s, &EditorSession::documentShown, this, &CtrlXMLEditor::DocumentShown);
    connect(s, &EditorSession::backEnabledChanged, this, &CtrlXMLEditor::CanGoBackChanged);
}

void CtrlXMLEditor::Back()
{
    if (CanGoBack())
        cmdBack_Click();
}

bool CtrlXMLEditor::FindInstance()
{
    if (!m_session->document() || m_session->isLoading())
        return false;
    const QString choice = dlgRef::instance(this)->chooseFrom(FileName(), FileName(), m_session->document());
    if (choice.isEmpty())
        return false;
    // "<address>#<element name>#<id>"; the address may name another document.
    const RefPieces pieces(choice);
    tell(m_session->showInstance(pieces.piece(0), pieces.piece(2)));
    return true;
}

QString CtrlXMLEditor::FilePath() const
{
    const QString name = m_session->fileName();
    return name.isEmpty() ? QString() : QFileInfo(name).absoluteFilePath();
}

int CtrlXMLEditor::InstanceCount() const
{
    return m_session->instanceCount();
}

qint64 CtrlXMLEditor::LastOpenMs() const
{
    return m_session->lastOpenMs();
}

bool CtrlXMLEditor::CanGoBack() const
{
    return m_session->backEnabled();
}

QString CtrlXMLEditor::PugixmlVersion() const
{
    // PUGIXML_VERSION is major * 1000 + minor * 10 since 1.10 (1130 for 1.13), major * 100 +
    // minor * 10 before (190 for 1.9).
    const int v = PUGIXML_VERSION;
    return v >= 1000 ? QStringLiteral("%1.%2").arg(v / 1000).arg(v % 1000 / 10)
                     : QStringLiteral("%1.%2").arg(v / 100).arg(v % 100 / 10);
}

} // namespace quillon
