// The document object: XmlNode handles and XmlDocument over pugixml (see xmldocument.h).
// Reading lives in xmldocument_read.cpp; writing and the checks of names in xmldocument_write.cpp.

#include "document/asyncjob.h"
#include "document/encoding.h"
#include "document/instancerule.h"
#include "document/xmldocument.h"
#include "document/xmldocument_p.h"
#include "document/filenames.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIODevice>
#include <QMetaObject>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <tuple>
#include <cstring>

namespace quillon {

namespace {

pugi::xml_node nodeOf(void *p)
{
    return pugi::xml_node(static_cast<pugi::xml_node_struct *>(p));
}
pugi::xml_attribute attrOf(void *p)
{
    return pugi::xml_attribute(static_cast<pugi::xml_attribute_struct *>(p));
}

constexpr const char *kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr const char *kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

QString str(const char *s)
{
    return encoding::toQString(s);
}

std::string prefixOf(std::string_view qname)
{
    const size_t colon = qname.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(qname.substr(0, colon));
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

QString trimmedXml(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && isXmlSpace(s[b]))
        ++b;
    while (e > b && isXmlSpace(s[e - 1]))
        --e;
    return encoding::toQString(s.data() + b, qsizetype(e - b));
}

// The namespace bound to prefix ("" for the default namespace) where element e stands.
std::string resolveNamespace(const DocData &d, pugi::xml_node e, const std::string &prefix)
{
    if (prefix == "xml")
        return kXmlNamespace;
    if (prefix == "xmlns")
        return kXmlnsNamespace;
    const std::string decl = prefix.empty() ? std::string("xmlns") : "xmlns:" + prefix;
    for (; e && e.type() == pugi::node_element; e = e.parent()) {
        if (const pugi::xml_attribute a = e.attribute(decl.c_str()))
            return a.value();
        if (e.parent() == d.scratch && prefixOf(e.name()) == prefix) {
            const auto it = d.createdNamespaces.find(e.internal_object());
            if (it != d.createdNamespaces.end())
                return it->second;
        }
    }
    return {};
}

} // namespace

// Text of the descendants of top, whitespace-only text skipped, in document order.
void gatherText(const DocData &d, pugi::xml_node top, std::string &out)
{
    out += embeddedText(top);
    pugi::xml_node n = top.first_child();
    while (n) {
        if (n != d.graveyard) {
            out += embeddedText(n);
            switch (n.type()) {
            case pugi::node_pcdata:
                if (!isWhitespaceOnly(n.value()))
                    out += n.value();
                break;
            case pugi::node_cdata:
                out += n.value();
                break;
            case pugi::node_element:
                if (n.first_child()) {
                    n = n.first_child();
                    continue;
                }
                break;
            default:
                break;
            }
        }
        while (n != top && !n.next_sibling())
            n = n.parent();
        n = n == top ? pugi::xml_node() : n.next_sibling();
    }
}

namespace {

pugi::xml_node skipHidden(const DocData &d, pugi::xml_node n, bool forward)
{
    while (n && d.isHidden(n))
        n = forward ? n.next_sibling() : n.previous_sibling();
    return n;
}

// Whether an expression reads no text: only steps of names, "*" and attributes, with
// predicates that compare an attribute with a literal ("@ref", "/uos/*/a[@id='x']"). Any
// other expression may read text nodes or text values, which the evaluator only finds as
// nodes (see DocData::materialize).
bool readsNoText(const QString &xpath)
{
    QString bare; // string literals as 'L'
    bare.reserve(xpath.size());
    for (qsizetype i = 0; i < xpath.size(); ++i) {
        const QChar c = xpath[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype close = xpath.indexOf(c, i + 1);
            if (close < 0)
                return false;
            bare += u'L';
            i = close;
        } else if (!c.isSpace()) {
            bare += c;
        }
    }
    static const QRegularExpression plain(
        QStringLiteral(R"(^/?@?[\w.:*-]+(\[@[\w.:-]+=L\])*(/@?[\w.:*-]+(\[@[\w.:-]+=L\])*)*$)"));
    return plain.match(bare).hasMatch();
}

// Runs f with the compiled expression; an invalid expression is reported in d.error.
template <class F> void withQuery(DocData &d, const QString &xpath, F f)
{
    if (!readsNoText(xpath))
        d.materializeAll();
    try {
        const pugi::xpath_query q(xpath.toUtf8().constData());
        f(q);
    } catch (const pugi::xpath_exception &e) {
        d.error = QCoreApplication::translate("XmlDocument", "Invalid expression \"%1\": %2").arg(xpath, str(e.what()));
    } catch (const std::exception &e) {
        d.error = QCoreApplication::translate("XmlDocument", "Expression \"%1\" failed: %2").arg(xpath, str(e.what()));
    }
}

bool hiddenResult(const DocData &d, const pugi::xpath_node &x)
{
    const pugi::xml_node n = x.attribute() ? x.parent() : x.node();
    if (n.type() == pugi::node_pcdata && isWhitespaceOnly(n.value()))
        return true;
    return d.isRemoved(n);
}

XmlNode wrapResult(const std::shared_ptr<DocData> &d, const pugi::xpath_node &x)
{
    return x.attribute() ? DocData::wrap(d, x.parent(), x.attribute()) : DocData::wrap(d, x.node());
}

XmlNode selectOne(const std::shared_ptr<DocData> &d, const pugi::xpath_node &context, const QString &xpath)
{
    XmlNode result;
    if (!d)
        return result;
    withQuery(*d, xpath, [&](const pugi::xpath_query &q) {
        const pugi::xpath_node first = q.evaluate_node(context);
        if (!first)
            return;
        if (!hiddenResult(*d, first)) {
            result = wrapResult(d, first);
            return;
        }
        pugi::xpath_node_set all = q.evaluate_node_set(context);
        all.sort();
        for (const pugi::xpath_node &x : all)
            if (!hiddenResult(*d, x)) {
                result = wrapResult(d, x);
                return;
            }
    });
    return result;
}

QList<XmlNode> selectAll(const std::shared_ptr<DocData> &d, const pugi::xpath_node &context, const QString &xpath)
{
    QList<XmlNode> result;
    if (!d)
        return result;
    withQuery(*d, xpath, [&](const pugi::xpath_query &q) {
        pugi::xpath_node_set all = q.evaluate_node_set(context);
        all.sort();
        result.reserve(qsizetype(all.size()));
        for (const pugi::xpath_node &x : all)
            if (!hiddenResult(*d, x))
                result.append(wrapResult(d, x));
    });
    return result;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Expressions

QString xpathLiteral(const QString &value)
{
    const QChar dq(u'"'), sq(u'\'');
    if (!value.contains(dq))
        return dq + value + dq;
    if (!value.contains(sq))
        return sq + value + sq;
    // Both kinds: concat("...", '"', "...").
    QStringList args;
    const QStringList parts = value.split(dq);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            args << QStringLiteral("'\"'");
        if (!parts[i].isEmpty())
            args << dq + parts[i] + dq;
    }
    return QStringLiteral("concat(") + args.join(u',') + u')';
}

QString xpathPredicate(const QString &attrName, const QString &value)
{
    return QStringLiteral("[@") + attrName + u'=' + xpathLiteral(value) + u']';
}

// ---------------------------------------------------------------------------------------
// DocData

quint64 DocData::nextStamp()
{
    static std::atomic<quint64> counter{0};
    return ++counter;
}

void DocData::touched()
{
    stamp = nextStamp();
    idTable.clear();
    idCursor = InstanceCursor();
    idTableBegun = false;
    walksWithoutStep = 0;
    foundAhead.clear();
    instances = -1;
}

int DocData::countInstances() const
{
    if (instances < 0) {
        int count = 0;
        forEachInstance([&count](pugi::xml_node) { ++count; });
        instances = count;
    }
    return instances;
}

namespace {

void markPath(EditLog &log, const pugi::xml_document &doc, pugi::xml_node n)
{
    for (; n && n != doc; n = n.parent())
        if (!log.add(EditLog::Kind::Path, n.internal_object()))
            break; // the ancestors are marked already
}

} // namespace

void DocData::noteValue(pugi::xml_node n)
{
    noteChange(n, EditLog::Kind::Values);
}
void DocData::noteContent(pugi::xml_node e)
{
    noteChange(e, EditLog::Kind::Contents);
}
void DocData::noteStartTag(pugi::xml_node e)
{
    noteChange(e, EditLog::Kind::StartTags);
}

namespace {

// Gives the value of item memory of its own when it lies in the text the parse worked in:
// pugixml writes a new value no longer than the old one over the old, which would change the
// kept source. A longer value first makes it allocate.
template <class Item, class Set> void ownValue(const KeptSource &source, Item item, Set set)
{
    const char *value = item.value();
    if (!*value || !source.sharesParserBytes(value))
        return;
    const std::string v(value);
    set(item, std::string(v.size() + 1, ' '));
    set(item, v);
}

} // namespace

void DocData::ownStrings(pugi::xml_node n)
{
    if (n.type() == pugi::node_element) {
        // The text the parse embedded in an element stays: it is never set in place, but made
        // a node of its own first (materialize), which needs to know where it stood.
        for (pugi::xml_attribute a : n.attributes())
            ownValue(source, a, [](pugi::xml_attribute x, const std::string &v) { x.set_value(v.c_str()); });
    } else {
        ownValue(source, n, [](pugi::xml_node x, const std::string &v) { x.set_value(v.c_str()); });
    }
}

void DocData::noteChange(pugi::xml_node n, EditLog::Kind kind)
{
    modified = true;
    if (n.root() != doc) {
        ownStrings(n);
        return; // not placed yet: written whole wherever it goes
    }
    size_t b = 0, e = 0;
    if (!edits.spans.count(n.internal_object()) && sourceSpan(*this, n, b, e))
        edits.spans.emplace(n.internal_object(), std::make_pair(b, e));
    ownStrings(n); // after its place is known: a value of its own has none
    edits.add(kind, n.internal_object());
    markPath(edits, doc, n);
}

void DocData::noteReplaced(pugi::xml_node inserted, pugi::xml_node old)
{
    modified = true;
    size_t b = 0, e = 0;
    if (const auto it = edits.spans.find(old.internal_object()); it != edits.spans.end())
        edits.spans.emplace(inserted.internal_object(), it->second);
    else if (sourceSpan(*this, old, b, e))
        edits.spans.emplace(inserted.internal_object(), std::make_pair(b, e));
    edits.add(EditLog::Kind::Fresh, inserted.internal_object());
    markPath(edits, doc, inserted);
}

bool DocData::noteRemoved(pugi::xml_node n)
{
    const pugi::xml_node parent = n.parent();
    if (n.type() != pugi::node_element || parent.type() != pugi::node_element || n.root() != doc)
        return false;
    size_t b = 0, e = 0;
    if (const auto it = edits.spans.find(n.internal_object()); it != edits.spans.end())
        std::tie(b, e) = it->second;
    else if (!sourceSpan(*this, n, b, e))
        return false;
    // The blanks before it go with it: the line it stood on goes.
    while (b > 0 && (source[b - 1] == ' ' || source[b - 1] == '\t' || source[b - 1] == '\n' || source[b - 1] == '\r'))
        --b;
    modified = true;
    edits.addRemoved(parent.internal_object(), {b, e});
    markPath(edits, doc, parent);
    return true;
}

pugi::xml_node DocData::documentElement() const
{
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element && n != graveyard)
            return n;
    return {};
}

namespace {

const char *instanceId(const pugi::xml_node_struct *instance)
{
    return pugi::xml_node(const_cast<pugi::xml_node_struct *>(instance)).attribute("id").value();
}

} // namespace

void DocData::beginIdTable() const
{
    if (idTableBegun)
        return;
    idTable.reset(size_t(countInstances()));
    idCursor = InstanceCursor(documentElement());
    idTableBegun = true;
}

pugi::xml_node DocData::lookUpInstance(std::string_view id) const
{
    beginIdTable();
    if (pugi::xml_node_struct *found =
            idTable.find(hashKey(id), [id](const pugi::xml_node_struct *inst) { return id == instanceId(inst); }))
        return pugi::xml_node(found);
    // Not among the instances before idCursor: the first of the id, if any, comes after them.
    if (walksWithoutStep++ == 0)
        return scanForInstance(id, idCursor);
    for (; !idCursor.atEnd(); idCursor.advance()) {
        const pugi::xml_node inst = idCursor.instance();
        const pugi::xml_attribute a = inst.attribute("id");
        if (!a)
            continue;
        if (!idTable.insert(hashKey(a.value()), inst.internal_object()))
            return scanForInstance(id, InstanceCursor(documentElement())); // more than counted: never
        if (id == a.value()) {
            idCursor.advance();
            return inst;
        }
    }
    return {};
}

bool DocData::indexSome(size_t count) const
{
    if (!idTableBegun)
        return false;
    walksWithoutStep = 0;
    for (; count > 0 && !idCursor.atEnd(); --count, idCursor.advance()) {
        const pugi::xml_node inst = idCursor.instance();
        if (const pugi::xml_attribute a = inst.attribute("id");
            a && !idTable.insert(hashKey(a.value()), inst.internal_object()))
            return false;
    }
    return !idCursor.atEnd();
}

pugi::xml_node DocData::scanForInstance(std::string_view id, InstanceCursor c) const
{
    for (; !c.atEnd(); c.advance())
        if (const pugi::xml_attribute a = c.instance().attribute("id"); a && id == a.value())
            return c.instance();
    return {};
}

void DocData::lookUpAhead(const QStringList &ids)
{
    for (const QString &id : ids) {
        std::string key = id.toStdString();
        if (key.empty())
            continue;
        const pugi::xml_node found = scanForInstance(key, InstanceCursor(documentElement()));
        foundAhead.emplace_back(std::move(key), found);
    }
}

bool DocData::isHidden(pugi::xml_node n) const
{
    if (n.type() == pugi::node_pcdata)
        return isWhitespaceOnly(n.value());
    return n == graveyard || n == scratchGraveyard;
}

bool DocData::isRemoved(pugi::xml_node n) const
{
    if (!graveyard && !scratchGraveyard)
        return false;
    for (; n; n = n.parent())
        if (n == graveyard || n == scratchGraveyard)
            return true;
    return false;
}

void DocData::park(pugi::xml_node n)
{
    const bool inScratch = n.root() == scratch;
    pugi::xml_node &yard = inScratch ? scratchGraveyard : graveyard;
    if (!yard) {
        yard = (inScratch ? scratch : doc).append_child(pugi::node_element);
        yard.set_name("quillon-removed");
    }
    yard.append_move(n);
}

void DocData::materialize(pugi::xml_node element)
{
    if (!*embeddedText(element) || writing)
        return;
    const std::string text = element.value();
    // Where the text stands in the source: its value still points into the parsed buffer, at
    // the same offset as in the source; the element's name tells where that buffer begins.
    size_t begin = std::string::npos;
    if (const ptrdiff_t nameAt = element.offset_debug(); nameAt >= 0) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(element.name()) - uintptr_t(nameAt);
        const uintptr_t at = reinterpret_cast<uintptr_t>(element.value());
        if (at >= base && at - base < source.size())
            begin = at - base;
    }
    element.text().set("");
    pugi::xml_node node = element.prepend_child(pugi::node_pcdata);
    node.set_value(text.c_str());
    if (begin != std::string::npos) {
        const size_t lt = source.find('<', begin);
        edits.spans.emplace(node.internal_object(),
                            std::make_pair(begin, lt == std::string::npos ? source.size() : lt));
    }
}

