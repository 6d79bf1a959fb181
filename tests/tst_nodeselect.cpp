// Clicking tree nodes: what each view shows in the property list, the messages, and jumps
// into another document from the tree.
#include "ctrlxmleditor.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace quillon;
using namespace testsupport;

class TestNodeSelect : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void armViewOutcomes_data();
    void armViewOutcomes();
    void armViewEmptyAttributeCases_data();
    void armViewEmptyAttributeCases();
    void nodeWithChildrenHidesTheList();
    void referenceViewsOutcomes_data();
    void referenceViewsOutcomes();
    void propertyRowsFollowTheirConventions();
    void columnsFillANarrowList();
    void populateFailureKeepsEarlierRows();
    void emptyReferenceKeepsThePreviousInstance();
    void hrefSavesFirstAndSelectsAfterTheLoad();
    void hrefToAMissingFileReturnsToTheDocument_data();
    void hrefToAMissingFileReturnsToTheDocument();
    void hrefToAMissingIdSaysInstanceNotFound();
    void openEditIsCommittedBeforeTheSelection();

private:
    void open(int mode);
    QTreeWidget *list() const { return m_ctrl->findChild<QTreeWidget *>(QStringLiteral("ctrlProperties")); }
    QTreeView *tree() const { return m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")); }
    QString entity() const { return m_ctrl->findChild<QLabel *>(QStringLiteral("lblEntity"))->text(); }
    QString mainPath() const { return m_dir->filePath(QStringLiteral("main.xml")); }
    // Column 1 + column 2 + 60 twips is the list's width, within a pixel's rounding.
    void verifyColumnsFillTheList() const
    {
        const double tpp = 1440.0 / m_ctrl->logicalDpiX();
        const int total = list()->columnWidth(0) + list()->columnWidth(1);
        QVERIFY2(qAbs(total * tpp + 60 - list()->width() * tpp) <= 2 * tpp,
                 qPrintable(QStringLiteral("%1 + %2 in %3 px").arg(list()->columnWidth(0)).arg(list()->columnWidth(1)).arg(list()->width())));
    }
    bool isLink(int row) const
    {
        QTreeWidgetItem *i = list()->topLevelItem(row);
        return !i->icon(0).isNull();
    }

    QTemporaryDir *m_dir = nullptr;
    CtrlXMLEditor *m_ctrl = nullptr;
};

void TestNodeSelect::init()
{
    m_dir = new QTemporaryDir;
    copyData(*m_dir, {QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml")});
    m_ctrl = new CtrlXMLEditor;
    m_ctrl->resize(900, 700);
    m_ctrl->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_ctrl));
}

void TestNodeSelect::cleanup()
{
    delete m_ctrl;
    delete m_dir;
}

void TestNodeSelect::open(int mode)
{
    m_ctrl->setProperty("ViewMode", mode);
    QVERIFY(m_ctrl->LoadProfile(mainPath()));
    settle();
}

void TestNodeSelect::armViewOutcomes_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("instance");
    QTest::newRow("attribute element") << "arm/PART/HAS ATTR" << QStringList{"product"} << QStringList{"id1"} << "";
    QTest::newRow("value held by the instance") << "arm/PART/TEXT VALUE" << QStringList{"name"} << QStringList{"Shaft"} << "id1";
    QTest::newRow("reference held by the instance")
        << "arm/PART/REF VALUE" << QStringList{"units", "owner"} << QStringList{"mm", "id2"} << "id5";
}

void TestNodeSelect::armViewOutcomes()
{
    QFETCH(QString, node);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, values);
    QFETCH(QString, instance);
    open(0);
    MessageCapture mc;
    QVERIFY(clickNode(tree(), node));
    QVERIFY(mc.messages.isEmpty());
    QVERIFY(list()->isVisible());
    QCOMPARE(rowTexts(list(), 0), rows);
    QCOMPARE(rowTexts(list(), 1), values);
    if (instance.isEmpty()) {
        // The attribute element itself is shown, as one reference row.
        QVERIFY(isLink(0));
        QCOMPARE(m_ctrl->shownInstance().nodeName(), QStringLiteral("product"));
        QCOMPARE(entity(), QString());
    } else {
        QCOMPARE(m_ctrl->shownInstance(), m_ctrl->document()->findInstance(instance));
    }
}

void TestNodeSelect::armViewEmptyAttributeCases_data()
{
    QTest::addColumn<QString>("node");
    QTest::newRow("name without lower case") << "arm/PART/UPPER ONLY/LEAF";
    QTest::newRow("no previous sibling") << "arm/PART/NO SIBLING";
    QTest::newRow("value not found") << "arm/PART/MISSING VALUE";
}

