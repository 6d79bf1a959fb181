#include "refmodels.h"
#include "editorsession.h"

#include <QFileInfo>

namespace quillon {

ReferencedByModel::ReferencedByModel(EditorSession *session, QObject *parent)
    : QAbstractTableModel(parent), m_session(session)
{
    // Whatever may change the instance shown or the references to it.
    connect(session, &EditorSession::entityChanged, this, &ReferencedByModel::changed);
    connect(session, &EditorSession::treeRebuilt, this, &ReferencedByModel::changed);
    connect(session, &EditorSession::listVisibleChanged, this, &ReferencedByModel::changed);
    connect(session, &EditorSession::modifiedChanged, this, &ReferencedByModel::changed);
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
    const XmlDocument *doc = m_session->document();
    const XmlNode shown = m_session->shownInstance();
    if (doc && m_session->listVisible() && shown && shown.belongsTo(doc)) {
        const QString id = shown.attributeNamed(QStringLiteral("id")).text();
        // References by id reach the first instance of the id only.
        if (!id.isEmpty() && doc->findInstance(id) == shown) {
            m_target = id;
            m_local = m_session->referenceIndex()->referrerList(*doc, id);
            if (m_otherFiles)
                m_folder = m_session->referenceIndex()->referrersInFolder(*doc, id);
        }
    }
    endResetModel();
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
    static const char *const names[] = {"Instance", "Id", "Property", "File"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
        return {};
    return QString::fromLatin1(names[section]);
}

void FindingsModel::setFindings(const QList<Finding> &findings)
{
    beginResetModel();
    m_findings = findings;
    endResetModel();
}

int FindingsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_findings.size());
}

int FindingsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant FindingsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_findings.size() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const Finding &f = m_findings.at(index.row());
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
    static const char *const names[] = {"File", "Line", "Kind", "Message"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
        return {};
    return QString::fromLatin1(names[section]);
}

} // namespace quillon
