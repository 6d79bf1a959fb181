#pragma once
// A change of the document that can be taken back and made again exactly. Taking it back puts
// the very nodes it took out of the tree back in their places (so where they stand in the file
// is known again) and returns the record of what changed to what it was before, so that a save
// copies those places from the file byte for byte again, as if the change had never been made.
//
// Changes of one document are taken back in the reverse order they were made, and made again
// in the order they were made (an undo stack does that); a change is only made or taken back
// on the document state it left or found.

#include "document/xmldocument.h"

#include <memory>

namespace quillon {

class XmlChange {
public:
    XmlChange() = default;

    // Sets the text of element as XmlNode::setText does. *ok (when given) tells whether the
    // element holds text now; the change is null when nothing changed (or it failed).
    static XmlChange setText(const XmlNode &element, const QString &text, bool *ok = nullptr);
    // Replaces oldChild of parent by newChild as XmlNode::replaceChild does; null when that
    // changed nothing.
    static XmlChange replaceChild(const XmlNode &parent, const XmlNode &newChild, const XmlNode &oldChild);
    // Sets the value of an attribute element has, as XmlNode::setAttribute does; null when that
    // changed nothing (or element has no such attribute).
    static XmlChange setAttribute(const XmlNode &element, const QString &name, const QString &value);
    // Takes element (below the document element) out of the tree; a save leaves out its bytes
    // and the blanks before it, and keeps every other byte. Null when element is no such
    // element, or its place in the file cannot be told.
    static XmlChange removeNode(const XmlNode &element);

    bool isNull() const { return !d; }
    explicit operator bool() const { return d != nullptr; }
    // replaceChild: the node as it stands in the document once the change is made.
    XmlNode placed() const;

    // Both mark the document modified; whether it then differs from its file is for the caller
    // to say (XmlDocument::setModified), who knows which state was last written.
    void undo();
    void redo();

private:
    struct Data;
    std::shared_ptr<Data> d;
};

} // namespace quillon
