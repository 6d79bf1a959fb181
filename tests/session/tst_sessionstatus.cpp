// The figures of the document shown that a host's status bar gives: its instances, counted
// once per load, and how long its load took.
#include "session/editorsession.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace quillon;
using namespace testsupport;

class TestSessionStatus : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void nothingBeforeTheFirstLoad();
    void eachLoadCountsItsDocument();
    void onlyInstancesCount();
    void whatLoadsNothingChangesNothing();

private:
    EditorSession &s() const { return h->session; }
    std::unique_ptr<SessionHarness> h;
    std::unique_ptr<QSignalSpy> shown;
};

void TestSessionStatus::init()
{
    h = std::make_unique<SessionHarness>(QStringList{"nav/main.xml", "nav/other.xml"});
    shown = std::make_unique<QSignalSpy>(&h->session, &EditorSession::documentShown);
}

void TestSessionStatus::cleanup()
{
    shown.reset();
    h.reset();
}

void TestSessionStatus::nothingBeforeTheFirstLoad()
{
    QCOMPARE(s().instanceCount(), 0);
    QCOMPARE(s().lastOpenMs(), qint64(-1));
}

void TestSessionStatus::eachLoadCountsItsDocument()
{
    const QString main = h->path(QStringLiteral("main.xml")), other = h->path(QStringLiteral("other.xml"));
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    QCOMPARE(shown->count(), 1);
    QCOMPARE(s().instanceCount(), countAimInstances(readAll(main)));
    QVERIFY(s().lastOpenMs() >= 0);
    // A view switch builds the tree again from memory: no load, the same figures.
    s().setViewMode(0);
    settle();
    QCOMPARE(shown->count(), 1);
    QCOMPARE(s().instanceCount(), countAimInstances(readAll(main)));
    // A jump into another document loads it; Back loads the first again.
    QVERIFY(s().showInstance({}, QStringLiteral("id1")).isEmpty());
    QVERIFY(s().showInstance(QStringLiteral("other.xml"), QStringLiteral("id21")).isEmpty());
    settle();
    QCOMPARE(shown->count(), 2);
    QCOMPARE(s().instanceCount(), countAimInstances(readAll(other)));
    QVERIFY(h->back().isEmpty());
    QCOMPARE(shown->count(), 3);
    QCOMPARE(s().instanceCount(), countAimInstances(readAll(main)));
}

void TestSessionStatus::onlyInstancesCount()
{
    // Elements of aim-instances in a section count; deeper or shallower ones, and what lies
    // below an instance, do not.
    const QByteArray xml = "<uos><s><aim-instances><p id='1'/><q id='2'><r id='3'/></q></aim-instances></s>"
                           "<aim-instances><p id='x'/></aim-instances>"
                           "<t><u><aim-instances><p id='y'/></aim-instances></u></t>"
                           "<s2><aim-instances><z/></aim-instances><other><p id='w'/></other></s2></uos>";
    writeAll(h->path(QStringLiteral("mixed.xml")), xml);
    QVERIFY(h->open(QStringLiteral("mixed.xml"), 2));
    QCOMPARE(s().instanceCount(), countAimInstances(xml));
    QCOMPARE(s().instanceCount(), 3);
    writeAll(h->path(QStringLiteral("none.xml")), "<uos/>");
    QVERIFY(h->open(QStringLiteral("none.xml"), 2));
    QCOMPARE(s().instanceCount(), 0);
    QCOMPARE(shown->count(), 2);
}

void TestSessionStatus::whatLoadsNothingChangesNothing()
{
    QVERIFY(h->open(QStringLiteral("main.xml"), 2));
    const int count = s().instanceCount();
    const qint64 ms = s().lastOpenMs();
    // A file that cannot be read, and a load the user cancels.
    QVERIFY(!h->open(QStringLiteral("missing.xml"), 2));
    const QString big = h->path(QStringLiteral("big.xml"));
    writeSlowDocument(big);
    QTimer::singleShot(0, [this] { s().cancelLoad(); });
    QVERIFY(!s().open(big));
    settle();
    QCOMPARE(shown->count(), 1);
    QCOMPARE(s().instanceCount(), count);
    QCOMPARE(s().lastOpenMs(), ms);
}

QTEST_MAIN(TestSessionStatus)
#include "tst_sessionstatus.moc"
