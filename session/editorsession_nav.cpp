// The editing session: following references, jumps into other documents and the history.
#include "session/editorsession.h"

namespace quillon {

XmlNode EditorSession::findInstance(const QString &id) const
{
    return m_doc ? m_doc->findInstance(id) : XmlNode();
}

QString EditorSession::returnPlaceId() const
{
    // Back can return only to an instance that is found again by its id.
    const QString id = firstAttributeText(m_instance);
    return !id.isEmpty() && findInstance(id) == m_instance ? id : QString();
}

void EditorSession::setBackEnabled(bool enabled)
{
    m_backEnabled = enabled;
    emit backEnabledChanged(enabled);
}

void EditorSession::recordEntry(const QString &entry)
{
    setBackEnabled(true);
    m_history.record(entry);
}

EditorSession::JumpResult EditorSession::beginJump(const QString &document, const QString &id)
{
    // The document left is written first; if that fails, it is not left.
    if (!saveDocument() && m_doc && m_doc->hasChildNodes())
        return JumpResult::NotLeft;
    m_pendingFile = m_fileName;
    m_pendingId = id;
    m_pendingReturnId = returnPlaceId();
    m_pendingSelect = true;
    if (open(document))
        return JumpResult::Started;
    report(Outcome::FileNotFound, m_lastError);
    m_pendingSelect = false;
    open(m_pendingFile);
    reresolveInstance();
    return JumpResult::NotLoaded;
}

QString EditorSession::targetOf(const QString &part) const
{
    return namesHolder(m_fileName, part) ? QString() : resolveDocumentPart(m_fileName, part);
}

EditorSession::Reports EditorSession::followRow(int index)
{
    if (!m_rows->isValidRow(index) || !m_rows->row(index).isReference())
        return {};
    const QString value = m_rows->row(index).value;
    if (isSameDocumentRefValue(value))
        return goTo({}, value, Outcome::RowInstanceNotFound);
    const RefPieces pieces(value);
    return goTo(targetOf(pieces.piece(0)), pieces.piece(1), Outcome::RowInstanceNotFound);
}

EditorSession::Reports EditorSession::showInstance(const QString &document, const QString &id, const XmlNode &element)
{
    if (!m_doc || m_loading)
        return {};
    emit editMustClose();
    // Asked for from elsewhere than the tree, the list comes up even where a node with
    // children had hidden it.
    if (!m_listVisible)
        setListVisible(true);
    const QString target = sameDocument(document, m_fileName) ? QString() : targetOf(document);
    return goTo(target, id, Outcome::InstanceNotFound,
                target.isEmpty() && element.belongsTo(m_doc) ? element : XmlNode());
}

EditorSession::Reports EditorSession::goTo(const QString &document, const QString &id, Outcome notFound,
                                           const XmlNode &exact)
{
    const QString idBefore = firstAttributeText(m_instance);
    const QString placeId = returnPlaceId();
    m_pendingFile = m_fileName;
    if (document.isEmpty()) {
        m_instance = exact ? exact : findInstance(id);
    } else {
        if (beginJump(document, id) != JumpResult::NotLoaded)
            return take(); // under way (the load completes it), or the document could not be left
        m_instance = findInstance(id);
    }
    if (!m_instance) {
        report(notFound);
        m_instance = findInstance(idBefore);
        if (!m_rowsOwner || !m_rowsOwner.belongsTo(m_doc)) {
            // The document was read again: the rows on show belong to its old copy.
            if (m_instance)
                populateInstance();
            else
                clearRows();
        }
        return take();
    }
    if (!placeId.isEmpty())
        recordEntry(m_pendingFile + QLatin1Char('#') + placeId);
    populateInstance();
    return take();
}

void EditorSession::completePendingSelection()
{
    m_pendingSelect = false;
    const XmlNode target = findInstance(m_pendingId);
    if (!target) {
        m_instance = XmlNode();
        clearRows();
        setEntity({});
        report(Outcome::InstanceNotFound);
        return;
    }
    if (!m_pendingReturnId.isEmpty())
        recordEntry(m_pendingFile + QLatin1Char('#') + m_pendingReturnId);
    m_instance = target;
    populateInstance();
    emit fitColumnsRequested();
}

void EditorSession::reresolveInstance()
{
    if (!m_instance || !m_doc || m_instance.belongsTo(m_doc))
        return;
    const QString id = firstAttributeText(m_instance);
    m_instance = id.isEmpty() ? XmlNode() : findInstance(id);
}

void EditorSession::refreshShownInstance()
{
    if (m_rowsOwner && m_rowsOwner.belongsTo(m_doc))
        return;
    if (!sameDocument(m_rowsFile, m_fileName)) {
        // Another document was opened: nothing of the old one stays on show.
        m_instance = XmlNode();
        clearRows();
        setEntity({});
        setListVisible(false);
        return;
    }
    // The same document was read again: show the same instance of the new copy.
    reresolveInstance();
    if (m_instance) {
        populateInstance();
        emit fitColumnsRequested();
    } else {
        clearRows();
        setEntity({});
    }
}

EditorSession::Reports EditorSession::back()
{
    if (m_history.isEmpty())
        return {};
    emit editMustClose();
    const RefPieces entry(m_history.current());
    if (!sameDocument(entry.piece(0), m_fileName)) {
        if (!saveDocument())
            return take();
        if (!open(entry.piece(0))) {
            report(Outcome::BrokenHistory, m_lastError);
            return take();
        }
    }
    const XmlNode found = findInstance(entry.piece(1));
    if (!found) {
        report(Outcome::BrokenHistory);
        return take();
    }
    m_instance = found;
    m_history.stepBack();
    if (m_history.isEmpty())
        setBackEnabled(false);
    populateInstance();
    return take();
}

} // namespace quillon
