// The tree of a document in the three views, built without a window.
#include "model/refs.h"
#include "session/treemodel.h"
#include "document/xmldocument.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace quillon;

namespace {

// The tree as indented lines "caption {tag}", one per node, in pre-order; with part > 0, the
// children of each node are made that many at a time first.
QStringList dump(const TreeStore &s, int part = 0)
{
    QStringList lines;
    std::function<void(int, int)> walk = [&](int node, int depth) {
        for (int calls = 0; part > 0 && !s.makeChildrenSome(node, part); ++calls)
            if (calls > 1000)
                return lines.append(QStringLiteral("endless"));
        for (int r = 0; r < s.childCount(node); ++r) {
            const int c = s.child(node, r);
            QString line = QString(depth * 2, QLatin1Char(' ')) + s.text(c);
            if (!s.tag(c).isEmpty())
                line += QStringLiteral(" {") + s.tag(c) + QLatin1Char('}');
            lines << line;
            walk(c, depth + 1);
        }
    };
    walk(0, 0);
    return lines;
}

} // namespace

class TestTreeStore : public QObject {
    Q_OBJECT
private slots:
    void viewsFollowTheirRules_data();
    void viewsFollowTheirRules();
    void everyNodeSelectsItsElementAgain_data();
    void everyNodeSelectsItsElementAgain();
    void emptyAndTextOnlyDocuments();
    void deepNestingDoesNotExhaustTheStack();
    void expandAllStopsAtItsLimits_data();
    void expandAllStopsAtItsLimits();
    void resolveTakesTheFirstMatchOfThePath();
    void childrenAreMadeWhenAskedFor();
    void childrenMadeInParts_data();
    void childrenMadeInParts();
    void instancesComeInSteps_data();
    void instancesComeInSteps();
    void modelPassesTheTester();
    void captionsAndNames();
    void instanceNodesCarryTheirIds_data();
    void instanceNodesCarryTheirIds();
    void leavesAreKnownWithoutLooking_data();
    void leavesAreKnownWithoutLooking();
};

void TestTreeStore::viewsFollowTheirRules_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("ARM") << 0
                         << QStringList{
                                QStringLiteral("header {/file_name}"),
                                QStringLiteral("SECTION A {/D[@id=\"d1\"]}"),
                                QStringLiteral("  A"),
                                QStringLiteral("    X"),
                                QStringLiteral("  B"),
                                QStringLiteral("data {/aim-instances}"),
                                QStringLiteral("trailing {/lower}"),
                                QStringLiteral("  X1"),
                                QStringLiteral("aim-instances {/top_level[@id=\"t1\"]}"),
                            };
    QTest::newRow("Mapping") << 1
                             << QStringList{
                                    QStringLiteral("header"),
                                    QStringLiteral("  file name"),
                                    QStringLiteral("SECTION A"),
                                    QStringLiteral("  A"),
                                    QStringLiteral("    X"),
                                    QStringLiteral("  B"),
                                    QStringLiteral("  c low {[@id=\"c1\"]}"),
                                    QStringLiteral("  D {[@id=\"d1\"]}"),
                                    QStringLiteral("data"),
                                    QStringLiteral("  item {[@id=\"i1\"]}"),
                                    QStringLiteral("    value"),
                                    QStringLiteral("trailing"),
                                    QStringLiteral("  X1"),
                                    QStringLiteral("  lower"),
                                    QStringLiteral("aim-instances"),
                                    QStringLiteral("  top level {[@id=\"t1\"]}"),
                                };
    QTest::newRow("AIM") << 2
                         << QStringList{
                                QStringLiteral("header"),
                                QStringLiteral("  file name"),
                                QStringLiteral("SECTION A"),
                                QStringLiteral("  c low {[@id=\"c1\"]}"),
                                QStringLiteral("data"),
                                QStringLiteral("  item {[@id=\"i1\"]}"),
                                QStringLiteral("    value"),
                                QStringLiteral("  aim-instances"),
                                QStringLiteral("    part {[@id=\"p1\"]}"),
                                QStringLiteral("trailing"),
                                QStringLiteral("  lower"),
                                QStringLiteral("aim-instances"),
                                QStringLiteral("  top level {[@id=\"t1\"]}"),
                            };
}

