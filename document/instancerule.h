#pragma once
// Which elements of a document are its instances: the element children of the elements named
// "aim-instances" that are children of any element child of a document element named "uos"
// (/uos/*/aim-instances/*). The walks over a parsed document (InstanceCursor) and the check
// that tells a stream of instances (checkWellFormed with an InstanceSink) both ask here.

#include <string_view>

namespace quillon::instancerule {

// How many elements stand above an instance: the document element, a section, a group.
inline constexpr size_t kAncestors = 3;

// Whether an element named name, at level (0: the document element, 1: a section, 2: a group)
// among the ancestors of an element, lets that element be an instance.
inline bool admits(size_t level, std::string_view name)
{
    switch (level) {
    case 0:
        return name == "uos";
    case 1:
        return true;
    case 2:
        return name == "aim-instances";
    default:
        return false;
    }
}

} // namespace quillon::instancerule
