#pragma once
// Read-only access to the parser's nodes of a document, for the walks over whole documents
// (the reference index and check, compare, find, the rows of an instance): on a million
// instances a handle or a call through std::function per node costs more than the walk.
//
// An InstanceWalk owns nothing: the document it reads (an XmlDocument's current state, or the
// state an XmlNode belongs to) must stay alive and unchanged while it and the nodes it hands
// out are used. Nodes go back to the document's own API as ElementRef (ref()).

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

// Calls f(instance) for the instances below the document element root: the elements
// /uos/*/aim-instances/*, in document order.
template <class F> void forEachInstanceBelow(pugi::xml_node root, F &&f)
{
    if (!root || std::string_view(root.name()) != "uos")
        return;
    for (pugi::xml_node section = root.first_child(); section; section = section.next_sibling()) {
        if (section.type() != pugi::node_element)
            continue;
        for (pugi::xml_node group = section.first_child(); group; group = group.next_sibling()) {
            if (group.type() != pugi::node_element || std::string_view(group.name()) != "aim-instances")
                continue;
            for (pugi::xml_node inst = group.first_child(); inst; inst = inst.next_sibling())
                if (inst.type() == pugi::node_element)
                    f(inst);
        }
    }
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
    // The text as read, in UTF-8: the offsets of nodeStart() refer to it.
    std::string_view source() const;
    // Where a node of the source begins in source(), or npos when it did not come from there.
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
