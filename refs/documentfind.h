#pragma once
// Find by value: the rows of a document's instances whose element name (as the tree captions
// it), id, property captions or values hold a pattern. A search runs in steps over the document
// in memory, so a view can show the first rows at once and the user can stop it: each step goes
// on from the instance where the last one ended. A search stands for the document as it was
// when it began: once the document changes, it ends (stale()).

#include "document/instancewalk.h"
#include "document/xmldocument.h"

#include <QList>
#include <QRegularExpression>
#include <QString>

namespace quillon {

struct FindOptions {
    QString pattern;
    bool matchCase = false;
    bool wholeWord = false;
    bool regex = false; // pattern is a regular expression (Perl syntax)
    QString type; // only instances of this element name (as written or as captioned); "" for all
};

struct FindRow {
    // Where the match is: the instance's caption, its id, a property's caption or its value.
    enum class Column { Instance, Id, Property, Value };
    ElementRef instance;
    ElementRef propertyElement; // the instance's child the row stands for; null for Instance and Id
    QString caption; // the instance as the tree captions it
    QString id;
    QString property; // the property's caption ("" for Instance and Id)
    QString value; // the property's value, as the property list shows it
    Column column = Column::Value;
    qsizetype start = 0, length = 0; // the match in that column's text (UTF-16 units)
};

class DocumentFind {
public:
    // doc must stay loaded while the search and its rows' element references are used.
    DocumentFind(const XmlDocument &doc, const FindOptions &options);
    ~DocumentFind();
    DocumentFind(const DocumentFind &) = delete;
    DocumentFind &operator=(const DocumentFind &) = delete;

    // False for an empty pattern or an invalid expression; error() says why.
    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    // Appends the next rows to out, instance by instance, until at least maxRows were appended,
    // maxInstances instances were searched (-1: no such limit; a view that must not stall gives
    // one) or the document is searched to its end. Returns whether rows may follow (false at
    // the end, for an invalid search and once the document changed).
    bool next(qsizetype maxRows, QList<FindRow> &out, qsizetype maxInstances = -1);
    // The step of a view that must keep answering: the rows and the instances it takes at most.
    static constexpr qsizetype ViewStepRows = 1000, ViewStepInstances = 5000;
    bool atEnd() const { return !m_doc || (m_started && m_cursor.atEnd()); }
    bool stale() const; // the document changed since the search began

    static QString columnName(FindRow::Column column); // "instance", "id", "property", "value"

private:
    bool match(const QString &text, qsizetype &start, qsizetype &length) const;
    QString captionOf(const char *name);

    XmlNode m_root; // keeps the document alive
    const DocData *m_doc = nullptr; // null without a document element
    quint64 m_stamp = 0;
    FindOptions m_options;
    QRegularExpression m_re; // whole words and expressions
    bool m_plain = true; // a plain text without whole-word: a substring search
    QString m_error;
    bool m_started = false;
    InstanceCursor m_cursor; // the next instance to search
    QByteArray m_lastName; // captionOf's memory of the latest name
    QString m_lastCaption;
};

} // namespace quillon

// A view's rows grow a step at a time up to a row per property of the document: moved in memory
// as they are, a list of them grows without a stall.
Q_DECLARE_TYPEINFO(quillon::FindRow, Q_RELOCATABLE_TYPE);
