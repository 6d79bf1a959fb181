// The reverse of references: which instances refer to an instance, in its document and in the
// other files of its folder, and that edits and re-pointed links are seen at once; the list of
// Check References' findings by kind.
#include "session/editorsession.h"
#include "refs/refindex.h"
#include "session/refmodels.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace quillon;
using namespace testsupport;

namespace {

// "element id: property" of each referrer, and the file name where asked.
QStringList describe(const QList<Referrer> &list, bool withFile = false)
{
    QStringList out;
    for (const Referrer &r : list)
        out << (withFile ? QFileInfo(r.file).fileName() + QLatin1Char(' ') : QString()) + r.element + QLatin1Char(' ') +
                   r.id + QStringLiteral(": ") + r.property;
    return out;
}

} // namespace

class TestRefIndex : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void referrersInTheDocument_data();
    void referrersInTheDocument();
    void hrefNamingTheFileByPathCounts();
    void otherFilesOfTheFolder_data();
    void otherFilesOfTheFolder();
    void aFileChangedOnDiskIsReadAgain();
    void committedEditIsSeen();
    void editLinkMovesTheReferrer_data();
    void editLinkMovesTheReferrer();
    void anotherDocumentIsIndexedAnew();
    void builtInParts_data();
    void builtInParts();
    void listWaitsForTheIndex_data();
    void listWaitsForTheIndex();
    void hiddenListShowsNothingOfAnOlderState();
    void anEmptyListSaysSo_data();
    void anEmptyListSaysSo();
    void findingsGroupedByKind_data();
    void findingsGroupedByKind();

private:
    SessionHarness *h = nullptr;
    ReferenceIndex index;
    // Shows instance id of main.xml in the AIM view.
    void show(const QString &id)
    {
        QVERIFY(h->session.selectNode(h->instanceNode(id)).isEmpty());
        QCOMPARE(h->shownId(), id);
    }
};

void TestRefIndex::init()
{
    h = new SessionHarness(
        {QStringLiteral("refs/main.xml"), QStringLiteral("refs/part.xml"), QStringLiteral("refs/note.xml")});
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
}

void TestRefIndex::cleanup()
{
    index.clear();
    delete h;
    h = nullptr;
}

void TestRefIndex::referrersInTheDocument_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QStringList>("expected");
    // The mapping section's ref to id1 belongs to no instance: it is not listed.
    QTest::newRow("refs only") << "id1" << QStringList{"assembly id3: made from", "drawing id4: depicts"};
    // An href to this very file counts as a ref; a reference below the property's first
    // child counts too.
    QTest::newRow("ref, own href, nested")
        << "id2" << QStringList{"product id1: of shape", "assembly id3: also shaped", "drawing id4: depicts"};
    QTest::newRow("nobody") << "id3" << QStringList{};
    QTest::newRow("an id of another file") << "p1" << QStringList{};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestRefIndex::referrersInTheDocument()
{
    QFETCH(QString, id);
    QFETCH(QStringList, expected);
    QCOMPARE(describe(index.referrers(*h->doc(), id)), expected);
    // Asked again, from the index as built.
    QCOMPARE(describe(index.referrers(*h->doc(), id)), expected);
    for (const Referrer &r : index.referrers(*h->doc(), id))
        QCOMPARE(r.file, h->path(QStringLiteral("main.xml")));
    // Read row by row, as the tab's list reads it.
    const ReferrerList list = index.referrerList(*h->doc(), id);
    QList<Referrer> rows;
    for (qsizetype i = 0; i < list.size(); ++i)
        rows << list.at(i);
    QCOMPARE(describe(rows), expected);
}

