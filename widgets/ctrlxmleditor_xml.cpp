// The control's "Show in XML": the property list's menu and the Graph boxes' menu show the XML
// tab at the start tag of the instance, found by the document's line of the element.
#include "widgets/ctrlxmleditor.h"

#include "graph/graphview.h"
#include "widgets/xmlsourceview.h"

#include <QMenu>
#include <QTabWidget>
#include <QTreeView>

namespace quillon {

void CtrlXMLEditor::setupShowInXml()
{
    // On a reference row the row's own menu carries the command too.
    QAction *onLink = mnuEditLink->addAction(tr("Show in XML"));
    onLink->setObjectName(QStringLiteral("mnuShowInXml"));
    connect(onLink, &QAction::triggered, this, [this] { ShowInXml(m_session->shownInstance()); });
    ctrlProperties->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ctrlProperties, &QWidget::customContextMenuRequested, this, &CtrlXMLEditor::ctrlProperties_ContextMenu);
    if (auto *graph = ctrlTab->findChild<GraphPage *>(QStringLiteral("tabGraph")))
        connect(graph, &GraphPage::showInXmlRequested, this, &CtrlXMLEditor::ShowInXml);
}

void CtrlXMLEditor::ctrlProperties_ContextMenu(const QPoint &pos)
{
    const QModelIndex at = ctrlProperties->indexAt(pos);
    if (at.isValid() && m_session->rows()->row(at.row()).isReference())
        return; // the reference row's menu (mnuEditLink) opens instead
    if (!m_session->shownInstance())
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("mnuProperties"));
    QAction *show = menu.addAction(tr("Show in XML"));
    show->setObjectName(QStringLiteral("actShowInXml"));
    addInstanceCommands(menu);
    if (menu.exec(ctrlProperties->viewport()->mapToGlobal(pos)) == show)
        ShowInXml(m_session->shownInstance());
}

void CtrlXMLEditor::ShowInXml(const XmlNode &element)
{
    XmlDocument *doc = m_session->document();
    if (!doc || !element || !element.belongsTo(doc))
        return;
    const QList<int> lines = doc->lineNumbers({element.ref()});
    if (lines.isEmpty() || lines.first() <= 0)
        return; // added since the file was written: the text does not hold it
    ctrlTab->setCurrentWidget(ieXML->parentWidget());
    ieXML->showStartTag(lines.first());
}

} // namespace quillon
