#include "document/encoding.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace quillon::encoding {

namespace {

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string lower(std::string s)
{
    for (char &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The value of the encoding pseudo-attribute of a declaration at p (ASCII bytes), as written.
std::string declaredName(const char *p, size_t n)
{
    if (n < 6 || std::memcmp(p, "<?xml", 5) != 0 || !isXmlSpace(p[5]))
        return {};
    const size_t limit = std::min<size_t>(n, 1024);
    const std::string_view decl(p, limit);
    const size_t end = decl.find("?>");
    const size_t at = decl.find("encoding");
    if (end == std::string_view::npos || at == std::string_view::npos || at > end)
        return {};
    size_t i = at + 8;
    while (i < end && isXmlSpace(decl[i]))
        ++i;
    if (i >= end || decl[i] != '=')
        return {};
    ++i;
    while (i < end && isXmlSpace(decl[i]))
        ++i;
    if (i >= end || (decl[i] != '"' && decl[i] != '\''))
        return {};
    const char quote = decl[i++];
    std::string name;
    for (; i < end && decl[i] != quote; ++i)
        name += decl[i];
    return name;
}

// The length of the declaration at p ("<?xml ... ?>"), 0 when there is none.
size_t declarationSize(const char *p, size_t n)
{
    const std::string_view head(p, std::min<size_t>(n, 1024));
    const size_t end = head.find("?>");
    return head.rfind("<?xml", 0) == 0 && end != std::string_view::npos ? end + 2 : 0;
}

bool isUtf8Name(const std::string &lowerName)
{
    return lowerName == "utf-8" || lowerName == "utf8";
}

bool isUtf16Name(const std::string &lowerName)
{
    return lowerName == "utf-16" || lowerName == "utf-16le" || lowerName == "utf-16be";
}

// A declared name that is not even one (the well-formedness check then points at it).
bool isMalformedName(const std::string &name)
{
    return name.empty() || !std::isalpha(static_cast<unsigned char>(name[0])) ||
           !std::all_of(name.begin(), name.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
           });
}

// The usual names of the encodings most files declare, by any of their names (lower case).
// iconv takes each name given here too, except the two that map to a name it does.
struct Usual {
    const char *display;
    const char *iconvName; // null: the name as declared
};

const Usual *usual(const std::string &lowerName)
{
    static const Usual latin1{"ISO-8859-1", nullptr}, latin1Alias{"ISO-8859-1", "ISO-8859-1"},
        cp1252{"windows-1252", nullptr}, cp1252Alias{"windows-1252", "CP1252"}, ascii{"US-ASCII", nullptr};
    static const std::unordered_map<std::string, const Usual *> names = {
        {"iso-8859-1", &latin1},    {"iso8859-1", &latin1},    {"iso_8859-1", &latin1},   {"iso_8859-1:1987", &latin1},
        {"latin1", &latin1},        {"latin-1", &latin1Alias}, {"l1", &latin1},           {"cp819", &latin1},
        {"ibm819", &latin1},        {"iso-ir-100", &latin1},   {"windows-1252", &cp1252}, {"cp1252", &cp1252},
        {"x-cp1252", &cp1252Alias}, {"us-ascii", &ascii},      {"ascii", &ascii},         {"iso646-us", &ascii},
        {"ansi_x3.4-1968", &ascii},
    };
    const auto it = names.find(lowerName);
    return it == names.end() ? nullptr : it->second;
}

// The name iconv knows an encoding by.
std::string iconvName(const std::string &name)
{
    const Usual *u = usual(lower(name));
    return u && u->iconvName ? u->iconvName : name;
}

bool isWindows1252(const XmlEncoding &e)
{
    const Usual *u = e.kind == XmlEncoding::Other ? usual(lower(e.name)) : nullptr;
    return u && std::strcmp(u->display, "windows-1252") == 0;
}

constexpr bool isC1Gap(uint32_t c)
{
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

// An iconv descriptor, closed with the object.
class Iconv {
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) { }
    ~Iconv()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;
    bool ok() const { return m_cd != iconv_t(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Converts [in, in + size) to UTF-8 at out (room for room bytes). False at the first byte that
// is no character, with its offset in bad (bad = size when out had no room).
bool iconvToUtf8(iconv_t cd, bool c1Gaps, const char *in, size_t size, char *out, size_t room, size_t &written,
                 size_t &bad)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *src = const_cast<char *>(in);
    size_t left = size;
    char *dst = out;
    size_t dstLeft = room;
    while (left > 0) {
        if (iconv(cd, &src, &left, &dst, &dstLeft) != size_t(-1))
            break;
        const auto b = static_cast<unsigned char>(*src);
        if (errno == EILSEQ && c1Gaps && isC1Gap(b) && dstLeft >= 2) {
            putUtf8(dst, b);
            dstLeft -= 2;
            ++src;
            --left;
            continue;
        }
        bad = errno == E2BIG ? size : size_t(src - in);
        return false;
    }
    // A decoder that combines characters may still hold the last one.
    if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) == size_t(-1)) {
        bad = size;
        return false;
    }
    written = size_t(dst - out);
    return true;
}

// Whether the encoding of e switches between character sets: a character it holds then leaves
// it in a state that ends with bytes of their own.
bool isStateful(const std::string &name)
{
    Iconv cd(name.c_str(), "UTF-8");
    if (!cd.ok())
        return false;
    for (const char *probe : {"\xC3\xA9", "\xE3\x81\x82", "\xE4\xB8\x80", "\xD0\x96"}) {
        char out[32];
        char *src = const_cast<char *>(probe), *dst = out;
        size_t left = std::strlen(probe), room = sizeof out;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd.get(), &src, &left, &dst, &room) == size_t(-1))
            continue;
        const size_t before = room;
        iconv(cd.get(), nullptr, nullptr, &dst, &room);
        if (room != before)
            return true;
    }
    return false;
}