void DocData::materializeAll()
{
    if (writing)
        return;
    for (pugi::xml_document *top : {&doc, &scratch}) {
        pugi::xml_node n = top->first_child();
        while (n) {
            materialize(n);
            if (n.first_child()) {
                n = n.first_child();
                continue;
            }
            while (n != *top && !n.next_sibling())
                n = n.parent();
            n = n == *top ? pugi::xml_node() : n.next_sibling();
        }
    }
}

// ---------------------------------------------------------------------------------------
// XmlNode

XmlNode::XmlNode(std::shared_ptr<DocData> doc, void *node, void *attr)
    : m_doc(std::move(doc)), m_node(node), m_attr(attr)
{ }

bool XmlNode::isNull() const
{
    return !m_doc || (!nodeOf(m_node) && !attrOf(m_attr));
}

bool XmlNode::operator==(const XmlNode &o) const
{
    if (isNull() || o.isNull())
        return isNull() == o.isNull();
    return m_doc == o.m_doc && nodeOf(m_node) == nodeOf(o.m_node) && attrOf(m_attr) == attrOf(o.m_attr);
}

int XmlNode::nodeType() const
{
    if (isNull())
        return Null;
    if (attrOf(m_attr))
        return Attribute;
    switch (nodeOf(m_node).type()) {
    case pugi::node_document:
        return Document;
    case pugi::node_element:
        return Element;
    case pugi::node_pcdata:
        return Text;
    case pugi::node_cdata:
        return CData;
    case pugi::node_comment:
        return Comment;
    case pugi::node_pi:
        return ProcessingInstruction;
    case pugi::node_declaration:
        return Declaration;
    case pugi::node_doctype:
        return DocType;
    default:
        return Null;
    }
}

