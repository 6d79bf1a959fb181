// The control from the keyboard: moving in the tree, Enter and Space, the list's Enter, F2 and
// menu keys, Back, the names and descriptions announced, the tab order, and Undo and Redo with
// the focus inside the control.
#include "widgets/messagesink.h"
#include "widgets/ctrlxmleditor.h"
#include "testsupport.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QUndoStack>

using namespace quillon;
using namespace testsupport;

class TestCtrlKeys : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void treeKeysShowWhatAClickShows_data();
    void treeKeysShowWhatAClickShows();
    void treeMoveOntoAJumpWaitsForEnter();
    void treeMoveTellsInTheMessageLine();
    void spaceOnANodeIsAClick();
    void enterOnAReferenceRowFollowsIt();
    void enterAndF2OpenTheEditBoxOnAValueRow_data();
    void enterAndF2OpenTheEditBoxOnAValueRow();
    void menuKeysOpenTheLinkMenuAtTheRow_data();
    void menuKeysOpenTheLinkMenuAtTheRow();
    void backKeys_data();
    void backKeys();
    void backspaceInTheEditBoxIsTheBoxs();
    void reachedWidgetsAreNamedAndDescribed_data();
    void reachedWidgetsAreNamedAndDescribed();
    void backButtonIsInTheTabOrder();
    void findTabsTabOrderFollowsItsLayout();
    void undoAndRedoKeys_data();
    void undoAndRedoKeys();
    void undoKeyInTheEditBoxUndoesItsText();
    void controlKeysWinOverTheHostsShortcut();
    void menuUndoWhileEditingDropsTheOpenEdit();

private:
    ControlFixture *f = nullptr;
    QTreeView *tree() const { return f->tree(); }
    QTreeView *list() const { return f->list(); }
    EditorSession *s() const { return f->session(); }
    QUndoStack *stack() const { return s()->undoStack(); }
    int rowOf(const QString &caption) const { return int(rowTexts(list(), 0).indexOf(caption)); }
    // Makes node the tree's current node without clicking it.
    void setCurrentNode(const QString &path)
    {
        const QModelIndex index = findNode(tree()->model(), path);
        QVERIFY(index.isValid());
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
            tree()->expand(p);
        tree()->setCurrentIndex(index);
        tree()->setFocus();
    }
    // "!" committed after the name ("Shaft!"), then "xy" typed into an edit of the alias,
    // which stays open.
    void commitOneEditAndTypeInAnother()
    {
        QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
        setCurrentRow(QStringLiteral("name"));
        QTest::keyClick(list(), Qt::Key_F2);
        QTest::keyClicks(f->edit(), QStringLiteral("!"));
        QTest::keyClick(f->edit(), Qt::Key_Return);
        setCurrentRow(QStringLiteral("alias"));
        QTest::keyClick(list(), Qt::Key_F2);
        QTest::keyClicks(f->edit(), QStringLiteral("xy"));
    }
    void setCurrentRow(const QString &caption)
    {
        const int row = rowOf(caption);
        QVERIFY(row >= 0);
        list()->setCurrentIndex(list()->model()->index(row, 0));
        list()->setFocus();
    }
    // The list as the user sees it: visible, entity, the rows.
    QStringList onShow() const
    {
        return QStringList{list()->isVisible() ? "list" : "hint", f->entity()} + rowTexts(list(), 0) +
               rowTexts(list(), 1);
    }
};

