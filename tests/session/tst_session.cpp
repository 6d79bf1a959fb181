// The editing session without a window: what a tree node shows in each view, following
// references, the history and Back, jumps into other documents, committing edits, re-pointing
// links, view switches and saving, all checked through the outcomes the operations report.
#include "session/editorsession.h"
#include "refs/refcheck.h"
#include "refs/refindex.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

using namespace quillon;
using namespace testsupport;
using Outcome = EditorSession::Outcome;

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // Node selection
    void armViewOutcomes_data();
    void armViewOutcomes();
    void armViewEmptyAttribute_data();
    void armViewEmptyAttribute();
    void nodeWithChildrenHidesTheList();
    void referenceViewsOutcomes_data();
    void referenceViewsOutcomes();
    void rowsFollowTheirConventions();
    void populateFailureKeepsEarlierRows();
    void emptyReferenceKeepsThePreviousInstance();
    void hrefSavesFirstAndSelectsAfterTheLoad();
    void hrefToAMissingFileReturnsToTheDocument_data();
    void hrefToAMissingFileReturnsToTheDocument();
    void hrefToAMissingIdSaysInstanceNotFound();
    void elementForNodeTakesTheFirstMatch();

    // Navigation and history
    void sameDocumentRowRecordsThePlaceLeft();
    void threeJumpsTwoBacksOneJumpLeaveTwoEntries();
    void showInstanceIsAFollowedReference();
    void backAcrossFilesSavesTheFileLeft();
    void brokenHistory_data();
    void brokenHistory();
    void rowIntoAMissingFile_data();
    void rowIntoAMissingFile();
    void rowIntoAMissingId();
    void valueWithHashIsADocumentEvenIfItBeginsWithId();
    void missingSameDocumentTarget();
    void jumpWithNothingShownRecordsNothing();
    void backReturnsToAnElementByItsPath_data();
    void backReturnsToAnElementByItsPath();
    void navigationRevealsTheShownNode_data();
    void navigationRevealsTheShownNode();
    void backStaysWhenTheDocumentLeftCannotBeSaved();
    void jumpStaysWhenTheDocumentLeftCannotBeSaved_data();
    void jumpStaysWhenTheDocumentLeftCannotBeSaved();
    void openingAnotherDocumentClearsTheList();
    void browsingWithoutEditsWritesNothing();

    // Editing
    void commitStoresIntoRowAndElement();
    void commitOnTheSecondOfTwoSameNamedRows();
    void commitReplacesSubElements();
    void modifiedFollowsCommitsSavesAndLoads();

    // Loading
    void userPathsResolveAgainstTheWorkingFolder();
    void failedLoadKeepsThePreviousDocument();
    void loadRunsTheEventLoopAndCanBeCancelled();
    void malformedFileFailsWithAReason();

    // View switches and saving
    void viewModeIgnoresSameAndOutOfRange();
    void viewModeBeforeLoadOnlyStoresTheMode();
    void viewSwitchWritesNothing_data();
    void viewSwitchWritesNothing();
    void failedSaveReportsAndKeepsTheEdits();
    void saveAsMovesTheDocument();
    void fileChangedOnDiskIsWrittenOverOnlyWhenTheUserSays_data();
    void fileChangedOnDiskIsWrittenOverOnlyWhenTheUserSays();
    void workBesideTheWindow();

    // What the views are told
    void shownInstanceChangedOncePerChange_data();
    void shownInstanceChangedOncePerChange();

private:
    SessionHarness *h = nullptr;
    EditorSession &s() const { return h->session; }
    void show(const QString &id)
    {
        QVERIFY(s().selectNode(h->instanceNode(id)).isEmpty());
        QCOMPARE(h->shownId(), id);
    }
    // A folder takes the file's place: the document can no longer be written there. The user
    // lets the save go ahead over what is now on disk.
    void blockFile(const char *name)
    {
        QVERIFY(QFile::remove(h->path(QLatin1String(name))));
        QVERIFY(QDir(h->dir.path()).mkdir(QLatin1String(name)));
        letSavesOverwrite();
    }
    void letSavesOverwrite()
    {
        s().setAsker([](EditorSession::Question, const QString &) { return EditorSession::Answer::Overwrite; });
    }
};

void TestSession::init()
{
    h = new SessionHarness(
        {QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml"), QStringLiteral("nav/idx.xml")});
    // Every change of the rows is checked against the item model rules.
    new QAbstractItemModelTester(s().rows(), QAbstractItemModelTester::FailureReportingMode::QtTest, &s());
}

void TestSession::cleanup()
{
    delete h;
    h = nullptr;
}

// ---- Node selection -----------------------------------------------------------------------

void TestSession::armViewOutcomes_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("instance");
    QTest::newRow("attribute element") << "arm/PART/HAS ATTR" << QStringList{"product"} << QStringList{"id1"} << "";
    QTest::newRow("value held by the instance")
        << "arm/PART/TEXT VALUE" << QStringList{"name"} << QStringList{"Shaft"} << "id1";
    QTest::newRow("reference held by the instance")
        << "arm/PART/REF VALUE" << QStringList{"units", "owner"} << QStringList{"mm", "id2"} << "id5";
}

void TestSession::armViewOutcomes()
{
    QFETCH(QString, node);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, values);
    QFETCH(QString, instance);
    QVERIFY(h->open(QStringLiteral("main.xml"), 0));
    QVERIFY(h->select(node).isEmpty());
    QVERIFY(s().listVisible());
    QCOMPARE(h->rows(0), rows);
    QCOMPARE(h->rows(1), values);
    if (instance.isEmpty()) {
        // The attribute element itself is shown, as one reference row.
        QVERIFY(h->isLink(0));
        QCOMPARE(s().rows()->row(0).source, PropertyRow::Source::OwnAttribute);
        QCOMPARE(s().shownInstance().nodeName(), QStringLiteral("product"));
        QCOMPARE(s().entity(), QString());
    } else {
        QCOMPARE(s().shownInstance(), h->instance(instance));
    }
}

void TestSession::armViewEmptyAttribute_data()
{
    QTest::addColumn<QString>("node");
    QTest::newRow("name without lower case") << "arm/PART/UPPER ONLY/LEAF";
    QTest::newRow("no previous sibling") << "arm/PART/NO SIBLING";
    QTest::newRow("value not found") << "arm/PART/MISSING VALUE";
}

