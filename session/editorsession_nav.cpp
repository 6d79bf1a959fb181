// The editing session: following references, jumps into other documents and the history.
#include "session/editorsession.h"

namespace quillon {

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

void EditorSession::setBackEnabled(bool enabled)
{
    m_nav.setBackEnabled(enabled);
    emit backEnabledChanged(enabled);
}

void EditorSession::recordEntry(const QString &entry)
{
    if (entry.isEmpty())
        return;
    m_nav.record(entry);
    emit backEnabledChanged(true);
}

EditorSession::JumpResult EditorSession::beginJump(const QString &document, const QString &id)
{
    // The document left is written first; if that fails, it is not left.
    if (!saveDocument() && m_file.hasContent())
        return JumpResult::NotLeft;
    const QString from = m_file.fileName();
    m_nav.beginJump({from, id, returnPlaceId()});
    if (open(document))
        return JumpResult::Started;
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
    const PendingJump left{m_file.fileName(), id, returnPlaceId()};
    if (document.isEmpty()) {
        m_shown.setInstance(exact ? exact : findInstance(id));
    } else {
        if (beginJump(document, id) != JumpResult::NotLoaded)
            return take(); // under way (the load completes it), or the document could not be left
        m_shown.setInstance(findInstance(id));
    }
    if (!m_shown.instance()) {
        report(notFound);
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
    recordEntry(left.returnEntry());
    populateInstance();
    return take();
}

void EditorSession::completePendingSelection()
{
    const PendingJump jump = m_nav.takeJump().value_or(PendingJump());
    const XmlNode target = findInstance(jump.id);
    if (!target) {
        m_shown.setInstance(XmlNode());
        clearRows();
        setEntity({});
        report(Outcome::InstanceNotFound);
        return;
    }
    recordEntry(jump.returnEntry());
    m_shown.setInstance(target);
    populateInstance();
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
    const RefPieces entry(m_nav.history().current());
    if (!sameDocument(entry.piece(0), m_file.fileName())) {
        if (!saveDocument())
            return take();
        if (!open(entry.piece(0))) {
            report(Outcome::BrokenHistory, m_file.lastError());
            return take();
        }
    }
    const XmlNode found = findInstance(entry.piece(1));
    if (!found) {
        report(Outcome::BrokenHistory);
        return take();
    }
    m_shown.setInstance(found);
    if (!m_nav.stepBack())
        setBackEnabled(false);
    populateInstance();
    return take();
}

} // namespace quillon
