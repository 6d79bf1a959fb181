#include "session/treemodel.h"
#include "document/instancewalk.h"

#include <QElapsedTimer>
#include <QTimer>

namespace quillon {

TreeModel::TreeModel(QObject *parent) : QAbstractItemModel(parent) { }

void TreeModel::clear()
{
    beginResetModel();
    m_waiting.clear();
    m_store.clear();
    endResetModel();
}

void TreeModel::rebuild(const XmlNode &documentElement, int mode)
{
    beginResetModel();
    m_waiting.clear();
    m_store.build(documentElement, mode);
    endResetModel();
}

void TreeModel::setIdDisplay(IdDisplay display)
{
    if (display == m_idDisplay)
        return;
    // Only the columns change; the nodes made so far stay.
    beginResetModel();
    m_idDisplay = display;
    endResetModel();
}

int TreeModel::nodeIndex(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this ? int(index.internalId()) : 0;
}

QModelIndex TreeModel::indexOfNode(int node) const
{
    if (!m_store.isValid(node))
        return {};
    // A node asked for by itself (one to show) is not kept waiting for steps.
    if (const int parent = m_store.parent(node); m_waiting.contains(parent))
        const_cast<TreeModel *>(this)->showRows(parent);
    return createIndex(m_store.row(node), 0, quintptr(node));
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column < 0 || column >= columns() || (parent.isValid() && parent.model() != this))
        return {};
    if (waits(nodeIndex(parent)))
        return {};
    const int node = m_store.child(nodeIndex(parent), row);
    return node ? createIndex(row, column, quintptr(node)) : QModelIndex();
}

QModelIndex TreeModel::parent(const QModelIndex &child) const
{
    return indexOfNode(m_store.parent(nodeIndex(child)));
}

int TreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return waits(nodeIndex(parent)) ? 0 : m_store.childCount(nodeIndex(parent));
}

bool TreeModel::waits(int node) const
{
    if (m_waiting.contains(node))
        return true;
    // The instances of a large group are many: finding them all at once would stop the window.
    if (m_store.madeChildren(node) || !m_store.holdsInstances(node) ||
        qint64(InstanceWalk(m_store.element(node)).sourceSize()) <= m_stepsAbove)
        return false;
    m_waiting.append(node);
    if (!m_stepQueued) {
        m_stepQueued = true;
        QTimer::singleShot(0, const_cast<TreeModel *>(this), &TreeModel::nextStep);
    }
    return true;
}

void TreeModel::nextStep()
{
    constexpr int kStepMs = 20, kChildrenAtOnce = 4096;
    m_stepQueued = false;
    if (m_waiting.isEmpty())
        return;
    const int node = m_waiting.first();
    if (!m_store.isValid(node)) {
        m_waiting.removeFirst();
    } else if (m_store.madeChildren(node)) {
        showRows(node); // in a step of its own: the view lays the rows out after it
    } else {
        QElapsedTimer t;
        t.start();
        while (!m_store.makeChildrenSome(node, kChildrenAtOnce) && t.elapsed() < kStepMs) { }
    }
    if (!m_waiting.isEmpty()) {
        m_stepQueued = true;
        QTimer::singleShot(0, this, &TreeModel::nextStep);
    }
}

void TreeModel::showRows(int node)
{
    const int rows = m_store.childCount(node); // makes what is left at once
    const QModelIndex parent = indexOfNode(node);
    if (rows > 0)
        beginInsertRows(parent, 0, rows - 1);
    m_waiting.removeOne(node);
    if (rows > 0)
        endInsertRows();
}

int TreeModel::columnCount(const QModelIndex &) const
{
    return columns();
}

Qt::ItemFlags TreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return m_store.isLeaf(int(index.internalId())) ? flags | Qt::ItemNeverHasChildren : flags;
}

bool TreeModel::hasChildren(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return false;
    return m_store.hasChildren(nodeIndex(parent));
}

QVariant TreeModel::data(const QModelIndex &index, int role) const
{
    const int node = nodeIndex(index);
    if (!m_store.isValid(node))
        return {};
    if (index.column() == 1)
        return role == Qt::DisplayRole ? QVariant(m_store.instanceId(node)) : QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_store.text(node);
    case InstanceIdRole:
        return m_idDisplay == IdAfterCaption ? m_store.instanceId(node) : QString();
    case TagRole:
        return m_store.tag(node);
    case FullPathRole:
        return m_store.fullPath(node);
    case NodeIndexRole:
        return node;
    default:
        return {};
    }
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columns())
        return {};
    return section == 0 ? tr("Node") : tr("Id");
}

} // namespace quillon