void TestSession::armViewEmptyAttribute()
{
    QFETCH(QString, node);
    QVERIFY(h->open(QStringLiteral("main.xml"), 0));
    QVERIFY(h->select(QStringLiteral("arm/PART/TEXT VALUE")).isEmpty());
    const XmlNode before = s().shownInstance();
    QSignalSpy visible(&s(), &EditorSession::shownInstanceChanged);
    QCOMPARE(outcomes(h->select(node)), QStringList{"ArmAttributeEmpty"});
    QVERIFY(!s().listVisible());
    QCOMPARE(visible.count(), 1); // the list went
    QCOMPARE(s().entity(), QString());
    QCOMPARE(s().rows()->rowCount(), 0);
    QCOMPARE(s().shownInstance(), before);
}

void TestSession::nodeWithChildrenHidesTheList()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    QVERIFY(s().listVisible());
    QCOMPARE(s().entity(), QStringLiteral("product id1"));
    QVERIFY(h->select(QStringLiteral("mapping/by ref")).isEmpty());
    QVERIFY(!s().listVisible());
    QCOMPARE(s().entity(), QString());
    QCOMPARE(s().shownInstance(), h->instance(QStringLiteral("id1")));
}

void TestSession::referenceViewsOutcomes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("entity");
    QTest::addColumn<QStringList>("reported");
    QTest::newRow("Mapping: ref") << 1 << "mapping/by ref/product"
                                  << "product id1" << QStringList{};
    QTest::newRow("AIM: ref") << 2 << "mapping/by ref/product"
                              << "product id1" << QStringList{};
    QTest::newRow("Mapping: ref wins over href") << 1 << "mapping/both/product"
                                                 << "product id2" << QStringList{};
    QTest::newRow("Mapping: id with quotes") << 1 << "mapping/quoted ref/item"
                                             << "item q\"1'x" << QStringList{};
    QTest::newRow("Mapping: missing id") << 1 << "mapping/missing ref/product"
                                         << "" << QStringList{"InstanceNotFound"};
    QTest::newRow("Mapping: id differing in case") << 1 << "mapping/case ref/product"
                                                   << "" << QStringList{"InstanceNotFound"};
    QTest::newRow("Mapping: neither, nothing shown before") << 1 << "mapping/empty ref/nothing here"
                                                            << "" << QStringList{"EmptyReference", "InstanceNotFound"};
    QTest::newRow("AIM: the element itself") << 2 << "aim/aim-instances/shape"
                                             << "shape id5" << QStringList{};
    QTest::newRow("AIM: instance without attributes") << 2 << "aim/aim-instances/anon"
                                                      << "" << QStringList{};
}

void TestSession::referenceViewsOutcomes()
{
    QFETCH(int, mode);
    QFETCH(QString, node);
    QFETCH(QString, entity);
    QFETCH(QStringList, reported);
    QVERIFY(h->open(QStringLiteral("main.xml"), mode));
    QCOMPARE(outcomes(h->select(node)), reported);
    QCOMPARE(s().entity(), entity);
    QVERIFY(s().history().isEmpty());
    if (reported.isEmpty())
        QVERIFY(s().rows()->rowCount() > 0);
    else
        QVERIFY(!s().shownInstance());
}

void TestSession::rowsFollowTheirConventions()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    QCOMPARE(h->rows(0),
             (QStringList{"name", "of shape", "made from", "note", "remark", "empty", "alias", "alias", "see also"}));
    QCOMPARE(h->rows(1), (QStringList{"Shaft", "id5", "other.xml#id21", "mixed bold text", "after a comment", "", "one",
                                      "two", "ID6"}));
    const QList<bool> links{false, true, true, false, false, false, false, false, true};
    const QList<XmlNode> children = s().shownInstance().childNodes();
    for (int i = 0; i < links.size(); ++i) {
        QCOMPARE(h->isLink(i), links[i]);
        QCOMPARE(s().rows()->index(i, 0).data(PropertyModel::ReferenceRole).toBool(), links[i]);
        QCOMPARE(s().rows()->index(i, 0).data(Qt::DecorationRole).isNull(), !links[i]);
        QVERIFY(s().rows()->index(i, 1).data(Qt::DecorationRole).isNull());
        // Each row holds its own element, also the second of two of the same name.
        QCOMPARE(s().rows()->row(i).element, children.at(i));
    }
    QCOMPARE(s().rows()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Property"));
    QCOMPARE(s().rows()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));
}

void TestSession::populateFailureKeepsEarlierRows()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    QCOMPARE(outcomes(h->select(QStringLiteral("aim/aim-instances/broken"))), QStringList{"PopulateFailed"});
    QCOMPARE(h->rows(0), (QStringList{"ok", "bad"}));
    QCOMPARE(s().entity(), QString());
}

void TestSession::emptyReferenceKeepsThePreviousInstance()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/both/product")).isEmpty());
    QCOMPARE(outcomes(h->select(QStringLiteral("mapping/empty ref/nothing here"))), QStringList{"EmptyReference"});
    QCOMPARE(s().entity(), QStringLiteral("product id2"));
    QCOMPARE(h->rows(1).value(0), QStringLiteral("Housing"));
}

void TestSession::hrefSavesFirstAndSelectsAfterTheLoad()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    // An edit in memory is written back before an href is followed.
    const QString main = h->path(QStringLiteral("main.xml"));
    const QByteArray before = readAll(main);
    QVERIFY(s().shownInstance().selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Edited")));
    QVERIFY(s().selectNode(h->node(QStringLiteral("mapping/by href/material"))).isEmpty());
    QVERIFY(s().pendingSelect());
    QCOMPARE(readAll(main), QByteArray(before).replace("<name>Shaft</name>", "<name>Edited</name>"));
    settle();
    QVERIFY(!s().pendingSelect());
    QVERIFY(h->late.isEmpty());
    QCOMPARE(s().fileName(), h->path(QStringLiteral("other.xml")));
    QCOMPARE(s().entity(), QStringLiteral("material id21"));
    QCOMPARE(h->rows(1), (QStringList{"S355", "main.xml#id2"}));
    QCOMPARE(s().history().entries(), QStringList{main + QStringLiteral("#id1")});
    QVERIFY(s().backEnabled());
}

