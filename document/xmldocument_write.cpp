// Writing of documents: the serializer that writes a document back the way its source was
// written (encoding, BOM, line ends, empty-element style, declaration), and the checks of
// names and whitespace-only text.

#include "document/xmldocument_p.h"
#include "document/encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

// The bytes of one node in the source: [begin, end).
struct Span {
    size_t begin = 0;
    size_t end = 0;
};

// Writes a document: what was not changed is copied from the source as it was read, what was
// changed is written from memory. Everything passes through one UTF-8 buffer that flush()
// converts to the file's encoding (and, when asked, also hands over as it is).
class Writer {
public:
    Writer(const DocData &d, ByteSink &sink, TextRecipe *recipe)
        : m_d(d),
          m_fmt(d.format),
          m_src(d.source),
          m_sink(sink),
          m_recipe(recipe),
          m_unicode(m_fmt.encoding.unicode()),
          m_encoder(m_fmt.encoding)
    { }

    bool run()
    {
        writeBom();
        children(m_d.doc, 0, m_src.size());
        if (!flush() || !m_ok)
            return false;
        return m_fmt.tail.empty() || m_sink.write(m_fmt.tail.data(), m_fmt.tail.size());
    }

private:
    static constexpr size_t kChunk = 1 << 20;

    // ---- output -------------------------------------------------------------------------

    void put(char c) { m_fresh.push_back(c); }
    void put(std::string_view s) { m_fresh.append(s.data(), s.size()); }

    // Moves what was written from memory into the output, with the file's line ends.
    void takeFresh()
    {
        if (m_fresh.empty())
            return;
        const size_t at = m_buf.size();
        if (m_fmt.crlf) {
            for (char c : m_fresh) {
                if (c == '\n')
                    m_buf.push_back('\r');
                m_buf.push_back(c);
            }
        } else {
            m_buf += m_fresh;
        }
        if (m_recipe)
            m_recipe->fresh(std::string_view(m_buf).substr(at));
        m_fresh.clear();
        if (m_buf.size() >= kChunk)
            flush();
    }

    // Source bytes [begin, end), as they were read.
    void copy(size_t begin, size_t end)
    {
        takeFresh();
        if (end <= begin || !m_ok)
            return;
        if (end > m_src.size()) {
            fail();
            return;
        }
        if (m_recipe)
            m_recipe->source(begin, end);
        if (m_fmt.encoding == XmlEncoding::Utf8 && end - begin >= kChunk) {
            flush();
            m_ok = m_ok && m_src.forEachPiece(begin, end, [this](const char *data, size_t size) {
                return m_sink.write(data, size);
            });
            return;
        }
        m_src.append(m_buf, begin, end - begin);
        if (m_buf.size() >= kChunk)
            flush();
    }

    void fail() { m_ok = false; }

    void writeBom()
    {
        // A UTF-8 byte order mark is part of the source and copied with it.
        if (!m_fmt.bom)
            return;
        if (m_fmt.encoding == XmlEncoding::Utf16LE)
            m_ok = m_sink.write("\xFF\xFE", 2);
        else if (m_fmt.encoding == XmlEncoding::Utf16BE)
            m_ok = m_sink.write("\xFE\xFF", 2);
    }

    // Converts the UTF-8 gathered so far to the file's encoding and hands it to the sink.
    bool flush()
    {
        takeFresh();
        if (m_buf.empty() || !m_ok)
            return m_ok;
        if (m_fmt.encoding == XmlEncoding::Utf8) {
            m_ok = m_sink.write(m_buf.data(), m_buf.size());
            m_buf.clear();
            return m_ok;
        }
        m_out.clear();
        m_encoder.append(m_buf.data(), m_buf.size(), m_out);
        m_ok = m_sink.write(m_out.data(), m_out.size());
        m_buf.clear();
        return m_ok;
    }

    // ---- the source ----------------------------------------------------------------------

