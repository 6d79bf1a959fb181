// The editing session: reading and writing the document, the view mode and the tree.
#include "session/editorsession.h"
#include "document/asyncjob.h"
#include "refs/refindex.h"
#include "session/treemodel.h"

#include <QFileInfo>
#include <QUndoStack>

#include <utility>

namespace quillon {

EditorSession::EditorSession(QObject *parent)
    : QObject(parent),
      m_tree(new TreeModel(this)),
      m_rows(new PropertyModel(this)),
      m_refIndex(std::make_unique<ReferenceIndex>())
{
    qRegisterMetaType<EditorSession::Reports>();
    setUpUndo();
}

EditorSession::~EditorSession() = default;

void EditorSession::report(Outcome outcome, const QString &detail, const QString &file)
{
    m_reports.append({outcome, detail, file});
}

EditorSession::Reports EditorSession::take()
{
    return std::exchange(m_reports, {});
}

bool EditorSession::open(const QString &path)
{
    if (m_loading)
        return false; // one load at a time
    m_loading = true;
    m_cancelLoad = false;
    m_openClock.start();
    emit busyChanged(true);
    auto *doc = new XmlDocument(this);
    const bool result = doc->loadWaiting(path, [this](AsyncJob &job) { return waitForLoad(job); });
    if (!result && !doc->cancelled())
        m_lastError = doc->errorString();
    m_loading = false;
    m_cancelLoad = false;
    if (!result) {
        // The document shown before stays: its object, its name, its tree and its view. A
        // load the user cancelled is no error.
        if (doc->cancelled())
            m_lastError.clear();
        delete doc;
        emit busyChanged(false);
        return false;
    }
    m_lastError.clear();
    m_fileName = path;
    setDocument(doc);
    emit sourceChanged(path);
    return true;
}

void EditorSession::cancelLoad()
{
    if (!m_loading)
        return;
    m_cancelLoad = true;
    if (m_loadJob)
        m_loadJob->cancel();
}

// Runs the event loop (the window paints, timers tick) until the worker is done or the user
// cancels, also before the wait began (while the wait window came up). False when cancelled.
bool EditorSession::waitForLoad(AsyncJob &job)
{
    if (m_cancelLoad)
        job.cancel();
    m_loadJob = &job;
    const bool done = job.wait();
    m_loadJob = nullptr;
    return done;
}

void EditorSession::setDocument(XmlDocument *doc)
{
    if (m_doc) {
        m_doc->disconnect(this);
        m_doc->deleteLater();
    }
    m_doc = doc;
    m_refIndex->clear(); // nothing of the document left behind is kept
    connect(m_doc, &XmlDocument::onreadystatechange, this, &EditorSession::onReadyState);
    // The commands act on the nodes of the document they changed.
    m_undo->clear();
    updateModified();
}

void EditorSession::onReadyState()
{
    if (!m_doc || sender() != m_doc || m_doc->readyState() != 4)
        return;
    if (!m_doc->hasChildNodes()) {
        m_tree->clear();
        emit busyChanged(false); // the wait must never outlast the load
        noteDocumentShown();
        return;
    }
    rebuildTree();
    noteDocumentShown();
    emit busyChanged(false);
    emit addressChanged(m_fileName);
    if (m_pendingSelect)
        completePendingSelection();
    else
        refreshShownInstance();
    const Reports reports = take();
    if (!reports.isEmpty())
        emit reported(reports);
}

void EditorSession::rebuildTree()
{
    if (!m_doc || !m_doc->hasChildNodes())
        m_tree->clear();
    else
        m_tree->rebuild(m_doc->documentElement(), m_mode);
    emit treeRebuilt();
}

bool EditorSession::saveDocument()
{
    if (!m_doc || !m_doc->hasChildNodes() || m_fileName.isEmpty())
        return false;
    emit editMustClose();
    if (!m_doc->isModified())
        return true; // the file holds what is in memory: nothing to write
    return mayOverwrite() && writeOwnFile();
}

bool EditorSession::writeOwnFile()
{
    if (!saveTo(m_fileName))
        return false;
    emit sourceWritten();
    return true;
}

bool EditorSession::save(Reports *reports)
{
    const bool ok = saveDocument();
    const Reports r = take();
    if (reports)
        *reports += r;
    return ok;
}

bool EditorSession::saveAs(const QString &path, Reports *reports)
{
    bool ok = false;
    if (m_doc && m_doc->hasChildNodes() && !path.isEmpty()) {
        emit editMustClose();
        ok = saveTo(path);
        if (ok) {
            m_fileName = path;
            m_rowsFile = path;
            emit addressChanged(m_fileName);
            emit sourceChanged(m_fileName);
        }
    }
    const Reports r = take();
    if (reports)
        *reports += r;
    return ok;
}

// Writes the document to path; on failure reports why, and the file and the edits in memory
// stay as they were.
bool EditorSession::saveTo(const QString &path)
{
    // The file is written on a worker while the event loop runs; a view keeps the user's input
    // away meanwhile (see writingChanged), so the document stays as it is.
    emit writingChanged(true);
    m_writing = true;
    const bool ok = m_doc->saveWaiting(path, [](AsyncJob &job) { job.wait(); });
    m_writing = false;
    emit writingChanged(false);
    if (!ok) {
        const QString name = QFileInfo(path).fileName();
        m_lastError = tr("Can't save %1: %2").arg(name, m_doc->errorString());
        report(Outcome::SaveFailed, m_doc->errorString(), name);
        return false;
    }
    m_lastError.clear();
    m_undo->setClean();
    updateModified();
    return true;
}

bool EditorSession::isModified() const
{
    return m_doc && m_doc->isModified();
}

void EditorSession::updateModified()
{
    const bool now = isModified();
    if (now == m_modifiedShown)
        return;
    m_modifiedShown = now;
    emit modifiedChanged(now);
}

EditorSession::Reports EditorSession::setViewMode(int mode)
{
    if (mode < 0 || mode > 2 || mode == m_mode)
        return {};
    m_mode = mode;
    if (m_fileName.isEmpty() || !m_doc)
        return {};
    // The file is written first (when anything changed); the tree is then built anew from the
    // document in memory, which is what the file holds, and the shown instance stays shown.
    // A failed save keeps the edits in memory, shown in the new view all the same.
    emit editMustClose();
    saveDocument();
    rebuildTree();
    return take();
}

XmlNode EditorSession::elementForNode(const TreeStore &store, int node) const
{
    if (!m_doc)
        return {};
    const XmlNode e = store.resolve(node);
    return e.belongsTo(m_doc) ? e : XmlNode();
}

} // namespace quillon
