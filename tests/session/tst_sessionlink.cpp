// Re-pointing references in the editing session: ref or href written as the documents' places
// require, where the new element goes, and what the rows show afterwards.
#include "session/editorsession.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace quillon;
using namespace testsupport;

class TestSessionLink : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sameDocumentWritesRef_data();
    void sameDocumentWritesRef();
    void otherDocumentWritesHref_data();
    void otherDocumentWritesHref();
    void bareNamesShareTheirFolder();
    void relativeReferenceStaysRelative();
    void instanceRowKeepsItsElementInTheArmView_data();
    void instanceRowKeepsItsElementInTheArmView();
    void armSingleRowReplacesTheReferenceElement();
    void rowReferringElsewhereKeepsItsCaption();
    void rowWithoutItsElementChangesNothing_data();
    void rowWithoutItsElementChangesNothing();
    void invalidChoiceLeavesTheDocumentAsItWas();
    void linkAddressIsTheDocumentAsWritten();
    void nameOutsideTheEncodingIsRefused_data();
    void nameOutsideTheEncodingIsRefused();

private:
    SessionHarness *h = nullptr;
    EditorSession &s() const { return h->session; }
    void showId1(int mode)
    {
        QVERIFY(h->open(QStringLiteral("a.xml"), mode));
        QVERIFY(h->select(QStringLiteral("mapping/m/product")).isEmpty());
        QCOMPARE(h->rows(0), (QStringList{"name", "of shape", "made from"}));
    }
    EditorSession::Reports link(const QString &caption, const QString &choice)
    {
        return s().applyLink(h->row(caption), choice);
    }
    XmlNode id1Child(const char *name) const
    {
        return h->instance(QStringLiteral("id1")).selectSingleNode(QLatin1String(name));
    }
};

void TestSessionLink::init()
{
    h = new SessionHarness(
        {QStringLiteral("link/a.xml"), QStringLiteral("link/b.xml"), QStringLiteral("link/sub_ref.xml")});
    QDir(h->dir.path()).mkpath(QStringLiteral("elsewhere"));
    QDir(h->dir.path()).mkpath(QStringLiteral("sub"));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/link/elsewhere/c.xml"), h->path(QStringLiteral("elsewhere/c.xml")));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/link/sub/p.xml"), h->path(QStringLiteral("sub/p.xml")));
}

void TestSessionLink::cleanup()
{
    delete h;
    h = nullptr;
}

void TestSessionLink::sameDocumentWritesRef_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("document");
    // The picker's address as typed; "%1" stands for the documents' folder. Which spellings name
    // the document is the resolver's rule (tst_resolve); here one of them is enough.
    QTest::newRow("Mapping") << 1 << "%1/a.xml";
    QTest::newRow("AIM") << 2 << "%1/a.xml";
    QTest::newRow("bare name") << 1 << "a.xml";
#if !defined(Q_OS_LINUX)
    QTest::newRow("differs only in case") << 1 << "%1/A.XML";
#endif
}

void TestSessionLink::sameDocumentWritesRef()
{
    QFETCH(int, mode);
    QFETCH(QString, document);
    showId1(mode);
    QSignalSpy rebuilt(&s(), &EditorSession::treeRebuilt);
    QVERIFY(link(QStringLiteral("of shape"), document.arg(h->dir.path()) + QStringLiteral("#shape#id6")).isEmpty());
    const XmlNode ofShape = id1Child("of_shape");
    QCOMPARE(ofShape.childNodes().size(), 1);
    const XmlNode ref = ofShape.firstChild();
    QCOMPARE(ref.nodeName(), QStringLiteral("shape"));
    QCOMPARE(ref.namespaceURI(), QStringLiteral("urn:wren:test"));
    QCOMPARE(ref.attributeCount(), 1);
    QCOMPARE(ref.attribute(0).nodeName(), QStringLiteral("ref"));
    QCOMPARE(ref.attribute(0).text(), QStringLiteral("id6"));
    QCOMPARE(h->rows(0).value(1), QStringLiteral("of shape"));
    QCOMPARE(h->rows(1).value(1), QStringLiteral("id6"));
    QCOMPARE(rebuilt.size(), 1);
    QVERIFY(s().isModified());
}

void TestSessionLink::otherDocumentWritesHref_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expected");
    QTest::newRow("same folder") << "b.xml"
                                 << "b.xml#idB2";
    QTest::newRow("a folder below") << "elsewhere/c.xml"
                                    << "elsewhere/c.xml#idB2";