void TestRefIndex::hrefNamingTheFileByPathCounts()
{
    writeAll(h->path(QStringLiteral("self.xml")),
             "<uos><aim><aim-instances><a id=\"a1\"><x><b href=\"" + h->path(QStringLiteral("self.xml")).toUtf8() +
                 "#a2\"/></x></a><a id=\"a2\"><y><b href=\"./self.xml#a1\"/></y><z><b href=\"other/self.xml#a1\"/>"
                 "</z></a></aim-instances></aim></uos>");
    QVERIFY(h->open(QStringLiteral("self.xml"), 2));
    QCOMPARE(describe(index.referrers(*h->doc(), QStringLiteral("a2"))), QStringList{"a a1: x"});
    // "./self.xml" is the same file; "other/self.xml" is not.
    QCOMPARE(describe(index.referrers(*h->doc(), QStringLiteral("a1"))), QStringList{"a a2: y"});
}

void TestRefIndex::otherFilesOfTheFolder_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QStringList>("expected");
    // part.xml's href to elsewhere.xml#id1 names another file.
    QTest::newRow("two files") << "id1" << QStringList{"note.xml note n1: about", "part.xml part p1: of product"};
    QTest::newRow("one file") << "id2" << QStringList{"part.xml part p2: of shape"};
    QTest::newRow("nobody") << "id4" << QStringList{};
}

void TestRefIndex::otherFilesOfTheFolder()
{
    QFETCH(QString, id);
    QFETCH(QStringList, expected);
    // A file that is not XML, and one that cannot be parsed, are passed over.
    writeAll(h->path(QStringLiteral("broken.xml")), "<uos><aim>");
    writeAll(h->path(QStringLiteral("notes.txt")), "<uos/>");
    QCOMPARE(describe(index.referrersInFolder(*h->doc(), id), true), expected);
    // The document's own hrefs to itself are not counted twice.
    for (const Referrer &r : index.referrersInFolder(*h->doc(), id))
        QVERIFY(!r.file.endsWith(QStringLiteral("/main.xml")));
}

void TestRefIndex::aFileChangedOnDiskIsReadAgain()
{
    QCOMPARE(describe(index.referrersInFolder(*h->doc(), QStringLiteral("id1")), true),
             (QStringList{"note.xml note n1: about", "part.xml part p1: of product"}));
    writeAll(h->path(QStringLiteral("note.xml")),
             "<uos><aim><aim-instances><note id=\"n9\"><about><p href=\"main.xml#id3\"/></about></note>"
             "</aim-instances></aim></uos>");
    QCOMPARE(describe(index.referrersInFolder(*h->doc(), QStringLiteral("id1")), true),
             QStringList{"part.xml part p1: of product"});
    QCOMPARE(describe(index.referrersInFolder(*h->doc(), QStringLiteral("id3")), true),
             QStringList{"note.xml note n9: about"});
}

void TestRefIndex::committedEditIsSeen()
{
    QCOMPARE(index.referrers(*h->doc(), QStringLiteral("id1")).size(), 2);
    QVERIFY(index.isCurrentFor(*h->doc()));
    const ReferrerList before = index.referrerList(*h->doc(), QStringLiteral("id1"));
    QVERIFY(before.isCurrentFor(*h->doc()));
    show(QStringLiteral("id1"));
    h->session.commitEdit(h->row(QStringLiteral("name")), QStringLiteral("Nut"));
    QVERIFY(!index.isCurrentFor(*h->doc()));
    QVERIFY(!before.isCurrentFor(*h->doc()));
    QCOMPARE(describe(index.referrers(*h->doc(), QStringLiteral("id1"))),
             (QStringList{"assembly id3: made from", "drawing id4: depicts"}));
    QVERIFY(index.isCurrentFor(*h->doc()));
}

void TestRefIndex::editLinkMovesTheReferrer_data()
{
    QTest::addColumn<QString>("document"); // "" for this one
    QTest::addColumn<QStringList>("id2");
    QTest::newRow("ref within the document") << ""
                                             << QStringList{"product id1: of shape", "assembly id3: made from",
                                                            "assembly id3: also shaped", "drawing id4: depicts"};
    // Into another file: the new href is no referrer of this document's id2.
    QTest::newRow("href into another file")
        << "part.xml" << QStringList{"product id1: of shape", "assembly id3: also shaped", "drawing id4: depicts"};
}