// Whether iconv converts both ways between UTF-8 and the encoding named.
bool iconvKnows(const std::string &name)
{
    Iconv in("UTF-8", name.c_str()), out(name.c_str(), "UTF-8");
    return in.ok() && out.ok();
}

// Whether the declaration [p, p + n) reads the same in the encoding named: one that does not
// write ASCII as single bytes (UCS-2, UTF-32, ...) makes something else of it.
bool readsDeclaration(const std::string &name, const char *p, size_t n)
{
    Iconv cd("UTF-8", name.c_str());
    char out[4096];
    size_t written = 0, bad = 0;
    return cd.ok() && iconvToUtf8(cd.get(), false, p, n, out, sizeof out, written, bad) && written == n &&
           std::memcmp(out, p, n) == 0;
}

bool decodeUtf16(const char *data, size_t size, bool bigEndian, char *out, size_t &written, QString &reason,
                 size_t offset)
{
    const auto *in = reinterpret_cast<const unsigned char *>(data);
    const size_t units = size / 2;
    char *o = out;
    auto unit = [&](size_t i) -> uint32_t {
        const unsigned char a = in[2 * i], b = in[2 * i + 1];
        return bigEndian ? (uint32_t(a) << 8 | b) : (uint32_t(b) << 8 | a);
    };
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xE000) {
            const uint32_t low = u < 0xDC00 && i + 1 < units ? unit(i + 1) : 0;
            if (low < 0xDC00 || low >= 0xE000) {
                reason = QCoreApplication::translate("Encoding", "UTF-16 with an unpaired surrogate (0x%1) at byte %2")
                             .arg(u, 4, 16, QLatin1Char('0'))
                             .arg(offset + 2 * i);
                return false;
            }
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        putUtf8(o, u);
    }
    written = size_t(o - out);
    return true;
}

void putUtf16(bool bigEndian, uint32_t u, std::string &out)
{
    if (bigEndian) {
        out.push_back(char(u >> 8));
        out.push_back(char(u & 0xFF));
    } else {
        out.push_back(char(u & 0xFF));
        out.push_back(char(u >> 8));
    }
}

