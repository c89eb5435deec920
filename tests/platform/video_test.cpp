#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/screen.h"

using Video = ScreenTest;

static std::vector<int> Clip()
{
    int x0, y0, x1, y1;
    VideoGetClip(&x0, &y0, &x1, &y1);
    return {x0, y0, x1, y1};
}

static std::vector<int> ReadPixel(int x, int y)
{
    uint8_t r, g, b;
    VideoReadPixel(x, y, &r, &g, &b);
    return {r, g, b};
}

TEST_F(Video, ModesAndDepths)
{
    EXPECT_EQ(VideoBitsPerPixel(), 16);
    int w, h;
    VideoExtent(&w, &h);
    EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{320, 200}));
    EXPECT_EQ(Clip(), (std::vector<int>{0, 0, 319, 199}));

    // The same mode again changes and clears nothing; a forced change clears to colour 0.
    PutU16(VideoTarget()->pixels, 0, 0xFFFF);
    EXPECT_EQ(VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_SOFTWARE), 0);
    EXPECT_EQ(Px(0, 0), 0xFFFFu);
    VideoForceModeChange();
    EXPECT_EQ(VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_SOFTWARE), 0);
    EXPECT_EQ(Px(0, 0), 0u);
    EXPECT_EQ(VideoSetMode(320, 240, VIDEO_16BIT, VIDEO_WINDOWED_SOFTWARE), 0);
    EXPECT_EQ(VideoModeHeight(), 240) << "another height is another mode";

    // 8 and 24 bits are refused and leave the mode as it was.
    EXPECT_NE(VideoSetMode(640, 400, VIDEO_8BIT, VIDEO_WINDOWED_HARDWARE), 0);
    EXPECT_NE(VideoSetMode(640, 400, VIDEO_24BIT, VIDEO_WINDOWED_HARDWARE), 0);
    EXPECT_EQ(VideoModeWidth(), 320);
    EXPECT_EQ(VideoSetMode(640, 400, VIDEO_32BIT, VIDEO_WINDOWED_HARDWARE), 0);
    EXPECT_EQ((std::vector<int>{VideoBitsPerPixel(), VideoModeType()}), (std::vector<int>{32, VIDEO_WINDOWED_HARDWARE}));
    EXPECT_EQ(VideoSetMode(0, 0, 0, 0), 0);
    EXPECT_EQ(VideoModeWidth(), 0);
    EXPECT_EQ(VideoBeginUpdate(1), 0) << "no mode, no framebuffer";
    EXPECT_EXIT(VideoSetMode(320, 200, VIDEO_16BIT, 0x207), testing::ExitedWithCode(1),
                "VideoSetMode - invalid mode");
}

TEST_F(Video, ColoursInBothDepths)
{
    // Interface green (0, 63, 0), white and blue in 5-6-5 and in X8-R8-G8-B8.
    EXPECT_EQ(VideoColourTable()[249], 0x0000FC00u);
    EXPECT_EQ((std::vector<uint32_t>{Pal(249), Pal(255), Pal(248)}), (std::vector<uint32_t>{0x07E0, 0xFFFF, 0x001F}));
    VideoClear(250);
    EXPECT_EQ(ReadPixel(319, 199), (std::vector<int>{192, 0, 0}));
    ASSERT_EQ(VideoSetMode(640, 400, VIDEO_32BIT, VIDEO_WINDOWED_HARDWARE), 0);
    EXPECT_EQ((std::vector<uint32_t>{Pal(249), Pal(250)}), (std::vector<uint32_t>{0x0000FC00, 0x00C00000}));

    // A palette block runs from its first index; entries past 255 or past the block are ignored.
    const uint8_t block[4 + 6] = {254, 0, 5, 0, 1, 2, 3, 4, 5, 6};
    VideoLoadPalette(block, sizeof block);
    EXPECT_EQ((std::vector<uint32_t>{VideoColourTable()[254], VideoColourTable()[255]}),
              (std::vector<uint32_t>{0x0004080Cu, 0x00101418u}));

    VideoClear(255);
    EXPECT_EQ(ReadPixel(639, 399), (std::vector<int>{16, 20, 24}));
    // Outside the screen, on either axis and either side, reads black.
    for (auto [x, y] : {std::pair{640, 0}, {0, 400}, {-1, 0}, {0, -1}}) EXPECT_EQ(ReadPixel(x, y), (std::vector<int>{0, 0, 0}));
}

