#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/mem.h"
#include "base/res.h"
#include "base/restest.h"
#include "kernel/kernel.h"

TEST(Res, InstallIsOnceAndRemoveStartsAfresh)
{
    ResScope scope(100);
    EXPECT_TRUE(ResIsInstalled());
    EXPECT_EQ(102, ResIndexCapacity());
    EXPECT_EQ(0, ResUsedCount());
    ResId a = ResCreate(4);
    ASSERT_NE(0, a);
    ResInstall(3000);
    EXPECT_EQ(102, ResIndexCapacity()) << "a second install does nothing";
    EXPECT_EQ(0, ResIsLoaded(a));

    ResRemove();
    EXPECT_FALSE(ResIsInstalled());
    EXPECT_EQ(0, ResCreate(4)) << "nothing is created without a manager";
    ResInstall(10);
    EXPECT_EQ((std::vector<int>{ResIndexCapacity(), ResHighestId(), ResCurrentSection(), ResFileCount()}),
              (std::vector<int>{12, 0, 0, 0}));

    ResRemove();
    ResInstall(70000);
    EXPECT_EQ(65536, ResIndexCapacity()) << "ids are 16-bit";

    // The install registered the removal with the kernel's exit list.
    KernelRemove();
    EXPECT_FALSE(ResIsInstalled());
}

TEST(Res, GrowthKeepsEveryIdAndDataPointer)
{
    TempDir dir;
    std::string logPath = dir.file("log.txt");
    ResScope scope(5000);
    ASSERT_EQ(0, LogOpen(logPath.c_str()));
    std::vector<ResId> ids;
    std::vector<void*> ptrs;
    std::set<ResId> unique;
    for (int i = 0; i < 5001; i++) {
        ResId id = ResCreate(sizeof(int));
        ASSERT_NE(0, id);
        int* p = (int*)ResOpen(id);
        *p = i;
        ResClose(id);
        ids.push_back(id);
        ptrs.push_back(p);
        unique.insert(id);
    }
    LogClose();
    EXPECT_EQ(5002 + 256, ResIndexCapacity()) << "grown once";
    EXPECT_EQ(5001u, unique.size());
    EXPECT_EQ(5001, ResUsedCount());
    for (int i = 0; i < 5001; i++) {
        ASSERT_EQ(ptrs[i], ResPeek(ids[i])) << i;
        ASSERT_EQ(i, *(int*)ResPeek(ids[i])) << i;
    }
    std::string log = ReadText(logPath);
    EXPECT_NE(std::string::npos,
              log.find("RES: 5002 resource index entries were not enough - allocating another 256\n"))
        << log;
    EXPECT_EQ(log.find("RES:"), log.rfind("RES:")) << "one growth, one line";
}

TEST(Res, InternalLifetimeOpenCountsAndReuse)
{
    ResScope scope;
    ResId a = ResCreate(16);
    ASSERT_NE(0, a);
    EXPECT_STREQ("", ResName(a));
    ResId odd = ResCreate(13);
    EXPECT_EQ((std::vector<size_t>{ResSize(a), ResSizeRounded(a), ResSizeRounded(odd)}), (std::vector<size_t>{16, 16 + 32, 16 + 32}));
    ResId empty = ResCreate(0);
    ASSERT_NE(0, empty);
    EXPECT_NE(nullptr, ResPeek(empty)) << "an empty resource still has a block";

    ResOpen(a);
    ResOpen(a);
    EXPECT_EQ(2, ResOpenCount(a));
    ResFree(a);
    ResFreeAlways(a);
    EXPECT_EQ(0, ResIsLoaded(a)) << "an open resource is not freed";
    for (int i = 0; i < 3; i++) ResClose(a);
    EXPECT_EQ(0, ResOpenCount(a)) << "never below 0";
    int used = ResUsedCount();
    ResFree(a);
    EXPECT_EQ(-1, ResIsLoaded(a));
    EXPECT_EQ(used - 1, ResUsedCount()) << "a freed internal resource gives its id back";
    EXPECT_EQ(a, ResCreate(8)) << "the released entry is the first to be taken again";

    // ResFreeAlways calls the free function of unnamed resources too (ResFree does not).
    static int calls;
    calls = 0;
    ResId b = ResCreate(8);
    ResSetFreeCallback(b, [](ResId) { calls++; });
    ResFreeAlways(b);
    EXPECT_EQ(1, calls);
    EXPECT_EQ(-1, ResIsLoaded(b));
    ResId c = ResCreate(8);
    ResSetFreeCallback(c, [](ResId) { calls++; });
    ResFree(c);
    EXPECT_EQ(1, calls);

    // Failed creation leaves no entry behind.
    used = ResUsedCount();
    int highest = ResHighestId();
    ResSetLastError(0);
    EXPECT_EQ(0, ResCreate((size_t)1 << 41));
    EXPECT_EQ(RES_ERR_MEMORY, ResLastError());
    EXPECT_EQ(used, ResUsedCount());
    EXPECT_EQ(highest, ResHighestId());
}

