// Check References from the command line: the report as text or JSON Lines.
#include "api/quillon.h"
#include "document/filenames.h"
#include "refs/refcheck.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

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

int QuillonCheckReferences(int fileCount, const char *const *files, int json)
{
    // Documents deliver their completion through an event loop: a host without an
    // application object gets one for the time of the check.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "quillon";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    QStringList list;
    for (int i = 0; i < fileCount; ++i)
        list << quillon::decodeFileName(files[i]);
    return quillon::writeReferenceReport(list, json != 0, stdout);
}
