#pragma once
// The document object: a thin, forgiving adapter over pugixml that offers the handful of
// DOM operations the editor and the picker rely on.
//
// - XmlNode is a handle (element, text, comment, ... or attribute) that shares ownership of
//   its document, so it never dangles when the document it came from is replaced.
// - Whitespace-only text between elements is not kept in memory (saving copies it from the
//   file as read); whitespace-only text inside an element is invisible to navigation.
// - Calls on a null handle return null / empty / false; nothing throws.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace quillon {

class AsyncJob;
class LoadProgress;

struct DocData; // the shared document state (defined in xmldocument.cpp)
struct TextRecipe; // how a saved file is made of the source and new text

// Escapes a value for use inside an XPath 1.0 expression: "v" when it holds no double
// quote, 'v' when it holds no apostrophe, otherwise a concat(...) of both kinds.
QString xpathLiteral(const QString &value);

// "[@name=<literal>]": a predicate that keeps elements whose attribute equals value exactly.
QString xpathPredicate(const QString &attrName, const QString &value);

// A light reference to an element, for walks over large documents: it owns nothing and stays
// valid while the document it came from lives (hold an XmlNode of that document). Only
// elements are seen: text, comments and the like are skipped.
class ElementRef {
public:
    ElementRef() = default;
    explicit operator bool() const { return m_p != nullptr; }
    bool operator==(const ElementRef &o) const { return m_p == o.m_p; }

    ElementRef parent() const; // null above the document element
    ElementRef firstChild() const; // the first element child
    ElementRef lastChild() const; // the last element child
    ElementRef nextSibling() const; // the next element sibling
    const char *name() const; // UTF-8; "" for a null reference
    int attributeCount() const;
    const char *attributeName(int index) const; // "" out of range
    const char *attributeValue(int index) const; // "" out of range
    const char *attribute(const char *name) const; // the value; null when there is none

private:
    friend class XmlNode;
    friend class XmlDocument;
    friend struct XmlNodeAccess;
    explicit ElementRef(void *p) : m_p(p) { }
    void *m_p = nullptr;
};

class XmlNode {
public:
    enum Type {
        Null = 0,
        Element = 1,
        Attribute = 2,
        Text = 3,
        CData = 4,
        ProcessingInstruction = 7,
        Comment = 8,
        Document = 9,
        DocType = 10,
        Declaration = 11
    };

    XmlNode() = default;

    bool isNull() const;
    explicit operator bool() const { return !isNull(); }
    bool operator==(const XmlNode &o) const;
    bool operator!=(const XmlNode &o) const { return !(*this == o); }

    int nodeType() const;
    QString nodeName() const; // element or attribute name with its prefix; "#text", "#comment"...
    QString namespaceURI() const; // elements: resolved from xmlns / xmlns:p declarations in scope

    // Elements: all descendant text run together (whitespace-only text nodes skipped), trimmed.
    // Attributes: the value. Text/comment nodes: their content.
    QString text() const;
    // Elements: replaces all children by one text node (no child when value is empty).
    // Attributes: sets the value. Returns false on a null handle.
    bool setText(const QString &value);

    XmlNode parentNode() const;
    XmlNode firstChild() const; // these four skip whitespace-only text
    XmlNode lastChild() const;
    XmlNode previousSibling() const;
    XmlNode nextSibling() const;
    QList<XmlNode> childNodes() const;
    bool hasChildNodes() const;

    int attributeCount() const; // attributes in the order written in the file
    XmlNode attribute(int index) const; // null when out of range
    XmlNode attributeNamed(const QString &name) const;
    bool setAttribute(const QString &name, const QString &value); // adds at the end or sets

    // XPath 1.0 (pugixml). Null / empty on an invalid expression; errorString() of the
    // document tells why.
    XmlNode selectSingleNode(const QString &xpath) const;
    QList<XmlNode> selectNodes(const QString &xpath) const;

    // Replaces oldChild (a child of this element) by newChild, a node made by
    // XmlDocument::createElement of the same document. Returns the node as it now stands in
    // the document (a copy of newChild, given an xmlns declaration after its other attributes
    // when it would otherwise not be in the namespace it was made for), or null (and changes
    // nothing) when the arguments do not fit. oldChild leaves the tree but its handles stay
    // valid (parentNode() null).
    XmlNode replaceChild(const XmlNode &newChild, const XmlNode &oldChild);

    // The light reference to this element (null for other nodes), and a handle to an element
    // of this node's document given by such a reference.
    ElementRef ref() const;
    XmlNode at(ElementRef element) const;

    // The document this node belongs to (identity only), for "is this still the shown
    // document?" checks.
    const DocData *documentId() const { return m_doc.get(); }
    bool belongsTo(const class XmlDocument *doc) const;

private:
    friend class XmlDocument;
    friend struct DocData;
    friend struct XmlNodeAccess;
    XmlNode(std::shared_ptr<DocData> doc, void *node, void *attr);