TEST(Res, ResizeCopyAndMove)
{
    ResScope scope;
    ResId a = ResCreate(4);
    memcpy(ResPeek(a), "abcd", 4);
    EXPECT_EQ(0, ResResize(a, 4096));
    EXPECT_EQ(4096u, ResSize(a));
    EXPECT_EQ("abcd", ResText(a).substr(0, 4));
    void* before = ResPeek(a);
    EXPECT_EQ(1, ResResize(a, (size_t)1 << 41));
    EXPECT_EQ(std::make_pair(before, ResSize(a)), std::make_pair(ResPeek(a), (size_t)4096)) << "the old data stays";
    EXPECT_EQ(0, ResResize(a, 3));
    EXPECT_EQ("abc", ResText(a));

    ResId copy = ResCopy(a);
    ASSERT_NE(0, copy);
    EXPECT_NE(ResPeek(a), ResPeek(copy));
    EXPECT_EQ("abc", ResText(copy));

    ResId src = ResCreate(5);
    memcpy(ResPeek(src), "moved", 5);
    void* srcData = ResPeek(src);
    int used = ResUsedCount();
    ResMove(a, src);
    EXPECT_EQ(std::make_pair(ResPeek(a), ResText(a)), std::make_pair(srcData, std::string("moved")));
    EXPECT_EQ(-1, ResIsLoaded(src));
    EXPECT_EQ(used - 1, ResUsedCount()) << "the source's entry is released";
    ResMove(a, a);
    EXPECT_EQ("moved", ResText(a)) << "moving onto itself changes nothing";
}

TEST(Res, InvalidUseIsFatal)
{
    ResScope scope;
    ResId a = ResCreate(4);
    EXPECT_EXIT(ResOpen(0), testing::ExitedWithCode(1), FatalRe("ResOpen - invalid ID"));
    EXPECT_EXIT(ResOpen((ResId)(ResHighestId() + 1)), testing::ExitedWithCode(1), FatalRe("ResOpen - invalid ID"));
    EXPECT_EXIT(ResPeek(0), testing::ExitedWithCode(1), FatalRe("ResPeek - invalid ID"));
    EXPECT_EXIT(ResPeek(1), testing::ExitedWithCode(1), FatalRe("ResPeek - invalid ID")) << "a ring head";
    ResFree(a);
    EXPECT_EXIT(ResOpen(a), testing::ExitedWithCode(1),
                FatalRe("ResOpen - could find INTERNAL resource data - the resource has been freed"));
    EXPECT_EXIT(ResFreeMem(nullptr), testing::ExitedWithCode(1),
                FatalRe("ResFreeMem - attempting to free a NULL block"));
    ResId ids[2];
    EXPECT_EXIT(ResFindMultiple("nostar.dat", ids, 2, 0), testing::ExitedWithCode(1),
                FatalRe("Loading/finding multiple resources - could not find * character"));
    EXPECT_EXIT(ResFindMultiple("abcdefghijklm*.dat", ids, 2, 0), testing::ExitedWithCode(1),
                FatalRe("Loading/finding multiple resources - could not find * character"))
        << "the star must lie within the first 13 characters";
}

TEST(Res, IndexNeverPassesSixteenBitIds)
{
    ResScope scope(65000);
    EXPECT_EXIT(
        {
            for (;;) ResCreate(1);
        },
        testing::ExitedWithCode(1), FatalRe("RES: resource index is full"));
    // Up to the limit every id is handed out.
    for (int i = 0; i < 65534; i++) ASSERT_NE(0, ResCreate(1)) << i;
    EXPECT_EQ(65536, ResIndexCapacity());
    EXPECT_EQ(65535, ResHighestId());
}

TEST(Res, SectionsStampEntriesAndPlainBlocks)
{
    ResScope scope;
    ResId a = ResCreate(1);
    EXPECT_EQ(0, ResSection(a));
    ResStartSection();
    ResStartSection();
    EXPECT_EQ(2, ResCurrentSection());
    ResId b = ResCreate(1);
    EXPECT_EQ(2, ResSection(b));
    for (int i = 0; i < 3; i++) ResEndSection();
    EXPECT_EQ(0, ResCurrentSection()) << "never below 0";

    ResSetMark(b, 1);
    EXPECT_EQ((std::vector<int>{ResMarked(a), ResMarked(b)}), (std::vector<int>{0, 1}));
    ResSetMark(b, 0);
    EXPECT_EQ(0, ResMarked(b));

    int64_t total = MemTotal();
    char* p = (char*)ResAllocMem(100);
    ASSERT_NE(nullptr, p);
    EXPECT_GE(MemTotal(), total + 100);
    EXPECT_EQ(0u, (uintptr_t)p % 16) << "the header keeps blocks aligned";
    memcpy(p, "plain", 6);
    char* q = (char*)ResAllocMem(10);
    char* p2 = (char*)ResReallocMem(p, 100000);
    ASSERT_NE(nullptr, p2);
    EXPECT_STREQ("plain", p2);
    ResSetLastError(0);
    EXPECT_EQ(nullptr, ResReallocMem(p2, (size_t)1 << 41));
    EXPECT_EQ(RES_ERR_MEMORY, ResLastError());
    EXPECT_STREQ("plain", p2) << "a failed resize keeps the old block";
    ResFreeMem(p2);   // still listed, so it can be freed
    ResFreeMem(q);
    EXPECT_EQ(total, MemTotal());
    EXPECT_EQ(nullptr, ResAllocMem((size_t)1 << 41));
    EXPECT_EQ(RES_ERR_MEMORY, ResLastError());
    EXPECT_EXIT(ResFreeMem(q), testing::ExitedWithCode(1), FatalRe("ResFreeMem - attempting to free an unknown block"));
}

TEST(Mem, CountsTheAllocatorsBlockSizes)
{
    ASSERT_EQ(1, MemInstall());
    EXPECT_EQ(1, MemInstall()) << "a second install changes nothing";
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
