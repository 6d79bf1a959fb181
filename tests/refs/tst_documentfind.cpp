// Find by value: which rows a pattern finds with each option, and a search in steps.
#include "refs/documentfind.h"

#include <QTest>

using namespace quillon;

namespace {

const char kDoc[] = "<uos><aim><aim-instances>"
                    "<product_item id='id1'><name>Gear shaft</name><of><shape ref='id5'/></of></product_item>"
                    "<shape id='id5'><representation>Cylinder gearing</representation><units>mm</units></shape>"
                    "<note id='x7'><text>see <b>gear</b>.</text></note>"
                    "</aim-instances></aim></uos>";

// "Caption|id|Property|Value|column:start+length" for each row.
QStringList describe(const QList<FindRow> &rows)
{
    QStringList out;
    for (const FindRow &r : rows)
        out << QStringLiteral("%1|%2|%3|%4|%5:%6+%7")
                   .arg(r.caption, r.id, r.property, r.value, DocumentFind::columnName(r.column))
                   .arg(r.start)
                   .arg(r.length);
    return out;
}

} // namespace

class TestDocumentFind : public QObject {
    Q_OBJECT
private slots:
    void find_data();
    void find();
    void inSteps();
    void acrossSections_data();
    void acrossSections();
};

void TestDocumentFind::find_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("flags"); // 1 match case, 2 whole word, 4 regex
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("text in values, any case")
        << "gear" << 0 << ""
        << QStringList{"product item|id1|name|Gear shaft|value:0+4",
                       "shape|id5|representation|Cylinder gearing|value:9+4", "note|x7|text|see gear.|value:4+4"};
    QTest::newRow("match case") << "Gear" << 1 << "" << QStringList{"product item|id1|name|Gear shaft|value:0+4"};
    QTest::newRow("whole word") << "gear" << 2 << ""
                                << QStringList{"product item|id1|name|Gear shaft|value:0+4",
                                               "note|x7|text|see gear.|value:4+4"};
    QTest::newRow("reference value and id") << "id5" << 0 << ""
                                            << QStringList{"product item|id1|of|id5|value:0+3", "shape|id5|||id:0+3"};
    QTest::newRow("instance caption") << "item" << 0 << "" << QStringList{"product item|id1|||instance:8+4"};
    QTest::newRow("property name") << "units" << 0 << "" << QStringList{"shape|id5|units|mm|property:0+5"};
    QTest::newRow("regex") << "^x\\d$" << 4 << "" << QStringList{"note|x7|||id:0+2"};
    QTest::newRow("regex matching nothing but the empty text") << "z*" << 4 << "" << QStringList();
    QTest::newRow("limited to one type, as captioned")
        << "gear" << 0 << "product item" << QStringList{"product item|id1|name|Gear shaft|value:0+4"};
    QTest::newRow("limited to one type, as written") << "gear" << 0 << "shape"
                                                     << QStringList{"shape|id5|representation|Cylinder gearing|value:9+4"};
}

void TestDocumentFind::find()
{
    QFETCH(QString, pattern);
    QFETCH(int, flags);
    QFETCH(QString, type);
    QFETCH(QStringList, expected);
    XmlDocument doc;
    QVERIFY(doc.loadXml(QString::fromUtf8(kDoc)));
    DocumentFind find(doc, {pattern, bool(flags & 1), bool(flags & 2), bool(flags & 4), type});
    QVERIFY(find.isValid());
    QList<FindRow> rows;
    QVERIFY(!find.next(1000, rows));
    QCOMPARE(describe(rows), expected);
}

// A step ends after the instance that reached its rows; the next goes on there; a change of
// the document ends the search; an invalid expression finds nothing.
void TestDocumentFind::inSteps()
{
    XmlDocument doc;
    QVERIFY(doc.loadXml(QString::fromUtf8(kDoc)));
    DocumentFind find(doc, {QStringLiteral("i"), false, false, false, {}});
    QList<FindRow> rows;
    QVERIFY(find.next(1, rows));
    QCOMPARE(rows.size(), 2); // product item: its caption, and the value of "of"
    QVERIFY(find.next(1, rows));
    QCOMPARE(rows.size(), 5); // shape: its id, "representation", "units"
    QVERIFY(find.next(1000, rows, 0)); // a limit of no instances searches none
    QCOMPARE(rows.size(), 5);
    DocumentFind limited(doc, {QStringLiteral("x"), false, false, false, {}});
    QVERIFY(limited.next(1000, rows, 2)); // two instances without a match, the third is left
    QCOMPARE(rows.size(), 5);
    doc.findInstance(QStringLiteral("x7")).firstChild().setText(QStringLiteral("changed"));
    QVERIFY(find.stale());
    QVERIFY(!find.next(1, rows));
    QCOMPARE(rows.size(), 5);
    QVERIFY(!DocumentFind(doc, {QStringLiteral("("), false, false, true, {}}).isValid());
    QVERIFY(!DocumentFind(doc, {QString(), false, false, false, {}}).isValid());
}

void TestDocumentFind::acrossSections_data()
{
    QTest::addColumn<int>("stepSize"); // instances a step searches
    QTest::addColumn<int>("steps");
    QTest::newRow("one by one") << 1 << 4;
    QTest::newRow("a step ends at a group's end") << 2 << 2;
    QTest::newRow("a step ends inside the next section") << 3 << 2;
    QTest::newRow("all in one") << -1 << 1;
}

// Steps go on across instance groups and sections, past what holds no instances.
void TestDocumentFind::acrossSections()
{
    QFETCH(int, stepSize);
    QFETCH(int, steps);
    XmlDocument doc;
    QVERIFY(doc.loadXml(QStringLiteral(
        "<uos> <a><aim-instances><p id='i1'/></aim-instances><other><p id='no'/></other><aim-instances/>"
        "<aim-instances><!--c--> <p id='i2'/></aim-instances></a><!--c--><b/>"
        "<c><aim-instances><p id='i3'/><p id='i4'/></aim-instances></c><d><aim-instances/></d></uos>")));
    DocumentFind find(doc, {QStringLiteral("p"), false, false, false, {}});
    QList<FindRow> rows;
    int taken = 1;
    while (find.next(1000, rows, stepSize))
        ++taken;
    QStringList ids;
    for (const FindRow &r : std::as_const(rows))
        ids << r.id;
    QCOMPARE(ids, (QStringList{"i1", "i2", "i3", "i4"}));
    QCOMPARE(taken, steps);
    QVERIFY(find.atEnd());
}

QTEST_GUILESS_MAIN(TestDocumentFind)
#include "tst_documentfind.moc"
