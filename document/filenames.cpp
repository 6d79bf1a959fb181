#include "document/filenames.h"

#include <QFileInfo>

namespace quillon {

namespace {

constexpr char16_t kByteBase = 0xDC00; // a stray byte b stands as kByteBase + b (b >= 0x80)

// The length of the well-formed UTF-8 sequence at s[i] (RFC 3629: no overlongs, no
// surrogates, nothing above U+10FFFF), or 0.
int sequenceLength(const QByteArray &s, qsizetype i)
{
    const auto at = [&s](qsizetype k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned c = at(i);
    const auto cont = [&](qsizetype k, unsigned lo = 0x80, unsigned hi = 0xBF) {
        const unsigned b = at(k);
        return b >= lo && b <= hi;
    };
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return cont(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        return cont(i + 1, lo, hi) && cont(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return cont(i + 1, lo, hi) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

bool isStrayByte(char16_t c)
{
    return c >= kByteBase + 0x80 && c <= kByteBase + 0xFF;
}

} // namespace

QString decodeFileName(const QByteArray &name)
{
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size();) {
        const int n = sequenceLength(name, i);
        if (n) {
            out += QString::fromUtf8(name.constData() + i, n);
            i += n;
        } else {
            out += QChar(char16_t(kByteBase + static_cast<unsigned char>(name[i])));
            ++i;
        }
    }
    return out;
}

QByteArray encodeFileName(const QString &name)
{
    QByteArray out;
    out.reserve(name.size());
    qsizetype from = 0; // the start of the run of text not yet written
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isStrayByte(name[i].unicode()))
            continue;
        out += QStringView(name).mid(from, i - from).toUtf8();
        if (i < name.size())
            out += char(name[i].unicode() - kByteBase);
        from = i + 1;
    }
    return out;
}

namespace {

QString byteEscape(char16_t c)
{
    return QStringLiteral("\\x%1").arg(unsigned(c - kByteBase), 2, 16, QLatin1Char('0'));
}

} // namespace

QString escapedFileName(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text)
        out += isStrayByte(ch.unicode()) ? byteEscape(ch.unicode()) : QString(ch);
    return out;
}

QString escapedLine(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'\\':
            out += QLatin1String("\\\\");
            continue;
        case u'\n':
            out += QLatin1String("\\n");
            continue;
        case u'\r':
            out += QLatin1String("\\r");
            continue;
        case u'\t':
            out += QLatin1String("\\t");
            continue;
        default:
            break;
        }
        if (isStrayByte(c))
            out += byteEscape(c);
        else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029)
            out += QStringLiteral("\\u%1").arg(unsigned(c), 4, 16, QLatin1Char('0'));
        else
            out += ch;
    }
    return out;
}

bool sameFileName(const QString &a, const QString &b)
{
    return !a.isEmpty() && !b.isEmpty() && QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

} // namespace quillon
