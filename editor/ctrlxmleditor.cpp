// The editor control: its children, loading and saving, the view switch and the tree.
#include "ctrlxmleditor.h"
#include "dlgwait.h"
#include "linepainter.h"
#include "treemodel.h"
#include "xmlsourceview.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>

#include <cstring>

namespace quillon {

namespace {

template <class W>
W *child(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

CtrlXMLEditor::CtrlXMLEditor(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CtrlXMLEditor"));
    m_layout = layout::designLayout();

    lblAddress = child<QLabel>(this, "lblAddress");
    lblAddress->setFrameStyle(QFrame::Box | QFrame::Plain);
    lblAddress->setForegroundRole(QPalette::WindowText);
    lblAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);

    ctrlTab = child<QTabWidget>(this, "ctrlTab");
    pageStep = child<QWidget>(ctrlTab, "tabSTEP");
    auto *pageXml = child<QWidget>(ctrlTab, "tabXML");
    ctrlTab->addTab(pageStep, QStringLiteral("STEP"));
    ctrlTab->addTab(pageXml, QStringLiteral("XML"));

    cmdBack = child<QPushButton>(pageStep, "cmdBack");
    cmdBack->setText(QStringLiteral("<< Back"));
    cmdBack->setEnabled(false);
    cmdLoad = child<QPushButton>(pageStep, "cmdLoad");
    cmdLoad->setText(QStringLiteral("Load"));
    cmdLoad->hide();

    lblSelectWhat = child<QLabel>(pageStep, "lblSelectWhat");
    lblSelectWhat->setText(QStringLiteral("Select a terminal node to edit."));
    lblSelectWhat->setAlignment(Qt::AlignCenter);
    QFont hintFont(QStringLiteral("System"));
    hintFont.setPointSizeF(9.75);
    hintFont.setBold(true);
    lblSelectWhat->setFont(hintFont);
    QPalette hintPalette = lblSelectWhat->palette();
    hintPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lblSelectWhat->setPalette(hintPalette);
    lblSelectWhat->adjustSize();

    lblEntity = child<QLabel>(pageStep, "lblEntity");
    QFont entityFont(QStringLiteral("MS Sans Serif"));
    entityFont.setPointSizeF(8.25);
    entityFont.setBold(true);
    lblEntity->setFont(entityFont);

    ctrlProperties = child<QTreeWidget>(pageStep, "ctrlProperties");
    ctrlProperties->setColumnCount(2);
    ctrlProperties->setHeaderLabels({QStringLiteral("Property"), QStringLiteral("Value")});
    ctrlProperties->setRootIsDecorated(false);
    ctrlProperties->setUniformRowHeights(true);
    ctrlProperties->setIconSize(QSize(16, 16));
    ctrlProperties->setSelectionMode(QAbstractItemView::SingleSelection);
    ctrlProperties->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ctrlProperties->header()->setStretchLastSection(false);
    // FitColumns sets both widths itself: a narrow list may leave the Value column only a
    // few pixels, or none.
    ctrlProperties->header()->setMinimumSectionSize(0);
    ctrlProperties->hide();
    ctrlProperties->viewport()->installEventFilter(this);
    ctrlProperties->installEventFilter(this);

    txtEdit = child<QLineEdit>(pageStep, "txtEdit");
    txtEdit->hide();
    txtEdit->installEventFilter(this);

    ctrlTree = child<QTreeView>(pageStep, "ctrlTree");
    m_treeModel = new TreeModel(this);
    ctrlTree->setModel(m_treeModel);
    ctrlTree->setHeaderHidden(true);
    ctrlTree->setUniformRowHeights(true);
    ctrlTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(ctrlTree, &QTreeView::clicked, this, &CtrlXMLEditor::ctrlTree_NodeClick);

    lblResizeBar = child<QLabel>(pageStep, "lblResizeBar");
    lblResizeBar->setCursor(Qt::SizeHorCursor);
    lblResizeBar->setToolTip(QStringLiteral("Drag to resize the panes."));
    lblResizeBar->installEventFilter(this);
    linHilite = new LinePainter(pageStep, QPalette::Light);
    linHilite->setObjectName(QStringLiteral("linHilite"));
    linShadow = new LinePainter(pageStep, QPalette::Dark);
    linShadow->setObjectName(QStringLiteral("linShadow"));

    ieXML = child<XmlSourceView>(pageXml, "ieXML");

    mnuEditLink = child<QMenu>(this, "mnuEditLink");
    QAction *mnuEdit = mnuEditLink->addAction(QStringLiteral("Edit Link..."));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    connect(mnuEdit, &QAction::triggered, this, &CtrlXMLEditor::mnuEdit_Click);

    // The children's order stands for the keyboard focus order.
    setTabOrder(ctrlTab, cmdBack);
    setTabOrder(cmdBack, cmdLoad);
    setTabOrder(cmdLoad, txtEdit);
    setTabOrder(txtEdit, ctrlProperties);
    setTabOrder(ctrlProperties, ctrlTree);
    setTabOrder(ctrlTree, ieXML);

    connect(cmdBack, &QPushButton::clicked, this, &CtrlXMLEditor::cmdBack_Click);
    connect(cmdLoad, &QPushButton::clicked, this, &CtrlXMLEditor::cmdLoad_Click);
    pageStep->installEventFilter(this);
    pageXml->installEventFilter(this);

    UserControl_Initialize();
    resize(toPx(m_layout.controlWidth), toPx(m_layout.controlHeight));
    applyLayout();
}

CtrlXMLEditor::~CtrlXMLEditor() = default;

void CtrlXMLEditor::UserControl_Initialize()
{
    // The insets come with the design arrangement (designLayout); the rest starts empty.
    m_history = History();
    m_nMode = 0;
    m_bPendingSelect = false;
}

void CtrlXMLEditor::cmdLoad_Click()
{
    LoadProfile(QStringLiteral(QUILLON_SAMPLE));
}

void CtrlXMLEditor::showWait()
{
    dlgWait::instance(this)->showNow();
}

void CtrlXMLEditor::hideWait()
{
    if (dlgWait *w = dlgWait::existing())
        w->hide();
}

bool CtrlXMLEditor::LoadProfile(const QString &strFileName)
{
    showWait();
    auto *doc = new XmlDocument(this);
    // A relative name is looked for in the folder of the document shown before, and as given.
    const QString path = documentPathFor(m_strFileName, strFileName);
    const QString other = path == strFileName ? retryPath(m_strFileName, strFileName) : strFileName;
    bool result = doc->load(path);
    QString loaded = path;
    if (!result) {
        const QString firstError = doc->errorString();
        if (other != path && doc->load(other)) {
            result = true;
            loaded = other;
        } else {
            m_strLastError = firstError;
        }
    }
    if (!result) {
        // The document shown before stays: its object, its name, its tree and its view.
        delete doc;
        hideWait();
        return false;
    }
    m_strLastError.clear();
    m_strFileName = loaded;
    setDocument(doc);
    ieXML->Navigate(loaded);
    return true;
}

void CtrlXMLEditor::setDocument(XmlDocument *doc)
{
    if (xmlDoc) {
        xmlDoc->disconnect(this);
        xmlDoc->deleteLater();
    }
    xmlDoc = doc;
    connect(xmlDoc, &XmlDocument::onreadystatechange, this, &CtrlXMLEditor::xmlDoc_onreadystatechange);
    updateModified();
}

bool CtrlXMLEditor::SaveProfile()
{
    if (!xmlDoc || !xmlDoc->hasChildNodes() || m_strFileName.isEmpty())
        return false;
    if (m_bEditing)
        SaveItemChanges(true);
    if (!xmlDoc->isModified())
        return true; // the file holds what is in memory: nothing to write
    if (!saveTo(m_strFileName))
        return false;
    ieXML->Refresh();
    return true;
}

bool CtrlXMLEditor::SaveProfileAs(const QString &strFileName)
{
    if (!xmlDoc || !xmlDoc->hasChildNodes() || strFileName.isEmpty())
        return false;
    if (m_bEditing)
        SaveItemChanges(true);
    if (!saveTo(strFileName))
        return false;
    m_strFileName = strFileName;
    m_strRowsFile = strFileName;
    lblAddress->setText(m_strFileName);
    ieXML->Navigate(m_strFileName);
    return true;
}

// Writes the document to path; on failure tells the user why, and the file and the edits in
// memory stay as they were.
bool CtrlXMLEditor::saveTo(const QString &path)
{
    if (!xmlDoc->save(path)) {
        const QString name = QFileInfo(path).fileName();
        m_strLastError = QStringLiteral("Can't save %1: %2").arg(name, xmlDoc->errorString());
        message(QStringLiteral("Can't save %1.").arg(name), QStringLiteral("Error"), 16,
                xmlDoc->errorString() + QStringLiteral("\nThe file was not changed; the edits are kept."));
        return false;
    }
    m_strLastError.clear();
    updateModified();
    return true;
}

bool CtrlXMLEditor::Modified() const { return xmlDoc && xmlDoc->isModified(); }

void CtrlXMLEditor::updateModified()
{
    const bool now = Modified();
    if (now == m_bModifiedShown)
        return;
    m_bModifiedShown = now;
    emit ModifiedChanged(now);
}

void CtrlXMLEditor::setViewMode(int nMode)
{
    if (nMode < 0 || nMode > 2 || nMode == m_nMode)
        return;
    m_nMode = nMode;
    if (m_strFileName.isEmpty() || !xmlDoc)
        return;
    if (m_bEditing)
        SaveItemChanges(true);
    // The file is written first (when anything changed); the tree is then built anew from the
    // document in memory, which is what the file holds, and the shown instance stays shown.
    // A failed save keeps the edits in memory, shown in the new view all the same.
    SaveProfile();
    rebuildTree();
}

void CtrlXMLEditor::rebuildTree()
{
    if (!xmlDoc || !xmlDoc->hasChildNodes()) {
        m_treeModel->clear();
        return;
    }
    m_treeModel->rebuild(xmlDoc->documentElement(), m_nMode);
    if (m_treeModel->rowCount() > 0)
        ctrlTree->expand(m_treeModel->index(0, 0));
}

void CtrlXMLEditor::xmlDoc_onreadystatechange()
{
    if (!xmlDoc || sender() != xmlDoc || xmlDoc->readyState() != 4)
        return;
    if (!xmlDoc->hasChildNodes()) {
        m_treeModel->clear();
        return;
    }
    rebuildTree();
    hideWait();
    lblAddress->setText(m_strFileName);
    if (m_bPendingSelect)
        completePendingSelection();
    else
        refreshShownInstance();
}

void CtrlXMLEditor::message(const QString &text, const QString &title, int style, const QString &informative)
{
    QMessageBox box(this);
    box.setWindowTitle(title);
    box.setText(text);
    box.setInformativeText(informative);
    box.setIcon(style == 16 ? QMessageBox::Critical : style == 48 ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace quillon

QWidget *QuillonCreateControl(const char *progId, QWidget *parent)
{
    if (!progId || std::strcmp(progId, "Quillon.CtrlXMLEditor") != 0)
        return nullptr;
    return new quillon::CtrlXMLEditor(parent);
}
