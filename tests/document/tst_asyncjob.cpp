// The background job (document/asyncjob.h): wait() runs the event loop until the work is over
// and returns true, or returns false as soon as cancel() is called, the work still running.
// Jobs leave Qt's global thread pool to Qt.
#include "document/asyncjob.h"

#include <QSemaphore>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <vector>

using namespace quillon;

class TestAsyncJob : public QObject {
    Q_OBJECT
private slots:
    void wait_data();
    void wait();
    void globalPoolStaysFree();
};

// Rows: whether the user cancels while the work is under way, and whether it was cancelled
// before the wait began.
void TestAsyncJob::wait_data()
{
    QTest::addColumn<bool>("cancelDuring");
    QTest::addColumn<bool>("cancelBefore");
    QTest::newRow("the work ends the wait") << false << false;
    QTest::newRow("cancel ends the wait") << true << false;
    QTest::newRow("cancelled before the wait") << false << true;
}

void TestAsyncJob::wait()
{
    QFETCH(bool, cancelDuring);
    QFETCH(bool, cancelBefore);
    const bool cancelled = cancelDuring || cancelBefore;
    auto go = std::make_shared<QSemaphore>();
    AsyncJob job([go] { go->acquire(); });
    int finished = 0;
    connect(&job, &AsyncJob::finished, this, [&finished] { ++finished; });
    if (cancelBefore)
        job.cancel();
    // The event loop runs: the work is let go from it, or the user cancels from it. Neither
    // ends a loop that would wait for something else; the guard ends a wait that never would.
    QTimer::singleShot(20, &job, [&] { cancelDuring ? job.cancel() : go->release(); });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &job, &AsyncJob::cancel);
    guard.start(10000);
    QCOMPARE(job.wait(), !cancelled);
    QVERIFY2(guard.isActive(), "only the guard ended the wait");
    QCOMPARE(job.isFinished(), !cancelled);
    QCOMPARE(finished, cancelled ? 0 : 1);
    QCOMPARE(job.isCancelled(), cancelled);
    if (cancelled) {
        go->release();
        job.waitForFinished();
        QTRY_COMPARE(finished, 1);
    }
}

// With a job under way on every core, work handed to Qt's global pool (as Qt's painting hands
// parts of a large fill) still runs.
void TestAsyncJob::globalPoolStaysFree()
{
    auto go = std::make_shared<QSemaphore>();
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    std::vector<QFuture<void>> jobs;
    for (int i = 0; i < threads; ++i)
        jobs.push_back(AsyncJob::start([go] { go->acquire(); }));
    auto ran = std::make_shared<QSemaphore>();
    QThreadPool::globalInstance()->start([ran] { ran->release(); });
    const bool free = ran->tryAcquire(1, 10000);
    go->release(threads);
    for (QFuture<void> &job : jobs)
        job.waitForFinished();
    QVERIFY2(free, "the jobs held every thread of the global pool");
}

QTEST_GUILESS_MAIN(TestAsyncJob)
#include "tst_asyncjob.moc"