    std::shared_ptr<DocData> m_doc;
    void *m_node = nullptr; // the parser's node and attribute objects
    void *m_attr = nullptr;
};

// Whether e is an instance: an element of /uos/*/aim-instances/* (the names as written), which
// forEachInstance() visits and findInstance() finds by its id.
bool isInstance(ElementRef e);

// The text of an element's first attribute (an instance's id), "" when it has none.
QString firstAttributeText(const XmlNode &elm);

// What tells one state of a file on disk from another: where it lies (device and inode) and
// what was last written to it (size, and the time of that in nanoseconds). A file written anew
// or replaced has another state, even with the same size. Symbolic links are followed.
struct FileState {
    qint64 size = -1; // -1: there is no such file
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    quint64 device = 0;

    bool exists() const { return size >= 0; }
    bool operator==(const FileState &o) const = default;
    static FileState of(const QString &path); // the state of the file now
};

// A document object. load() reads and parses before it returns; the completion
// (readyState 4 and onreadystatechange) is delivered afterwards through the event loop.
class XmlDocument : public QObject {
    Q_OBJECT
public:
    explicit XmlDocument(QObject *parent = nullptr);
    ~XmlDocument() override;

    // False when the file cannot be read or is not well-formed; errorString() keeps the
    // reason (for a parse error: the parser's message with line and column). A file is judged
    // by its first bytes before it is read in full. References to the internal entities of
    // the DOCTYPE read as their text in every value (a value edited later is written as that
    // text, escaped); a document whose entities hold markup, nest deeper than 40 levels or
    // come to more than 10 MB of text is refused.
    // On success readyState() is 1 until the completion arrives through the event loop
    // (readyState 4, then onreadystatechange). Only the latest load completes: a second
    // load before the first completes supersedes it, and a failed load delivers no
    // completion (and drops a pending one), leaves readyState as it was and leaves the object
    // holding no document (hasChildNodes() false, save() false).
    bool load(const QString &path);
    // load(), with the reading and parsing done on a worker thread (job) while waitFor runs on
    // this thread. waitFor(job) returns true once the job is finished (job.wait()), or false to
    // abandon the load: the document then stays as it was, cancelled() is true, and the
    // worker's result is thrown away when it ends.
    // progress (when given) counts the bytes as the worker reads them (LoadProgress).
    // lookups: ids findInstance() will be asked for first; the worker looks them up, so that
    // a large document is not walked on the thread that waits.
    bool loadWaiting(const QString &path, const std::function<bool(AsyncJob &job)> &waitFor,
                     std::shared_ptr<LoadProgress> progress = nullptr, const QStringList &lookups = {});
    // load() for reading only (Check References of files): the facts of style that only
    // save() needs are not taken, so save() and toBytes() refuse such a document.
    bool loadForReading(const QString &path);
    // load(), with the reading and parsing done on a worker thread: returns at once. Once the
    // worker is done, this thread takes its result up: a document read completes as load()'s does
    // (readyState 4, then onreadystatechange); a failure leaves the object as a failed load()
    // does and emits loadFailed(). Another load of any kind, cancelLoad() or the end of this
    // object abandon it; the worker's result is then thrown away when it ends.
    void loadInBackground(const QString &path);
    bool isLoading() const { return m_background != nullptr; }
    // Abandons the background load under way (cancelled() is then true); nothing else changes.
    void cancelLoad();
    bool cancelled() const { return m_cancelled; }
    // Writes the whole document through a temporary file renamed over path, in the encoding
    // it was read in, with its declaration unchanged. False (file untouched) on failure.
    // An unedited document written the usual way comes out byte for byte as it was read:
    // BOM, line ends, whitespace, comments, PIs, DOCTYPE, final newline and the style of
    // empty elements (<a/>, <a />, <a></a>) are kept. What is normalised: the layout inside
    // tags (one space between attributes, double quotes), and escapes in values (text is
    // written with &amp; &lt; &gt;, attributes also with &quot;; other characters literally,
    // or as &#N; where the encoding cannot hold them).
    // Nothing is written, and true returned, when path is the file the document was read from
    // (or last saved to) and nothing changed since. After a successful save, path() is path.
    // On failure errorString() says why, in words for the user, without the file's name.
    bool save(const QString &path);
    // save(), with the writing done on a worker thread (job) while waitFor(job) runs on this
    // thread, job.wait() for one; the save goes on once the job is finished. Nothing may
    // change the document meanwhile.
    bool saveWaiting(const QString &path, const std::function<void(AsyncJob &job)> &waitFor);
    // The document differs from the file last read or written.
    bool isModified() const;
    // The file at path() is no longer as this document read or last wrote it: its size, time of
    // change, inode or device differ, or it is gone. False when the document came from no file.
    bool changedOnDisk() const;
    // The document holds the file at path (as the file system resolves it) as it still is on
    // disk: it was read from there or last written there, it is not modified since, and
    // changedOnDisk() is false.
    bool holdsFile(const QString &path) const;
    // The state of the file at path() when it was read or last written (null without a file).
    FileState fileState() const;
    // Says whether it differs: false when changes were taken back to what the file holds
    // (XmlChange), so that a save to the same file writes nothing.
    void setModified(bool modified);
    // Parses text held in memory (tests, new documents); completion is delivered as for load.
    // save() then writes the encoding named in its declaration (UTF-8 when none).
    bool loadXml(const QString &xml);
    // Parses the bytes of a file held in memory, exactly as load() parses a file's content
    // (name only labels messages); path() stays empty.
    bool loadData(const QByteArray &bytes, const QString &name = QStringLiteral("XML data"));

