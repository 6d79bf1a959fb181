#pragma once
// Compare two versions of a document: instances are matched by their id (the first instance of
// an id in each version; instances without an id are not matched). The result lists the
// instances removed and changed in the old version's order, then the ones added in the new
// version's order. For a changed instance it lists the rows (as the property list shows them)
// whose value or reference changed, old and new, in the new version's order, then the rows
// only the old version has. Rows are matched by element name and their place among the
// instance's rows of that name. An instance whose subtree differs in nothing a row shows (an
// attribute, a deeper element) is listed as changed without rows.

#include "document/xmldocument.h"

#include <QList>
#include <QString>

namespace quillon {

struct PropertyChange {
    QString property; // the row's caption
    QString oldValue, newValue; // "" where the row is missing on that side
    bool oldReference = false, newReference = false;
    bool operator==(const PropertyChange &o) const = default;
};

struct InstanceChange {
    enum class Kind { Removed, Added, Changed };
    Kind kind = Kind::Changed;
    QString id;
    QString caption; // the instance as the tree captions it (the new version's, unless removed)
    ElementRef oldInstance, newInstance; // null on the side that lacks it
    QList<PropertyChange> properties; // Changed only
};

class DocumentDiff {
public:
    // Both documents must stay loaded while the result's element references are used.
    static QList<InstanceChange> compare(const XmlDocument &oldDoc, const XmlDocument &newDoc);

    static QString kindName(InstanceChange::Kind kind); // "removed", "added", "changed"
};

} // namespace quillon
