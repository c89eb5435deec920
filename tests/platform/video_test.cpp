#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "kernel/kernel.h"
#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
#include "platform/platform.h"

class Video : public ::testing::Test {
protected:
    void SetUp() override
    {
        VideoRemove();
        VideoInstall(0);
        ASSERT_EQ(VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_DEBUG, 0, 0), 0);
        VideoLoadInterfacePalette();
    }
    void TearDown() override { VideoRemove(); }
    static uint16_t Pixel16(int x, int y)
    {
        const VideoSurface* t = VideoTarget();
        return GetU16(t->pixels, (size_t)y * t->pitch + (size_t)x * 2);
    }
};

TEST_F(Video, ModesAndDepths)
{
    EXPECT_EQ(VideoBitsPerPixel(), 16);
    int w, h;
    VideoExtent(&w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    int x0, y0, x1, y1;
    VideoGetClip(&x0, &y0, &x1, &y1);
    EXPECT_EQ(x1, 319);
    EXPECT_EQ(y1, 199);

    // The same mode again changes and clears nothing.
    PutU16(VideoTarget()->pixels, 0, 0xFFFF);
    EXPECT_EQ(VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_DEBUG, 0, 0), 0);
    EXPECT_EQ(Pixel16(0, 0), 0xFFFF);
    // A forced change sets it up afresh, cleared to colour 0.
    VideoForceModeChange();
    EXPECT_EQ(VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_DEBUG, 0, 0), 0);
    EXPECT_EQ(Pixel16(0, 0), 0);

    // 8 and 24 bits are refused and leave the mode as it was.
    EXPECT_NE(VideoSetMode(640, 400, VIDEO_8BIT, VIDEO_WINDOWED_D3D, 0, 0), 0);
    EXPECT_NE(VideoSetMode(640, 400, VIDEO_24BIT, VIDEO_WINDOWED_D3D, 0, 0), 0);
    EXPECT_EQ(VideoModeWidth(), 320);
    EXPECT_EQ(VideoSetMode(640, 400, VIDEO_32BIT, VIDEO_WINDOWED_D3D, 0, 0), 0);
    EXPECT_EQ(VideoBitsPerPixel(), 32);
    EXPECT_EQ(VideoModeType(), VIDEO_WINDOWED_D3D);
    EXPECT_EQ(VideoSetMode(0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(VideoModeWidth(), 0);
    EXPECT_EQ(VideoBeginUpdate(1), 0) << "no mode, no framebuffer";
}

TEST_F(Video, InvalidModeTypeIsFatal)
{
    EXPECT_EXIT(VideoSetMode(320, 200, VIDEO_16BIT, 0x207, 0, 0), testing::ExitedWithCode(1),
                "VideoSetMode - invalid mode");
}

TEST_F(Video, ColoursInBothDepths)
{
    // Interface green (0, 63, 0) and white (63, 63, 63) in 5-6-5 and in X8-R8-G8-B8.
    EXPECT_EQ(VideoColourTable()[249], 0x0000FC00u);
    EXPECT_EQ(VideoPixelTable()[249], 0x07E0u);
    EXPECT_EQ(VideoPixelTable()[255], 0xFFFFu);
    EXPECT_EQ(VideoPixelTable()[248], 0x001Fu);
    ASSERT_EQ(VideoSetMode(640, 400, VIDEO_32BIT, VIDEO_WINDOWED_D3D, 0, 0), 0);
    EXPECT_EQ(VideoPixelTable()[249], 0x0000FC00u);
    EXPECT_EQ(VideoPixelTable()[250], 0x00C00000u);

    // A palette block runs from its first index; entries past 255 or past the block are ignored.
    const uint8_t block[4 + 6] = {254, 0, 5, 0, 1, 2, 3, 4, 5, 6};
    VideoLoadPalette(block, sizeof block);
    EXPECT_EQ(VideoColourTable()[254], 0x0004080Cu);
    EXPECT_EQ(VideoColourTable()[255], 0x00101418u);

    VideoClear(250);
    uint8_t r, g, b;
    VideoReadPixel(639, 399, &r, &g, &b);
    EXPECT_EQ(r, 192);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 0);
    VideoReadPixel(640, 0, &r, &g, &b);
    EXPECT_EQ(r, 0) << "outside the screen reads black";
}

