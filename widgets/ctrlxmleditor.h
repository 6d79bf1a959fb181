#pragma once
// The editor control: browses and edits one instance document at a time. A tree of the
// document in one of three views on the left, the properties of the selected instance on the
// right, the raw file on the "XML" tab. Hosts reach it by name through the meta-object system
// (LoadProfile, SaveProfile, SaveProfileAs, SaveItemChanges, ViewMode, IsEditing, LastError,
// FileName, Modified). The rules of browsing and editing live in its EditorSession; the
// control shows the session and tells the user what the session reports.

#include "session/editorsession.h"
#include "model/layout.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QModelIndex;
class QPushButton;
class QTabWidget;
class QTemporaryDir;
class QTreeView;

namespace quillon {

class CompareModel;
class EditBox;
class FindPage;
class FindingsModel;
class LinePainter;
class MessageLine;
class ReferencedByModel;
class TreeModel;
class XmlSourceView;

class CtrlXMLEditor : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int ViewMode READ viewMode WRITE setViewMode)
    Q_PROPERTY(bool IsEditing READ IsEditing)
    Q_PROPERTY(QString LastError READ LastError)
    Q_PROPERTY(QString FileName READ FileName)
    Q_PROPERTY(bool Modified READ Modified NOTIFY ModifiedChanged)
    // For a host's menus and status bar (ctrlxmleditor_host.cpp).
    Q_PROPERTY(QString FilePath READ FilePath NOTIFY FilePathChanged)
    Q_PROPERTY(int InstanceCount READ InstanceCount NOTIFY DocumentShown)
    Q_PROPERTY(qint64 LastOpenMs READ LastOpenMs NOTIFY DocumentShown)
    Q_PROPERTY(bool CanGoBack READ CanGoBack NOTIFY CanGoBackChanged)
    Q_PROPERTY(QString PugixmlVersion READ PugixmlVersion CONSTANT)
    // How the tree shows which instance a node is: 0 not at all, 1 its id in grey after the
    // caption (the default), 2 its id in a second column "Id" (ctrlxmleditor_ids.cpp).
    Q_PROPERTY(int InstanceIds READ InstanceIds WRITE setInstanceIds)

public:
    explicit CtrlXMLEditor(QWidget *parent = nullptr);
    ~CtrlXMLEditor() override;

    Q_INVOKABLE bool LoadProfile(const QString &strFileName);
    Q_INVOKABLE bool SaveProfile();
    // Writes the document to strFileName, which becomes the document's file.
    Q_INVOKABLE bool SaveProfileAs(const QString &strFileName);
    Q_INVOKABLE void SaveItemChanges(bool bSave);
    // "<< Back", for a host's menu.
    Q_INVOKABLE void Back();
    // Lets the user pick an instance of the document shown in "Select Instance" and shows it
    // as a followed reference does. False when there is no document or the user cancelled.
    Q_INVOKABLE bool FindInstance();
    // Checks the references of the document shown and lists the findings on the "Check" tab,
    // which comes forward. The number of findings; -1 when no document is shown.
    Q_INVOKABLE int CheckReferences();
    // Compares the file strFileName (the old version) with the document shown as it stands in
    // memory (the new one) and lists the differences on the "Compare" tab, which comes forward
    // (ctrlxmleditor_find.cpp). False, with a message box, when there is no document or the
    // file cannot be read.
    Q_INVOKABLE bool CompareWith(const QString &strFileName);

    int viewMode() const;
    void setViewMode(int nMode);
    bool IsEditing() const;
    // The reason of the last failed load or save ("" when the last one succeeded).
    QString LastError() const;
    QString FileName() const;
    // The document in memory differs from its file: true after a committed edit or a changed
    // link, false after a load or a successful save.
    bool Modified() const;
    QString FilePath() const; // the full path of the document shown ("" for none)
    int InstanceCount() const;
    qint64 LastOpenMs() const;
    bool CanGoBack() const;
    QString PugixmlVersion() const; // the version of the XML parser built in, "1.13"
    int InstanceIds() const;
    void setInstanceIds(int nShow);

    // The session the control shows: document, instance, rows, history.
    EditorSession *session() const { return m_session; }
    // The arrangement of the children, in twips.
    const layout::EditorLayout &currentLayout() const { return m_layout; }
    // The smallest size at which no two children overlap (layout::minimumSize); the control
    // does not shrink below it (minimumSize() holds it too).
    QSize minimumSizeHint() const override;