void appendUtf16(bool bigEndian, uint32_t cp, std::string &out)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        putUtf16(bigEndian, 0xD800 + (cp >> 10), out);
        putUtf16(bigEndian, 0xDC00 + (cp & 0x3FF), out);
    } else {
        putUtf16(bigEndian, cp, out);
    }
}

} // namespace

bool detect(const char *data, size_t n, Detected &fmt, QString &reason)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    fmt = Detected();
    if ((n >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0xFE && p[3] == 0xFF) ||
        (n >= 4 && p[0] == 0xFF && p[1] == 0xFE && p[2] == 0 && p[3] == 0)) {
        reason = QCoreApplication::translate("Encoding", "UTF-32 is not supported");
        return false;
    }
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        if (isUtf16Name(lower(declaredName(data + 3, n - 3)))) {
            reason = QCoreApplication::translate(
                "Encoding", "the declaration says UTF-16 but the file is UTF-8 (it starts with a UTF-8 BOM)");
            return false;
        }
        fmt.encoding = XmlEncoding::Utf8;
        fmt.bom = true;
        fmt.bomSize = 3;
        return true;
    }
    if (n >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
        fmt.bom = true;
        fmt.bomSize = 2;
        fmt.encoding = p[0] == 0xFF ? XmlEncoding::Utf16LE : XmlEncoding::Utf16BE;
        return true;
    }
    // Without a BOM, UTF-16 is recognised by the start of its declaration ("<?").
    if (n >= 4 && ((p[0] == '<' && p[1] == 0 && p[2] == '?' && p[3] == 0) ||
                   (p[0] == 0 && p[1] == '<' && p[2] == 0 && p[3] == '?'))) {
        fmt.encoding = p[0] == 0 ? XmlEncoding::Utf16BE : XmlEncoding::Utf16LE;
        return true;
    }
    const std::string declared = declaredName(data, n);
    const std::string name = lower(declared);
    if (isUtf8Name(name) || (!usual(name) && isMalformedName(declared))) {
        // No declared encoding, or a name that is not even one: UTF-8 (the well-formedness
        // check then points at a malformed name).
        fmt.encoding = XmlEncoding::Utf8;
        return true;
    }
    const QString shown = QString::fromLatin1(name.c_str());
    if (isUtf16Name(name) ||
        (iconvKnows(iconvName(declared)) && !readsDeclaration(iconvName(declared), data, declarationSize(data, n)))) {
        reason =
            QCoreApplication::translate("Encoding", "the declaration says %1 but the file is written in single bytes")
                .arg(shown.toUpper());
        return false;
    }
    if (!iconvKnows(iconvName(declared))) {
        reason = QCoreApplication::translate("Encoding", "the encoding \"%1\" is not supported").arg(shown);
        return false;
    }
    if (isStateful(iconvName(declared))) {
        reason = QCoreApplication::translate(
                     "Encoding", "the encoding \"%1\" is not supported: it switches between character sets within "
                                 "the text")
                     .arg(shown);
        return false;
    }
    fmt.encoding = XmlEncoding(XmlEncoding::Other, declared);
    return true;
}

Detected detectText(const char *utf8, size_t size)
{
    Detected d;
    const std::string declared = declaredName(utf8, size);
    const std::string name = lower(declared);
    if (isUtf16Name(name)) {
        d.encoding = XmlEncoding::Utf16LE;
        d.bom = true;
    } else if (!isUtf8Name(name) && (usual(name) || !isMalformedName(declared)) && iconvKnows(iconvName(declared)) &&
               !isStateful(iconvName(declared)) &&
               readsDeclaration(iconvName(declared), utf8, declarationSize(utf8, size))) {
        d.encoding = XmlEncoding(XmlEncoding::Other, declared);
    }
    return d;
}

bool needsDecoding(const XmlEncoding &e)
{
    return e.kind != XmlEncoding::Utf8;
}

