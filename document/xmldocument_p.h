#pragma once
// Private to the document object (xmldocument.cpp, xmldocument_read.cpp,
// xmldocument_write.cpp): the shared document state behind every XmlNode handle, and the
// reading and writing of files.

#include "document/encoding.h"
#include "document/filesink.h"
#include "document/instancewalk.h"
#include "document/keptsource.h"
#include "document/strtable_p.h"
#include "document/xmldocument.h"

#include <pugixml.hpp>

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quillon {

class LoadProgress;

enum class EmptyTagStyle { Compact /* <a/> */, Spaced /* <a /> */, Pair /* <a></a> */ };

// How the source was written, so that save() writes it back the same way.
struct SourceFormat {
    XmlEncoding encoding = XmlEncoding::Utf8;
    bool bom = false;
    bool crlf = false;
    EmptyTagStyle emptyTags = EmptyTagStyle::Compact;
    std::string declaration; // as written (CRs removed); empty when none
    std::unordered_set<std::string> entities; // external general entities: references stay as written
    std::string tail; // a lone byte after the last whole UTF-16 unit, written back as it was
};

// What changed since the document was read, so that a save copies everything else from the
// source byte for byte. Nodes are keyed by pugixml's node object.
struct EditLog {
    using Key = const pugi::xml_node_struct *;
    std::unordered_map<Key, std::pair<size_t, size_t>> spans; // source bytes, recorded before a change
    std::unordered_set<Key> path; // changed nodes and all their ancestors
    std::unordered_set<Key> values; // text, comments, PIs whose value changed
    std::unordered_set<Key> contents; // elements whose children were replaced
    std::unordered_set<Key> startTags; // elements whose attributes changed
    std::unordered_set<Key> fresh; // nodes that took the place of another: written whole
    // Per element, the source bytes of the children taken out of it (each with the blanks
    // before it): a save leaves them out.
    std::unordered_map<Key, std::vector<std::pair<size_t, size_t>>> removed;
    bool changedAt(pugi::xml_node n) const { return path.count(n.internal_object()) != 0; }
    bool empty() const { return path.empty(); }

    // What a change added to the record (spans aside), so that taking the change back takes
    // out just that, and making it again puts it back: a change costs what it adds, not the
    // size of the whole record.
    enum class Kind { Path, Values, Contents, StartTags, Fresh, Removed };
    struct Entry {
        Kind kind;
        Key key;
        std::pair<size_t, size_t> span; // Removed: the bytes taken out of element key
    };
    std::vector<Entry> *journal = nullptr; // while set, what is added is noted there

    bool add(Kind kind, Key key) // false when key was there already
    {
        if (!set(kind).insert(key).second)
            return false;
        if (journal)
            journal->push_back({kind, key, {}});
        return true;
    }
    void addRemoved(Key element, std::pair<size_t, size_t> span)
    {
        removed[element].push_back(span);
        if (journal)
            journal->push_back({Kind::Removed, element, span});
    }
    // Puts back (forward) or takes out (in reverse order) what entries noted.
    void replay(const std::vector<Entry> &entries, bool forward)
    {
        if (forward) {
            for (const Entry &e : entries)
                e.kind == Kind::Removed ? void(removed[e.key].push_back(e.span)) : void(set(e.kind).insert(e.key));
            return;
        }
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (it->kind != Kind::Removed) {
                set(it->kind).erase(it->key);
            } else if (const auto r = removed.find(it->key); r != removed.end()) {
                r->second.pop_back();
                if (r->second.empty())
                    removed.erase(r);
            }
        }
    }
    std::unordered_set<Key> &set(Kind kind)
    {
        switch (kind) {
        case Kind::Values: return values;
        case Kind::Contents: return contents;
        case Kind::StartTags: return startTags;
        case Kind::Fresh: return fresh;
        default: return path;
        }
    }
};