TEST_F(Video, PartitionsClipToTheScreen)
{
    EXPECT_EQ(VideoVirtPartOrigin(nullptr, nullptr), 0);
    EXPECT_EQ(VideoVirtPart(300, 190, 50, 50), 1);
    int x, y;
    ASSERT_EQ(VideoVirtPartOrigin(&x, &y), 1);
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 190);
    int x0, y0, x1, y1;
    VideoGetClip(&x0, &y0, &x1, &y1);
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(y0, 0);
    EXPECT_EQ(x1, 19);
    EXPECT_EQ(y1, 9);
    VideoClear(255);
    EXPECT_EQ(Pixel16(319, 199), 0xFFFF);
    EXPECT_EQ(Pixel16(299, 199), 0);
    VideoVirtPartEnd();
    VideoGetClip(&x0, &y0, &x1, &y1);
    EXPECT_EQ(x1, 319);

    // A partition that starts left of the screen clips its own left part away.
    VideoVirtPart(-10, -10, 20, 20);
    VideoGetClip(&x0, &y0, &x1, &y1);
    EXPECT_EQ(x0, 10);
    EXPECT_EQ(y0, 10);
    EXPECT_EQ(x1, 19);
    VideoVirtPartEnd();

    EXPECT_EXIT(
        {
            VideoVirtPart(0, 0, 10, 10);
            VideoVirtPart(5, 5, 10, 10);
        },
        testing::ExitedWithCode(1), "VideoVirtPart: Already active!");
    EXPECT_EXIT(
        {
            ResInstall(100);
            ResId id = ResCreate(16 * 16 * 2);
            VideoVirtPart(0, 0, 10, 10);
            VideoVirtScreen(id, 16, 16);
        },
        testing::ExitedWithCode(1), "VideoVirtScreen: Already active!");
}

TEST_F(Video, VirtualScreenIsTheTarget)
{
    ResInstall(100);
    ResId id = ResCreate(8 * 4 * 2);
    memset(ResPeek(id), 0, 64);
    VideoVirtScreen(id, 8, 4);
    EXPECT_EQ(ResOpenCount(id), 1);
    int x1, y1;
    VideoGetClip(nullptr, nullptr, &x1, &y1);
    EXPECT_EQ(x1, 7);
    EXPECT_EQ(y1, 3);
    VideoClear(249);
    VideoVirtScreenEnd();
    EXPECT_EQ(ResOpenCount(id), 0);
    EXPECT_EQ(GetU16(ResPeek(id), 62), 0x07E0);
    EXPECT_EQ(Pixel16(0, 0), 0) << "the screen is untouched";
    ResFreeAlways(id);
    ResRemove();
}

static std::vector<int> order;
static void HookA(void) { order.push_back(1); }
static void HookB(void) { order.push_back(2); }
static void HookC(void) { order.push_back(3); }
static void HookD(void) { order.push_back(4); }
static int lockResult;
static int LockOverride(void)
{
    order.push_back(10);
    return lockResult;
}
static void Deferred(void) { order.push_back(99); }

TEST_F(Video, UpdateCycleHooksAndDeferredFunction)
{
    order.clear();
    EXPECT_EQ(VideoAddHook(VIDEO_HOOK_BEFORE_LOCK, HookA), 0);
    EXPECT_EQ(VideoAddHook(VIDEO_HOOK_BEFORE_LOCK, HookA), 0);   // listed once only
    VideoAddHook(VIDEO_HOOK_AFTER_LOCK, HookB);
    VideoAddHook(VIDEO_HOOK_BEFORE_UNLOCK, HookC);
    VideoAddHook(VIDEO_HOOK_AFTER_UNLOCK, HookD);
    ASSERT_EQ(VideoBeginUpdate(1), 1);
    EXPECT_EQ(VideoInUpdate(), 1);
    VideoEndUpdate();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));

    // A lock that fails ends the begin after the before-lock hooks.
    order.clear();
    lockResult = 0;
    VideoSetLockOverride(LockOverride);
    EXPECT_EQ(VideoBeginUpdate(1), 0);
    EXPECT_EQ(order, (std::vector<int>{1, 10}));
    lockResult = 1;

    // A deferred function holds the update open until the end of the frame.
    order.clear();
    ASSERT_EQ(VideoBeginUpdate(1), 1);
    VideoSetDeferred(Deferred);
    VideoEndUpdate();
    EXPECT_EQ(VideoDeferredReady(), 1);
    EXPECT_EQ(VideoInUpdate(), 1);
    EXPECT_EQ(order, (std::vector<int>{1, 10, 2}));
    EXPECT_EQ(VideoRunDeferred(), 1);
    EXPECT_EQ(VideoDeferredPending(), 0);
    EXPECT_EQ(VideoInUpdate(), 0);
    EXPECT_EQ(order, (std::vector<int>{1, 10, 2, 99, 3, 4}));
    EXPECT_EQ(VideoRunDeferred(), 0);
    VideoSetLockOverride(nullptr);
}

template <int N> static void NumberedHook(void) { order.push_back(100 + N); }
template <int... N> static void AddHooks(std::integer_sequence<int, N...>, std::vector<int>& results)
{
    (results.push_back(VideoAddHook(VIDEO_HOOK_AFTER_UNLOCK, NumberedHook<N>)), ...);
}

TEST_F(Video, HookListsHoldThirtyTwo)
{
    std::vector<int> results;
    AddHooks(std::make_integer_sequence<int, 33>{}, results);
    ASSERT_EQ(results.size(), 33u);
    for (int i = 0; i < 32; i++) EXPECT_EQ(results[i], 0) << i;
    EXPECT_EQ(results[32], 1);
    EXPECT_EQ(VideoAddHook(VIDEO_HOOK_LISTS, HookA), 1);
    order.clear();
    VideoBeginUpdate(1);
    VideoEndUpdate();
    EXPECT_EQ(order.size(), 32u);
}
