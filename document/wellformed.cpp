// The well-formedness check of XML 1.0 documents held in UTF-8.
//
// A single forward pass over the bytes. Runs of plain text and attribute values are skipped
// sixteen bytes at a time; names and markup are read byte by byte through a class table. The
// open elements live on an explicit stack of (pointer, length) pairs into the text, so deep
// documents need no recursion. The only recursion is into the replacement text of internal
// entities, which is bounded (loops are detected and nesting is capped).
//
// Where XML 1.0 leaves a choice to the processor, the choices are those of libxml2:
// - a reference to an undeclared general entity is a fault only when the document is
//   standalone, or has neither an external subset nor a reference to an internal (or
//   undeclared) parameter entity;
// - version numbers other than 1.0 are accepted when they are "1." followed by digits;
// - namespace constraints are not part of well-formedness.

#include "document/wellformed.h"
#include "document/instancerule.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

namespace {

using uchar = unsigned char;

enum : uint8_t { kNameStart = 1, kNameChar = 2, kSpace = 4 };

struct ByteClasses {
    uint8_t c[256] = {};
    constexpr ByteClasses()
    {
        for (int i = 'a'; i <= 'z'; ++i)
            c[i] = kNameStart | kNameChar;
        for (int i = 'A'; i <= 'Z'; ++i)
            c[i] = kNameStart | kNameChar;
        c[int('_')] = c[int(':')] = kNameStart | kNameChar;
        for (int i = '0'; i <= '9'; ++i)
            c[i] = kNameChar;
        c[int('-')] = c[int('.')] = kNameChar;
        c[0x20] = c[0x09] = c[0x0A] = c[0x0D] = kSpace;
    }
};
constexpr ByteClasses kClasses;

inline bool isSpace(uchar c)
{
    return kClasses.c[c] & kSpace;
}

inline bool isChar(uint32_t c)
{
    if (c < 0x20)
        return c == 0x9 || c == 0xA || c == 0xD;
    if (c <= 0xD7FF)
        return true;
    if (c < 0xE000)
        return false;
    if (c <= 0xFFFD)
        return true;
    return c >= 0x10000 && c <= 0x10FFFF;
}

bool isNameStartChar(uint32_t c)
{
    if (c < 0x80)
        return kClasses.c[c] & kNameStart;
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(uint32_t c)
{
    if (c < 0x80)
        return kClasses.c[c] & kNameChar;
    return isNameStartChar(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// The code point of the UTF-8 sequence at q (before end) and its length in *len; -1 when the
// bytes are not UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
int32_t decodeUtf8(const uchar *q, const uchar *end, int *len)
{
    const uchar c = q[0];
    if (c < 0x80) {
        *len = 1;
        return c;
    }
    const ptrdiff_t room = end - q;
    auto cont = [&](int i, uchar lo = 0x80, uchar hi = 0xBF) { return i < room && q[i] >= lo && q[i] <= hi; };
    if (c >= 0xC2 && c <= 0xDF) {
        if (!cont(1))
            return -1;
        *len = 2;
        return int32_t(c & 0x1F) << 6 | (q[1] & 0x3F);
    }
    if (c >= 0xE0 && c <= 0xEF) {
        const uchar lo = c == 0xE0 ? 0xA0 : 0x80;
        const uchar hi = c == 0xED ? 0x9F : 0xBF;
        if (!cont(1, lo, hi) || !cont(2))
            return -1;
        *len = 3;
        return int32_t(c & 0x0F) << 12 | int32_t(q[1] & 0x3F) << 6 | (q[2] & 0x3F);
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const uchar lo = c == 0xF0 ? 0x90 : 0x80;
        const uchar hi = c == 0xF4 ? 0x8F : 0xBF;
        if (!cont(1, lo, hi) || !cont(2) || !cont(3))
            return -1;
        *len = 4;
        return int32_t(c & 0x07) << 18 | int32_t(q[1] & 0x3F) << 12 | int32_t(q[2] & 0x3F) << 6 | (q[3] & 0x3F);
    }
    return -1;
}

// The first byte at or after q that is a, b or c, a control byte (< 0x20) or not ASCII.
inline const uchar *skipPlain(const uchar *q, const uchar *end, uchar a, uchar b, uchar c)
{
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(char(a)), vb = _mm_set1_epi8(char(b)), vc = _mm_set1_epi8(char(c));
    const __m128i space = _mm_set1_epi8(0x20);
    while (end - q >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
        // Signed compare: bytes >= 0x80 are negative and so below 0x20 too.
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, vc), _mm_cmplt_epi8(v, space)));
        const int mask = _mm_movemask_epi8(hit);
        if (mask)
            return q + __builtin_ctz(unsigned(mask));
        q += 16;
    }
#endif
    while (q < end && *q >= 0x20 && *q < 0x80 && *q != a && *q != b && *q != c)
        ++q;
    return q;
}

bool startsWith(const uchar *q, const uchar *end, std::string_view s)
{
    return size_t(end - q) >= s.size() && std::memcmp(q, s.data(), s.size()) == 0;
}

std::string_view view(const uchar *b, const uchar *e)
{
    return std::string_view(reinterpret_cast<const char *>(b), size_t(e - b));
}

void appendUtf8(std::string &out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

struct Entity {
    std::string_view text; // replacement text (internal entities)
    bool external = false;
    bool unparsed = false;
    enum State : uint8_t { Unchecked, Checking, Good };
    State content = Unchecked; // as content of an element
    State attribute = Unchecked; // inside an attribute value
    State subset = Unchecked; // parameter entities: as markup declarations
};

// How deep entity references may nest inside each other (libxml2 stops at 40 too).
constexpr int kMaxEntityDepth = 40;
// How deep parentheses in a content model may nest.
constexpr int kMaxModelDepth = 128;

class Checker {
public:
    Checker(const uchar *begin, const uchar *end, const CheckProgress *reached = nullptr, InstanceSink *sink = nullptr)
        : m_begin(begin), m_lim(end), m_reached(reached), m_sink(sink)
    { }

    bool document();
    void declared(DeclaredEntities &out) const
    {
        for (const auto &[name, ent] : m_general) {
            if (ent.unparsed)
                continue;
            if (ent.external)
                out.external.emplace(name);
            else
                out.internal.emplace(name, ent.text);
        }
    }

    size_t errorOffset = 0;
    std::string errorMessage;

private:
    enum class RefIn { Content, Attribute, EntityValue };
    struct Open {
        const uchar *name;
        size_t length;
    };

    bool fail(const uchar *at, std::string message);
    bool failHere(const uchar *at, const char *message);
    bool utf8Char(const uchar *&q);
    bool chars(const uchar *&q, uchar a, uchar b, uchar c);
    const uchar *name(const uchar *q) const;
    const uchar *nmtoken(const uchar *q) const;
    bool space(const char *what);
    bool keyword(std::string_view word);
    bool eq();

    bool xmlDecl();
    bool misc(bool *matched);
    bool pi();
    bool comment();
    bool content(bool inEntity);
    bool startTag(bool *empty);
    bool endTag();
    void tellInstance(const Open &element, bool empty);
    std::string_view firstValue(const Open &element);
    bool text();
    bool attValue();
    bool reference(RefIn in);
    bool charRef(const uchar *at, uint32_t *value);
    bool entityInContent(Entity &ent, const uchar *at, std::string_view name);
    bool entityInAttribute(Entity &ent, const uchar *at, std::string_view name);
    bool undeclared(const uchar *at, std::string_view name, bool parameter);

    bool doctype();
    bool externalId(bool publicIdOnly, bool *had);
    bool quoted(bool pubid);
    bool subset(bool inEntity);
    bool peReference();
    bool elementDecl();
    bool contentModel();
    bool attlistDecl();
    bool entityDecl();
    bool entityValue(std::string_view *replacement);
    bool notationDecl();

    // Runs f over text as the current input; errors inside are reported at the reference.
    template <typename F> bool inEntity(std::string_view text, const uchar *at, std::string_view name, F f);

    const uchar *m_begin;
    const uchar *m_p = nullptr;
    const uchar *m_lim;
    const uchar *m_origin = nullptr; // the outermost reference while in replacement text
    std::string_view m_originName;
    int m_entityDepth = 0;
    const CheckProgress *m_reached; // see checkWellFormed
    const uchar *m_nextReport = nullptr;
    void report();
    InstanceSink *m_sink; // see checkWellFormed
    std::string m_value; // an attribute value as a parser reads it, for m_sink

    bool m_standalone = false;
    bool m_externalSubset = false;
    bool m_peRefs = false;
    std::vector<Open> m_open;
    std::vector<std::string_view> m_attrs, m_sorted;
    std::unordered_map<std::string_view, Entity> m_general, m_parameter;
    std::deque<std::string> m_expanded; // replacement texts that differ from their literal
};

bool Checker::fail(const uchar *at, std::string message)
{
    if (m_origin) {
        errorOffset = size_t(m_origin - m_begin);
        errorMessage = "in entity '" + std::string(m_originName) + "': " + message;
    } else {
        errorOffset = size_t(at - m_begin);
        errorMessage = std::move(message);
    }
    return false;
}

// Names the fault at "at" when the byte there is not a Char; otherwise reports message.
bool Checker::failHere(const uchar *at, const char *message)
{
    if (at < m_lim) {
        if (*at >= 0x80) {
            int len = 0;
            const int32_t c = decodeUtf8(at, m_lim, &len);
            if (c < 0)
                return fail(at, "bytes that are not UTF-8");
            if (!isChar(uint32_t(c))) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "character U+%04X not allowed in XML", unsigned(c));
                return fail(at, buf);
            }
        } else if (*at < 0x20 && !isSpace(*at)) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "control character 0x%02X not allowed in XML", unsigned(*at));
            return fail(at, buf);
        }
    } else {
        return fail(at,
                    std::string("unexpected end of ") + (m_origin ? "entity text" : "document") + " (" + message + ")");
    }
    return fail(at, message);
}

