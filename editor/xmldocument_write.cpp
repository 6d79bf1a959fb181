// Writing of documents: the serializer that writes a document back the way its source was
// written (encoding, BOM, line ends, empty-element style, declaration), and the checks of
// names and whitespace-only text.

#include "xmldocument_p.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace quillon {

namespace {

// Decodes one UTF-8 sequence at p (not past end); invalid bytes give U+FFFD and advance by one.
uint32_t decodeUtf8(const unsigned char *&p, const unsigned char *end)
{
    const unsigned char c = *p;
    int len = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
        ++p;
        return c;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        ++p;
        return 0xFFFD;
    }
    if (end - p < len) {
        ++p;
        return 0xFFFD;
    }
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            ++p;
            return 0xFFFD;
        }
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    p += len;
    return cp;
}

int cp1252Byte(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return int(cp);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == cp)
            return 0x80 + i;
    return -1;
}

bool representable(XmlEncoding e, uint32_t cp)
{
    switch (e) {
    case XmlEncoding::Utf8:
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE: return true;
    case XmlEncoding::Latin1: return cp <= 0xFF;
    case XmlEncoding::Ascii: return cp < 0x80;
    case XmlEncoding::Windows1252: return cp1252Byte(cp) >= 0;
    }
    return true;
}

class Writer {
public:
    Writer(const DocData &d, ByteSink &sink)
        : m_d(d), m_fmt(d.format), m_sink(sink),
          m_unicode(m_fmt.encoding == XmlEncoding::Utf8 || m_fmt.encoding == XmlEncoding::Utf16LE ||
                    m_fmt.encoding == XmlEncoding::Utf16BE)
    {
    }

    bool run()
    {
        writeBom();
        const pugi::xml_node top = m_d.doc;
        pugi::xml_node cur = top.first_child();
        while (cur && m_ok) {
            if (cur != m_d.graveyard) {
                if (cur.type() == pugi::node_element && cur.first_child()) {
                    startTag(cur);
                    put('>');
                    cur = cur.first_child();
                    continue;
                }
                leaf(cur);
                flushIfFull();
            }
            while (cur && !cur.next_sibling()) {
                cur = cur.parent();
                if (!cur || cur == top) {
                    cur = pugi::xml_node();
                    break;
                }
                endTag(cur);
            }
            if (cur)
                cur = cur.next_sibling();
        }
        return flush() && m_ok;
    }

private:
    static constexpr size_t kChunk = 1 << 20;

    void put(char c) { m_buf.push_back(c); }
    void put(std::string_view s) { m_buf.append(s.data(), s.size()); }
    void flushIfFull()
    {
        if (m_buf.size() >= kChunk)
            flush();
    }

    void writeBom()
    {
        if (!m_fmt.bom)
            return;
        switch (m_fmt.encoding) {
        case XmlEncoding::Utf8: m_ok = m_sink.write("\xEF\xBB\xBF", 3); break;
        case XmlEncoding::Utf16LE: m_ok = m_sink.write("\xFF\xFE", 2); break;
        case XmlEncoding::Utf16BE: m_ok = m_sink.write("\xFE\xFF", 2); break;
        default: break;
        }
    }

    // Converts the UTF-8 pieces gathered so far to the target encoding and line ends.
    bool flush()
    {
        if (m_buf.empty() || !m_ok)
            return m_ok;
        if (m_fmt.encoding == XmlEncoding::Utf8 && !m_fmt.crlf) {
            m_ok = m_sink.write(m_buf.data(), m_buf.size());
            m_buf.clear();
            return m_ok;
        }
        m_out.clear();
        const auto *p = reinterpret_cast<const unsigned char *>(m_buf.data());
        const auto *end = p + m_buf.size();
        if (m_fmt.encoding == XmlEncoding::Utf8) {
            for (; p < end; ++p) {
                if (*p == '\n')
                    m_out.push_back('\r');
                m_out.push_back(char(*p));
            }
        } else {
            while (p < end) {
                const uint32_t cp = decodeUtf8(p, end);
                if (cp == '\n' && m_fmt.crlf)
                    putCode('\r');
                putCode(cp);
            }
        }
        m_ok = m_sink.write(m_out.data(), m_out.size());
        m_buf.clear();
        return m_ok;
    }

