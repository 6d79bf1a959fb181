// Read-only access to the parser's nodes (instancewalk.h): each call reads the shared state.
#include "document/instancewalk.h"
#include "document/xmldocument_p.h"

namespace quillon {

bool InstanceWalk::isLoaded() const
{
    return m_d && m_d->loaded;
}

pugi::xml_node InstanceWalk::documentElement() const
{
    return isLoaded() ? m_d->documentElement() : pugi::xml_node();
}

size_t InstanceWalk::sourceSize() const
{
    return m_d ? m_d->source.size() : 0;
}

bool InstanceWalk::sameSource(size_t begin, size_t end, const InstanceWalk &o, size_t obegin) const
{
    return m_d && o.m_d && m_d->source.sameBytes(begin, end, o.m_d->source, obegin);
}

size_t InstanceWalk::nodeStart(pugi::xml_node n) const
{
    return quillon::nodeStart(*m_d, n);
}

bool InstanceWalk::isEdited() const
{
    return m_d && !m_d->edits.empty();
}

quint64 InstanceWalk::changeStamp() const
{
    return m_d ? m_d->stamp : 0;
}

bool InstanceWalk::isHidden(pugi::xml_node n) const
{
    return m_d->isHidden(n);
}

ElementRef InstanceWalk::ref(pugi::xml_node element)
{
    return XmlNodeAccess::ref(element);
}

pugi::xml_node InstanceWalk::node(ElementRef element)
{
    return XmlNodeAccess::node(element);
}

pugi::xml_node InstanceWalk::node(const XmlNode &n)
{
    return XmlNodeAccess::isAttribute(n) ? pugi::xml_node() : XmlNodeAccess::node(n);
}

} // namespace quillon
