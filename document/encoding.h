#pragma once
// The encodings of XML files, in one place: how a file's encoding is told (byte order mark,
// the start of a UTF-16 declaration, the declared name) and which files are refused, the
// conversion of a file's bytes to UTF-8 and of UTF-8 back to the file's encoding, and the
// UTF-8 coding of single code points. Private to the library.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon {

enum class XmlEncoding { Utf8, Utf16LE, Utf16BE, Latin1, Windows1252, Ascii };

namespace encoding {

// What detect() found.
struct Detected {
    XmlEncoding encoding = XmlEncoding::Utf8;
    bool bom = false; // the file starts with a byte order mark
    size_t bomSize = 0; // its length in bytes (3 for UTF-8, 2 for UTF-16)
};

// The encoding of a file's bytes: a byte order mark first, then the start of a UTF-16
// declaration ("<?" in two-byte units), then the encoding its declaration names (UTF-8 when
// none, or when the name is not even one). False, with the reason in words, for what the
// editor does not read: UTF-32, an encoding it does not know, a declaration that contradicts
// the bytes, US-ASCII with bytes above 0x7F.
bool detect(const char *data, size_t size, Detected &out, QString &reason);

// The encoding for text already decoded (handed over as UTF-8): the one its declaration names,
// UTF-8 when none or an unknown one. A declared UTF-16 is written little-endian with a BOM.
Detected detectText(const char *utf8, size_t size);

// Whether bytes in e must be converted to be UTF-8 (US-ASCII and UTF-8 need not).
bool needsDecoding(XmlEncoding e);

// The most UTF-8 bytes that decode() makes of size bytes in e.
size_t utf8Capacity(XmlEncoding e, size_t size);

// Converts size bytes in e (after the BOM) to UTF-8 at out, which has room for
// utf8Capacity(e, size) bytes; written is set to the bytes made. False for UTF-16 with an
// unpaired surrogate (reason set; offset is the bytes before data in the file, for the
// message).
bool decode(XmlEncoding e, const char *data, size_t size, char *out, size_t &written, QString &reason,
            size_t offset = 0);

// A whole file's bytes as UTF-8 without a byte order mark; on a refusal an empty array and
// the reason.
QByteArray fileToUtf8(const QByteArray &bytes, QString &reason);

// Whether e holds the code point cp (else a writer uses a character reference).
bool representable(XmlEncoding e, uint32_t cp);

// Whether e holds every code point of the UTF-8 text [utf8, utf8 + size).
bool representableUtf8(XmlEncoding e, const char *utf8, size_t size);

// The usual name of e, as a declaration writes it ("US-ASCII", "ISO-8859-1", ...).
QString displayName(XmlEncoding e);

// Appends cp in e to out; a code point e cannot hold becomes '?'.
void encode(XmlEncoding e, uint32_t cp, std::string &out);
// Appends the UTF-8 text [utf8, utf8 + size) in e to out, as encode() does each code point.
void encodeUtf8(XmlEncoding e, const char *utf8, size_t size, std::string &out);

// The byte of cp in windows-1252, or -1 when it has none.
int cp1252Byte(uint32_t cp);

// Decodes one UTF-8 sequence at p (not past end) and advances p; an invalid byte gives U+FFFD
// and advances by one.
uint32_t decodeUtf8(const unsigned char *&p, const unsigned char *end);

// UTF-8 (NUL-terminated when size is -1) as a QString, a leading U+FEFF kept: it is part of a
// name or value here, while QString::fromUtf8 takes it for a byte order mark and drops it.
QString toQString(const char *utf8, qsizetype size = -1);
// Writes cp as UTF-8 at out (up to four bytes) and advances out.
void putUtf8(char *&out, uint32_t cp);

} // namespace encoding
} // namespace quillon
