// The worker pool: every part of a job runs once, on threads of their own, and the pool
// starts, stops and runs jobs without one.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/workpool.h"

namespace {
struct Tally {
    std::atomic<int> runs[16];
    std::thread::id ids[16];
};

void Count(void* ctx, int part)
{
    Tally* t = (Tally*)ctx;
    t->runs[part].fetch_add(1);
    t->ids[part] = std::this_thread::get_id();
}
}   // namespace

TEST(WorkPool, EveryPartRunsOnceOnAThreadOfItsOwn)
{
    WorkPoolStart(3);
    ASSERT_EQ(WorkPoolThreads(), 3);
    for (int parts : {1, 2, 3, 5}) {
        SCOPED_TRACE(parts);
        Tally t{};
        for (int round = 0; round < 50; round++) WorkPoolRun(parts, Count, &t);
        for (int i = 0; i < 16; i++) EXPECT_EQ(t.runs[i].load(), i < parts ? 50 : 0) << "part " << i;
        EXPECT_EQ(t.ids[0], std::this_thread::get_id()) << "part 0 is the caller's";
        std::set<std::thread::id> distinct(t.ids, t.ids + (parts < 3 ? parts : 3));
        EXPECT_EQ((int)distinct.size(), parts < 3 ? parts : 3);
        if (parts > 3) {
            EXPECT_EQ(t.ids[4], std::this_thread::get_id()) << "parts past the threads run on the caller";
        }
    }
    WorkPoolStop();
    EXPECT_EQ(WorkPoolThreads(), 1);
    Tally t{};
    WorkPoolRun(2, Count, &t);
    EXPECT_EQ(t.runs[0].load() + t.runs[1].load(), 2);
    EXPECT_EQ(t.ids[1], std::this_thread::get_id()) << "without a pool the caller runs every part";
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    EXPECT_EQ(WorkPoolCores(), online < 1 ? 1 : online > WORKPOOL_MAX_THREADS ? WORKPOOL_MAX_THREADS : (int)online);
    WorkPoolStart(0);
    EXPECT_EQ(WorkPoolThreads(), WorkPoolCores()) << "0 asks for one thread a core";
    WorkPoolStart(WORKPOOL_MAX_THREADS + 5);
    EXPECT_EQ(WorkPoolThreads(), WORKPOOL_MAX_THREADS);
    WorkPoolStop();
}
