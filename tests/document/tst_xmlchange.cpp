// Taking an element out of the document: a save leaves out its bytes and the blanks before
// it and keeps every other byte; taking it back gives the file's own bytes again.
#include "testfiles.h"
#include "document/xmlchange.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quillon;

class TestXmlChange : public QObject {
    Q_OBJECT
private slots:
    void removeNode_data();
    void removeNode();
};

void TestXmlChange::removeNode_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("removed"); // XPaths, taken out in this order
    QTest::addColumn<QString>("edited"); // an element whose text is set afterwards ("" none)
    QTest::addColumn<QByteArray>("expected"); // the file saved; "" when the removal is refused
    const QByteArray three = "<?xml version=\"1.0\"?>\n<!-- c -->\n<uos>\n <aim-instances>\n"
                             "  <p id='id1'><n>A</n></p>\n  <p id=\"id2\" ><n>B</n></p>\n"
                             "  <p id='id3'>\n   <n>C</n>\n  </p>\n </aim-instances>\n</uos>\n";
    QByteArray noSecond = three;
    noSecond.replace("\n  <p id=\"id2\" ><n>B</n></p>", "");
    QTest::newRow("middle") << three << QStringList{"//p[@id='id2']"} << "" << noSecond;
    QByteArray noLast = three;
    noLast.replace("\n  <p id='id3'>\n   <n>C</n>\n  </p>", "");
    QTest::newRow("last child") << three << QStringList{"//p[@id='id3']"} << "" << noLast;
    QByteArray editedBefore = noSecond;
    editedBefore.replace("<n>A</n>", "<n>new</n>");
    QTest::newRow("edit in the sibling before")
        << three << QStringList{"//p[@id='id2']"} << "//p[@id='id1']/n" << editedBefore;
    QByteArray editedAfter = three;
    editedAfter.replace("\n  <p id='id1'><n>A</n></p>", "").replace("<n>B</n>", "<n>new</n>");
    QTest::newRow("edit after it") << three << QStringList{"//p[@id='id1']"} << "//p[@id='id2']/n" << editedAfter;
    QTest::newRow("within, then around it")
        << three << QStringList{"//p[@id='id3']/n", "//p[@id='id3']"} << "" << noLast;
    QByteArray crlf = three;
    crlf.replace("\n", "\r\n");
    QByteArray crlfGone = noSecond;
    crlfGone.replace("\n", "\r\n");
    QTest::newRow("CRLF") << crlf << QStringList{"//p[@id='id2']"} << "" << crlfGone;
    QTest::newRow("document element refused") << three << QStringList{"/uos"} << "" << QByteArray();
}

void TestXmlChange::removeNode()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, removed);
    QFETCH(QString, edited);
    QFETCH(QByteArray, expected);
    XmlDocument doc;
    QVERIFY(doc.loadData(xml));
    std::vector<XmlChange> changes;
    for (const QString &path : removed)
        changes.push_back(XmlChange::removeNode(doc.selectSingleNode(path)));
    if (expected.isEmpty()) {
        QVERIFY(changes.back().isNull());
        QCOMPARE(doc.toBytes(), xml);
        return;
    }
    for (const XmlChange &c : changes)
        QVERIFY(!c.isNull());
    if (!edited.isEmpty())
        changes.push_back(XmlChange::setText(doc.selectSingleNode(edited), QStringLiteral("new")));
    QCOMPARE(doc.toBytes(), expected);
    for (auto it = changes.rbegin(); it != changes.rend(); ++it)
        it->undo();
    QCOMPARE(doc.toBytes(), xml);
    QVERIFY(doc.selectSingleNode(removed.last()));
    for (XmlChange &c : changes)
        c.redo();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saved.xml"));
    QVERIFY(doc.save(path));
    QCOMPARE(testsupport::readAll(path), expected);
}

QTEST_GUILESS_MAIN(TestXmlChange)
#include "tst_xmlchange.moc"