QString XmlNode::nodeName() const
{
    if (isNull())
        return {};
    if (attrOf(m_attr))
        return str(attrOf(m_attr).name());
    switch (nodeOf(m_node).type()) {
    case pugi::node_document:
        return QStringLiteral("#document");
    case pugi::node_element:
    case pugi::node_pi:
    case pugi::node_declaration:
        return str(nodeOf(m_node).name());
    case pugi::node_pcdata:
        return QStringLiteral("#text");
    case pugi::node_cdata:
        return QStringLiteral("#cdata-section");
    case pugi::node_comment:
        return QStringLiteral("#comment");
    case pugi::node_doctype: {
        const char *v = nodeOf(m_node).value();
        size_t n = 0;
        while (v[n] && !isXmlSpace(v[n]) && v[n] != '[')
            ++n;
        return encoding::toQString(v, qsizetype(n));
    }
    default:
        return {};
    }
}

QString XmlNode::namespaceURI() const
{
    if (isNull())
        return {};
    if (attrOf(m_attr)) {
        const std::string_view name(attrOf(m_attr).name());
        if (name == "xmlns" || name.substr(0, 6) == "xmlns:")
            return str(kXmlnsNamespace);
        const std::string prefix = prefixOf(name);
        return prefix.empty() ? QString() : str(resolveNamespace(*m_doc, nodeOf(m_node), prefix).c_str());
    }
    if (nodeOf(m_node).type() != pugi::node_element)
        return {};
    return str(resolveNamespace(*m_doc, nodeOf(m_node), prefixOf(nodeOf(m_node).name())).c_str());
}

