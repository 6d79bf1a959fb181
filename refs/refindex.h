#pragma once
// Who refers to an instance: the reverse of ref and href. ReferenceIndex is built once per
// state of a document, on the first question, and answers every later one from memory; any
// change of the document (a committed edit, Edit Link) or a new load makes it build anew.

#include "document/xmldocument.h"

#include <QFileInfo>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace quillon {

// An instance that refers to another one.
struct Referrer {
    QString file; // the document that holds the reference (as the caller named it)
    QString element; // the referring instance's element name, as written
    QString id; // its id attribute ("" when it has none)
    QString property; // the caption of its row that holds the reference
    // The referring instance itself, in the document asked about (null for another file's):
    // with a duplicate id, the id alone would find another instance. Not compared.
    ElementRef instance;
    bool operator==(const Referrer &o) const
    {
        return file == o.file && element == o.element && id == o.id && property == o.property;
    }
};

// Calls f(instance, property, isHref, value) for every ref and href attribute inside the
// instances of doc (on the instance's properties and anything below them), in document
// order; property is the instance's child that holds it.
void forEachReference(
    const XmlDocument &doc,
    const std::function<void(ElementRef instance, ElementRef property, bool isHref, const char *value)> &f);

struct ReferenceTable; // the index of one state of a document (refindex.cpp)

// The referrers of one id, read row by row: as cheap to get for 100,000 referrers as for one,
// since a row is put together only when asked for. It stands for the document as it was when
// asked: read rows only while isCurrentFor(that document) holds.
class ReferrerList {
public:
    qsizetype size() const { return qsizetype(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    Referrer at(qsizetype row) const; // row in [0, size())
    QList<Referrer> toList() const; // every row, in document order
    bool isCurrentFor(const XmlDocument &doc) const;

private:
    friend class ReferenceIndex;
    std::shared_ptr<const ReferenceTable> m_table;
    QList<quint32> m_rows; // entries of the table, in document order
};

class ReferenceIndex {
public:
    ReferenceIndex();
    ~ReferenceIndex();
    ReferenceIndex(const ReferenceIndex &) = delete;
    ReferenceIndex &operator=(const ReferenceIndex &) = delete;

    // The instances of doc that refer to its instance `id`: every ref="id" and every
    // href="<doc's file>#id" (any document part that names doc's file, "" too), in document
    // order.
    QList<Referrer> referrers(const XmlDocument &doc, const QString &id);
    // The same as a list read row by row (what a view of many rows wants).
    ReferrerList referrerList(const XmlDocument &doc, const QString &id);
    // The same from the other XML files of doc's folder (their hrefs to doc's file and id),
    // file by file in name order. Each file is read once, and again only when it changed on
    // disk. Files that cannot be read are passed over.
    QList<Referrer> referrersInFolder(const XmlDocument &doc, const QString &id);
    // The reading of those files, for a caller that reads them on a worker: the files
    // referrersInFolder() would read first (new to the index, or changed on disk since);
    // readFolderFiles() reads them on any thread, touching nothing of an index; keepFolderFiles()
    // takes what it read into this index, after which referrersInFolder() reads only the files
    // that changed on disk in the meantime.
    struct FolderFiles;
    QList<QFileInfo> folderFilesToRead(const XmlDocument &doc) const;
    static std::shared_ptr<FolderFiles> readFolderFiles(const QList<QFileInfo> &files);
    void keepFolderFiles(const FolderFiles &read);

    // Builds the index for doc as it is now a part at a time, so that a window can go on
    // between the parts: each call adds the references of up to maxInstances more instances
    // (-1: all of them) where the last call for the same state of doc ended, or, once all are
    // in, arranges them for questions (a call of its own); a change of doc begins anew. A
    // question goes on from a build begun. Returns whether the index stands for doc.
    bool buildSome(const XmlDocument &doc, qsizetype maxInstances);
    // Whether the index stands for doc as it is now (built and not outdated).
    bool isCurrentFor(const XmlDocument &doc) const;
    // Drops everything (the memory of a large document's index goes with it).
    void clear();

private:
    QList<QFileInfo> unreadOf(const QList<QFileInfo> &files) const;
    struct Build;
    struct Data;
    std::unique_ptr<Data> d;
};

} // namespace quillon
