#include "model/treestore.h"
#include "document/encoding.h"
#include "document/instancewalk.h"
#include "model/refs.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace quillon {

namespace {

bool isAimInstances(const char *name)
{
    return qstricmp(name, "aim-instances") == 0;
}

// A name "has a lower-case letter" when it differs from its upper-case form.
bool lowerCaseIn(const char *name)
{
    for (const char *p = name; *p; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80)
            return hasLowerCase(encoding::toQString(name)); // leave the rest to Unicode
        if (*p >= 'a' && *p <= 'z')
            return true;
    }
    return false;
}

bool isNamespaceDeclaration(const char *name)
{
    return std::strcmp(name, "xmlns") == 0 || std::strncmp(name, "xmlns:", 6) == 0;
}

// The attribute a tag names: the first one that is not a namespace declaration (XPath does not
// see those as attributes); -1 when there is none.
int tagAttribute(ElementRef e)
{
    for (int i = 0, n = e.attributeCount(); i < n; ++i)
        if (!isNamespaceDeclaration(e.attributeName(i)))
            return i;
    return -1;
}

QString predicate(ElementRef e, int attribute)
{
    return xpathPredicate(encoding::toQString(e.attributeName(attribute)),
                          encoding::toQString(e.attributeValue(attribute)));
}

// One step of a path: an element name, and the attribute value it must carry when attribute
// is set.
struct Step {
    const char *name = "";
    const char *attribute = nullptr;
    const char *value = nullptr;
};

bool matches(pugi::xml_node e, const Step &s)
{
    if (std::strcmp(e.name(), s.name) != 0)
        return false;
    if (!s.attribute)
        return true;
    for (pugi::xml_attribute a = e.first_attribute(); a; a = a.next_attribute())
        if (std::strcmp(a.name(), s.attribute) == 0)
            return !isNamespaceDeclaration(s.attribute) && std::strcmp(a.value(), s.value) == 0;
    return false;
}

// The first element from e on among its siblings that matches s. On the parser's nodes: the
// last step of an instance looks at every instance before it.
ElementRef firstMatch(ElementRef e, const Step &s)
{
    for (pugi::xml_node n = InstanceWalk::node(e); n; n = n.next_sibling())
        if (n.type() == pugi::node_element && matches(n, s))
            return InstanceWalk::ref(n);
    return {};
}

// Whether e stands at the path of steps below root (their names; not their attributes).
bool atPath(ElementRef e, const std::vector<Step> &steps, ElementRef root)
{
    for (auto step = steps.rbegin(); step != steps.rend(); ++step, e = e.parent())
        if (!e || std::strcmp(e.name(), step->name) != 0)
            return false;
    return e == root;
}

} // namespace

void TreeStore::clear()
{
    m_partial = Partial();
    m_nodes.clear();
    m_children.clear();
    m_tags.clear();
    m_root = XmlNode();
}

void TreeStore::build(const XmlNode &root, int mode)
{
    clear();
    m_root = root;
    m_mode = mode;
    m_nodes.push_back(Node{root.ref(), -1, kNotMade});
    makeChildren(0);
}

template <class F> void TreeStore::forEachChildOf(int index, F &&f, ElementRef from) const
{
    const ElementRef e = m_nodes[size_t(index)].elm;
    const ElementRef first = from ? from : e.firstChild();
    if (index == 0 || m_mode == Mapping) {
        for (ElementRef c = first; c; c = c.nextSibling())
            if (index == 0 || !isAimInstances(c.name()))
                if (!f(c))
                    return;
    } else if (m_mode == Aim) {
        if (isAimInstances(e.parent().name()))
            return; // the properties of an instance get no nodes
        for (ElementRef c = first; c; c = c.nextSibling())
            if (lowerCaseIn(c.name()) && !f(c))
                return;
    } else {
        // ARM: the entities, up to the first child that is not one.
        for (ElementRef c = first; c && !lowerCaseIn(c.name()); c = c.nextSibling())
            if (!f(c))
                return;
    }
}

bool TreeStore::holdsInstances(int index) const
{
    return m_mode == Aim && index > 0 && isValid(index) && isAimInstances(m_nodes[size_t(index)].elm.name());
}

bool TreeStore::madeChildren(int index) const
{
    return (index == 0 || isValid(index)) && !m_nodes.empty() && m_nodes[size_t(index)].children != kNotMade;
}

