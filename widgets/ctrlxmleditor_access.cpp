// The control for keyboard and assistive technology users: the names and descriptions its
// panes and the Find tab's widgets announce, the focus order (tree, list, Back; the Find tab's
// in its layout's order), and the focus in the tree after a load.
#include "widgets/ctrlxmleditor.h"

#include "widgets/findpage.h"
#include "widgets/xmlsourceview.h"

#include <Qsci/qsciscintilla.h>

#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>

namespace quillon {

namespace {

void describe(QWidget *w, const QString &name, const QString &description)
{
    if (!w)
        return;
    w->setAccessibleName(name);
    w->setAccessibleDescription(description);
}

} // namespace

void CtrlXMLEditor::setupAccessibility()
{
    describe(ctrlTree, tr("Document tree"), tr("The document's elements in the chosen view; select one to show it"));
    describe(ctrlProperties, tr("Properties"),
             tr("The properties of the instance shown; Enter follows a reference or edits a value"));
    describe(ieXML->textEditor(), tr("XML text"),
             tr("The file's text; Ctrl+F finds, F3 finds again, Ctrl+G goes to a line"));
    describe(findChild<QWidget *>(QStringLiteral("ctrlGraph")), tr("Reference graph"),
             tr("The instance shown and the instances it refers to; Tab or the arrows move between boxes, "
                "Enter shows one"));
    describe(findChild<QWidget *>(QStringLiteral("lstReferencedBy")), tr("Referenced by"),
             tr("The instances that refer to the instance shown"));
    describe(findChild<QWidget *>(QStringLiteral("lstFindings")), tr("Check findings"),
             tr("The problems the reference check found, grouped by kind"));
    describe(cmdBack, tr("Back"), tr("Returns to the instance shown before the last jump"));

    // The Find tab, and its tab order, in the order of its layout: the query row (the text,
    // Find, Stop), the options row, the results.
    const auto onFind = [this](const char *name) { return pageFind->findChild<QWidget *>(QLatin1String(name)); };
    describe(onFind("txtFindValue"), tr("Find what"),
             tr("The text to find in values, property names, instance names and ids; Enter finds"));
    describe(onFind("cmdFindValue"), tr("Find"), tr("Finds the text in the document shown"));
    describe(onFind("cmdStopFind"), tr("Stop"), tr("Stops the search that is running"));
    describe(onFind("chkValueCase"), tr("Match case"), tr("Finds only text of the same upper and lower case"));
    describe(onFind("chkValueWord"), tr("Whole word"), tr("Finds the text only where it stands as a whole word"));
    describe(onFind("chkValueRegex"), tr("Regular expression"), tr("Reads the text to find as a regular expression"));
    describe(onFind("cboValueType"), tr("Instance type"), tr("Finds only in instances of this type, or in all"));
    describe(onFind("lstFind"), tr("Find results"),
             tr("The places the text was found; Enter or a click shows the instance"));
    QWidget *previous = nullptr;
    for (const char *name : {"txtFindValue", "cmdFindValue", "cmdStopFind", "chkValueCase", "chkValueWord",
                             "chkValueRegex", "cboValueType", "lstFind"}) {
        QWidget *w = onFind(name);
        if (previous && w)
            setTabOrder(previous, w);
        previous = w;
    }
    describe(lstCompare, tr("Comparison"),
             tr("The differences from the other version; a click on one shows its instance"));

    // The tab order follows the layout: the tree, the list, then Back.
    setTabOrder(ctrlTab, ctrlTree);
    setTabOrder(ctrlTree, ctrlProperties);
    setTabOrder(ctrlProperties, cmdBack);
    setTabOrder(cmdBack, ieXML);

    // After a load the keyboard is in the tree.
    connect(m_session, &EditorSession::documentShown, this, [this] {
        if (ctrlTree->isVisible())
            ctrlTree->setFocus(Qt::OtherFocusReason);
    });
}

} // namespace quillon
