// The editor control: the "Referenced by" tab (who refers to the instance shown) and the
// "Check" tab (Check References on the document shown).
#include "widgets/ctrlxmleditor.h"
#include "widgets/childwidget_p.h"
#include "refs/refcheck.h"
#include "session/refmodels.h"
#include "session/treemodel.h"
#include "widgets/xmlsourceview.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace quillon {

namespace {

QTreeView *makeList(QWidget *parent, const char *name, QAbstractItemModel *model)
{
    auto *list = child<QTreeView>(parent, name);
    list->setModel(model);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

// A click follows a row; so does Enter (activated), and a double click where a single click
// does not activate already.
template <class F> void onRowChosen(QTreeView *list, QObject *context, F handler)
{
    QObject::connect(list, &QAbstractItemView::clicked, context, handler);
    QObject::connect(list, &QAbstractItemView::activated, context, [list, handler](const QModelIndex &index) {
        if (!list->style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr, list))
            handler(index);
    });
}

} // namespace

void CtrlXMLEditor::setupReferenceTabs()
{
    pageReferencedBy = new QWidget(ctrlTab);
    pageReferencedBy->setObjectName(QStringLiteral("tabReferencedBy"));
    ctrlTab->addTab(pageReferencedBy, tr("Referenced by"));
    chkOtherFiles = new QCheckBox(tr("Search other files in this folder"), pageReferencedBy);
    chkOtherFiles->setObjectName(QStringLiteral("chkOtherFiles"));
    m_referencedBy = new ReferencedByModel(m_session, this);
    lstReferencedBy = makeList(pageReferencedBy, "lstReferencedBy", m_referencedBy);
    auto *lblNoReferrer = new QLabel(pageReferencedBy);
    lblNoReferrer->setObjectName(QStringLiteral("lblNoReferrer"));
    lblNoReferrer->hide();
    auto *refsLayout = new QVBoxLayout(pageReferencedBy);
    refsLayout->setObjectName(QStringLiteral("layReferencedBy"));
    refsLayout->addWidget(chkOtherFiles);
    refsLayout->addWidget(lblNoReferrer);
    refsLayout->addWidget(lstReferencedBy);

    pageCheck = new QWidget(ctrlTab);
    pageCheck->setObjectName(QStringLiteral("tabCheck"));
    ctrlTab->addTab(pageCheck, tr("Check"));
    cmdCheck = new QPushButton(tr("Check References"), pageCheck);
    cmdCheck->setObjectName(QStringLiteral("cmdCheck"));
    lblCheck = new QLabel(pageCheck);
    lblCheck->setObjectName(QStringLiteral("lblCheck"));
    m_findings = new FindingsModel(this);
    lstFindings = makeList(pageCheck, "lstFindings", m_findings);
    lstFindings->setRootIsDecorated(true); // a row per kind, its findings below
    auto *checkLayout = new QVBoxLayout(pageCheck);
    checkLayout->setObjectName(QStringLiteral("layCheck"));
    auto *checkBar = new QHBoxLayout;
    checkBar->setObjectName(QStringLiteral("layCheckBar"));
    checkBar->addWidget(cmdCheck);
    checkBar->addWidget(lblCheck, 1);
    checkLayout->addLayout(checkBar);
    checkLayout->addWidget(lstFindings);

    // The list follows the instance shown while its tab is on show.
    connect(ctrlTab, &QTabWidget::currentChanged, this,
            [this] { m_referencedBy->setActive(ctrlTab->currentWidget() == pageReferencedBy); });
    connect(chkOtherFiles, &QCheckBox::toggled, this, [this](bool on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_referencedBy->setOtherFiles(on);
        QApplication::restoreOverrideCursor();
    });
    connect(m_referencedBy, &QAbstractItemModel::modelReset, this, [this, lblNoReferrer] {
        lstReferencedBy->header()->resizeSections(QHeaderView::ResizeToContents);
        lblNoReferrer->setText(m_referencedBy->emptyText());
        lblNoReferrer->setVisible(!lblNoReferrer->text().isEmpty());
    });
    onRowChosen(lstReferencedBy, this, [this](const QModelIndex &i) { lstReferencedBy_Click(i); });
    onRowChosen(lstFindings, this, [this](const QModelIndex &i) { lstFindings_Click(i); });
    connect(cmdCheck, &QPushButton::clicked, this, [this] { CheckReferences(); });
}

void CtrlXMLEditor::lstReferencedBy_Click(const QModelIndex &index)
{
    const Referrer r = m_referencedBy->referrer(index.row());
    if (!index.isValid() || r.id.isEmpty())
        return;
    // As a followed reference: the place left goes into the history, "<< Back" returns. The
    // row stands for the very instance that refers, whatever other instance shares its id.
    const XmlDocument *doc = m_session->document();
    ctrlTab->setCurrentWidget(pageStep);
    tell(m_session->showInstance(r.file, r.id, r.instance && doc ? doc->documentElement().at(r.instance) : XmlNode()));
}

int CtrlXMLEditor::CheckReferences()
{
    XmlDocument *doc = m_session->document();
    if (!doc || !doc->hasChildNodes()) {
        m_findings->setFindings({});
        lblCheck->setText(tr("No document to check."));
        return -1;
    }
    if (IsEditing())
        SaveItemChanges(true);
    const QList<Finding> findings = m_session->checkReferences();
    m_findings->setFindings(findings);
    lstFindings->header()->resizeSections(QHeaderView::ResizeToContents);
    lblCheck->setText(findings.isEmpty()     ? tr("No problems found.")
                      : findings.size() == 1 ? tr("1 problem found.")
                                             : tr("%1 problems found.").arg(QLocale().toString(findings.size())));
    ctrlTab->setCurrentWidget(pageCheck);
    return int(findings.size());
}

void CtrlXMLEditor::lstFindings_Click(const QModelIndex &index)
{
    if (!index.isValid() || !index.parent().isValid())
        return; // a kind's row: it opens and closes
    const Finding f = m_findings->finding(index);
    if (!f.instanceId.isEmpty() && m_session->document() && sameDocument(f.file, m_session->fileName())) {
        // An instance: shown in the list, and in the tree where the view has a node for it.
        ctrlTab->setCurrentWidget(pageStep);
        tell(m_session->showInstance({}, f.instanceId));
        selectTreeNodeOf(m_session->shownInstance());
    } else if (f.line > 0) {
        ctrlTab->setCurrentWidget(ieXML->parentWidget());
        ieXML->goToLine(f.line);
    }
}

void CtrlXMLEditor::selectTreeNodeOf(const XmlNode &element)
{
    selectTreeNode(m_session->nodeOf(element));
}

// Selects and reveals the node without running its click.
void CtrlXMLEditor::selectTreeNode(int node)
{
    if (node <= 0)
        return;
    const QModelIndex index = m_session->treeModel()->indexOfNode(node);
    ctrlTree->setCurrentIndex(index);
    ctrlTree->scrollTo(index);
}

} // namespace quillon
