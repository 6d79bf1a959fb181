#include "treestore.h"
#include "refs.h"

#include <utility>

namespace quillon {

namespace {

bool isAimInstances(const XmlNode &n)
{
    return n.nodeName().compare(QLatin1String("aim-instances"), Qt::CaseInsensitive) == 0;
}

// The last element child: the last child node itself when it is an element, otherwise
// (a trailing comment or text) the last element before it.
XmlNode lastElementChild(const XmlNode &elm)
{
    XmlNode c = elm.lastChild();
    while (c && c.nodeType() != XmlNode::Element)
        c = c.previousSibling();
    return c;
}

// The attribute a tag names: the first one that is not a namespace declaration. XPath does not
// see xmlns and xmlns:p as attributes, so a predicate on one would select nothing.
XmlNode tagAttribute(const XmlNode &elm)
{
    for (int i = 0, n = elm.attributeCount(); i < n; ++i) {
        const XmlNode a = elm.attribute(i);
        const QString name = a.nodeName();
        if (name != QLatin1String("xmlns") && !name.startsWith(QLatin1String("xmlns:")))
            return a;
    }
    return {};
}

} // namespace

void TreeStore::clear()
{
    m_nodes.clear();
    m_childrenDirty = true;
}

void TreeStore::build(const XmlNode &root, int mode)
{
    clear();
    for (const XmlNode &child : root.childNodes())
        if (child.nodeType() == XmlNode::Element)
            AddChildNodes(child, 0, mode);
}

void TreeStore::addNode(const XmlNode &elm, int parentIndex)
{
    Node n;
    n.elm = elm;
    n.parent = parentIndex;
    if (parentIndex != 0 && elm.attributeCount() != 0)
        n.tag = TagKind::OwnFirstAttribute;
    m_nodes.push_back(std::move(n));
    m_childrenDirty = true;
}

void TreeStore::AddChildNodes(const XmlNode &elm, int parentIndex, int mode)
{
    // Pre-order walk with an explicit stack; children are pushed in reverse so that they are
    // taken in document order.
    std::vector<std::pair<XmlNode, int>> stack;
    stack.emplace_back(elm, parentIndex);
    std::vector<XmlNode> qualifying;
    while (!stack.empty()) {
        auto [e, p] = std::move(stack.back());
        stack.pop_back();
        addNode(e, p);
        const int n = count();

        qualifying.clear();
        if (mode == Aim) {
            if (!isAimInstances(e.parentNode())) {
                for (const XmlNode &c : e.childNodes())
                    if (c.nodeType() == XmlNode::Element && hasLowerCase(c.nodeName()))
                        qualifying.push_back(c);
            }
        } else if (mode == Mapping) {
            for (const XmlNode &c : e.childNodes())
                if (c.nodeType() == XmlNode::Element && !isAimInstances(c))
                    qualifying.push_back(c);
        } else {
            for (const XmlNode &c : e.childNodes()) {
                if (c.nodeType() != XmlNode::Element)
                    continue;
                if (!hasLowerCase(c.nodeName())) {
                    qualifying.push_back(c);
                    continue;
                }
                m_nodes[n - 1].tag = TagKind::LastChildStep;
                break;
            }
        }
        for (auto it = qualifying.rbegin(); it != qualifying.rend(); ++it)
            stack.emplace_back(*it, n);
    }
}

QString TreeStore::text(int index) const
{
    return isValid(index) ? NameToCaption(m_nodes[index - 1].elm.nodeName()) : QString();
}

QString TreeStore::tag(int index) const
{
    if (!isValid(index))
        return {};
    const Node &n = m_nodes[index - 1];
    switch (n.tag) {
    case TagKind::None:
        return {};
    case TagKind::OwnFirstAttribute: {
        const XmlNode a = tagAttribute(n.elm);
        return a ? xpathPredicate(a.nodeName(), a.text()) : QString();
    }
    case TagKind::LastChildStep: {
        const XmlNode last = lastElementChild(n.elm);
        QString t = QLatin1Char('/') + last.nodeName();
        if (const XmlNode a = tagAttribute(last))
            t += xpathPredicate(a.nodeName(), a.text());
        return t;
    }
    }
    return {};
}

QString TreeStore::fullPath(int index) const
{
    QStringList parts;
    for (int i = index; isValid(i); i = m_nodes[i - 1].parent)
        parts.prepend(text(i));
    return parts.join(QLatin1Char('/'));
}

XmlNode TreeStore::element(int index) const
{
    return isValid(index) ? m_nodes[index - 1].elm : XmlNode();
}

int TreeStore::parent(int index) const
{
    return isValid(index) ? m_nodes[index - 1].parent : 0;
}

void TreeStore::finishChildren() const
{
    if (!m_childrenDirty)
        return;
    const int n = count();
    m_childStart.assign(n + 2, 0);
    for (const Node &node : m_nodes)
        ++m_childStart[node.parent + 1];
    for (int i = 1; i <= n + 1; ++i)
        m_childStart[i] += m_childStart[i - 1];
    m_children.assign(n, 0);
    std::vector<int> fill(m_childStart.begin(), m_childStart.end() - 1);
    for (int i = 1; i <= n; ++i) {
        const Node &node = m_nodes[i - 1];
        const int slot = fill[node.parent]++;
        node.row = slot - m_childStart[node.parent];
        m_children[slot] = i;
    }
    m_childrenDirty = false;
}

int TreeStore::childCount(int index) const
{
    if (index != 0 && !isValid(index))
        return 0;
    finishChildren();
    return m_childStart[index + 1] - m_childStart[index];
}

int TreeStore::child(int index, int row) const
{
    if (row < 0 || row >= childCount(index))
        return 0;
    return m_children[m_childStart[index] + row];
}

int TreeStore::row(int index) const
{
    if (!isValid(index))
        return -1;
    finishChildren();
    return m_nodes[index - 1].row;
}

} // namespace quillon
