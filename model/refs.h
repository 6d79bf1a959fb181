#pragma once
// Rules shared by the editor: element names shown as captions, reference values, which file a
// reference names and how one is written, and the back history of visited places.

#include <QString>
#include <QStringList>

#include <string_view>

namespace quillon {

// "_" shown as " " and back; element names never hold blanks of their own.
QString NameToCaption(const QString &s);
QString CaptionToName(const QString &s);

// A name "has a lower-case letter" exactly when it differs from its upper-case form.
bool hasLowerCase(const QString &name);

// Cuts a reference value at every "#"; piece(i) is empty when the value has no such piece.
class RefPieces {
public:
    explicit RefPieces(const QString &value) : m_pieces(value.split(QLatin1Char('#'))) { }
    QString piece(int i) const { return i >= 0 && i < m_pieces.size() ? m_pieces.at(i) : QString(); }
    int count() const { return int(m_pieces.size()); }

private:
    QStringList m_pieces;
};

// The same cut of an href's value where it is read in place: part is the text before the first
// "#", id the text between the first and the second "#" (piece(0) and piece(1)). False when
// the value holds no "#".
inline bool splitHref(std::string_view value, std::string_view &part, std::string_view &id)
{
    const size_t hash = value.find('#');
    if (hash == std::string_view::npos)
        return false;
    part = value.substr(0, hash);
    id = value.substr(hash + 1);
    id = id.substr(0, id.find('#'));
    return true;
}

// Whether an attribute name is "ref" (a reference within the document) or "href" (a
// reference that may name another document): 1 for ref, 2 for href, 0 otherwise.
inline int referenceKind(const char *name)
{
    if (name[0] == 'r')
        return name[1] == 'e' && name[2] == 'f' && !name[3] ? 1 : 0;
    if (name[0] == 'h')
        return name[1] == 'r' && name[2] == 'e' && name[3] == 'f' && !name[4] ? 2 : 0;
    return 0;
}

// A property-list reference value names an instance of the same document when it holds no
// "#" and begins with "id" in any case; otherwise it is "document#id".
bool isSameDocumentRefValue(const QString &value);

// ---- What the document part of a reference names ------------------------------------------
// Every feature that follows, lists, draws, checks or writes a reference asks these, so that a
// reference means one file everywhere.

// The file that the document part `part` of a reference held in the document `holder` names:
// a relative part stands in holder's folder and nowhere else, an absolute part is itself, and
// an empty part is holder. A clean absolute path (a relative holder is taken from the working
// folder, as a path the user gives is); "" when both are empty.
QString resolveDocumentPart(const QString &holder, const QString &part);

// What a file is, whatever it is called: "@device:inode" for a file that exists, otherwise
// its canonical folder and its name. Two paths name the same file exactly when their keys are
// equal. "" for "".
QString fileKey(const QString &path);

// Whether two paths (absolute, or relative to the working folder) name the same file.
bool sameDocument(const QString &a, const QString &b);

// Whether the document part of a reference held in `holder` names holder itself ("", its name,
// "./name", a full path, another link to the same file).
bool namesHolder(const QString &holder, const QString &part);

// The document part to write into `holder` for a reference to the file `target`: relative to
// holder's folder ("b.xml", "sub/b.xml", "../b.xml") while the two share a folder below the
// file system's root; otherwise target's clean absolute path.
QString documentPartFor(const QString &holder, const QString &target);

// Position of the separator that ends a path's folder: the last backslash, or when there is
// none the last forward slash; -1 with neither.
int folderSeparatorIndex(const QString &path);
// The folder part of a path without its trailing separator ("" for a bare name).
QString FolderOf(const QString &path);
// The file name after the folder separator (the whole path for a bare name).
QString FileNameOf(const QString &path);

// A place in the back history, as an entry writes it: "document#id" for an instance found
// again by its id, or "document##path" for an element found again by its path (elementPath:
// "/uos[1]/arm[1]/PART[1]", each element's name and its position among the siblings of that
// name). An id is never empty, so the two forms never meet.
struct HistoryPlace {
    QString file, id, path;
};
HistoryPlace historyPlace(const QString &entry);
// The entry for a place: by id when id is given, otherwise by path; "" with neither.
QString historyEntry(const QString &file, const QString &id, const QString &path = {});

// The back stack of places (see HistoryPlace), oldest first.
class History {
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
