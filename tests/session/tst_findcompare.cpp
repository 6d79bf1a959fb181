// The lists of the "Find" and "Compare" tabs without a window: the rows a search brings in
// steps with their matches, stopping and starting anew, the property row a result makes
// current; the changes from another file to the document shown, and which of them a click shows.
#include "session/comparemodel.h"
#include "session/findmodel.h"
#include "testsupport.h"

#include <QSignalSpy>

using namespace quillon;
using namespace testsupport;

namespace {

// "Instance|Id|Property|Value" with the match in brackets.
QStringList describe(const FindModel &model)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c) {
            QString text = model.index(r, c).data().toString();
            const QVariant match = model.index(r, c).data(FindModel::MatchRole);
            if (match.isValid())
                text.insert(match.toPoint().x() + match.toPoint().y(), QLatin1Char(']'))
                    .insert(match.toPoint().x(), QLatin1Char('['));
            cells << text;
        }
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

// "Instance|Id|change" (" *" where a click shows that very instance), its properties below.
QStringList describe(const CompareModel &model)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r) {
        const QModelIndex i = model.index(r, 0);
        out << QStringLiteral("%1|%2|%3%4")
                   .arg(i.data().toString(), model.index(r, 1).data().toString(), model.index(r, 2).data().toString(),
                        model.shownElement(i) ? QStringLiteral(" *") : QString());
        for (int p = 0; p < model.rowCount(i); ++p)
            out << QStringLiteral("  %1|%2").arg(model.index(p, 0, i).data().toString(),
                                                 model.index(p, 2, i).data().toString());
    }
    return out;
}

} // namespace

class TestFindCompare : public QObject {
    Q_OBJECT
private slots:
    void find_data();
    void find();
    void findStopsAndShows();
    void compare_data();
    void compare();
};

void TestFindCompare::find_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("flags"); // 1 match case, 2 whole word, 4 regex
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("status");
    QTest::newRow("value") << "shaft" << 0 << "" << QStringList{"product|id1|name|[Shaft]"} << "1 found.";
    QTest::newRow("match case") << "shaft" << 1 << "" << QStringList() << "0 found.";
    QTest::newRow("whole word") << "one" << 2 << "" << QStringList{"product|id1|alias|[one]"} << "1 found.";
    QTest::newRow("ids and references, in document order")
        << "id2" << 0 << ""
        << QStringList{"product|id1|made from|other.xml#[id2]1", "product|[id2]||", "shape|id5|owner|[id2]",
                       "link test|id7|to missing file known id|nofile.xml#[id2]", "link test|id7|to idx|idx.xml#[id2]1"}
        << "5 found.";
    QTest::newRow("expression, one type") << "^id\\d$" << 4 << "shape"
                                          << QStringList{"shape|[id5]||", "shape|id5|owner|[id2]", "shape|[ID6]||"}
                                          << "3 found.";
    QTest::newRow("property name") << "known" << 0 << ""
                                   << QStringList{"link test|id7|to missing file [known] id|nofile.xml#id2"}
                                   << "1 found.";
    QTest::newRow("invalid expression") << "(" << 4 << "" << QStringList() << "The expression is not valid";
    QTest::newRow("nothing to find") << "" << 0 << "" << QStringList() << "Nothing to find.";
}

void TestFindCompare::find()
{
    QFETCH(QString, pattern);
    QFETCH(int, flags);
    QFETCH(QString, type);
    QFETCH(QStringList, expected);
    QFETCH(QString, status);
    SessionHarness h({QStringLiteral("nav/main.xml")});
    QVERIFY(h.open(QStringLiteral("main.xml"), 2));
    FindModel model(&h.session);
    model.setStepSize(1); // a step per instance
    QSignalSpy steps(&model, &QAbstractItemModel::rowsInserted);
    const bool valid = !status.startsWith(QLatin1String("The")) && !pattern.isEmpty();
    QCOMPARE(model.start({pattern, bool(flags & 1), bool(flags & 2), bool(flags & 4), type}), valid);
    QCOMPARE(model.isRunning(), valid);
    QTRY_VERIFY(!model.isRunning());
    QCOMPARE(describe(model), expected);
    QSet<QString> instances; // a step per instance that has rows
    for (const QString &row : std::as_const(expected))
        instances.insert(row.section(QLatin1Char('|'), 0, 1).remove(QLatin1Char('[')).remove(QLatin1Char(']')));
    QCOMPARE(steps.size(), instances.size());
    QVERIFY2(model.status().startsWith(status), qPrintable(model.status()));
}