size_t utf8Capacity(const XmlEncoding &e, size_t size)
{
    switch (e.kind) {
    case XmlEncoding::Utf8:
        return size;
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        return size / 2 * 3; // a pair of units (4 bytes) makes 4
    case XmlEncoding::Other:
        break;
    }
    return size * 4 + 16; // a byte makes at most three; the rest is room for what iconv holds back
}

bool decode(const XmlEncoding &e, const char *data, size_t size, char *out, size_t &written, QString &reason,
            size_t offset)
{
    switch (e.kind) {
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        return decodeUtf16(data, size, e == XmlEncoding::Utf16BE, out, written, reason, offset);
    case XmlEncoding::Utf8:
        if (size)
            std::memcpy(out, data, size);
        written = size;
        return true;
    case XmlEncoding::Other:
        break;
    }
    Iconv cd("UTF-8", iconvName(e.name).c_str());
    size_t bad = 0;
    if (cd.ok() && iconvToUtf8(cd.get(), isWindows1252(e), data, size, out, utf8Capacity(e, size), written, bad))
        return true;
    reason = QCoreApplication::translate("Encoding",
                                         "the encoding \"%1\" is not supported or the file does not match it (byte %2)")
                 .arg(QString::fromStdString(lower(e.name)))
                 .arg(offset + bad);
    return false;
}

QByteArray fileToUtf8(const QByteArray &bytes, QString &reason)
{
    Detected d;
    if (!detect(bytes.constData(), size_t(bytes.size()), d, reason))
        return {};
    const char *data = bytes.constData() + d.bomSize;
    const size_t size = size_t(bytes.size()) - d.bomSize;
    if (!needsDecoding(d.encoding))
        return d.bomSize ? bytes.mid(qsizetype(d.bomSize)) : bytes;
    QByteArray out(qsizetype(utf8Capacity(d.encoding, size)), Qt::Uninitialized);
    size_t written = 0;
    if (!decode(d.encoding, data, size, out.data(), written, reason, d.bomSize))
        return {};
    out.truncate(qsizetype(written));
    return out;
}

bool writesBack(const XmlEncoding &e, const char *bytes, size_t size, const char *utf8, size_t utf8Size, size_t &at)
{
    if (e.unicode())
        return true;
    Encoder enc(e);
    constexpr size_t kPiece = size_t(1) << 20;
    std::string back;
    size_t done = 0; // bytes compared
    for (size_t from = 0; from < utf8Size;) {
        size_t to = std::min(utf8Size, from + kPiece);
        while (to < utf8Size && (static_cast<unsigned char>(utf8[to]) & 0xC0) == 0x80)
            ++to; // not inside a character
        back.clear();
        enc.append(utf8 + from, to - from, back);
        const size_t n = std::min(back.size(), size - done);
        const auto diff = std::mismatch(back.begin(), back.begin() + ptrdiff_t(n), bytes + done);
        if (diff.first != back.begin() + ptrdiff_t(n) || n != back.size()) {
            at = done + size_t(diff.first - back.begin());
            return false;
        }
        done += n;
        from = to;
    }
    at = done;
    return done == size;
}

Encoder::Encoder(const XmlEncoding &e) : m_e(e), m_cd(nullptr), m_c1Gaps(isWindows1252(e))
{
    if (e.kind == XmlEncoding::Other) {
        const iconv_t cd = iconv_open(iconvName(e.name).c_str(), "UTF-8");
        m_cd = cd == iconv_t(-1) ? nullptr : cd;
    }
}

Encoder::~Encoder()
{
    if (m_cd)
        iconv_close(iconv_t(m_cd));
}

bool Encoder::representable(uint32_t cp)
{
    if (m_e.unicode())
        return true;
    if (!m_cd)
        return cp < 0x80;
    if (m_c1Gaps && isC1Gap(cp))
        return true;
    char in[4], out[32];
    char *end = in;
    putUtf8(end, cp);
    char *src = in, *dst = out;
    size_t left = size_t(end - in), room = sizeof out;
    iconv(iconv_t(m_cd), nullptr, nullptr, nullptr, nullptr);
    return iconv(iconv_t(m_cd), &src, &left, &dst, &room) != size_t(-1);
}

