#include "document/encoding.h"

#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace quillon::encoding {

namespace {

// Windows-1252 bytes 0x80-0x9F; the five undefined ones stand for the same C1 code point.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The value of the encoding pseudo-attribute of a declaration at p (ASCII bytes), lower-cased.
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
        name += char(std::tolower(static_cast<unsigned char>(decl[i])));
    return name;
}

enum class Known { Utf8, Utf16, Latin1, Windows1252, Ascii, Unknown };

Known byName(const std::string &name)
{
    static const std::unordered_map<std::string, Known> names = {
        {"utf-8", Known::Utf8},
        {"utf8", Known::Utf8},
        {"utf-16", Known::Utf16},
        {"utf-16le", Known::Utf16},
        {"utf-16be", Known::Utf16},
        {"iso-8859-1", Known::Latin1},
        {"iso8859-1", Known::Latin1},
        {"iso_8859-1", Known::Latin1},
        {"iso_8859-1:1987", Known::Latin1},
        {"latin1", Known::Latin1},
        {"latin-1", Known::Latin1},
        {"l1", Known::Latin1},
        {"cp819", Known::Latin1},
        {"ibm819", Known::Latin1},
        {"iso-ir-100", Known::Latin1},
        {"windows-1252", Known::Windows1252},
        {"cp1252", Known::Windows1252},
        {"x-cp1252", Known::Windows1252},
        {"us-ascii", Known::Ascii},
        {"ascii", Known::Ascii},
        {"iso646-us", Known::Ascii},
        {"ansi_x3.4-1968", Known::Ascii},
    };
    const auto it = names.find(name);
    return it == names.end() ? Known::Unknown : it->second;
}

bool hasHighBytes(const char *data, size_t size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    for (size_t i = 0; i < size; ++i)
        if (p[i] >= 0x80)
            return true;
    return false;
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
                reason = QStringLiteral("UTF-16 with an unpaired surrogate (0x%1) at byte %2")
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

void decodeSingleByte(const char *data, size_t size, bool windows1252, char *out, size_t &written)
{
    char *o = out;
    const auto *in = reinterpret_cast<const unsigned char *>(data);
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = in[i];
        putUtf8(o, windows1252 && c >= 0x80 && c < 0xA0 ? uint32_t(kCp1252High[c - 0x80]) : uint32_t(c));
    }
    written = size_t(o - out);
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

} // namespace

bool detect(const char *data, size_t n, Detected &fmt, QString &reason)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    fmt = Detected();
    if ((n >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0xFE && p[3] == 0xFF) ||
        (n >= 4 && p[0] == 0xFF && p[1] == 0xFE && p[2] == 0 && p[3] == 0)) {
        reason = QStringLiteral("UTF-32 is not supported");
        return false;
    }
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        if (byName(declaredName(data + 3, n - 3)) == Known::Utf16) {
            reason = QStringLiteral("the declaration says UTF-16 but the file is UTF-8 (it starts with a UTF-8 BOM)");
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
    switch (byName(declared)) {
    case Known::Utf8:
        fmt.encoding = XmlEncoding::Utf8;
        return true;
    case Known::Utf16:
        reason = QStringLiteral("the declaration says %1 but the file is written in single bytes")
                     .arg(QString::fromLatin1(declared.c_str()).toUpper());
        return false;
    case Known::Latin1:
        fmt.encoding = XmlEncoding::Latin1;
        return true;
    case Known::Windows1252:
        fmt.encoding = XmlEncoding::Windows1252;
        return true;
    case Known::Unknown:
        // No declared encoding, or a name that is not even one: UTF-8 (the well-formedness
        // check then points at a malformed name).
        if (declared.empty() || !std::isalpha(static_cast<unsigned char>(declared[0])) ||
            !std::all_of(declared.begin(), declared.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
            })) {
            fmt.encoding = XmlEncoding::Utf8;
            return true;
        }
        reason = QStringLiteral("the encoding \"%1\" is not supported").arg(QString::fromLatin1(declared.c_str()));
        return false;
    case Known::Ascii:
        fmt.encoding = XmlEncoding::Ascii;
        if (hasHighBytes(data, n)) {
            reason = QStringLiteral("the encoding \"%1\" is not supported or the file does not match it")
                         .arg(QString::fromLatin1(declared));
            return false;
        }
        return true;
    }
    return true;
}