QString XmlNode::text() const
{
    if (isNull())
        return {};
    if (attrOf(m_attr))
        return str(attrOf(m_attr).value());
    switch (nodeOf(m_node).type()) {
    case pugi::node_element:
    case pugi::node_document:
        return InstanceWalk(*this).text(nodeOf(m_node));
    case pugi::node_declaration:
        return {};
    default:
        return str(nodeOf(m_node).value());
    }
}

QString InstanceWalk::text(pugi::xml_node element) const
{
    std::string out;
    gatherText(*m_d, element, out);
    return trimmedXml(out);
}

bool XmlNode::setText(const QString &value)
{
    if (isNull())
        return false;
    const std::string v = value.toStdString();
    DocData &d = *m_doc;
    bool ok = false;
    bool idOrNodes = false; // an id changed, or nodes came or went
    if (attrOf(m_attr)) {
        if (v == attrOf(m_attr).value())
            return true;
        idOrNodes = std::strcmp(attrOf(m_attr).name(), "id") == 0;
        d.noteStartTag(nodeOf(m_node));
        ok = attrOf(m_attr).set_value(v.c_str());
    } else {
        switch (nodeOf(m_node).type()) {
        case pugi::node_element: {
            d.materialize(nodeOf(m_node));
            pugi::xml_node first = nodeOf(m_node).first_child();
            const bool oneText = first && first.type() == pugi::node_pcdata && !first.next_sibling();
            if (oneText && v == first.value())
                return true;
            if (!first && v.empty())
                return true;
            if (!v.empty() && oneText) {
                d.noteValue(first);
                ok = first.set_value(v.c_str());
                break;
            }
            d.noteContent(nodeOf(m_node));
            idOrNodes = true;
            while (const pugi::xml_node c = nodeOf(m_node).first_child())
                d.park(c);
            ok = v.empty() || nodeOf(m_node).append_child(pugi::node_pcdata).set_value(v.c_str());
            break;
        }
        case pugi::node_pcdata:
        case pugi::node_cdata:
        case pugi::node_comment:
        case pugi::node_pi: {
            if (v == nodeOf(m_node).value())
                return true;
            // Comments and processing instructions take no character references.
            const pugi::xml_node_type type = nodeOf(m_node).type();
            if (type != pugi::node_pcdata && type != pugi::node_cdata && !d.canEncode(v))
                return false;
            d.noteValue(nodeOf(m_node));
            ok = nodeOf(m_node).set_value(v.c_str());
            break;
        }
        default:
            return false;
        }
    }
    if (idOrNodes)
        d.touched();
    else
        d.valueTouched();
    return ok;
}

XmlNode XmlNode::parentNode() const
{
    if (isNull() || attrOf(m_attr))
        return {};
    const pugi::xml_node p = nodeOf(m_node).parent();
    if (!p || p == m_doc->graveyard || p == m_doc->scratchGraveyard || p == m_doc->scratch)
        return {};
    return DocData::wrap(m_doc, p);
}

XmlNode XmlNode::firstChild() const
{
    if (isNull() || attrOf(m_attr))
        return {};
    m_doc->materialize(nodeOf(m_node));
    return DocData::wrap(m_doc, skipHidden(*m_doc, nodeOf(m_node).first_child(), true));
}

XmlNode XmlNode::lastChild() const
{
    if (isNull() || attrOf(m_attr))
        return {};
    m_doc->materialize(nodeOf(m_node));
    return DocData::wrap(m_doc, skipHidden(*m_doc, nodeOf(m_node).last_child(), false));
}

XmlNode XmlNode::previousSibling() const
{
    if (isNull() || attrOf(m_attr) || !parentNode())
        return {};
    m_doc->materialize(nodeOf(m_node).parent());
    return DocData::wrap(m_doc, skipHidden(*m_doc, nodeOf(m_node).previous_sibling(), false));
}

XmlNode XmlNode::nextSibling() const
{
    if (isNull() || attrOf(m_attr) || !parentNode())
        return {};
    return DocData::wrap(m_doc, skipHidden(*m_doc, nodeOf(m_node).next_sibling(), true));
}