TEST_F(Video, PartitionsClipToTheScreen)
{
    EXPECT_EQ(VideoVirtPartOrigin(nullptr, nullptr), 0);
    EXPECT_EQ(VideoVirtPart(300, 190, 50, 50), 1);
    int x, y;
    ASSERT_EQ(VideoVirtPartOrigin(&x, &y), 1);
    EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{300, 190}));
    EXPECT_EQ(Clip(), (std::vector<int>{0, 0, 19, 9}));
    VideoClear(255);
    EXPECT_EQ(Pxs({{319, 199}, {299, 199}}), Pals({255, -1}));
    VideoVirtPartEnd();
    EXPECT_EQ(Clip(), (std::vector<int>{0, 0, 319, 199}));

    // A partition that starts left of and above the screen clips its own first part away.
    VideoVirtPart(-10, -5, 20, 20);
    EXPECT_EQ(Clip(), (std::vector<int>{10, 5, 19, 19}));
    VideoVirtPartEnd();

    EXPECT_EXIT(
        {
            VideoVirtPart(0, 0, 10, 10);
            VideoVirtPart(5, 5, 10, 10);
        },
        testing::ExitedWithCode(1), "VideoVirtPart: Already active!");
    EXPECT_EXIT(
        {
            ResId id = ResCreate(16 * 16 * 2);
            VideoVirtPart(0, 0, 10, 10);
            VideoVirtScreen(id, 16, 16);
        },
        testing::ExitedWithCode(1), "VideoVirtScreen: Already active!");
}

TEST_F(Video, VirtualScreenIsTheTargetInEitherDepth)
{
    for (int code : {VIDEO_16BIT, VIDEO_32BIT}) {
        SCOPED_TRACE(code);
        ASSERT_EQ(VideoSetMode(320, 200, code, VIDEO_WINDOWED_SOFTWARE), 0);
        int bytes = code == VIDEO_16BIT ? 2 : 4;
        ResId id = ResCreate(8 * 4 * bytes);
        memset(ResPeek(id), 0, 8 * 4 * bytes);
        VideoVirtScreen(id, 8, 4);
        EXPECT_EQ(ResOpenCount(id), 1);
        EXPECT_EQ(Clip(), (std::vector<int>{0, 0, 7, 3}));
        VideoClear(249);
        VideoVirtScreenEnd();
        EXPECT_EQ(ResOpenCount(id), 0);
        const uint8_t* last = (const uint8_t*)ResPeek(id) + 31 * bytes;
        EXPECT_EQ(bytes == 2 ? GetU16(last) : GetU32(last), Pal(249)) << "the last pixel of the buffer";
        EXPECT_EQ(Px(0, 0), 0u) << "the screen is untouched";
        ResFreeAlways(id);
    }
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
template <int N> static void NumberedHook(void) { order.push_back(100 + N); }
template <int... N> static void AddHooks(std::integer_sequence<int, N...>, std::vector<int>& results)
{
    (results.push_back(VideoAddHook(VIDEO_HOOK_AFTER_UNLOCK, NumberedHook<N>)), ...);
}

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
    EXPECT_EQ((std::vector<int>{VideoDeferredPending(), VideoInUpdate()}), (std::vector<int>{0, 0}));
    EXPECT_EQ(order, (std::vector<int>{1, 10, 2, 99, 3, 4}));
    EXPECT_EQ(VideoRunDeferred(), 0);
    VideoSetLockOverride(nullptr);

    // Each list holds 32.
    std::vector<int> results;
    AddHooks(std::make_integer_sequence<int, 31>{}, results);
    EXPECT_EQ(results, std::vector<int>(31, 0)) << "D is already one of the 32";
    EXPECT_EQ(VideoAddHook(VIDEO_HOOK_AFTER_UNLOCK, NumberedHook<99>), 1);
    EXPECT_EQ(VideoAddHook(VIDEO_HOOK_LISTS, HookA), 1);
    order.clear();
    VideoBeginUpdate(1);
    VideoEndUpdate();
    EXPECT_EQ(order.size(), 3u + 32);
}
