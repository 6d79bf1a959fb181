// The editor control: re-pointing a reference row to an instance chosen in the picker.
#include "ctrlxmleditor.h"
#include "dlgref.h"

#include <QTreeWidget>

namespace quillon {

void CtrlXMLEditor::mnuEdit_Click()
{
    if (!m_itmLink || !xmlDoc)
        return;
    // A reference into another document offers that document as the reference writes it,
    // one within this document offers this document's file. The picker reads a relative
    // name where following the reference finds it, next to the document shown, while its
    // address keeps the name as written: the new reference is written from that address, so
    // a relative reference stays relative.
    const QString value = m_itmLink->text(1);
    const QString address = value.contains(QLatin1Char('#')) ? value.section(QLatin1Char('#'), 0, 0) : m_strFileName;
    const QString choice = dlgRef::instance(this)->chooseFrom(address, m_strFileName);
    if (!choice.isEmpty())
        applyLink(choice);
}

bool CtrlXMLEditor::applyLink(const QString &selectedRef)
{
    QTreeWidgetItem *row = m_itmLink;
    const RefPieces pieces(selectedRef);
    if (!row || !xmlDoc || pieces.count() < 3)
        return false;
    const QString document = pieces.piece(0), name = pieces.piece(1), id = pieces.piece(2);

    const XmlNode located = rowElement(row);
    if (!located || !located.belongsTo(xmlDoc)) {
        message(QStringLiteral("Unexpected NULL element"), QStringLiteral("Error"), 16);
        return false;
    }

    // The new element goes where the row's value was read: in place of the located element's
    // first child (an instance's property keeps its element and its name), or, for a row
    // read from the located element's own attribute, in place of the located element.
    const bool replaceLocated = rowSource(row) == RowSource::OwnAttribute;

    // Everything is checked before the first change, so a failure leaves the document as it was.
    XmlNode element = xmlDoc->createElement(name, xmlDoc->selectSingleNode(QStringLiteral("/uos")).namespaceURI());
    XmlNode parent = replaceLocated ? located.parentNode() : located;
    const XmlNode old = replaceLocated ? located : located.firstChild();
    if (!element || !parent || !old)
        return false;

    const bool same = sameDocument(document, m_strFileName);
    QString value = id;
    if (!same) {
        const bool sameFolder = sameDocument(FolderOf(document), FolderOf(m_strFileName));
        value = (sameFolder ? FileNameOf(document) : document) + QLatin1Char('#') + id;
    }
    element.setAttribute(same ? QStringLiteral("ref") : QStringLiteral("href"), value);
    const XmlNode placed = parent.replaceChild(element, old);
    if (!placed)
        return false;

    if (replaceLocated) {
        // The rows stood for the element just replaced: they stand for its successor now,
        // and the row takes its name.
        if (m_elmInstance == located)
            m_elmInstance = placed;
        m_elmRows = placed;
        row->setText(0, name);
    }
    row->setText(1, value);
    rebuildTree();
    updateModified();
    return true;
}

} // namespace quillon
