// Compare two versions and Find by value from the command line: the rows as text or JSON Lines.
#include "api/quillon.h"
#include "document/filenames.h"
#include "refs/documentdiff.h"
#include "refs/documentfind.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <memory>

namespace quillon {

namespace {

// Documents deliver their completion through an event loop: a host without an application
// object gets one for the time of the command.
std::unique_ptr<QCoreApplication> applicationIfNone()
{
    static int argc = 1;
    static char name[] = "quillon";
    static char *argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return {};
    return std::make_unique<QCoreApplication>(argc, argv);
}

// Reads path for reading only; false, with the reason on stderr, when it cannot be read.
bool loadOrSay(XmlDocument &doc, const QString &path)
{
    if (doc.loadForReading(path))
        return true;
    std::fprintf(stderr, "%s\n", escapedLine(doc.errorString()).toUtf8().constData());
    return false;
}

void writeLine(QByteArray line, std::FILE *out)
{
    line += '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), out);
}

QByteArray json(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

int writeDocumentDiff(const QString &oldPath, const QString &newPath, bool asJson, std::FILE *out)
{
    XmlDocument oldDoc, newDoc;
    if (!loadOrSay(oldDoc, oldPath) || !loadOrSay(newDoc, newPath))
        return 2;
    const QList<InstanceChange> changes = DocumentDiff::compare(oldDoc, newDoc);
    for (const InstanceChange &c : changes) {
        const QString kind = DocumentDiff::kindName(c.kind);
        if (asJson) {
            QJsonArray rows;
            for (const PropertyChange &p : c.properties)
                rows.append(QJsonObject{{QStringLiteral("property"), p.property},
                                        {QStringLiteral("old"), p.oldValue},
                                        {QStringLiteral("new"), p.newValue}});
            QJsonObject o{{QStringLiteral("change"), kind},
                          {QStringLiteral("id"), c.id},
                          {QStringLiteral("instance"), c.caption}};
            if (c.kind == InstanceChange::Kind::Changed)
                o.insert(QStringLiteral("properties"), rows);
            writeLine(json(o), out);
            continue;
        }
        writeLine(QStringLiteral("%1 %2 %3").arg(kind, escapedLine(c.id), c.caption).toUtf8(), out);
        for (const PropertyChange &p : c.properties)
            writeLine(QStringLiteral("    %1: %2 \u2192 %3")
                          .arg(p.property, escapedLine(p.oldValue), escapedLine(p.newValue))
                          .toUtf8(),
                      out);
    }
    std::fflush(out);
    return changes.isEmpty() ? 0 : 1;
}

} // namespace quillon

int QuillonDiffDocuments(const char *oldFile, const char *newFile, int json)
{
    const auto app = quillon::applicationIfNone();
    return quillon::writeDocumentDiff(quillon::decodeFileName(oldFile ? oldFile : ""),
                                      quillon::decodeFileName(newFile ? newFile : ""), json != 0, stdout);
}

namespace quillon {

int writeFindRows(const FindOptions &options, const QString &path, bool asJson, std::FILE *out)
{
    XmlDocument doc;
    if (!loadOrSay(doc, path))
        return 2;
    DocumentFind find(doc, options);
    if (!find.isValid()) {
        std::fprintf(stderr, "%s\n", escapedLine(find.error()).toUtf8().constData());
        return 2;
    }
    bool any = false;
    QList<FindRow> rows;
    for (bool more = true; more;) {
        rows.clear();
        more = find.next(1000, rows);
        any = any || !rows.isEmpty();
        for (const FindRow &r : rows) {
            if (asJson)
                writeLine(json({{QStringLiteral("instance"), r.caption},
                                {QStringLiteral("id"), r.id},
                                {QStringLiteral("property"), r.property},
                                {QStringLiteral("value"), r.value},
                                {QStringLiteral("column"), DocumentFind::columnName(r.column)},
                                {QStringLiteral("start"), r.start},
                                {QStringLiteral("length"), r.length}}),
                          out);
            else
                writeLine(QStringLiteral("%1\t%2\t%3\t%4")
                              .arg(r.caption, escapedLine(r.id), r.property, escapedLine(r.value))
                              .toUtf8(),
                          out);
        }
    }
    std::fflush(out);
    return any ? 0 : 1;
}

} // namespace quillon

int QuillonFindInDocument(const char *pattern, const char *file, int options, const char *type, int json)
{
    const auto app = quillon::applicationIfNone();
    quillon::FindOptions o;
    o.pattern = QString::fromUtf8(pattern ? pattern : "");
    o.matchCase = options & QuillonFindMatchCase;
    o.wholeWord = options & QuillonFindWholeWord;
    o.regex = options & QuillonFindRegex;
    o.type = QString::fromUtf8(type ? type : "");
    return quillon::writeFindRows(o, quillon::decodeFileName(file ? file : ""), json != 0, stdout);
}
