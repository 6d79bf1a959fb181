// Compare two versions: an index of the old instances by id, one walk over the new ones that
// compares matched subtrees node by node, and the rows only of the instances that differ.
#include "refs/documentdiff.h"
#include "model/refs.h"
#include "model/instancerows.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon {

namespace {

bool sameString(const char *a, const char *b)
{
    return a == b || std::strcmp(a, b) == 0;
}

// The next child of n that navigation sees, from c on.
pugi::xml_node visible(const InstanceWalk &d, pugi::xml_node c)
{
    while (c && d.isHidden(c))
        c = c.next_sibling();
    return c;
}

// Whether two subtrees hold the same names, attributes and text. An element's own text (the
// parse's) and a first text child (after an edit) are the same thing.
bool sameTree(const InstanceWalk &da, pugi::xml_node a, const InstanceWalk &db, pugi::xml_node b)
{
    if (a.type() != b.type() || !sameString(a.name(), b.name()))
        return false;
    if (a.type() != pugi::node_element)
        return sameString(a.value(), b.value());
    pugi::xml_attribute x = a.first_attribute(), y = b.first_attribute();
    for (; x && y; x = x.next_attribute(), y = y.next_attribute())
        if (!sameString(x.name(), y.name()) || !sameString(x.value(), y.value()))
            return false;
    if (x || y)
        return false;
    pugi::xml_node ca = visible(da, a.first_child()), cb = visible(db, b.first_child());
    // Leading text: the element's own, or its first child when that is text.
    std::string_view ta = embeddedText(a), tb = embeddedText(b);
    if (ta.empty() && ca.type() == pugi::node_pcdata)
        ta = ca.value(), ca = visible(da, ca.next_sibling());
    if (tb.empty() && cb.type() == pugi::node_pcdata)
        tb = cb.value(), cb = visible(db, cb.next_sibling());
    if (isWhitespaceOnly(ta.data()) != isWhitespaceOnly(tb.data()) || (!isWhitespaceOnly(ta.data()) && ta != tb))
        return false;
    for (; ca && cb; ca = visible(da, ca.next_sibling()), cb = visible(db, cb.next_sibling()))
        if (!sameTree(da, ca, db, cb))
            return false;
    return !ca && !cb;
}

struct Row {
    InstanceRow row;
    int occurrence = 0; // among the instance's rows of the same name
    bool matched = false;
};

std::vector<Row> rowsOf(const InstanceWalk &d, pugi::xml_node instance)
{
    std::vector<Row> rows;
    std::unordered_map<std::string_view, int> seen;
    forEachInstanceRow(d, instance, [&](InstanceRow r) {
        const int n = seen[r.name]++;
        rows.push_back({std::move(r), n, false});
    });
    return rows;
}

QList<PropertyChange> changedRows(const InstanceWalk &da, pugi::xml_node a, const InstanceWalk &db, pugi::xml_node b)
{
    std::vector<Row> before = rowsOf(da, a), after = rowsOf(db, b);
    QList<PropertyChange> out;
    auto caption = [](const char *name) { return NameToCaption(QString::fromUtf8(name)); };
    for (Row &n : after) {
        Row *o = nullptr;
        for (Row &candidate : before)
            if (!candidate.matched && candidate.occurrence == n.occurrence && sameString(candidate.row.name, n.row.name))
                o = &candidate;
        if (!o) {
            out.append({caption(n.row.name), {}, n.row.value, false, n.row.reference});
            continue;
        }
        o->matched = true;
        if (o->row.value != n.row.value || o->row.reference != n.row.reference)
            out.append({caption(n.row.name), o->row.value, n.row.value, o->row.reference, n.row.reference});
    }
    for (const Row &o : before)
        if (!o.matched)
            out.append({caption(o.row.name), o.row.value, {}, o.row.reference, false});
    return out;
}

QString captionOf(pugi::xml_node instance)
{
    return NameToCaption(QString::fromUtf8(instance.name()));
}

const char *idOf(pugi::xml_node instance)
{
    const pugi::xml_attribute id = instance.attribute("id");
    return id ? id.value() : nullptr;
}

// Whether two instances, in documents not edited since they were read, were written alike: the
// text from the start of each to the start of the node after it. False when that cannot be
// told (the last node of its parent); the trees are compared then.
bool sameSource(const InstanceWalk &da, pugi::xml_node a, const InstanceWalk &db, pugi::xml_node b)
{
    const pugi::xml_node na = a.next_sibling(), nb = b.next_sibling();
    if (!na || !nb)
        return false;
    const size_t a0 = da.nodeStart(a), a1 = da.nodeStart(na), b0 = db.nodeStart(b), b1 = db.nodeStart(nb);
    if (a0 == std::string::npos || a1 == std::string::npos || b0 == std::string::npos || b1 == std::string::npos ||
        a1 <= a0 || b1 <= b0 || a1 - a0 != b1 - b0)
        return false;
    return da.sameSource(a0, a1, db, b0);
}

// The old instances by id, in a flat table: a node per id would cost a cache miss per lookup
// on a million instances. Holds indexes into the list of instances; the first of an id wins.
class IdTable {
public:
    explicit IdTable(const std::vector<const char *> &ids) : m_ids(ids)
    {
        size_t size = 16;
        while (size < 2 * ids.size())
            size *= 2;
        m_mask = size - 1;
        m_slots.assign(size, 0);
        for (size_t i = 0; i < ids.size(); ++i) {
            const size_t s = slot(ids[i]);
            if (!m_slots[s])
                m_slots[s] = quint32(i + 1);
        }
    }
    // The index of the first instance of id, or -1.
    qsizetype find(const char *id) const
    {
        const quint32 v = m_slots[slot(id)];
        return v ? qsizetype(v) - 1 : -1;
    }

private:
    size_t slot(const char *id) const
    {
        size_t s = std::hash<std::string_view>()(id) & m_mask;
        while (m_slots[s] && !sameString(m_ids[m_slots[s] - 1], id))
            s = (s + 1) & m_mask;
        return s;
    }
    const std::vector<const char *> &m_ids;
    std::vector<quint32> m_slots;
    size_t m_mask = 0;
};

} // namespace

