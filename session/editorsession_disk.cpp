// The editing session: the document's own file when another program changed it since it was
// read or written. Nothing is written over such a change unless the user says Overwrite; a
// document without edits follows the file quietly when the window has the user again.
#include "session/editorsession.h"

#include <QFileInfo>

namespace quillon {

EditorSession::Answer EditorSession::ask(Question question)
{
    if (!m_asker)
        return Answer::Cancel;
    m_asking = true;
    const Answer answer = m_asker(question, QFileInfo(m_file.fileName()).fileName());
    m_asking = false;
    return answer;
}

// Reads the document's own file again, without its edits. The instance on show stays on show,
// found again by its id, when the load completes.
bool EditorSession::reload()
{
    return open(m_file.fileName());
}

// The file changed on disk and the document has edits: Overwrite, Reload (once the user agrees
// to drop the edits) or Cancel. The state of the file asked about is not taken up again.
EditorSession::Answer EditorSession::askAboutChangedFile()
{
    m_file.takeDiskState(FileState::of(m_file.fileName()));
    const Answer answer = ask(Question::ChangedOnDisk);
    if (answer == Answer::Reload && ask(Question::DropEdits) == Answer::Reload && !reload() &&
        !m_file.lastError().isEmpty())
        report(Outcome::FileNotFound, m_file.lastError()); // the document and its edits stay
    return answer;
}

// Before the document is written over its own file: true when the file is as the document
// read or wrote it, or the user lets the save overwrite it.
bool EditorSession::mayOverwrite()
{
    if (!m_file.document()->changedOnDisk() || askAboutChangedFile() == Answer::Overwrite)
        return true;
    m_file.setLastError(tr("%1 was changed by another program since it was opened.")
                            .arg(QFileInfo(m_file.fileName()).fileName()));
    return false;
}

EditorSession::Reports EditorSession::checkFileOnDisk()
{
    const Operation operation(this);
    // Not while the session itself reads, writes or waits for an answer.
    if (!m_file.hasContent() || m_file.isLoading() || m_writing || m_working || m_asking ||
        m_file.fileName().isEmpty() || !m_file.document()->changedOnDisk())
        return {};
    const FileState now = FileState::of(m_file.fileName());
    if (m_file.diskStateTaken(now))
        return {};
    emit editMustClose(); // an edit still open is an edit too
    if (!m_file.isModified()) {
        m_file.takeDiskState(now); // read once, even when it cannot be read
        reload();
    } else if (askAboutChangedFile() == Answer::Overwrite) {
        writeOwnFile();
    }
    return take();
}

} // namespace quillon
