#pragma once
// Who refers to an instance: the reverse of ref and href. ReferenceIndex is built once per
// state of a document, on the first question, and answers every later one from memory; any
// change of the document (a committed edit, Edit Link) or a new load makes it build anew.

#include "quillon_export.h"
#include "xmldocument.h"

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
    bool operator==(const Referrer &o) const
    {
        return file == o.file && element == o.element && id == o.id && property == o.property;
    }
};

// The file that the document part of an href names, for a reference held in file `holder`:
// a relative name stands next to the holder. An absolute, clean path ("" for an empty part).
QUILLON_EXPORT QString resolveDocumentPart(const QString &holder, const QString &part);

// Calls f(instance, property, isHref, value) for every ref and href attribute inside the
// instances of doc (on the instance's properties and anything below them), in document
// order; property is the instance's child that holds it.
QUILLON_EXPORT void forEachReference(
    const XmlDocument &doc,
    const std::function<void(ElementRef instance, ElementRef property, bool isHref, const char *value)> &f);

class QUILLON_EXPORT ReferenceIndex {
public:
    ReferenceIndex();
    ~ReferenceIndex();
    ReferenceIndex(const ReferenceIndex &) = delete;
    ReferenceIndex &operator=(const ReferenceIndex &) = delete;

    // The instances of doc that refer to its instance `id`: every ref="id" and every
    // href="<doc's file>#id" (a bare file name, or a path to the same file), in document order.
    QList<Referrer> referrers(const XmlDocument &doc, const QString &id);
    // The same from the other XML files of doc's folder (their hrefs to doc's file and id),
    // file by file in name order. Each file is read once, and again only when it changed on
    // disk. Files that cannot be read are passed over.
    QList<Referrer> referrersInFolder(const XmlDocument &doc, const QString &id);

    // Whether the index stands for doc as it is now (built and not outdated).
    bool isCurrentFor(const XmlDocument &doc) const;
    // Drops everything (the memory of a large document's index goes with it).
    void clear();

private:
    struct Data;
    std::unique_ptr<Data> d;
    void build(const XmlDocument &doc);
};

} // namespace quillon
