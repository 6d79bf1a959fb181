// The property list on screen: where the edit box opens, its caret, Enter, Escape, typing,
// clicks while editing, the link menu, and the commit that a tree click makes first.
#include "widgets/ctrlxmleditor.h"
#include "testsupport.h"

#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace quillon;
using namespace testsupport;

class TestEditing : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void clickOpensTheBoxOverTheValueCell();
    void caretStandsWhereTheUserClicked();
    void clickInThePropertyColumnPutsTheCaretAtTheStart();
    void enterStoresEscapeDrops();
    void clickWhileEditingOnlyCommits();
    void typingOpensTheBoxOnValueRowsOnly_data();
    void typingOpensTheBoxOnValueRowsOnly();
    void typingInAnEmptyListOpensNothing();
    void saveItemChangesWithoutAnOpenEdit();
    void openEditIsCommittedBeforeTheSelection();
    void referenceRowsShowTheLinkPicture();
    void rightClickOffersTheMenuAndFollowsNothing();
    void modifiedChangedReachesTheHost();

private:
    ControlFixture *f = nullptr;
    QTreeView *list() const { return f->list(); }
    QLineEdit *edit() const { return f->edit(); }
    XmlNode child(const char *id, const char *name) const
    {
        return f->session()->document()->findInstance(QLatin1String(id)).selectSingleNode(QLatin1String(name));
    }
};

