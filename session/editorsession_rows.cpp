// The editing session: selecting tree nodes, the property rows, committing edits and
// re-pointing references.
#include "session/editorsession.h"
#include "session/treemodel.h"
#include "document/xmlchange.h"

namespace quillon {

// ---- Node selection -----------------------------------------------------------------------

EditorSession::Reports EditorSession::selectNode(int node)
{
    const Operation operation(this);
    const TreeStore &store = m_tree->store();
    if (!store.isValid(node))
        return {};
    emit editMustClose();
    if (!m_file.document())
        return {};
    const XmlNode selected = elementForNode(store, node);
    if (!selected)
        return {};
    if (store.childCount(node) >= 1) {
        setListVisible(false);
        setEntity({});
        return {};
    }
    setListVisible(true);
    // The list on show, even while it stays empty, now belongs to this document: reading the
    // same document again (a jump that failed goes back to it) keeps it on show.
    m_shown.setFile(m_file.fileName());
    if (m_mode == 0)
        armBranch(selected);
    else
        referenceBranch(selected);
    return take();
}

bool EditorSession::clickLoadsDocument(int node) const
{
    // As selectNode: a terminal node outside the ARM view whose element has an href and no ref.
    const TreeStore &store = m_tree->store();
    if (m_mode == 0 || !store.isValid(node) || store.childCount(node) >= 1)
        return false;
    const XmlNode selected = elementForNode(store, node);
    if (!selected || selected.selectSingleNode(QStringLiteral("@ref")))
        return false;
    const XmlNode href = selected.selectSingleNode(QStringLiteral("@href"));
    return href && !targetOf(RefPieces(href.text()).piece(0)).isEmpty();
}

EditorSession::Reports EditorSession::moveToNode(int node)
{
    return clickLoadsDocument(node) ? Reports() : selectNode(node);
}

void EditorSession::armBranch(const XmlNode &s)
{
    clearRows();
    setEntity({});
    auto armEmpty = [this] {
        clearRows();
        setListVisible(false);
        setEntity({});
        report(Outcome::ArmAttributeEmpty);
    };
    if (!hasLowerCase(s.nodeName()))
        return armEmpty();

    PropertyRow r;
    r.caption = NameToCaption(s.nodeName());
    if (s.attributeCount() != 0) {
        r.element = s;
        r.value = s.attribute(0).text();
        r.source = PropertyRow::Source::OwnAttribute;
        return showSingleRow(s, r);
    }
    // The value is held by the AIM instance named by the previous sibling.
    const XmlNode p = s.previousSibling();
    if (!p || p.attributeCount() == 0)
        return armEmpty();
    const XmlNode v = m_file.document()->selectSingleNode(QStringLiteral("/uos/*/aim-instances/") + p.nodeName() +
                                                          xpathPredicate(QStringLiteral("id"), p.attribute(0).text()) +
                                                          QLatin1Char('/') + s.nodeName());
    if (!v)
        return armEmpty();
    if (!v.text().isEmpty()) {
        r.element = v;
        r.value = v.text();
        return showSingleRow(v.parentNode(), r);
    }
    const XmlNode reference = v.firstChild();
    if (!reference || reference.attributeCount() == 0)
        return armEmpty();
    m_shown.setInstance(findInstance(reference.attribute(0).text()));
    populateInstance();
}

// The one row the ARM view shows stands for a child of `owner` (or for owner itself).
void EditorSession::showSingleRow(const XmlNode &owner, const PropertyRow &row)
{
    m_shown.showSingleRow(owner, row, m_file.fileName());
}

void EditorSession::referenceBranch(const XmlNode &s)
{
    QString id;
    if (const XmlNode ref = s.selectSingleNode(QStringLiteral("@ref"))) {
        id = ref.text();
        m_shown.setInstance(findInstance(id));
    } else if (const XmlNode href = s.selectSingleNode(QStringLiteral("@href"))) {
        // An href into this document is read as a ref: nothing is saved or loaded.
        const RefPieces pieces(href.text());
        const QString target = targetOf(pieces.piece(0));
        id = pieces.piece(1);
        if (target.isEmpty())
            m_shown.setInstance(findInstance(pieces.piece(1)));
        else if (beginJump(target, pieces.piece(1)) != JumpResult::NotLoaded)
            return;
    } else if (m_mode == 2) {
        m_shown.setInstance(s);
    } else {
        report(Outcome::EmptyReference);
    }
    referenceTail(id);
}

void EditorSession::referenceTail(const QString &id)
{
    if (!m_shown.instance()) {
        report(Outcome::InstanceNotFound, id);
        // No instance stands behind the rows any more.
        clearRows();
        setEntity({});
        return;
    }
    populateInstance();
}

// ---- Property rows ------------------------------------------------------------------------

void EditorSession::setListVisible(bool visible)
{
    m_shown.setListVisible(visible);
}

void EditorSession::setEntity(const QString &caption)
{
    m_shown.setEntity(caption);
    emit entityChanged(caption);
}

void EditorSession::clearRows()
{
    // An open edit belongs to the rows on show: it is stored before they go.
    emit editMustClose();
    m_shown.clearRows();
}

void EditorSession::populateInstance()
{
    clearRows();
    setEntity({});
    // Rows that could not all be read stay on show as far as they were read; the caption stays
    // empty.
    if (!m_shown.fill(m_file.fileName()))
        return report(Outcome::PopulateFailed);
    const XmlNode shown = m_shown.instance();
    if (shown.attributeCount() > 0)
        setEntity(shown.nodeName() + QLatin1Char(' ') + shown.attribute(0).text());
}

void EditorSession::commitEdit(int index, const QString &text)
{
    PropertyModel *rows = m_shown.rows();
    if (rows->isValidRow(index)) {
        PropertyRow row = rows->row(index);
        // Only the shown document takes edits; an element of a document left behind would
        // lose them at the next save.
        const XmlNode e = m_shown.rowElement(row);
        if (e && m_file.document() && e.belongsTo(m_file.document())) {
            const RowsView before = m_shown.view();
            bool ok = false;
            const XmlChange change = XmlChange::setText(e, text, &ok);
            if (ok) {
                row.value = text;
                rows->setRow(index, row);
            }
            if (change)
                recordChange(change, before, index, false);
        }
    }
    updateModified();
}

// ---- Link editing -------------------------------------------------------------------------

QString EditorSession::linkAddress(int index) const
{
    // A reference into another document offers that document as the reference writes it
    // (the picker reads it next to this document), one within this document offers this
    // document's file.
    const PropertyModel *rows = m_shown.rows();
    const QString value = rows->isValidRow(index) ? rows->row(index).value : QString();
    const RefPieces pieces(value);
    return pieces.count() > 1 && !pieces.piece(0).isEmpty() ? pieces.piece(0) : m_file.fileName();
}

EditorSession::Reports EditorSession::applyLink(int index, const QString &selectedRef)
{
    const Operation operation(this);
    const RefPieces pieces(selectedRef);
    PropertyModel *rows = m_shown.rows();
    XmlDocument *doc = m_file.document();
    if (!rows->isValidRow(index) || !doc || pieces.count() < 3)
        return {};
    PropertyRow row = rows->row(index);
    const QString document = pieces.piece(0), name = pieces.piece(1), id = pieces.piece(2);

    const XmlNode located = m_shown.rowElement(row);
    if (!located || !located.belongsTo(doc)) {
        report(Outcome::UnexpectedNullElement);
        return take();
    }

    // The new element goes where the row's value was read: in place of the located element's
    // first child (an instance's property keeps its element and its name), or, for a row
    // read from the located element's own attribute, in place of the located element.
    const bool replaceLocated = row.source == PropertyRow::Source::OwnAttribute;

    // Everything is checked before the first change, so a failure leaves the document as it was.
    if (QString why; !doc->canEncodeName(name, &why)) {
        report(Outcome::NameNotWritable, why);
        return take();
    }
    XmlNode element = doc->createElement(name, doc->selectSingleNode(QStringLiteral("/uos")).namespaceURI());
    XmlNode parent = replaceLocated ? located.parentNode() : located;
    const XmlNode old = replaceLocated ? located : located.firstChild();
    if (!element || !parent || !old)
        return {};

    // The picker's address is read next to this document, as the picker read it. This
    // document, however named, takes a ref; another file an href relative to this document's
    // folder where the two share a folder.
    const QString target = targetOf(document);
    const bool same = target.isEmpty();
    const QString value = same ? id : documentPartFor(m_file.fileName(), target) + QLatin1Char('#') + id;
    element.setAttribute(same ? QStringLiteral("ref") : QStringLiteral("href"), value);
    const RowsView before = m_shown.view();
    const XmlChange change = XmlChange::replaceChild(parent, element, old);
    const XmlNode placed = change.placed();
    if (!placed)
        return {};

    if (replaceLocated) {
        // The row stood for the element just replaced: it stands for its successor now, and
        // takes its name.
        m_shown.replaceOwner(located, placed);
        row.element = placed;
        row.caption = name;
    }
    row.value = value;
    rows->setRow(index, row);
    rebuildTree();
    recordChange(change, before, index, true);
    updateModified();
    return {};
}

} // namespace quillon