QList<InstanceChange> DocumentDiff::compare(const XmlDocument &oldDoc, const XmlDocument &newDoc)
{
    const InstanceWalk da(oldDoc), db(newDoc);
    std::vector<pugi::xml_node> olds; // the old instances that have an id, in document order
    std::vector<const char *> oldIds; // their ids
    if (da.isLoaded())
        da.forEachInstance([&](pugi::xml_node inst) {
            if (const char *id = idOf(inst)) {
                olds.push_back(inst);
                oldIds.push_back(id);
            }
        });
    // The old instance each is matched with: mostly the one after the latest match, so the
    // table of ids is made only when the versions do not run in step.
    std::unique_ptr<IdTable> table;
    std::vector<bool> matched(olds.size(), false);
    std::unordered_map<size_t, InstanceChange> changes; // by old index
    QList<InstanceChange> added;
    size_t next = 0;
    // The text of an instance as read says the most at the least cost, while it is the text.
    const bool bySource = !da.isEdited() && !db.isEdited();
    if (db.isLoaded())
        db.forEachInstance([&](pugi::xml_node inst) {
            const char *id = idOf(inst);
            if (!id)
                return;
            qsizetype at = -1;
            if (next < olds.size() && sameString(oldIds[next], id)) {
                // The first instance of its id, unless one came before.
                at = table ? table->find(id) : qsizetype(next);
            } else {
                if (!table)
                    table = std::make_unique<IdTable>(oldIds);
                at = table->find(id);
            }
            if (at < 0) {
                added.append({InstanceChange::Kind::Added, QString::fromUtf8(id), captionOf(inst), {},
                              InstanceWalk::ref(inst), {}});
                return;
            }
            next = size_t(at) + 1;
            if (matched[size_t(at)])
                return; // a later instance of the same id
            matched[size_t(at)] = true;
            const pugi::xml_node old = olds[size_t(at)];
            if (!(bySource && sameSource(da, old, db, inst)) && !sameTree(da, old, db, inst))
                changes[size_t(at)] = {InstanceChange::Kind::Changed, QString::fromUtf8(id), captionOf(inst),
                                       InstanceWalk::ref(old), InstanceWalk::ref(inst),
                                       changedRows(da, old, db, inst)};
        });
    if (!table && !olds.empty())
        table = std::make_unique<IdTable>(oldIds);
    QList<InstanceChange> out;
    for (size_t i = 0; i < olds.size(); ++i) {
        if (table->find(oldIds[i]) != qsizetype(i))
            continue; // a later instance of an id: not matched
        if (!matched[i])
            out.append({InstanceChange::Kind::Removed, QString::fromUtf8(oldIds[i]), captionOf(olds[i]),
                        InstanceWalk::ref(olds[i]), {}, {}});
        else if (const auto it = changes.find(i); it != changes.end())
            out.append(std::move(it->second));
    }
    out.append(added);
    return out;
}

QString DocumentDiff::kindName(InstanceChange::Kind kind)
{
    switch (kind) {
    case InstanceChange::Kind::Removed:
        return QStringLiteral("removed");
    case InstanceChange::Kind::Added:
        return QStringLiteral("added");
    case InstanceChange::Kind::Changed:
        break;
    }
    return QStringLiteral("changed");
}

} // namespace quillon