bool Encoder::representableUtf8(const char *utf8, size_t size)
{
    if (m_e.unicode())
        return true;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    const auto *end = p + size;
    while (p < end)
        if (!representable(decodeUtf8(p, end)))
            return false;
    return true;
}

void Encoder::append(const char *utf8, size_t size, std::string &out)
{
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    const auto *end = p + size;
    switch (m_e.kind) {
    case XmlEncoding::Utf8:
        out.append(utf8, size);
        return;
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        while (p < end)
            appendUtf16(m_e == XmlEncoding::Utf16BE, decodeUtf8(p, end), out);
        return;
    case XmlEncoding::Other:
        break;
    }
    if (!m_cd) {
        while (p < end) {
            const uint32_t cp = decodeUtf8(p, end);
            out.push_back(cp < 0x80 ? char(cp) : '?');
        }
        return;
    }
    const auto cd = iconv_t(m_cd);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buf[4096];
    char *src = const_cast<char *>(utf8);
    size_t left = size;
    while (true) {
        char *dst = buf;
        size_t room = sizeof buf;
        const size_t r = left ? iconv(cd, &src, &left, &dst, &room) : iconv(cd, nullptr, nullptr, &dst, &room);
        const int err = errno;
        out.append(buf, size_t(dst - buf));
        if (r != size_t(-1)) {
            if (!left && dst == buf)
                return;
            continue;
        }
        if (err == E2BIG)
            continue;
        // A character the encoding cannot hold, or a malformed sequence: one '?' for it.
        auto *at = reinterpret_cast<const unsigned char *>(src);
        const uint32_t cp = decodeUtf8(at, end);
        out.push_back(m_c1Gaps && isC1Gap(cp) ? char(cp) : '?');
        left -= size_t(at - reinterpret_cast<const unsigned char *>(src));
        src = const_cast<char *>(reinterpret_cast<const char *>(at));
    }
}

bool representableUtf8(const XmlEncoding &e, const char *utf8, size_t size)
{
    return e.unicode() || Encoder(e).representableUtf8(utf8, size);
}

QString displayName(const XmlEncoding &e)
{
    switch (e.kind) {
    case XmlEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        return QStringLiteral("UTF-16");
    case XmlEncoding::Other:
        break;
    }
    const Usual *u = usual(lower(e.name));
    return u ? QString::fromLatin1(u->display) : QString::fromStdString(e.name);
}

bool representable(const XmlEncoding &e, uint32_t cp)
{
    return e.unicode() || Encoder(e).representable(cp);
}

void encodeUtf8(const XmlEncoding &e, const char *utf8, size_t size, std::string &out)
{
    Encoder(e).append(utf8, size, out);
}

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

void putUtf8(char *&out, uint32_t cp)
{
    if (cp < 0x80) {
        *out++ = char(cp);
    } else if (cp < 0x800) {
        *out++ = char(0xC0 | (cp >> 6));
        *out++ = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = char(0xE0 | (cp >> 12));
        *out++ = char(0x80 | ((cp >> 6) & 0x3F));
        *out++ = char(0x80 | (cp & 0x3F));
    } else {
        *out++ = char(0xF0 | (cp >> 18));
        *out++ = char(0x80 | ((cp >> 12) & 0x3F));
        *out++ = char(0x80 | ((cp >> 6) & 0x3F));
        *out++ = char(0x80 | (cp & 0x3F));
    }
}

QString toQString(const char *utf8, qsizetype size)
{
    if (size < 0)
        size = qsizetype(std::strlen(utf8));
    if (size < 3 || std::memcmp(utf8, "\xEF\xBB\xBF", 3) != 0)
        return QString::fromUtf8(utf8, size);
    QStringDecoder keep(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return keep(QByteArrayView(utf8, size));
}

} // namespace quillon::encoding