void TestTreeStore::viewsFollowTheirRules()
{
    QFETCH(int, mode);
    QFETCH(QStringList, expected);
    XmlDocument doc;
    QVERIFY2(doc.load(QStringLiteral(TEST_DATA_DIR "/tree/views.xml")), qPrintable(doc.errorString()));
    TreeStore store;
    store.build(doc.documentElement(), mode);
    QCOMPARE(dump(store), expected);
}

void TestTreeStore::everyNodeSelectsItsElementAgain_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("mode");
    // namespaces.xml: elements whose first attributes declare namespaces, which XPath does
    // not see as attributes.
    for (const char *file : {"views.xml", "namespaces.xml"}) {
        QTest::addRow("%s ARM", file) << QString::fromLatin1(file) << 0;
        QTest::addRow("%s Mapping", file) << QString::fromLatin1(file) << 1;
        QTest::addRow("%s AIM", file) << QString::fromLatin1(file) << 2;
    }
}

void TestTreeStore::everyNodeSelectsItsElementAgain()
{
    // "/uos/" + path + tag finds the node's element (or, in the ARM view with a step, the
    // element's last child): the contract node selection relies on.
    QFETCH(QString, file);
    QFETCH(int, mode);
    XmlDocument doc;
    QVERIFY(doc.load(QStringLiteral(TEST_DATA_DIR "/tree/") + file));
    TreeStore store;
    store.build(doc.documentElement(), mode);
    dump(store); // makes every node
    QVERIFY(store.count() > 5);
    for (int i = 1; i <= store.count(); ++i) {
        const QString tag = store.tag(i);
        const XmlNode found = doc.selectSingleNode(QStringLiteral("/uos/") + CaptionToName(store.fullPath(i)) + tag);
        QVERIFY2(found, qPrintable(store.fullPath(i) + tag));
        QCOMPARE(store.resolve(i), found);
        if (tag.startsWith(QLatin1Char('/')))
            QCOMPARE(found.parentNode(), store.element(i));
        else
            QCOMPARE(found, store.element(i));
    }
}

void TestTreeStore::resolveTakesTheFirstMatchOfThePath()
{
    // The second PART's nodes select the first PART's elements, as the path does; an id in the
    // tag tells instances apart; a value with both kinds of quote is compared as it is. With
    // the document given, ids are looked up in its index, whose first instance of an id may
    // stand elsewhere: in another section or group, under another name, in a group whose name
    // only the tree takes for one of instances, a level higher, or tagged by another attribute.
    XmlDocument doc, ids;
    QVERIFY(doc.loadXml(QStringLiteral(
        "<uos><arm><PART><NAME>first</NAME></PART><PART><NAME>second</NAME><EXTRA/></PART></arm>"
        "<aim><aim-instances><p id=\"a\"/><p id=\"b\"/><p id=\"q&quot;'\"/></aim-instances></aim></uos>")));
    QVERIFY(ids.loadXml(QStringLiteral(
        "<uos><other><aim-instances><p id=\"a\" n=\"1\"/></aim-instances></other>"
        "<aim><aim-instances><q id=\"a\" n=\"2\"/><p id=\"b\" n=\"3\"/><p n=\"4\" id=\"c\"/><p id=\"a\" n=\"5\"/>"
        "<p id=\"b\" n=\"6\"/></aim-instances>"
        "<AIM-INSTANCES><p id=\"d\" n=\"7\"/></AIM-INSTANCES><aim-instances><p id=\"b\" n=\"8\"/></aim-instances></aim>"
        "<aim><aim-instances><p id=\"e\" n=\"9\"/><p id=\"d\" n=\"10\"/></aim-instances></aim>"
        "<aim-instances><p id=\"e\" n=\"11\"/></aim-instances></uos>")));
    for (XmlDocument *d : {&doc, &ids}) {
        for (int mode : {0, 1, 2}) {
            TreeStore store;
            store.build(d->documentElement(), mode);
            dump(store);
            for (int i = 1; i <= store.count(); ++i) {
                const XmlNode byPath =
                    d->selectSingleNode(QStringLiteral("/uos/") + CaptionToName(store.fullPath(i)) + store.tag(i));
                QCOMPARE(store.resolve(i), byPath);
                QCOMPARE(store.resolve(i, d), byPath);
            }
        }
    }
    TreeStore store;
    store.build(doc.documentElement(), 1);
    const int secondPart = store.child(store.child(0, 0), 1);
    const int secondName = store.child(secondPart, 0);
    QCOMPARE(store.element(secondName).text(), QStringLiteral("second"));
    QCOMPARE(store.resolve(secondName).text(), QStringLiteral("first"));
    QCOMPARE(store.resolve(store.child(secondPart, 1)).nodeName(), QStringLiteral("EXTRA"));
    TreeStore aim;
    aim.build(doc.documentElement(), 2);
    const int instances = aim.child(aim.child(0, 1), 0);
    QCOMPARE(firstAttributeText(aim.resolve(aim.child(instances, 2))), QStringLiteral("q\"'"));
}

