#pragma once
// Rename an id everywhere: the instance's id, every ref and href in its document that names it,
// and every href in the other XML files of its folder that names it (the reverse index lists
// them). Delete an instance with every reference to it: the elements that hold them, in its
// document and in the other files. The other files are written as a save writes them, all or
// none (changeFiles): when one cannot be written, the ones written before it get their old bytes
// back and the document is left as it was. The document itself is changed in memory as one step
// that can be taken back (EditStep); saving it is for its owner.

#include "document/xmlchange.h"
#include "refs/refindex.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace quillon {

// Changes of one document made together, taken back and made again together.
class EditStep {
public:
    void append(XmlChange change)
    {
        if (change)
            m_changes.push_back(std::move(change));
    }
    bool isEmpty() const { return m_changes.empty(); }
    int size() const { return int(m_changes.size()); }
    void undo()
    {
        for (auto it = m_changes.rbegin(); it != m_changes.rend(); ++it)
            it->undo();
    }
    void redo()
    {
        for (XmlChange &c : m_changes)
            c.redo();
    }

private:
    std::vector<XmlChange> m_changes;
};

struct IdRenamePlan {
    QString oldId, newId;
    QList<Referrer> inDocument; // the document's references to the instance, in document order
    QList<Referrer> inFolder; // the other files' hrefs to it, file by file in name order
    QString refusal; // why the rename is refused; empty when it may go ahead
};

class IdRename {
public:
    // What renaming instance oldId of doc to newId changes. Refused when newId is empty, already
    // the id of an instance, or doc has no instance oldId.
    static IdRenamePlan plan(const XmlDocument &doc, ReferenceIndex &index, const QString &oldId, const QString &newId);
    // Carries the plan out: writes the other files, then changes doc as *step (taken back with
    // step->undo()). Returns why it failed (then no file and not doc changed), else empty;
    // *written gets the files written.
    static QString apply(XmlDocument &doc, const IdRenamePlan &plan, EditStep *step, QStringList *written = nullptr);
    // Takes instance (of doc, its id `id`) out with every reference to it: first the elements
    // of the other files that hold the hrefs of inFolder, those files written as apply writes
    // them, then, as *step, the instance and the elements of doc that hold its references.
    // Returns why it failed (then no file and not doc changed), else empty; *written gets the
    // files written. *step is empty when the instance's place in the file cannot be told.
    static QString remove(XmlDocument &doc, const XmlNode &instance, const QString &id, const QList<Referrer> &inFolder,
                          EditStep *step, QStringList *written = nullptr);
    // The elements of doc that hold a ref or href naming its instance id, in document order
    // (what removing the references to the instance takes out).
    static QList<XmlNode> referenceHolders(const XmlDocument &doc, const QString &id);

    // Changes the files that hold inFolder's references together: each is read and changed in
    // memory by change(its document, its path), which returns why it cannot be changed (else
    // empty), before any is written; then they are written in name order as a save writes them.
    // When one cannot be written, the ones written before it get their old bytes back. Returns
    // why it failed (then no file changed), else empty; *written gets the files written.
    using FileChange = std::function<QString(XmlDocument &file, const QString &path)>;
    static QString changeFiles(const QList<Referrer> &inFolder, const FileChange &change, QStringList *written);
};

} // namespace quillon