void TestRefIndex::editLinkMovesTheReferrer()
{
    QFETCH(QString, document);
    QFETCH(QStringList, id2);
    QCOMPARE(describe(index.referrers(*h->doc(), QStringLiteral("id1"))),
             (QStringList{"assembly id3: made from", "drawing id4: depicts"}));
    show(QStringLiteral("id3"));
    const QString target = h->path(document.isEmpty() ? QStringLiteral("main.xml") : document);
    QVERIFY(h->session.applyLink(h->row(QStringLiteral("made from")), target + QStringLiteral("#shape#id2")).isEmpty());
    QCOMPARE(describe(index.referrers(*h->doc(), QStringLiteral("id1"))), QStringList{"drawing id4: depicts"});
    QCOMPARE(describe(index.referrers(*h->doc(), QStringLiteral("id2"))), id2);
}

void TestRefIndex::anotherDocumentIsIndexedAnew()
{
    QCOMPARE(index.referrers(*h->doc(), QStringLiteral("id1")).size(), 2);
    QVERIFY(h->open(QStringLiteral("part.xml"), 2));
    QVERIFY(!index.isCurrentFor(*h->doc()));
    QCOMPARE(index.referrers(*h->doc(), QStringLiteral("id1")).size(), 0);
    QCOMPARE(describe(index.referrersInFolder(*h->doc(), QStringLiteral("p1")), true),
             QStringList{"main.xml assembly id3: far"});
}

void TestRefIndex::builtInParts_data()
{
    QTest::addColumn<int>("instancesAtOnce");
    QTest::addColumn<QString>("between"); // after the first part: "relink" id3's "made from" to id2, or "ask"
    QTest::addColumn<QStringList>("id1");
    const QStringList id1{"assembly id3: made from", "drawing id4: depicts"};
    QTest::newRow("one at a time") << 1 << "" << id1;
    QTest::newRow("all at once") << 100 << "" << id1;
    QTest::newRow("asked before the end") << 2 << "ask" << id1;
    // The first part passed id3: what it took of the state before must not stay.
    QTest::newRow("relinked after three") << 3 << "relink" << QStringList{"drawing id4: depicts"};
}

void TestRefIndex::builtInParts()
{
    QFETCH(int, instancesAtOnce);
    QFETCH(QString, between);
    QFETCH(QStringList, id1);
    show(QStringLiteral("id3"));
    // Even all instances at once leave the buckets to a call of their own.
    QVERIFY(!index.buildSome(*h->doc(), instancesAtOnce));
    QVERIFY(!index.isCurrentFor(*h->doc()));
    if (between == QLatin1String("relink"))
        QVERIFY(h->session
                    .applyLink(h->row(QStringLiteral("made from")),
                               h->path(QStringLiteral("main.xml")) + QStringLiteral("#shape#id2"))
                    .isEmpty());
    if (between == QLatin1String("ask"))
        QCOMPARE(describe(index.referrers(*h->doc(), QStringLiteral("id1"))), id1);
    for (int calls = 0; !index.buildSome(*h->doc(), instancesAtOnce); ++calls)
        QVERIFY(calls < 10);
    QVERIFY(index.isCurrentFor(*h->doc()));
    QCOMPARE(describe(index.referrers(*h->doc(), QStringLiteral("id1"))), id1);
    QCOMPARE(describe(index.referrers(*h->doc(), QStringLiteral("p1"))), QStringList{});
}

void TestRefIndex::listWaitsForTheIndex_data()
{
    QTest::addColumn<QString>("between"); // "edit" the name of id1, or "hide" the list for a while
    QTest::addColumn<bool>("otherFiles"); // searched too, read on a worker
    QTest::newRow("nothing") << "" << false;
    QTest::newRow("an edit") << "edit" << false;
    QTest::newRow("hidden") << "hide" << false;
    QTest::newRow("other files") << "" << true;
    QTest::newRow("other files, an edit") << "edit" << true;
    QTest::newRow("other files, hidden") << "hide" << true;
}

