// The editor control: its children, the automation interface, and the hand-over of what the
// session reports, and what it asks, to the message sink.
#include "widgets/ctrlxmleditor.h"
#include "widgets/childwidget_p.h"
#include "widgets/colours_p.h"
#include "widgets/dlgwait.h"
#include "widgets/editbox.h"
#include "graph/graphview.h"
#include "widgets/linepainter.h"
#include "widgets/messagesink.h"
#include "widgets/nodetree.h"
#include "session/treemodel.h"
#include "widgets/xmlsourceview.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>

namespace quillon {

CtrlXMLEditor::CtrlXMLEditor(QWidget *parent) : QWidget(parent), m_session(new EditorSession(this))
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
    ctrlTab->addTab(pageStep, tr("STEP"));
    ctrlTab->addTab(pageXml, tr("XML"));
    // The reference graph of the instance on show; a click on a box shows that instance.
    auto *pageGraph = new GraphPage(m_session, ctrlTab);
    pageGraph->setObjectName(QStringLiteral("tabGraph"));
    ctrlTab->addTab(pageGraph, tr("Graph"));
    connect(pageGraph, &GraphPage::showRequested, this,
            [this](const QString &document, const QString &id, const XmlNode &element) {
                tell(m_session->showInstance(document, id, element));
                selectTreeNodeOf(m_session->shownInstance());
            });

    cmdBack = child<QPushButton>(pageStep, "cmdBack");
    cmdBack->setText(tr("<< Back"));
    cmdBack->setEnabled(false);
    cmdBack->setFocusPolicy(Qt::StrongFocus); // in the tab order wherever buttons are not
    cmdLoad = child<QPushButton>(pageStep, "cmdLoad");
    cmdLoad->setText(tr("Load"));
    cmdLoad->hide();

    lblSelectWhat = child<QLabel>(pageStep, "lblSelectWhat");
    lblSelectWhat->setText(tr("Select a terminal node to edit."));
    lblSelectWhat->setAlignment(Qt::AlignCenter);
    QFont hintFont(QStringLiteral("System"));
    hintFont.setPointSizeF(9.75);
    hintFont.setBold(true);
    lblSelectWhat->setFont(hintFont);
    showHintColour();
    lblSelectWhat->adjustSize();

    lblEntity = child<QLabel>(pageStep, "lblEntity");
    QFont entityFont(QStringLiteral("MS Sans Serif"));
    entityFont.setPointSizeF(8.25);
    entityFont.setBold(true);
    lblEntity->setFont(entityFont);

    ctrlProperties = child<QTreeView>(pageStep, "ctrlProperties");
    ctrlProperties->setModel(m_session->rows());
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

    m_edit = new EditBox(
        ctrlProperties, pageStep, m_session, [this] { return dpi(); },
        [this] { return QPoint(m_layout.ctrlProperties.left, m_layout.ctrlProperties.top); },
        [this](const layout::Rect &r) {
            m_layout.txtEdit = r;
            applyLayout();
        });
    // Rows are tall enough for the edit box that opens 60 twips inside them.
    m_session->rows()->setRowHeight(m_edit->lineEdit()->sizeHint().height() + toPx(60));

    auto *tree = child<NodeTree>(pageStep, "ctrlTree");
    ctrlTree = tree;
    ctrlTree->setModel(m_session->treeModel());
    ctrlTree->setHeaderHidden(true);
    ctrlTree->setUniformRowHeights(true);
    ctrlTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ctrlTree->installEventFilter(this);
    connect(ctrlTree, &QTreeView::clicked, this, &CtrlXMLEditor::ctrlTree_NodeClick);
    // Enter and Space are a click; moving the current node shows it unless that loads a file,
    // and what came of it goes to the message line, which does not stop the user.
    connect(tree, &NodeTree::chosenByKey, this, &CtrlXMLEditor::ctrlTree_NodeClick);
    lblMessage = new MessageLine(pageStep);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    connect(lblMessage, &MessageLine::visibilityChanged, this, &CtrlXMLEditor::applyLayout);
    connect(tree, &NodeTree::movedByKey, this, [this](const QModelIndex &node) {
        lblMessage->tell(m_session->moveToNode(m_session->treeModel()->nodeIndex(node)));
    });
    setupInstanceIds();