void TestSession::hrefToAMissingFileReturnsToTheDocument_data()
{
    QTest::addColumn<bool>("instanceShown");
    QTest::addColumn<QStringList>("reported");
    QTest::newRow("an instance shown") << true << QStringList{"FileNotFound"};
    QTest::newRow("nothing shown") << false << QStringList{"FileNotFound", "InstanceNotFound"};
}

void TestSession::hrefToAMissingFileReturnsToTheDocument()
{
    QFETCH(bool, instanceShown);
    QFETCH(QStringList, reported);
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    if (instanceShown)
        QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    XmlDocument *before = s().document();
    const EditorSession::Reports r = h->select(QStringLiteral("mapping/missing file/material"));
    QCOMPARE(outcomes(r), reported);
    QVERIFY(!r[0].detail.isEmpty()); // why the file could not be read
    QVERIFY(h->late.isEmpty());
    QVERIFY(s().document() != before); // read again from the file
    QCOMPARE(s().fileName(), h->path(QStringLiteral("main.xml")));
    QVERIFY(!s().pendingSelect());
    QVERIFY(s().history().isEmpty());
    // A terminal node was clicked: the list stays on show, whatever it holds.
    QVERIFY(s().listVisible());
    if (instanceShown) {
        QCOMPARE(s().entity(), QStringLiteral("product id1"));
        QVERIFY(s().shownInstance().belongsTo(s().document()));
    } else {
        QCOMPARE(s().entity(), QString());
        QVERIFY(!s().shownInstance());
        QCOMPARE(s().rows()->rowCount(), 0);
    }
}

void TestSession::hrefToAMissingIdSaysInstanceNotFound()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    QVERIFY(h->select(QStringLiteral("mapping/missing target/material")).isEmpty());
    QCOMPARE(outcomes(h->late), QStringList{"InstanceNotFound"}); // told when the load completes
    QCOMPARE(h->late[0].detail, QStringLiteral("id404")); // the id not found
    QVERIFY(!s().pendingSelect());
    QVERIFY(s().history().isEmpty());
    QVERIFY(!s().shownInstance());
    QCOMPARE(s().rows()->rowCount(), 0); // no rows of a document left behind
}

void TestSession::elementForNodeTakesTheFirstMatch()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    const TreeStore &store = s().treeModel()->store();
    // A caption with blanks stands for a name with "_".
    const XmlNode byRef = s().elementForNode(store, h->node(QStringLiteral("mapping/by ref")));
    QCOMPARE(byRef.nodeName(), QStringLiteral("by_ref"));
    QVERIFY(!s().elementForNode(store, 0));
    QVERIFY(!s().elementForNode(store, store.count() + 1));
}

// ---- Navigation and history ---------------------------------------------------------------

void TestSession::sameDocumentRowRecordsThePlaceLeft()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    QVERIFY(!s().backEnabled());
    QVERIFY(h->follow(QStringLiteral("see also")).isEmpty()); // "ID6", read as an id of this document
    QCOMPARE(s().entity(), QStringLiteral("shape ID6"));
    QVERIFY(s().backEnabled());
    QCOMPARE(s().history().entries(), QStringList{h->path(QStringLiteral("main.xml#id1"))});
    QVERIFY(h->back().isEmpty());
    QCOMPARE(s().entity(), QStringLiteral("product id1"));
    QVERIFY(!s().backEnabled());
}

void TestSession::threeJumpsTwoBacksOneJumpLeaveTwoEntries()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    h->follow(QStringLiteral("of shape")); // id5
    h->follow(QStringLiteral("owner")); // id2
    h->follow(QStringLiteral("contains")); // id1
    QCOMPARE(s().history().entries().size(), 3);
    h->back();
    QCOMPARE(s().entity(), QStringLiteral("product id2"));
    h->back();
    QCOMPARE(s().entity(), QStringLiteral("shape id5"));
    h->follow(QStringLiteral("owner"));
    const QString main = h->path(QStringLiteral("main.xml"));
    QCOMPARE(s().history().entries(), (QStringList{main + QStringLiteral("#id1"), main + QStringLiteral("#id5")}));
    QCOMPARE(s().history().position(), 1);
}

void TestSession::showInstanceIsAFollowedReference()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    const QString main = h->path(QStringLiteral("main.xml"));
    // An id not in the document changes nothing but says so.
    QCOMPARE(outcomes(s().showInstance({}, QStringLiteral("nowhere"))), QStringList{"InstanceNotFound"});
    QCOMPARE(s().entity(), QStringLiteral("product id1"));
    QVERIFY(s().history().isEmpty());
    // The document shown, by its own name: the place left is recorded.
    QVERIFY(s().showInstance(main, QStringLiteral("id5")).isEmpty());
    QCOMPARE(s().entity(), QStringLiteral("shape id5"));
    QCOMPARE(s().history().entries(), QStringList{main + QStringLiteral("#id1")});
    // Another document is loaded and the jump completes with it; Back returns.
    QVERIFY(s().showInstance(QStringLiteral("other.xml"), QStringLiteral("id21")).isEmpty());
    settle();
    QCOMPARE(s().fileName(), h->path(QStringLiteral("other.xml")));
    QCOMPARE(s().entity(), QStringLiteral("material id21"));
    QVERIFY(h->back().isEmpty());
    QCOMPARE(s().fileName(), main);
    QCOMPARE(s().entity(), QStringLiteral("shape id5"));
}

void TestSession::backAcrossFilesSavesTheFileLeft()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    QVERIFY(h->follow(QStringLiteral("made from")).isEmpty());
    QCOMPARE(s().fileName(), h->path(QStringLiteral("other.xml")));
    QCOMPARE(s().entity(), QStringLiteral("material id21"));
    h->instance(QStringLiteral("id21")).selectSingleNode(QStringLiteral("grade")).setText(QStringLiteral("S460"));
    QVERIFY(s().back().isEmpty());
    QVERIFY(readAll(h->path(QStringLiteral("other.xml"))).contains("<grade>S460</grade>"));
    QCOMPARE(s().fileName(), h->path(QStringLiteral("main.xml")));
    QCOMPARE(s().entity(), QStringLiteral("product id1"));
    QVERIFY(!s().backEnabled());
    settle();
    QCOMPARE(s().entity(), QStringLiteral("product id1"));
    QVERIFY(s().shownInstance().belongsTo(s().document()));
}

