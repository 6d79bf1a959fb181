#pragma once
// The editor control: browses and edits one instance document at a time. A tree of the
// document in one of three views on the left, the properties of the selected instance on the
// right, the raw file on the "XML" tab. Hosts reach it by name through the meta-object system
// (LoadProfile, SaveProfile, SaveItemChanges, ViewMode, IsEditing, LastError).

#include "layout.h"
#include "quillon_export.h"
#include "refs.h"
#include "xmldocument.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QModelIndex;

namespace quillon {

class TreeModel;
class XmlSourceView;
class LinePainter;

class QUILLON_EXPORT CtrlXMLEditor : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int ViewMode READ viewMode WRITE setViewMode)
    Q_PROPERTY(bool IsEditing READ IsEditing)
    Q_PROPERTY(QString LastError READ LastError)
    Q_PROPERTY(QString FileName READ FileName)
    Q_PROPERTY(bool Modified READ Modified NOTIFY ModifiedChanged)

public:
    explicit CtrlXMLEditor(QWidget *parent = nullptr);
    ~CtrlXMLEditor() override;

    Q_INVOKABLE bool LoadProfile(const QString &strFileName);
    Q_INVOKABLE bool SaveProfile();
    // Writes the document to strFileName, which becomes the document's file.
    Q_INVOKABLE bool SaveProfileAs(const QString &strFileName);
    Q_INVOKABLE void SaveItemChanges(bool bSave);

    int viewMode() const { return m_nMode; }
    void setViewMode(int nMode);
    bool IsEditing() const { return m_bEditing; }
    // The reason of the last failed load or save ("" when the last one succeeded).
    QString LastError() const { return m_strLastError; }
    QString FileName() const { return m_strFileName; }
    // The document in memory differs from its file: true after a committed edit or a changed
    // link, false after a load or a successful save.
    bool Modified() const;

signals:
    void ModifiedChanged(bool modified);

public:
    // For tests and the host's own use: the shown document, instance and history.
    XmlDocument *document() const { return xmlDoc; }
    XmlNode shownInstance() const { return m_elmInstance; }
    const History &history() const { return m_history; }
    bool pendingSelect() const { return m_bPendingSelect; }
    TreeModel *treeModel() const { return m_treeModel; }
    const layout::EditorLayout &currentLayout() const { return m_layout; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Control core and tree
    void UserControl_Initialize();
    void cmdLoad_Click();
    void xmlDoc_onreadystatechange();
    void rebuildTree();
    void showWait();
    void hideWait();
    void setDocument(XmlDocument *doc);
    void refreshShownInstance();

    // Node selection
    void ctrlTree_NodeClick(const QModelIndex &node);
    void armBranch(const XmlNode &s);
    void showSingleRow(const XmlNode &owner);
    void referenceBranch(const XmlNode &s);
    void referenceTail();

    // Properties
    void PopulateInstance();
    void FitColumns();
    void clearRows();
    void setListVisible(bool visible);
    QTreeWidgetItem *addRow(const QString &text);
    // Where a reference row's value was read: from the first attribute of the first child
    // of the row's element (the rows of an instance), or from the first attribute of the
    // element the rows stand for itself (the ARM view's single row of a reference element).
    enum class RowSource { Value = 0, FirstChild = 1, OwnAttribute = 2 };
    bool isReferenceRow(const QTreeWidgetItem *item) const;
    RowSource rowSource(const QTreeWidgetItem *item) const;
    void setReferenceRow(QTreeWidgetItem *item, RowSource source);
    XmlNode rowElement(const QTreeWidgetItem *item) const;

    // References and history
    enum class JumpResult { Started, NotLoaded, NotLeft };
    XmlNode FindInstance(const QString &id) const;
    QString returnPlaceId() const;
    JumpResult beginJump(const QString &document, const QString &id);
    void reresolveInstance();
    void completePendingSelection();
    void recordEntry(const QString &entry);
    void cmdBack_Click();

    // In-place editing
    void ctrlProperties_MouseDown(Qt::MouseButton button, int x);
    void ctrlProperties_ItemClick(QTreeWidgetItem *item);
    void ctrlProperties_Click();
    void ctrlProperties_KeyPress(int keyAscii);
    void txtEdit_KeyPress(int keyAscii);
    void followReferenceRow(QTreeWidgetItem *item);
    void placeEditBox(QTreeWidgetItem *item, int leftTwips);
    int columnLeftTwips(int column) const;
    int columnWidthTwips(int column) const;
    int rowTopTwips(QTreeWidgetItem *item) const;
    int rowHeightTwips(QTreeWidgetItem *item) const;

    // Link editing
    void mnuEdit_Click();
    bool applyLink(const QString &selectedRef);

    // Layout and splitter
    void UserControl_Resize();
    void applyLayout();
    void lblResizeBar_MouseDown(int x);
    void lblResizeBar_MouseMove(int x);
    void lblResizeBar_MouseUp();
    int toPx(int twips) const;
    int toTwips(int px) const;
    double dpi() const;

    void message(const QString &text, const QString &title, int style, const QString &informative = {});
    bool saveTo(const QString &path);
    void updateModified();

    // Member fields
    layout::EditorLayout m_layout;  // every position and size, in twips
    QString m_strFileName;
    bool &m_bDragging = m_layout.dragging;
    int &m_nDragX = m_layout.dragX;
    int &m_nPropsInsetX = m_layout.propsInsetX;
    int &m_nPropsInsetY = m_layout.propsInsetY;
    int &m_nTreeInsetY = m_layout.treeInsetY;
    int &m_nTabInsetY = m_layout.tabInsetY;
    QTreeWidgetItem *m_itmEdit = nullptr;
    bool m_bEditing = false;
    XmlNode m_nodSelected;
    int m_nClickX = 0;
    XmlNode m_elmInstance;
    XmlNode m_elmRows;       // the element whose children the rows on show stand for (the
                             // ARM view's single reference row stands for it itself)
    QString m_strRowsFile;   // the document the list on show (and m_elmRows) belongs to
    History m_history;  // m_astrHistory and m_nHistoryPos
    bool m_bRightClick = false;
    QTreeWidgetItem *m_itmLink = nullptr;
    int m_nMode = 0;
    QString m_strPendingFile;
    QString m_strPendingId;
    bool m_bPendingSelect = false;
    QString m_strPendingReturnId;  // the place a pending jump returns to ("" when none)
    QString m_strLastError;
    bool m_bModifiedShown = false;  // the state ModifiedChanged last told

    XmlDocument *xmlDoc = nullptr;

    // Child controls
    QLabel *lblAddress = nullptr;
    QTabWidget *ctrlTab = nullptr;
    QWidget *pageStep = nullptr;
    XmlSourceView *ieXML = nullptr;
    QPushButton *cmdBack = nullptr;
    QPushButton *cmdLoad = nullptr;
    QLineEdit *txtEdit = nullptr;
    QTreeWidget *ctrlProperties = nullptr;
    QTreeView *ctrlTree = nullptr;
    TreeModel *m_treeModel = nullptr;
    QLabel *lblEntity = nullptr;
    QLabel *lblSelectWhat = nullptr;
    QLabel *lblResizeBar = nullptr;
    LinePainter *linHilite = nullptr;
    LinePainter *linShadow = nullptr;
    QMenu *mnuEditLink = nullptr;
    bool m_bListPressed = false;
};

} // namespace quillon

// Creates a control for the programmatic identifier "Quillon.CtrlXMLEditor"; null otherwise.
extern "C" QUILLON_EXPORT QWidget *QuillonCreateControl(const char *progId, QWidget *parent);