QList<XmlNode> XmlNode::childNodes() const
{
    QList<XmlNode> out;
    if (isNull() || attrOf(m_attr))
        return out;
    m_doc->materialize(nodeOf(m_node));
    for (pugi::xml_node c = nodeOf(m_node).first_child(); c; c = c.next_sibling())
        if (!m_doc->isHidden(c))
            out.append(DocData::wrap(m_doc, c));
    return out;
}

bool XmlNode::hasChildNodes() const
{
    if (isNull() || attrOf(m_attr))
        return false;
    return *embeddedText(nodeOf(m_node)) || !firstChild().isNull();
}

int XmlNode::attributeCount() const
{
    if (isNull() || attrOf(m_attr) || nodeOf(m_node).type() != pugi::node_element)
        return 0;
    int n = 0;
    for (pugi::xml_attribute a = nodeOf(m_node).first_attribute(); a; a = a.next_attribute())
        ++n;
    return n;
}

XmlNode XmlNode::attribute(int index) const
{
    if (isNull() || attrOf(m_attr) || nodeOf(m_node).type() != pugi::node_element || index < 0)
        return {};
    pugi::xml_attribute a = nodeOf(m_node).first_attribute();
    for (; a && index > 0; --index)
        a = a.next_attribute();
    return a ? DocData::wrap(m_doc, nodeOf(m_node), a) : XmlNode();
}

XmlNode XmlNode::attributeNamed(const QString &name) const
{
    if (isNull() || attrOf(m_attr) || nodeOf(m_node).type() != pugi::node_element)
        return {};
    const pugi::xml_attribute a = nodeOf(m_node).attribute(name.toStdString().c_str());
    return a ? DocData::wrap(m_doc, nodeOf(m_node), a) : XmlNode();
}

bool XmlNode::setAttribute(const QString &name, const QString &value)
{
    if (isNull() || attrOf(m_attr) || nodeOf(m_node).type() != pugi::node_element)
        return false;
    const std::string n = name.toStdString();
    if (!isValidQName(n) || !m_doc->canEncode(n))
        return false;
    const std::string v = value.toStdString();
    pugi::xml_attribute a = nodeOf(m_node).attribute(n.c_str());
    if (a && v == a.value())
        return true;
    m_doc->noteStartTag(nodeOf(m_node));
    if (!a)
        a = nodeOf(m_node).append_attribute(n.c_str());
    const bool ok = a && a.set_value(v.c_str());
    if (n == "id")
        m_doc->touched();
    else
        m_doc->valueTouched();
    return ok;
}

XmlNode XmlNode::selectSingleNode(const QString &xpath) const
{
    if (isNull())
        return {};
    return selectOne(
        m_doc, attrOf(m_attr) ? pugi::xpath_node(attrOf(m_attr), nodeOf(m_node)) : pugi::xpath_node(nodeOf(m_node)),
        xpath);
}

QList<XmlNode> XmlNode::selectNodes(const QString &xpath) const
{
    if (isNull())
        return {};
    return selectAll(
        m_doc, attrOf(m_attr) ? pugi::xpath_node(attrOf(m_attr), nodeOf(m_node)) : pugi::xpath_node(nodeOf(m_node)),
        xpath);
}

XmlNode XmlNode::replaceChild(const XmlNode &newChild, const XmlNode &oldChild)
{
    if (isNull() || attrOf(m_attr) || newChild.isNull() || oldChild.isNull())
        return {};
    DocData &d = *m_doc;
    if (newChild.m_doc != m_doc || oldChild.m_doc != m_doc || attrOf(newChild.m_attr) || attrOf(oldChild.m_attr))
        return {};
    if (nodeOf(m_node).type() != pugi::node_element && nodeOf(m_node).type() != pugi::node_document)
        return {};
    if (nodeOf(oldChild.m_node).parent() != nodeOf(m_node) || nodeOf(m_node).root() != d.doc ||
        d.isRemoved(nodeOf(m_node)))
        return {};
    const auto made = d.createdNamespaces.find(nodeOf(newChild.m_node).internal_object());
    if (made == d.createdNamespaces.end() || nodeOf(newChild.m_node).parent() != d.scratch ||
        !isValidQName(nodeOf(newChild.m_node).name()))
        return {};

    pugi::xml_node inserted = nodeOf(m_node).insert_copy_before(nodeOf(newChild.m_node), nodeOf(oldChild.m_node));
    if (!inserted)
        return {};
    // Keep the element in the namespace it was made for; the declaration goes last so that
    // the first attribute stays the one the caller set (ref / href).
    const std::string prefix = prefixOf(inserted.name());
    if (resolveNamespace(d, inserted, prefix) != made->second) {
        const std::string decl = prefix.empty() ? std::string("xmlns") : "xmlns:" + prefix;
        pugi::xml_attribute a = inserted.attribute(decl.c_str());
        if (!a)
            a = inserted.append_attribute(decl.c_str());
        a.set_value(made->second.c_str());
    }
    d.noteReplaced(inserted, nodeOf(oldChild.m_node));
    d.park(nodeOf(oldChild.m_node));
    d.touched();
    return DocData::wrap(m_doc, inserted);
}

ElementRef XmlNode::ref() const
{
    if (isNull() || attrOf(m_attr) || nodeOf(m_node).type() != pugi::node_element)
        return {};
    return ElementRef(m_node);
}

XmlNode XmlNode::at(ElementRef element) const
{
    return m_doc && element ? XmlNode(m_doc, element.m_p, nullptr) : XmlNode();
}

namespace {

pugi::xml_node elementFrom(pugi::xml_node n, bool forward)
{
    while (n && n.type() != pugi::node_element)
        n = forward ? n.next_sibling() : n.previous_sibling();
    return n;
}

} // namespace

ElementRef ElementRef::parent() const
{
    const pugi::xml_node p = nodeOf(m_p).parent();
    return p.type() == pugi::node_element ? ElementRef(p.internal_object()) : ElementRef();
}