    int readyState() const { return m_readyState; } // 0 before load, 4 once complete
    bool hasChildNodes() const;
    XmlNode documentElement() const;
    XmlNode selectSingleNode(const QString &xpath) const;
    QList<XmlNode> selectNodes(const QString &xpath) const;

    // A new element, not yet in the tree, to be placed with XmlNode::replaceChild. Null, with
    // errorString(), for a name that is not a qualified name or that canEncodeName() refuses.
    XmlNode createElement(const QString &name, const QString &namespaceURI);
    // Whether an element or attribute name can be written in the encoding the document is
    // saved in: a name takes no character references, so one character the encoding lacks
    // makes it unwritable. Otherwise *why (when given) gets the message for the user.
    // Elements and attributes refuse such names (createElement, setAttribute); values take
    // character references where needed.
    bool canEncodeName(const QString &name, QString *why = nullptr) const;

    // The first instance in document order under /uos/*/aim-instances/* whose id attribute
    // equals id exactly. Uses an index of ids, filled between the events of the document's
    // thread once a load completes (or from the first lookup on, after a change of an id or of
    // which instances there are, which drops it).
    XmlNode findInstance(const QString &id) const;
    // Calls f for every instance (the elements /uos/*/aim-instances/*), in document order.
    void forEachInstance(const std::function<void(ElementRef)> &f) const;
    // How many instances forEachInstance() calls f for; counted once after each change.
    int instanceCount() const;

    // The reason of the latest failure: load, save, an invalid expression (also one evaluated
    // on a node of this document), createElement.
    QString errorString() const;
    // Where in the file the latest load failed (line and column, 1-based, as errorString()
    // names them); 0 when it failed before the text (a file that cannot be opened).
    qint64 errorLine() const;
    qint64 errorColumn() const;
    QString path() const; // the file loaded; empty after loadXml or a failed load

    const DocData *documentId() const { return m_data.get(); }
    // A number that no other state of any document in this process has: a new one after every
    // load and every change of the tree (what a cache of facts about the document compares).
    quint64 changeStamp() const;
    // The 1-based line on which each element's start tag stands in the text of the file
    // (sourceUtf8), 0 for one that did not come from the file; one pass over the text. Lines
    // end as XML 1.0 reads them (and the "XML" tab shows them): at "\r\n", "\r" or "\n".
    QList<int> lineNumbers(const QList<ElementRef> &elements) const;

    // Serialises the document as save() would write it (for tests and diagnostics).
    QByteArray toBytes() const;
    // The text of the file as it now stands on disk, in UTF-8 without a byte order mark: the
    // source as read until a save, then what the latest save wrote; empty when no document is
    // held. Until a save no copy is made: the bytes stay valid while this document lives (until
    // the next load, or longer while an XmlNode of it is held); after one, the text is put
    // together anew from the source and the few pieces the save wrote from memory.
    QByteArray sourceUtf8() const;

    // The same text as sourceUtf8(), held as it stands now and handed out in pieces, without
    // putting it together. It may be read on any thread, and later loads and saves of the
    // document do not change it.
    class SourceText {
    public:
        bool isNull() const { return !m_data; }
        qsizetype size() const; // in bytes, all pieces together
        // Calls f for each piece in order; stops, returning false, when f returns false.
        bool forEachPiece(const std::function<bool(const char *data, qsizetype size)> &f) const;

    private:
        friend class XmlDocument;
        std::shared_ptr<const DocData> m_data;
        std::shared_ptr<const TextRecipe> m_recipe; // the latest save's, if any
    };
    SourceText sourceText() const;

signals:
    void onreadystatechange();
    void loadFailed(); // a loadInBackground() could not read its file

private:
    bool loadFrom(const QString &path, const QString *text, const QByteArray *bytes = nullptr, bool readOnly = false);
    void completeLater();
    std::shared_ptr<DocData> m_data; // never null; replaced at every load
    bool adopt(std::shared_ptr<DocData> data, bool ok, const QString &error);
    int m_readyState = 0;
    quint64 m_loadSerial = 0; // the completion of an older load is dropped
    bool m_cancelled = false;
    // Fills the rest of the index of ids a step at a time, beside the events of this thread.
    void indexLater() const;
    mutable bool m_indexing = false; // a step is on its way
    mutable int m_indexPauseMs = 5; // before the next step
    AsyncJob *m_background = nullptr; // the loadInBackground() under way
};

} // namespace quillon
