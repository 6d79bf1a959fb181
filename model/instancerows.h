#pragma once
// The rows of an instance as the property list shows them: one row per child element, in
// document order, with its caption and its value. The value of a row whose first child is an
// element is that child's first attribute (a reference); otherwise it is the row's text,
// trimmed. The property list, compare and find all read an instance's rows here.

#include "document/instancewalk.h"

#include <QString>

#include <type_traits>

namespace quillon {

struct InstanceRow {
    pugi::xml_node element; // the instance's child the row stands for
    const char *name = ""; // its element name, as written
    QString value;
    bool reference = false;
    // The row's first child is an element without attributes: there is no reference to read
    // (the property list cannot show the instance past this row).
    bool unreadable = false;
};

// Whether the first child of n that navigation sees (no whitespace-only text) is an element,
// counting the text the parse keeps as n's own value as a child; *hasChild: whether there is one.
inline bool firstChildIsElement(const InstanceWalk &d, pugi::xml_node n, bool *hasChild)
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

inline InstanceRow instanceRow(const InstanceWalk &d, pugi::xml_node property)
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
        row.unreadable = !c.first_attribute();
        row.value = QString::fromUtf8(c.first_attribute().value());
    } else if (hasChild) {
        row.value = d.text(property);
    }
    return row;
}

// Calls f(row) for each row of instance, in document order. An f that returns bool stops the
// walk by returning false.
template <class F> void forEachInstanceRow(const InstanceWalk &d, pugi::xml_node instance, F &&f)
{
    for (pugi::xml_node p = instance.first_child(); p; p = p.next_sibling()) {
        if (p.type() != pugi::node_element)
            continue;
        if constexpr (std::is_same_v<std::invoke_result_t<F, InstanceRow>, bool>) {
            if (!f(instanceRow(d, p)))
                return;
        } else {
            f(instanceRow(d, p));
        }
    }
}

} // namespace quillon