void TestSession::brokenHistory_data()
{
    QTest::addColumn<bool>("fileGone");
    QTest::newRow("the entry's file was deleted") << true;
    QTest::newRow("the entry's id was renamed") << false;
}

void TestSession::brokenHistory()
{
    QFETCH(bool, fileGone);
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    if (fileGone) {
        h->follow(QStringLiteral("made from"));
        QVERIFY(QFile::remove(h->path(QStringLiteral("main.xml"))));
    } else {
        h->follow(QStringLiteral("of shape"));
        h->instance(QStringLiteral("id1")).attribute(0).setText(QStringLiteral("renamed"));
    }
    const QString entity = s().entity();
    const QString file = s().fileName();
    // Every press tries the same entry again.
    for (int press = 0; press < 2; ++press) {
        QCOMPARE(outcomes(h->back()), QStringList{"BrokenHistory"});
        QCOMPARE(s().history().position(), 0);
        QCOMPARE(s().fileName(), file);
        QCOMPARE(s().entity(), entity);
        QVERIFY(s().backEnabled());
    }
}

void TestSession::rowIntoAMissingFile_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("reported");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("entries");
    QTest::newRow("id not in the document left")
        << "to missing file" << QStringList{"FileNotFound", "RowInstanceNotFound"} << "link_test id7" << 0;
    QTest::newRow("id found in the document left")
        << "to missing file known id" << QStringList{"FileNotFound"} << "product id2" << 1;
}

void TestSession::rowIntoAMissingFile()
{
    QFETCH(QString, row);
    QFETCH(QStringList, reported);
    QFETCH(QString, shown);
    QFETCH(int, entries);
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id7"));
    QCOMPARE(outcomes(h->follow(row)), reported);
    QVERIFY(h->late.isEmpty());
    QCOMPARE(s().fileName(), h->path(QStringLiteral("main.xml")));
    QCOMPARE(s().entity(), shown);
    QVERIFY(!s().pendingSelect());
    QCOMPARE(s().history().entries().size(), entries);
    QVERIFY(s().shownInstance().belongsTo(s().document()));
}

void TestSession::rowIntoAMissingId()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id7"));
    QVERIFY(h->follow(QStringLiteral("to missing id")).isEmpty());
    QCOMPARE(outcomes(h->late), QStringList{"InstanceNotFound"});
    QCOMPARE(s().fileName(), h->path(QStringLiteral("other.xml")));
    QVERIFY(s().history().isEmpty());
    QCOMPARE(s().rows()->rowCount(), 0);
}

void TestSession::valueWithHashIsADocumentEvenIfItBeginsWithId()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id7"));
    QVERIFY(h->follow(QStringLiteral("to idx")).isEmpty());
    QCOMPARE(s().fileName(), h->path(QStringLiteral("idx.xml")));
    QCOMPARE(s().entity(), QStringLiteral("material id21"));
    QCOMPARE(s().history().entries(), QStringList{h->path(QStringLiteral("main.xml#id7"))});
}

void TestSession::missingSameDocumentTarget()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id7"));
    const EditorSession::Reports r = h->follow(QStringLiteral("to same"));
    QCOMPARE(outcomes(r), QStringList{"RowInstanceNotFound"});
    QCOMPARE(r[0].detail, QStringLiteral("id404"));
    QCOMPARE(s().entity(), QStringLiteral("link_test id7"));
    QCOMPARE(s().shownInstance(), h->instance(QStringLiteral("id7")));
    QVERIFY(s().history().isEmpty());
    QVERIFY(!s().backEnabled());
}

void TestSession::jumpWithNothingShownRecordsNothing()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by href/material")).isEmpty());
    QCOMPARE(s().entity(), QStringLiteral("material id21"));
    QVERIFY(s().history().isEmpty());
    QVERIFY(!s().backEnabled());
}

void TestSession::backReturnsToAnElementByItsPath_data()
{
    QTest::addColumn<QString>("node"); // ARM view: an element no instance lookup finds
    QTest::addColumn<QString>("path"); // the entry's path
    QTest::addColumn<QString>("jumpedTo");
    QTest::newRow("into another file") << "arm/PART/FOREIGN" << "/uos[1]/arm[1]/PART[1]/FOREIGN[1]/material[1]"
                                       << "other.xml";
    QTest::newRow("within the file") << "arm/PART/HAS ATTR" << "/uos[1]/arm[1]/PART[1]/HAS_ATTR[1]/product[1]"
                                     << "main.xml";
}

void TestSession::backReturnsToAnElementByItsPath()
{
    QFETCH(QString, node);
    QFETCH(QString, path);
    QFETCH(QString, jumpedTo);
    QVERIFY(h->open(QStringLiteral("main.xml"), 0));
    QVERIFY(h->select(node).isEmpty());
    const QStringList rows = h->rows(1);
    QVERIFY(h->follow(h->rows(0).value(0)).isEmpty());
    QCOMPARE(QFileInfo(s().fileName()).fileName(), jumpedTo);
    QCOMPARE(s().history().entries(), QStringList{h->path(QStringLiteral("main.xml")) + "##" + path});
    QVERIFY(s().backEnabled());
    QVERIFY(h->back().isEmpty());
    QCOMPARE(QFileInfo(s().fileName()).fileName(), QStringLiteral("main.xml"));
    QCOMPARE(h->rows(1), rows);
    QCOMPARE(NameToCaption(s().shownInstance().parentNode().nodeName()), node.section(QLatin1Char('/'), -1));
    QVERIFY(!s().backEnabled());
}

void TestSession::navigationRevealsTheShownNode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("node"); // captions, or "#id" for an instance node; "" for none
    QTest::newRow("same-file row") << 2 << "follow of shape" << "#id5";
    QTest::newRow("into another file") << 2 << "follow made from" << "lib/aim-instances/material";
    QTest::newRow("back") << 2 << "back" << "#id1";
    QTest::newRow("find instance") << 2 << "find" << "#id2";
    QTest::newRow("no node in the ARM view") << 0 << "find" << "";
    QTest::newRow("ARM view, back by path") << 0 << "arm back" << "arm/PART/FOREIGN";
}

