#pragma once
// The encodings of XML files, in one place: how a file's encoding is told (byte order mark,
// the start of a UTF-16 declaration, the declared name) and which files are refused, the
// conversion of a file's bytes to UTF-8 and of UTF-8 back to the file's encoding, and the
// UTF-8 coding of single code points. UTF-8 and UTF-16 are converted here; every other
// encoding by the C library's iconv, under the name the declaration gives it. Encodings that
// switch between character sets inside the text (ISO-2022-JP, UTF-7, ...) are refused: a
// stretch of such a file cannot be converted apart from what stands before it, and the writer
// converts the stretches it copies one by one. Private to the library.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace quillon {

// A file's encoding: UTF-8, UTF-16 of either byte order, or another one that iconv converts.
struct XmlEncoding {
    enum Kind { Utf8, Utf16LE, Utf16BE, Other };
    Kind kind = Utf8;
    std::string name; // Other: the name iconv knows it by
    XmlEncoding(Kind k = Utf8, std::string n = {}) : kind(k), name(std::move(n)) { }
    bool operator==(Kind k) const { return kind == k; }
    // Whether it holds every code point.
    bool unicode() const { return kind != Other; }
};

namespace encoding {

// What detect() found.
struct Detected {
    XmlEncoding encoding = XmlEncoding::Utf8;
    bool bom = false; // the file starts with a byte order mark
    size_t bomSize = 0; // its length in bytes (3 for UTF-8, 2 for UTF-16)
};

// The encoding of a file's bytes: a byte order mark first, then the start of a UTF-16
// declaration ("<?" in two-byte units), then the encoding its declaration names (UTF-8 when
// none, or when the name is not even one; matched as iconv matches names, in any case). False,
// with the reason in words, for what the editor does not read: UTF-32, an encoding iconv does
// not know, one that switches character sets, a declaration that contradicts the bytes. Bytes
// the encoding has no character for are found by decode().
bool detect(const char *data, size_t size, Detected &out, QString &reason);

// The encoding for text already decoded (handed over as UTF-8): the one its declaration names,
// UTF-8 when none or an unknown one. A declared UTF-16 is written little-endian with a BOM.
Detected detectText(const char *utf8, size_t size);

// Whether bytes in e must be converted to be UTF-8 (UTF-8 need not).
bool needsDecoding(const XmlEncoding &e);

// The most UTF-8 bytes that decode() makes of size bytes in e.
size_t utf8Capacity(const XmlEncoding &e, size_t size);

// Converts size bytes in e (after the BOM) to UTF-8 at out, which has room for
// utf8Capacity(e, size) bytes; written is set to the bytes made. False for UTF-16 with an
// unpaired surrogate or bytes that are no character of e (reason set; offset is the bytes
// before data in the file, for the message).
bool decode(const XmlEncoding &e, const char *data, size_t size, char *out, size_t &written, QString &reason,
            size_t offset = 0);

// A whole file's bytes as UTF-8 without a byte order mark; on a refusal an empty array and
// the reason.
QByteArray fileToUtf8(const QByteArray &bytes, QString &reason);

// Whether e holds the code point cp (else a writer uses a character reference).
bool representable(const XmlEncoding &e, uint32_t cp);

// Whether e holds every code point of the UTF-8 text [utf8, utf8 + size).
bool representableUtf8(const XmlEncoding &e, const char *utf8, size_t size);

// The usual name of e, as a declaration writes it ("US-ASCII", "ISO-8859-1", ...; another
// name as the declaration wrote it).
QString displayName(const XmlEncoding &e);

// Appends the UTF-8 text [utf8, utf8 + size) in e to out; a code point e cannot hold becomes '?'.
void encodeUtf8(const XmlEncoding &e, const char *utf8, size_t size, std::string &out);

// Whether encoding e makes the bytes of size bytes from the UTF-8 text that decode() made of
// them: a file whose bytes it would write otherwise (two byte sequences for one character)
// cannot be written back as it was. False with the offset of the first byte that differs.
bool writesBack(const XmlEncoding &e, const char *bytes, size_t size, const char *utf8, size_t utf8Size, size_t &at);

// Converts UTF-8 to one encoding, for a writer that converts many pieces: the converter is
// opened once. Not copyable.
class Encoder {
public:
    explicit Encoder(const XmlEncoding &e);
    ~Encoder();
    Encoder(const Encoder &) = delete;
    Encoder &operator=(const Encoder &) = delete;
    bool representable(uint32_t cp);
    bool representableUtf8(const char *utf8, size_t size);
    // Appends [utf8, utf8 + size) in the encoding to out; a code point it cannot hold becomes '?'.
    void append(const char *utf8, size_t size, std::string &out);

private:
    XmlEncoding m_e;
    void *m_cd; // iconv_t for Other, else null
    bool m_c1Gaps; // windows-1252: its five undefined bytes stand for the same C1 code points
};

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