#if defined(Q_OS_LINUX)
    QTest::newRow("differs only in case") << "A.XML"
                                          << "A.XML#idB2";
#endif
}

void TestSessionLink::otherDocumentWritesHref()
{
    QFETCH(QString, target);
    QFETCH(QString, expected);
    if (expected.contains(QLatin1String("%1")))
        expected = expected.arg(h->dir.path());
    showId1(1);
    QVERIFY(link(QStringLiteral("of shape"), h->path(target) + QStringLiteral("#raw_material#idB2")).isEmpty());
    const XmlNode ref = id1Child("of_shape").firstChild();
    QCOMPARE(ref.nodeName(), QStringLiteral("raw_material"));
    QCOMPARE(ref.attribute(0).nodeName(), QStringLiteral("href"));
    QCOMPARE(ref.attribute(0).text(), expected);
    // The property keeps its element, so the row keeps its caption.
    QCOMPARE(id1Child("of_shape").childNodes().size(), 1);
    QCOMPARE(h->rows(0).value(1), QStringLiteral("of shape"));
    QCOMPARE(h->rows(1).value(1), expected);
}

void TestSessionLink::bareNamesShareTheirFolder()
{
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(h->dir.path());
    s().setViewMode(1);
    QVERIFY(s().open(QStringLiteral("a.xml")));
    settle();
    QVERIFY(h->select(QStringLiteral("mapping/m/product")).isEmpty());
    QVERIFY(link(QStringLiteral("of shape"), QStringLiteral("b.xml#raw_material#idB1")).isEmpty());
    QDir::setCurrent(cwd);
    QCOMPARE(id1Child("of_shape").firstChild().attribute(0).text(), QStringLiteral("b.xml#idB1"));
}

void TestSessionLink::relativeReferenceStaysRelative()
{
    // The working folder has no sub/p.xml: only the document's own folder does.
    QTemporaryDir elsewhere;
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    QVERIFY(h->open(QStringLiteral("sub_ref.xml"), 1));
    QVERIFY(h->select(QStringLiteral("mapping/m/product")).isEmpty());
    QCOMPARE(h->rows(1), (QStringList{"Bolt", "sub/p.xml#id31"}));
    QCOMPARE(s().linkAddress(1), QStringLiteral("sub/p.xml"));
    QVERIFY(link(QStringLiteral("part of"), QStringLiteral("sub/p.xml#assembly#id32")).isEmpty());
    QCOMPARE(h->rows(0), (QStringList{"name", "part of"}));
    QCOMPARE(h->rows(1), (QStringList{"Bolt", "sub/p.xml#id32"}));
    QVERIFY(s().save());
    QVERIFY(readAll(h->path(QStringLiteral("sub_ref.xml"))).contains("<assembly href=\"sub/p.xml#id32\"/>"));
    // Followed, it leads to the document next to it.
    QVERIFY(h->follow(QStringLiteral("part of")).isEmpty());
    QDir::setCurrent(cwd);
    QCOMPARE(s().fileName(), h->path(QStringLiteral("sub/p.xml")));
    QCOMPARE(h->shownId(), QStringLiteral("id32"));
}

void TestSessionLink::instanceRowKeepsItsElementInTheArmView_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("followSingleRow");
    QTest::addColumn<QString>("instance");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("property");
    // product id1, reached by following the single row of its reference element
    QTest::newRow("followed single row") << "arm/PART/HAS ATTR" << true << "id1"
                                         << "of shape"
                                         << "of_shape";
    // shape id5, the referenced value of an ARM attribute
    QTest::newRow("attribute value") << "arm/PART/SHAPE OF" << false << "id5"
                                     << "owner"
                                     << "owner";
}