void TestEditing::init()
{
    f = new ControlFixture({QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml")});
    QVERIFY(f->exposed);
    QVERIFY(f->open(QStringLiteral("main.xml"), 1));
    QApplication::setActiveWindow(f->ctrl);
    QVERIFY(QTest::qWaitForWindowActive(f->ctrl));
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    QCOMPARE(rowTexts(list(), 1).value(0), QStringLiteral("Shaft"));
}

void TestEditing::cleanup()
{
    delete f;
    f = nullptr;
}

void TestEditing::clickOpensTheBoxOverTheValueCell()
{
    clickRow(list(), 3); // "note"
    QVERIFY(f->ctrl->IsEditing());
    QVERIFY(edit()->isVisible());
    QVERIFY(edit()->hasFocus());
    QCOMPARE(edit()->text(), QStringLiteral("mixed bold text"));
    // 60 twips inside the cell's left and top edges, 60 narrower and lower than the cell.
    const QRect row = list()->visualRect(list()->model()->index(3, 0));
    const QPoint cellTopLeft = list()->viewport()->mapTo(
        edit()->parentWidget(), QPoint(list()->header()->sectionViewportPosition(1), row.top()));
    const QRect box = edit()->geometry();
    QVERIFY(qAbs(box.left() - (cellTopLeft.x() + f->px(60))) <= 1);
    QVERIFY(qAbs(box.top() - (cellTopLeft.y() + f->px(60))) <= 1);
    QVERIFY(qAbs(box.width() - f->px(f->twips(list()->columnWidth(1)) - 60)) <= 1);
    QVERIFY(qAbs(box.height() - f->px(f->twips(row.height()) - 60)) <= 1);
    // The row is tall enough for the box.
    QVERIFY(box.height() >= edit()->sizeHint().height() - 1);
}

void TestEditing::caretStandsWhereTheUserClicked()
{
    // Far right in the cell: after the last character; a few pixels in: at the start.
    clickRow(list(), 3, 1, Qt::LeftButton, list()->columnWidth(1) - 4);
    QCOMPARE(edit()->cursorPosition(), edit()->text().size());
    f->ctrl->SaveItemChanges(false);
    clickRow(list(), 3, 1, Qt::LeftButton, 1);
    QCOMPARE(edit()->cursorPosition(), 0);
    f->ctrl->SaveItemChanges(false);
    // Somewhere in the middle: strictly between.
    clickRow(list(), 3, 1, Qt::LeftButton, edit()->fontMetrics().horizontalAdvance(QStringLiteral("mixed bo")) + 4);
    QVERIFY(edit()->cursorPosition() > 0);
    QVERIFY(edit()->cursorPosition() < edit()->text().size());
}

void TestEditing::clickInThePropertyColumnPutsTheCaretAtTheStart()
{
    clickRow(list(), 0, 0);
    QVERIFY(f->ctrl->IsEditing());
    QCOMPARE(edit()->text(), QStringLiteral("Shaft"));
    QCOMPARE(edit()->cursorPosition(), 0);
    QVERIFY(edit()->geometry().left() > list()->geometry().left() + list()->columnWidth(0) / 2);
}

void TestEditing::enterStoresEscapeDrops()
{
    clickRow(list(), 0);
    edit()->selectAll();
    QTest::keyClicks(edit(), QStringLiteral("Spindle"));
    QTest::keyClick(edit(), Qt::Key_Return);
    QVERIFY(!f->ctrl->IsEditing());
    QVERIFY(!edit()->isVisible());
    QVERIFY(list()->hasFocus());
    QCOMPARE(rowTexts(list(), 1).value(0), QStringLiteral("Spindle"));
    QCOMPARE(child("id1", "name").text(), QStringLiteral("Spindle"));

    clickRow(list(), 0);
    QTest::keyClicks(edit(), QStringLiteral(" axle"));
    QTest::keyClick(edit(), Qt::Key_Escape);
    QVERIFY(!f->ctrl->IsEditing());
    QCOMPARE(edit()->text(), QString());
    QCOMPARE(rowTexts(list(), 1).value(0), QStringLiteral("Spindle"));
    QCOMPARE(child("id1", "name").text(), QStringLiteral("Spindle"));
}

void TestEditing::clickWhileEditingOnlyCommits()
{
    clickRow(list(), 0);
    edit()->setText(QStringLiteral("Rotor"));
    clickRow(list(), 6); // "alias"
    QVERIFY(!f->ctrl->IsEditing());
    QCOMPARE(child("id1", "name").text(), QStringLiteral("Rotor"));
    clickRow(list(), 7); // the second "alias": its own element
    QVERIFY(f->ctrl->IsEditing());
    QCOMPARE(edit()->text(), QStringLiteral("two"));
    edit()->setText(QStringLiteral("deux"));
    QTest::keyClick(edit(), Qt::Key_Return);
    QCOMPARE(rowTexts(list(), 1).mid(6, 2), (QStringList{"one", "deux"}));
}

void TestEditing::typingOpensTheBoxOnValueRowsOnly_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("opens");
    QTest::newRow("letter on a value row") << 0 << int(Qt::Key_A) << "a" << true;
    QTest::newRow("tilde on a value row") << 0 << int(Qt::Key_AsciiTilde) << "~" << true;
    QTest::newRow("space") << 0 << int(Qt::Key_Space) << " " << false;
    QTest::newRow("backspace") << 0 << int(Qt::Key_Backspace) << "\b" << false;
    // Enter opens the box with the row's value (tst_ctrlkeys), not as a typed character.
    QTest::newRow("escape") << 0 << int(Qt::Key_Escape) << "\x1b" << false;
    QTest::newRow("letter on a reference row") << 1 << int(Qt::Key_A) << "a" << false;
    QTest::newRow("non-ASCII letter") << 0 << int(Qt::Key_Eacute) << "é" << false;
}

void TestEditing::typingOpensTheBoxOnValueRowsOnly()
{
    QFETCH(int, row);
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(bool, opens);
    list()->setCurrentIndex(list()->model()->index(row, 0));
    list()->setFocus();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(list(), &press);
    QCOMPARE(f->ctrl->IsEditing(), opens);
    if (opens) {
        QCOMPARE(edit()->text(), text);
        QVERIFY(edit()->isVisible());
        // Placed by column 1's width: still over the value cell.
        QVERIFY(qAbs(edit()->x() - (list()->x() + list()->columnWidth(0) + f->px(60))) <= 2);
        // Enter stores the typed text in the row it was typed on.
        QTest::keyClick(edit(), Qt::Key_Return);
        QCOMPARE(rowTexts(list(), 1).value(row), text);
    }
}

void TestEditing::typingInAnEmptyListOpensNothing()
{
    f->session()->rows()->clear();
    list()->setFocus();
    QTest::keyClicks(list(), QStringLiteral("x"));
    QVERIFY(!f->ctrl->IsEditing());
}

void TestEditing::saveItemChangesWithoutAnOpenEdit()
{
    f->ctrl->SaveItemChanges(true);
    QVERIFY(!f->ctrl->IsEditing());
    QCOMPARE(child("id1", "name").text(), QStringLiteral("Shaft"));
    QVERIFY(!f->ctrl->Modified());
}

void TestEditing::openEditIsCommittedBeforeTheSelection()
{
    clickRow(list(), 0);
    QVERIFY(f->ctrl->IsEditing());
    edit()->setText(QStringLiteral("Spindle"));
    QVERIFY(f->click(QStringLiteral("mapping/both/product")));
    QVERIFY(!f->ctrl->IsEditing());
    QVERIFY(!edit()->isVisible());
    QCOMPARE(child("id1", "name").text(), QStringLiteral("Spindle"));
    QCOMPARE(child("id2", "name").text(), QStringLiteral("Housing"));
    QCOMPARE(f->entity(), QStringLiteral("product id2"));
}

void TestEditing::referenceRowsShowTheLinkPicture()
{
    const QList<bool> links{false, true, true, false, false, false, false, false, true};
    QCOMPARE(list()->model()->rowCount(), links.size());
    for (int i = 0; i < links.size(); ++i)
        QCOMPARE(list()->model()->index(i, 0).data(Qt::DecorationRole).value<QIcon>().isNull(), !links[i]);
    QCOMPARE(list()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Property"));
    QCOMPARE(list()->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));
}

void TestEditing::rightClickOffersTheMenuAndFollowsNothing()
{
    auto *menu = f->w<QMenu>("mnuEditLink");
    clickRow(list(), 1, 1, Qt::RightButton); // "of shape"
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("Edit Link..."));
    QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("Show in XML"));
    QCOMPARE(f->entity(), QStringLiteral("product id1"));
    QVERIFY(f->session()->history().isEmpty());
    QVERIFY(!f->ctrl->IsEditing());
    menu->hide();
    // A left click follows it, and Back comes back.
    auto *back = f->w<QPushButton>("cmdBack");
    QVERIFY(!back->isEnabled());
    clickRow(list(), 1);
    QCOMPARE(f->entity(), QStringLiteral("shape id5"));
    QVERIFY(back->isEnabled());
    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(f->entity(), QStringLiteral("product id1"));
    QVERIFY(!back->isEnabled());
}

void TestEditing::modifiedChangedReachesTheHost()
{
    QSignalSpy spy(f->ctrl, &CtrlXMLEditor::ModifiedChanged);
    clickRow(list(), 0);
    edit()->setText(QStringLiteral("Spindle"));
    QTest::keyClick(edit(), Qt::Key_Return);
    QCOMPARE(spy.size(), 1);
    QVERIFY(f->ctrl->property("Modified").toBool());
    QVERIFY(f->ctrl->SaveProfile());
    QCOMPARE(spy.size(), 2);
    QVERIFY(!f->ctrl->property("Modified").toBool());
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
