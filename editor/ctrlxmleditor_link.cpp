// The editor control: re-pointing a reference row to an instance chosen in the picker.
#include "ctrlxmleditor.h"
#include "dlgref.h"

#include <QTreeWidget>

namespace quillon {

void CtrlXMLEditor::mnuEdit_Click()
{
    if (!m_itmLink || !xmlDoc)
        return;
    // A reference into another document offers that document, one within this document
    // offers this document's file. A relative name is offered where following the reference
    // finds it: next to the document shown.
    const QString value = m_itmLink->text(1);
    const QString address = value.contains(QLatin1Char('#'))
                                ? documentPathFor(m_strFileName, value.section(QLatin1Char('#'), 0, 0))
                                : m_strFileName;
    const QString choice = dlgRef::instance(this)->chooseFrom(address);
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

    // Everything is checked before the first change, so a failure leaves the document as it was.
    XmlNode element = xmlDoc->createElement(name, xmlDoc->selectSingleNode(QStringLiteral("/uos")).namespaceURI());
    XmlNode parent = m_nMode == 0 ? located.parentNode() : located;
    const XmlNode old = m_nMode == 0 ? located : located.firstChild();
    if (!element || !parent || !old)
        return false;

    const bool same = sameDocument(document, m_strFileName);
    QString value = id;
    if (!same) {
        const bool sameFolder = sameDocument(FolderOf(document), FolderOf(m_strFileName));
        value = (sameFolder ? FileNameOf(document) : document) + QLatin1Char('#') + id;
    }
    element.setAttribute(same ? QStringLiteral("ref") : QStringLiteral("href"), value);
    if (!parent.replaceChild(element, old))
        return false;

    if (!same)
        row->setText(0, name);
    row->setText(1, value);
    rebuildTree();
    updateModified();
    return true;
}

} // namespace quillon