ElementRef ElementRef::firstChild() const
{
    return ElementRef(elementFrom(nodeOf(m_p).first_child(), true).internal_object());
}
ElementRef ElementRef::lastChild() const
{
    return ElementRef(elementFrom(nodeOf(m_p).last_child(), false).internal_object());
}
ElementRef ElementRef::nextSibling() const
{
    return ElementRef(elementFrom(nodeOf(m_p).next_sibling(), true).internal_object());
}
const char *ElementRef::name() const
{
    return nodeOf(m_p).name();
}

int ElementRef::attributeCount() const
{
    int n = 0;
    for (pugi::xml_attribute a = nodeOf(m_p).first_attribute(); a; a = a.next_attribute())
        ++n;
    return n;
}

namespace {

pugi::xml_attribute attributeAt(pugi::xml_node n, int index)
{
    pugi::xml_attribute a = index >= 0 ? n.first_attribute() : pugi::xml_attribute();
    for (; a && index > 0; --index)
        a = a.next_attribute();
    return a;
}

} // namespace

const char *ElementRef::attributeName(int index) const
{
    return attributeAt(nodeOf(m_p), index).name();
}
const char *ElementRef::attributeValue(int index) const
{
    return attributeAt(nodeOf(m_p), index).value();
}
const char *ElementRef::attribute(const char *name) const
{
    const pugi::xml_attribute a = nodeOf(m_p).attribute(name);
    return a ? a.value() : nullptr;
}

bool XmlNode::belongsTo(const XmlDocument *doc) const
{
    return doc && m_doc && m_doc.get() == doc->documentId();
}

// ---------------------------------------------------------------------------------------
// XmlDocument

namespace {

class ArraySink : public ByteSink {
public:
    explicit ArraySink(QByteArray &out) : m_out(out) { }
    bool write(const char *data, size_t size) override
    {
        m_out.append(data, qsizetype(size));
        return true;
    }

private:
    QByteArray &m_out;
};

} // namespace

namespace {

FileState stateFrom(const struct stat &st)
{
    FileState s;
    s.size = qint64(st.st_size);
#ifdef __APPLE__
    s.mtimeNs = qint64(st.st_mtimespec.tv_sec) * 1000000000 + st.st_mtimespec.tv_nsec;
#else
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
    s.inode = quint64(st.st_ino);
    s.device = quint64(st.st_dev);
    return s;
}

} // namespace

FileState FileState::of(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? stateFrom(st) : FileState();
}

FileState fileStateOf(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? stateFrom(st) : FileState();
}

XmlDocument::XmlDocument(QObject *parent) : QObject(parent), m_data(std::make_shared<DocData>()) { }

XmlDocument::~XmlDocument() = default;

bool XmlDocument::load(const QString &path)
{
    return loadFrom(path, nullptr);
}

bool XmlDocument::loadXml(const QString &xml)
{
    return loadFrom(QString(), &xml);
}

bool XmlDocument::loadData(const QByteArray &bytes, const QString &name)
{
    return loadFrom(name, nullptr, &bytes);
}

bool XmlDocument::loadForReading(const QString &path)
{
    return loadFrom(path, nullptr, nullptr, true);
}

bool XmlDocument::loadFrom(const QString &path, const QString *text, const QByteArray *bytes, bool readOnly)
{
    auto data = std::make_shared<DocData>();
    data->readOnly = readOnly;
    QString error;
    const bool ok = parseSource(*data, path, text, error, bytes);
    if (ok && bytes)
        data->path.clear();
    return adopt(std::move(data), ok, error);
}

bool XmlDocument::adopt(std::shared_ptr<DocData> data, bool ok, const QString &error)
{
    cancelLoad();
    m_cancelled = false;
    if (!ok) {
        // Holds no document now; a completion still pending from an earlier load is dropped.
        const qint64 line = data->errorLine, column = data->errorColumn;
        m_data = std::make_shared<DocData>();
        m_data->error = error;
        m_data->errorLine = line;
        m_data->errorColumn = column;
        ++m_loadSerial;
        return false;
    }
    m_data = std::move(data);
    m_readyState = 1;
    completeLater();
    return true;
}

namespace {

constexpr int kIndexDelayMs = 250;

// A load on a worker thread. The worker holds the job too, so an abandoned job lives until
// the worker is done with it.
struct LoadJob {
    std::shared_ptr<DocData> data = std::make_shared<DocData>();
    QString path;
    QString error;
    bool ok = false;
    std::shared_ptr<LoadProgress> progress; // shared with the worker: it outlives an abandoned wait
    QStringList lookups; // ids to look up once read (DocData::lookUpAhead)

    // The work of a worker, which holds the job as long as it runs.
    static std::function<void()> reading(const std::shared_ptr<LoadJob> &load)
    {
        return [load] {
            load->ok = parseSource(*load->data, load->path, nullptr, load->error, nullptr, load->progress.get());
            if (load->ok)
                load->data->lookUpAhead(load->lookups);
        };
    }
};

} // namespace

bool XmlDocument::loadWaiting(const QString &path, const std::function<bool(AsyncJob &)> &waitFor,
                              std::shared_ptr<LoadProgress> progress, const QStringList &lookups)
{
    cancelLoad();
    auto load = std::make_shared<LoadJob>();
    load->path = path;
    load->progress = std::move(progress);
    load->lookups = lookups;
    AsyncJob job(LoadJob::reading(load));
    if (!waitFor(job) || !job.isFinished()) {
        m_cancelled = true;
        return false; // the document stays as it was
    }
    return adopt(std::move(load->data), load->ok, load->error);
}

void XmlDocument::loadInBackground(const QString &path)
{
    cancelLoad();
    auto load = std::make_shared<LoadJob>();
    load->path = path;
    m_background = new AsyncJob(LoadJob::reading(load), this);
    connect(m_background, &AsyncJob::finished, this, [this, load] {
        m_background->deleteLater();
        m_background = nullptr;
        if (!adopt(std::move(load->data), load->ok, load->error))
            emit loadFailed();
    });
}