    // Position just after the '>' of the tag that starts at lt (quoted values skipped).
    size_t tagEnd(size_t lt) const
    {
        char quote = 0;
        for (size_t i = lt + 1; i < m_src.size(); ++i) {
            const char c = m_src[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return i + 1;
            }
        }
        return m_src.size() + 1;
    }

    // Where node n stands in the source; false when it did not come from there.
    bool span(pugi::xml_node n, Span &out) const
    {
        if (const auto it = m_d.edits.spans.find(n.internal_object()); it != m_d.edits.spans.end()) {
            out = {it->second.first, it->second.second};
            return true;
        }
        size_t b = 0, e = 0;
        if (!sourceSpan(m_d, n, b, e))
            return false;
        out = {b, e};
        return true;
    }

    // ---- the walk ------------------------------------------------------------------------

    // The children of parent, whose content stands at [begin, end) of the source: the
    // unchanged stretches are copied, the changed children written.
    void children(pugi::xml_node parent, size_t begin, size_t end)
    {
        size_t pos = begin;
        // The children taken out, in source order: their bytes are left out.
        std::vector<std::pair<size_t, size_t>> gone;
        if (const auto it = m_d.edits.removed.find(parent.internal_object()); it != m_d.edits.removed.end())
            gone = it->second;
        std::sort(gone.begin(), gone.end());
        auto g = gone.cbegin();
        auto leaveOut = [&](size_t before) {
            for (; g != gone.cend() && g->first < before; ++g) {
                if (g->second <= pos)
                    continue; // within one taken out before it
                copy(pos, std::max(pos, g->first));
                pos = g->second;
            }
        };
        for (pugi::xml_node c = parent.first_child(); c && m_ok; c = c.next_sibling()) {
            if (c == m_d.graveyard || !m_d.edits.changedAt(c))
                continue;
            Span s;
            if (!span(c, s)) {
                fail();
                return;
            }
            leaveOut(s.begin);
            if (s.begin < pos || s.end > end) {
                fail();
                return;
            }
            copy(pos, s.begin);
            node(c, s);
            pos = s.end;
        }
        leaveOut(end);
        if (pos > end) {
            fail();
            return;
        }
        copy(pos, end);
    }

    void node(pugi::xml_node n, const Span &s)
    {
        const EditLog &log = m_d.edits;
        if (log.fresh.count(n.internal_object()) || n.type() != pugi::node_element) {
            subtree(n);
            takeFresh();
            return;
        }
        const size_t tagStop = tagEnd(s.begin);
        if (tagStop > s.end) {
            fail();
            return;
        }
        const bool empty = m_src[tagStop - 2] == '/';
        // The start tag up to its closing "/>" or ">".
        size_t closeAt = empty ? tagStop - 2 : tagStop - 1;
        if (log.startTags.count(n.internal_object())) {
            // Written anew up to the blanks that stand before "/>" or ">".
            while (closeAt > s.begin + 1 && (m_src[closeAt - 1] == ' ' || m_src[closeAt - 1] == '\t' ||
                                             m_src[closeAt - 1] == '\n' || m_src[closeAt - 1] == '\r'))
                --closeAt;
            startTag(n);
            takeFresh();
        } else {
            copy(s.begin, closeAt);
        }
        if (empty) {
            if (!n.first_child() && !*embeddedText(n)) {
                copy(closeAt, tagStop);
                return;
            }
            put('>');
            escaped(embeddedText(n), false);
            for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
                subtree(c);
            endTag(n);
            takeFresh();
            return;
        }
        copy(closeAt, tagStop);
        const size_t endTagAt = s.end >= 2 ? m_src.rfind("</", s.end - 2) : KeptSource::npos;
        if (endTagAt == KeptSource::npos || endTagAt < tagStop) {
            fail();
            return;
        }
        if (log.contents.count(n.internal_object())) {
            escaped(embeddedText(n), false);
            for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
                subtree(c);
            takeFresh();
        } else {
            children(n, tagStop, endTagAt);
        }
        copy(endTagAt, s.end);
    }