    void putCode(uint32_t cp)
    {
        auto unit16 = [this](uint32_t u) {
            if (m_fmt.encoding == XmlEncoding::Utf16LE) {
                m_out.push_back(char(u & 0xFF));
                m_out.push_back(char(u >> 8));
            } else {
                m_out.push_back(char(u >> 8));
                m_out.push_back(char(u & 0xFF));
            }
        };
        switch (m_fmt.encoding) {
        case XmlEncoding::Utf16LE:
        case XmlEncoding::Utf16BE:
            if (cp >= 0x10000) {
                cp -= 0x10000;
                unit16(0xD800 + (cp >> 10));
                unit16(0xDC00 + (cp & 0x3FF));
            } else {
                unit16(cp);
            }
            break;
        case XmlEncoding::Windows1252: {
            const int b = cp1252Byte(cp);
            m_out.push_back(b < 0 ? '?' : char(b));
            break;
        }
        default:
            m_out.push_back(representable(m_fmt.encoding, cp) ? char(cp) : '?');
            break;
        }
    }

    // "&name;" of an entity declared in the DOCTYPE: pugixml leaves such references unexpanded.
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
            m_buf.append(run, size_t(reinterpret_cast<const char *>(p) - run));
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
                const uint32_t cp = decodeUtf8(next, p + 4);
                if (representable(m_fmt.encoding, cp)) {
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
            case '<': replace("&lt;", p + 1); break;
            case '>': replace("&gt;", p + 1); break;
            case '"': attr ? replace("&quot;", p + 1) : void(++p); break;
            case '\n': attr ? replace("&#10;", p + 1) : void(++p); break;
            case '\t': attr ? replace("&#9;", p + 1) : void(++p); break;
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
        m_buf.append(run, size_t(reinterpret_cast<const char *>(p) - run));
    }

    void startTag(pugi::xml_node n)
    {
        put('<');
        put(n.name());
        attributes(n);
    }

    void attributes(pugi::xml_node n)
    {
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            put(' ');
            put(a.name());
            put("=\"");
            escaped(a.value(), true);
            put('"');
        }
    }

    void endTag(pugi::xml_node n)
    {
        put("</");
        put(n.name());
        put('>');
    }

    void leaf(pugi::xml_node n)
    {
        switch (n.type()) {
        case pugi::node_element:
            startTag(n);
            switch (m_fmt.emptyTags) {
            case EmptyTagStyle::Compact: put("/>"); break;
            case EmptyTagStyle::Spaced: put(" />"); break;
            case EmptyTagStyle::Pair:
                put('>');
                endTag(n);
                break;
            }
            break;
        case pugi::node_pcdata: escaped(n.value(), false); break;
        case pugi::node_cdata: {
            std::string_view v(n.value());
            put("<![CDATA[");
            for (size_t at; (at = v.find("]]>")) != std::string_view::npos; v.remove_prefix(at + 2)) {
                put(v.substr(0, at + 2));
                put("]]><![CDATA[");
            }
            put(v);
            put("]]>");
            break;
        }
        case pugi::node_comment:
            put("<!--");
            put(n.value());
            put("-->");
            break;
        case pugi::node_pi:
            put("<?");
            put(n.name());
            if (*n.value()) {
                put(' ');
                put(n.value());
            }
            put("?>");
            break;
        case pugi::node_declaration:
            if (!m_fmt.declaration.empty() && n == m_d.doc.first_child()) {
                put(m_fmt.declaration);
            } else {
                put("<?xml");
                attributes(n);
                put("?>");
            }
            break;
        case pugi::node_doctype:
            put("<!DOCTYPE ");
            put(n.value());
            put('>');
            break;
        default: break;
        }
    }

    const DocData &m_d;
    const SourceFormat &m_fmt;
    ByteSink &m_sink;
    const bool m_unicode;
    bool m_ok = true;
    std::string m_buf;
    std::string m_out;
};

} // namespace

bool serializeDocument(const DocData &d, ByteSink &sink)
{
    return Writer(d, sink).run();
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
        const uint32_t c = decodeUtf8(p, end);
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