void TestCtrlKeys::init()
{
    f = new ControlFixture({QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml")});
    QVERIFY(f->exposed);
    QVERIFY(f->open(QStringLiteral("main.xml"), 1));
    QApplication::setActiveWindow(f->ctrl);
    QVERIFY(QTest::qWaitForWindowActive(f->ctrl));
}

void TestCtrlKeys::cleanup()
{
    delete f;
    f = nullptr;
}

void TestCtrlKeys::treeKeysShowWhatAClickShows_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("key");
    QTest::newRow("Down onto an instance") << 2 << "aim/aim-instances/product" << int(Qt::Key_Down);
    QTest::newRow("Up onto a parent") << 1 << "mapping/by ref/product" << int(Qt::Key_Up);
    QTest::newRow("Left onto a parent") << 1 << "mapping/by ref/product" << int(Qt::Key_Left);
    QTest::newRow("Home") << 2 << "aim/aim-instances/shape" << int(Qt::Key_Home);
    QTest::newRow("End") << 2 << "aim/aim-instances/product" << int(Qt::Key_End);
    QTest::newRow("PgDown") << 2 << "aim/aim-instances/product" << int(Qt::Key_PageDown);
    QTest::newRow("PgUp") << 2 << "aim/aim-instances/shape" << int(Qt::Key_PageUp);
}

void TestCtrlKeys::treeKeysShowWhatAClickShows()
{
    QFETCH(int, mode);
    QFETCH(QString, start);
    QFETCH(int, key);
    MessageCapture messages;
    QVERIFY(f->open(QStringLiteral("main.xml"), mode));
    setCurrentNode(start);
    const QModelIndex before = tree()->currentIndex();
    QSignalSpy shown(s(), &EditorSession::entityChanged);
    QTest::keyClick(tree(), Qt::Key(key));
    settle();
    const QModelIndex now = tree()->currentIndex();
    QVERIFY(now.isValid());
    QVERIFY(now != before);
    QVERIFY(!shown.isEmpty());
    const QStringList byKey = onShow();
    QVERIFY(messages.texts().isEmpty()); // a move by keys tells in the message line
    const QString toldByKey = f->ctrl->findChild<MessageLine *>(QStringLiteral("lblMessage"))->text();
    // A click on the node the key moved to shows the same.
    tree()->setCurrentIndex(before);
    tree()->scrollTo(now);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualRect(now).center());
    settle();
    QCOMPARE(tree()->currentIndex(), now);
    QCOMPARE(onShow(), byKey);
    QCOMPARE(messages.texts().size(), toldByKey.isEmpty() ? 0 : 1);
    QVERIFY(toldByKey.startsWith(messages.texts().value(0)));
}

void TestCtrlKeys::treeMoveTellsInTheMessageLine()
{
    MessageCapture messages;
    QVERIFY(f->open(QStringLiteral("main.xml"), 0));
    auto *line = f->ctrl->findChild<MessageLine *>(QStringLiteral("lblMessage"));
    QVERIFY(line);
    setCurrentNode(QStringLiteral("arm/PART/UPPER ONLY"));
    QTest::keyClick(tree(), Qt::Key_Down); // LEAF: no ARM attribute
    settle();
    QVERIFY(messages.texts().isEmpty());
    QVERIFY(line->isVisible());
    QCOMPARE(line->text(), QStringLiteral("ARM attribute is empty"));
    QCOMPARE(line->icon(), QMessageBox::Critical);
    QTest::keyClick(tree(), Qt::Key_Up);
    settle();
    QVERIFY(!line->isVisible());
    QTest::keyClick(tree(), Qt::Key_Down);
    QTest::keyClick(tree(), Qt::Key_Return); // a click: the box
    settle();
    QCOMPARE(messages.texts(), QStringList{"ARM attribute is empty"});
    QVERIFY(!line->isVisible());
}

void TestCtrlKeys::treeMoveOntoAJumpWaitsForEnter()
{
    setCurrentNode(QStringLiteral("mapping/by href/material"));
    setCurrentNode(QStringLiteral("mapping/by ref/product"));
    QTest::keyClick(tree(), Qt::Key_Down); // "by href"
    settle();
    QVERIFY(!list()->isVisible());
    QTest::keyClick(tree(), Qt::Key_Down); // its "material": a jump into other.xml
    settle();
    QCOMPARE(tree()->currentIndex().data().toString(), QStringLiteral("material"));
    QCOMPARE(f->ctrl->FileName(), f->path(QStringLiteral("main.xml")));
    QVERIFY(!list()->isVisible());
    QTest::keyClick(tree(), Qt::Key_Return);
    settle();
    QCOMPARE(f->ctrl->FileName(), f->path(QStringLiteral("other.xml")));
    QCOMPARE(f->entity(), QStringLiteral("material id21"));
}

