// The editor control: selecting tree nodes, the property list, following references and Back.
#include "ctrlxmleditor.h"
#include "pictures.h"
#include "treemodel.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

namespace quillon {

namespace {

// The row's own mark of a reference row: 1 (the link picture) or 0.
constexpr int SmallIconRole = Qt::UserRole + 1;
// Where the row's value was read (RowSource).
constexpr int SourceRole = Qt::UserRole + 2;

} // namespace

// ---- Node selection -----------------------------------------------------------------------

void CtrlXMLEditor::ctrlTree_NodeClick(const QModelIndex &index)
{
    const int node = m_treeModel->nodeIndex(index);
    if (!node)
        return;
    if (m_bEditing)
        SaveItemChanges(true);
    if (!xmlDoc)
        return;
    const TreeStore &store = m_treeModel->store();
    m_nodSelected = xmlDoc->selectSingleNode(QStringLiteral("/uos/") + CaptionToName(store.fullPath(node)) + store.tag(node));
    if (!m_nodSelected)
        return;
    if (store.childCount(node) >= 1) {
        setListVisible(false);
        lblEntity->clear();
        return;
    }
    setListVisible(true);
    // The list on show, even while it stays empty, now belongs to this document: reading the
    // same document again (a jump that failed goes back to it) keeps it on show.
    m_strRowsFile = m_strFileName;
    if (m_nMode == 0)
        armBranch(m_nodSelected);
    else
        referenceBranch(m_nodSelected);
}

void CtrlXMLEditor::armBranch(const XmlNode &s)
{
    clearRows();
    lblEntity->clear();
    auto armEmpty = [this] {
        clearRows();
        setListVisible(false);
        lblEntity->clear();
        message(QStringLiteral("ARM attribute is empty"), QStringLiteral("Error"), 16);
    };
    if (!hasLowerCase(s.nodeName()))
        return armEmpty();

    QTreeWidgetItem *r = addRow(NameToCaption(s.nodeName()));
    if (s.attributeCount() != 0) {
        r->setText(1, s.attribute(0).text());
        setReferenceRow(r, RowSource::OwnAttribute);
        return showSingleRow(s);
    }
    // The value is held by the AIM instance named by the previous sibling.
    const XmlNode p = s.previousSibling();
    if (!p || p.attributeCount() == 0)
        return armEmpty();
    const XmlNode v = xmlDoc->selectSingleNode(QStringLiteral("/uos/*/aim-instances/") + p.nodeName() +
                                               xpathPredicate(QStringLiteral("id"), p.attribute(0).text()) +
                                               QLatin1Char('/') + s.nodeName());
    if (!v)
        return armEmpty();
    if (!v.text().isEmpty()) {
        r->setText(1, v.text());
        return showSingleRow(v.parentNode());
    }
    const XmlNode reference = v.firstChild();
    if (!reference || reference.attributeCount() == 0)
        return armEmpty();
    m_elmInstance = FindInstance(reference.attribute(0).text());
    PopulateInstance();
    FitColumns();
}

// The one row the ARM view added stands for a child of `owner`.
void CtrlXMLEditor::showSingleRow(const XmlNode &owner)
{
    m_elmInstance = owner;
    m_elmRows = owner;
    m_strRowsFile = m_strFileName;
    FitColumns();
}

void CtrlXMLEditor::referenceBranch(const XmlNode &s)
{
    if (const XmlNode ref = s.selectSingleNode(QStringLiteral("@ref"))) {
        m_elmInstance = FindInstance(ref.text());
    } else if (const XmlNode href = s.selectSingleNode(QStringLiteral("@href"))) {
        const RefPieces pieces(href.text());
        const JumpResult jump = beginJump(pieces.piece(0), pieces.piece(1));
        if (jump != JumpResult::NotLoaded)
            return;
    } else if (m_nMode == 2) {
        m_elmInstance = s;
    } else {
        message(QStringLiteral("Empty reference."), QStringLiteral("Warning"), 48);
    }
    referenceTail();
}

void CtrlXMLEditor::referenceTail()
{
    if (!m_elmInstance) {
        message(QStringLiteral("Instance not found."), QStringLiteral("Warning"), 48);
        // No instance stands behind the rows any more.
        clearRows();
        lblEntity->clear();
        return;
    }
    PopulateInstance();
    FitColumns();
}

// ---- Property list ------------------------------------------------------------------------

QTreeWidgetItem *CtrlXMLEditor::addRow(const QString &text)
{
    auto *item = new QTreeWidgetItem(ctrlProperties);
    item->setText(0, text);
    // Rows are tall enough for the edit box that opens 60 twips inside them.
    // (Set on the value column, whose fitted width is never used.)
    item->setSizeHint(1, QSize(0, txtEdit->sizeHint().height() + toPx(60)));
    return item;
}

bool CtrlXMLEditor::isReferenceRow(const QTreeWidgetItem *item) const
{
    return item && item->data(0, SmallIconRole).toInt() == 1;
}

CtrlXMLEditor::RowSource CtrlXMLEditor::rowSource(const QTreeWidgetItem *item) const
{
    return item ? RowSource(item->data(0, SourceRole).toInt()) : RowSource::Value;
}

void CtrlXMLEditor::setReferenceRow(QTreeWidgetItem *item, RowSource source)
{
    item->setData(0, SmallIconRole, 1);
    item->setData(0, SourceRole, int(source));
    item->setIcon(0, linkIcon());
}

void CtrlXMLEditor::setListVisible(bool visible)
{
    ctrlProperties->setVisible(visible);
    lblSelectWhat->setVisible(!visible);
}

void CtrlXMLEditor::clearRows()
{
    // An open edit belongs to the rows on show: store it before they go.
    if (m_bEditing)
        SaveItemChanges(true);
    m_itmEdit = nullptr;
    m_itmLink = nullptr;
    m_elmRows = XmlNode();
    ctrlProperties->clear();
}

XmlNode CtrlXMLEditor::rowElement(const QTreeWidgetItem *item) const
{
    if (!item || !m_elmRows)
        return {};
    // The ARM view's single row of a reference element stands for that element itself.
    if (rowSource(item) == RowSource::OwnAttribute)
        return m_elmRows;
    // Rows of the same text stand for the children of that name in order.
    int occurrence = 0;
    for (int i = 0, n = ctrlProperties->topLevelItemCount(); i < n; ++i) {
        const QTreeWidgetItem *other = ctrlProperties->topLevelItem(i);
        if (other == item)
            break;
        if (other->text(0) == item->text(0))
            ++occurrence;
    }
    const QString name = CaptionToName(item->text(0));
    for (const XmlNode &c : m_elmRows.childNodes()) {
        if (c.nodeType() == XmlNode::Element && c.nodeName() == name && occurrence-- == 0)
            return c;
    }
    return {};
}

void CtrlXMLEditor::PopulateInstance()
{
    clearRows();
    lblEntity->clear();
    m_elmRows = m_elmInstance;
    m_strRowsFile = m_strFileName;
    auto failed = [this] {
        lblEntity->adjustSize();
        message(QStringLiteral("Exception in \"PopulateInstance\""), QStringLiteral("Error"), 48);
    };
    if (!m_elmInstance)
        return failed();
    for (const XmlNode &c : m_elmInstance.childNodes()) {
        if (c.nodeType() != XmlNode::Element)
            continue;
        QTreeWidgetItem *row = addRow(NameToCaption(c.nodeName()));
        if (!c.hasChildNodes())
            continue;
        const XmlNode first = c.firstChild();
        if (first.nodeType() == XmlNode::Element) {
            if (first.attributeCount() == 0)
                return failed();
            row->setText(1, first.attribute(0).text());
            setReferenceRow(row, RowSource::FirstChild);
        } else {
            row->setText(1, c.text());
        }
    }
    if (m_elmInstance.attributeCount() > 0)
        lblEntity->setText(m_elmInstance.nodeName() + QLatin1Char(' ') + m_elmInstance.attribute(0).text());
    lblEntity->adjustSize();
}

void CtrlXMLEditor::FitColumns()
{
    for (int i = 0; i < ctrlProperties->columnCount(); ++i)
        ctrlProperties->resizeColumnToContents(i);
    const layout::ColumnWidths w =
        layout::fitColumns(toTwips(ctrlProperties->columnWidth(0)), toTwips(ctrlProperties->width()), 400);
    ctrlProperties->setColumnWidth(0, toPx(w.first));
    ctrlProperties->setColumnWidth(1, toPx(w.second));
}

void CtrlXMLEditor::SaveItemChanges(bool bSave)
{
    if (bSave && m_itmEdit) {
        // Only the shown document takes edits; an element of a document left behind would
        // lose them at the next save.
        XmlNode e = rowElement(m_itmEdit);
        if (e && xmlDoc && e.belongsTo(xmlDoc) && e.setText(txtEdit->text()))
            m_itmEdit->setText(1, txtEdit->text());
        updateModified();
    }
    txtEdit->clear();
    txtEdit->hide();
    m_bEditing = false;
    m_itmEdit = nullptr;
    ctrlProperties->setFocus();
}

// ---- References and history ---------------------------------------------------------------

XmlNode CtrlXMLEditor::FindInstance(const QString &id) const
{
    return xmlDoc ? xmlDoc->findInstance(id) : XmlNode();
}

QString CtrlXMLEditor::returnPlaceId() const
{
    // Back can return only to an instance that is found again by its id.
    const QString id = firstAttributeText(m_elmInstance);
    return !id.isEmpty() && FindInstance(id) == m_elmInstance ? id : QString();
}

void CtrlXMLEditor::recordEntry(const QString &entry)
{
    cmdBack->setEnabled(true);
    m_history.record(entry);
}

CtrlXMLEditor::JumpResult CtrlXMLEditor::beginJump(const QString &document, const QString &id)
{
    // The document left is written first; if that fails, it is not left.
    if (!SaveProfile() && xmlDoc && xmlDoc->hasChildNodes())
        return JumpResult::NotLeft;
    m_strPendingFile = m_strFileName;
    m_strPendingId = id;
    m_strPendingReturnId = returnPlaceId();
    m_bPendingSelect = true;
    if (LoadProfile(document))
        return JumpResult::Started;
    message(QStringLiteral("File not found."), QStringLiteral("Error"), 16, m_strLastError);
    m_bPendingSelect = false;
    LoadProfile(m_strPendingFile);
    reresolveInstance();
    return JumpResult::NotLoaded;
}

void CtrlXMLEditor::completePendingSelection()
{
    m_bPendingSelect = false;
    const XmlNode target = FindInstance(m_strPendingId);
    if (!target) {
        m_elmInstance = XmlNode();
        clearRows();
        lblEntity->clear();
        message(QStringLiteral("Instance not found."), QStringLiteral("Warning"), 48);
        return;
    }
    if (!m_strPendingReturnId.isEmpty())
        recordEntry(m_strPendingFile + QLatin1Char('#') + m_strPendingReturnId);
    m_elmInstance = target;
    PopulateInstance();
    FitColumns();
}

void CtrlXMLEditor::reresolveInstance()
{
    if (!m_elmInstance || !xmlDoc || m_elmInstance.belongsTo(xmlDoc))
        return;
    const QString id = firstAttributeText(m_elmInstance);
    m_elmInstance = id.isEmpty() ? XmlNode() : FindInstance(id);
}

void CtrlXMLEditor::refreshShownInstance()
{
    const bool stale = !m_elmRows || !m_elmRows.belongsTo(xmlDoc);
    if (!stale)
        return;
    if (!sameDocument(m_strRowsFile, m_strFileName)) {
        // Another document was opened: nothing of the old one stays on show.
        m_elmInstance = XmlNode();
        clearRows();
        lblEntity->clear();
        setListVisible(false);
        return;
    }
    // The same document was read again: show the same instance of the new copy.
    reresolveInstance();
    if (m_elmInstance) {
        PopulateInstance();
        FitColumns();
    } else {
        clearRows();
        lblEntity->clear();
    }
}

void CtrlXMLEditor::cmdBack_Click()
{
    if (m_history.isEmpty())
        return;
    if (m_bEditing)
        SaveItemChanges(true);
    const RefPieces entry(m_history.current());
    if (!sameDocument(entry.piece(0), m_strFileName)) {
        if (!SaveProfile())
            return;
        if (!LoadProfile(entry.piece(0))) {
            message(QStringLiteral("Broken history"), QStringLiteral("Error"), 16, m_strLastError);
            return;
        }
    }
    const XmlNode found = FindInstance(entry.piece(1));
    if (!found) {
        message(QStringLiteral("Broken history"), QStringLiteral("Error"), 16);
        return;
    }
    m_elmInstance = found;
    m_history.stepBack();
    if (m_history.isEmpty())
        cmdBack->setEnabled(false);
    PopulateInstance();
}

} // namespace quillon