// Stop ends a search between steps, a new search drops the rows of the one before, a result's
// property row is found in the list once its instance is shown, and another document drops all.
void TestFindCompare::findStopsAndShows()
{
    SessionHarness h({QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml")});
    QVERIFY(h.open(QStringLiteral("main.xml"), 2));
    FindModel model(&h.session);
    model.setStepSize(1);
    QVERIFY(model.start({QStringLiteral("i"), false, false, false, {}}));
    model.stop();
    QTest::qWait(20);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.status(), QStringLiteral("0 found; stopped."));
    QVERIFY(model.start({QStringLiteral("i"), false, false, false, {}}));
    QVERIFY(model.start({QStringLiteral("in"), true, true, false, {}}));
    QTRY_VERIFY(!model.isRunning());
    QCOMPARE(describe(model), QStringList{"shape|ID6|units|[in]"});
    QCOMPARE(model.propertyRowOf(0), -1); // not on show yet
    QVERIFY(h.session.showInstance({}, model.row(0).id, model.instanceOf(0)).isEmpty());
    QCOMPARE(h.rows(0).value(model.propertyRowOf(0)), QStringLiteral("units"));
    QVERIFY(model.instanceTypes().contains(QStringLiteral("link test")));
    QVERIFY(h.open(QStringLiteral("other.xml"), 2));
    QCOMPARE(model.rowCount(), 0);
}

void TestFindCompare::compare_data()
{
    QTest::addColumn<QStringList>("edits"); // what the old version has in place of the new one's text: from, to, ...
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("summary");
    QTest::newRow("equal") << QStringList() << QStringList() << "No differences from old.xml (old).";
    QTest::newRow("changed value")
        << QStringList{"Housing", "Casing"} << QStringList{"product|id2|changed *", "  name|Casing \u2192 Housing"}
        << "From old.xml (old) to the document shown (new): 0 removed, 1 changed, 0 added.";
    QTest::newRow("changed reference, added, removed")
        << QStringList{"<shape ref=\"id5\"/>", "<shape ref=\"ID6\"/>", " id=\"ID6\"", " id=\"ID8\""}
        << QStringList{"product|id1|changed *", "  of shape|ID6 \u2192 id5", "shape|ID8|removed",
                       "shape|ID6|added *"}
        << "From old.xml (old) to the document shown (new): 1 removed, 1 changed, 1 added.";
    QTest::newRow("unreadable") << QStringList{"</uos>", ""} << QStringList()
                                << "old.xml cannot be read: ";
}

void TestFindCompare::compare()
{
    QFETCH(QStringList, edits);
    QFETCH(QStringList, expected);
    QFETCH(QString, summary);
    SessionHarness h({QStringLiteral("nav/main.xml")});
    QVERIFY(h.open(QStringLiteral("main.xml"), 2));
    QString old = QString::fromUtf8(readAll(h.path(QStringLiteral("main.xml"))));
    for (qsizetype i = 0; i + 1 < edits.size(); i += 2)
        old.replace(edits[i], edits[i + 1]);
    QFile f(h.path(QStringLiteral("old.xml")));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old.toUtf8()) > 0);
    f.close();
    CompareModel model(&h.session);
    QCOMPARE(model.compareWith(f.fileName()), !summary.contains(QLatin1String("cannot")));
    QCOMPARE(describe(model), expected);
    QVERIFY2(model.summary().startsWith(summary), qPrintable(model.summary()));
    for (int r = 0; r < model.rowCount(); ++r) // a removed instance is not in the document shown
        QCOMPARE(model.shownId(model.index(r, 0)).isEmpty(), model.index(r, 2).data() == QStringLiteral("removed"));
}

QTEST_MAIN(TestFindCompare)
#include "tst_findcompare.moc"