// Steps over one non-ASCII character at q, which must be a Char.
bool Checker::utf8Char(const uchar *&q)
{
    int len = 0;
    const int32_t c = decodeUtf8(q, m_lim, &len);
    if (c < 0 || !isChar(uint32_t(c)))
        return failHere(q, "");
    q += len;
    return true;
}

// Advances q over Chars up to the first a, b or c (ASCII) or the end of input.
bool Checker::chars(const uchar *&q, uchar a, uchar b, uchar c)
{
    for (;;) {
        q = skipPlain(q, m_lim, a, b, c);
        if (q >= m_lim)
            return true;
        const uchar x = *q;
        if (x == a || x == b || x == c)
            return true;
        if (x == '\t' || x == '\n' || x == '\r') {
            ++q;
            continue;
        }
        if (x < 0x20)
            return failHere(q, "");
        if (!utf8Char(q))
            return false;
    }
}

// The end of the Name at q, or null when none starts there.
const uchar *Checker::name(const uchar *q) const
{
    if (q >= m_lim)
        return nullptr;
    int len = 1;
    if (*q < 0x80) {
        if (!(kClasses.c[*q] & kNameStart))
            return nullptr;
    } else {
        const int32_t c = decodeUtf8(q, m_lim, &len);
        if (c < 0 || !isNameStartChar(uint32_t(c)))
            return nullptr;
    }
    q += len;
    for (;;) {
        while (q < m_lim && (kClasses.c[*q] & kNameChar))
            ++q;
        if (q >= m_lim || *q < 0x80)
            return q;
        const int32_t c = decodeUtf8(q, m_lim, &len);
        if (c < 0 || !isNameChar(uint32_t(c)))
            return q;
        q += len;
    }
}

const uchar *Checker::nmtoken(const uchar *q) const
{
    const uchar *start = q;
    for (;;) {
        while (q < m_lim && (kClasses.c[*q] & kNameChar))
            ++q;
        if (q >= m_lim || *q < 0x80)
            break;
        int len = 0;
        const int32_t c = decodeUtf8(q, m_lim, &len);
        if (c < 0 || !isNameChar(uint32_t(c)))
            break;
        q += len;
    }
    return q == start ? nullptr : q;
}

