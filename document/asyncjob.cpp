// Background work on the library's thread pool, watched from the thread that started it.
#include "document/asyncjob.h"

#include <QEventLoop>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace quillon {

namespace {

// As many threads as the global pool has (as many as cores).
Q_GLOBAL_STATIC(QThreadPool, jobPool)

} // namespace

AsyncJob::AsyncJob(std::function<void()> work, QObject *parent) : QObject(parent)
{
    connect(&m_watcher, &QFutureWatcher<void>::finished, this, [this] {
        if (m_loop)
            m_loop->quit();
        emit finished();
    });
    m_future = start(std::move(work));
    m_watcher.setFuture(m_future);
}

QFuture<void> AsyncJob::start(std::function<void()> work)
{
    return QtConcurrent::run(jobPool(), std::move(work));
}

bool AsyncJob::wait()
{
    if (m_cancelled)
        return false;
    if (isFinished())
        return true;
    QEventLoop loop;
    QEventLoop *outer = std::exchange(m_loop, &loop);
    loop.exec();
    m_loop = outer;
    return !m_cancelled;
}

void AsyncJob::cancel()
{
    m_cancelled = true;
    if (m_loop)
        m_loop->quit();
}

} // namespace quillon
