#pragma once
// The rows of an instance as the property list shows them, read from the parser's nodes for
// walks over whole documents (compare, find): one row per child element, in document order,
// with its caption and its value. The value of a row whose first child is an element is that
// child's first attribute (a reference); otherwise it is the row's text, trimmed.

#include "document/xmldocument_p.h"

#include <QString>

namespace quillon {

struct InstanceRow {
    pugi::xml_node element; // the instance's child the row stands for
    const char *name = ""; // its element name, as written
    QString value;
    bool reference = false;
};

// The first child of n that navigation sees (no whitespace-only text), counting the text the
// parse keeps as n's own value as a child.
inline bool firstChildIsElement(const DocData &d, pugi::xml_node n, bool *hasChild)
{
    *hasChild = !isWhitespaceOnly(embeddedText(n));
    if (*hasChild)
        return false;
    pugi::xml_node c = n.first_child();
    while (c && d.isHidden(c))
        c = c.next_sibling();
    *hasChild = bool(c);
    return c && c.type() == pugi::node_element;
}

inline InstanceRow instanceRow(const DocData &d, pugi::xml_node property)
{
    InstanceRow row;
    row.element = property;
    row.name = property.name();
    bool hasChild = false;
    if (firstChildIsElement(d, property, &hasChild)) {
        pugi::xml_node c = property.first_child();
        while (c.type() != pugi::node_element)
            c = c.next_sibling();
        row.reference = true;
        row.value = QString::fromUtf8(c.first_attribute().value());
    } else if (hasChild) {
        std::string text;
        gatherText(d, property, text);
        row.value = QString::fromUtf8(text).trimmed();
    }
    return row;
}

// Calls f(row) for each row of instance, in document order.
template <class F> void forEachInstanceRow(const DocData &d, pugi::xml_node instance, F &&f)
{
    for (pugi::xml_node p = instance.first_child(); p; p = p.next_sibling())
        if (p.type() == pugi::node_element)
            f(instanceRow(d, p));
}

} // namespace quillon
