// A pool of worker threads that run the parts of one job side by side. The pool lives from
// WorkPoolStart to WorkPoolStop: no thread is made or ended while it runs jobs. The caller's
// own thread runs part 0 and waits for the others, so a job of one part wakes nobody.
#pragma once

enum { WORKPOOL_MAX_THREADS = 64 };

// A job's parts: fn(ctx, part) for part 0..parts-1, each on a thread of its own.
typedef void (*WorkPoolFn)(void* ctx, int part);

// Starts threads - 1 workers (the caller is the other); 0 asks for one thread a core. A pool
// already running is stopped first. The count is held inside 1..WORKPOOL_MAX_THREADS.
void WorkPoolStart(int threads);
// Ends and joins the workers; the pool then runs every job on the caller's thread.
void WorkPoolStop(void);
// Threads a job may use: the workers and the caller (1 without a pool).
int WorkPoolThreads(void);
// Runs the parts (at most WorkPoolThreads(); more are run in turn by the caller) and returns
// when all are done. Not reentrant: a part must not run a job itself.
void WorkPoolRun(int parts, WorkPoolFn fn, void* ctx);
// The same in two steps, for a caller with work of its own meanwhile: WorkPoolBegin hands
// parts 1..parts-1 (at most WorkPoolThreads() - 1 of them) to the workers and returns at once;
// the caller runs part 0 itself if it has one, then WorkPoolEnd waits for the workers. Not
// reentrant either.
void WorkPoolBegin(int parts, WorkPoolFn fn, void* ctx);
void WorkPoolEnd(void);
// One thread a core, as the system tells it (1 when it does not).
int WorkPoolCores(void);