// Required whitespace.
bool Checker::space(const char *what)
{
    if (m_p >= m_lim || !isSpace(*m_p))
        return failHere(m_p, what);
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    return true;
}

bool Checker::keyword(std::string_view word)
{
    if (!startsWith(m_p, m_lim, word))
        return false;
    m_p += word.size();
    return true;
}

// S? '=' S?
bool Checker::eq()
{
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    if (m_p >= m_lim || *m_p != '=')
        return failHere(m_p, "'=' expected");
    ++m_p;
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    return true;
}

void Checker::report()
{
    std::vector<std::pair<size_t, size_t>> held;
    held.reserve(m_open.size());
    for (const Open &o : m_open)
        held.emplace_back(size_t(o.name - m_begin), o.length);
    (*m_reached)(size_t(m_p - m_begin), held);
    m_nextReport = m_p + kCheckStep;
}

bool Checker::document()
{
    m_p = m_begin;
    if (startsWith(m_p, m_lim, "\xEF\xBB\xBF"))
        m_p += 3;
    if (startsWith(m_p, m_lim, "<?xml") && m_lim - m_p > 5 && isSpace(m_p[5]) && !xmlDecl())
        return false;

    bool doctypeSeen = false;
    for (;;) {
        bool matched = false;
        if (!misc(&matched))
            return false;
        if (matched)
            continue;
        if (m_p >= m_lim)
            return fail(m_p, "no document element");
        if (startsWith(m_p, m_lim, "<!DOCTYPE")) {
            if (doctypeSeen)
                return fail(m_p, "a second DOCTYPE");
            doctypeSeen = true;
            if (!doctype())
                return false;
            continue;
        }
        if (*m_p == '<' && name(m_p + 1))
            break;
        if (*m_p == '<' && m_lim - m_p > 1 && m_p[1] != '!' && m_p[1] != '?')
            return failHere(m_p + 1, "invalid element name");
        return failHere(m_p, "document element expected");
    }
    if (!content(false))
        return false;
    for (;;) {
        bool matched = false;
        if (!misc(&matched))
            return false;
        if (!matched)
            break;
    }
    if (m_p < m_lim)
        return failHere(m_p, "content after the document element");
    return true;
}

// Whitespace, a comment or a PI at m_p (outside the document element).
bool Checker::misc(bool *matched)
{
    const uchar *start = m_p;
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    *matched = m_p != start;
    if (startsWith(m_p, m_lim, "<?")) {
        *matched = true;
        return pi();
    }
    if (startsWith(m_p, m_lim, "<!--")) {
        *matched = true;
        return comment();
    }
    return true;
}

// '<?xml' VersionInfo EncodingDecl? SDDecl? S? '?>' at the very start.
bool Checker::xmlDecl()
{
    m_p += 5;
    if (!space("whitespace expected"))
        return false;
    if (!keyword("version"))
        return failHere(m_p, "the XML declaration must start with the version");
    if (!eq())
        return false;
    if (m_p >= m_lim || (*m_p != '"' && *m_p != '\''))
        return failHere(m_p, "version value must be quoted");
    const uchar quote = *m_p++;
    const uchar *v = m_p;
    // libxml2 reads a digit, a dot and digits; 1.x other than 1.0 passes with a warning.
    if (m_lim - v < 2 || v[0] != '1' || v[1] != '.')
        return fail(v, "unsupported XML version (1.x expected)");
    m_p += 2;
    while (m_p < m_lim && *m_p >= '0' && *m_p <= '9')
        ++m_p;
    if (m_p >= m_lim || *m_p != quote)
        return failHere(m_p, "malformed version number");
    ++m_p;

    const uchar *ws = m_p;
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    if (keyword("encoding")) {
        if (ws == m_p - 8)
            return fail(m_p - 8, "whitespace required before encoding");
        if (!eq())
            return false;
        if (m_p >= m_lim || (*m_p != '"' && *m_p != '\''))
            return failHere(m_p, "encoding value must be quoted");
        const uchar q = *m_p++;
        const uchar *n = m_p;
        if (n >= m_lim || !((*n >= 'A' && *n <= 'Z') || (*n >= 'a' && *n <= 'z')))
            return failHere(n, "invalid encoding name");
        ++n;
        while (n < m_lim && ((*n >= 'A' && *n <= 'Z') || (*n >= 'a' && *n <= 'z') || (*n >= '0' && *n <= '9') ||
                             *n == '.' || *n == '_' || *n == '-'))
            ++n;
        if (n >= m_lim || *n != q)
            return failHere(n, "invalid encoding name");
        m_p = n + 1;
        ws = m_p;
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
    }
    if (keyword("standalone")) {
        if (ws == m_p - 10)
            return fail(m_p - 10, "whitespace required before standalone");
        if (!eq())
            return false;
        if (m_p >= m_lim || (*m_p != '"' && *m_p != '\''))
            return failHere(m_p, "standalone value must be quoted");
        const uchar q = *m_p++;
        if (keyword("yes"))
            m_standalone = true;
        else if (!keyword("no"))
            return fail(m_p, "standalone must be 'yes' or 'no'");
        if (m_p >= m_lim || *m_p != q)
            return fail(m_p, "standalone must be 'yes' or 'no'");
        ++m_p;
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
    }
    if (!keyword("?>"))
        return failHere(m_p, "'?>' expected to end the XML declaration");
    return true;
}

// '<?' PITarget (S (Char* - (Char* '?>' Char*)))? '?>'
bool Checker::pi()
{
    const uchar *at = m_p;
    m_p += 2;
    const uchar *end = name(m_p);
    if (!end)
        return failHere(m_p, "invalid processing instruction target");
    if (end - m_p == 3 && (m_p[0] | 0x20) == 'x' && (m_p[1] | 0x20) == 'm' && (m_p[2] | 0x20) == 'l')
        return fail(at, "XML declaration (or a PI named xml) allowed only at the start of the document");
    m_p = end;
    if (keyword("?>"))
        return true;
    if (m_p >= m_lim || !isSpace(*m_p))
        return failHere(m_p, "whitespace expected after the processing instruction target");
    for (;;) {
        if (!chars(m_p, '?', '?', '?'))
            return false;
        if (m_p >= m_lim)
            return fail(at, "processing instruction not terminated");
        if (keyword("?>"))
            return true;
        ++m_p;
    }
}

