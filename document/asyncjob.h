#pragma once
// Background work, done one way: a job runs on a thread pool of the library's own
// (QtConcurrent::run) and a QFutureWatcher tells the thread that started it, through
// finished(), when the job is over.
// wait() keeps a caller synchronous without freezing it: it runs a nested event loop (the window
// paints, timers tick) that quits on finished(), or on cancel(). A cancelled or abandoned job
// still runs to its end on its worker, so what the work touches it must own (capture shared
// pointers, not references). The object belongs to the thread that created it.
// The pool is not Qt's global one: Qt's painting hands parts of a large fill to that pool and
// waits for them, so a long job there (a load keeps both threads of two cores busy) would stop
// the window from painting until the job ended.

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <functional>

class QEventLoop;

namespace quillon {

class AsyncJob : public QObject {
    Q_OBJECT
public:
    // Starts work on the pool.
    explicit AsyncJob(std::function<void()> work, QObject *parent = nullptr);

    // The work on the pool, for a caller that only needs to join it later (waitForFinished()).
    static QFuture<void> start(std::function<void()> work);

    bool isFinished() const { return m_watcher.isFinished(); }
    // Runs the event loop until the work is over or cancel() is called. False when cancelled.
    bool wait();
    // Ends a wait() under way, or the next one before it starts; the work itself goes on.
    void cancel();
    bool isCancelled() const { return m_cancelled; }
    // Blocks until the work is over (a job not started yet runs on the caller's thread).
    void waitForFinished() { m_future.waitForFinished(); }

signals:
    void finished();

private:
    QFuture<void> m_future;
    QFutureWatcher<void> m_watcher;
    QEventLoop *m_loop = nullptr;
    bool m_cancelled = false;
};

} // namespace quillon
