#pragma once
// The reference neighbourhood of one instance, as nodes and labelled edges: the instances it
// refers to, the instances that refer to it, and at depth 2 the same around each of those.
//
// What counts as a reference: every `ref` or `href` attribute on an element below one of the
// instance's property elements (so the members of a list of references count, not only the
// first one the property list shows); the edge is labelled with that property's caption. A
// `ref` names an instance of the same document; an `href` "file#id" names one of the file that
// resolveDocumentPart() gives, which may be this document (namesHolder()). Other files are not
// loaded:
// their instances stand as nodes named by file and id, captioned with the name of the element
// that refers to them (which names the target's kind). A reference whose target is not in
// the document is a node "missing: id".
//
// Who refers to an instance comes from a ReferrerSource: graphReferrers() answers from a
// ReferenceIndex; scanReferrers() walks the whole document per question (for comparison).

#include "document/xmldocument.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>

namespace quillon {

// One instance that refers to another: the referring instance and the caption of its
// property that holds the reference.
struct GraphReferrer {
    XmlNode instance;
    QString property;
};
// The referrers of instance `id` of the document the source was made for, in document order.
using ReferrerSource = std::function<QList<GraphReferrer>(const QString &id)>;

// A source that walks every instance of doc for each question. fileName is the document's
// path: an `href` whose document part names it counts as a reference into it.
ReferrerSource scanReferrers(const XmlDocument *doc, const QString &fileName);
class ReferenceIndex;
// The source the graph uses: doc's reverse index (built on the first question, kept while
// the document does not change). index must outlive the source.
ReferrerSource graphReferrers(const XmlDocument *doc, ReferenceIndex *index);

struct GraphNode {
    enum class Kind {
        Instance, // an instance of the document
        OtherFile, // an instance of another file, not loaded
        Missing, // a reference whose target is not in the document
        More, // "+N more": neighbours left out on one side of a node
    };
    Kind kind = Kind::Instance;
    QString key; // identity within the graph (stable across builds): "#id" for the instance
                 // that id finds, "file#id" for another file's, one of its own for any other
    QString caption; // the element's name as a caption ("product"); empty for Missing and More
    QString id; // the instance's id (Missing: the id not found)
    QString file; // OtherFile: the file the reference names (resolveDocumentPart)
    int depth = 0; // steps from the centre
    XmlNode element; // Instance: its element
    int hidden = 0; // More: how many neighbours it stands for
    QString expands; // More: the key of the expansion it asks for (see GraphModel::expand)

    // The lines of text the node's box shows.
    QStringList lines() const;
};

struct GraphEdge {
    int from = -1; // the referring node (or, for a More node, its owner)
    int to = -1;
    QString label; // the property caption; empty for the edge to a More node
    bool operator==(const GraphEdge &o) const { return from == o.from && to == o.to && label == o.label; }
};

class GraphModel {
public:
    static constexpr int defaultLimit = 25;
    static constexpr int defaultMaxNodes = 150;

    // Builds the neighbourhood of centre (an instance of doc; anything else gives no nodes)
    // to depth steps (1 or 2; other values are clamped). fileName is doc's path. referrers may be
    // empty: then only the references made are shown.
    void build(const XmlDocument *doc, const QString &fileName, const XmlNode &centre, int depth,
               const ReferrerSource &referrers);

    // More than limit() neighbours on one side of a node: the first limit() are shown and one
    // More node stands for the rest. expand(key) (a More node's `expands`) shows them all at
    // the next build; clearExpanded() forgets every expansion (a new centre).
    // At most maxNodes() nodes come in without being asked for: past that, a side's
    // neighbours all stand behind its More node (a depth-2 graph around well-used instances
    // would otherwise grow to thousands of boxes).
    void setLimit(int limit) { m_limit = limit; }
    int limit() const { return m_limit; }
    void setMaxNodes(int n) { m_maxNodes = n; }
    int maxNodes() const { return m_maxNodes; }
    void expand(const QString &key) { m_expanded.insert(key); }
    void clearExpanded() { m_expanded.clear(); }

    const QList<GraphNode> &nodes() const { return m_nodes; }
    const QList<GraphEdge> &edges() const { return m_edges; }
    int centre() const { return m_nodes.isEmpty() ? -1 : 0; }
    int indexOf(const QString &key) const { return m_index.value(key, -1); }
    int depth() const { return m_depth; }

private:
    struct Target {
        GraphNode::Kind kind;
        QString key;
        QString caption;
        QString id;
        QString file;
        XmlNode element;
    };
    struct Link {
        Target target;
        QString label;
    };
    QList<Link> outgoing(const XmlNode &instance) const;
    QList<Link> incoming(const XmlNode &instance, const ReferrerSource &referrers) const;
    Target instanceTarget(const XmlNode &instance) const;
    int addNode(const Target &t, int depth);
    void addSide(int owner, const QList<Link> &links, bool out, int depth);

    const XmlDocument *m_doc = nullptr;
    QString m_fileName;
    int m_depth = 1;
    int m_limit = defaultLimit;
    int m_maxNodes = defaultMaxNodes;
    QSet<QString> m_expanded;
    QList<GraphNode> m_nodes;
    QList<GraphEdge> m_edges;
    QHash<QString, int> m_index;
};

} // namespace quillon