void TestTreeStore::childrenAreMadeWhenAskedFor()
{
    XmlDocument doc;
    QVERIFY(doc.load(QStringLiteral(TEST_DATA_DIR "/tree/views.xml")));
    TreeStore store;
    store.build(doc.documentElement(), 2);
    const int roots = store.count();
    QCOMPARE(roots, store.childCount(0));
    const int data = store.child(0, 2);
    QVERIFY(store.hasChildren(data));
    QCOMPARE(store.count(), roots); // asking whether there are children makes none
    QCOMPARE(store.childCount(data), 2);
    QCOMPARE(store.count(), roots + 2);
    QVERIFY(!store.hasChildren(store.child(0, 0) + 100000));
}

void TestTreeStore::childrenMadeInParts_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("part");
    for (int mode : {0, 1, 2})
        for (int part : {1, 2})
            QTest::addRow("mode %d, %d at a time", mode, part) << mode << part;
}

void TestTreeStore::childrenMadeInParts()
{
    QFETCH(int, mode);
    QFETCH(int, part);
    XmlDocument doc;
    QVERIFY(doc.load(QStringLiteral(TEST_DATA_DIR "/tree/views.xml")));
    TreeStore whole, inParts;
    whole.build(doc.documentElement(), mode);
    inParts.build(doc.documentElement(), mode);
    QCOMPARE(dump(inParts, part), dump(whole));
    // A part begun, then the children asked for: the rest is made at once, nothing twice.
    TreeStore begun;
    begun.build(doc.documentElement(), mode);
    int root = 0;
    while (root < begun.childCount(0) && TreeStore(whole).childCount(begun.child(0, root)) < 2)
        ++root;
    const int made = begun.count();
    QVERIFY(!begun.makeChildrenSome(begun.child(0, root), 1));
    QCOMPARE(begun.count(), made); // none of a walk's nodes until it ends
    QCOMPARE(dump(begun), dump(whole));
}

void TestTreeStore::instancesComeInSteps_data()
{
    QTest::addColumn<QString>("meanwhile"); // "", "asked for a node", "rebuilt", "another view"
    QTest::newRow("steps only") << "";
    QTest::newRow("a node asked for by itself") << "asked for a node";
    QTest::newRow("rebuilt") << "rebuilt";
    QTest::newRow("rebuilt in another view") << "another view";
}