void TestCtrlKeys::spaceOnANodeIsAClick()
{
    MessageCapture messages;
    setCurrentNode(QStringLiteral("mapping/empty ref/nothing here"));
    QVERIFY(!list()->isVisible());
    QTest::keyClick(tree(), Qt::Key_Space);
    settle();
    const QStringList told = messages.texts();
    QVERIFY(told.contains(QStringLiteral("Empty reference.")));
    QVERIFY(f->click(QStringLiteral("mapping/empty ref/nothing here")));
    QCOMPARE(messages.texts(), told + told);
    setCurrentNode(QStringLiteral("mapping/by ref/product"));
    QTest::keyClick(tree(), Qt::Key_Enter);
    settle();
    QCOMPARE(f->entity(), QStringLiteral("product id1"));
}

void TestCtrlKeys::enterOnAReferenceRowFollowsIt()
{
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    setCurrentRow(QStringLiteral("of shape"));
    QTest::keyClick(list(), Qt::Key_Return);
    settle();
    QCOMPARE(f->entity(), QStringLiteral("shape id5"));
    QVERIFY(!f->ctrl->IsEditing());
    // Into another file as well.
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    setCurrentRow(QStringLiteral("made from"));
    QTest::keyClick(list(), Qt::Key_Enter);
    settle();
    QCOMPARE(f->ctrl->FileName(), f->path(QStringLiteral("other.xml")));
    QCOMPARE(f->entity(), QStringLiteral("material id21"));
}

void TestCtrlKeys::enterAndF2OpenTheEditBoxOnAValueRow_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("F2") << int(Qt::Key_F2);
}

void TestCtrlKeys::enterAndF2OpenTheEditBoxOnAValueRow()
{
    QFETCH(int, key);
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    setCurrentRow(QStringLiteral("of shape"));
    if (key == Qt::Key_F2) {
        QTest::keyClick(list(), Qt::Key_F2); // a reference row: nothing to edit
        QVERIFY(!f->ctrl->IsEditing());
    }
    setCurrentRow(QStringLiteral("name"));
    QTest::keyClick(list(), Qt::Key(key));
    QVERIFY(f->ctrl->IsEditing());
    QVERIFY(f->edit()->isVisible());
    QVERIFY(f->edit()->hasFocus());
    QCOMPARE(f->edit()->text(), QStringLiteral("Shaft"));
    QCOMPARE(f->edit()->cursorPosition(), 5);
    // Over the value cell, as a click there opens it.
    const QRect row = list()->visualRect(list()->model()->index(0, 0));
    const QPoint cell = list()->viewport()->mapTo(f->edit()->parentWidget(),
                                                  QPoint(list()->header()->sectionViewportPosition(1), row.top()));
    QVERIFY(qAbs(f->edit()->x() - (cell.x() + f->px(60))) <= 1);
    QVERIFY(qAbs(f->edit()->y() - (cell.y() + f->px(60))) <= 1);
    QTest::keyClicks(f->edit(), QStringLiteral("s"));
    QTest::keyClick(f->edit(), Qt::Key_Return);
    QVERIFY(!f->ctrl->IsEditing());
    QCOMPARE(rowTexts(list(), 1).value(0), QStringLiteral("Shafts"));
}

void TestCtrlKeys::menuKeysOpenTheLinkMenuAtTheRow_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Menu") << int(Qt::Key_Menu) << int(Qt::NoModifier);
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier);
}

void TestCtrlKeys::menuKeysOpenTheLinkMenuAtTheRow()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    auto *menu = f->w<QMenu>("mnuEditLink");
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    setCurrentRow(QStringLiteral("name"));
    QTest::keyClick(list(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(!menu->isVisible());
    QVERIFY(!f->ctrl->IsEditing());

    setCurrentRow(QStringLiteral("of shape"));
    QTest::keyClick(list(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(f->entity(), QStringLiteral("product id1")); // nothing followed
    // At the row: its top edge is within the row's height below the row's top.
    const QRect r = list()->visualRect(list()->model()->index(rowOf(QStringLiteral("of shape")), 0));
    const QPoint rowTop = list()->viewport()->mapToGlobal(r.topLeft());
    QVERIFY2(menu->y() >= rowTop.y() && menu->y() <= rowTop.y() + 2 * r.height(),
             qPrintable(QStringLiteral("menu at %1, row at %2").arg(menu->y()).arg(rowTop.y())));
    menu->close();
}

void TestCtrlKeys::backKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("fromTree");
    QTest::newRow("Alt+Left in the list") << int(Qt::Key_Left) << int(Qt::AltModifier) << false;
    QTest::newRow("Backspace in the list") << int(Qt::Key_Backspace) << int(Qt::NoModifier) << false;
    QTest::newRow("Backspace in the tree") << int(Qt::Key_Backspace) << int(Qt::NoModifier) << true;
}

void TestCtrlKeys::backKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, fromTree);
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    f->follow(QStringLiteral("of shape"));
    QCOMPARE(f->entity(), QStringLiteral("shape id5"));
    f->follow(QStringLiteral("owner"));
    QCOMPARE(f->entity(), QStringLiteral("product id2"));
    QWidget *target = fromTree ? static_cast<QWidget *>(tree()) : list();
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    settle();
    QCOMPARE(f->entity(), QStringLiteral("shape id5"));
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    settle();
    QCOMPARE(f->entity(), QStringLiteral("product id1"));
    QVERIFY(!f->w<QPushButton>("cmdBack")->isEnabled());
    // Nothing left to go back to: the key does nothing.
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    settle();
    QCOMPARE(f->entity(), QStringLiteral("product id1"));
}

