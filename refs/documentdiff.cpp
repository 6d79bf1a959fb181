// Compare two versions: an index of the old instances by id, one walk over the new ones that
// compares matched subtrees node by node, and the rows only of the instances that differ.
#include "refs/documentdiff.h"
#include "model/refs.h"
#include "refs/instancerows_p.h"

#include <cstring>
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
pugi::xml_node visible(const DocData &d, pugi::xml_node c)
{
    while (c && d.isHidden(c))
        c = c.next_sibling();
    return c;
}

// Whether two subtrees hold the same names, attributes and text. An element's own text (the
// parse's) and a first text child (after an edit) are the same thing.
bool sameTree(const DocData &da, pugi::xml_node a, const DocData &db, pugi::xml_node b)
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

std::vector<Row> rowsOf(const DocData &d, pugi::xml_node instance)
{
    std::vector<Row> rows;
    std::unordered_map<std::string_view, int> seen;
    forEachInstanceRow(d, instance, [&](InstanceRow r) {
        const int n = seen[r.name]++;
        rows.push_back({std::move(r), n, false});
    });
    return rows;
}

QList<PropertyChange> changedRows(const DocData &da, pugi::xml_node a, const DocData &db, pugi::xml_node b)
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

} // namespace

QList<InstanceChange> DocumentDiff::compare(const XmlDocument &oldDoc, const XmlDocument &newDoc)
{
    const DocData &da = *oldDoc.documentId(), &db = *newDoc.documentId();
    // The old instances by id (the first of each), and whether the new version has it.
    struct Old {
        pugi::xml_node node;
        bool matched = false;
    };
    std::unordered_map<std::string_view, Old> olds;
    std::vector<pugi::xml_node> oldOrder;
    if (da.loaded)
        da.forEachInstance([&](pugi::xml_node inst) {
            if (const char *id = idOf(inst); id && olds.try_emplace(id, Old{inst}).second)
                oldOrder.push_back(inst);
        });
    std::unordered_map<pugi::xml_node_struct *, InstanceChange> changed;
    QList<InstanceChange> added;
    if (db.loaded)
        db.forEachInstance([&](pugi::xml_node inst) {
            const char *id = idOf(inst);
            if (!id)
                return;
            const auto it = olds.find(id);
            if (it == olds.end()) {
                added.append({InstanceChange::Kind::Added, QString::fromUtf8(id), captionOf(inst), {},
                              XmlNodeAccess::ref(inst), {}});
                return;
            }
            if (it->second.matched)
                return; // a later instance of the same id
            it->second.matched = true;
            if (sameTree(da, it->second.node, db, inst))
                return;
            changed[it->second.node.internal_object()] = {InstanceChange::Kind::Changed, QString::fromUtf8(id),
                                                          captionOf(inst), XmlNodeAccess::ref(it->second.node),
                                                          XmlNodeAccess::ref(inst),
                                                          changedRows(da, it->second.node, db, inst)};
        });
    QList<InstanceChange> out;
    for (pugi::xml_node inst : oldOrder) {
        if (!olds.at(idOf(inst)).matched)
            out.append({InstanceChange::Kind::Removed, QString::fromUtf8(idOf(inst)), captionOf(inst),
                        XmlNodeAccess::ref(inst), {}, {}});
        else if (const auto it = changed.find(inst.internal_object()); it != changed.end())
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
