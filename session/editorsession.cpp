// The editing session: reading and writing the document, the view mode and the tree.
#include "session/editorsession.h"
#include "refs/refindex.h"
#include "session/treemodel.h"
#include "document/asyncjob.h"

#include <QFileInfo>
#include <QUndoStack>

#include <utility>

namespace quillon {

EditorSession::EditorSession(QObject *parent)
    : QObject(parent), m_file(this), m_shown(new PropertyModel(this)), m_tree(new TreeModel(this))
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
    return openKeeping(path, nullptr);
}

bool EditorSession::openKeeping(const QString &path, KeptDocument *keepOld, QStringList lookups)
{
    if (!m_file.beginLoad())
        return false; // one load at a time
    m_openClock.start();
    emit busyChanged(true);
    const QString before = m_file.fileName();
    if (sameDocument(path, before))
        lookups << firstAttributeText(m_shown.instance()); // read again: shown again
    if (!m_file.load(path, keepOld, lookups)) {
        // The document shown before stays: its object, its name, its tree and its view.
        emit busyChanged(false);
        return false;
    }
    connect(m_file.document(), &XmlDocument::onreadystatechange, this, &EditorSession::onReadyState);
    if (!m_openKept || !sameDocument(path, before))
        m_openKept = std::make_shared<KeptDocument>();
    documentReplaced();
    updateModified();
    emit sourceChanged(path);
    return true;
}

void EditorSession::cancelLoad()
{
    m_file.cancelLoad();
}

void EditorSession::onReadyState()
{
    const XmlDocument *doc = m_file.document();
    if (!doc || sender() != doc || doc->readyState() != 4)
        return;
    if (!doc->hasChildNodes()) {
        m_tree->clear();
        emit busyChanged(false); // the wait must never outlast the load
        noteDocumentShown();
        announceShown();
        return;
    }
    rebuildTree();
    noteDocumentShown();
    emit busyChanged(false);
    emit addressChanged(m_file.fileName());
    if (m_nav.hasPendingJump())
        completePendingSelection();
    else
        refreshShownInstance();
    if (m_placePending)
        placeShown();
    announceShown();
    const Reports reports = take();
    if (!reports.isEmpty())
        emit reported(reports);
}

void EditorSession::rebuildTree()
{
    if (!m_file.hasContent())
        m_tree->clear();
    else
        m_tree->rebuild(m_file.document()->documentElement(), m_mode);
    emit treeRebuilt();
}

bool EditorSession::saveDocument()
{
    if (!m_file.hasContent() || m_file.fileName().isEmpty())
        return false;
    emit editMustClose();
    if (!m_file.isModified())
        return true; // the file holds what is in memory: nothing to write
    return mayOverwrite() && writeOwnFile();
}

bool EditorSession::writeOwnFile()
{
    if (!saveTo(m_file.fileName()))
        return false;
    emit sourceWritten();
    return true;
}

bool EditorSession::save(Reports *reports)
{
    const Operation operation(this);
    const bool ok = saveDocument();
    const Reports r = take();
    if (reports)
        *reports += r;
    return ok;
}

bool EditorSession::saveAs(const QString &path, Reports *reports)
{
    const Operation operation(this);
    bool ok = false;
    if (m_file.hasContent() && !path.isEmpty()) {
        emit editMustClose();
        ok = saveTo(path);
        if (ok) {
            m_file.setFileName(path);
            m_shown.setFile(path);
            emit addressChanged(path);
            emit sourceChanged(path);
        }
    }
    const Reports r = take();
    if (reports)
        *reports += r;
    return ok;
}

QList<Finding> EditorSession::checkReferences()
{
    const XmlDocument *doc = m_file.document();
    if (!doc || !doc->hasChildNodes())
        return {};
    // The worker reads the document; what runs here meanwhile (the window's steps) only reads
    // it too, and the view keeps the user's input away.
    auto findings = std::make_shared<QList<Finding>>();
    runBeside([doc, findings] { *findings = ReferenceCheck::check({doc}); });
    return *findings;
}

void EditorSession::readFolderBeside()
{
    const XmlDocument *doc = m_file.document();
    if (!doc || !doc->hasChildNodes())
        return;
    ReferenceIndex *index = m_file.referenceIndex();
    const QList<QFileInfo> files = index->folderFilesToRead(*doc);
    if (files.isEmpty())
        return;
    auto read = std::make_shared<std::shared_ptr<ReferenceIndex::FolderFiles>>();
    runBeside([read, files] { *read = ReferenceIndex::readFolderFiles(files); });
    if (*read)
        index->keepFolderFiles(**read);
}

void EditorSession::runBeside(std::function<void()> work)
{
    m_working = true;
    emit workingChanged(true);
    AsyncJob job(std::move(work));
    job.wait();
    m_working = false;
    emit workingChanged(false);
}

// Writes the document to path; on failure reports why, and the file and the edits in memory
// stay as they were.
bool EditorSession::saveTo(const QString &path)
{
    // The file is written on a worker while the event loop runs; a view keeps the user's input
    // away meanwhile (see writingChanged), so the document stays as it is.
    m_writing = true;
    emit writingChanged(true);
    const bool ok = m_file.saveTo(path);
    m_writing = false;
    emit writingChanged(false);
    if (!ok) {
        report(Outcome::SaveFailed, m_file.document()->errorString(), QFileInfo(path).fileName());
        return false;
    }
    updateModified();
    return true;
}

void EditorSession::updateModified()
{
    if (m_file.takeModifiedChange())
        emit modifiedChanged(m_file.isModified());
}

EditorSession::Reports EditorSession::setViewMode(int mode)
{
    const Operation operation(this);
    if (mode < 0 || mode > 2 || mode == m_mode)
        return {};
    m_mode = mode;
    if (m_file.fileName().isEmpty() || !m_file.document())
        return {};
    // The tree is built anew from the document in memory, edits and all: nothing is written,
    // the document stays as modified as it was, and the shown instance stays shown.
    emit editMustClose();
    rebuildTree();
    return take();
}

XmlNode EditorSession::elementForNode(const TreeStore &store, int node) const
{
    const XmlDocument *doc = m_file.document();
    if (!doc)
        return {};
    const XmlNode e = store.resolve(node, doc);
    return e.belongsTo(doc) ? e : XmlNode();
}

} // namespace quillon
