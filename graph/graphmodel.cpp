// The reference neighbourhood of an instance: what it refers to and who refers to it.
#include "graph/graphmodel.h"
#include "model/refs.h"
#include "document/instancewalk.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <string_view>

namespace quillon {

namespace {

// Calls f(element, property) for every element below instance's property elements, property
// being the property element it lies in. Document order.
template <class F> void forEachBelowProperties(ElementRef instance, F &&f)
{
    for (ElementRef property = instance.firstChild(); property; property = property.nextSibling()) {
        // A walk of the property's subtree without recursion.
        ElementRef e = property.firstChild();
        while (e) {
            f(e, property);
            if (ElementRef c = e.firstChild()) {
                e = c;
                continue;
            }
            while (e && !(e == property)) {
                if (ElementRef s = e.nextSibling()) {
                    e = s;
                    break;
                }
                e = e.parent();
            }
            if (e == property)
                break;
        }
    }
}

} // namespace

ReferrerSource scanReferrers(const XmlDocument *doc, const QString &fileName)
{
    return [doc, fileName](const QString &id) {
        QList<GraphReferrer> found;
        if (!doc || id.isEmpty())
            return found;
        const XmlNode root = doc->documentElement();
        const QByteArray want = id.toUtf8();
        const std::string_view wanted(want.constData(), size_t(want.size()));
        doc->forEachInstance([&](ElementRef instance) {
            forEachBelowProperties(instance, [&](ElementRef e, ElementRef property) {
                for (int i = 0, n = e.attributeCount(); i < n; ++i) {
                    const char *name = e.attributeName(i);
                    const char *value = e.attributeValue(i);
                    bool hit = false;
                    const int kind = referenceKind(name);
                    if (kind == 1) {
                        hit = want == value;
                    } else if (kind == 2) {
                        std::string_view part, named;
                        hit = splitHref(value, part, named) && named == wanted &&
                              namesHolder(fileName, QString::fromUtf8(part.data(), qsizetype(part.size())));
                    }
                    if (hit) {
                        found.append({root.at(instance), NameToCaption(QString::fromUtf8(property.name()))});
                        return;
                    }
                }
            });
        });
        return found;
    };
}

QStringList GraphNode::lines() const
{
    switch (kind) {
    case Kind::Instance:
        return {caption, id};
    case Kind::OtherFile:
        return {caption, FileNameOf(file) + QLatin1Char('#') + id};
    case Kind::Missing:
        return {QCoreApplication::translate("GraphNode", "missing: ") + id};
    case Kind::More:
        return {QCoreApplication::translate("GraphNode", "+%1 more").arg(hidden)};
    }
    return {};
}

GraphModel::Target GraphModel::instanceTarget(const XmlNode &instance) const
{
    Target t;
    t.kind = GraphNode::Kind::Instance;
    t.id = firstAttributeText(instance);
    t.key = QLatin1Char('#') + t.id;
    // The instance a reference to its id reaches is "#id"; another with the same id (or one
    // without an id) is a box of its own.
    if (t.id.isEmpty() || m_doc->findInstance(t.id) != instance)
        t.key += QLatin1Char('@') + QString::number(quintptr(InstanceWalk::node(instance).internal_object()), 16);
    t.caption = NameToCaption(instance.nodeName());
    t.element = instance;
    return t;
}

QList<GraphModel::Link> GraphModel::outgoing(const XmlNode &instance) const
{
    QList<Link> links;
    QHash<QString, QString> named; // per document part: the file it names ("" for this one)
    QHash<QString, bool> fileExists; // one look at the disk per file named
    forEachBelowProperties(instance.ref(), [&](ElementRef e, ElementRef property) {
        for (int i = 0, n = e.attributeCount(); i < n; ++i) {
            const char *name = e.attributeName(i);
            const int kind = referenceKind(name);
            if (!kind)
                continue;
            const bool isRef = kind == 1;
            const QString value = QString::fromUtf8(e.attributeValue(i));
            QString id = value, file;
            if (!isRef) {
                const RefPieces pieces(value);
                const QString part = pieces.piece(0);
                id = pieces.piece(1);
                auto it = named.find(part);
                if (it == named.end())
                    it = named.insert(part, namesHolder(m_fileName, part) ? QString()
                                                                          : resolveDocumentPart(m_fileName, part));
                file = *it;
            }
            Target t;
            if (file.isEmpty()) {
                if (const XmlNode target = m_doc->findInstance(id)) {
                    t = instanceTarget(target);
                } else {
                    t.kind = GraphNode::Kind::Missing;
                    t.id = id;
                    t.key = QLatin1Char('!') + id;
                }
            } else {
                auto known = fileExists.find(file);
                if (known == fileExists.end())
                    known = fileExists.insert(file, QFileInfo::exists(file));
                if (*known) {
                    t.kind = GraphNode::Kind::OtherFile;
                    t.file = file;
                    t.id = id;
                    t.caption = NameToCaption(QString::fromUtf8(e.name()));
                    t.key = file + QLatin1Char('#') + id;
                } else {
                    t.kind = GraphNode::Kind::Missing;
                    t.id = value;
                    t.key = QLatin1Char('!') + value;
                }
            }
            links.append({t, NameToCaption(QString::fromUtf8(property.name()))});
        }
    });
    return links;
}

QList<GraphModel::Link> GraphModel::incoming(const XmlNode &instance, const ReferrerSource &referrers) const
{
    QList<Link> links;
    const QString id = firstAttributeText(instance);
    if (!referrers || id.isEmpty())
        return links;
    for (const GraphReferrer &r : referrers(id))
        links.append({instanceTarget(r.instance), r.property});
    return links;
}

int GraphModel::addNode(const Target &t, int depth)
{
    if (const int known = indexOf(t.key); known >= 0)
        return known;
    GraphNode n;
    n.kind = t.kind;
    n.key = t.key;
    n.caption = t.caption;
    n.id = t.id;
    n.file = t.file;
    n.element = t.element;
    n.depth = depth;
    m_nodes.append(n);
    m_index.insert(n.key, int(m_nodes.size() - 1));
    return int(m_nodes.size() - 1);
}

void GraphModel::addSide(int owner, const QList<Link> &links, bool out, int depth)
{
    // The distinct neighbours of this side, in the order first met.
    QStringList order;
    QSet<QString> seen;
    for (const Link &l : links)
        if (!seen.contains(l.target.key)) {
            seen.insert(l.target.key);
            order.append(l.target.key);
        }
    const QString moreKey = QLatin1Char('+') + m_nodes.at(owner).key + (out ? QLatin1Char('>') : QLatin1Char('<'));
    // New neighbours take room from what is left of maxNodes (one place kept for the More node).
    int newOnes = 0;
    for (const QString &key : std::as_const(order))
        newOnes += indexOf(key) < 0;
    const int room = qMax(0, m_maxNodes - int(m_nodes.size()) - 1);
    const int limit = newOnes > room ? qMin(m_limit, room) : m_limit;
    const bool cut = order.size() > limit && !m_expanded.contains(moreKey);
    const QSet<QString> shown = cut ? QSet<QString>(order.begin(), order.begin() + limit) : seen;

    for (const Link &l : links) {
        if (!shown.contains(l.target.key))
            continue;
        const int other = addNode(l.target, depth);
        const GraphEdge e = out ? GraphEdge{owner, other, l.label} : GraphEdge{other, owner, l.label};
        if (!m_edges.contains(e))
            m_edges.append(e);
    }
    if (cut) {
        Target t;
        t.kind = GraphNode::Kind::More;
        t.key = moreKey;
        const int more = addNode(t, depth);
        m_nodes[more].hidden = int(order.size()) - limit;
        m_nodes[more].expands = moreKey;
        m_edges.append(out ? GraphEdge{owner, more, {}} : GraphEdge{more, owner, {}});
    }
}

void GraphModel::build(const XmlDocument *doc, const QString &fileName, const XmlNode &centre, int depth,
                       const ReferrerSource &referrers)
{
    m_doc = doc;
    m_fileName = fileName;
    m_depth = qBound(1, depth, 2);
    m_nodes.clear();
    m_edges.clear();
    m_index.clear();
    // Only an instance has references to draw (the ARM view's single row may stand for an
    // element of the ARM section).
    if (!doc || !centre || centre.parentNode().nodeName() != QLatin1String("aim-instances"))
        return;
    addNode(instanceTarget(centre), 0);
    // Breadth first: each level's instances add their neighbours as the next level.
    int levelBegin = 0;
    for (int level = 0; level < m_depth; ++level) {
        const int levelEnd = int(m_nodes.size());
        for (int i = levelBegin; i < levelEnd; ++i) {
            if (m_nodes.at(i).kind != GraphNode::Kind::Instance || m_nodes.at(i).depth != level)
                continue;
            const XmlNode element = m_nodes.at(i).element;
            addSide(i, outgoing(element), true, level + 1);
            addSide(i, incoming(element, referrers), false, level + 1);
        }
        levelBegin = levelEnd;
    }
}

} // namespace quillon
