// Work on Qt's global thread pool whose hand-over is visible to ThreadSanitizer.
//
// QtConcurrent::run passes the work to a pool thread and the future back through Qt 5's own
// futex-based locks, which ThreadSanitizer cannot see; every capture and every result then
// looks raced. Here the hand-over also goes through two process-wide atomics of our own
// (release when a job is handed over or back, acquire when it is taken): what the GUI
// thread prepared before start() happens-before the work, and the work's writes
// happen-before whatever the GUI thread does once PoolWatcher reported finished (or its
// wait() returned). Results travel through the work's own captures (e.g. a shared slot).
#pragma once

#include <QFutureWatcher>

#include <exception>
#include <functional>
#include <memory>

namespace Tervane3 {

// What a started job hands back: the exception that left its work, if any.
struct PoolJobState
{
    std::exception_ptr failure;
};

// A QFutureWatcher<void> for one job at a time. start() runs the work on the global pool;
// finished() follows on the GUI thread as for any watcher. Slots connected to finished()
// may read what the work wrote: the watcher synchronises before they run.
class PoolWatcher : public QFutureWatcher<void>
{
    Q_OBJECT

public:
    explicit PoolWatcher(QObject* parent = nullptr);

    // Runs `work` on the global thread pool. An exception that leaves it is kept for
    // rethrowFailure(). Replacing a running job is the caller's to avoid (as for any watcher,
    // a pending finished() of the previous job is dropped).
    void start(std::function<void()> work);
    // Blocks until the job has run; its writes are then visible. Never throws.
    void wait();
    // After finished: rethrows the exception that left the work, once; nothing otherwise.
    void rethrowFailure();

private:
    void synchronize();

    std::shared_ptr<PoolJobState> job;
};

} // namespace Tervane3
