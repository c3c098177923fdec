// Thread-pool jobs with a hand-over ThreadSanitizer can follow.
#include "core/PoolRun.h"

#include <QFutureInterface>
#include <QRunnable>
#include <QThreadPool>

#include <atomic>
#include <cstdint>

namespace Tervane3 {

namespace {

// Every hand-over to the pool releases on the first, every hand-back on the second; the
// taking side acquires. Atomic read-modify-writes chain the releases of all jobs, so each
// acquire sees at least its own job's release.
std::atomic<std::uint64_t> handOver{0};
std::atomic<std::uint64_t> handBack{0};

class PoolJob : public QRunnable
{
public:
    PoolJob(std::function<void()> task, std::shared_ptr<PoolJobState> jobState, QFutureInterface<void> futureInterface)
        : work(std::move(task))
        , state(std::move(jobState))
        , future(std::move(futureInterface))
    {
        setAutoDelete(true);
    }

    void run() override
    {
        // The job's members were complete before the starter released.
        handOver.load(std::memory_order_acquire);
        try {
            work();
        } catch (...) {
            state->failure = std::current_exception();
        }
        // The work's captures go with it on this thread, before the hand-back.
        work = nullptr;
        handBack.fetch_add(1, std::memory_order_release);
        future.reportFinished();
    }

private:
    std::function<void()> work;
    std::shared_ptr<PoolJobState> state;
    QFutureInterface<void> future;
};

} // namespace

PoolWatcher::PoolWatcher(QObject* parent)
    : QFutureWatcher<void>(parent)
{
    // Connected first, so it runs before any slot of the owner.
    connect(this, &QFutureWatcher<void>::finished, this, &PoolWatcher::synchronize);
}

void PoolWatcher::start(std::function<void()> work)
{
    job = std::make_shared<PoolJobState>();
    QFutureInterface<void> future;
    future.reportStarted();
    setFuture(future.future());
    auto* runnable = new PoolJob(std::move(work), job, future);
    handOver.fetch_add(1, std::memory_order_release);
    QThreadPool::globalInstance()->start(runnable);
}

void PoolWatcher::synchronize()
{
    handBack.load(std::memory_order_acquire);
}

void PoolWatcher::wait()
{
    waitForFinished();
    synchronize();
}

void PoolWatcher::rethrowFailure()
{
    if (!job || !job->failure)
        return;
    std::exception_ptr failure = job->failure;
    job->failure = nullptr;
    std::rethrow_exception(failure);
}

} // namespace Tervane3
