#pragma once
// The tree of a document in one of the three views, as a flat store of nodes. Node indexes
// count from 1 in the order nodes are made; 0 stands for "no parent" (the root level). The
// root nodes are made by build(); the children of a node are made the first time they are
// asked for, so a document of a million instances shows its tree without a node per
// instance until the user opens the element that holds them. The store only reads the
// document and keeps it alive.

#include "document/xmldocument.h"

#include <QHash>
#include <QString>
#include <deque>
#include <vector>

namespace quillon {

class TreeStore {
public:
    enum Mode { Arm = 0, Mapping = 1, Aim = 2 };

    void clear();
    // The root nodes for every element child of root (the document element); the nodes below
    // them follow the view mode as they are asked for.
    void build(const XmlNode &root, int mode);

    // Nodes made so far (not those of a walk in parts, until it ends).
    int count() const { return (m_partial.node >= 0 ? m_partial.first : int(m_nodes.size())) - 1; }
    bool isValid(int index) const { return index >= 1 && index <= count(); }

    QString text(int index) const; // the element's name with "_" shown as " "
    // "" | "[@a=\"v\"]" | "/last[@a=\"v\"]" (ARM view); a is the first attribute that is not a
    // namespace declaration.
    QString tag(int index) const;
    QString fullPath(int index) const; // captions from the root node down, joined by "/"
    // The id of the instance the node stands for (its id attribute, which an instance lookup
    // finds); "" for a node that is no instance or has no id.
    QString instanceId(int index) const;
    XmlNode element(int index) const; // the element the node was made for
    // What a click on the node selects: the first element in document order that
    // "/uos/" + the node's path (captions with " " as "_") + its tag names. That is the
    // node's own element (or, for an ARM tag step, its last child) unless an element of the
    // same path comes first.
    // doc, when given, is the document the tree shows: a path that ends in an id is then
    // looked up in its index of ids, not walked (the answer is the same).
    XmlNode resolve(int index, const XmlDocument *doc = nullptr) const;

    int parent(int index) const; // 0 for a root node
    int childCount(int index) const; // index 0: the number of root nodes; makes the children
    int child(int index, int row) const;
    int row(int index) const; // position among its siblings
    // The child of index made for element e (making the children), 0 when there is none.
    int childFor(int index, const XmlNode &e) const;
    bool hasChildren(int index) const; // without making them
    bool madeChildren(int index) const; // whether its children were made (index 0: the root level)
    // The same in parts, for a view that must not stop for long: each call makes up to count
    // more of its children; true when they are all made. Making any other node's children
    // ends such a walk first (a node's children stand together).
    bool makeChildrenSome(int index, int count) const;
    // An instance group in the AIM view: its children are the instances, in their thousands.
    bool holdsInstances(int index) const;
    // Known to have no children, without looking: its children were made and there are none,
    // or it is an instance in the AIM view. Then hasChildren() is false, and stays so until
    // the next build(); a node not known so may have children or not.
    bool isLeaf(int index) const { return isValid(index) && m_nodes[size_t(index)].children == kNone; }
    int depth(int index) const; // 1 for a root node; 0 for the root level and invalid indexes

    // The nodes with children that "expand all" on node opens: node and those below it, in
    // document order, each at most maxDepth deep and no more than maxNodes of them (what a
    // view can lay out); the others stay closed, and *cut says whether any did. Makes the
    // children of the nodes it opens.
    std::vector<int> nodesToExpand(int node, int maxDepth, int maxNodes, bool *cut) const;

private:
    enum class TagKind : signed char { None, OwnFirstAttribute, LastChildStep };
    static constexpr int kNotMade = -1, kNone = -2; // Node::children when there is no Children
    // A node is 16 bytes: an element of millions makes millions of them.
    struct Node {
        ElementRef elm;
        int parent = 0;
        int children = kNotMade; // its entry in m_children; kNone: it has none
    };
    // The children of a node, made at once: nodes first .. first + count - 1 (count > 0), at
    // depth.
    struct Children {
        int first;
        int count;
        int depth;
    };
    // The qualifying element children, in order, from the first or from `from` on.
    template <class F> void forEachChildOf(int index, F &&f, ElementRef from = {}) const;
    void makeChildren(int index) const;
    int childrenOfChildren(int index) const; // Node::children of a new child: kNotMade or kNone
    void madeFrom(int index, int first) const; // records nodes first.. as the children made
    // The entry a node was made in: its siblings and their depth (index valid).
    const Children &madeIn(int index) const;
    TagKind tagKind(int index) const;

    XmlNode m_root; // keeps the document alive
    int m_mode = 0;
    // [0] stands for the root level. A deque: making the children of an element of millions
    // moves none of the nodes made before, nor takes more memory than the new ones need.
    mutable std::deque<Node> m_nodes;
    mutable std::vector<Children> m_children;
    mutable QHash<int, TagKind> m_tags; // of the nodes asked for theirs
    // The children of a node being made in parts (makeChildrenSome): their nodes so far stand
    // from first on, at the end of m_nodes, and the walk goes on from next.
    struct Partial {
        int node = -1;
        int first = 0;
        ElementRef next;
    };
    mutable Partial m_partial;
};

} // namespace quillon
