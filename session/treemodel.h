#pragma once
// Item model over a TreeStore: each index's internal id is the node's index. Column 0 holds the
// captions, the element names the tree is made of, whatever the choice of IdDisplay: with
// IdAfterCaption (the default) InstanceIdRole holds an instance node's id for the view to draw
// after the caption; with IdColumn a column "Id" holds it.

#include "model/treestore.h"

#include <QAbstractItemModel>

namespace quillon {

class TreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Roles { TagRole = Qt::UserRole + 1, FullPathRole, NodeIndexRole, InstanceIdRole };
    enum IdDisplay { IdHidden = 0, IdAfterCaption = 1, IdColumn = 2 };

    explicit TreeModel(QObject *parent = nullptr);

    // Nodes.Clear
    void clear();
    // Rebuilds the whole tree from a document element in a view mode.
    void rebuild(const XmlNode &documentElement, int mode);

    IdDisplay idDisplay() const { return m_idDisplay; }
    void setIdDisplay(IdDisplay display);

    const TreeStore &store() const { return m_store; }
    int nodeIndex(const QModelIndex &index) const;
    QModelIndex indexOfNode(int node) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    // Nodes known to have no children (TreeStore::isLeaf) say so: a view laying out millions
    // of them then asks neither whether they have children nor whether they are expanded.
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    int columns() const { return m_idDisplay == IdColumn ? 2 : 1; }

    TreeStore m_store;
    IdDisplay m_idDisplay = IdAfterCaption;
};

} // namespace quillon