// After a jump, Back or Find Instance the session names the tree node of what it shows.
void TestSession::navigationRevealsTheShownNode()
{
    QFETCH(int, mode);
    QFETCH(QString, operation);
    QFETCH(QString, node);
    QVERIFY(h->open(QStringLiteral("main.xml"), mode));
    QSignalSpy navigated(&s(), &EditorSession::navigated);
    if (operation.startsWith(QLatin1String("follow"))) {
        show(QStringLiteral("id1"));
        QVERIFY(h->follow(operation.mid(7)).isEmpty());
    } else if (operation == QLatin1String("back")) {
        show(QStringLiteral("id1"));
        QVERIFY(h->follow(QStringLiteral("of shape")).isEmpty());
        QVERIFY(h->back().isEmpty());
    } else if (operation == QLatin1String("find")) {
        QVERIFY(s().showInstance({}, QStringLiteral("id2")).isEmpty());
    } else {
        QVERIFY(h->select(QStringLiteral("arm/PART/FOREIGN")).isEmpty());
        QVERIFY(h->follow(QStringLiteral("material")).isEmpty());
        QVERIFY(h->back().isEmpty());
    }
    settle();
    const int expected = node.isEmpty()        ? 0
                         : node.startsWith('#') ? h->instanceNode(node.mid(1))
                                                : h->node(node);
    QVERIFY(node.isEmpty() || expected > 0);
    QVERIFY(!navigated.isEmpty());
    QCOMPARE(navigated.last().at(0).toInt(), expected);
}

void TestSession::backStaysWhenTheDocumentLeftCannotBeSaved()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    h->follow(QStringLiteral("made from"));
    QVERIFY(s().shownInstance().firstChild().setText(QStringLiteral("S690"))); // Back must save it
    blockFile("other.xml");
    const EditorSession::Reports r = h->back();
    QCOMPARE(outcomes(r), QStringList{"SaveFailed"});
    QCOMPARE(r[0].file, QStringLiteral("other.xml"));
    QCOMPARE(s().fileName(), h->path(QStringLiteral("other.xml")));
    QCOMPARE(s().entity(), QStringLiteral("material id21"));
    QCOMPARE(s().history().position(), 0);
    QVERIFY(s().isModified());
}

void TestSession::jumpStaysWhenTheDocumentLeftCannotBeSaved_data()
{
    QTest::addColumn<bool>("fromTree");
    QTest::newRow("href row") << false;
    QTest::newRow("href tree node") << true;
}

void TestSession::jumpStaysWhenTheDocumentLeftCannotBeSaved()
{
    QFETCH(bool, fromTree);
    QVERIFY(h->open(QStringLiteral("main.xml"), fromTree ? 1 : 2));
    if (fromTree)
        QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    else
        show(QStringLiteral("id1"));
    const XmlNode shown = s().shownInstance();
    // An edit that exists in memory only.
    s().commitEdit(h->row(QStringLiteral("name")), QStringLiteral("Rotor"));
    blockFile("main.xml");
    const QStringList rowsBefore = h->rows(1);

    const EditorSession::Reports r =
        fromTree ? h->select(QStringLiteral("mapping/by href/material")) : h->follow(QStringLiteral("made from"));
    QCOMPARE(outcomes(r), QStringList{"SaveFailed"});
    QVERIFY(h->late.isEmpty());
    QCOMPARE(s().fileName(), h->path(QStringLiteral("main.xml")));
    QVERIFY(!s().pendingSelect());
    QCOMPARE(s().shownInstance(), shown);
    QVERIFY(shown.belongsTo(s().document()));
    QCOMPARE(shown.selectSingleNode(QStringLiteral("name")).text(), QStringLiteral("Rotor"));
    QCOMPARE(s().entity(), QStringLiteral("product id1"));
    QCOMPARE(h->rows(1), rowsBefore);
    QVERIFY(s().listVisible());
    QVERIFY(s().history().isEmpty());
}

void TestSession::openingAnotherDocumentClearsTheList()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    QVERIFY(s().open(h->path(QStringLiteral("other.xml"))));
    settle();
    QVERIFY(!s().shownInstance());
    QCOMPARE(s().rows()->rowCount(), 0);
    QVERIFY(!s().listVisible());
    QCOMPARE(s().entity(), QString());
}

void TestSession::browsingWithoutEditsWritesNothing()
{
    // Files stamped long ago: any write would give them a new time.
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6));
    for (const char *name : {"main.xml", "other.xml"}) {
        QFile f(h->path(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    h->follow(QStringLiteral("made from")); // into other.xml
    QCOMPARE(s().fileName(), h->path(QStringLiteral("other.xml")));
    QVERIFY(s().setViewMode(1).isEmpty());
    QVERIFY(s().setViewMode(2).isEmpty());
    QVERIFY(h->back().isEmpty());
    QCOMPARE(s().fileName(), h->path(QStringLiteral("main.xml")));
    QVERIFY(s().save());
    for (const char *name : {"main.xml", "other.xml"})
        QCOMPARE(QFileInfo(h->path(QLatin1String(name))).lastModified(), old);
}

// ---- Editing ------------------------------------------------------------------------------

void TestSession::commitStoresIntoRowAndElement()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    QSignalSpy changed(s().rows(), &QAbstractItemModel::dataChanged);
    s().commitEdit(0, QStringLiteral("Spindle"));
    QCOMPARE(h->rows(1).value(0), QStringLiteral("Spindle"));
    QCOMPARE(h->instance(QStringLiteral("id1")).selectSingleNode(QStringLiteral("name")).text(),
             QStringLiteral("Spindle"));
    QCOMPARE(changed.size(), 1);
    // A row that is not there changes nothing.
    s().commitEdit(99, QStringLiteral("x"));
    s().commitEdit(-1, QStringLiteral("x"));
    QCOMPARE(changed.size(), 1);
}

void TestSession::commitOnTheSecondOfTwoSameNamedRows()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    s().commitEdit(7, QStringLiteral("deux")); // the second "alias"
    const QList<XmlNode> aliases = h->instance(QStringLiteral("id1")).selectNodes(QStringLiteral("alias"));
    QCOMPARE(aliases.size(), 2);
    QCOMPARE(aliases[0].text(), QStringLiteral("one"));
    QCOMPARE(aliases[1].text(), QStringLiteral("deux"));
    QCOMPARE(h->rows(1).mid(6, 2), (QStringList{"one", "deux"}));
}

