// The editing session: telling the views that the instance on show changed.
//
// An operation may change the instance several times on its way (a jump that fails reads the
// document left again and finds the instance anew), and a jump into another document ends only
// when the load completes. So the change is announced once, when the outermost operation ends
// or the load completes, by comparing what is on show with what was last announced.
#include "session/editorsession.h"

namespace quillon {

EditorSession::Operation::Operation(EditorSession *session) : m_session(session)
{
    ++m_session->m_operations;
}

EditorSession::Operation::~Operation()
{
    --m_session->m_operations;
    m_session->announceShown();
}

void EditorSession::documentReplaced()
{
    // Nothing of the document before is compared with: any instance of this one is new.
    m_announcedInstance = XmlNode();
    m_announceDocument = true;
}

void EditorSession::announceShown()
{
    if (m_operations > 0)
        return; // the outermost operation announces
    if (const XmlDocument *doc = m_file.document(); doc && doc->readyState() != 4)
        return; // a load is under way: its completion announces
    const XmlNode shown = m_shown.instance();
    const bool visible = m_shown.listVisible();
    if (!m_announceDocument && shown == m_announcedInstance && visible == m_announcedVisible)
        return;
    m_announceDocument = false;
    m_announcedInstance = shown;
    m_announcedVisible = visible;
    emit shownInstanceChanged();
}

} // namespace quillon