void TestTreeStore::instancesComeInSteps()
{
    QFETCH(QString, meanwhile);
    XmlDocument doc;
    QVERIFY(doc.loadXml(QStringLiteral("<uos><aim><aim-instances><a id=\"1\"/><b id=\"2\"/><C id=\"3\"/>"
                                       "<d id=\"4\"/></aim-instances></aim></uos>")));
    TreeModel whole;
    whole.rebuild(doc.documentElement(), 2);
    const QModelIndex wholeInstances = whole.index(0, 0, whole.index(0, 0));
    const int count = whole.rowCount(wholeInstances);
    QCOMPARE(count, 3);
    TreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setStepsAbove(0);
    model.rebuild(doc.documentElement(), 2);
    QModelIndex instances = model.index(0, 0, model.index(0, 0));
    QVERIFY(model.hasChildren(instances));
    QCOMPARE(model.rowCount(instances), 0);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    if (meanwhile == QLatin1String("asked for a node")) {
        const int node = model.store().child(model.nodeIndex(instances), 1);
        QCOMPARE(model.indexOfNode(node).row(), 1);
        QCOMPARE(model.rowCount(instances), count); // at once
    }
    if (meanwhile == QLatin1String("another view")) {
        model.rebuild(doc.documentElement(), 1); // no steps there
        QTest::qWait(20);
        QCOMPARE(inserted.count(), 0);
        return;
    }
    if (meanwhile == QLatin1String("rebuilt")) {
        // Nothing comes of the tree before: one insertion only, into the new tree.
        model.rebuild(doc.documentElement(), 2);
        instances = model.index(0, 0, model.index(0, 0));
        QCOMPARE(model.rowCount(instances), 0);
    }
    QTRY_COMPARE(model.rowCount(instances), count);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(0).value<QModelIndex>(), instances);
    QCOMPARE(inserted.at(0).at(2).toInt(), count - 1);
    for (int r = 0; r < count; ++r)
        QCOMPARE(model.index(r, 0, instances).data(TreeModel::TagRole),
                 whole.index(r, 0, wholeInstances).data(TreeModel::TagRole));
}

void TestTreeStore::emptyAndTextOnlyDocuments()
{
    for (const char *xml : {"<uos/>", "<uos>just text</uos>", "<uos><!-- only a comment --></uos>"}) {
        XmlDocument doc;
        QVERIFY(doc.loadXml(QString::fromLatin1(xml)));
        TreeStore store;
        store.build(doc.documentElement(), 1);
        QCOMPARE(store.count(), 0);
        QCOMPARE(store.childCount(0), 0);
        QCOMPARE(store.child(0, 0), 0);
    }
}

void TestTreeStore::deepNestingDoesNotExhaustTheStack()
{
    const int depth = 100000;
    QString xml = QStringLiteral("<uos>");
    xml.reserve(depth * 10);
    for (int i = 0; i < depth; ++i)
        xml += QStringLiteral("<a_b>");
    for (int i = 0; i < depth; ++i)
        xml += QStringLiteral("</a_b>");
    xml += QStringLiteral("</uos>");
    XmlDocument doc;
    QVERIFY2(doc.loadXml(xml), qPrintable(doc.errorString()));
    TreeStore store;
    store.build(doc.documentElement(), 1);
    for (int node = 0; store.childCount(node) == 1;)
        node = store.child(node, 0);
    QCOMPARE(store.count(), depth);
    QCOMPARE(store.parent(depth), depth - 1);
    QCOMPARE(store.resolve(depth), store.element(depth));
    QCOMPARE(store.row(depth), 0);
    QCOMPARE(store.text(depth), QStringLiteral("a b"));
}

void TestTreeStore::expandAllStopsAtItsLimits_data()
{
    QTest::addColumn<QString>("from"); // deep: a chain of 50 elements; wide: 30 elements of one child each
    QTest::addColumn<int>("maxDepth");
    QTest::addColumn<int>("maxNodes");
    QTest::addColumn<int>("opened");
    QTest::addColumn<bool>("cut");
    QTest::newRow("deep, within both") << "deep" << 52 << 1000 << 50 << false;
    QTest::newRow("deep, to a depth") << "deep" << 10 << 1000 << 9 << true;
    QTest::newRow("deep, to a count") << "deep" << 1000 << 5 << 5 << true;
    QTest::newRow("wide, within both") << "wide" << 3 << 31 << 31 << false;
    QTest::newRow("wide, to a count") << "wide" << 3 << 10 << 10 << true;
}

