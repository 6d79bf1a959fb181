// The report of Check References as text or JSON Lines (writeReferenceReport, refcheck.h).
#include "document/filenames.h"
#include "refs/refcheck.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quillon {

namespace {

// "file:line: ", "file:line:column: " or "file: ", escaped.
QString placeText(const Finding &f)
{
    QString place = escapedLine(f.file);
    if (f.line > 0)
        place += QStringLiteral(":%1").arg(f.line);
    if (f.line > 0 && f.column > 0)
        place += QStringLiteral(":%1").arg(f.column);
    return place + QStringLiteral(": ");
}

} // namespace

int writeReferenceReport(const QStringList &files, bool json, std::FILE *out)
{
    bool unreadable = false;
    const QList<Finding> findings = ReferenceCheck::checkFiles(files, &unreadable);
    for (const Finding &f : findings) {
        QByteArray line;
        if (json) {
            // JSON escapes the rest itself; a name's bytes that are not UTF-8 have no code point.
            const QJsonObject o{{QStringLiteral("file"), escapedFileName(f.file)},
                                {QStringLiteral("line"), f.line},
                                {QStringLiteral("column"), f.column},
                                {QStringLiteral("kind"), f.kind},
                                {QStringLiteral("id"), f.id},
                                {QStringLiteral("message"), escapedFileName(f.message)}};
            line = QJsonDocument(o).toJson(QJsonDocument::Compact);
        } else {
            line = (placeText(f) + QStringLiteral("%1: %2").arg(f.kind, escapedLine(f.message))).toUtf8();
        }
        line += '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), out);
    }
    std::fflush(out);
    return unreadable ? 2 : findings.isEmpty() ? 0 : 1;
}

} // namespace quillon