void TestSessionLink::instanceRowKeepsItsElementInTheArmView()
{
    QFETCH(QString, node);
    QFETCH(bool, followSingleRow);
    QFETCH(QString, instance);
    QFETCH(QString, caption);
    QFETCH(QString, property);
    auto showInstance = [&] {
        QVERIFY(h->select(node).isEmpty());
        if (followSingleRow)
            QVERIFY(h->follow(QStringLiteral("product")).isEmpty());
        QCOMPARE(h->shownId(), instance);
    };
    QVERIFY(h->open(QStringLiteral("a.xml"), 0));
    showInstance();
    const QStringList captions = h->rows(0);
    QVERIFY(link(caption, h->path(QStringLiteral("a.xml#shape#id6"))).isEmpty());

    // Only the reference inside the property was replaced.
    const XmlNode shown = h->instance(instance);
    QCOMPARE(s().shownInstance(), shown);
    const XmlNode prop = shown.selectSingleNode(property);
    QVERIFY(prop);
    QCOMPARE(prop.childNodes().size(), 1);
    QCOMPARE(prop.firstChild().nodeName(), QStringLiteral("shape"));
    QCOMPARE(prop.firstChild().attribute(0).nodeName(), QStringLiteral("ref"));
    QCOMPARE(prop.firstChild().attribute(0).text(), QStringLiteral("id6"));
    QVERIFY(!shown.selectSingleNode(QStringLiteral("shape")));
    QCOMPARE(h->rows(0), captions);

    // Written and read again, the row is there and leads to the new target.
    QVERIFY(s().save());
    QVERIFY(readAll(h->path(QStringLiteral("a.xml"))).contains(QStringLiteral("<%1>").arg(property).toUtf8()));
    QVERIFY(s().open(h->path(QStringLiteral("a.xml"))));
    settle();
    showInstance();
    QCOMPARE(h->rows(0), captions);
    QCOMPARE(h->rows(1).value(h->row(caption)), QStringLiteral("id6"));
    QVERIFY(h->follow(caption).isEmpty());
    QCOMPARE(s().shownInstance(), h->instance(QStringLiteral("id6")));
}

void TestSessionLink::armSingleRowReplacesTheReferenceElement()
{
    QVERIFY(h->open(QStringLiteral("a.xml"), 0));
    QVERIFY(h->select(QStringLiteral("arm/PART/HAS ATTR")).isEmpty());
    QCOMPARE(h->rows(0), QStringList{"product"});
    QCOMPARE(h->rows(1), QStringList{"id1"});
    QVERIFY(link(QStringLiteral("product"), h->path(QStringLiteral("a.xml#shape#id6"))).isEmpty());
    const XmlNode holder = s().document()->selectSingleNode(QStringLiteral("/uos/arm/PART/HAS_ATTR"));
    QCOMPARE(holder.childNodes().size(), 1);
    QCOMPARE(holder.firstChild().nodeName(), QStringLiteral("shape"));
    QCOMPARE(holder.firstChild().attribute(0).text(), QStringLiteral("id6"));
    // The row stands for the new element and takes its name.
    QCOMPARE(s().shownInstance(), holder.firstChild());
    QCOMPARE(s().rows()->row(0).element, holder.firstChild());
    QCOMPARE(h->rows(0), QStringList{"shape"});
    QCOMPARE(h->rows(1), QStringList{"id6"});

    // A second edit of the same row replaces the element that the first one placed.
    QVERIFY(link(QStringLiteral("shape"), h->path(QStringLiteral("a.xml#shape#id5"))).isEmpty());
    QCOMPARE(holder.childNodes().size(), 1);
    QCOMPARE(holder.firstChild().attribute(0).text(), QStringLiteral("id5"));

    QVERIFY(s().save());
    QVERIFY(s().open(h->path(QStringLiteral("a.xml"))));
    settle();
    QVERIFY(h->select(QStringLiteral("arm/PART/HAS ATTR")).isEmpty());
    QCOMPARE(h->rows(0), QStringList{"shape"});
    QCOMPARE(h->rows(1), QStringList{"id5"});
    QVERIFY(h->follow(QStringLiteral("shape")).isEmpty());
    QCOMPARE(s().shownInstance(), h->instance(QStringLiteral("id5")));
}

void TestSessionLink::rowReferringElsewhereKeepsItsCaption()
{
    showId1(1);
    const QString elsewhere = QStringLiteral("elsewhere/c.xml#idB2");
    QVERIFY(link(QStringLiteral("made from"), h->path(QStringLiteral("elsewhere/c.xml#raw_material#idB2"))).isEmpty());
    QCOMPARE(h->rows(0), (QStringList{"name", "of shape", "made from"}));
    QCOMPARE(h->rows(1).value(2), elsewhere);
    QCOMPARE(id1Child("made_from").firstChild().attribute(0).text(), elsewhere);
    QCOMPARE(s().linkAddress(2), QStringLiteral("elsewhere/c.xml"));
    // The row still finds its element: a second edit of it works.
    QVERIFY(link(QStringLiteral("made from"), h->path(QStringLiteral("a.xml#shape#id6"))).isEmpty());
    const XmlNode madeFrom = id1Child("made_from");
    QCOMPARE(madeFrom.childNodes().size(), 1);
    QCOMPARE(madeFrom.firstChild().nodeName(), QStringLiteral("shape"));
    QCOMPARE(madeFrom.firstChild().attribute(0).nodeName(), QStringLiteral("ref"));
    QCOMPARE(madeFrom.firstChild().attribute(0).text(), QStringLiteral("id6"));
    QCOMPARE(h->rows(0).value(2), QStringLiteral("made from"));
    QCOMPARE(h->rows(1).value(2), QStringLiteral("id6"));
}

