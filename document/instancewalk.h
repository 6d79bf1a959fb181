#pragma once
// Read-only access to the parser's nodes of a document, for the walks over whole documents
// (the reference index and check, compare, find, the rows of an instance): on a million
// instances a handle or a call through std::function per node costs more than the walk.
//
// An InstanceWalk owns nothing: the document it reads (an XmlDocument's current state, or the
// state an XmlNode belongs to) must stay alive and unchanged while it and the nodes it hands
// out are used. Nodes go back to the document's own API as ElementRef (ref()).

#include "document/instancerule.h"
#include "document/xmldocument.h"

#include <pugixml.hpp>

#include <QString>

#include <string_view>

namespace quillon {

// Whether s holds only XML whitespace (space, tab, line feed, carriage return).
bool isWhitespaceOnly(const char *s);

// The text an element holds as its value, before any child of it, "" when none: the parse
// keeps such a text as the element's value, not as a node of its own.
inline const char *embeddedText(pugi::xml_node n)
{
    return n.type() == pugi::node_element ? n.value() : "";
}

// A place among the instances below a document element root (instancerule.h), in document
// order. It starts at the first one and goes on from where it is, so a walk can be done in
// steps; it holds the parser's nodes, so the document must stay unchanged while it is used.
class InstanceCursor {
    static_assert(instancerule::kAncestors == 3, "the cursor keeps the document element, a section and a group");

public:
    InstanceCursor() = default;
    explicit InstanceCursor(pugi::xml_node root)
    {
        if (root && instancerule::admits(0, root.name())) {
            m_section = root.first_child();
            enterGroup(m_section ? m_section.first_child() : pugi::xml_node());
        }
    }
    bool atEnd() const { return !m_instance; }
    pugi::xml_node instance() const { return m_instance; } // null at the end
    void advance()
    {
        for (m_instance = m_instance.next_sibling(); m_instance; m_instance = m_instance.next_sibling())
            if (m_instance.type() == pugi::node_element)
                return;
        enterGroup(m_group.next_sibling());
    }

private:
    // Goes to the first instance of the first instance group from group (a child of m_section)
    // on, through the sections after m_section; to the end when there is none.
    void enterGroup(pugi::xml_node group)
    {
        for (; m_section; m_section = m_section.next_sibling(), group = m_section.first_child()) {
            if (m_section.type() != pugi::node_element || !instancerule::admits(1, m_section.name()))
                continue;
            for (m_group = group; m_group; m_group = m_group.next_sibling()) {
                if (m_group.type() != pugi::node_element || !instancerule::admits(2, m_group.name()))
                    continue;
                for (m_instance = m_group.first_child(); m_instance; m_instance = m_instance.next_sibling())
                    if (m_instance.type() == pugi::node_element)
                        return;
            }
        }
        m_group = m_instance = pugi::xml_node();
    }

    pugi::xml_node m_section, m_group, m_instance;
};

// Calls f(instance) for the instances below the document element root, in InstanceCursor's order.
template <class F> void forEachInstanceBelow(pugi::xml_node root, F &&f)
{
    for (InstanceCursor c(root); !c.atEnd(); c.advance())
        f(c.instance());
}

class InstanceWalk {
public:
    explicit InstanceWalk(const XmlDocument &doc) : m_d(doc.documentId()) { }
    // The document state node belongs to (none for a null node).
    explicit InstanceWalk(const XmlNode &node) : m_d(node.documentId()) { }

    bool isLoaded() const; // a document was read (it may still have no document element)
    pugi::xml_node documentElement() const; // null without one
    template <class F> void forEachInstance(F &&f) const
    {
        if (isLoaded())
            forEachInstanceBelow(documentElement(), f);
    }
    // The size of the text as read, in UTF-8 bytes: the offsets of nodeStart() refer to it.
    size_t sourceSize() const;
    // Whether bytes [begin, end) of the text as read are those from obegin on in o's.
    bool sameSource(size_t begin, size_t end, const InstanceWalk &o, size_t obegin) const;
    // Where a node of the source begins in the text as read, or npos when it did not come from there.
    size_t nodeStart(pugi::xml_node n) const;
    bool isEdited() const; // something changed since the document was read
    quint64 changeStamp() const; // XmlDocument::changeStamp of this state
    // Whether navigation passes over n: whitespace-only text, or where removed nodes are kept.
    bool isHidden(pugi::xml_node n) const;
    // The text of an element as XmlNode::text() reads it: its descendants' text, trimmed.
    QString text(pugi::xml_node element) const;

    static ElementRef ref(pugi::xml_node element);
    static pugi::xml_node node(ElementRef element);
    static pugi::xml_node node(const XmlNode &n); // null for an attribute

private:
    const DocData *m_d;
};

} // namespace quillon
