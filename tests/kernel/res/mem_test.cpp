#include <gtest/gtest.h>

#include "kernel/res/mem.h"

TEST(Mem, CountsTheAllocatorsBlockSizes)
{
    ASSERT_EQ(1, MemInstall(1));
    EXPECT_EQ(1, MemInstall(0));
    int64_t start = MemTotal();
    void* a = MemAlloc(1000);
    ASSERT_NE(nullptr, a);
    EXPECT_GE(MemBlockSize(a), 1000u);
    EXPECT_EQ(start + (int64_t)MemBlockSize(a), MemTotal());
    void* b = MemRealloc(a, 50000);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(start + (int64_t)MemBlockSize(b), MemTotal());
    EXPECT_EQ(nullptr, MemRealloc(b, (size_t)1 << 41));
    EXPECT_EQ(start + (int64_t)MemBlockSize(b), MemTotal()) << "a failed resize changes nothing";
    MemFree(b);
    MemFree(nullptr);
    EXPECT_EQ(start, MemTotal());
    EXPECT_EQ(nullptr, MemAlloc((size_t)1 << 41));
    EXPECT_EQ(start, MemTotal());
    EXPECT_GT(MemFreePhysical(), 0u);
    EXPECT_GE(MemFreeVirtual(), MemFreePhysical());
}