void TestTreeStore::expandAllStopsAtItsLimits()
{
    QFETCH(QString, from);
    QFETCH(int, maxDepth);
    QFETCH(int, maxNodes);
    QFETCH(int, opened);
    QFETCH(bool, cut);
    QString xml = QStringLiteral("<uos><deep>") + QStringLiteral("<a>").repeated(50) +
                  QStringLiteral("</a>").repeated(50) + QStringLiteral("</deep><wide>") +
                  QStringLiteral("<b><c/></b>").repeated(30) + QStringLiteral("</wide></uos>");
    XmlDocument doc;
    QVERIFY(doc.loadXml(xml));
    TreeStore store;
    store.build(doc.documentElement(), 1);
    const int start = store.child(0, from == QLatin1String("deep") ? 0 : 1);
    bool wasCut = !cut;
    const std::vector<int> nodes = store.nodesToExpand(start, maxDepth, maxNodes, &wasCut);
    QCOMPARE(int(nodes.size()), opened);
    QCOMPARE(wasCut, cut);
    QCOMPARE(nodes.front(), start);
    for (int n : nodes)
        QVERIFY(store.depth(n) < maxDepth);
}

void TestTreeStore::modelPassesTheTester()
{
    XmlDocument doc;
    QVERIFY(doc.load(QStringLiteral(TEST_DATA_DIR "/tree/views.xml")));
    TreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int mode : {0, 1, 2}) {
        model.rebuild(doc.documentElement(), mode);
        QVERIFY(model.rowCount() > 0);
    }
    const QModelIndex data = model.index(2, 0);
    QCOMPARE(data.data().toString(), QStringLiteral("data"));
    const QModelIndex instances = model.index(1, 0, data);
    QCOMPARE(instances.data().toString(), QStringLiteral("aim-instances"));
    QCOMPARE(model.parent(instances), data);
    QCOMPARE(instances.data(TreeModel::FullPathRole).toString(), QStringLiteral("data/aim-instances"));
    QCOMPARE(model.index(0, 0, instances).data(TreeModel::TagRole).toString(), QStringLiteral("[@id=\"p1\"]"));
    QVERIFY(!model.index(5, 0, instances).isValid());
    QVERIFY(!model.index(0, 1).isValid());
    model.setIdDisplay(TreeModel::IdColumn); // the tester checks the second column too
    QCOMPARE(model.parent(model.index(0, 1, instances)), instances);
    model.clear();
    QCOMPARE(model.rowCount(), 0);
}

void TestTreeStore::captionsAndNames()
{
    QCOMPARE(NameToCaption(QStringLiteral("of_shape_x")), QStringLiteral("of shape x"));
    QCOMPARE(CaptionToName(NameToCaption(QStringLiteral("a_b__c"))), QStringLiteral("a_b__c"));
    QCOMPARE(NameToCaption(QString()), QString());
    QVERIFY(hasLowerCase(QStringLiteral("PARt")));
    QVERIFY(!hasLowerCase(QStringLiteral("PART_2-X")));
}

void TestTreeStore::instanceNodesCarryTheirIds_data()
{
    QTest::addColumn<QString>("xml"); // "" for views.xml
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("display");
    QTest::addColumn<QStringList>("expected"); // "caption=id" of each node that shows an id
    // Only /uos/*/aim-instances/* are instances: not item (no aim-instances), nor top level
    // (aim-instances right below uos); AIM-INSTANCES is no aim-instances.
    QTest::newRow("AIM, after the caption") << QString() << 2 << 1 << QStringList{"part=p1"};
    QTest::newRow("AIM, column") << QString() << 2 << 2 << QStringList{"part=p1"};
    QTest::newRow("AIM, hidden") << QString() << 2 << 0 << QStringList{};
    QTest::newRow("Mapping") << QString() << 1 << 1 << QStringList{};
    QTest::newRow("id not first, none")
        << "<uos><s><aim-instances><p x=\"1\" id=\"a\"/><q/><THING id=\"T\"/></aim-instances></s></uos>" << 2 << 1
        << QStringList{"p=a"};
    QTest::newRow("not below uos") << "<top><s><aim-instances><p id=\"a\"/></aim-instances></s></top>" << 2 << 1
                                   << QStringList{};
    QTest::newRow("uos not the document element")
        << "<top><uos><s><aim-instances><p id=\"a\"/></aim-instances></s></uos></top>" << 2 << 1 << QStringList{};
}