void TreeStore::makeChildren(int index) const
{
    if (m_nodes[size_t(index)].children != kNotMade)
        return;
    // The nodes of one node's children stand together: a walk begun in parts is ended first.
    if (const int begun = m_partial.node; begun >= 0) {
        while (!makeChildrenSome(begun, INT_MAX)) { }
        if (begun == index)
            return;
    }
    const int first = int(m_nodes.size());
    const int children = childrenOfChildren(index);
    forEachChildOf(index, [&](ElementRef c) {
        m_nodes.push_back(Node{c, index, children});
        return true;
    });
    madeFrom(index, first);
}

bool TreeStore::makeChildrenSome(int index, int count) const
{
    if ((index != 0 && !isValid(index)) || m_nodes.empty() || m_nodes[size_t(index)].children != kNotMade)
        return true;
    if (m_partial.node != index) {
        if (m_partial.node >= 0)
            makeChildren(m_partial.node);
        m_partial = Partial{index, int(m_nodes.size()), {}};
    }
    const int children = childrenOfChildren(index);
    int taken = 0;
    ElementRef last;
    forEachChildOf(
        index,
        [&](ElementRef c) {
            m_nodes.push_back(Node{c, index, children});
            last = c;
            return ++taken < count;
        },
        m_partial.next);
    m_partial.next = taken == count ? last.nextSibling() : ElementRef();
    if (m_partial.next)
        return false;
    const int first = m_partial.first;
    m_partial = Partial();
    madeFrom(index, first);
    return true;
}

int TreeStore::childrenOfChildren(int index) const
{
    // In the AIM view the children of an instance group are instances, which get no nodes
    // below them: they are made known leaves at once.
    return holdsInstances(index) ? kNone : kNotMade;
}

void TreeStore::madeFrom(int index, int first) const
{
    const int count = int(m_nodes.size()) - first;
    if (count == 0) {
        m_nodes[size_t(index)].children = kNone;
        return;
    }
    m_children.push_back(Children{first, count, depth(index) + 1});
    m_nodes[size_t(index)].children = int(m_children.size() - 1);
}

const TreeStore::Children &TreeStore::madeIn(int index) const
{
    return m_children[size_t(m_nodes[size_t(m_nodes[size_t(index)].parent)].children)];
}

bool TreeStore::hasChildren(int index) const
{
    if (index != 0 && !isValid(index))
        return false;
    if (m_nodes.empty())
        return false;
    if (const int children = m_nodes[size_t(index)].children; children != kNotMade)
        return children != kNone;
    bool any = false;
    forEachChildOf(index, [&any](ElementRef) {
        any = true;
        return false;
    });
    return any;
}

int TreeStore::childCount(int index) const
{
    if ((index != 0 && !isValid(index)) || m_nodes.empty())
        return 0;
    makeChildren(index);
    const int children = m_nodes[size_t(index)].children;
    return children == kNone ? 0 : m_children[size_t(children)].count;
}

int TreeStore::child(int index, int row) const
{
    if (row < 0 || row >= childCount(index))
        return 0;
    return m_children[size_t(m_nodes[size_t(index)].children)].first + row;
}

int TreeStore::parent(int index) const
{
    return isValid(index) ? m_nodes[size_t(index)].parent : 0;
}

int TreeStore::depth(int index) const
{
    return isValid(index) ? madeIn(index).depth : 0;
}

std::vector<int> TreeStore::nodesToExpand(int node, int maxDepth, int maxNodes, bool *cut) const
{
    std::vector<int> open;
    std::vector<int> next{node}; // depth first, without recursion: the tree may be deep
    bool left = false;
    while (!next.empty()) {
        const int n = next.back();
        next.pop_back();
        if (!isValid(n) || !hasChildren(n))
            continue;
        left = left || depth(n) >= maxDepth || int(open.size()) >= maxNodes;
        if (int(open.size()) >= maxNodes)
            break;
        if (depth(n) >= maxDepth)
            continue;
        open.push_back(n);
        for (int r = childCount(n) - 1; r >= 0; --r)
            next.push_back(child(n, r));
    }
    if (cut)
        *cut = left;
    return open;
}

int TreeStore::childFor(int index, const XmlNode &e) const
{
    const ElementRef ref = e.ref();
    if (!ref || e.documentId() != m_root.documentId())
        return 0;
    for (int i = 0, n = childCount(index); i < n; ++i)
        if (const int c = child(index, i); m_nodes[size_t(c)].elm == ref)
            return c;
    return 0;
}

int TreeStore::row(int index) const
{
    return isValid(index) ? index - madeIn(index).first : -1;
}

