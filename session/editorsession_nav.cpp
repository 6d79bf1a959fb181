// The editing session: following references, jumps into other documents and the history.
#include "session/editorsession.h"
#include "session/treemodel.h"

#include <QFileInfo>

namespace quillon {

namespace {

// "/uos[1]/arm[1]/PART[1]": each element from the document element down, by its name and its
// position among the siblings of that name.
QString elementPath(const XmlNode &element)
{
    QString path;
    for (XmlNode e = element; e && e.nodeType() == XmlNode::Element; e = e.parentNode()) {
        int position = 1;
        for (XmlNode s = e.previousSibling(); s; s = s.previousSibling())
            position += s.nodeType() == XmlNode::Element && s.nodeName() == e.nodeName();
        path.prepend(QStringLiteral("/%1[%2]").arg(e.nodeName()).arg(position));
    }
    return path;
}

XmlNode elementAtPath(const XmlDocument *doc, const QString &path)
{
    XmlNode parent;
    XmlNode found;
    for (const QString &step : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const qsizetype open = step.lastIndexOf(QLatin1Char('['));
        const QString name = step.left(open);
        int position = step.mid(open + 1).chopped(1).toInt();
        found = XmlNode();
        const QList<XmlNode> candidates = parent ? parent.childNodes() : QList<XmlNode>{doc->documentElement()};
        for (const XmlNode &c : candidates)
            if (c.nodeType() == XmlNode::Element && c.nodeName() == name && --position == 0) {
                found = c;
                break;
            }
        if (!found)
            return {};
        parent = found;
    }
    return found;
}

} // namespace

XmlNode EditorSession::findInstance(const QString &id) const
{
    return m_file.findInstance(id);
}

QString EditorSession::returnPlaceId() const
{
    // Back can return only to an instance that is found again by its id.
    const XmlNode shown = m_shown.instance();
    const QString id = firstAttributeText(shown);
    return !id.isEmpty() && findInstance(id) == shown ? id : QString();
}

QString EditorSession::returnPlacePath() const
{
    // An element without an id that finds it (an ARM view's mapping element) is found again
    // by its path.
    const XmlNode shown = m_shown.instance();
    return shown && shown.belongsTo(m_file.document()) && returnPlaceId().isEmpty() ? elementPath(shown) : QString();
}

int EditorSession::nodeOf(const XmlNode &element) const
{
    QList<XmlNode> chain; // from the element up to a child of the document element
    for (XmlNode e = element; e && e.parentNode() && e.parentNode().nodeType() == XmlNode::Element; e = e.parentNode())
        chain.prepend(e);
    const TreeStore &store = m_tree->store();
    int node = 0;
    for (qsizetype step = 0; step < chain.size(); ++step) {
        const int found = store.childFor(node, chain[step]);
        if (!found) // an ARM node stands for its last child itself
            return step == chain.size() - 1 && node && store.resolve(node, m_file.document()) == element ? node : 0;
        node = found;
    }
    return node;
}

void EditorSession::placeShown()
{
    // A document being read has the tree of the one before: its load completes this.
    const XmlDocument *doc = m_file.document();
    m_placePending = doc && doc->readyState() != 4;
    if (!m_placePending)
        emit navigated(nodeOf(m_shown.instance()));
}

void EditorSession::setBackEnabled(bool enabled)
{
    m_nav.setBackEnabled(enabled);
    emit backEnabledChanged(enabled);
}

void EditorSession::recordEntry(const QString &entry, const std::shared_ptr<KeptDocument> &kept)
{
    if (entry.isEmpty())
        return;
    m_nav.record(entry, kept);
    emit backEnabledChanged(true);
}

EditorSession::JumpResult EditorSession::beginJump(const QString &document, const QString &id)
{
    // The document left is written first; if that fails, it is not left.
    emit editMustClose();
    const bool writes = m_file.isModified();
    if (!saveDocument() && m_file.hasContent())
        return JumpResult::NotLeft;
    const QString from = m_file.fileName();
    if (writes)
        emit savedBeforeJump(QFileInfo(from).fileName());
    // The document left, with its undo history, stays while the history refers to it.
    const std::shared_ptr<KeptDocument> left = m_openKept;
    const PendingJump jump{from, id, returnPlaceId(), returnPlacePath(), left};
    const bool keep = left && (!jump.returnEntry().isEmpty() || m_nav.refersTo(left.get()));
    UndoState undo = keep ? undoState() : UndoState();
    m_nav.beginJump(jump);
    if (openKeeping(document, keep ? left.get() : nullptr, {id})) {
        if (keep)
            left->undo = std::move(undo);
        return JumpResult::Started;
    }
    report(Outcome::FileNotFound, m_file.lastError());
    m_nav.takeJump();
    open(from);
    reresolveInstance();
    return JumpResult::NotLoaded;
}

QString EditorSession::targetOf(const QString &part) const
{
    const QString file = m_file.fileName();
    return namesHolder(file, part) ? QString() : resolveDocumentPart(file, part);
}

EditorSession::Reports EditorSession::followRow(int index)
{
    const Operation operation(this);
    const PropertyModel *rows = m_shown.rows();
    if (!rows->isValidRow(index) || !rows->row(index).isReference())
        return {};
    const QString value = rows->row(index).value;
    if (isSameDocumentRefValue(value))
        return goTo({}, value, Outcome::RowInstanceNotFound);
    const RefPieces pieces(value);
    return goTo(targetOf(pieces.piece(0)), pieces.piece(1), Outcome::RowInstanceNotFound);
}

EditorSession::Reports EditorSession::showInstance(const QString &document, const QString &id, const XmlNode &element)
{
    const Operation operation(this);
    const XmlDocument *doc = m_file.document();
    if (!doc || m_file.isLoading())
        return {};
    emit editMustClose();
    // Asked for from elsewhere than the tree, the list comes up even where a node with
    // children had hidden it.
    if (!m_shown.listVisible())
        setListVisible(true);
    const QString target = sameDocument(document, m_file.fileName()) ? QString() : targetOf(document);
    return goTo(target, id, Outcome::InstanceNotFound,
                target.isEmpty() && element.belongsTo(doc) ? element : XmlNode());
}

EditorSession::Reports EditorSession::goTo(const QString &document, const QString &id, Outcome notFound,
                                           const XmlNode &exact)
{
    const QString idBefore = firstAttributeText(m_shown.instance());
    const PendingJump left{m_file.fileName(), id, returnPlaceId(), returnPlacePath(), {}};
    if (document.isEmpty()) {
        m_shown.setInstance(exact ? exact : findInstance(id));
    } else {
        if (beginJump(document, id) != JumpResult::NotLoaded)
            return take(); // under way (the load completes it), or the document could not be left
        m_shown.setInstance(findInstance(id));
    }
    if (!m_shown.instance()) {
        report(notFound, id);
        m_shown.setInstance(findInstance(idBefore));
        const XmlNode owner = m_shown.owner();
        if (!owner || !owner.belongsTo(m_file.document())) {
            // The document was read again: the rows on show belong to its old copy.
            if (m_shown.instance())
                populateInstance();
            else
                clearRows();
        }
        return take();
    }
    recordEntry(left.returnEntry(), m_openKept);
    populateInstance();
    placeShown();
    return take();
}

bool EditorSession::returnTo(const QString &file, const std::shared_ptr<KeptDocument> &kept, const QString &id)
{
    const std::shared_ptr<KeptDocument> left = m_openKept;
    KeptDocument *keepLeft = m_nav.refersTo(left.get()) ? left.get() : nullptr;
    UndoState undo = keepLeft ? undoState() : UndoState();
    if (kept && kept->holdsDocument() && kept->document->changedOnDisk()) {
        // Changed by another program since it was left: read again, as a document without
        // edits follows its file.
        kept->document->deleteLater();
        kept->document = nullptr;
    }
    if (kept && kept->holdsDocument()) {
        m_openClock.start();
        m_file.adopt(*kept, keepLeft);
        m_openKept = kept;
        documentReplaced();
        rebuildTree();
        noteDocumentShown();
        restoreUndo(kept->undo);
        updateModified();
        emit addressChanged(m_file.fileName());
        emit sourceChanged(m_file.fileName());
    } else if (!openKeeping(file, keepLeft, {id})) {
        return false;
    } else if (kept) {
        m_openKept = kept;
    }
    if (kept)
        kept->undo = {};
    if (keepLeft)
        keepLeft->undo = std::move(undo);
    return true;
}

// An element found by its path shows what a click on it shows in the ARM view (its one row);
// an instance its rows.
void EditorSession::showPlace(const XmlNode &element, bool byPath)
{
    setListVisible(true);
    m_shown.setFile(m_file.fileName());
    if (byPath && m_mode == 0)
        return armBranch(element);
    m_shown.setInstance(element);
    populateInstance();
}

void EditorSession::completePendingSelection()
{
    const PendingJump jump = m_nav.takeJump().value_or(PendingJump());
    const XmlNode target = findInstance(jump.id);
    if (!target) {
        m_shown.setInstance(XmlNode());
        clearRows();
        setEntity({});
        report(Outcome::InstanceNotFound, jump.id);
        return;
    }
    recordEntry(jump.returnEntry(), jump.kept);
    m_shown.setInstance(target);
    populateInstance();
    placeShown();
}

void EditorSession::reresolveInstance()
{
    const XmlNode shown = m_shown.instance();
    const XmlDocument *doc = m_file.document();
    if (!shown || !doc || shown.belongsTo(doc))
        return;
    const QString id = firstAttributeText(shown);
    m_shown.setInstance(id.isEmpty() ? XmlNode() : findInstance(id));
}

void EditorSession::refreshShownInstance()
{
    const XmlNode owner = m_shown.owner();
    if (owner && owner.belongsTo(m_file.document()))
        return;
    if (!sameDocument(m_shown.file(), m_file.fileName())) {
        // Another document was opened: nothing of the old one stays on show.
        m_shown.setInstance(XmlNode());
        clearRows();
        setEntity({});
        setListVisible(false);
        return;
    }
    // The same document was read again: show the same instance of the new copy.
    reresolveInstance();
    if (m_shown.instance()) {
        populateInstance();
    } else {
        clearRows();
        setEntity({});
    }
}

EditorSession::Reports EditorSession::back()
{
    const Operation operation(this);
    if (m_nav.history().isEmpty())
        return {};
    emit editMustClose();
    const HistoryPlace place = historyPlace(m_nav.history().current());
    if (!sameDocument(place.file, m_file.fileName())) {
        if (!saveDocument())
            return take();
        if (!returnTo(place.file, m_nav.currentKept(), place.id)) {
            report(Outcome::BrokenHistory, m_file.lastError());
            return take();
        }
    }
    const XmlNode found = place.id.isEmpty() ? elementAtPath(m_file.document(), place.path) : findInstance(place.id);
    if (!found) {
        report(Outcome::BrokenHistory);
        return take();
    }
    if (!m_nav.stepBack())
        setBackEnabled(false);
    showPlace(found, place.id.isEmpty());
    placeShown();
    return take();
}

} // namespace quillon