void TestSession::commitReplacesSubElements()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    s().commitEdit(3, QStringLiteral("plain")); // note: "mixed <b>bold</b> text"
    const XmlNode note = h->instance(QStringLiteral("id1")).selectSingleNode(QStringLiteral("note"));
    QCOMPARE(note.childNodes().size(), 1);
    QCOMPARE(note.firstChild().nodeType(), int(XmlNode::Text));
    QCOMPARE(note.text(), QStringLiteral("plain"));
}

void TestSession::modifiedFollowsCommitsSavesAndLoads()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    QSignalSpy spy(&s(), &EditorSession::modifiedChanged);
    const QString path = h->path(QStringLiteral("main.xml"));
    const QByteArray before = readAll(path);
    s().commitEdit(0, QStringLiteral("Shaft")); // the value it had: nothing changed
    QVERIFY(!s().isModified());
    QVERIFY(spy.isEmpty());
    QVERIFY(s().save());
    QCOMPARE(readAll(path), before);

    s().commitEdit(0, QStringLiteral("Spindle"));
    QVERIFY(s().isModified());
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(readAll(path), before); // nothing written until a save

    QVERIFY(s().save());
    QVERIFY(!s().isModified());
    QCOMPARE(spy.size(), 2);
    QCOMPARE(readAll(path), QByteArray(before).replace("<name>Shaft</name>", "<name>Spindle</name>"));

    s().commitEdit(0, QStringLiteral("Axle"));
    QVERIFY(s().open(path)); // a load drops the edit and the mark
    QVERIFY(!s().isModified());
    QCOMPARE(spy.size(), 4);
}

// ---- Loading ------------------------------------------------------------------------------

void TestSession::userPathsResolveAgainstTheWorkingFolder()
{
    // A name the user gives is read from the working folder, never next to the document shown.
    QTemporaryDir elsewhere;
    writeAll(elsewhere.filePath(QStringLiteral("other.xml")), "<uos><decoy/></uos>");
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    const bool decoy = s().open(QStringLiteral("other.xml"));
    settle();
    QFile::remove(elsewhere.filePath(QStringLiteral("other.xml")));
    const bool none = s().open(QStringLiteral("other.xml"));
    QDir::setCurrent(cwd);
    QVERIFY(decoy);
    QVERIFY(h->node(QStringLiteral("decoy")));
    QVERIFY(!none);
}

void TestSession::loadRunsTheEventLoopAndCanBeCancelled()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    XmlDocument *before = s().document();
    const QString big = h->path(QStringLiteral("big.xml"));
    writeSlowDocument(big);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(0);
    QVERIFY(s().open(big)); // the parse runs beside the event loop
    ticker.stop();
    QVERIFY(ticks > 0);
    settle();
    QCOMPARE(s().fileName(), big);

    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    before = s().document();
    QTimer::singleShot(0, [this] { s().cancelLoad(); });
    QVERIFY(!s().open(big));
    QVERIFY(s().lastError().isEmpty()); // cancelled: no error to tell
    settle();
    QCOMPARE(s().document(), before);
    QCOMPARE(s().fileName(), h->path(QStringLiteral("main.xml")));
    QVERIFY(!s().isLoading());
    QVERIFY(s().open(big)); // a cancelled load leaves nothing behind
    settle();
}

void TestSession::failedLoadKeepsThePreviousDocument()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    XmlDocument *before = s().document();
    QSignalSpy busy(&s(), &EditorSession::busyChanged);
    QVERIFY(!s().open(h->path(QStringLiteral("missing.xml"))));
    QVERIFY(!s().open(QStringLiteral("missing.xml")));
    settle();
    QCOMPARE(busy.size(), 4); // shown and hidden again each time
    QCOMPARE(busy.last().at(0).toBool(), false);
    QCOMPARE(s().document(), before);
    QCOMPARE(s().fileName(), h->path(QStringLiteral("main.xml")));
    QCOMPARE(s().entity(), QStringLiteral("product id1"));
    QVERIFY(s().lastError().contains(QStringLiteral("missing.xml")));
}

void TestSession::malformedFileFailsWithAReason()
{
    const QString bad = h->path(QStringLiteral("bad.xml"));
    writeAll(bad, "<?xml version=\"1.0\"?>\n<uos>\n  <a>\n</uos>\n");
    QVERIFY(!s().open(bad));
    QVERIFY2(s().lastError().contains(QStringLiteral("line 4")), qPrintable(s().lastError()));
    QVERIFY(s().lastError().contains(QStringLiteral("bad.xml")));
    QVERIFY(!s().document());
}

// ---- View switches and saving -------------------------------------------------------------

void TestSession::viewModeIgnoresSameAndOutOfRange()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 0));
    XmlDocument *doc = s().document();
    QFile::remove(h->path(QStringLiteral("main.xml"))); // any save would bring it back
    QSignalSpy rebuilt(&s(), &EditorSession::treeRebuilt);
    for (int mode : {0, 3, -1}) {
        QVERIFY(s().setViewMode(mode).isEmpty());
        QCOMPARE(s().viewMode(), 0);
    }
    QVERIFY(!QFile::exists(h->path(QStringLiteral("main.xml"))));
    QCOMPARE(s().document(), doc);
    QVERIFY(rebuilt.isEmpty());
}

void TestSession::viewModeBeforeLoadOnlyStoresTheMode()
{
    QSignalSpy rebuilt(&s(), &EditorSession::treeRebuilt);
    QVERIFY(s().setViewMode(2).isEmpty());
    QVERIFY(!s().document());
    QVERIFY(rebuilt.isEmpty());
    QVERIFY(s().open(h->path(QStringLiteral("main.xml"))));
    settle();
    // aim-instances, shown only in the AIM view
    QVERIFY(h->node(QStringLiteral("aim/aim-instances")));
}

void TestSession::viewSwitchWritesNothing_data()
{
    QTest::addColumn<bool>("edited");
    QTest::addColumn<bool>("writable");
    QTest::newRow("edited") << true << true;
    QTest::newRow("edited, file not writable") << true << false;
    QTest::newRow("unedited") << false << true;
}

