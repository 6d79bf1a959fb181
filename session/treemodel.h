#pragma once
// Item model over a TreeStore: one column, each index's internal id is the node's index.

#include "model/treestore.h"

#include <QAbstractItemModel>

namespace quillon {

class TreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Roles { TagRole = Qt::UserRole + 1, FullPathRole, NodeIndexRole };

    explicit TreeModel(QObject *parent = nullptr);

    // Nodes.Clear
    void clear();
    // Rebuilds the whole tree from a document element in a view mode.
    void rebuild(const XmlNode &documentElement, int mode);

    const TreeStore &store() const { return m_store; }
    int nodeIndex(const QModelIndex &index) const;
    QModelIndex indexOfNode(int node) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;

private:
    TreeStore m_store;
};

} // namespace quillon