// '<!--' ((Char - '-') | ('-' (Char - '-')))* '-->'
bool Checker::comment()
{
    const uchar *at = m_p;
    m_p += 4;
    for (;;) {
        if (!chars(m_p, '-', '-', '-'))
            return false;
        if (m_p >= m_lim)
            return fail(at, "comment not terminated");
        if (m_lim - m_p >= 2 && m_p[1] == '-') {
            if (m_lim - m_p >= 3 && m_p[2] == '>') {
                m_p += 3;
                return true;
            }
            return fail(m_p, "'--' inside a comment");
        }
        ++m_p;
    }
}

// Elements, text, references, CDATA sections, comments and PIs. For the document: from the
// start tag of the document element to its end tag. For the replacement text of an entity:
// to the end of the text, which must close every element it opens.
bool Checker::content(bool inEntity)
{
    const size_t base = m_open.size();
    for (;;) {
        if (m_reached && m_p >= m_nextReport && m_entityDepth == 0)
            report();
        if (m_p >= m_lim) {
            if (m_open.size() > base) {
                const Open &o = m_open.back();
                return fail(m_p, "element <" + std::string(view(o.name, o.name + o.length)) + "> not closed");
            }
            return true;
        }
        const uchar c = *m_p;
        if (c == '<') {
            const uchar n = m_lim - m_p > 1 ? m_p[1] : 0;
            if (n == '/') {
                if (m_open.size() == base)
                    return fail(m_p, "end tag without a start tag");
                if (!endTag())
                    return false;
                if (!inEntity && m_open.size() == base)
                    return true;
            } else if (n == '?') {
                if (!pi())
                    return false;
            } else if (n == '!') {
                if (startsWith(m_p, m_lim, "<!--")) {
                    if (!comment())
                        return false;
                } else if (startsWith(m_p, m_lim, "<![CDATA[")) {
                    const uchar *at = m_p;
                    m_p += 9;
                    for (;;) {
                        if (!chars(m_p, ']', ']', ']'))
                            return false;
                        if (m_p >= m_lim)
                            return fail(at, "CDATA section not terminated");
                        if (keyword("]]>"))
                            break;
                        ++m_p;
                    }
                } else {
                    return fail(m_p, "comment or CDATA section expected after '<!'");
                }
            } else {
                bool empty = false;
                if (!startTag(&empty))
                    return false;
                if (empty && !inEntity && m_open.size() == base)
                    return true;
            }
        } else if (c == '&') {
            if (!reference(RefIn::Content))
                return false;
        } else if (!text()) {
            return false;
        }
    }
}

bool Checker::text()
{
    for (;;) {
        if (!chars(m_p, '<', '&', ']'))
            return false;
        if (m_p >= m_lim || *m_p != ']')
            return true;
        if (startsWith(m_p, m_lim, "]]>"))
            return fail(m_p, "']]>' not allowed in text");
        ++m_p;
    }
}

bool Checker::startTag(bool *empty)
{
    const uchar *at = m_p;
    ++m_p;
    const uchar *end = name(m_p);
    if (!end)
        return failHere(m_p, "invalid element name");
    const Open element{m_p, size_t(end - m_p)};
    m_p = end;
    m_attrs.clear();
    for (;;) {
        const uchar *ws = m_p;
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
        if (m_p >= m_lim)
            return fail(at, "start tag not terminated");
        if (*m_p == '>') {
            ++m_p;
            m_open.push_back(element);
            *empty = false;
            break;
        }
        if (*m_p == '/') {
            if (m_lim - m_p < 2 || m_p[1] != '>')
                return failHere(m_p + 1, "'>' expected after '/'");
            m_p += 2;
            *empty = true;
            break;
        }
        if (ws == m_p)
            return failHere(m_p, "whitespace or '>' expected in start tag");
        const uchar *attrEnd = name(m_p);
        if (!attrEnd)
            return failHere(m_p, "invalid attribute name");
        m_attrs.push_back(view(m_p, attrEnd));
        m_p = attrEnd;
        if (!eq() || !attValue())
            return false;
    }
    const size_t n = m_attrs.size();
    if (n > 1) {
        std::string_view repeated;
        if (n <= 8) {
            for (size_t i = 0; i < n && repeated.empty(); ++i)
                for (size_t j = i + 1; j < n; ++j)
                    if (m_attrs[i] == m_attrs[j]) {
                        repeated = m_attrs[i];
                        break;
                    }
        } else {
            m_sorted = m_attrs;
            std::sort(m_sorted.begin(), m_sorted.end());
            const auto it = std::adjacent_find(m_sorted.begin(), m_sorted.end());
            if (it != m_sorted.end())
                repeated = *it;
        }
        if (!repeated.empty()) {
            // Report the second occurrence.
            size_t seen = 0;
            for (std::string_view a : m_attrs)
                if (a == repeated && seen++)
                    return fail(reinterpret_cast<const uchar *>(a.data()),
                                "attribute '" + std::string(repeated) + "' repeated");
        }
    }
    if (m_sink)
        tellInstance(element, *empty);
    return true;
}

// Tells m_sink of element, whose start tag was just read, when it is an instance.
void Checker::tellInstance(const Open &element, bool empty)
{
    const size_t level = m_open.size() - (empty ? 0 : 1);
    if (level != instancerule::kAncestors)
        return;
    for (size_t i = 0; i < level; ++i)
        if (!instancerule::admits(i, view(m_open[i].name, m_open[i].name + m_open[i].length)))
            return;
    m_sink->instance(view(element.name, element.name + element.length), firstValue(element));
}