// The tree is built anew from memory: nothing is written, Modified stays, the instance stays.
void TestSession::viewSwitchWritesNothing()
{
    QFETCH(bool, edited);
    QFETCH(bool, writable);
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id5"));
    if (edited)
        s().commitEdit(0, QStringLiteral("cm"));
    const QByteArray onDisk = readAll(h->path(QStringLiteral("main.xml")));
    if (!writable)
        blockFile("main.xml");
    XmlDocument *before = s().document();
    QSignalSpy written(&s(), &EditorSession::writingChanged);
    QVERIFY(s().setViewMode(1).isEmpty());
    settle();
    QVERIFY(written.isEmpty());
    if (writable)
        QCOMPARE(readAll(h->path(QStringLiteral("main.xml"))), onDisk);
    QCOMPARE(s().document(), before);
    QCOMPARE(s().isModified(), edited);
    const TreeModel *tree = s().treeModel();
    QCOMPARE(tree->rowCount(findNode(tree, QStringLiteral("mapping"))), 9);
    QCOMPARE(tree->rowCount(findNode(tree, QStringLiteral("aim"))), 0);
    QCOMPARE(s().entity(), QStringLiteral("shape id5"));
    QCOMPARE(h->instance(QStringLiteral("id5")).selectSingleNode(QStringLiteral("units")).text(),
             edited ? QStringLiteral("cm") : QStringLiteral("mm"));
}

void TestSession::failedSaveReportsAndKeepsTheEdits()
{
    QVERIFY(!s().save()); // nothing loaded: nothing written, nothing told
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    h->instance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Lid"));
    const QByteArray original = readAll(h->path(QStringLiteral("main.xml")));
    QDir(h->dir.path()).rename(QStringLiteral("main.xml"), QStringLiteral("kept.xml"));
    QVERIFY(QDir(h->dir.path()).mkdir(QStringLiteral("main.xml")));
    letSavesOverwrite();
    EditorSession::Reports r;
    QVERIFY(!s().save(&r));
    QCOMPARE(outcomes(r), QStringList{"SaveFailed"});
    QCOMPARE(r[0].file, QStringLiteral("main.xml"));
    QVERIFY(r[0].detail.contains(QStringLiteral("is not a regular file")));
    QVERIFY(s().lastError().contains(QStringLiteral("main.xml")));
    QCOMPARE(readAll(h->path(QStringLiteral("kept.xml"))), original);
    QVERIFY(s().isModified()); // the edit is still there to be saved elsewhere
}

void TestSession::saveAsMovesTheDocument()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/by ref/product")).isEmpty());
    s().commitEdit(0, QStringLiteral("Spindle"));
    QSignalSpy address(&s(), &EditorSession::addressChanged);
    const QString copy = h->path(QStringLiteral("copy.xml"));
    QVERIFY(s().saveAs(copy));
    QCOMPARE(s().fileName(), copy);
    QCOMPARE(address.last().at(0).toString(), copy);
    QVERIFY(readAll(copy).contains("<name>Spindle</name>"));
    QVERIFY(!readAll(h->path(QStringLiteral("main.xml"))).contains("Spindle"));
    // Reading the new file again keeps the instance on show.
    QVERIFY(s().open(copy));
    settle();
    QCOMPARE(s().entity(), QStringLiteral("product id1"));
    QVERIFY(s().shownInstance().belongsTo(s().document()));
}

void TestSession::fileChangedOnDiskIsWrittenOverOnlyWhenTheUserSays_data()
{
    using A = EditorSession::Answer;
    QTest::addColumn<QString>("operation"); // on an edit of the instance shown (in main.xml but for Back)
    QTest::addColumn<QString>("change"); // what another program does to the file meanwhile
    QTest::addColumn<QList<A>>("answers"); // as many as questions are to come
    QTest::addColumn<QString>("onDisk"); // the value in the file afterwards
    QTest::addColumn<QString>("inMemory"); // in the document shown, when it is that file's
    QTest::addColumn<QString>("shown"); // the file shown afterwards
    const auto row = [](const char *name, const char *op, const char *change, QList<A> answers, const char *disk,
                        const char *memory, const char *shown) {
        QTest::newRow(name) << QString::fromLatin1(op) << QString::fromLatin1(change) << answers
                            << QString::fromLatin1(disk) << QString::fromLatin1(memory) << QString::fromLatin1(shown);
    };
    row("save, cancel", "save", "replaced", {A::Cancel}, "theirs", "ours", "main.xml");
    row("save, overwrite", "save", "rewritten", {A::Overwrite}, "ours", "ours", "main.xml");
    row("save, overwrite a removed file", "save", "removed", {A::Overwrite}, "ours", "ours", "main.xml");
    row("save, reload", "save", "replaced", {A::Reload, A::Reload}, "theirs", "theirs", "main.xml");
    row("save, reload, keep the edits", "save", "replaced", {A::Reload, A::Cancel}, "theirs", "ours", "main.xml");
    row("jump, cancel", "jump", "replaced", {A::Cancel}, "theirs", "ours", "main.xml");
    row("jump, overwrite", "jump", "rewritten", {A::Overwrite}, "ours", "", "other.xml");
    row("back, reload", "back", "replaced", {A::Reload, A::Reload}, "theirs", "theirs", "other.xml");
    row("back, overwrite", "back", "rewritten", {A::Overwrite}, "ours", "", "main.xml");
    row("view, cancel", "view", "replaced", {A::Cancel}, "theirs", "ours", "main.xml");
    row("focus, overwrite", "focus", "replaced", {A::Overwrite}, "ours", "ours", "main.xml");
    row("focus, cancel: asked once", "focus", "rewritten", {A::Cancel}, "theirs", "ours", "main.xml");
    row("focus without edits: read again", "unedited", "replaced", {}, "theirs", "theirs", "main.xml");
}

