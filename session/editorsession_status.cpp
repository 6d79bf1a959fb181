// The figures of the document shown that a host puts in its status bar.
#include "session/editorsession.h"

namespace quillon {

void EditorSession::noteDocumentShown()
{
    m_lastOpenMs = m_openClock.isValid() ? m_openClock.elapsed() : -1;
    int count = 0;
    if (const XmlDocument *doc = m_file.document())
        doc->forEachInstance([&count](ElementRef) { ++count; });
    m_instanceCount = count;
    emit documentShown();
}

} // namespace quillon