// The value of the first attribute in the start tag of element (read and found well-formed), as a
// parser reads it; "" without one.
std::string_view Checker::firstValue(const Open &element)
{
    const uchar *q = element.name + element.length;
    while (isSpace(*q))
        ++q;
    if (*q == '>' || *q == '/')
        return {};
    q = name(q);
    while (*q != '"' && *q != '\'')
        ++q; // over S? '=' S?
    const uchar quote = *q++;
    const uchar *end = q;
    bool plain = true;
    for (; *end != quote; ++end)
        plain = plain && *end != '&' && *end != '\t' && *end != '\n' && *end != '\r';
    if (plain)
        return view(q, end);
    m_value.clear();
    while (q < end) {
        const uchar c = *q;
        if (c == '&' && q[1] == '#') {
            const uchar *saved = m_p;
            uint32_t v = 0;
            charRef(q, &v); // checked with the tag
            q = m_p;
            m_p = saved;
            appendUtf8(m_value, v);
        } else if (c == '&') {
            const uchar *semi = q + 1;
            while (*semi != ';')
                ++semi;
            const std::string_view ref = view(q + 1, semi);
            const char replaced = ref == "lt"     ? '<'
                                  : ref == "gt"   ? '>'
                                  : ref == "amp"  ? '&'
                                  : ref == "apos" ? '\''
                                  : ref == "quot" ? '"'
                                                  : 0;
            if (replaced)
                m_value += replaced;
            else
                m_value.append(view(q, semi + 1)); // not expanded here (see InstanceSink)
            q = semi + 1;
        } else if (c == '\t' || c == '\n' || c == '\r') {
            m_value += ' ';
            q += c == '\r' && q + 1 < end && q[1] == '\n' ? 2 : 1;
        } else {
            m_value += char(c);
            ++q;
        }
    }
    return m_value;
}

bool Checker::endTag()
{
    m_p += 2;
    const uchar *end = name(m_p);
    if (!end)
        return failHere(m_p, "invalid name in end tag");
    const Open &o = m_open.back();
    if (size_t(end - m_p) != o.length || std::memcmp(m_p, o.name, o.length) != 0)
        return fail(m_p, "end tag </" + std::string(view(m_p, end)) + "> does not match <" +
                             std::string(view(o.name, o.name + o.length)) + ">");
    m_p = end;
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    if (m_p >= m_lim || *m_p != '>')
        return failHere(m_p, "'>' expected to end the end tag");
    ++m_p;
    m_open.pop_back();
    return true;
}

// A quoted attribute value (also an ATTLIST default) at m_p.
bool Checker::attValue()
{
    if (m_p >= m_lim || (*m_p != '"' && *m_p != '\''))
        return failHere(m_p, "attribute value must be quoted");
    const uchar *at = m_p;
    const uchar quote = *m_p++;
    for (;;) {
        if (!chars(m_p, quote, '<', '&'))
            return false;
        if (m_p >= m_lim)
            return fail(at, "attribute value not terminated");
        if (*m_p == quote) {
            ++m_p;
            return true;
        }
        if (*m_p == '<')
            return fail(m_p, "'<' not allowed in attribute values");
        if (!reference(RefIn::Attribute))
            return false;
    }
}

// &#N; or &#xH; at "at" (after "&#"); the value must be a Char.
bool Checker::charRef(const uchar *at, uint32_t *value)
{
    const uchar *q = at + 2;
    uint64_t v = 0;
    bool digits = false;
    if (q < m_lim && *q == 'x') {
        ++q;
        for (; q < m_lim; ++q) {
            const uchar c = *q;
            uint32_t d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
                d = (c | 0x20) - 'a' + 10;
            else
                break;
            v = std::min<uint64_t>(v * 16 + d, 0x7FFFFFFF);
            digits = true;
        }
    } else {
        for (; q < m_lim && *q >= '0' && *q <= '9'; ++q) {
            v = std::min<uint64_t>(v * 10 + (*q - '0'), 0x7FFFFFFF);
            digits = true;
        }
    }
    if (!digits || q >= m_lim || *q != ';')
        return fail(at, "malformed character reference");
    if (!isChar(uint32_t(v)))
        return fail(at, "character reference to a character not allowed in XML");
    *value = uint32_t(v);
    m_p = q + 1;
    return true;
}

bool Checker::undeclared(const uchar *at, std::string_view name, bool parameter)
{
    if (m_standalone || (!m_externalSubset && !m_peRefs))
        return fail(at, std::string(parameter ? "parameter entity '%" : "entity '&") + std::string(name) +
                            ";' not declared");
    return true;
}

// An entity or character reference at m_p ('&').
bool Checker::reference(RefIn in)
{
    const uchar *at = m_p;
    if (m_lim - m_p > 1 && m_p[1] == '#') {
        uint32_t v = 0;
        return charRef(at, &v);
    }
    const uchar *end = name(m_p + 1);
    if (!end)
        return failHere(m_p + 1, "'&' must start a reference (write &amp;)");
    if (end >= m_lim || *end != ';')
        return failHere(end, "';' expected to end the entity reference");
    const std::string_view n = view(m_p + 1, end);
    m_p = end + 1;
    if (in == RefIn::EntityValue)
        return true;
    if (n == "lt" || n == "gt" || n == "amp" || n == "apos" || n == "quot")
        return true;
    const auto it = m_general.find(n);
    if (it == m_general.end())
        return undeclared(at, n, false);
    Entity &ent = it->second;
    if (ent.unparsed)
        return fail(at, "reference to the unparsed entity '" + std::string(n) + "'");
    if (in == RefIn::Attribute) {
        if (ent.external)
            return fail(at, "attribute value refers to the external entity '" + std::string(n) + "'");
        return entityInAttribute(ent, at, n);
    }
    if (ent.external)
        return true; // not read
    return entityInContent(ent, at, n);
}

