#pragma once
// Check References: what in a set of documents the editor cannot follow or show. Every
// finding names the file, the line of the element concerned (1-based) and a kind. Lines end
// as XML 1.0 reads them: at "\r\n", at a "\r" alone and at a "\n" alone.
//
//   unreadable       the file (or a file an href names) exists but cannot be read or is not
//                    well-formed; the message says why
//   unknown-ref      a ref names no instance of its document
//   missing-file     an href names a file that does not exist
//   unknown-href     an href names no instance of its file (or has no "#id" part)
//   not-a-reference  a row that shows a reference reads another attribute (or none) as one
//   duplicate-id     a second instance with an id already used: references and the tree reach the first
//   missing-id       an instance without an id attribute
//   id-not-first     an instance whose first attribute is not its id
//   ignored-element  an element outside the document's shape that the views pass over

#include "document/xmldocument.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace quillon {

struct Finding {
    QString file; // the document's path as it was given
    int line = 0; // 1-based; 0 when the element has no place in the file (made by an edit)
    int column = 0; // 1-based, in characters, where known (where a file stops being well-formed)
    QString kind;
    QString id; // the id concerned ("" where none)
    QString message;
    // The id of the instance that holds the element (or is it), when that id finds this very
    // instance: the finding can be shown as that instance. "" otherwise.
    QString instanceId;
    bool operator==(const Finding &o) const
    {
        return file == o.file && line == o.line && column == o.column && kind == o.kind && id == o.id &&
               message == o.message && instanceId == o.instanceId;
    }
};

class ReferenceCheck {
public:
    // Checks documents held in memory, together: an href from one to another is looked up in
    // memory; the other files that hrefs name are read once each. Lines are those of each
    // document's file (XmlDocument::sourceUtf8). Findings come document by document, in the
    // order given, each document's by line.
    static QList<Finding> check(const QList<const XmlDocument *> &documents);
    // Reads the files and checks them together; the findings come file by file in the order
    // given. A file that cannot be read gives one finding of kind "unreadable", at the line
    // and column where it stops being well-formed (0 when it cannot be opened), and
    // *unreadable is set true. Each other file that hrefs name is read once, however it is
    // named (a link to it, "./name", a full path).
    static QList<Finding> checkFiles(const QStringList &files, bool *unreadable = nullptr);
};

// Checks files and writes the report to out: one line "file:line: kind: message" per finding
// ("file:line:column: ..." where the column is known, "file: ..." where the line is not), or
// with json one JSON object per line (JSON Lines) with the members file, line, column, kind,
// id and message. In the text, file, id and message are escaped (escapedLine) so that each
// finding stays one line; a file name that is not UTF-8 shows its other bytes as "\xHH" in
// both forms. Returns 0 when nothing was found, 1 when something was, 2 when a file given
// cannot be read.
int writeReferenceReport(const QStringList &files, bool json, std::FILE *out);

} // namespace quillon