    lblResizeBar = child<QLabel>(pageStep, "lblResizeBar");
    lblResizeBar->setCursor(Qt::SizeHorCursor);
    lblResizeBar->setToolTip(tr("Drag to resize the panes."));
    lblResizeBar->installEventFilter(this);
    linHilite = new LinePainter(pageStep, QPalette::Light);
    linHilite->setObjectName(QStringLiteral("linHilite"));
    linShadow = new LinePainter(pageStep, QPalette::Dark);
    linShadow->setObjectName(QStringLiteral("linShadow"));

    ieXML = child<XmlSourceView>(pageXml, "ieXML");

    mnuEditLink = child<QMenu>(this, "mnuEditLink");
    QAction *mnuEdit = mnuEditLink->addAction(tr("Edit Link..."));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    connect(mnuEdit, &QAction::triggered, this, &CtrlXMLEditor::mnuEdit_Click);
    setupShowInXml();

    // The children's order stands for the keyboard focus order.
    QWidget *txtEdit = m_edit->lineEdit();
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

    setupReferenceTabs();
    setupFindTabs();
    setupAccessibility();
    connectSession();
    resize(toPx(m_layout.controlWidth), toPx(m_layout.controlHeight));
    applyLayout();
    updateMinimumSize();
}

CtrlXMLEditor::~CtrlXMLEditor() = default;

void CtrlXMLEditor::connectSession()
{
    EditorSession *s = m_session;
    connect(s, &EditorSession::treeRebuilt, this, [this] {
        if (m_session->treeModel()->rowCount() > 0)
            ctrlTree->expand(m_session->treeModel()->index(0, 0));
    });
    // The list, or the hint in its place, as the session has it; filled rows get fitted columns.
    connect(s, &EditorSession::shownInstanceChanged, this, &CtrlXMLEditor::showList);
    connect(s, &EditorSession::entityChanged, this, [this](const QString &caption) {
        lblEntity->setText(caption);
        lblEntity->adjustSize();
    });
    connect(s, &EditorSession::addressChanged, lblAddress, &QLabel::setText);
    connect(s, &EditorSession::backEnabledChanged, cmdBack, &QWidget::setEnabled);
    connect(s, &EditorSession::modifiedChanged, this, &CtrlXMLEditor::ModifiedChanged);
    connect(s, &EditorSession::modifiedChanged, ieXML, &XmlSourceView::setUnsavedEdits);
    connect(s, &EditorSession::busyChanged, this, [this](bool busy) {
        if (busy) {
            dlgWait *w = dlgWait::instance(this);
            w->showProgressOf([this] { return m_session->loadProgress(); });
            w->beginWait([this] { m_session->cancelLoad(); });
        } else if (dlgWait *w = dlgWait::existing())
            w->endWait();
    });
    // A short save or check shows no window; a long one shows it after a moment.
    const auto waitWhile = [this](bool busy) {
        if (busy)
            dlgWait::instance(this)->beginWait(nullptr, 300);
        else if (dlgWait *w = dlgWait::existing())
            w->endWait();
    };
    connect(s, &EditorSession::writingChanged, this, waitWhile);
    connect(s, &EditorSession::workingChanged, this, waitWhile);
    // The tab shows the text of the document in memory, which is the file's.
    connect(s, &EditorSession::sourceChanged, ieXML, [this](const QString &path) {
        ieXML->showDocument(m_session->document());
        ieXML->Navigate(path);
    });
    connect(s, &EditorSession::sourceWritten, ieXML, &XmlSourceView::Refresh);
    connect(s, &EditorSession::editMustClose, this, [this] {
        if (IsEditing())
            SaveItemChanges(true);
    });
    connect(s, &EditorSession::reported, this, &CtrlXMLEditor::tell);
    connect(s, &EditorSession::savedBeforeJump, this, [this](const QString &file) { MessageSink(this).savedBeforeJump(file); });
    connect(s, &EditorSession::navigated, this, &CtrlXMLEditor::selectTreeNode);
    s->setAsker([this](EditorSession::Question question, const QString &file) { return ask(question, file); });
    connectHostSignals();
    // Row handles do not outlive the rows. Rows replaced while an edit is still open (an undo
    // or redo from the host's menu) take it with them: its text belongs to rows gone.
    connect(s->rows(), &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        if (IsEditing())
            SaveItemChanges(false);
        m_edit->forgetRow();
        m_nLinkRow = -1;
    });
    connect(s->rows(), &QAbstractItemModel::modelReset, this, [this] {
        if (m_session->hasRows())
            FitColumns();
    });
    // An undo or redo shows the row it changed.
    connect(s, &EditorSession::changeShown, this,
            [this](int row) { ctrlProperties->setCurrentIndex(m_session->rows()->index(row, 0)); });
}