template <typename F> bool Checker::inEntity(std::string_view text, const uchar *at, std::string_view name, F f)
{
    if (m_entityDepth >= kMaxEntityDepth)
        return fail(at, "entities nested too deeply");
    const uchar *savedP = m_p, *savedLim = m_lim, *savedOrigin = m_origin;
    const std::string_view savedName = m_originName;
    if (!m_origin) {
        m_origin = at;
        m_originName = name;
    }
    ++m_entityDepth;
    m_p = reinterpret_cast<const uchar *>(text.data());
    m_lim = m_p + text.size();
    const bool ok = f();
    --m_entityDepth;
    m_p = savedP;
    m_lim = savedLim;
    m_origin = savedOrigin;
    m_originName = savedName;
    return ok;
}

bool Checker::entityInContent(Entity &ent, const uchar *at, std::string_view name)
{
    if (ent.content == Entity::Good)
        return true;
    if (ent.content == Entity::Checking)
        return fail(at, "entity '" + std::string(name) + "' refers to itself");
    ent.content = Entity::Checking;
    if (!inEntity(ent.text, at, name, [this] { return content(true); }))
        return false;
    ent.content = Entity::Good;
    return true;
}

bool Checker::entityInAttribute(Entity &ent, const uchar *at, std::string_view name)
{
    if (ent.attribute == Entity::Good)
        return true;
    if (ent.attribute == Entity::Checking)
        return fail(at, "entity '" + std::string(name) + "' refers to itself");
    ent.attribute = Entity::Checking;
    const bool ok = inEntity(ent.text, at, name, [this, name] {
        for (;;) {
            if (!chars(m_p, '<', '&', '<'))
                return false;
            if (m_p >= m_lim)
                return true;
            if (*m_p == '<')
                return fail(m_p, "'<' in entity '" + std::string(name) + "' not allowed in attribute values");
            if (!reference(RefIn::Attribute))
                return false;
        }
    });
    if (!ok)
        return false;
    ent.attribute = Entity::Good;
    return true;
}

// '<!DOCTYPE' S Name (S ExternalID)? S? ('[' intSubset ']' S?)? '>'
bool Checker::doctype()
{
    const uchar *at = m_p;
    m_p += 9;
    if (!space("whitespace expected after DOCTYPE"))
        return false;
    const uchar *end = name(m_p);
    if (!end)
        return failHere(m_p, "invalid name in DOCTYPE");
    m_p = end;
    const uchar *ws = m_p;
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    if (m_p < m_lim && (*m_p == 'S' || *m_p == 'P')) {
        if (ws == m_p)
            return failHere(m_p, "whitespace expected in DOCTYPE");
        bool had = false;
        if (!externalId(false, &had))
            return false;
        if (!had)
            return failHere(m_p, "SYSTEM or PUBLIC expected in DOCTYPE");
        m_externalSubset = true;
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
    }
    if (m_p < m_lim && *m_p == '[') {
        ++m_p;
        if (!subset(false))
            return false;
        if (m_p >= m_lim)
            return fail(at, "DOCTYPE not terminated");
        ++m_p; // ']'
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
    }
    if (m_p >= m_lim || *m_p != '>')
        return failHere(m_p, "'>' expected to end the DOCTYPE");
    ++m_p;
    return true;
}

// ExternalID (or, for a notation, PublicID) at m_p; *had is false when neither keyword is there.
bool Checker::externalId(bool publicIdOnly, bool *had)
{
    *had = true;
    if (keyword("SYSTEM")) {
        if (!space("whitespace expected after SYSTEM"))
            return false;
        return quoted(false);
    }
    if (keyword("PUBLIC")) {
        if (!space("whitespace expected after PUBLIC"))
            return false;
        if (!quoted(true))
            return false;
        const uchar *ws = m_p;
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
        if (publicIdOnly && (m_p >= m_lim || (*m_p != '"' && *m_p != '\'')))
            return true;
        if (ws == m_p)
            return failHere(m_p, "whitespace expected after the public identifier");
        return quoted(false);
    }
    *had = false;
    return true;
}

// A SystemLiteral or (pubid) a PubidLiteral.
bool Checker::quoted(bool pubid)
{
    if (m_p >= m_lim || (*m_p != '"' && *m_p != '\''))
        return failHere(m_p, "quoted literal expected");
    const uchar *at = m_p;
    const uchar quote = *m_p++;
    if (pubid) {
        static constexpr std::string_view extra = " \r\n-'()+,./:=?;!*#@$_%";
        for (; m_p < m_lim && *m_p != quote; ++m_p) {
            const uchar c = *m_p;
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                            extra.find(char(c)) != std::string_view::npos;
            if (!ok)
                return failHere(m_p, "character not allowed in a public identifier");
        }
    } else if (!chars(m_p, quote, quote, quote)) {
        return false;
    }
    if (m_p >= m_lim)
        return fail(at, "literal not terminated");
    ++m_p;
    return true;
}

// Markup declarations, PE references, comments, PIs and whitespace, up to ']' (the internal
// subset) or the end of the replacement text of a parameter entity.
bool Checker::subset(bool inEntity)
{
    for (;;) {
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
        if (m_p >= m_lim)
            return inEntity ? true : fail(m_p, "DOCTYPE not terminated");
        bool ok = true;
        if (*m_p == ']' && !inEntity)
            return true;
        if (*m_p == '%')
            ok = peReference();
        else if (startsWith(m_p, m_lim, "<!--"))
            ok = comment();
        else if (startsWith(m_p, m_lim, "<?"))
            ok = pi();
        else if (startsWith(m_p, m_lim, "<!ELEMENT"))
            ok = elementDecl();
        else if (startsWith(m_p, m_lim, "<!ATTLIST"))
            ok = attlistDecl();
        else if (startsWith(m_p, m_lim, "<!ENTITY"))
            ok = entityDecl();
        else if (startsWith(m_p, m_lim, "<!NOTATION"))
            ok = notationDecl();
        else
            return failHere(m_p, "markup declaration expected in the DOCTYPE");
        if (!ok)
            return false;
    }
}

