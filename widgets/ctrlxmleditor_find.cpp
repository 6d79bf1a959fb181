// The editor control: the "Find" tab (find by value in the document shown, Ctrl+Shift+F) and
// the "Compare" tab (Compare With: how the document shown differs from another file). A chosen
// row shows its instance as a followed reference does.
#include "widgets/ctrlxmleditor.h"
#include "session/comparemodel.h"
#include "session/findmodel.h"
#include "widgets/findpage.h"
#include "widgets/rowchoice_p.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace quillon {

void CtrlXMLEditor::setupFindTabs()
{
    pageFind = new FindPage(m_session, ctrlTab);
    pageFind->setObjectName(QStringLiteral("tabFind"));
    ctrlTab->addTab(pageFind, tr("Find"));
    auto *actFindValue = new QAction(tr("Find in Document"), this);
    actFindValue->setObjectName(QStringLiteral("actFindValue"));
    actFindValue->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    actFindValue->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(actFindValue);
    connect(actFindValue, &QAction::triggered, this, [this] {
        ctrlTab->setCurrentWidget(pageFind);
        pageFind->focusQuery();
    });
    connect(pageFind, &FindPage::rowChosen, this, &CtrlXMLEditor::lstFind_Click);

    pageCompare = new QWidget(ctrlTab);
    pageCompare->setObjectName(QStringLiteral("tabCompare"));
    pageCompare->hide();
    lblCompare = new QLabel(pageCompare);
    lblCompare->setObjectName(QStringLiteral("lblCompare"));
    lblCompare->setWordWrap(true);
    m_compare = new CompareModel(m_session, this);
    lstCompare = new QTreeView(pageCompare);
    lstCompare->setObjectName(QStringLiteral("lstCompare"));
    lstCompare->setModel(m_compare);
    lstCompare->setUniformRowHeights(true);
    lstCompare->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto *layout = new QVBoxLayout(pageCompare);
    layout->addWidget(lblCompare);
    layout->addWidget(lstCompare);
    onRowChosen(lstCompare, this, [this](const QModelIndex &i) { lstCompare_Click(i); });
    // Another document drops the result: its summary goes with it.
    connect(m_compare, &QAbstractItemModel::modelReset, this, [this] { lblCompare->setText(m_compare->summary()); });
}

void CtrlXMLEditor::lstFind_Click(int row)
{
    FindModel *model = pageFind->model();
    if (row < 0 || row >= model->rowCount())
        return;
    const XmlNode element = model->instanceOf(row);
    if (!element && model->row(row).id.isEmpty())
        return; // an instance without an id, in a document changed since: nothing finds it again
    ctrlTab->setCurrentWidget(pageStep);
    tell(m_session->showInstance({}, model->row(row).id, element));
    selectTreeNodeOf(m_session->shownInstance());
    const int property = model->propertyRowOf(row);
    if (property >= 0) {
        ctrlProperties->setCurrentIndex(m_session->rows()->index(property, 0));
        ctrlProperties->setFocus(Qt::OtherFocusReason);
    }
}

bool CtrlXMLEditor::CompareWith(const QString &strFileName)
{
    if (IsEditing())
        SaveItemChanges(true);
    const bool ok = m_compare->compareWith(strFileName);
    if (!ok) {
        QMessageBox box(QMessageBox::Critical, tr("Error"), m_compare->error(), QMessageBox::Ok, this);
        box.exec();
        return false;
    }
    if (ctrlTab->indexOf(pageCompare) < 0)
        ctrlTab->addTab(pageCompare, tr("Compare"));
    // A few changes open with their properties; many stay closed.
    if (m_compare->rowCount() <= 200)
        lstCompare->expandAll();
    lstCompare->header()->resizeSections(QHeaderView::ResizeToContents);
    ctrlTab->setCurrentWidget(pageCompare);
    return true;
}

void CtrlXMLEditor::lstCompare_Click(const QModelIndex &index)
{
    const QString id = m_compare->shownId(index);
    if (id.isEmpty())
        return; // removed: the document shown has no such instance
    ctrlTab->setCurrentWidget(pageStep);
    tell(m_session->showInstance({}, id, m_compare->shownElement(index)));
    selectTreeNodeOf(m_session->shownInstance());
}

} // namespace quillon
