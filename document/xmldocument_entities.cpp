// The general entities of a document's internal subset, replaced by their text after the
// parse. A document that declares internal entities is parsed with references left as they
// stand in the source; this pass then replaces, in every text and attribute value, character
// references, the five predefined entities and the declared internal entities (their
// replacement text read as the text of a value: references in it replaced in turn, blanks in
// an attribute value as spaces). References to external or undeclared entities stay as
// written. Only the values in memory change: what was not edited is saved from the source,
// references and all.
//
// The expansion is bounded as libxml2 bounds it: all entity text put together may not exceed
// 10 MB (counted at every level, so empty or tiny entities nested wide cost too), and
// references nest at most 40 deep. An entity whose text holds markup is refused: its
// elements would have no place in the source.

#include "document/xmldocument_p.h"
#include "document/encoding.h"
#include "document/wellformed.h"

#include <cstring>
#include <string>
#include <string_view>

namespace quillon {

namespace {

constexpr size_t kMaxEntityText = size_t(10) << 20;
constexpr int kMaxEntityDepth = 40;

class Expander {
public:
    explicit Expander(const DeclaredEntities &entities) : m_entities(entities) { }

    // Appends s with its references replaced to out. False, with why(), when an entity holds
    // markup, or the expansion goes past its bounds. entity: the entity whose text s is, when
    // depth > 0.
    bool expand(std::string_view s, bool attribute, int depth, std::string_view entity, std::string &out)
    {
        size_t i = 0;
        while (i < s.size()) {
            const size_t amp = s.find('&', i);
            const size_t stop = amp == std::string_view::npos ? s.size() : amp;
            if (depth == 0) {
                out.append(s, i, stop - i);
            } else {
                for (; i < stop; ++i) {
                    const char c = s[i];
                    if (c == '<') {
                        m_why = "entity '" + std::string(entity) + "' holds markup, which the editor does not expand";
                        return false;
                    }
                    out += attribute && (c == '\n' || c == '\t' || c == '\r') ? ' ' : c;
                }
            }
            if (stop == s.size())
                break;
            const size_t semi = s.find(';', stop);
            if (semi == std::string_view::npos) { // not a reference: the check lets none such through
                out.append(s, stop, std::string_view::npos);
                break;
            }
            i = semi + 1;
            if (!reference(s.substr(stop + 1, semi - stop - 1), attribute, depth, out))
                return false;
        }
        return true;
    }

    const std::string &why() const { return m_why; }

private:
    bool reference(std::string_view name, bool attribute, int depth, std::string &out)
    {
        if (!name.empty() && name[0] == '#') {
            const bool hex = name.size() > 1 && name[1] == 'x';
            uint32_t cp = 0;
            for (char c : name.substr(hex ? 2 : 1))
                cp = cp * (hex ? 16 : 10) + uint32_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
            char buf[4];
            char *p = buf;
            encoding::putUtf8(p, cp);
            out.append(buf, size_t(p - buf));
            return true;
        }
        static constexpr std::pair<std::string_view, char> predefined[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
        for (const auto &[n, c] : predefined) {
            if (name == n) {
                out += c;
                return true;
            }
        }
        const auto it = m_entities.internal.find(std::string(name));
        if (it == m_entities.internal.end()) {
            out.append("&").append(name).append(";");
            return true;
        }
        if (depth + 1 > kMaxEntityDepth) {
            m_why = "entities nested too deeply";
            return false;
        }
        m_spent += it->second.size() + 1;
        if (m_spent > kMaxEntityText) {
            m_why = "the entities expand to more than 10 MB of text";
            return false;
        }
        return expand(it->second, attribute, depth + 1, name, out);
    }

    const DeclaredEntities &m_entities;
    size_t m_spent = 0; // entity text read so far, at every level
    std::string m_why;
};

// Sets the value of n (a text node, or the element of attribute a) to text: in place when it
// fits (a text node then keeps its place in the source), otherwise anew, with its place
// recorded first. A value in the kept source itself is always set anew.
void setExpanded(DocData &d, pugi::xml_node n, pugi::xml_attribute a, const std::string &text)
{
    // The document owns the characters of its values (the parse buffer or its own pages).
    char *value = const_cast<char *>(a ? a.value() : n.value());
    const bool kept = d.source.sharesParserBytes(value);
    if (!kept && text.size() <= std::strlen(value)) {
        std::memcpy(value, text.c_str(), text.size() + 1);
        return;
    }
    size_t begin = 0, end = 0;
    if (!a && !d.edits.spans.count(n.internal_object()) && sourceSpan(d, n, begin, end))
        d.edits.spans.emplace(n.internal_object(), std::make_pair(begin, end));
    if (kept)
        d.ownStrings(n);
    a ? a.set_value(text.c_str()) : n.set_value(text.c_str());
}

} // namespace

bool expandEntities(DocData &d, const DeclaredEntities &entities, std::string &why, size_t &offset)
{
    Expander expander(entities);
    std::string out;
    // Expands the value of n or a, if it holds a reference; false when the expansion fails.
    auto value = [&](pugi::xml_node n, pugi::xml_attribute a) {
        const char *v = a ? a.value() : n.value();
        if (!std::strchr(v, '&'))
            return true;
        out.clear();
        if (!expander.expand(v, bool(a), 0, {}, out)) {
            why = expander.why();
            offset = nodeStart(d, n);
            return false;
        }
        setExpanded(d, n, a, out);
        return true;
    };
    for (pugi::xml_node n = d.doc.first_child(); n;) {
        if (n.type() == pugi::node_element) {
            for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
                if (!value(n, a))
                    return false;
            // Text held as the element's value becomes a node of its own, which has a place.
            if (std::strchr(embeddedText(n), '&'))
                d.materialize(n);
        } else if (n.type() == pugi::node_pcdata && !value(n, {})) {
            return false;
        }
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && !n.next_sibling())
            n = n.parent();
        if (n)
            n = n.next_sibling();
    }
    return true;
}

} // namespace quillon
