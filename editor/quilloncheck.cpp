// Check References from the command line: the report as text or JSON Lines.
#include "quillon.h"
#include "refcheck.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

namespace quillon {

int writeReferenceReport(const QStringList &files, bool json, std::FILE *out)
{
    bool unreadable = false;
    const QList<Finding> findings = ReferenceCheck::checkFiles(files, &unreadable);
    for (const Finding &f : findings) {
        QByteArray line;
        if (json) {
            const QJsonObject o{{QStringLiteral("file"), f.file},
                                {QStringLiteral("line"), f.line},
                                {QStringLiteral("kind"), f.kind},
                                {QStringLiteral("id"), f.id},
                                {QStringLiteral("message"), f.message}};
            line = QJsonDocument(o).toJson(QJsonDocument::Compact);
        } else {
            line = QStringLiteral("%1:%2: %3: %4").arg(f.file).arg(f.line).arg(f.kind, f.message).toUtf8();
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
        list << QString::fromLocal8Bit(files[i]);
    return quillon::writeReferenceReport(list, json != 0, stdout);
}
