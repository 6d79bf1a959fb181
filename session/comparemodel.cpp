#include "session/comparemodel.h"
#include "session/editorsession.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace quillon {

CompareModel::CompareModel(EditorSession *session, QObject *parent) : QAbstractItemModel(parent), m_session(session)
{
    // The result is about the document compared: another document drops it.
    connect(session, &EditorSession::documentShown, this, [this] {
        const XmlDocument *doc = m_session->document();
        if (m_compared && (!doc || m_newRoot.documentId() != doc->documentId()))
            clear();
    });
}

CompareModel::~CompareModel() = default;

void CompareModel::clear()
{
    beginResetModel();
    m_changes.clear();
    m_old.reset();
    m_newRoot = {};
    m_otherFile.clear();
    m_error.clear();
    m_compared = false;
    endResetModel();
}

bool CompareModel::compareWith(const QString &path)
{
    clear();
    const XmlDocument *doc = m_session->document();
    if (!doc || !doc->hasChildNodes()) {
        m_error = tr("No document to compare.");
        return false;
    }
    // The file is read and compared on a worker while the window goes on; the old document is
    // made here and kept here, and nothing else touches it meanwhile.
    auto old = std::make_unique<XmlDocument>();
    auto changes = std::make_shared<QList<InstanceChange>>();
    auto read = std::make_shared<bool>(false);
    m_session->runBeside([oldDoc = old.get(), doc, path, changes, read] {
        *read = oldDoc->loadForReading(path);
        if (*read)
            *changes = DocumentDiff::compare(*oldDoc, *doc);
    });
    if (!*read) {
        m_error = tr("%1 cannot be read: %2").arg(QFileInfo(path).fileName(), old->errorString());
        return false;
    }
    beginResetModel();
    m_changes = std::move(*changes);
    m_old = std::move(old);
    m_newRoot = doc->documentElement();
    m_newStamp = doc->changeStamp();
    m_otherFile = path;
    m_compared = true;
    endResetModel();
    return true;
}

int CompareModel::count(InstanceChange::Kind kind) const
{
    return int(std::count_if(m_changes.cbegin(), m_changes.cend(),
                             [kind](const InstanceChange &c) { return c.kind == kind; }));
}

QString CompareModel::summary() const
{
    if (!m_error.isEmpty())
        return m_error;
    if (!m_compared)
        return {};
    const QString other = QFileInfo(m_otherFile).fileName();
    if (m_changes.isEmpty())
        return tr("No differences from %1 (old).").arg(other);
    const QLocale l;
    return tr("From %1 (old) to the document shown (new): %2 removed, %3 changed, %4 added.")
        .arg(other, l.toString(count(InstanceChange::Kind::Removed)), l.toString(count(InstanceChange::Kind::Changed)),
             l.toString(count(InstanceChange::Kind::Added)));
}

const InstanceChange *CompareModel::change(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    const qsizetype at = index.internalId() == 0 ? index.row() : qsizetype(index.internalId() - 1);
    return at < m_changes.size() ? &m_changes[at] : nullptr;
}

QString CompareModel::shownId(const QModelIndex &index) const
{
    const InstanceChange *c = change(index);
    return c && c->kind != InstanceChange::Kind::Removed ? c->id : QString();
}

bool CompareModel::currentFor(const XmlDocument *doc) const
{
    return m_compared && doc && m_newRoot.documentId() == doc->documentId() && doc->changeStamp() == m_newStamp;
}

XmlNode CompareModel::shownElement(const QModelIndex &index) const
{
    const InstanceChange *c = change(index);
    const XmlDocument *doc = m_session->document();
    if (!c || !c->newInstance || !currentFor(doc))
        return {};
    return doc->documentElement().at(c->newInstance);
}

QModelIndex CompareModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= 3)
        return {};
    if (!parent.isValid())
        return row < m_changes.size() ? createIndex(row, column, quintptr(0)) : QModelIndex();
    if (parent.internalId() != 0 || parent.row() >= m_changes.size() || row >= m_changes[parent.row()].properties.size())
        return {};
    return createIndex(row, column, quintptr(parent.row() + 1));
}

QModelIndex CompareModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int CompareModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_changes.size());
    if (parent.internalId() != 0 || parent.column() != 0 || parent.row() >= m_changes.size())
        return 0;
    return int(m_changes[parent.row()].properties.size());
}

int CompareModel::columnCount(const QModelIndex &) const
{
    return 3;
}

QVariant CompareModel::data(const QModelIndex &index, int role) const
{
    const InstanceChange *c = change(index);
    if (!c || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (index.internalId() != 0) {
        const PropertyChange &p = c->properties.at(index.row());
        if (index.column() == 0)
            return p.property;
        return index.column() == 2 ? QStringLiteral("%1 \u2192 %2").arg(p.oldValue, p.newValue) : QString();
    }
    switch (index.column()) {
    case 0:
        return c->caption;
    case 1:
        return c->id;
    default:
        switch (c->kind) {
        case InstanceChange::Kind::Removed:
            return tr("removed");
        case InstanceChange::Kind::Added:
            return tr("added");
        case InstanceChange::Kind::Changed:
            break;
        }
        return tr("changed");
    }
}

QVariant CompareModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const names[] = {QT_TR_NOOP("Instance"), QT_TR_NOOP("Id"), QT_TR_NOOP("Change")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 2)
        return {};
    return tr(names[section]);
}

} // namespace quillon