QString TreeStore::text(int index) const
{
    return isValid(index) ? NameToCaption(encoding::toQString(m_nodes[size_t(index)].elm.name())) : QString();
}

XmlNode TreeStore::element(int index) const
{
    return isValid(index) ? m_root.at(m_nodes[size_t(index)].elm) : XmlNode();
}

TreeStore::TagKind TreeStore::tagKind(int index) const
{
    if (const auto known = m_tags.constFind(index); known != m_tags.constEnd())
        return *known;
    const Node &n = m_nodes[size_t(index)];
    TagKind tag = TagKind::None;
    // A root node never takes a tag from its own attributes.
    if (n.parent != 0 && tagAttribute(n.elm) >= 0)
        tag = TagKind::OwnFirstAttribute;
    if (m_mode == Arm) {
        // An element with a child that is not an ARM entity selects its last child instead.
        for (ElementRef c = n.elm.firstChild(); c; c = c.nextSibling())
            if (lowerCaseIn(c.name())) {
                tag = TagKind::LastChildStep;
                break;
            }
    }
    m_tags.insert(index, tag);
    return tag;
}

QString TreeStore::tag(int index) const
{
    if (!isValid(index))
        return {};
    const ElementRef e = m_nodes[size_t(index)].elm;
    switch (tagKind(index)) {
    case TagKind::OwnFirstAttribute:
        return predicate(e, tagAttribute(e));
    case TagKind::LastChildStep: {
        const ElementRef last = e.lastChild();
        QString t = QLatin1Char('/') + encoding::toQString(last.name());
        if (const int a = tagAttribute(last); a >= 0)
            t += predicate(last, a);
        return t;
    }
    default:
        return {};
    }
}

QString TreeStore::fullPath(int index) const
{
    QStringList parts;
    for (int i = index; isValid(i); i = m_nodes[size_t(i)].parent)
        parts.prepend(text(i));
    return parts.join(QLatin1Char('/'));
}

QString TreeStore::instanceId(int index) const
{
    if (!isValid(index))
        return {};
    const ElementRef e = m_nodes[size_t(index)].elm;
    const char *id = isInstance(e) ? e.attribute("id") : nullptr;
    return id ? encoding::toQString(id) : QString();
}

XmlNode TreeStore::resolve(int index, const XmlDocument *doc) const
{
    if (!isValid(index) || std::strcmp(m_nodes[0].elm.name(), "uos") != 0)
        return {};
    // The steps from the root level down to the node, and the tag's predicate or step.
    std::vector<Step> steps;
    for (int i = index; isValid(i); i = m_nodes[size_t(i)].parent)
        steps.push_back(Step{m_nodes[size_t(i)].elm.name()});
    std::reverse(steps.begin(), steps.end());
    const ElementRef own = m_nodes[size_t(index)].elm;
    switch (tagKind(index)) {
    case TagKind::OwnFirstAttribute: {
        const int a = tagAttribute(own);
        steps.back().attribute = own.attributeName(a);
        steps.back().value = own.attributeValue(a);
        break;
    }
    case TagKind::LastChildStep: {
        const ElementRef last = own.lastChild();
        Step s{last.name()};
        if (const int a = tagAttribute(last); a >= 0) {
            s.attribute = last.attributeName(a);
            s.value = last.attributeValue(a);
        }
        steps.push_back(s);
        break;
    }
    default:
        break;
    }
    // Every element at a path that ends in an instance's id is an instance with that id: when
    // the document's first one stands at the path, no element there comes before it.
    if (doc && steps.back().attribute && std::strcmp(steps.back().attribute, "id") == 0) {
        const XmlNode first = doc->findInstance(encoding::toQString(steps.back().value));
        if (first.belongsTo(doc) && atPath(first.ref(), steps, m_nodes[0].elm))
            return first;
    }
    // Depth first in document order; the first complete match wins. No recursion: paths can
    // be as deep as the document.
    std::vector<ElementRef> at(steps.size());
    size_t level = 0;
    at[0] = firstMatch(m_nodes[0].elm.firstChild(), steps[0]);
    for (;;) {
        if (!at[level]) {
            if (level == 0)
                return {};
            --level;
            at[level] = firstMatch(at[level].nextSibling(), steps[level]);
            continue;
        }
        if (level + 1 == steps.size())
            return m_root.at(at[level]);
        ++level;
        at[level] = firstMatch(at[level - 1].firstChild(), steps[level]);
    }
}

} // namespace quillon