bool Checker::peReference()
{
    const uchar *at = m_p;
    const uchar *end = name(m_p + 1);
    if (!end)
        return failHere(m_p + 1, "invalid parameter entity reference");
    if (end >= m_lim || *end != ';')
        return failHere(end, "';' expected to end the parameter entity reference");
    const std::string_view n = view(m_p + 1, end);
    m_p = end + 1;
    const auto it = m_parameter.find(n);
    if (it == m_parameter.end()) {
        if (!undeclared(at, n, true))
            return false;
        m_peRefs = true;
        return true;
    }
    Entity &ent = it->second;
    if (ent.external)
        return true; // not read, and (as in libxml2) no effect on undeclared references
    m_peRefs = true;
    if (ent.subset == Entity::Good)
        return true;
    if (ent.subset == Entity::Checking)
        return fail(at, "parameter entity '%" + std::string(n) + ";' refers to itself");
    ent.subset = Entity::Checking;
    if (!inEntity(ent.text, at, n, [this] { return subset(true); }))
        return false;
    ent.subset = Entity::Good;
    return true;
}

// '<!ELEMENT' S Name S contentspec S? '>'
bool Checker::elementDecl()
{
    m_p += 9;
    if (!space("whitespace expected after <!ELEMENT"))
        return false;
    const uchar *end = name(m_p);
    if (!end)
        return failHere(m_p, "invalid element name in <!ELEMENT");
    m_p = end;
    if (!space("whitespace expected after the element name"))
        return false;
    if (!keyword("EMPTY") && !keyword("ANY")) {
        if (m_p >= m_lim || *m_p != '(')
            return failHere(m_p, "EMPTY, ANY or '(' expected in <!ELEMENT");
        if (!contentModel())
            return false;
    }
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    if (m_p >= m_lim || *m_p != '>')
        return failHere(m_p, "'>' expected to end <!ELEMENT");
    ++m_p;
    return true;
}

// Mixed or children at '('.
bool Checker::contentModel()
{
    auto skipS = [this] {
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
    };
    auto modifier = [this] {
        if (m_p < m_lim && (*m_p == '?' || *m_p == '*' || *m_p == '+'))
            ++m_p;
    };
    ++m_p;
    skipS();
    if (keyword("#PCDATA")) {
        bool names = false;
        for (;;) {
            skipS();
            if (m_p >= m_lim)
                return fail(m_p, "content model not terminated");
            if (*m_p == ')') {
                ++m_p;
                if (m_p < m_lim && *m_p == '*')
                    ++m_p;
                else if (names)
                    return failHere(m_p, "')*' expected to end a mixed content model");
                return true;
            }
            if (*m_p != '|')
                return failHere(m_p, "'|' or ')' expected in a mixed content model");
            ++m_p;
            skipS();
            const uchar *end = name(m_p);
            if (!end)
                return failHere(m_p, "element name expected in a mixed content model");
            m_p = end;
            names = true;
        }
    }
    char separators[kMaxModelDepth + 1];
    int depth = 0;
    separators[0] = 0;
    for (;;) {
        // A content particle: a name or a parenthesised group.
        skipS();
        if (m_p < m_lim && *m_p == '(') {
            if (++depth > kMaxModelDepth)
                return fail(m_p, "content model nested too deeply");
            separators[depth] = 0;
            ++m_p;
            continue;
        }
        const uchar *end = name(m_p);
        if (!end)
            return failHere(m_p, "element name or '(' expected in a content model");
        m_p = end;
        modifier();
        // What follows a particle: a separator, or the end of one or more groups.
        for (;;) {
            skipS();
            if (m_p >= m_lim)
                return fail(m_p, "content model not terminated");
            const uchar c = *m_p;
            if (c == ')') {
                ++m_p;
                modifier();
                if (--depth < 0)
                    return true;
                continue;
            }
            if (c != '|' && c != ',')
                return failHere(m_p, "',', '|' or ')' expected in a content model");
            if (separators[depth] && separators[depth] != char(c))
                return fail(m_p, "',' and '|' mixed in one group of a content model");
            separators[depth] = char(c);
            ++m_p;
            break;
        }
    }
}

// '<!ATTLIST' S Name AttDef* S? '>'
bool Checker::attlistDecl()
{
    m_p += 9;
    if (!space("whitespace expected after <!ATTLIST"))
        return false;
    const uchar *end = name(m_p);
    if (!end)
        return failHere(m_p, "invalid element name in <!ATTLIST");
    m_p = end;
    for (;;) {
        const uchar *ws = m_p;
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
        if (m_p < m_lim && *m_p == '>') {
            ++m_p;
            return true;
        }
        if (ws == m_p)
            return failHere(m_p, "whitespace or '>' expected in <!ATTLIST");
        end = name(m_p);
        if (!end)
            return failHere(m_p, "attribute name expected in <!ATTLIST");
        m_p = end;
        if (!space("whitespace expected after the attribute name"))
            return false;
        // AttType
        const uchar *word = m_p;
        while (m_p < m_lim && *m_p >= 'A' && *m_p <= 'Z')
            ++m_p;
        const std::string_view type = view(word, m_p);
        auto enumeration = [this](bool names) {
            ++m_p; // '('
            for (;;) {
                while (m_p < m_lim && isSpace(*m_p))
                    ++m_p;
                const uchar *e = names ? name(m_p) : nmtoken(m_p);
                if (!e)
                    return failHere(m_p, names ? "notation name expected" : "name token expected");
                m_p = e;
                while (m_p < m_lim && isSpace(*m_p))
                    ++m_p;
                if (m_p < m_lim && *m_p == ')') {
                    ++m_p;
                    return true;
                }
                if (m_p >= m_lim || *m_p != '|')
                    return failHere(m_p, "'|' or ')' expected in an enumeration");
                ++m_p;
            }
        };
        if (type == "NOTATION") {
            if (!space("whitespace expected after NOTATION"))
                return false;
            if (m_p >= m_lim || *m_p != '(')
                return failHere(m_p, "'(' expected after NOTATION");
            if (!enumeration(true))
                return false;
        } else if (type.empty()) {
            if (m_p >= m_lim || *m_p != '(')
                return failHere(m_p, "attribute type expected in <!ATTLIST");
            if (!enumeration(false))
                return false;
        } else if (type != "CDATA" && type != "ID" && type != "IDREF" && type != "IDREFS" && type != "ENTITY" &&
                   type != "ENTITIES" && type != "NMTOKEN" && type != "NMTOKENS") {
            return fail(word, "unknown attribute type '" + std::string(type) + "'");
        }
        if (!space("whitespace expected after the attribute type"))
            return false;
        // DefaultDecl
        if (keyword("#REQUIRED") || keyword("#IMPLIED"))
            continue;
        if (keyword("#FIXED") && !space("whitespace expected after #FIXED"))
            return false;
        if (!attValue())
            return false;
    }
}

