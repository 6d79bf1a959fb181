// The figures of the document shown that a host puts in its status bar.
#include "session/editorsession.h"

namespace quillon {

void EditorSession::noteDocumentShown()
{
    m_lastOpenMs = m_openClock.isValid() ? m_openClock.elapsed() : -1;
    const XmlDocument *doc = m_file.document();
    m_instanceCount = doc ? doc->instanceCount() : 0;
    emit documentShown();
}

} // namespace quillon
