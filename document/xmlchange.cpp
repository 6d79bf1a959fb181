// Changes of the document that can be taken back: the nodes they took out stay parked, and
// the record of changes is kept as it was on either side of the change.
#include "document/xmlchange.h"
#include "document/xmldocument_p.h"

#include <string>
#include <vector>

namespace quillon {

namespace {

// Notes what the record of changes gains while it lives. Spans are not noted: they only say
// where a node stood in the file, which stays true, so they are kept across undo and redo (a
// node whose value was set anew can no longer tell its place from the parse, only from its
// recorded span).
class Journal {
public:
    Journal(EditLog &log, std::vector<EditLog::Entry> &into) : m_log(log) { m_log.journal = &into; }
    ~Journal() { m_log.journal = nullptr; }
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

private:
    EditLog &m_log;
};

// What an element holds: its child nodes, and the value of a lone text child.
struct Content {
    std::vector<pugi::xml_node> children;
    std::string loneText;
    bool hasLoneText = false;

    static Content of(pugi::xml_node e)
    {
        Content c;
        for (pugi::xml_node n = e.first_child(); n; n = n.next_sibling())
            c.children.push_back(n);
        if (c.children.size() == 1 && c.children.front().type() == pugi::node_pcdata) {
            c.hasLoneText = true;
            c.loneText = c.children.front().value();
        }
        return c;
    }
    bool operator==(const Content &o) const
    {
        return children == o.children && hasLoneText == o.hasLoneText && loneText == o.loneText;
    }
};

} // namespace

struct XmlChange::Data {
    enum class Kind { Text, Replace, Attribute, Remove } kind = Kind::Text;
    std::shared_ptr<DocData> doc;
    std::vector<EditLog::Entry> added; // what the change added to the record of changes
    // Text: the element and what it held on either side.
    pugi::xml_node element;
    Content contentBefore, contentAfter;
    // Replace: the parent, the node taken out and the one put in its place. Remove: element
    // left parent, where it stood before next (null: it was the last child).
    pugi::xml_node parent, old, placed, next;
    // Attribute: the attribute of element, and its value on either side.
    pugi::xml_attribute attribute;
    std::string valueBefore, valueAfter;

    void putContent(const Content &from, const Content &to)
    {
        if (from.children == to.children) {
            // The same text node took another value.
            if (to.hasLoneText) {
                pugi::xml_node text = to.children.front();
                text.set_value(to.loneText.c_str());
            }
            return;
        }
        for (pugi::xml_node n : from.children)
            doc->park(n);
        for (pugi::xml_node n : to.children)
            element.append_move(n);
    }
    void apply(bool forward)
    {
        if (kind == Kind::Attribute) {
            attribute.set_value((forward ? valueAfter : valueBefore).c_str());
        } else if (kind == Kind::Remove) {
            if (forward)
                doc->park(element);
            else if (next)
                parent.insert_move_before(element, next);
            else
                parent.append_move(element);
        } else if (kind == Kind::Text) {
            putContent(forward ? contentBefore : contentAfter, forward ? contentAfter : contentBefore);
        } else {
            const pugi::xml_node in = forward ? placed : old, out = forward ? old : placed;
            parent.insert_move_before(in, out);
            doc->park(out);
        }
        doc->edits.replay(added, forward);
        doc->modified = true;
        doc->touched();
    }
};

XmlChange XmlChange::setText(const XmlNode &element, const QString &text, bool *ok)
{
    if (ok)
        *ok = false;
    if (element.nodeType() != XmlNode::Element)
        return {};
    auto d = std::make_shared<Data>();
    d->doc = XmlNodeAccess::data(element);
    d->element = XmlNodeAccess::node(element);
    d->doc->materialize(d->element); // its text as a node, which the content below can hold
    const Journal journal(d->doc->edits, d->added);
    d->contentBefore = Content::of(d->element);
    XmlNode target = element;
    const bool done = target.setText(text);
    if (ok)
        *ok = done;
    d->contentAfter = Content::of(d->element);
    if (!done || d->contentAfter == d->contentBefore)
        return {};
    XmlChange change;
    change.d = std::move(d);
    return change;
}

XmlChange XmlChange::replaceChild(const XmlNode &parent, const XmlNode &newChild, const XmlNode &oldChild)
{
    if (parent.isNull() || XmlNodeAccess::isAttribute(parent) || XmlNodeAccess::isAttribute(oldChild))
        return {};
    auto d = std::make_shared<Data>();
    d->kind = Data::Kind::Replace;
    d->doc = XmlNodeAccess::data(parent);
    const Journal journal(d->doc->edits, d->added);
    XmlNode target = parent;
    const XmlNode placed = target.replaceChild(newChild, oldChild);
    if (!placed)
        return {};
    d->parent = XmlNodeAccess::node(parent);
    d->old = XmlNodeAccess::node(oldChild);
    d->placed = XmlNodeAccess::node(placed);
    XmlChange change;
    change.d = std::move(d);
    return change;
}

XmlChange XmlChange::setAttribute(const XmlNode &element, const QString &name, const QString &value)
{
    if (element.nodeType() != XmlNode::Element)
        return {};
    auto d = std::make_shared<Data>();
    d->kind = Data::Kind::Attribute;
    d->doc = XmlNodeAccess::data(element);
    d->element = XmlNodeAccess::node(element);
    d->attribute = d->element.attribute(name.toStdString().c_str());
    if (!d->attribute)
        return {};
    d->valueBefore = d->attribute.value();
    const Journal journal(d->doc->edits, d->added);
    XmlNode target = element;
    if (!target.setAttribute(name, value) || d->valueBefore == d->attribute.value())
        return {};
    d->valueAfter = d->attribute.value();
    XmlChange change;
    change.d = std::move(d);
    return change;
}

XmlChange XmlChange::removeNode(const XmlNode &element)
{
    if (element.nodeType() != XmlNode::Element)
        return {};
    auto d = std::make_shared<Data>();
    d->kind = Data::Kind::Remove;
    d->doc = XmlNodeAccess::data(element);
    d->element = XmlNodeAccess::node(element);
    d->parent = d->element.parent();
    d->next = d->element.next_sibling();
    const Journal journal(d->doc->edits, d->added);
    if (d->doc->isRemoved(d->element) || !d->doc->noteRemoved(d->element))
        return {};
    d->doc->park(d->element);
    d->doc->touched();
    XmlChange change;
    change.d = std::move(d);
    return change;
}

XmlNode XmlChange::placed() const
{
    return d && d->kind == Data::Kind::Replace ? DocData::wrap(d->doc, d->placed) : XmlNode();
}

void XmlChange::undo()
{
    if (d)
        d->apply(false);
}

void XmlChange::redo()
{
    if (d)
        d->apply(true);
}

} // namespace quillon
