// The document round trip driven by the fuzz target and by the corpus replay (roundtrip.h).
#include "roundtrip.h"

#include "model/refs.h"
#include "model/treestore.h"
#include "document/instancescan.h"
#include "document/xmlchange.h"
#include "document/xmldocument.h"
#include "document/xmldocument_p.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace quillon;

namespace {

// The text written into a property by the edit: markup characters, a quote, and characters
// that single-byte encodings hold (é) or have to write as a character reference (€).
const QString kEditedText = QStringLiteral("edited <&> \"value\" \u00e9\u20ac");

[[noreturn]] void violation(const char *check, const QString &detail)
{
    std::fprintf(stderr, "quillon round trip: %s: %s\n", check, detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

void require(bool ok, const char *check, const QString &detail = QString())
{
    if (!ok)
        violation(check, detail);
}

void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "quillon-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

QString utf8(const char *s)
{
    return QString::fromUtf8(s);
}

pugi::xml_node raw(const XmlNode &n)
{
    return XmlNodeAccess::node(n);
}

// Text that the parse kept as an element's value, and navigation has not yet turned into a node,
// counts as the element's first child.
int embeddedBefore(pugi::xml_node n)
{
    return *embeddedText(n.parent()) ? 1 : 0;
}

void materializeAll(const XmlDocument &doc)
{
    if (const XmlNode root = doc.documentElement())
        XmlNodeAccess::data(root)->materializeAll();
}

// "/uos[0]/data[3]/#text[1]": names and positions among all siblings, from the top down.
QString where(pugi::xml_node n)
{
    QStringList steps;
    for (; n && n.type() != pugi::node_document; n = n.parent()) {
        int pos = embeddedBefore(n);
        for (pugi::xml_node s = n.previous_sibling(); s; s = s.previous_sibling())
            ++pos;
        const QString name = n.type() == pugi::node_element || n.type() == pugi::node_pi
                                 ? utf8(n.name())
                                 : QStringLiteral("#kind%1").arg(int(n.type()));
        steps.prepend(QStringLiteral("%1[%2]").arg(name).arg(pos));
    }
    return QLatin1Char('/') + steps.join(QLatin1Char('/'));
}

// Positions among all siblings from the document node down, to find the same node in another
// parse of the same bytes, once all its text is in nodes (materialized).
std::vector<int> rawPath(pugi::xml_node n)
{
    std::vector<int> path;
    for (; n && n.type() != pugi::node_document; n = n.parent()) {
        int pos = embeddedBefore(n);
        for (pugi::xml_node s = n.previous_sibling(); s; s = s.previous_sibling())
            ++pos;
        path.insert(path.begin(), pos);
    }
    return path;
}

pugi::xml_node follow(pugi::xml_node n, const std::vector<int> &path)
{
    for (int pos : path) {
        n = n.first_child();
        for (int i = 0; i < pos && n; ++i)
            n = n.next_sibling();
    }
    return n;
}

QString showBytes(const QByteArray &b, qsizetype at)
{
    const qsizetype from = std::max<qsizetype>(0, at - 16);
    QString s;
    for (qsizetype i = from; i < std::min<qsizetype>(b.size(), at + 16); ++i) {
        const unsigned char c = static_cast<unsigned char>(b[i]);
        s += (c >= 0x20 && c < 0x7F && c != '\\') ? QString(QLatin1Char(char(c)))
                                                  : QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    return s;
}

// ---- Instances and references -------------------------------------------------------------

// The elements under /uos/*/aim-instances/*, in document order.
QList<XmlNode> instancesOf(const XmlDocument &doc)
{
    QList<XmlNode> found;
    const XmlNode root = doc.documentElement();
    if (root.nodeName() != QLatin1String("uos"))
        return found;
    for (const XmlNode &section : root.childNodes()) {
        if (section.nodeType() != XmlNode::Element)
            continue;
        for (const XmlNode &group : section.childNodes()) {
            if (group.nodeType() != XmlNode::Element || group.nodeName() != QLatin1String("aim-instances"))
                continue;
            for (const XmlNode &inst : group.childNodes())
                if (inst.nodeType() == XmlNode::Element)
                    found << inst;
        }
    }
    return found;
}

// The instances a read in one pass tells of: (name, first attribute's value), in UTF-8.
struct StreamedInstances : InstanceSink {
    std::vector<std::pair<std::string, std::string>> rows;
    void instance(std::string_view name, std::string_view firstValue) override { rows.emplace_back(name, firstValue); }
};

// A read in one pass that accepted the input tells of the instances of the document, with
// their first attributes' values as the parse gives them.
void checkStreamed(const StreamedInstances &streamed, const QList<XmlNode> &instances)
{
    std::vector<std::pair<std::string, std::string>> parsed;
    for (const XmlNode &inst : instances) {
        const pugi::xml_attribute first = raw(inst).first_attribute();
        parsed.emplace_back(raw(inst).name(), first ? first.value() : "");
    }
    size_t at = 0;
    while (at < parsed.size() && at < streamed.rows.size() && parsed[at] == streamed.rows[at])
        ++at;
    require(parsed == streamed.rows, "instances read in one pass",
            QStringLiteral("%1 read, %2 parsed, first difference at %3")
                .arg(streamed.rows.size())
                .arg(parsed.size())
                .arg(at));
}

// Every id must find the first instance that carries it, through the index and through the
// expression the editor would build; every ref and the id part of every href likewise.
void checkLookups(const XmlDocument &doc, const QList<XmlNode> &instances)
{
    QHash<QString, XmlNode> first;
    for (const XmlNode &inst : instances)
        if (const XmlNode id = inst.attributeNamed(QStringLiteral("id")); id && !first.contains(id.text()))
            first.insert(id.text(), inst);

    auto lookup = [&](const QString &id, const char *what) {
        if (id.isEmpty())
            return;
        const XmlNode expected = first.value(id);
        const XmlNode found = doc.findInstance(id);
        require(found == expected, what,
                QStringLiteral("findInstance(\"%1\") gave %2, the first instance with that id is %3")
                    .arg(id, where(raw(found)), where(raw(expected))));
    };
    for (auto it = first.cbegin(); it != first.cend(); ++it) {
        lookup(it.key(), "instance id");
        const XmlNode bySelect = doc.selectSingleNode(QStringLiteral("/uos/*/aim-instances/*") +
                                                      xpathPredicate(QStringLiteral("id"), it.key()));
        require(bySelect == it.value(), "instance id by expression",
                QStringLiteral("id \"%1\": expression gave %2, expected %3")
                    .arg(it.key(), where(raw(bySelect)), where(raw(it.value()))));
    }
    for (const XmlNode &e : doc.selectNodes(QStringLiteral("//*[@ref]")))
        lookup(e.attributeNamed(QStringLiteral("ref")).text(), "ref lookup");
    for (const XmlNode &e : doc.selectNodes(QStringLiteral("//*[@href]"))) {
        const QString value = e.attributeNamed(QStringLiteral("href")).text();
        const RefPieces pieces(value);
        QStringList joined;
        for (int i = 0; i < pieces.count(); ++i)
            joined << pieces.piece(i);
        require(pieces.count() == value.count(QLatin1Char('#')) + 1 && joined.join(QLatin1Char('#')) == value &&
                    pieces.piece(pieces.count()).isEmpty() && pieces.piece(-1).isEmpty(),
                "href pieces", value);
        lookup(pieces.piece(1), "href id lookup");
    }
}

// ---- Tree views and clicks ----------------------------------------------------------------

XmlNode lastElementChild(const XmlNode &elm)
{
    XmlNode c = elm.lastChild();
    while (c && c.nodeType() != XmlNode::Element)
        c = c.previousSibling();
    return c;
}

// A click on a terminal node selects the first element of "/uos/" + its path + its tag (the
// store resolves it). Where the expression can be evaluated, both must agree, and the node's
// own element (in the ARM view, the last child its tag steps to) must be among the matches.
void checkClick(const XmlDocument &doc, const TreeStore &store, int node, int mode)
{
    const QString tag = store.tag(node);
    const QString expr = QStringLiteral("/uos/") + CaptionToName(store.fullPath(node)) + tag;
    const XmlNode clicked = store.resolve(node);
    require(bool(clicked), "click selects nothing",
            QStringLiteral("mode %1 node %2: %3").arg(mode).arg(node).arg(expr));
    const XmlNode elm = store.element(node);
    const XmlNode meant = mode == TreeStore::Arm && tag.startsWith(QLatin1Char('/')) ? lastElementChild(elm) : elm;
    // The expression is a second opinion where pugixml's XPath reads names as they are: not for
    // names it cannot take ("a:b:c") or names with characters beyond ASCII, which its lexer
    // does not keep whole.
    auto beyondAscii = [](const char *s) {
        for (; *s; ++s)
            if (static_cast<unsigned char>(*s) >= 0x80)
                return true;
        return false;
    };
    for (ElementRef e = elm.ref(); e; e = e.parent())
        if (beyondAscii(e.name()))
            return;
    for (ElementRef e : {elm.ref(), elm.ref().lastChild()})
        for (int i = 0; e && i < e.attributeCount(); ++i)
            if (beyondAscii(e.attributeName(i)) || beyondAscii(e.attributeValue(i)))
                return;
    const QList<XmlNode> all = doc.selectNodes(expr);
    if (all.isEmpty())
        return;
    require(clicked == all.first(), "click differs from the expression",
            QStringLiteral("mode %1 node %2: %3 selects %4, the store %5")
                .arg(mode)
                .arg(node)
                .arg(expr, where(raw(all.first())), where(raw(clicked))));
    require(all.contains(meant), "click misses the node's element",
            QStringLiteral("mode %1 node %2: %3 selects %4, the node stands for %5")
                .arg(mode)
                .arg(node)
                .arg(expr, where(raw(clicked)), where(raw(meant))));
}

void checkTree(const XmlDocument &doc, int mode)
{
    const XmlNode root = doc.documentElement();
    TreeStore store;
    store.build(root, mode);
    const bool clickable = root.nodeName() == QLatin1String("uos");
    int counted = store.childCount(0);
    for (int i = 1; i <= store.count(); ++i) {
        const int parent = store.parent(i);
        const QString at = QStringLiteral("mode %1 node %2").arg(mode).arg(i);
        require(parent >= 0 && parent < i, "tree order", at);
        require(store.child(parent, store.row(i)) == i, "tree rows", at);
        const XmlNode elm = store.element(i);
        require(elm.nodeType() == XmlNode::Element && elm.parentNode() == (parent ? store.element(parent) : root),
                "tree element", at);
        require(store.text(i) == NameToCaption(elm.nodeName()) && CaptionToName(store.text(i)) == elm.nodeName(),
                "tree caption", at + QStringLiteral(": ") + store.text(i));
        counted += store.childCount(i);
        if (clickable && store.childCount(i) == 0)
            checkClick(doc, store, i, mode);
    }
    require(counted == store.count(), "tree child counts", QStringLiteral("mode %1").arg(mode));
}

// ---- Edits, save and reload ---------------------------------------------------------------

struct Edits {
    pugi::xml_node text; // the element given kEditedText (in the unedited document)
    pugi::xml_node property; // the element whose first child was replaced
    pugi::xml_node replaced; // that first child
    pugi::xml_node made; // the element put in its place (in the edited document)
    std::vector<XmlChange> changes; // both, to be taken back
};

// Edits doc as the editor does: the first property whose first child is text gets new text
// (Enter in the edit box), the first property whose first child is an element is re-pointed
// to the first instance (Edit Link), under a name and id beyond ASCII where the encoding
// holds them. Returns the places, found again in original.
Edits applyEdits(XmlDocument &doc, const XmlDocument &original)
{
    Edits edits;
    const QList<XmlNode> instances = instancesOf(doc);
    XmlNode textProperty, linkProperty;
    for (const XmlNode &inst : instances) {
        for (const XmlNode &c : inst.childNodes()) {
            if (c.nodeType() != XmlNode::Element)
                continue;
            const int kind = c.firstChild().nodeType();
            if (!textProperty && (kind == XmlNode::Text || kind == XmlNode::CData))
                textProperty = c;
            if (!linkProperty && kind == XmlNode::Element)
                linkProperty = c;
        }
    }
    const pugi::xml_node top = raw(original.documentElement()).root();
    if (textProperty) {
        edits.text = follow(top, rawPath(raw(textProperty)));
        bool ok = false;
        const XmlChange change = XmlChange::setText(textProperty, kEditedText, &ok);
        require(ok, "text edit", where(edits.text));
        if (change)
            edits.changes.push_back(change);
    }
    if (linkProperty) {
        const XmlNode target = instances.first();
        QString id = firstAttributeText(target);
        if (id.isEmpty())
            id = QStringLiteral("id1");
        // The reference points at a target whose id and name hold characters beyond ASCII: the
        // id is a value (a character reference where the encoding lacks one), a name that the
        // encoding cannot hold is refused before anything changes.
        id += QStringLiteral("\u00e9\u20ac");
        const QString ns = doc.selectSingleNode(QStringLiteral("/uos")).namespaceURI();
        QString name;
        for (const QString &candidate : {target.nodeName() + QStringLiteral("\u6e2c"),
                                         target.nodeName() + QStringLiteral("\u00fc"), target.nodeName()}) {
            if (doc.canEncodeName(candidate)) {
                name = candidate;
                break;
            }
            const QByteArray before = doc.toBytes();
            require(!doc.createElement(candidate, ns) && doc.toBytes() == before, "name outside the encoding",
                    candidate);
        }
        XmlNode element = doc.createElement(name, ns);
        if (!element)
            return edits; // a name the picker could not offer either
        require(element.setAttribute(QStringLiteral("ref"), id), "new reference", id);
        const XmlNode old = linkProperty.firstChild();
        edits.property = follow(top, rawPath(raw(linkProperty)));
        edits.replaced = follow(top, rawPath(raw(old)));
        const XmlChange change = XmlChange::replaceChild(linkProperty, element, old);
        const XmlNode placed = change.placed();
        require(placed && placed.parentNode() == linkProperty && linkProperty.firstChild() == placed, "reference edit",
                where(edits.property));
        require(placed.attribute(0).nodeName() == QLatin1String("ref") && placed.attribute(0).text() == id &&
                    placed.namespaceURI() == ns,
                "re-pointed element", QStringLiteral("%1 in \"%2\"").arg(placed.nodeName(), placed.namespaceURI()));
        edits.made = raw(placed);
        edits.changes.push_back(change);
    }
    return edits;
}

bool sameAttributes(pugi::xml_node a, pugi::xml_node b)
{
    pugi::xml_attribute x = a.first_attribute(), y = b.first_attribute();
    for (; x && y; x = x.next_attribute(), y = y.next_attribute())
        if (std::strcmp(x.name(), y.name()) != 0 || std::strcmp(x.value(), y.value()) != 0)
            return false;
    return !x && !y;
}

bool sameNode(pugi::xml_node a, pugi::xml_node b)
{
    return a.type() == b.type() && std::strcmp(a.name(), b.name()) == 0 && std::strcmp(a.value(), b.value()) == 0 &&
           sameAttributes(a, b);
}

QString describe(pugi::xml_node n)
{
    QStringList attrs;
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
        attrs << QStringLiteral("%1=\"%2\"").arg(utf8(a.name()), utf8(a.value()));
    return QStringLiteral("kind %1 name \"%2\" value \"%3\" attributes [%4]")
        .arg(int(n.type()))
        .arg(utf8(n.name()), utf8(n.value()), attrs.join(QLatin1Char(' ')));
}

// Walks the unedited document and the reloaded one side by side: both must hold the same
// nodes (kinds, names, values, attributes, whitespace text too) except at the edited places.
void compareReloaded(pugi::xml_node original, pugi::xml_node reloaded, const Edits &edits)
{
    const QByteArray newText = kEditedText.toUtf8();
    std::vector<std::pair<pugi::xml_node, pugi::xml_node>> stack{{original, reloaded}};
    while (!stack.empty()) {
        const auto [a, r] = stack.back();
        stack.pop_back();
        require(sameNode(a, r), "reload changed a node",
                QStringLiteral("%1: was %2, reads %3").arg(where(a), describe(a), describe(r)));
        if (a == edits.text) {
            const pugi::xml_node t = r.first_child();
            require(t.type() == pugi::node_pcdata && newText == t.value() && !t.next_sibling(), "edited text",
                    QStringLiteral("%1: %2").arg(where(r), describe(t)));
            continue;
        }
        pugi::xml_node c = a.first_child(), d = r.first_child();
        for (; c && d; c = c.next_sibling(), d = d.next_sibling()) {
            if (c == edits.replaced) {
                require(sameNode(edits.made, d) && !d.first_child(), "re-pointed reference",
                        QStringLiteral("%1: expected %2, reads %3").arg(where(d), describe(edits.made), describe(d)));
                continue;
            }
            stack.emplace_back(c, d);
        }
        require(!c && !d, "reload changed the children",
                QStringLiteral("%1: left over in the original: %2, in the reload: %3")
                    .arg(where(a), c ? describe(c) : QStringLiteral("-"), d ? describe(d) : QStringLiteral("-")));
    }
}

} // namespace

int quillonFuzzOne(const uint8_t *data, size_t size)
{
    ensureApplication();
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    StreamedInstances streamed;
    QString streamError;
    const InstanceScan scan = scanInstances(input, streamed, streamError);
    XmlDocument doc;
    const bool loaded = doc.loadData(input);
    require(scan != InstanceScan::Failed || !loaded, "a load of what the read in one pass refused", streamError);
    require(scan != InstanceScan::Read || loaded, "a read in one pass of what the load refused", doc.errorString());
    if (!loaded)
        return 0;
    for (int mode : {TreeStore::Arm, TreeStore::Mapping, TreeStore::Aim})
        checkTree(doc, mode);
    checkLookups(doc, instancesOf(doc));
    if (scan == InstanceScan::Read)
        checkStreamed(streamed, instancesOf(doc));

    const QByteArray unedited = doc.toBytes();
    if (unedited != input) {
        qsizetype at = 0;
        while (at < unedited.size() && at < input.size() && unedited[at] == input[at])
            ++at;
        violation("unedited save differs",
                  QStringLiteral("%1 bytes read, %2 written, first difference at %3: read \"%4\", written \"%5\"")
                      .arg(input.size())
                      .arg(unedited.size())
                      .arg(at)
                      .arg(showBytes(input, at), showBytes(unedited, at)));
    }

    // With all text in nodes, the document still writes what it read.
    materializeAll(doc);
    require(doc.toBytes() == unedited, "unedited save, text in nodes",
            QStringLiteral("written: \"%1\"").arg(showBytes(doc.toBytes(), 0)));

    XmlDocument edited;
    // The load runs before its error is read: arguments have no order of evaluation.
    const bool loadedAgain = edited.loadData(input);
    require(loadedAgain, "second load", edited.errorString());
    Edits edits = applyEdits(edited, doc);
    const QByteArray saved = edited.toBytes();
    XmlDocument reloaded;
    const bool reloadedOk = reloaded.loadData(saved);
    require(reloadedOk, "reload of the edited save",
            reloaded.errorString() + QStringLiteral(" in: ") + showBytes(saved, 0));
    materializeAll(reloaded);
    compareReloaded(raw(doc.documentElement()).root(), raw(reloaded.documentElement()).root(), edits);

    // Taken back, the edits leave the unedited save; made again, the edited one.
    for (auto it = edits.changes.rbegin(); it != edits.changes.rend(); ++it)
        it->undo();
    const QByteArray undone = edited.toBytes();
    require(undone == unedited, "undone edits", QStringLiteral("written: \"%1\"").arg(showBytes(undone, 0)));
    for (XmlChange &change : edits.changes)
        change.redo();
    require(edited.toBytes() == saved, "redone edits",
            QStringLiteral("written: \"%1\"").arg(showBytes(edited.toBytes(), 0)));
    return 0;
}
