// What a session has on show: reading an instance's property rows.
#include "session/showninstance.h"
#include "model/instancerows.h"
#include "model/refs.h"

namespace quillon {

void ShownInstance::clearRows()
{
    m_owner = XmlNode();
    m_rows->clear();
}

bool ShownInstance::fill(const QString &file)
{
    m_owner = m_instance;
    m_file = file;
    if (!m_instance)
        return false;
    QList<PropertyRow> rows;
    bool complete = true;
    const InstanceWalk walk(m_instance);
    forEachInstanceRow(walk, InstanceWalk::node(m_instance), [&](const InstanceRow &r) {
        PropertyRow row;
        row.element = m_instance.at(InstanceWalk::ref(r.element));
        row.caption = NameToCaption(QString::fromUtf8(r.name));
        // The rows read so far stay on show.
        complete = !r.unreadable;
        if (complete) {
            row.value = r.value;
            row.source = r.reference ? PropertyRow::Source::FirstChild : PropertyRow::Source::Value;
        }
        rows.append(row);
        return complete;
    });
    m_rows->setRows(rows);
    return complete;
}

void ShownInstance::showSingleRow(const XmlNode &owner, const PropertyRow &row, const QString &file)
{
    m_instance = owner;
    m_owner = owner;
    m_file = file;
    m_rows->setRows({row});
}

XmlNode ShownInstance::rowElement(const PropertyRow &row) const
{
    if (!row.element || !m_owner)
        return {};
    // The ARM view's single row of a reference element stands for that element itself.
    if (row.source == PropertyRow::Source::OwnAttribute)
        return m_owner;
    // Other rows stand for a child of the element on show, as long as it is one.
    return row.element.parentNode() == m_owner ? row.element : XmlNode();
}

void ShownInstance::replaceOwner(const XmlNode &located, const XmlNode &placed)
{
    if (m_instance == located)
        m_instance = placed;
    m_owner = placed;
}

void ShownInstance::restore(const View &view, const QString &file)
{
    m_instance = view.instance;
    m_owner = view.owner;
    m_file = file;
    m_rows->setRows(view.rows);
}

} // namespace quillon
