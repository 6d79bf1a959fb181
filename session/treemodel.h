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

    // Above this size of the document's text (in bytes), the instances of a group a view opens
    // are found in steps between the window's events: the group reports no rows until they are
    // all found, then they come as inserted rows. 16 MiB unless set.
    void setStepsAbove(qint64 bytes) { m_stepsAbove = bytes; }

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
    // Whether node's rows wait for steps: asked once its rows are, it then waits until shown.
    bool waits(int node) const;
    void nextStep();
    void showRows(int node); // the rows of a node that waited, as inserted rows

    TreeStore m_store;
    IdDisplay m_idDisplay = IdAfterCaption;
    qint64 m_stepsAbove = qint64(16) << 20;
    mutable QList<int> m_waiting; // nodes whose rows wait for steps, the first one being worked on
    mutable bool m_stepQueued = false;
};

} // namespace quillon