// The parser's node behind a handle, and the document it shares, for the library's own code.
struct XmlNodeAccess {
    static pugi::xml_node node(const XmlNode &n)
    {
        return pugi::xml_node(static_cast<pugi::xml_node_struct *>(n.m_node));
    }
    static bool isAttribute(const XmlNode &n) { return n.m_attr != nullptr; }
    static const std::shared_ptr<DocData> &data(const XmlNode &n) { return n.m_doc; }
    static ElementRef ref(pugi::xml_node n) { return ElementRef(n.internal_object()); }
    static pugi::xml_node node(ElementRef r) { return pugi::xml_node(static_cast<pugi::xml_node_struct *>(r.m_p)); }
};

// The text of a written file in UTF-8, as a list of pieces: stretches of the source and text
// written from memory. Kept after a save, so that the file as written can be shown without a
// copy of it held in memory.
struct TextRecipe {
    struct Piece {
        bool fromSource = true;
        size_t begin = 0, end = 0; // source bytes, when fromSource
        std::string text; // otherwise
    };
    std::vector<Piece> pieces;

    void source(size_t begin, size_t end)
    {
        if (end <= begin)
            return;
        if (!pieces.empty() && pieces.back().fromSource && pieces.back().end == begin)
            pieces.back().end = end;
        else
            pieces.push_back({true, begin, end, {}});
    }
    void fresh(std::string_view text)
    {
        if (!text.empty())
            pieces.push_back({false, 0, 0, std::string(text)});
    }
};

struct DocData {
    pugi::xml_document doc; // the document (parsed as a fragment: top-level whitespace kept)
    pugi::xml_document scratch; // elements made by createElement, not yet placed
    // Nodes taken out of the tree (replaceChild, setText) are parked under this hidden
    // top-level element, so that handles to them stay valid; save and navigation skip it.
    pugi::xml_node graveyard;
    pugi::xml_node scratchGraveyard;
    SourceFormat format;
    KeptSource source; // the text as read, in UTF-8 (byte offsets of the parse refer to it)
    bool loaded = false;
    bool readOnly = false; // read without the facts that only save() needs (format)
    QString path;
    FileState onDisk; // the file at path as read or last written

    std::unordered_map<const pugi::xml_node_struct *, std::string> createdNamespaces;

    mutable int instances = -1; // how many (countInstances), -1 until counted
    int countInstances() const;
    // The instances with an id, by their id (findInstance): filled in document order, from
    // idCursor on, by indexSome() and by the walks of lookups that come one after another
    // with no step of indexSome() between them. Dropped with every change of an id or of which
    // instances there are.
    mutable KeyedPointers<pugi::xml_node_struct> idTable;
    mutable InstanceCursor idCursor; // the first instance not in idTable yet
    mutable bool idTableBegun = false;
    mutable int walksWithoutStep = 0; // lookups that walked since the last indexSome()
    // Instances looked up by the load's worker (XmlDocument::loadWaiting), each id with what
    // scanForInstance found (null for none); dropped with the first change.
    std::vector<std::pair<std::string, pugi::xml_node>> foundAhead;
    void lookUpAhead(const QStringList &ids);
    mutable QString error;
    // Where in the text the latest load failed (1-based); 0 when not at a place in the text.
    qint64 errorLine = 0, errorColumn = 0;

    quint64 stamp = nextStamp(); // XmlDocument::changeStamp
    static quint64 nextStamp();

    EditLog edits;
    bool modified = false; // differs from the file last read or written
    // After a save: how the text written is made of the source and new text (the text on
    // disk from then on).
    std::shared_ptr<const TextRecipe> written;

