// Editing values in place: where the box opens, its caret, Enter, Escape, typing, and the
// commit rules.
#include "ctrlxmleditor.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QLabel>
#include <QLineEdit>
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
    void commitOnTheSecondOfTwoSameNamedRows();
    void commitReplacesSubElements();
    void saveItemChangesWithoutAnOpenEdit();
    void modifiedFollowsCommitsSavesAndLoads();

private:
    QTreeWidget *list() const { return m_ctrl->findChild<QTreeWidget *>(QStringLiteral("ctrlProperties")); }
    QLineEdit *edit() const { return m_ctrl->findChild<QLineEdit *>(QStringLiteral("txtEdit")); }
    XmlNode child(const char *id, const char *name) const
    {
        return m_ctrl->document()->findInstance(QLatin1String(id)).selectSingleNode(QLatin1String(name));
    }
    int twips(int px) const { return qRound(px * 1440.0 / m_ctrl->logicalDpiX()); }
    int px(int twips) const { return qRound(twips * m_ctrl->logicalDpiX() / 1440.0); }

    QTemporaryDir *m_dir = nullptr;
    CtrlXMLEditor *m_ctrl = nullptr;
};

void TestEditing::init()
{
    m_dir = new QTemporaryDir;
    copyData(*m_dir, {QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml")});
    m_ctrl = new CtrlXMLEditor;
    m_ctrl->resize(900, 700);
    m_ctrl->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_ctrl));
    m_ctrl->setProperty("ViewMode", 1);
    QVERIFY(m_ctrl->LoadProfile(m_dir->filePath(QStringLiteral("main.xml"))));
    settle();
    QApplication::setActiveWindow(m_ctrl);
    QVERIFY(QTest::qWaitForWindowActive(m_ctrl));
    QVERIFY(clickNode(m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")), QStringLiteral("mapping/by ref/product")));
    QCOMPARE(list()->topLevelItem(0)->text(1), QStringLiteral("Shaft"));
}

void TestEditing::cleanup()
{
    delete m_ctrl;
    delete m_dir;
}

void TestEditing::clickOpensTheBoxOverTheValueCell()
{
    clickRow(list(), 3); // "note"
    QVERIFY(m_ctrl->IsEditing());
    QVERIFY(edit()->isVisible());
    QVERIFY(edit()->hasFocus());
    QCOMPARE(edit()->text(), QStringLiteral("mixed bold text"));
    // 60 twips inside the cell's left and top edges, 60 narrower and lower than the cell.
    const QRect row = list()->visualItemRect(list()->topLevelItem(3));
    const QPoint cellTopLeft = list()->viewport()->mapTo(edit()->parentWidget(),
                                                         QPoint(list()->header()->sectionViewportPosition(1), row.top()));
    const QRect box = edit()->geometry();
    QVERIFY(qAbs(box.left() - (cellTopLeft.x() + px(60))) <= 1);
    QVERIFY(qAbs(box.top() - (cellTopLeft.y() + px(60))) <= 1);
    QVERIFY(qAbs(box.width() - px(twips(list()->columnWidth(1)) - 60)) <= 1);
    QVERIFY(qAbs(box.height() - px(twips(row.height()) - 60)) <= 1);
}

void TestEditing::caretStandsWhereTheUserClicked()
{
    // Far right in the cell: after the last character; a few pixels in: at the start.
    clickRow(list(), 3, 1, Qt::LeftButton, list()->columnWidth(1) - 4);
    QCOMPARE(edit()->cursorPosition(), edit()->text().size());
    m_ctrl->SaveItemChanges(false);
    clickRow(list(), 3, 1, Qt::LeftButton, 1);
    QCOMPARE(edit()->cursorPosition(), 0);
    m_ctrl->SaveItemChanges(false);
    // Somewhere in the middle: strictly between.
    clickRow(list(), 3, 1, Qt::LeftButton, edit()->fontMetrics().horizontalAdvance(QStringLiteral("mixed bo")) + 4);
    QVERIFY(edit()->cursorPosition() > 0);
    QVERIFY(edit()->cursorPosition() < edit()->text().size());
}

void TestEditing::clickInThePropertyColumnPutsTheCaretAtTheStart()
{
    clickRow(list(), 0, 0);
    QVERIFY(m_ctrl->IsEditing());
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
    QVERIFY(!m_ctrl->IsEditing());
    QVERIFY(!edit()->isVisible());
    QVERIFY(list()->hasFocus());
    QCOMPARE(list()->topLevelItem(0)->text(1), QStringLiteral("Spindle"));
    QCOMPARE(child("id1", "name").text(), QStringLiteral("Spindle"));

    clickRow(list(), 0);
    QTest::keyClicks(edit(), QStringLiteral(" axle"));
    QTest::keyClick(edit(), Qt::Key_Escape);
    QVERIFY(!m_ctrl->IsEditing());
    QCOMPARE(edit()->text(), QString());
    QCOMPARE(list()->topLevelItem(0)->text(1), QStringLiteral("Spindle"));
    QCOMPARE(child("id1", "name").text(), QStringLiteral("Spindle"));
}

void TestEditing::clickWhileEditingOnlyCommits()
{
    clickRow(list(), 0);
    edit()->setText(QStringLiteral("Rotor"));
    clickRow(list(), 6); // "alias"
    QVERIFY(!m_ctrl->IsEditing());
    QCOMPARE(child("id1", "name").text(), QStringLiteral("Rotor"));
    clickRow(list(), 6);
    QVERIFY(m_ctrl->IsEditing());
    QCOMPARE(edit()->text(), QStringLiteral("one"));
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
    QTest::newRow("enter") << 0 << int(Qt::Key_Return) << "\r" << false;
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
    list()->setCurrentItem(list()->topLevelItem(row));
    list()->setFocus();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(list(), &press);
    QCOMPARE(m_ctrl->IsEditing(), opens);
    if (opens) {
        QCOMPARE(edit()->text(), text);
        QVERIFY(edit()->isVisible());
        // Placed by column 1's width: still over the value cell.
        QVERIFY(qAbs(edit()->x() - (list()->x() + list()->columnWidth(0) + px(60))) <= 2);
    }
}

void TestEditing::typingInAnEmptyListOpensNothing()
{
    list()->clear();
    list()->setFocus();
    QTest::keyClicks(list(), QStringLiteral("x"));
    QVERIFY(!m_ctrl->IsEditing());
}

void TestEditing::commitOnTheSecondOfTwoSameNamedRows()
{
    clickRow(list(), 7); // the second "alias"
    QCOMPARE(edit()->text(), QStringLiteral("two"));
    edit()->setText(QStringLiteral("deux"));
    QTest::keyClick(edit(), Qt::Key_Return);
    const QList<XmlNode> aliases = m_ctrl->document()->findInstance(QStringLiteral("id1")).selectNodes(QStringLiteral("alias"));
    QCOMPARE(aliases.size(), 2);
    QCOMPARE(aliases[0].text(), QStringLiteral("one"));
    QCOMPARE(aliases[1].text(), QStringLiteral("deux"));
    QCOMPARE(rowTexts(list(), 1).mid(6, 2), (QStringList{"one", "deux"}));
}

void TestEditing::commitReplacesSubElements()
{
    clickRow(list(), 3); // note: "mixed <b>bold</b> text"
    edit()->setText(QStringLiteral("plain"));
    QTest::keyClick(edit(), Qt::Key_Return);
    const XmlNode note = child("id1", "note");
    QCOMPARE(note.childNodes().size(), 1);
    QCOMPARE(note.firstChild().nodeType(), int(XmlNode::Text));
    QCOMPARE(note.text(), QStringLiteral("plain"));
}

void TestEditing::saveItemChangesWithoutAnOpenEdit()
{
    m_ctrl->SaveItemChanges(true);
    QVERIFY(!m_ctrl->IsEditing());
    QCOMPARE(child("id1", "name").text(), QStringLiteral("Shaft"));
}

void TestEditing::modifiedFollowsCommitsSavesAndLoads()
{
    QSignalSpy spy(m_ctrl, &CtrlXMLEditor::ModifiedChanged);
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    const QByteArray before = readAll(path);
    auto commit = [this](const QString &text) {
        clickRow(list(), 0);
        edit()->selectAll();
        QTest::keyClicks(edit(), text);
        QTest::keyClick(edit(), Qt::Key_Return);
    };
    commit(QStringLiteral("Shaft")); // the value it had: nothing changed
    QVERIFY(!m_ctrl->Modified());
    QVERIFY(spy.isEmpty());
    QVERIFY(m_ctrl->SaveProfile());
    QCOMPARE(readAll(path), before);

    commit(QStringLiteral("Spindle"));
    QVERIFY(m_ctrl->Modified());
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(readAll(path), before); // nothing written until a save

    QVERIFY(m_ctrl->SaveProfile());
    QVERIFY(!m_ctrl->Modified());
    QCOMPARE(spy.size(), 2);
    QCOMPARE(readAll(path), QByteArray(before).replace("<name>Shaft</name>", "<name>Spindle</name>"));

    commit(QStringLiteral("Axle"));
    QVERIFY(m_ctrl->LoadProfile(path)); // a load drops the edit and the mark
    QVERIFY(!m_ctrl->Modified());
    QCOMPARE(spy.size(), 4);
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
