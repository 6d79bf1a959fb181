// The document a session has open: reading, writing, its undo stack and whether it differs from
// its file.
#include "session/opendocument.h"
#include "document/asyncjob.h"
#include "document/loadprogress.h"
#include "refs/refindex.h"
#include "session/keptdocument.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUndoStack>

namespace quillon {

OpenDocument::OpenDocument(QObject *owner)
    : m_owner(owner), m_undo(new QUndoStack(owner)), m_refIndex(std::make_unique<ReferenceIndex>())
{
    m_undo->setObjectName(QStringLiteral("undoStack"));
}

OpenDocument::~OpenDocument() = default;

bool OpenDocument::beginLoad()
{
    if (m_loading)
        return false;
    m_loading = true;
    m_cancelLoad = false;
    return true;
}

bool OpenDocument::load(const QString &path, KeptDocument *keepOld, const QStringList &lookups)
{
    auto *doc = new XmlDocument(m_owner);
    m_progress = std::make_shared<LoadProgress>(path);
    auto waitFor = [this](AsyncJob &job) {
        if (m_cancelLoad)
            job.cancel();
        m_loadJob = &job;
        const bool done = job.wait();
        m_loadJob = nullptr;
        return done;
    };
    const bool result = doc->loadWaiting(path, waitFor, m_progress, lookups);
    m_loading = false;
    m_cancelLoad = false;
    if (!result) {
        // The document before stays: its object and its name. A load the user cancelled is no
        // error.
        m_lastError = doc->cancelled() ? QString() : doc->errorString();
        delete doc;
        return false;
    }
    replace(doc, path, keepOld);
    return true;
}

void OpenDocument::adopt(KeptDocument &kept, KeptDocument *keepOld)
{
    XmlDocument *doc = kept.document.data();
    kept.document = nullptr;
    replace(doc, kept.fileName, keepOld);
}

void OpenDocument::replace(XmlDocument *doc, const QString &path, KeptDocument *keepOld)
{
    m_lastError.clear();
    if (m_doc) {
        m_doc->disconnect(m_owner);
        if (keepOld) {
            keepOld->document = m_doc;
            keepOld->fileName = m_fileName;
        } else {
            m_doc->deleteLater();
        }
    }
    m_fileName = path;
    m_doc = doc;
    m_refIndex->clear(); // nothing of the document left behind is kept
    // The commands act on the nodes of the document they changed.
    m_undo->clear();
}

void OpenDocument::cancelLoad()
{
    if (!m_loading)
        return;
    m_cancelLoad = true;
    if (m_loadJob)
        m_loadJob->cancel();
}

bool OpenDocument::saveTo(const QString &path)
{
    if (!m_doc->saveWaiting(path, [](AsyncJob &job) { job.wait(); })) {
        m_lastError = QCoreApplication::translate("quillon::EditorSession", "Can't save %1: %2").arg(QFileInfo(path).fileName(), m_doc->errorString());
        return false;
    }
    m_lastError.clear();
    m_undo->setClean();
    return true;
}

void OpenDocument::followCleanState()
{
    if (m_doc)
        m_doc->setModified(!m_undo->isClean());
}

bool OpenDocument::takeModifiedChange()
{
    const bool now = isModified();
    if (now == m_modifiedTold)
        return false;
    m_modifiedTold = now;
    return true;
}

} // namespace quillon
