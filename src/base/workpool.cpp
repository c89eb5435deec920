// The worker pool: one semaphore per worker hands it a part; a counter of parts still running
// tells the caller when the job is done. Waking only the workers a job needs keeps small jobs
// from stirring every core.
#include "base/workpool.h"

#include <atomic>
#include <semaphore>
#include <thread>

namespace {
struct Worker {
    std::binary_semaphore go{0};
    std::thread thread;
};
}   // namespace

static struct {
    Worker workers[WORKPOOL_MAX_THREADS];   // index 0 unused: that part is the caller's
    int threads = 1;
    std::atomic<bool> stopping{false};
    WorkPoolFn fn = nullptr;
    void* ctx = nullptr;
    std::atomic<int> running{0};
    int busy = 0;   // workers handed parts by the last WorkPoolBegin
} pool;

static void WorkerLoop(int index)
{
    Worker& w = pool.workers[index];
    for (;;) {
        w.go.acquire();
        if (pool.stopping.load(std::memory_order_acquire)) return;
        pool.fn(pool.ctx, index);
        if (pool.running.fetch_sub(1, std::memory_order_acq_rel) == 1) pool.running.notify_one();
    }
}

int WorkPoolCores(void)
{
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n > WORKPOOL_MAX_THREADS ? WORKPOOL_MAX_THREADS : (int)n;
}

void WorkPoolStop(void)
{
    if (pool.threads <= 1) return;
    pool.stopping.store(true, std::memory_order_release);
    for (int i = 1; i < pool.threads; i++) pool.workers[i].go.release();
    for (int i = 1; i < pool.threads; i++) pool.workers[i].thread.join();
    pool.threads = 1;
    pool.stopping.store(false, std::memory_order_release);
}

void WorkPoolStart(int threads)
{
    WorkPoolStop();
    if (threads <= 0) threads = WorkPoolCores();
    if (threads > WORKPOOL_MAX_THREADS) threads = WORKPOOL_MAX_THREADS;
    for (int i = 1; i < threads; i++) {
        // A system that refuses a thread leaves a smaller pool, never a broken one.
        try {
            pool.workers[i].thread = std::thread(WorkerLoop, i);
        } catch (...) {
            break;
        }
        pool.threads = i + 1;
    }
}

int WorkPoolThreads(void) { return pool.threads; }

void WorkPoolBegin(int parts, WorkPoolFn fn, void* ctx)
{
    int side = parts < pool.threads ? parts : pool.threads;
    pool.busy = side > 1 ? side - 1 : 0;
    if (!pool.busy) return;
    pool.fn = fn;
    pool.ctx = ctx;
    pool.running.store(pool.busy, std::memory_order_relaxed);
    for (int i = 1; i < side; i++) pool.workers[i].go.release();
}

void WorkPoolEnd(void)
{
    if (!pool.busy) return;
    pool.busy = 0;
    for (int left; (left = pool.running.load(std::memory_order_acquire)) != 0;) pool.running.wait(left);
}

void WorkPoolRun(int parts, WorkPoolFn fn, void* ctx)
{
    if (parts <= 0) return;
    WorkPoolBegin(parts, fn, ctx);
    fn(ctx, 0);
    WorkPoolEnd();
    // Parts beyond the pool's threads run here, after the others.
    for (int i = pool.threads; i < parts; i++) fn(ctx, i);
}
