#pragma once
// Plain string rules shared by the editor: element names shown as captions, reference values,
// document names and folders, and the back history of visited places.

#include "quillon_export.h"

#include <QString>
#include <QStringList>

namespace quillon {

// "_" shown as " " and back; element names never hold blanks of their own.
QUILLON_EXPORT QString NameToCaption(const QString &s);
QUILLON_EXPORT QString CaptionToName(const QString &s);

// A name "has a lower-case letter" exactly when it differs from its upper-case form.
QUILLON_EXPORT bool hasLowerCase(const QString &name);

// Cuts a reference value at every "#"; piece(i) is empty when the value has no such piece.
class QUILLON_EXPORT RefPieces {
public:
    explicit RefPieces(const QString &value) : m_pieces(value.split(QLatin1Char('#'))) { }
    QString piece(int i) const { return i >= 0 && i < m_pieces.size() ? m_pieces.at(i) : QString(); }
    int count() const { return int(m_pieces.size()); }

private:
    QStringList m_pieces;
};

// A property-list reference value names an instance of the same document when it holds no
// "#" and begins with "id" in any case; otherwise it is "document#id".
QUILLON_EXPORT bool isSameDocumentRefValue(const QString &value);

// Whether two document names denote the same document, compared as the file system compares
// names: exactly on Linux, ignoring case where file names ignore case.
QUILLON_EXPORT bool sameDocument(const QString &a, const QString &b);

// Position of the separator that ends a path's folder: the last backslash, or when there is
// none the last forward slash; -1 with neither.
QUILLON_EXPORT int folderSeparatorIndex(const QString &path);
// The folder part of a path without its trailing separator ("" for a bare name).
QUILLON_EXPORT QString FolderOf(const QString &path);
// The file name after the folder separator (the whole path for a bare name).
QUILLON_EXPORT QString FileNameOf(const QString &path);
// The folder of `previous` up to and including its separator, followed by `name`: where a
// bare name is looked for when it cannot be opened as given.
QUILLON_EXPORT QString retryPath(const QString &previous, const QString &name);

// Where a document named `name` is to be read while `previous` is shown: a relative name
// that exists in the folder of `previous` is that file (a reference written as a bare name
// points next to the document that holds it); any other name stands as given.
QUILLON_EXPORT QString documentPathFor(const QString &previous, const QString &name);

// The back stack of places ("document#id"), oldest first.
class QUILLON_EXPORT History {
public:
    // Stores entry on top of the current position; entries above it are dropped.
    void record(const QString &entry);
    bool isEmpty() const { return m_pos < 0; }
    int position() const { return m_pos; }
    QString current() const { return m_pos >= 0 ? m_entries.at(m_pos) : QString(); }
    // Moves the position down one; the used entry stays above it until the next record().
    void stepBack()
    {
        if (m_pos >= 0)
            --m_pos;
    }
    const QStringList &entries() const { return m_entries; }

private:
    QStringList m_entries;
    int m_pos = -1;
};

} // namespace quillon
