#pragma once
// The document a session has open: the document object and the file it belongs to, whether a
// load runs, what went wrong last, the undo stack of its changes (and so whether it differs
// from its file), the state of its file on disk last taken up, and the index of who refers to
// what in it.
//
// It reads and writes the document and keeps these together; it says nothing to a view. The
// session around it tells the views what changed, and hands in how to wait for a worker.

#include "document/xmldocument.h"

#include <QString>

#include <memory>
#include <optional>

class QObject;
class QUndoStack;

namespace quillon {

class LoadProgress;
class ReferenceIndex;
struct KeptDocument;

class OpenDocument {
public:

    // owner: the parent of every document read and of the undo stack (named "undoStack").
    explicit OpenDocument(QObject *owner);
    ~OpenDocument();
    OpenDocument(const OpenDocument &) = delete;
    OpenDocument &operator=(const OpenDocument &) = delete;

    XmlDocument *document() const { return m_doc; }
    // A document with content is open.
    bool hasContent() const { return m_doc && m_doc->hasChildNodes(); }
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &path) { m_fileName = path; }
    QString lastError() const { return m_lastError; }
    void setLastError(const QString &error) { m_lastError = error; }

    // A load begins: false while one runs already (one load at a time).
    bool beginLoad();
    // Reads the document at path (after beginLoad()); the event loop runs meanwhile (the window
    // paints, timers tick) until the worker is done or cancelLoad(). True when it was read: it is
    // then the open document (the one before goes, with its undo stack and its index) and path
    // its file. False, with lastError(), when it could not be read, and with an empty
    // lastError() when cancelLoad() abandoned it; the document before stays open.
    // keepOld: where the document before goes, instead of going away, when the load succeeds.
    // lookups: ids the instances of which are looked for first (XmlDocument::loadWaiting).
    bool load(const QString &path, KeptDocument *keepOld = nullptr, const QStringList &lookups = {});
    // The kept document becomes the open one again (kept holds nothing afterwards); the one
    // before goes to keepOld, or away. The undo stack is empty.
    void adopt(KeptDocument &kept, KeptDocument *keepOld);
    bool isLoading() const { return m_loading; }
    // How far the load under way has come; null when none runs.
    std::shared_ptr<const LoadProgress> loadProgress() const { return m_loading ? m_progress : nullptr; }
    // Abandons the load under way, also before its worker began (while the wait window came up).
    void cancelLoad();
    // Writes the open document to path; the event loop runs meanwhile. On success the undo stack
    // is clean; on failure lastError() says why and the file and the edits stay as they were.
    bool saveTo(const QString &path);

    bool isModified() const { return m_doc && m_doc->isModified(); }
    // The document is modified exactly when the undo stack is away from its clean state.
    void followCleanState();
    // True once for each change of isModified() since the last call.
    bool takeModifiedChange();

    QUndoStack *undoStack() const { return m_undo; }
    ReferenceIndex *referenceIndex() const { return m_refIndex.get(); }
    XmlNode findInstance(const QString &id) const { return m_doc ? m_doc->findInstance(id) : XmlNode(); }

    // The state of the file on disk last asked about or read, not to be taken up again.
    bool diskStateTaken(const FileState &state) const { return m_diskStateTaken == state; }
    void takeDiskState(const FileState &state) { m_diskStateTaken = state; }

private:
    void replace(XmlDocument *doc, const QString &path, KeptDocument *keepOld);

    QObject *m_owner;
    XmlDocument *m_doc = nullptr;
    QString m_fileName;
    bool m_loading = false;
    bool m_cancelLoad = false;
    AsyncJob *m_loadJob = nullptr; // the load being waited for, which cancelLoad() ends
    std::shared_ptr<LoadProgress> m_progress; // of the latest load
    QString m_lastError;
    bool m_modifiedTold = false;
    QUndoStack *m_undo;
    std::unique_ptr<ReferenceIndex> m_refIndex;
    std::optional<FileState> m_diskStateTaken;
};

} // namespace quillon
