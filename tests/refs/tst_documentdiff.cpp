// Compare two versions: which instances are removed, changed and added, and which rows of a
// changed one differ.
#include "refs/documentdiff.h"

#include <QTest>

using namespace quillon;

namespace {

QString doc(const QString &instances)
{
    return QStringLiteral("<uos><aim><aim-instances>%1</aim-instances></aim></uos>").arg(instances);
}

// "kind id Caption" and "  Property: old>new" for each row.
QStringList describe(const QList<InstanceChange> &changes)
{
    QStringList out;
    for (const InstanceChange &c : changes) {
        out << DocumentDiff::kindName(c.kind) + QLatin1Char(' ') + c.id + QLatin1Char(' ') + c.caption;
        for (const PropertyChange &p : c.properties)
            out << QStringLiteral("  %1: %2>%3").arg(p.property, p.oldValue, p.newValue);
    }
    return out;
}

} // namespace

class TestDocumentDiff : public QObject {
    Q_OBJECT
private slots:
    void compare_data();
    void compare();
};

void TestDocumentDiff::compare_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("expected");
    const QString a = QStringLiteral("<a_b id='i1'><name>A</name><of><x ref='i2'/></of></a_b>");
    const QString b = QStringLiteral("<c id='i2'><name>B</name></c>");
    QTest::newRow("equal") << doc(a + b) << doc(a + b) << QStringList();
    QTest::newRow("layout and quotes only") << doc(a + b)
                                            << doc(QStringLiteral("\n <a_b id=\"i1\">\n  <name>A</name>\n  <of><x "
                                                                  "ref=\"i2\" /></of></a_b>\n") +
                                                   b)
                                            << QStringList();
    QTest::newRow("order of instances does not matter") << doc(a + b) << doc(b + a) << QStringList();
    QTest::newRow("removed and added") << doc(a + b) << doc(a + QStringLiteral("<c id='i3'/>"))
                                       << QStringList{QStringLiteral("removed i2 c"), QStringLiteral("added i3 c")};
    QTest::newRow("value changed") << doc(a + b) << doc(a + QStringLiteral("<c id='i2'><name>B2</name></c>"))
                                   << QStringList{QStringLiteral("changed i2 c"), QStringLiteral("  name: B>B2")};
    QTest::newRow("reference changed, caption as the tree shows it")
        << doc(a + b) << doc(QStringLiteral("<a_b id='i1'><name>A</name><of><x ref='i9'/></of></a_b>") + b)
        << QStringList{QStringLiteral("changed i1 a b"), QStringLiteral("  of: i2>i9")};
    QTest::newRow("rows added and removed, in document order")
        << doc(QStringLiteral("<c id='i2'><p>1</p><q>2</q><r>3</r></c>"))
        << doc(QStringLiteral("<c id='i2'><n>0</n><p>1</p><r>4</r></c>"))
        << QStringList{QStringLiteral("changed i2 c"), QStringLiteral("  n: >0"), QStringLiteral("  r: 3>4"),
                       QStringLiteral("  q: 2>")};
    QTest::newRow("repeated rows matched by their place")
        << doc(QStringLiteral("<c id='i2'><p>1</p><p>2</p></c>"))
        << doc(QStringLiteral("<c id='i2'><p>1</p><p>3</p></c>"))
        << QStringList{QStringLiteral("changed i2 c"), QStringLiteral("  p: 2>3")};
    QTest::newRow("deeper change without a row") << doc(b)
                                                 << doc(QStringLiteral("<c id='i2' x='1'><name>B</name></c>"))
                                                 << QStringList{QStringLiteral("changed i2 c")};
    QTest::newRow("first instance of a duplicate id counts")
        << doc(b + QStringLiteral("<c id='i2'><name>Z</name></c>")) << doc(b) << QStringList();
    QTest::newRow("no aim instances") << QStringLiteral("<uos/>") << doc(b)
                                      << QStringList{QStringLiteral("added i2 c")};
}

void TestDocumentDiff::compare()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QStringList, expected);
    XmlDocument oldDoc, newDoc;
    QVERIFY(oldDoc.loadXml(before));
    QVERIFY(newDoc.loadXml(after));
    QCOMPARE(describe(DocumentDiff::compare(oldDoc, newDoc)), expected);
}

QTEST_GUILESS_MAIN(TestDocumentDiff)
#include "tst_documentdiff.moc"