    // Writes n and everything below it from memory.
    void subtree(pugi::xml_node top)
    {
        pugi::xml_node cur = top;
        while (cur) {
            if (cur.type() == pugi::node_element && (cur.first_child() || *embeddedText(cur))) {
                startTag(cur);
                put('>');
                escaped(embeddedText(cur), false);
                if (cur.first_child()) {
                    cur = cur.first_child();
                    continue;
                }
                endTag(cur);
            } else {
                leaf(cur);
            }
            while (cur != top && !cur.next_sibling()) {
                cur = cur.parent();
                endTag(cur);
            }
            cur = cur == top ? pugi::xml_node() : cur.next_sibling();
        }
    }

    // "&name;" of an external entity declared in the DOCTYPE: it is not read, so its reference
    // stays in the value as written and is written back as a reference.
    bool isDeclaredEntity(const char *amp) const
    {
        if (m_fmt.entities.empty())
            return false;
        const char *semi = std::strchr(amp + 1, ';');
        return semi && m_fmt.entities.count(std::string(amp + 1, size_t(semi - amp - 1)));
    }

    void escaped(const char *s, bool attr)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(s);
        const char *run = s;
        auto replace = [&](std::string_view rep, const unsigned char *next) {
            m_fresh.append(run, size_t(reinterpret_cast<const char *>(p) - run));
            put(rep);
            p = next;
            run = reinterpret_cast<const char *>(p);
        };
        char tmp[16];
        while (*p) {
            const unsigned char c = *p;
            if (c >= 0x80) {
                if (m_unicode) {
                    ++p;
                    continue;
                }
                const unsigned char *next = p;
                // The string ends in a NUL, which no multi-byte sequence accepts as a
                // continuation byte, so decoding never reads past it.
                const uint32_t cp = encoding::decodeUtf8(next, p + 4);
                if (m_encoder.representable(cp)) {
                    p = next;
                } else {
                    const int len = std::snprintf(tmp, sizeof tmp, "&#%u;", cp);
                    replace(std::string_view(tmp, size_t(len)), next);
                }
                continue;
            }
            switch (c) {
            case '&':
                if (isDeclaredEntity(reinterpret_cast<const char *>(p)))
                    ++p;
                else
                    replace("&amp;", p + 1);
                break;
            case '<':
                replace("&lt;", p + 1);
                break;
            case '>':
                replace("&gt;", p + 1);
                break;
            case '"':
                attr ? replace("&quot;", p + 1) : void(++p);
                break;
            case '\n':
                attr ? replace("&#10;", p + 1) : void(++p);
                break;
            case '\t':
                attr ? replace("&#9;", p + 1) : void(++p);
                break;
            case '\r':
                replace("&#13;", p + 1);
                break;
            default:
                if (c < 0x20) {
                    const int len = std::snprintf(tmp, sizeof tmp, "&#%u;", unsigned(c));
                    replace(std::string_view(tmp, size_t(len)), p + 1);
                } else {
                    ++p;
                }
                break;
            }
        }
        m_fresh.append(run, size_t(reinterpret_cast<const char *>(p) - run));
    }

    // A name, or the text of a comment or PI, as it is: they take no character references,
    // so one the encoding cannot hold fails the write (never a '?' in its place).
    void literal(std::string_view s)
    {
        if (!m_unicode && !m_encoder.representableUtf8(s.data(), s.size()))
            fail();
        put(s);
    }

    // Text of a CDATA section: a character the encoding cannot hold ends the section, stands
    // as a character reference, and a new section goes on.
    void cdataText(std::string_view v)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(v.data());
        const auto *end = p + v.size();
        const auto *run = p;
        while (!m_unicode && p < end) {
            const auto *at = p;
            const uint32_t cp = encoding::decodeUtf8(p, end);
            if (m_encoder.representable(cp))
                continue;
            char tmp[24];
            const int len = std::snprintf(tmp, sizeof tmp, "]]>&#%u;<![CDATA[", cp);
            put(std::string_view(reinterpret_cast<const char *>(run), size_t(at - run)));
            put(std::string_view(tmp, size_t(len)));
            run = p;
        }
        put(std::string_view(reinterpret_cast<const char *>(run), size_t(end - run)));
    }

    void startTag(pugi::xml_node n)
    {
        put('<');
        literal(n.name());
        attributes(n);
    }

    void attributes(pugi::xml_node n)
    {
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            put(' ');
            literal(a.name());
            put("=\"");
            escaped(a.value(), true);
            put('"');
        }
    }

    void endTag(pugi::xml_node n)
    {
        put("</");
        literal(n.name());
        put('>');
    }

    void leaf(pugi::xml_node n)
    {
        switch (n.type()) {
        case pugi::node_element:
            startTag(n);
            switch (m_fmt.emptyTags) {
            case EmptyTagStyle::Compact:
                put("/>");
                break;
            case EmptyTagStyle::Spaced:
                put(" />");
                break;
            case EmptyTagStyle::Pair:
                put('>');
                endTag(n);
                break;
            }
            break;
        case pugi::node_pcdata:
            escaped(n.value(), false);
            break;
        case pugi::node_cdata: {
            std::string_view v(n.value());
            put("<![CDATA[");
            for (size_t at; (at = v.find("]]>")) != std::string_view::npos; v.remove_prefix(at + 2)) {
                cdataText(v.substr(0, at + 2));
                put("]]><![CDATA[");
            }
            cdataText(v);
            put("]]>");
            break;
        }
        case pugi::node_comment:
            put("<!--");
            literal(n.value());
            put("-->");
            break;
        case pugi::node_pi:
            put("<?");
            literal(n.name());
            if (*n.value()) {
                put(' ');
                literal(n.value());
            }
            put("?>");
            break;
        default:
            break;
        }
    }

    const DocData &m_d;
    const SourceFormat &m_fmt;
    const KeptSource &m_src;
    ByteSink &m_sink;
    TextRecipe *m_recipe;
    const bool m_unicode;
    encoding::Encoder m_encoder;
    bool m_ok = true;
    std::string m_fresh; // written from memory, line ends not yet converted
    std::string m_buf; // UTF-8 ready for the encoder
    std::string m_out;
};

} // namespace