void TestTreeStore::instanceNodesCarryTheirIds()
{
    QFETCH(QString, xml);
    QFETCH(int, mode);
    QFETCH(int, display);
    QFETCH(QStringList, expected);
    XmlDocument doc;
    QVERIFY(xml.isEmpty() ? doc.load(QStringLiteral(TEST_DATA_DIR "/tree/views.xml")) : doc.loadXml(xml));
    TreeModel model;
    model.setIdDisplay(TreeModel::IdDisplay(display));
    model.rebuild(doc.documentElement(), mode);
    QCOMPARE(model.columnCount(), display == 2 ? 2 : 1);
    QStringList shown;
    std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
        for (int r = 0; r < model.rowCount(parent); ++r) {
            const QModelIndex node = model.index(r, 0, parent);
            const QString id = display == 2 ? model.index(r, 1, parent).data().toString()
                                            : node.data(TreeModel::InstanceIdRole).toString();
            if (!id.isEmpty())
                shown << node.data().toString() + QLatin1Char('=') + id; // the caption as ever
            walk(node);
        }
    };
    walk({});
    QCOMPARE(shown, expected);
}

void TestTreeStore::leavesAreKnownWithoutLooking_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("path"); // captions from the root down
    QTest::addColumn<bool>("asked"); // its children asked for before
    QTest::addColumn<bool>("leaf");
    QTest::newRow("AIM instance, with an element below") << 2 << "data/aim-instances/part" << false << true;
    QTest::newRow("AIM instance of a group below uos") << 2 << "aim-instances/top level" << false << true;
    QTest::newRow("AIM, children not asked for") << 2 << "data/item" << false << false;
    QTest::newRow("AIM, children made") << 2 << "data/item" << true << false;
    QTest::newRow("AIM, none made") << 2 << "data/item/value" << true << true;
    QTest::newRow("AIM, group") << 2 << "data/aim-instances" << true << false;
    QTest::newRow("Mapping, not asked for") << 1 << "SECTION A/B" << false << false;
    QTest::newRow("Mapping, none made") << 1 << "SECTION A/B" << true << true;
    QTest::newRow("ARM, none made") << 0 << "SECTION A/A/X" << true << true;
    QTest::newRow("ARM, children made") << 0 << "SECTION A/A" << true << false;
}

void TestTreeStore::leavesAreKnownWithoutLooking()
{
    QFETCH(int, mode);
    QFETCH(QString, path);
    QFETCH(bool, asked);
    QFETCH(bool, leaf);
    XmlDocument doc;
    QVERIFY(doc.load(QStringLiteral(TEST_DATA_DIR "/tree/views.xml")));
    TreeModel model;
    model.rebuild(doc.documentElement(), mode);
    const TreeStore &store = model.store();
    int node = 0;
    for (const QString &caption : path.split(QLatin1Char('/'))) {
        int r = 0;
        while (r < store.childCount(node) && store.text(store.child(node, r)) != caption)
            ++r;
        QVERIFY2(r < store.childCount(node), qPrintable(caption));
        node = store.child(node, r);
    }
    if (asked)
        store.childCount(node);
    QCOMPARE(store.isLeaf(node), leaf);
    QCOMPARE(model.flags(model.indexOfNode(node)).testFlag(Qt::ItemNeverHasChildren), leaf);
    QVERIFY(!leaf || !store.hasChildren(node));
}

QTEST_GUILESS_MAIN(TestTreeStore)
#include "tst_treestore.moc"