// '<!ENTITY' S ('%' S)? Name S (EntityValue | ExternalID NDataDecl?) S? '>'
bool Checker::entityDecl()
{
    m_p += 8;
    if (!space("whitespace expected after <!ENTITY"))
        return false;
    bool parameter = false;
    if (m_p < m_lim && *m_p == '%') {
        ++m_p;
        parameter = true;
        if (!space("whitespace expected after '%'"))
            return false;
    }
    const uchar *end = name(m_p);
    if (!end)
        return failHere(m_p, "invalid entity name");
    const std::string_view n = view(m_p, end);
    m_p = end;
    if (!space("whitespace expected after the entity name"))
        return false;
    Entity ent;
    if (m_p < m_lim && (*m_p == '"' || *m_p == '\'')) {
        if (!entityValue(&ent.text))
            return false;
    } else {
        bool had = false;
        if (!externalId(false, &had))
            return false;
        if (!had)
            return failHere(m_p, "entity value or SYSTEM or PUBLIC expected");
        ent.external = true;
        const uchar *ws = m_p;
        while (m_p < m_lim && isSpace(*m_p))
            ++m_p;
        if (startsWith(m_p, m_lim, "NDATA")) {
            if (parameter)
                return fail(m_p, "NDATA not allowed on a parameter entity");
            if (ws == m_p)
                return fail(m_p, "whitespace expected before NDATA");
            m_p += 5;
            if (!space("whitespace expected after NDATA"))
                return false;
            end = name(m_p);
            if (!end)
                return failHere(m_p, "notation name expected after NDATA");
            m_p = end;
            ent.unparsed = true;
        }
    }
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    if (m_p >= m_lim || *m_p != '>')
        return failHere(m_p, "'>' expected to end <!ENTITY");
    ++m_p;
    // The first declaration binds.
    (parameter ? m_parameter : m_general).emplace(n, ent);
    return true;
}

// A quoted EntityValue; *replacement gets its text with character references replaced and
// line ends (CR LF, a lone CR) as LF, as a parser reads them.
bool Checker::entityValue(std::string_view *replacement)
{
    const uchar *at = m_p;
    const uchar quote = *m_p++;
    const uchar *start = m_p;
    bool charRefs = false;
    for (;;) {
        if (!chars(m_p, quote, '&', '%'))
            return false;
        if (m_p >= m_lim)
            return fail(at, "entity value not terminated");
        if (*m_p == quote)
            break;
        if (*m_p == '%')
            return fail(m_p, "parameter entity reference not allowed inside a declaration here");
        if (m_lim - m_p > 1 && m_p[1] == '#')
            charRefs = true;
        if (!reference(RefIn::EntityValue))
            return false;
    }
    const uchar *stop = m_p++;
    if (!charRefs && std::find(start, stop, '\r') == stop) {
        *replacement = view(start, stop);
        return true;
    }
    std::string text;
    text.reserve(size_t(stop - start));
    for (const uchar *q = start; q < stop;) {
        if (q[0] == '&' && q[1] == '#') {
            const uchar *saved = m_p;
            uint32_t v = 0;
            charRef(q, &v); // checked above
            q = m_p;
            m_p = saved;
            appendUtf8(text, v);
        } else if (*q == '\r') {
            text += '\n';
            q += q + 1 < stop && q[1] == '\n' ? 2 : 1;
        } else {
            text += char(*q++);
        }
    }
    m_expanded.push_back(std::move(text));
    *replacement = m_expanded.back();
    return true;
}

// '<!NOTATION' S Name S (ExternalID | PublicID) S? '>'
bool Checker::notationDecl()
{
    m_p += 10;
    if (!space("whitespace expected after <!NOTATION"))
        return false;
    const uchar *end = name(m_p);
    if (!end)
        return failHere(m_p, "invalid notation name");
    m_p = end;
    if (!space("whitespace expected after the notation name"))
        return false;
    bool had = false;
    if (!externalId(true, &had))
        return false;
    if (!had)
        return failHere(m_p, "SYSTEM or PUBLIC expected in <!NOTATION");
    while (m_p < m_lim && isSpace(*m_p))
        ++m_p;
    if (m_p >= m_lim || *m_p != '>')
        return failHere(m_p, "'>' expected to end <!NOTATION");
    ++m_p;
    return true;
}

// Runs the check; a fault goes to *error (when not null).
bool verdict(Checker &checker, WellFormedError *error)
{
    if (checker.document())
        return true;
    if (error) {
        error->offset = checker.errorOffset;
        error->message = std::move(checker.errorMessage);
    }
    return false;
}

} // namespace

bool checkWellFormed(std::string_view utf8, WellFormedError *error, DeclaredEntities *entities)
{
    const auto *begin = reinterpret_cast<const uchar *>(utf8.data());
    Checker checker(begin, begin + utf8.size());
    if (!verdict(checker, error))
        return false;
    if (entities)
        checker.declared(*entities);
    return true;
}

bool checkWellFormed(std::string_view utf8, WellFormedError *error, const CheckProgress &reached)
{
    const auto *begin = reinterpret_cast<const uchar *>(utf8.data());
    Checker checker(begin, begin + utf8.size(), &reached);
    return verdict(checker, error);
}

bool checkWellFormed(std::string_view utf8, WellFormedError *error, InstanceSink &sink)
{
    const auto *begin = reinterpret_cast<const uchar *>(utf8.data());
    Checker checker(begin, begin + utf8.size(), nullptr, &sink);
    return verdict(checker, error);
}

} // namespace quillon