Detected detectText(const char *utf8, size_t size)
{
    Detected d;
    switch (byName(declaredName(utf8, size))) {
    case Known::Utf16:
        d.encoding = XmlEncoding::Utf16LE;
        d.bom = true;
        break;
    case Known::Latin1:
        d.encoding = XmlEncoding::Latin1;
        break;
    case Known::Windows1252:
        d.encoding = XmlEncoding::Windows1252;
        break;
    case Known::Ascii:
        d.encoding = XmlEncoding::Ascii;
        break;
    default:
        d.encoding = XmlEncoding::Utf8;
        break;
    }
    return d;
}

bool needsDecoding(XmlEncoding e)
{
    return e != XmlEncoding::Utf8 && e != XmlEncoding::Ascii;
}

size_t utf8Capacity(XmlEncoding e, size_t size)
{
    switch (e) {
    case XmlEncoding::Utf8:
    case XmlEncoding::Ascii:
        return size;
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        return size / 2 * 3; // a pair of units (4 bytes) makes 4
    case XmlEncoding::Latin1:
    case XmlEncoding::Windows1252:
        return size * 3;
    }
    return size * 3;
}

bool decode(XmlEncoding e, const char *data, size_t size, char *out, size_t &written, QString &reason, size_t offset)
{
    switch (e) {
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        return decodeUtf16(data, size, e == XmlEncoding::Utf16BE, out, written, reason, offset);
    case XmlEncoding::Latin1:
    case XmlEncoding::Windows1252:
        decodeSingleByte(data, size, e == XmlEncoding::Windows1252, out, written);
        return true;
    case XmlEncoding::Utf8:
    case XmlEncoding::Ascii:
        if (size)
            std::memcpy(out, data, size);
        written = size;
        return true;
    }
    return true;
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

int cp1252Byte(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return int(cp);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == cp)
            return 0x80 + i;
    return -1;
}

bool representableUtf8(XmlEncoding e, const char *utf8, size_t size)
{
    if (e == XmlEncoding::Utf8 || e == XmlEncoding::Utf16LE || e == XmlEncoding::Utf16BE)
        return true;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    const auto *end = p + size;
    while (p < end)
        if (!representable(e, decodeUtf8(p, end)))
            return false;
    return true;
}

QString displayName(XmlEncoding e)
{
    switch (e) {
    case XmlEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        return QStringLiteral("UTF-16");
    case XmlEncoding::Latin1:
        return QStringLiteral("ISO-8859-1");
    case XmlEncoding::Windows1252:
        return QStringLiteral("windows-1252");
    case XmlEncoding::Ascii:
        return QStringLiteral("US-ASCII");
    }
    return {};
}

bool representable(XmlEncoding e, uint32_t cp)
{
    switch (e) {
    case XmlEncoding::Utf8:
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        return true;
    case XmlEncoding::Latin1:
        return cp <= 0xFF;
    case XmlEncoding::Ascii:
        return cp < 0x80;
    case XmlEncoding::Windows1252:
        return cp1252Byte(cp) >= 0;
    }
    return true;
}

void encode(XmlEncoding e, uint32_t cp, std::string &out)
{
    switch (e) {
    case XmlEncoding::Utf8: {
        char tmp[4];
        char *o = tmp;
        putUtf8(o, cp);
        out.append(tmp, size_t(o - tmp));
        break;
    }
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE: {
        const bool be = e == XmlEncoding::Utf16BE;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            putUtf16(be, 0xD800 + (cp >> 10), out);
            putUtf16(be, 0xDC00 + (cp & 0x3FF), out);
        } else {
            putUtf16(be, cp, out);
        }
        break;
    }
    case XmlEncoding::Windows1252: {
        const int b = cp1252Byte(cp);
        out.push_back(b < 0 ? '?' : char(b));
        break;
    }
    case XmlEncoding::Latin1:
    case XmlEncoding::Ascii:
        out.push_back(representable(e, cp) ? char(cp) : '?');
        break;
    }
}

void encodeUtf8(XmlEncoding e, const char *utf8, size_t size, std::string &out)
{
    if (e == XmlEncoding::Utf8) {
        out.append(utf8, size);
        return;
    }
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    const auto *end = p + size;
    while (p < end)
        encode(e, decodeUtf8(p, end), out);
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