void TestSession::fileChangedOnDiskIsWrittenOverOnlyWhenTheUserSays()
{
    QFETCH(QString, operation);
    QFETCH(QString, change);
    QFETCH(QList<EditorSession::Answer>, answers);
    QFETCH(QString, onDisk);
    QFETCH(QString, inMemory);
    QFETCH(QString, shown);
    QList<EditorSession::Question> questions;
    s().setAsker([&](EditorSession::Question q, const QString &file) {
        questions << q;
        const bool right = file == QFileInfo(s().fileName()).fileName() && questions.size() <= answers.size();
        return right ? answers[questions.size() - 1] : EditorSession::Answer::Cancel;
    });
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    if (operation == QLatin1String("back"))
        QVERIFY(h->follow(QStringLiteral("made from")).isEmpty());
    const QString file = s().fileName(), id = h->shownId();
    const QString before = s().shownInstance().firstChild().text(); // Shaft, or S355 after the jump
    if (operation != QLatin1String("unedited"))
        QVERIFY(s().shownInstance().firstChild().setText(QStringLiteral("ours")));
    const QByteArray theirs = readAll(file).replace('>' + before.toUtf8() + '<', ">theirs<");
    if (change != QLatin1String("rewritten"))
        QVERIFY(QFile::remove(file)); // replaced: by a file of its own
    if (change != QLatin1String("removed"))
        writeAll(file, theirs);

    if (operation == QLatin1String("save"))
        s().save();
    else if (operation == QLatin1String("jump"))
        h->follow(QStringLiteral("made from"));
    else if (operation == QLatin1String("back"))
        h->back();
    else if (operation == QLatin1String("view"))
        s().setViewMode(1);
    for (int focus = 0; focus < 2; ++focus) { // the window gets the focus back, twice
        s().checkFileOnDisk();
        settle();
    }
    QCOMPARE(questions.size(), answers.size());
    for (int i = 0; i < questions.size(); ++i)
        QCOMPARE(questions[i], i == 0 ? EditorSession::Question::ChangedOnDisk : EditorSession::Question::DropEdits);
    QVERIFY(readAll(file).contains('>' + onDisk.toUtf8() + '<'));
    QCOMPARE(QFileInfo(s().fileName()).fileName(), shown);
    if (!inMemory.isEmpty()) {
        QCOMPARE(h->instance(id).firstChild().text(), inMemory);
        QCOMPARE(s().isModified(), inMemory != onDisk);
        QCOMPARE(h->shownId(), id); // read again or not, the same instance stays on show
        QVERIFY(s().shownInstance().belongsTo(s().document()));
    }
}

void TestSession::shownInstanceChangedOncePerChange_data()
{
    QTest::addColumn<QString>("operation"); // with instance id1 of main.xml on show (AIM view)
    QTest::addColumn<int>("expected"); // shownInstanceChanged() sent
    QTest::newRow("load") << "load" << 1;
    QTest::newRow("select another") << "select id5" << 1;
    QTest::newRow("select the same") << "select id1" << 0;
    QTest::newRow("node with children") << "select parent" << 1;
    QTest::newRow("jump into another file") << "follow" << 1;
    QTest::newRow("find in the document") << "find id5" << 1;
    QTest::newRow("find nothing") << "find nowhere" << 0;
    QTest::newRow("back") << "back" << 1;
    QTest::newRow("view switch") << "view" << 0;
    QTest::newRow("undo showing another") << "undo elsewhere" << 1;
    QTest::newRow("undo on show") << "undo" << 0;
    QTest::newRow("reload") << "reload" << 1;
}

void TestSession::shownInstanceChangedOncePerChange()
{
    QFETCH(QString, operation);
    QFETCH(int, expected);
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    show(QStringLiteral("id1"));
    if (operation == QLatin1String("back"))
        QVERIFY(h->follow(QStringLiteral("made from")).isEmpty());
    if (operation.startsWith(QLatin1String("undo")))
        s().commitEdit(0, QStringLiteral("Edited"));
    if (operation == QLatin1String("undo elsewhere"))
        show(QStringLiteral("id5"));
    const QString file = s().fileName();
    QSignalSpy changed(&s(), &EditorSession::shownInstanceChanged);
    const QString arg = operation.section(QLatin1Char(' '), 1);
    if (operation == QLatin1String("load"))
        QVERIFY(h->open(QStringLiteral("other.xml"), 2));
    else if (operation == QLatin1String("select parent"))
        QVERIFY(h->select(QStringLiteral("aim/aim-instances")).isEmpty());
    else if (operation.startsWith(QLatin1String("select")))
        QVERIFY(s().selectNode(h->instanceNode(arg)).isEmpty());
    else if (operation == QLatin1String("follow"))
        QVERIFY(h->follow(QStringLiteral("made from")).isEmpty());
    else if (operation.startsWith(QLatin1String("find")))
        s().showInstance({}, arg);
    else if (operation == QLatin1String("back"))
        QVERIFY(h->back().isEmpty());
    else if (operation == QLatin1String("view"))
        QVERIFY(s().setViewMode(1).isEmpty());
    else if (operation.startsWith(QLatin1String("undo")))
        s().undoStack()->undo();
    else if (operation == QLatin1String("reload")) {
        writeAll(file, readAll(file) + '\n'); // another program changes the file
        s().checkFileOnDisk();
    }
    settle();
    QCOMPARE(changed.count(), expected);
}

// Check References reads the document on a worker while the event loop runs: a change of the
// file on disk found meanwhile is taken up only once the check is done. The folder's other
// files are read the same way.
void TestSession::workBesideTheWindow()
{
    QVERIFY(s().checkReferences().isEmpty()); // nothing loaded
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    const QString file = s().fileName();
    writeAll(file,
             readAll(file).replace("</aim-instances>", "<x id=\"x1\"><y><z ref=\"nope\"/></y></x></aim-instances>"));
    QVERIFY(s().checkFileOnDisk().isEmpty()); // read again, unedited
    XmlDocument *const checked = s().document();
    const QList<Finding> direct = ReferenceCheck::check({checked});
    QVERIFY(!direct.isEmpty());
    QList<bool> states;
    XmlDocument *during = nullptr;
    connect(&s(), &EditorSession::workingChanged, this, [&](bool on) {
        states << on;
        if (!on)
            return;
        writeAll(file, readAll(file) + '\n'); // another program changes the file meanwhile
        s().checkFileOnDisk();
        during = s().document();
    });
    QCOMPARE(s().checkReferences(), direct);
    QCOMPARE(states, (QList<bool>{true, false}));
    QCOMPARE(during, checked);
    s().checkFileOnDisk(); // taken up now
    QVERIFY(s().document() != checked);
    // Read once, and not again while they stay as they are.
    const ReferenceIndex *index = s().referenceIndex();
    QCOMPARE(index->folderFilesToRead(*s().document()).size(), 2); // other.xml, idx.xml
    states.clear();
    s().readFolderBeside();
    QCOMPARE(states, (QList<bool>{true, false}));
    QVERIFY(index->folderFilesToRead(*s().document()).isEmpty());
    s().readFolderBeside();
    QCOMPARE(states.size(), 2);
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
