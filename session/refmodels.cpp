#include "session/refmodels.h"
#include "session/editorsession.h"
#include "document/asyncjob.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QTimer>

namespace quillon {

ReferencedByModel::ReferencedByModel(EditorSession *session, QObject *parent)
    : QAbstractTableModel(parent), m_session(session)
{
    // Another instance on show; or the references to it changed: an edit, a link changed,
    // undone or redone.
    connect(session, &EditorSession::shownInstanceChanged, this, &ReferencedByModel::changed);
    connect(session, &EditorSession::modifiedChanged, this, &ReferencedByModel::changed);
    connect(session->rows(), &QAbstractItemModel::modelReset, this, &ReferencedByModel::changed);
    connect(session->rows(), &QAbstractItemModel::dataChanged, this, &ReferencedByModel::changed);
}

void ReferencedByModel::changed()
{
    m_stale = true;
    if (m_active)
        refresh();
}

void ReferencedByModel::setActive(bool active)
{
    m_active = active;
    if (active && m_stale)
        refresh();
}

void ReferencedByModel::setOtherFiles(bool on)
{
    if (on == m_otherFiles)
        return;
    m_otherFiles = on;
    changed();
}

void ReferencedByModel::refresh()
{
    m_stale = false;
    beginResetModel();
    m_local = {};
    m_folder.clear();
    m_target.clear();
    m_targetCaption.clear();
    m_building = false;
    m_readingFolder = false;
    const XmlDocument *doc = m_session->document();
    const XmlNode shown = m_session->shownInstance();
    if (doc && m_session->listVisible() && shown && shown.belongsTo(doc)) {
        const QString id = shown.attributeNamed(QStringLiteral("id")).text();
        // References by id reach the first instance of the id only.
        if (!id.isEmpty() && doc->findInstance(id) == shown) {
            m_target = id;
            m_targetCaption = NameToCaption(shown.nodeName());
            m_askedOf = {doc->documentId(), doc->changeStamp()};
            m_building = !buildIndex(*doc);
            if (!m_building)
                listReferrers(*doc);
        }
    }
    endResetModel();
}

void ReferencedByModel::listReferrers(const XmlDocument &doc)
{
    ReferenceIndex *index = m_session->referenceIndex();
    m_local = index->referrerList(doc, m_target);
    if (!m_otherFiles)
        return;
    const QList<QFileInfo> toRead = index->folderFilesToRead(doc);
    qint64 bytes = 0;
    for (const QFileInfo &info : toRead)
        bytes += info.size();
    if (bytes > m_readAtOnceBytes)
        readFolderBeside(toRead);
    else
        m_folder = index->referrersInFolder(doc, m_target);
}

void ReferencedByModel::readFolderBeside(const QList<QFileInfo> &files)
{
    m_readingFolder = true;
    if (m_folderJob)
        return; // one read at a time: the question is asked anew when it ends
    // The worker touches only what the job owns; the index takes what it read on this thread.
    auto read = std::make_shared<std::shared_ptr<ReferenceIndex::FolderFiles>>();
    m_folderJob = new AsyncJob([read, files] { *read = ReferenceIndex::readFolderFiles(files); }, this);
    connect(m_folderJob, &AsyncJob::finished, this, [this, read] {
        m_folderJob->deleteLater();
        m_folderJob = nullptr;
        if (*read)
            m_session->referenceIndex()->keepFolderFiles(**read);
        changed();
    });
}

void ReferencedByModel::nextStep()
{
    m_stepQueued = false;
    if (!m_building)
        return;
    const XmlDocument *doc = m_session->document();
    // Whatever changed since the question was asked, it is asked anew (when the tab is on show).
    if (!m_active || !doc || m_askedOf != std::pair{doc->documentId(), doc->changeStamp()}) {
        changed();
        return;
    }
    if (!buildIndex(*doc))
        return;
    beginResetModel();
    m_building = false;
    listReferrers(*doc);
    endResetModel();
}

bool ReferencedByModel::buildIndex(const XmlDocument &doc)
{
    // A large document's index is built in parts between the window's events: the list stays
    // empty until it is done, and is asked for anew then.
    constexpr qsizetype kInstancesAtOnce = 2000;
    if (m_stepQueued)
        return false; // the step queued goes on with it: an event that asks again and again waits once
    QElapsedTimer t;
    t.start();
    while (!m_session->referenceIndex()->buildSome(doc, kInstancesAtOnce))
        if (t.elapsed() >= m_stepMs) {
            m_stepQueued = true;
            QTimer::singleShot(0, this, &ReferencedByModel::nextStep);
            return false;
        }
    return true;
}

QString ReferencedByModel::emptyText() const
{
    if (m_target.isEmpty() || m_building || m_readingFolder || rowCount() > 0)
        return {};
    return tr("No instance refers to %1 %2.").arg(m_targetCaption, m_target);
}

Referrer ReferencedByModel::referrer(int row) const
{
    if (row >= 0 && row < m_local.size()) {
        // The rows of the document stand for the state it was asked in; a change makes the
        // model ask anew, and until then they show nothing.
        const XmlDocument *doc = m_session->document();
        return doc && m_local.isCurrentFor(*doc) ? m_local.at(row) : Referrer();
    }
    return m_folder.value(row - m_local.size());
}

int ReferencedByModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_local.size() + m_folder.size());
}

int ReferencedByModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant ReferencedByModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const Referrer r = referrer(index.row());
    switch (index.column()) {
    case 0:
        return NameToCaption(r.element); // as the tree and the entity label write it
    case 1:
        return r.id;
    case 2:
        return r.property;
    default:
        return role == Qt::ToolTipRole ? r.file : QFileInfo(r.file).fileName();
    }
}

QVariant ReferencedByModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const names[] = {QT_TR_NOOP("Instance"), QT_TR_NOOP("Id"), QT_TR_NOOP("Property"),
                                        QT_TR_NOOP("File")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
        return {};
    return tr(names[section]);
}

void FindingsModel::setFindings(const QList<Finding> &findings)
{
    beginResetModel();
    m_findings = findings;
    m_groups.clear();
    QHash<QString, qsizetype> byKind;
    for (qsizetype i = 0; i < m_findings.size(); ++i) {
        const QString &kind = m_findings[i].kind;
        auto it = byKind.constFind(kind);
        if (it == byKind.cend()) {
            it = byKind.insert(kind, m_groups.size());
            m_groups.append({kind, 0, {}});
        }
        ++m_groups[it.value()].count;
    }
    endResetModel();
}

const FindingsModel::Group *FindingsModel::groupAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() != 0 || index.row() >= m_groups.size())
        return nullptr;
    return &m_groups[index.row()];
}

const QList<qsizetype> &FindingsModel::membersOf(const Group &g) const
{
    if (g.members.isEmpty()) {
        g.members.reserve(g.count);
        for (qsizetype i = 0; i < m_findings.size(); ++i)
            if (m_findings[i].kind == g.kind)
                g.members.append(i);
    }
    return g.members;
}

Finding FindingsModel::finding(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() == 0 || index.model() != this)
        return {};
    const QList<qsizetype> &members = membersOf(m_groups[qsizetype(index.internalId() - 1)]);
    return index.row() < members.size() ? m_findings[members[index.row()]] : Finding();
}

QModelIndex FindingsModel::groupOf(const QString &kind) const
{
    for (qsizetype i = 0; i < m_groups.size(); ++i)
        if (m_groups[i].kind == kind)
            return createIndex(int(i), 0, quintptr(0));
    return {};
}

QModelIndex FindingsModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= 4)
        return {};
    if (!parent.isValid())
        return row < m_groups.size() ? createIndex(row, column, quintptr(0)) : QModelIndex();
    const Group *g = groupAt(parent);
    if (!g || row >= g->count)
        return {};
    return createIndex(row, column, quintptr(parent.row() + 1));
}

QModelIndex FindingsModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int FindingsModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_groups.size());
    const Group *g = parent.column() == 0 ? groupAt(parent) : nullptr;
    return g ? g->count : 0;
}

int FindingsModel::columnCount(const QModelIndex &) const
{
    return 4;
}

bool FindingsModel::hasChildren(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return !m_groups.isEmpty();
    return parent.column() == 0 && groupAt(parent);
}

QVariant FindingsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (const Group *g = groupAt(index))
        return index.column() == 0 ? QStringLiteral("%1 (%2)").arg(g->kind, QLocale().toString(g->count)) : QVariant();
    const Finding f = finding(index);
    if (f.kind.isEmpty())
        return {};
    switch (index.column()) {
    case 0:
        return role == Qt::ToolTipRole ? f.file : QFileInfo(f.file).fileName();
    case 1:
        return f.line;
    case 2:
        return f.kind;
    default:
        return f.message;
    }
}

QVariant FindingsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const names[] = {QT_TR_NOOP("File"), QT_TR_NOOP("Line"), QT_TR_NOOP("Kind"),
                                        QT_TR_NOOP("Message")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
        return {};
    return tr(names[section]);
}

} // namespace quillon