void TestNodeSelect::armViewEmptyAttributeCases()
{
    QFETCH(QString, node);
    open(0);
    QVERIFY(clickNode(tree(), QStringLiteral("arm/PART/TEXT VALUE")));
    const XmlNode before = m_ctrl->shownInstance();
    MessageCapture mc;
    QVERIFY(clickNode(tree(), node));
    QCOMPARE(mc.messages.size(), 1);
    QCOMPARE(mc.messages[0].text, QStringLiteral("ARM attribute is empty"));
    QCOMPARE(mc.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(mc.messages[0].icon, QMessageBox::Critical);
    QVERIFY(!list()->isVisible());
    QVERIFY(m_ctrl->findChild<QLabel *>(QStringLiteral("lblSelectWhat"))->isVisible());
    QCOMPARE(entity(), QString());
    QCOMPARE(m_ctrl->shownInstance(), before);
}

void TestNodeSelect::nodeWithChildrenHidesTheList()
{
    open(1);
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/by ref/product")));
    QVERIFY(list()->isVisible());
    QCOMPARE(entity(), QStringLiteral("product id1"));
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/by ref")));
    QVERIFY(!list()->isVisible());
    QCOMPARE(entity(), QString());
    QCOMPARE(m_ctrl->shownInstance(), m_ctrl->document()->findInstance(QStringLiteral("id1")));
}

void TestNodeSelect::referenceViewsOutcomes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("entity");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("Mapping: ref") << 1 << "mapping/by ref/product" << "product id1" << QStringList{};
    QTest::newRow("AIM: ref") << 2 << "mapping/by ref/product" << "product id1" << QStringList{};
    QTest::newRow("Mapping: ref wins over href") << 1 << "mapping/both/product" << "product id2" << QStringList{};
    QTest::newRow("Mapping: id with quotes") << 1 << "mapping/quoted ref/item" << "item q\"1'x" << QStringList{};
    QTest::newRow("Mapping: missing id") << 1 << "mapping/missing ref/product" << "" << QStringList{"Instance not found."};
    QTest::newRow("Mapping: id differing in case") << 1 << "mapping/case ref/product" << "" << QStringList{"Instance not found."};
    QTest::newRow("Mapping: neither, nothing shown before")
        << 1 << "mapping/empty ref/nothing here" << "" << QStringList{"Empty reference.", "Instance not found."};
    QTest::newRow("AIM: the element itself") << 2 << "aim/aim-instances/shape" << "shape id5" << QStringList{};
    QTest::newRow("AIM: instance without attributes") << 2 << "aim/aim-instances/anon" << "" << QStringList{};
}

void TestNodeSelect::referenceViewsOutcomes()
{
    QFETCH(int, mode);
    QFETCH(QString, node);
    QFETCH(QString, entity);
    QFETCH(QStringList, messages);
    open(mode);
    MessageCapture mc;
    QVERIFY(clickNode(tree(), node));
    QCOMPARE(mc.texts(), messages);
    QCOMPARE(this->entity(), entity);
    QCOMPARE(m_ctrl->history().entries().size(), 0);
    if (messages.isEmpty())
        QVERIFY(list()->topLevelItemCount() > 0);
    else
        QVERIFY(!m_ctrl->shownInstance());
}

void TestNodeSelect::propertyRowsFollowTheirConventions()
{
    open(1);
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/by ref/product")));
    QCOMPARE(rowTexts(list(), 0), (QStringList{"name", "of shape", "made from", "note", "remark", "empty", "alias", "alias",
                                               "see also"}));
    QCOMPARE(rowTexts(list(), 1), (QStringList{"Shaft", "id5", "other.xml#id21", "mixed bold text", "after a comment", "",
                                               "one", "two", "ID6"}));
    const QList<bool> links{false, true, true, false, false, false, false, false, true};
    for (int i = 0; i < links.size(); ++i)
        QCOMPARE(isLink(i), links[i]);
    // Column 1 is 400 twips wider than its contents; column 2 takes the rest less 60.
    verifyColumnsFillTheList();
}

void TestNodeSelect::columnsFillANarrowList()
{
    open(1);
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/by ref/product")));
    const int first = list()->columnWidth(0);
    // Narrow the control until the list leaves the Value column a few pixels (well below the
    // usual minimum width of a header section).
    const int valuePx = 6;
    const int targetListPx = first + qRound(60 * m_ctrl->logicalDpiX() / 1440.0) + valuePx;
    m_ctrl->resize(m_ctrl->width() - (list()->width() - targetListPx), m_ctrl->height());
    settle();
    QVERIFY(qAbs(list()->width() - targetListPx) <= 1);
    QCOMPARE(list()->columnWidth(0), first);
    QVERIFY(list()->columnWidth(1) <= valuePx + 2);
    verifyColumnsFillTheList();
}