signals:
    void ModifiedChanged(bool modified);
    void FilePathChanged(const QString &path);
    void DocumentShown(); // a load completed: InstanceCount and LastOpenMs are new
    void CanGoBackChanged(bool canGoBack);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectSession();
    void connectHostSignals();
    // Tells the user, one message box each, what an operation reported.
    void tell(const EditorSession::Reports &reports);
    // Puts the session's question to the user in a message box.
    EditorSession::Answer ask(EditorSession::Question question, const QString &file);

    // Event handlers
    void cmdLoad_Click();
    void ctrlTree_NodeClick(const QModelIndex &node);
    void ctrlProperties_MouseDown(Qt::MouseButton button, int x);
    void ctrlProperties_ItemClick(int row);
    void ctrlProperties_Click();
    void ctrlProperties_KeyPress(int keyAscii);
    void cmdBack_Click();
    void mnuEdit_Click();
    // Keys (ctrlxmleditor_keys.cpp): Undo, Redo and Back anywhere but in the edit box; the
    // list's Enter, F2 and menu keys. True when the key was taken.
    bool controlKeyPress(const QKeyEvent *event);
    void showHintColour();
    bool ctrlProperties_KeyDown(const QKeyEvent *event);

    void FitColumns();
    void setListVisible(bool visible);
    void showList(); // as the session has it

    // The "Referenced by" and "Check" tabs (ctrlxmleditor_refs.cpp)
    void setupReferenceTabs();
    void lstReferencedBy_Click(const QModelIndex &index);
    void lstFindings_Click(const QModelIndex &index);
    void selectTreeNodeOf(const XmlNode &element);
    void selectTreeNode(int node);

    // The "Find" tab (Ctrl+Shift+F) and the "Compare" tab (ctrlxmleditor_find.cpp)
    void setupFindTabs();
    void lstFind_Click(int row);
    void lstCompare_Click(const QModelIndex &index);

    // "Show in XML" (ctrlxmleditor_xml.cpp): the list's and the Graph's menus; the XML tab at
    // the start tag of an element of the document shown.
    void setupShowInXml();
    // The tree's instance ids (ctrlxmleditor_ids.cpp).
    void setupInstanceIds();
    // Accessible names, the focus order and the focus after a load (ctrlxmleditor_access.cpp).
    void setupAccessibility();
    void ctrlProperties_ContextMenu(const QPoint &pos);
    // "Rename Id..." and "Delete Instance..." (ctrlxmleditor_rename.cpp): the instance's menu.
    void addInstanceCommands(QMenu &menu);
    void mnuRenameId_Click();
    void mnuDeleteInstance_Click();
    void ShowInXml(const XmlNode &element);

    // Layout and splitter
    void UserControl_Resize();
    void applyLayout();
    void lblResizeBar_MouseDown(int x);
    void lblResizeBar_MouseMove(int x);
    void lblResizeBar_MouseUp();
    void updateMinimumSize();
    int toPx(int twips) const;
    int toTwips(int px) const;
    double dpi() const;

    EditorSession *m_session = nullptr;
    layout::EditorLayout m_layout; // every position and size, in twips
    bool m_bRightClick = false; // the last mouse-down in the list was the right button
    int m_nLinkRow = -1; // the reference row the "Edit Link..." menu acts on
    bool m_bListPressed = false;
    std::unique_ptr<QTemporaryDir> m_sampleDir; // holds the copy of the sample that "Load" opens

    // Child controls
    QLabel *lblAddress = nullptr;
    QTabWidget *ctrlTab = nullptr;
    QWidget *pageStep = nullptr;
    XmlSourceView *ieXML = nullptr;
    QPushButton *cmdBack = nullptr;
    QPushButton *cmdLoad = nullptr;
    EditBox *m_edit = nullptr; // owns txtEdit
    QTreeView *ctrlProperties = nullptr;
    QTreeView *ctrlTree = nullptr;
    QLabel *lblEntity = nullptr;
    QLabel *lblSelectWhat = nullptr;
    QLabel *lblResizeBar = nullptr;
    MessageLine *lblMessage = nullptr; // below the tree: what a move by keys came to
    LinePainter *linHilite = nullptr;
    LinePainter *linShadow = nullptr;
    QMenu *mnuEditLink = nullptr;
    QWidget *pageReferencedBy = nullptr;
    QCheckBox *chkOtherFiles = nullptr;
    QTreeView *lstReferencedBy = nullptr;
    ReferencedByModel *m_referencedBy = nullptr;
    QWidget *pageCheck = nullptr;
    QPushButton *cmdCheck = nullptr;
    QLabel *lblCheck = nullptr;
    QTreeView *lstFindings = nullptr;
    FindingsModel *m_findings = nullptr;
    FindPage *pageFind = nullptr;
    QWidget *pageCompare = nullptr; // a tab from the first comparison on
    QLabel *lblCompare = nullptr;
    QTreeView *lstCompare = nullptr;
    CompareModel *m_compare = nullptr;
};

} // namespace quillon
