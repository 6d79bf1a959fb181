#pragma once
// A check that a document is well-formed XML 1.0, run before the lenient parse so that a file
// any conforming parser refuses is refused here too.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quillon {

struct WellFormedError {
    size_t offset = 0; // byte offset of the fault into the checked text
    std::string message; // what is wrong, e.g. "attribute value not quoted"
};

// Checks that utf8 (the whole document in UTF-8; a UTF-8 BOM at the start is allowed and
// skipped) is a well-formed XML 1.0 document, without reading anything external.
// On failure fills *error (when not null) and returns false.
//
// One forward pass; elements are tracked on an explicit stack, so nesting depth is limited
// only by memory. Internal entities are checked where they are used: in content their
// replacement text must be balanced content, in attribute values it must hold no '<'.
// References to undeclared entities are faults unless the document has an external subset
// or parameter-entity references (and is not standalone), as libxml2 decides.
//
// entities, when given, receives the general entities the document declares (the first
// declaration of a name binds): the replacement text of each internal one (character
// references replaced, line ends as LF), and the names of the external ones (not read).
struct DeclaredEntities {
    std::unordered_map<std::string, std::string> internal;
    std::unordered_set<std::string> external;
};
bool checkWellFormed(std::string_view utf8, WellFormedError *error, DeclaredEntities *entities = nullptr);

// For a text that is made readable as the check goes (see the reading of documents): in the
// document's content the check calls reached(offset, held) every kCheckStep bytes or so, before
// it reads on from offset. Behind offset it reads only the names of the elements still open,
// whose (offset, length) are in held; ahead, as far as a token goes. What the caller has not
// made readable must read as zero bytes, which make the check fail, never pass: a failure may
// be the caller's, to be confirmed over the whole text.
constexpr size_t kCheckStep = size_t(128) << 10;
using CheckProgress = std::function<void(size_t offset, const std::vector<std::pair<size_t, size_t>> &held)>;
bool checkWellFormed(std::string_view utf8, WellFormedError *error, const CheckProgress &reached);

// Told of the instances of a document (instancerule.h) as the check meets their start tags, in
// document order: the element's name as written, and the value of its first attribute (whatever
// its name) as a parser reads it, "" when it has none. In that value the predefined entities and
// character references are replaced, and a tab, LF, CR or CR LF written as such is one space
// each (what a reference stands for stays as it is). Both views hold only during the call. The
// sink is told of what it reads before the check has ended: a failed check tells of instances
// too, which the caller drops.
// For documents without a DOCTYPE: elements and attribute values that entities declared there
// would give are not told of as a parser reads them.
class InstanceSink {
public:
    virtual ~InstanceSink() = default;
    virtual void instance(std::string_view name, std::string_view firstValue) = 0;
};
bool checkWellFormed(std::string_view utf8, WellFormedError *error, InstanceSink &sink);

} // namespace quillon