void TestSessionLink::rowWithoutItsElementChangesNothing_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("ARM") << 0;
    QTest::newRow("Mapping") << 1;
}

void TestSessionLink::rowWithoutItsElementChangesNothing()
{
    QFETCH(int, mode);
    if (mode == 0) {
        QVERIFY(h->open(QStringLiteral("a.xml"), 0));
        QVERIFY(h->select(QStringLiteral("arm/PART/HAS ATTR")).isEmpty());
        QVERIFY(h->follow(QStringLiteral("product")).isEmpty());
    } else {
        showId1(mode);
    }
    XmlNode shown = s().shownInstance();
    QCOMPARE(firstAttributeText(shown), QStringLiteral("id1"));
    // The instance loses its properties (as while the picker is up): the row's element is gone.
    shown.setText(QString());
    const QByteArray before = s().document()->toBytes();
    QVERIFY(before.contains("<product id=\"id1\"></product>"));
    QCOMPARE(outcomes(link(QStringLiteral("of shape"), h->path(QStringLiteral("a.xml#shape#id6")))),
             QStringList{"UnexpectedNullElement"});
    QCOMPARE(s().document()->toBytes(), before);
    QCOMPARE(s().shownInstance(), shown);
    QVERIFY(shown.parentNode());
}

void TestSessionLink::invalidChoiceLeavesTheDocumentAsItWas()
{
    showId1(1);
    // The row's element lost the reference it held: nothing is left to replace, and nothing
    // may change at all. A choice with too few pieces changes nothing either.
    id1Child("of_shape").setText(QString());
    const QByteArray before = s().document()->toBytes();
    QVERIFY(before.contains("<of_shape/>"));
    QVERIFY(link(QStringLiteral("of shape"), h->path(QStringLiteral("a.xml#shape#id6"))).isEmpty());
    QVERIFY(link(QStringLiteral("made from"), QStringLiteral("b.xml#idB1")).isEmpty());
    QVERIFY(link(QStringLiteral("made from"), QStringLiteral("b.xml#not a name#idB1")).isEmpty());
    QCOMPARE(s().document()->toBytes(), before);
    QCOMPARE(h->rows(1), (QStringList{"Shaft", "id5", "b.xml#idB1"}));
}

void TestSessionLink::linkAddressIsTheDocumentAsWritten()
{
    showId1(1);
    QCOMPARE(s().linkAddress(2), QStringLiteral("b.xml")); // "b.xml#idB1", as written
    QCOMPARE(s().linkAddress(1), h->path(QStringLiteral("a.xml"))); // "id5": this document
}

void TestSessionLink::nameOutsideTheEncodingIsRefused_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("name");
    QTest::newRow("US-ASCII, ü") << "US-ASCII" << QStringLiteral("prüfung");
}

// Which names an encoding holds is the document's rule; here, what the session makes of a refusal.
void TestSessionLink::nameOutsideTheEncodingIsRefused()
{
    QFETCH(QString, encoding);
    QFETCH(QString, name);
    QFile file(h->path(QStringLiteral("a.xml")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll().replace("UTF-8", encoding.toLatin1());
    file.close();
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    file.close();
    showId1(1);
    const EditorSession::Reports reports = link(QStringLiteral("of shape"), h->path("a.xml") + "#" + name + "#id6");
    QCOMPARE(outcomes(reports), QStringList{"NameNotWritable"});
    QCOMPARE(reports.first().detail,
             QStringLiteral("The name %1 cannot be written in this document's encoding (%2).").arg(name, encoding));
    QCOMPARE(s().document()->toBytes(), bytes);
    QVERIFY(!s().isModified());
    QVERIFY(s().save());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

QTEST_MAIN(TestSessionLink)
#include "tst_sessionlink.moc"