void TestCtrlKeys::backspaceInTheEditBoxIsTheBoxs()
{
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    f->follow(QStringLiteral("of shape"));
    setCurrentRow(QStringLiteral("units"));
    QTest::keyClick(list(), Qt::Key_F2);
    QVERIFY(f->ctrl->IsEditing());
    QTest::keyClick(f->edit(), Qt::Key_Backspace);
    QTest::keyClick(f->edit(), Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(f->edit()->text(), QStringLiteral("m"));
    QVERIFY(f->ctrl->IsEditing());
    QCOMPARE(f->entity(), QStringLiteral("shape id5"));
}

void TestCtrlKeys::reachedWidgetsAreNamedAndDescribed_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"ctrlTree", "ctrlProperties", "ieXMLText", "cmdBack", "lstReferencedBy", "lstFindings",
                             "lstCompare",
                             // the Find tab
                             "txtFindValue", "cmdFindValue", "cmdStopFind", "chkValueCase", "chkValueWord",
                             "chkValueRegex", "cboValueType", "lstFind"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestCtrlKeys::reachedWidgetsAreNamedAndDescribed()
{
    QFETCH(QString, name);
    const auto *w = f->ctrl->findChild<QWidget *>(name);
    QVERIFY(w);
    QVERIFY(!w->accessibleName().isEmpty());
    QVERIFY(!w->accessibleDescription().isEmpty());
}

void TestCtrlKeys::backButtonIsInTheTabOrder()
{
    auto *back = f->w<QPushButton>("cmdBack");
    QCOMPARE(f->ctrl->window()->focusWidget(), f->tree()); // after the load
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    f->follow(QStringLiteral("of shape"));
    QVERIFY(back->isEnabled());
    QTabBar *tabs = f->w<QTabWidget>("ctrlTab")->tabBar();
    tabs->setFocus();
    QVERIFY(tabs->hasFocus());
    // The order of the layout: the tree, the list, Back.
    QTest::keyClick(tabs, Qt::Key_Tab);
    QVERIFY(f->tree()->hasFocus());
    QTest::keyClick(f->tree(), Qt::Key_Tab);
    QVERIFY(f->list()->hasFocus());
    QTest::keyClick(f->list(), Qt::Key_Tab);
    QVERIFY(back->hasFocus());
    QTest::keyClick(back, Qt::Key_Space);
    settle();
    QCOMPARE(f->entity(), QStringLiteral("product id1"));
}

void TestCtrlKeys::findTabsTabOrderFollowsItsLayout()
{
    QTest::keySequence(f->tree(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    QWidget *at = QApplication::focusWidget();
    QCOMPARE(at->objectName(), QStringLiteral("txtFindValue"));
    // The query row (Stop, disabled while nothing runs, is passed over), the options, the results.
    QStringList reached;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        reached << at->objectName();
    }
    QCOMPARE(reached, QStringList({"cmdFindValue", "chkValueCase", "chkValueWord", "chkValueRegex", "cboValueType",
                                   "lstFind"}));
}

void TestCtrlKeys::undoAndRedoKeys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("list") << "ctrlProperties";
    QTest::newRow("tree") << "ctrlTree";
    QTest::newRow("XML tab") << "ieXMLText";
}

void TestCtrlKeys::undoAndRedoKeys()
{
    QFETCH(QString, focus);
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    setCurrentRow(QStringLiteral("name"));
    QTest::keyClick(list(), Qt::Key_F2);
    QTest::keyClicks(f->edit(), QStringLiteral("!"));
    QTest::keyClick(f->edit(), Qt::Key_Return);
    QVERIFY(f->ctrl->Modified());
    if (focus == QStringLiteral("ieXMLText"))
        f->w<QTabWidget>("ctrlTab")->setCurrentIndex(1);
    QWidget *target = f->w(focus.toLatin1());
    target->setFocus();
    QVERIFY(target->hasFocus());

    QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(rowTexts(list(), 1).value(0), QStringLiteral("Shaft"));
    QVERIFY(!f->ctrl->Modified());
    QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(rowTexts(list(), 1).value(0), QStringLiteral("Shaft!"));
    QVERIFY(f->ctrl->Modified());
    QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(rowTexts(list(), 1).value(0), QStringLiteral("Shaft!"));
    QCOMPARE(stack()->index(), 1);
    QVERIFY(target->hasFocus());
}

void TestCtrlKeys::undoKeyInTheEditBoxUndoesItsText()
{
    commitOneEditAndTypeInAnother();
    QTest::keyClick(f->edit(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(f->ctrl->IsEditing());
    QCOMPARE(f->edit()->text(), QStringLiteral("one"));
    QCOMPARE(stack()->index(), 1); // the committed edit stays
    QCOMPARE(rowTexts(list(), 1).value(0), QStringLiteral("Shaft!"));
}

void TestCtrlKeys::controlKeysWinOverTheHostsShortcut()
{
    // A host window with an Undo action of its own on Ctrl+Z, around a control.
    QWidget host;
    auto *ctrl = new CtrlXMLEditor(&host);
    auto *undo = new QAction(&host);
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    host.addAction(undo);
    auto *outside = new QPushButton(QStringLiteral("outside"), &host);
    outside->move(0, ctrl->height() + 4);
    QSignalSpy hostUndo(undo, &QAction::triggered);
    host.resize(ctrl->width(), ctrl->height() + 40);
    host.show();
    QApplication::setActiveWindow(&host);
    QVERIFY(QTest::qWaitForWindowActive(&host));
    ctrl->setViewMode(1);
    QVERIFY(ctrl->LoadProfile(f->path(QStringLiteral("main.xml"))));
    settle();
    auto *ctrlTree = ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree"));
    QVERIFY(clickNode(ctrlTree, QStringLiteral("mapping/by ref/product")));
    settle();
    ctrl->session()->commitEdit(0, QStringLiteral("Rotor"));
    QApplication::setActiveWindow(&host);
    QVERIFY(QTest::qWaitForWindowActive(&host));
    // Outside the control the host's shortcut works as ever.
    outside->setFocus();
    QTest::keyClick(outside, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(hostUndo.size(), 1);
    QCOMPARE(ctrl->session()->undoStack()->index(), 1);
    // Inside, the key is the control's.
    ctrlTree->setFocus();
    QTest::keyClick(ctrlTree, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(hostUndo.size(), 1);
    QCOMPARE(ctrl->session()->undoStack()->index(), 0);
}

void TestCtrlKeys::menuUndoWhileEditingDropsTheOpenEdit()
{
    // What a host's Edit menu reaches: the stack, found by name from the control.
    auto *hostStack = f->ctrl->findChild<QUndoStack *>(QStringLiteral("undoStack"));
    QCOMPARE(hostStack, stack());
    commitOneEditAndTypeInAnother();
    hostStack->undo();
    QVERIFY(!f->ctrl->IsEditing());
    QVERIFY(!f->edit()->isVisible());
    QCOMPARE(rowTexts(list(), 1).mid(0, 1) + rowTexts(list(), 1).mid(6, 1), (QStringList{"Shaft", "one"}));
    QCOMPARE(stack()->count(), 1);
    QCOMPARE(list()->currentIndex().row(), 0); // the row the undo changed
    QVERIFY(!f->ctrl->Modified());
}

QTEST_MAIN(TestCtrlKeys)
#include "tst_ctrlkeys.moc"
