#pragma once
// Walks over the parser's own nodes for the reference index and the check: on a million
// instances a handle or a call through std::function per node costs more than the walk.

#include "document/instancewalk.h"
#include "model/refs.h"

#include <cstring>
#include <string_view>
#include <type_traits>

namespace quillon {

// The values of the first ref and the first href attribute of n (null for none).
struct ReferenceAttributes {
    const char *ref = nullptr;
    const char *href = nullptr;
};
inline ReferenceAttributes referenceAttributes(pugi::xml_node n)
{
    ReferenceAttributes r;
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
        const int kind = referenceKind(a.name());
        if (kind == 1 && !r.ref)
            r.ref = a.value();
        else if (kind == 2 && !r.href)
            r.href = a.value();
    }
    return r;
}

// Calls f(instance, property, isHref, value) for every ref and href attribute inside instance
// (on its properties and anything below them), in document order; property is the instance's
// child that holds it. On one element its ref comes before its href. An f that takes a fifth
// argument is also given the element that holds the attribute.
template <class F> void forEachReferenceIn(pugi::xml_node instance, F &f)
{
    for (pugi::xml_node property = instance.first_child(); property; property = property.next_sibling()) {
        pugi::xml_node n = property;
        while (n) {
            const ReferenceAttributes r = referenceAttributes(n);
            constexpr bool withHolder =
                std::is_invocable_v<F, pugi::xml_node, pugi::xml_node, bool, const char *, pugi::xml_node>;
            if (r.ref) {
                if constexpr (withHolder)
                    f(instance, property, false, r.ref, n);
                else
                    f(instance, property, false, r.ref);
            }
            if (r.href) {
                if constexpr (withHolder)
                    f(instance, property, true, r.href, n);
                else
                    f(instance, property, true, r.href);
            }
            // Depth first, without recursion, up to the property.
            if (const pugi::xml_node child = n.first_child()) {
                n = child;
                continue;
            }
            while (n != property && !n.next_sibling())
                n = n.parent();
            n = n == property ? pugi::xml_node() : n.next_sibling();
        }
    }
}

// The same for every instance of d, in document order.
template <class F> void forEachReferenceNode(const InstanceWalk &d, F &&f)
{
    d.forEachInstance([&f](pugi::xml_node instance) { forEachReferenceIn(instance, f); });
}

// The instance that holds an element of an instance (or is it) and the instance's child on
// the way to it (null for the instance itself): the elements fourth and fifth from the top.
inline void instanceAndPropertyOf(pugi::xml_node e, pugi::xml_node &instance, pugi::xml_node &property)
{
    pugi::xml_node chain[5]; // the latest five elements on the way up
    int n = 0;
    for (pugi::xml_node a = e; a && a.type() == pugi::node_element; a = a.parent())
        chain[n++ % 5] = a;
    instance = n >= 4 ? chain[(n - 4) % 5] : pugi::xml_node();
    property = n >= 5 ? chain[(n - 5) % 5] : pugi::xml_node();
}

} // namespace quillon