void XmlDocument::cancelLoad()
{
    if (!m_background)
        return;
    // Its worker goes on to the end with the job it holds; nothing waits for it.
    m_background->disconnect(this);
    m_background->deleteLater();
    m_background = nullptr;
    m_cancelled = true;
}

void XmlDocument::completeLater()
{
    const quint64 serial = ++m_loadSerial;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (serial != m_loadSerial)
                return; // a later load superseded this one
            m_readyState = 4;
            // A document to be shown has its index of ids filled while the window waits for
            // the user, so that the first lookups find it made; from a moment on, so that the
            // tree's first paint does not share the thread with it (the steps then give way
            // to other work done in steps, indexLater()).
            if (m_data->loaded && !m_data->readOnly) {
                m_data->beginIdTable();
                QTimer::singleShot(kIndexDelayMs, this, [this] { indexLater(); });
            }
            emit onreadystatechange();
        },
        Qt::QueuedConnection);
}

bool XmlDocument::save(const QString &path)
{
    return saveWaiting(path, nullptr);
}

bool XmlDocument::saveWaiting(const QString &path, const std::function<void(AsyncJob &)> &waitFor)
{
    if (!m_data->loaded) {
        m_data->error = QCoreApplication::translate("XmlDocument", "No document is loaded.");
        return false;
    }
    if (m_data->readOnly) {
        m_data->error = QCoreApplication::translate("XmlDocument", "The document was opened for reading only.");
        return false;
    }
    // Nothing to write when the file already holds what is in memory.
    if (!m_data->modified && !m_data->path.isEmpty() && sameFileName(path, m_data->path))
        return true;
    // What cannot be written is refused before the worker starts.
    if (const QString refusal = FileSink::refusal(path); !refusal.isEmpty()) {
        m_data->error = refusal;
        return false;
    }
    // The writing only reads the document; the worker shares it until it is done.
    struct Job {
        std::shared_ptr<DocData> data;
        QString path;
        std::shared_ptr<TextRecipe> text = std::make_shared<TextRecipe>(); // for sourceUtf8()
        bool ok = false;
        QString problem;
    };
    auto job = std::make_shared<Job>();
    job->data = m_data;
    job->path = path;
    auto write = [job] {
        FileSink file(job->path);
        job->ok = file.open() && serializeDocument(*job->data, file, job->text.get()) && file.commit();
        if (!job->ok) {
            file.cancel();
            job->problem = file.problem();
        }
    };
    if (waitFor) {
        m_data->writing = true; // the tree stays as it is while the worker reads it
        AsyncJob writing(write);
        waitFor(writing);
        writing.waitForFinished(); // whatever the wait did, the worker is done before we go on
        job->data->writing = false;
    } else {
        write();
    }
    if (!job->ok) {
        m_data->error = job->problem.isEmpty()
                            ? QCoreApplication::translate("XmlDocument", "The document could not be written out.")
                            : job->problem;
        return false;
    }
    m_data->error.clear();
    m_data->modified = false;
    m_data->path = path;
    m_data->onDisk = FileState::of(path);
    m_data->written = std::move(job->text);
    return true;
}

QByteArray XmlDocument::sourceUtf8() const
{
    if (!m_data->loaded)
        return {};
    QByteArray out;
    out.reserve(qsizetype(m_data->source.size()));
    sourceText().forEachPiece([&out](const char *data, qsizetype size) {
        out.append(data, size);
        return true;
    });
    return out;
}

XmlDocument::SourceText XmlDocument::sourceText() const
{
    SourceText text;
    if (m_data->loaded) {
        text.m_data = m_data;
        text.m_recipe = m_data->written;
    }
    return text;
}

// The text's pieces: the latest save's recipe, or the source whole; and how many bytes of a
// byte order mark at the start are left out (the first piece that is not empty starts with it).
namespace {
struct SourcePieces {
    const TextRecipe::Piece *first, *last;
    size_t bom = 0;
    TextRecipe::Piece whole;