void CtrlXMLEditor::tell(const EditorSession::Reports &reports)
{
    MessageSink(this).tell(reports);
}

EditorSession::Answer CtrlXMLEditor::ask(EditorSession::Question question, const QString &file)
{
    return MessageSink(this).ask(question, file);
}

// ---- Automation interface -----------------------------------------------------------------

bool CtrlXMLEditor::LoadProfile(const QString &strFileName)
{
    return m_session->open(strFileName);
}

bool CtrlXMLEditor::SaveProfile()
{
    EditorSession::Reports reports;
    const bool ok = m_session->save(&reports);
    tell(reports);
    return ok;
}

bool CtrlXMLEditor::SaveProfileAs(const QString &strFileName)
{
    EditorSession::Reports reports;
    const bool ok = m_session->saveAs(strFileName, &reports);
    tell(reports);
    return ok;
}

void CtrlXMLEditor::SaveItemChanges(bool bSave)
{
    m_edit->close(bSave);
}

int CtrlXMLEditor::viewMode() const
{
    return m_session->viewMode();
}
void CtrlXMLEditor::setViewMode(int nMode)
{
    tell(m_session->setViewMode(nMode));
}
bool CtrlXMLEditor::IsEditing() const
{
    return m_edit->isEditing();
}
QString CtrlXMLEditor::LastError() const
{
    return m_session->lastError();
}
QString CtrlXMLEditor::FileName() const
{
    return m_session->fileName();
}
bool CtrlXMLEditor::Modified() const
{
    return m_session->isModified();
}
// The sample is built into the library, and the document reads files only: "Load" opens a copy
// of it in a folder of the control's own, made at the first click and kept (with any edits
// saved to it) until the control goes.
void CtrlXMLEditor::cmdLoad_Click()
{
    if (!m_sampleDir)
        m_sampleDir = std::make_unique<QTemporaryDir>();
    const QString path = m_sampleDir->filePath(QStringLiteral("assembly.xml"));
    if (m_sampleDir->isValid() && !QFileInfo::exists(path) &&
        QFile::copy(QStringLiteral(":/quillon/samples/assembly.xml"), path))
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    LoadProfile(path);
}

// The hint's blue, made lighter where the window's colour is too dark for it to read.
void CtrlXMLEditor::showHintColour()
{
    const QWidget *surface = lblSelectWhat->parentWidget();
    const QColor ink = readableOn(QColor(0, 0, 255), surface->palette().color(surface->backgroundRole()));
    if (lblSelectWhat->palette().isBrushSet(QPalette::Active, QPalette::WindowText) &&
        lblSelectWhat->palette().color(QPalette::WindowText) == ink)
        return;
    QPalette hint;
    hint.setColor(QPalette::WindowText, ink);
    lblSelectWhat->setPalette(hint);
}

} // namespace quillon
