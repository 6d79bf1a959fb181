#pragma once
// The tree of a document in one of the three views, as a flat store of nodes. Node indexes
// count from 1 in the order nodes are added (pre-order); 0 stands for "no parent" (the root
// level). The store only reads the document; it keeps the document alive through its nodes.

#include "quillon_export.h"
#include "xmldocument.h"

#include <QString>
#include <vector>

namespace quillon {

class QUILLON_EXPORT TreeStore {
public:
    enum Mode { Arm = 0, Mapping = 1, Aim = 2 };

    void clear();
    // Adds the nodes for every element child of root (the document element) and below
    // them, as the view mode says. Deeply nested documents are walked without recursion.
    void build(const XmlNode &root, int mode);
    // Adds the node for elm under parentIndex (0: a root node) and the nodes below it.
    void AddChildNodes(const XmlNode &elm, int parentIndex, int mode);

    int count() const { return int(m_nodes.size()); }
    bool isValid(int index) const { return index >= 1 && index <= count(); }

    QString text(int index) const;        // the element's name with "_" shown as " "
    // "" | "[@a=\"v\"]" | "/last[@a=\"v\"]" (ARM view); a is the first attribute that is not a
    // namespace declaration.
    QString tag(int index) const;
    QString fullPath(int index) const;    // captions from the root node down, joined by "/"
    XmlNode element(int index) const;
    int parent(int index) const;          // 0 for a root node
    int childCount(int index) const;      // index 0: the number of root nodes
    int child(int index, int row) const;  // index 0: the root nodes
    int row(int index) const;             // position among its siblings

private:
    enum class TagKind : unsigned char { None, OwnFirstAttribute, LastChildStep };
    struct Node {
        XmlNode elm;
        int parent = 0;
        mutable int row = 0;
        TagKind tag = TagKind::None;
    };
    void addNode(const XmlNode &elm, int parentIndex);
    void finishChildren() const;

    std::vector<Node> m_nodes;
    // Children in compressed form, built on first use after a change.
    mutable std::vector<int> m_childStart;  // per index 0..count: offset into m_children
    mutable std::vector<int> m_children;
    mutable bool m_childrenDirty = true;
};

} // namespace quillon