    static size_t length(const TextRecipe::Piece &p) { return p.fromSource ? p.end - p.begin : p.text.size(); }
    SourcePieces(const KeptSource &src, const TextRecipe *recipe) : whole{true, 0, src.size(), {}}
    {
        first = recipe ? recipe->pieces.data() : &whole;
        last = recipe ? first + recipe->pieces.size() : &whole + 1;
        while (first != last && length(*first) == 0)
            ++first;
        if (first == last || length(*first) < 3)
            return;
        char head[3] = {};
        if (first->fromSource)
            src.forEachPiece(first->begin, first->begin + 3, [&head](const char *data, size_t size) {
                std::memcpy(head, data, std::min<size_t>(size, 3));
                return false;
            });
        else
            std::memcpy(head, first->text.data(), 3);
        bom = std::memcmp(head, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    }
};
} // namespace

qsizetype XmlDocument::SourceText::size() const
{
    if (!m_data)
        return 0;
    const SourcePieces pieces(m_data->source, m_recipe.get());
    size_t total = 0;
    for (const TextRecipe::Piece *p = pieces.first; p != pieces.last; ++p)
        total += SourcePieces::length(*p);
    return qsizetype(total - pieces.bom);
}

bool XmlDocument::SourceText::forEachPiece(const std::function<bool(const char *, qsizetype)> &f) const
{
    if (!m_data)
        return true;
    const KeptSource &src = m_data->source;
    const SourcePieces pieces(src, m_recipe.get());
    for (const TextRecipe::Piece *p = pieces.first; p != pieces.last; ++p) {
        const size_t at = p == pieces.first ? pieces.bom : 0;
        const bool go = p->fromSource
                            ? src.forEachPiece(p->begin + at, p->end,
                                               [&f](const char *data, size_t size) { return f(data, qsizetype(size)); })
                            : p->text.size() == at || f(p->text.data() + at, qsizetype(p->text.size() - at));
        if (!go)
            return false;
    }
    return true;
}

bool XmlDocument::isModified() const
{
    return m_data->modified;
}

bool XmlDocument::changedOnDisk() const
{
    return m_data->loaded && !m_data->path.isEmpty() && FileState::of(m_data->path) != m_data->onDisk;
}

bool XmlDocument::holdsFile(const QString &path) const
{
    return m_data->loaded && !m_data->modified && !m_data->path.isEmpty() && sameFileName(path, m_data->path) &&
           !changedOnDisk();
}

FileState XmlDocument::fileState() const
{
    return m_data->onDisk;
}

void XmlDocument::setModified(bool modified)
{
    m_data->modified = modified;
}

QByteArray XmlDocument::toBytes() const
{
    QByteArray out;
    if (!m_data->loaded || m_data->readOnly)
        return out;
    ArraySink sink(out);
    serializeDocument(*m_data, sink);
    return out;
}

bool XmlDocument::hasChildNodes() const
{
    if (!m_data->loaded)
        return false;
    for (pugi::xml_node c = m_data->doc.first_child(); c; c = c.next_sibling())
        if (!m_data->isHidden(c))
            return true;
    return false;
}

XmlNode XmlDocument::documentElement() const
{
    return DocData::wrap(m_data, m_data->documentElement());
}

XmlNode XmlDocument::selectSingleNode(const QString &xpath) const
{
    return selectOne(m_data, pugi::xpath_node(m_data->doc), xpath);
}

QList<XmlNode> XmlDocument::selectNodes(const QString &xpath) const
{
    return selectAll(m_data, pugi::xpath_node(m_data->doc), xpath);
}

XmlNode XmlDocument::createElement(const QString &name, const QString &namespaceURI)
{
    const std::string n = name.toStdString();
    if (!isValidQName(n)) {
        m_data->error = QCoreApplication::translate("XmlDocument", "\"%1\" is not a valid element name").arg(name);
        return {};
    }
    if (!prefixOf(n).empty() && namespaceURI.isEmpty()) {
        m_data->error = QCoreApplication::translate("XmlDocument", "\"%1\" has a prefix but no namespace").arg(name);
        return {};
    }
    if (QString why; !canEncodeName(name, &why)) {
        m_data->error = why;
        return {};
    }
    pugi::xml_node e = m_data->scratch.append_child(pugi::node_element);
    if (!e || !e.set_name(n.c_str()))
        return {};
    m_data->createdNamespaces[e.internal_object()] = namespaceURI.toStdString();
    return DocData::wrap(m_data, e);
}

bool XmlDocument::canEncodeName(const QString &name, QString *why) const
{
    if (m_data->canEncode(name.toStdString()))
        return true;
    if (why)
        *why = QCoreApplication::translate("XmlDocument",
                                           "The name %1 cannot be written in this document's encoding (%2).")
                   .arg(name, encoding::displayName(m_data->format.encoding));
    return false;
}

XmlNode XmlDocument::findInstance(const QString &id) const
{
    if (id.isEmpty() || !m_data->loaded)
        return {};
    const QByteArray key = id.toUtf8();
    const std::string_view k(key.constData(), size_t(key.size()));
    // Ids the load's worker looked up are answered from what it found, until the first change.
    // Other lookups go to the index of ids, and walk the instances it does not hold yet (see
    // DocData::lookUpInstance); those are added a step at a time while the thread has nothing
    // else to do.
    for (const auto &[ahead, found] : m_data->foundAhead)
        if (ahead == k)
            return DocData::wrap(m_data, found);
    const pugi::xml_node found = m_data->lookUpInstance(k);
    indexLater();
    return DocData::wrap(m_data, found);
}

void XmlDocument::indexLater() const
{
    if (!m_data->idTableBegun)
        return; // a change dropped the index: the next lookup begins it again
    if (m_indexing || thread() != QThread::currentThread())
        return;
    m_indexing = true;
    // A step of 5 ms at most, then a pause: of 5 ms while the thread has nothing else to do
    // (the step's timer comes on time), of 25 ms while it comes late, so that other work done
    // in steps (the tree's, the picker's list, a search) keeps most of the thread.
    const int pause = m_indexPauseMs;
    QElapsedTimer waited;
    waited.start();
    QTimer::singleShot(pause, Qt::PreciseTimer, const_cast<XmlDocument *>(this), [this, pause, waited] {
        m_indexing = false;
        m_indexPauseMs = waited.elapsed() > pause + 2 ? 25 : 5;
        QElapsedTimer step;
        step.start();
        bool more = true;
        while (more && step.elapsed() < 5)
            more = m_data->indexSome(4096);
        if (more)
            indexLater();
    });
}

int XmlDocument::instanceCount() const
{
    return m_data->loaded ? m_data->countInstances() : 0;
}

void XmlDocument::forEachInstance(const std::function<void(ElementRef)> &f) const
{
    if (m_data->loaded)
        m_data->forEachInstance([&f](pugi::xml_node inst) { f(ElementRef(inst.internal_object())); });
}

bool isInstance(ElementRef e)
{
    // Its group, its section and the document element, which has no element above it.
    ElementRef above = e.parent();
    for (size_t level = instancerule::kAncestors; level-- > 0; above = above.parent())
        if (!above || !instancerule::admits(level, above.name()))
            return false;
    return e && !above;
}

QString firstAttributeText(const XmlNode &elm)
{
    return elm.attributeCount() > 0 ? elm.attribute(0).text() : QString();
}

QString XmlDocument::errorString() const
{
    return m_data->error;
}

qint64 XmlDocument::errorLine() const
{
    return m_data->errorLine;
}

qint64 XmlDocument::errorColumn() const
{
    return m_data->errorColumn;
}

QString XmlDocument::path() const
{
    return m_data->path;
}

} // namespace quillon