bool serializeDocument(const DocData &d, ByteSink &sink, TextRecipe *recipe)
{
    return Writer(d, sink, recipe).run();
}

namespace {

constexpr size_t npos = std::string_view::npos;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

size_t nodeStart(const DocData &d, pugi::xml_node n)
{
    if (const auto it = d.edits.spans.find(n.internal_object()); it != d.edits.spans.end())
        return it->second.first;
    const ptrdiff_t off = n.offset_debug();
    if (off < 0 || size_t(off) > d.source.size())
        return npos;
    const size_t o = size_t(off);
    switch (n.type()) {
    case pugi::node_element:
        return o >= 1 ? o - 1 : npos;
    case pugi::node_pcdata:
        return o;
    case pugi::node_cdata:
        return o >= 9 ? o - 9 : npos;
    case pugi::node_comment:
        return o >= 4 ? o - 4 : npos;
    case pugi::node_pi:
    case pugi::node_declaration:
        return o >= 2 ? o - 2 : npos;
    case pugi::node_doctype:
        return d.source.rfind("<!DOCTYPE", o);
    default:
        return npos;
    }
}

namespace {

// Just after the '>' that stands last before limit, with only blanks between; npos otherwise.
size_t afterLastTag(const KeptSource &src, size_t limit)
{
    size_t i = limit;
    while (i > 0 && isSpace(src[i - 1]))
        --i;
    return i > 0 && src[i - 1] == '>' ? i : npos;
}

// Where element e ends: just after the '>' of its end tag (or of its empty-element tag).
// Blank text between elements is not kept as nodes, so the last '>' before whatever comes
// next closes e; what comes next is found by climbing to the nearest ancestor with a
// following sibling, then back down through the end tags in between.
size_t elementEnd(const DocData &d, pugi::xml_node e)
{
    const KeptSource &src = d.source;
    std::vector<pugi::xml_node> chain;
    size_t limit = src.size();
    for (pugi::xml_node cur = e;;) {
        chain.push_back(cur);
        pugi::xml_node next = cur.next_sibling();
        while (next && (next == d.graveyard || nodeStart(d, next) == npos))
            next = next.next_sibling();
        // A sibling taken out after cur stood between them in the source.
        const size_t gone = removedAfter(d, cur.parent(), nodeStart(d, cur));
        if (next || gone != npos) {
            limit = std::min(next ? nodeStart(d, next) : npos, gone);
            break;
        }
        cur = cur.parent();
        if (!cur || cur.type() != pugi::node_element)
            break;
    }
    size_t end = afterLastTag(src, limit);
    for (size_t i = chain.size() - 1; i > 0 && end != npos; --i) {
        // chain[i] has children, so an end tag of its own: "</name>" holds no '<'.
        const size_t lt = src.rfind('<', end - 1);
        if (lt == npos || lt + 1 >= src.size() || src[lt + 1] != '/')
            return npos;
        end = afterLastTag(src, lt);
    }
    return end;
}

} // namespace

size_t removedAfter(const DocData &d, pugi::xml_node parent, size_t from)
{
    if (d.edits.removed.empty() || from == npos)
        return npos;
    const auto it = d.edits.removed.find(parent.internal_object());
    if (it == d.edits.removed.end())
        return npos;
    size_t first = npos;
    for (const auto &[begin, end] : it->second)
        if (begin > from)
            first = std::min(first, begin);
    return first;
}

// Where a node that came from the source stands in it. Elements are found by their name,
// which stays where the parse left it (elements are never renamed); text, comments and
// processing instructions only until their value changes, so their place is recorded first.
bool sourceSpan(const DocData &d, pugi::xml_node n, size_t &begin, size_t &end)
{
    const KeptSource &src = d.source;
    const KeptSource &s = src;
    const size_t b = nodeStart(d, n);
    if (b == npos || b >= src.size())
        return false;
    auto after = [&](std::string_view what, size_t from) {
        const size_t at = s.find(what, from);
        return at == npos ? npos : at + what.size();
    };
    size_t e = npos;
    switch (n.type()) {
    case pugi::node_element:
        if (src[b] != '<')
            return false;
        e = elementEnd(d, n);
        break;
    case pugi::node_pcdata: {
        const size_t lt = s.find('<', b);
        e = lt == npos ? src.size() : lt;
        break;
    }
    case pugi::node_cdata:
        e = after("]]>", b + 9);
        break;
    case pugi::node_comment:
        e = after("-->", b + 4);
        break;
    case pugi::node_pi:
    case pugi::node_declaration:
        e = after("?>", b + 2);
        break;
    default:
        return false;
    }
    if (e == npos || e <= b || e > src.size())
        return false;
    begin = b;
    end = e;
    return true;
}

// ---------------------------------------------------------------------------------------
// Names and whitespace

bool isWhitespaceOnly(const char *s)
{
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t' && *s != '\n' && *s != '\r')
            return false;
    return true;
}

namespace {

bool isNameStart(uint32_t c)
{
    return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6) ||
           (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
           (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(uint32_t c)
{
    return isNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

} // namespace

// A Name in the sense of XML 1.0 that is also a qualified name: at most one colon, with a
// non-empty part on each side.
bool isValidQName(std::string_view name)
{
    const auto *p = reinterpret_cast<const unsigned char *>(name.data());
    const auto *end = p + name.size();
    bool atStart = true;
    int colons = 0;
    while (p < end) {
        const unsigned char *before = p;
        const uint32_t c = encoding::decodeUtf8(p, end);
        if (c == ':') {
            if (atStart || ++colons > 1)
                return false;
            atStart = true;
            continue;
        }
        if (c == 0xFFFD && p - before != 3) // an invalid byte decodes to U+FFFD
            return false;
        if (atStart ? !isNameStart(c) : !isNameChar(c))
            return false;
        atStart = false;
    }
    return !name.empty() && !atStart;
}

} // namespace quillon
