#pragma once
// File names as the system holds them (bytes) and as the program holds them (QString), without
// loss: a name whose bytes are not UTF-8 is read, written and shown as itself. Also the one
// escape that keeps a text on one line of a report.

#include <QByteArray>
#include <QString>

namespace quillon {

// The bytes of a file name as a QString: UTF-8 as it is; each byte that is not part of UTF-8
// becomes the code point U+DC80 + (byte - 0x80), which no UTF-8 text decodes to, so that
// encodeFileName gives the same bytes back. (QFile::decodeName turns such bytes into U+FFFD.)
QString decodeFileName(const QByteArray &name);
// The bytes that name the file: the inverse of decodeFileName.
QByteArray encodeFileName(const QString &name);

// Whether two names name the same file as the program tells files apart: by their absolute
// paths. An empty name names no file.
bool sameFileName(const QString &a, const QString &b);

// text on one line: a backslash doubled; newline, carriage return and tab as backslash n, r, t;
// other control characters (C0, DEL, C1, U+2028, U+2029) as backslash uXXXX (hex), and a byte
// of a file name that is not UTF-8 (see decodeFileName) as backslash xHH.
QString escapedLine(const QString &text);

// text with only the bytes of a file name that are not UTF-8 written as backslash xHH: for output
// that escapes the rest itself (JSON).
QString escapedFileName(const QString &text);

} // namespace quillon