    void touched(); // call after every change of the tree: drops the instance index
    // Or this, after a change of a value that is no id: which instances there are, and their
    // ids, stay as they were, and so does what tells them.
    void valueTouched() { stamp = nextStamp(); }
    // Call before the change they name.
    void noteValue(pugi::xml_node n);
    void noteContent(pugi::xml_node element);
    void noteStartTag(pugi::xml_node element);
    void noteChange(pugi::xml_node n, EditLog::Kind kind);
    // Before n's value or attributes change: see KeptSource.
    void ownStrings(pugi::xml_node n);
    // After inserted took old's place.
    void noteReplaced(pugi::xml_node inserted, pugi::xml_node old);
    // Before n (an element of the document, below the document element) leaves its parent;
    // false, noting nothing, when its place in the source cannot be told.
    bool noteRemoved(pugi::xml_node n);
    // The first instance with this id, in document order: from idTable, or else by a walk
    // over the instances not in it yet. The first walk after a step of indexSome() only
    // looks, which takes half as long; the next ones add the instances they pass.
    pugi::xml_node lookUpInstance(std::string_view id) const;
    void beginIdTable() const; // an empty idTable for the instances there are, if none yet
    // Adds up to count more instances to idTable; false once it holds them all.
    bool indexSome(size_t count) const;
    // Whether the UTF-8 text can be written in the document's encoding as it stands (names,
    // comments and processing instructions take no character references).
    bool canEncode(std::string_view utf8) const
    {
        return encoding::representableUtf8(format.encoding, utf8.data(), utf8.size());
    }
    // The first instance with this id from c on, by a walk.
    pugi::xml_node scanForInstance(std::string_view id, InstanceCursor c) const;
    // The instances: the elements /uos/*/aim-instances/*, in document order.
    template <class F> void forEachInstance(F &&f) const { forEachInstanceBelow(documentElement(), f); }
    pugi::xml_node documentElement() const;
    // The parse keeps an element's text that comes before any child of it as the element's
    // value, not as a node of its own: a node less for every element that holds only text.
    // Handles never see that: navigation and edits first turn such a text into the element's
    // first child node (materialize), which changes nothing of what is saved. While a save
    // reads the tree on a worker (writing), nothing is turned.
    void materialize(pugi::xml_node element);
    void materializeAll(); // every element of the document
    bool writing = false;
    bool isHidden(pugi::xml_node n) const; // whitespace-only text or the graveyard
    bool isRemoved(pugi::xml_node n) const; // inside the graveyard
    void park(pugi::xml_node n); // moves n (a node of doc or scratch) to a graveyard

    static XmlNode wrap(const std::shared_ptr<DocData> &d, pugi::xml_node n, pugi::xml_attribute a = {})
    {
        return (n || a) ? XmlNode(d, n.internal_object(), a.internal_object()) : XmlNode();
    }
};

bool isValidQName(std::string_view name);

// Appends the text of the descendants of top (its own text first), whitespace-only text
// skipped, in document order: what XmlNode::text() reads before trimming.
void gatherText(const DocData &d, pugi::xml_node top, std::string &out);

// The state of the open file fd (a null state when it cannot be told).
FileState fileStateOf(int fd);

// Reads path (or, when fromText is set, takes text) and parses it into d. On failure returns
// false and sets error to a message that names the source, the reason and, for a malformed
// document, the line and column.
// fromBytes: the content of a file named path, held in memory (path only names it in messages).
// progress, when given, counts the bytes of the file as they are read, then says the parse runs.
bool parseSource(DocData &d, const QString &path, const QString *fromText, QString &error,
                 const QByteArray *fromBytes = nullptr, LoadProgress *progress = nullptr);

// Replaces the references in every text and attribute value of d (parsed with references left
// as written) by what they stand for: character references, the predefined entities and the
// internal entities given. False, with why and the offset in d.source of the value, for an
// entity that holds markup or an expansion past its bounds (10 MB of entity text in all, 40
// levels deep).
bool expandEntities(DocData &d, const struct DeclaredEntities &entities, std::string &why, size_t &offset);

// Writes the document as save() writes it: through sink, in pieces. utf8, when given, also
// receives the same text in UTF-8, before it is encoded (a UTF-8 BOM of the source included).
bool serializeDocument(const DocData &d, ByteSink &sink, TextRecipe *recipe = nullptr);

// Where a node of the source begins in d.source, or npos when it did not come from there. A
// node that took another's place (or whose value changed) begins where its recorded span does.
size_t nodeStart(const DocData &d, pugi::xml_node n);

// Where node n, as read, stands in d.source: [begin, end). False for nodes that did not come
// from the source, or whose place can no longer be told (a text whose value changed).
bool sourceSpan(const DocData &d, pugi::xml_node n, size_t &begin, size_t &end);

// Where the first child of parent that was taken out after offset `from` stood (its blanks
// before it included), npos when none.
size_t removedAfter(const DocData &d, pugi::xml_node parent, size_t from);

} // namespace quillon