void TestNodeSelect::populateFailureKeepsEarlierRows()
{
    open(2);
    MessageCapture mc;
    QVERIFY(clickNode(tree(), QStringLiteral("aim/aim-instances/broken")));
    QCOMPARE(mc.messages.size(), 1);
    QCOMPARE(mc.messages[0].text, QStringLiteral("Exception in \"PopulateInstance\""));
    QCOMPARE(mc.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(mc.messages[0].icon, QMessageBox::Warning);
    QCOMPARE(rowTexts(list(), 0), (QStringList{"ok", "bad"}));
    QCOMPARE(entity(), QString());
}

void TestNodeSelect::emptyReferenceKeepsThePreviousInstance()
{
    open(1);
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/both/product")));
    MessageCapture mc;
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/empty ref/nothing here")));
    QCOMPARE(mc.texts(), QStringList{"Empty reference."});
    QCOMPARE(mc.messages[0].icon, QMessageBox::Warning);
    QCOMPARE(entity(), QStringLiteral("product id2"));
    QCOMPARE(rowTexts(list(), 1).value(0), QStringLiteral("Housing"));
}

void TestNodeSelect::hrefSavesFirstAndSelectsAfterTheLoad()
{
    open(1);
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/by ref/product")));
    // An edit in memory is written back before an href is followed.
    const QByteArray before = readAll(mainPath());
    QVERIFY(m_ctrl->shownInstance().selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Edited")));
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/by href/material")));
    QVERIFY(m_ctrl->pendingSelect());
    QCOMPARE(readAll(mainPath()), QByteArray(before).replace("<name>Shaft</name>", "<name>Edited</name>"));
    settle();
    QVERIFY(!m_ctrl->pendingSelect());
    QCOMPARE(m_ctrl->FileName(), m_dir->filePath(QStringLiteral("other.xml")));
    QCOMPARE(entity(), QStringLiteral("material id21"));
    QCOMPARE(rowTexts(list(), 1), (QStringList{"S355", "main.xml#id2"}));
    QCOMPARE(m_ctrl->history().entries(), QStringList{mainPath() + QStringLiteral("#id1")});
}

void TestNodeSelect::hrefToAMissingFileReturnsToTheDocument_data()
{
    QTest::addColumn<bool>("instanceShown");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("an instance shown") << true << QStringList{"File not found."};
    QTest::newRow("nothing shown") << false << QStringList{"File not found.", "Instance not found."};
}

void TestNodeSelect::hrefToAMissingFileReturnsToTheDocument()
{
    QFETCH(bool, instanceShown);
    QFETCH(QStringList, messages);
    open(1);
    if (instanceShown)
        QVERIFY(clickNode(tree(), QStringLiteral("mapping/by ref/product")));
    XmlDocument *before = m_ctrl->document();
    MessageCapture mc;
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/missing file/material")));
    QCOMPARE(mc.texts(), messages);
    QCOMPARE(mc.messages[0].title, QStringLiteral("Error"));
    settle();
    QCOMPARE(mc.texts(), messages);
    QVERIFY(m_ctrl->document() != before); // read again from the file
    QCOMPARE(m_ctrl->FileName(), mainPath());
    QVERIFY(!m_ctrl->pendingSelect());
    QVERIFY(m_ctrl->history().isEmpty());
    // A terminal node was clicked: the list stays on show, whatever it holds.
    QVERIFY(list()->isVisible());
    if (instanceShown) {
        QCOMPARE(entity(), QStringLiteral("product id1"));
        QVERIFY(m_ctrl->shownInstance().belongsTo(m_ctrl->document()));
    } else {
        QCOMPARE(entity(), QString());
        QVERIFY(!m_ctrl->shownInstance());
        QCOMPARE(list()->topLevelItemCount(), 0);
    }
}

void TestNodeSelect::hrefToAMissingIdSaysInstanceNotFound()
{
    open(1);
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/by ref/product")));
    MessageCapture mc;
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/missing target/material")));
    settle();
    QCOMPARE(mc.texts(), QStringList{"Instance not found."});
    QVERIFY(!m_ctrl->pendingSelect());
    QVERIFY(m_ctrl->history().isEmpty());
    QVERIFY(!m_ctrl->shownInstance());
    QCOMPARE(list()->topLevelItemCount(), 0); // no rows of a document left behind
}

void TestNodeSelect::openEditIsCommittedBeforeTheSelection()
{
    open(1);
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/by ref/product")));
    clickRow(list(), 0);
    auto *edit = m_ctrl->findChild<QLineEdit *>(QStringLiteral("txtEdit"));
    QVERIFY(m_ctrl->IsEditing());
    edit->setText(QStringLiteral("Spindle"));
    QVERIFY(clickNode(tree(), QStringLiteral("mapping/both/product")));
    QVERIFY(!m_ctrl->IsEditing());
    QCOMPARE(m_ctrl->document()->findInstance(QStringLiteral("id1")).selectSingleNode(QStringLiteral("name")).text(),
             QStringLiteral("Spindle"));
    QCOMPARE(m_ctrl->document()->findInstance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).text(),
             QStringLiteral("Housing"));
}

QTEST_MAIN(TestNodeSelect)
#include "tst_nodeselect.moc"