void TestRefIndex::listWaitsForTheIndex()
{
    QFETCH(QString, between);
    QFETCH(bool, otherFiles);
    ReferencedByModel model(&h->session);
    model.setStepTime(0); // each build takes steps
    model.setReadAtOnceBytes(0); // and other files are read on a worker
    model.setOtherFiles(otherFiles);
    model.setActive(true);
    show(QStringLiteral("id1"));
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.emptyText(), QString()); // no "No instance refers to" while it builds
    if (between == QLatin1String("edit"))
        h->session.commitEdit(h->row(QStringLiteral("name")), QStringLiteral("Nut"));
    if (between == QLatin1String("hide")) {
        model.setActive(false);
        QTest::qWait(20);
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!h->session.referenceIndex()->isCurrentFor(*h->doc())); // not built for nobody
        model.setActive(true);
    }
    QTRY_COMPARE(model.rowCount(), otherFiles ? 4 : 2);
    QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("id4"));
    QVERIFY(h->session.referenceIndex()->isCurrentFor(*h->doc()));
    if (otherFiles) {
        QCOMPARE(model.referrer(3).id, QStringLiteral("p1"));
        QVERIFY(h->session.referenceIndex()->folderFilesToRead(*h->doc()).isEmpty()); // kept
    }
}

void TestRefIndex::hiddenListShowsNothingOfAnOlderState()
{
    ReferencedByModel model(&h->session);
    model.setActive(true);
    show(QStringLiteral("id1"));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("id4"));
    // Hidden, the list is not asked anew on a change: its rows of the state before show nothing.
    model.setActive(false);
    h->session.commitEdit(h->row(QStringLiteral("name")), QStringLiteral("Nut"));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.referrer(1).id, QString());
    QCOMPARE(model.index(1, 1).data().toString(), QString());
    model.setActive(true);
    QCOMPARE(model.referrer(1).id, QStringLiteral("id4"));
    QCOMPARE(model.index(1, 2).data().toString(), QStringLiteral("depicts"));
}

void TestRefIndex::anEmptyListSaysSo_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("text");
    QTest::newRow("referred to") << "id1" << QString();
    QTest::newRow("nobody refers") << "id3"
                                   << "No instance refers to assembly id3.";
}

void TestRefIndex::anEmptyListSaysSo()
{
    QFETCH(QString, id);
    QFETCH(QString, text);
    ReferencedByModel model(&h->session);
    model.setActive(true);
    QCOMPARE(model.emptyText(), QString()); // no instance shown
    show(id);
    QCOMPARE(model.emptyText(), text);
}

void TestRefIndex::findingsGroupedByKind_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("groups");
    QTest::newRow("English") << "en_US" << QStringList{"ignored-element (2,345)", "unknown-ref (1)"};
    QTest::newRow("German") << "de_DE" << QStringList{"ignored-element (2.345)", "unknown-ref (1)"};
}

void TestRefIndex::findingsGroupedByKind()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, groups);
    const QLocale old;
    QLocale::setDefault(QLocale(locale));
    QList<Finding> findings;
    for (int i = 1; i <= 2345; ++i) {
        findings.append({QStringLiteral("a.xml"), i, 0, QStringLiteral("ignored-element"), {}, {}, {}});
        if (i == 2)
            findings.append(
                {QStringLiteral("a.xml"), 2, 0, QStringLiteral("unknown-ref"), QStringLiteral("x"), {}, {}});
    }
    FindingsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setFindings(findings);
    QStringList shown;
    for (int r = 0; r < model.rowCount(); ++r)
        shown << model.index(r, 0).data().toString();
    QLocale::setDefault(old);
    QCOMPARE(shown, groups);
    const QModelIndex group = model.groupOf(QStringLiteral("ignored-element"));
    QCOMPARE(model.rowCount(group), 2345);
    QCOMPARE(model.finding(model.index(2344, 1, group)).line, 2345);
    QCOMPARE(model.index(2344, 1, group).data().toInt(), 2345);
    QCOMPARE(model.finding(group), Finding());
}

QTEST_MAIN(TestRefIndex)
#include "tst_refindex.moc"
