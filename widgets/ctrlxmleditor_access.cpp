// The control for keyboard and assistive technology users: the names and descriptions its
// panes announce, the focus order (tree, list, Back), and the focus in the tree after a load.
#include "widgets/ctrlxmleditor.h"

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
