// A 320 x 200 16-bit screen with the interface palette, sprites, the software drawing
// functions, the interface colours and text output installed, for tests that read drawn
// pixels back or move the pointer over windows.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "base/res.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"
#include "toolkit/win.h"

// Entries of the interface palette that the tests draw with.
constexpr int GREEN = 249, RED = 250, YELLOW = 254, BLUE = 248;

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResRemove();
        ResInstall(500);
        SpriteInstall();
        VideoRemove();
        VideoInstall();
        ASSERT_EQ(VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_SOFTWARE), 0);
        VideoLoadInterfacePalette();
        DrawUseSoftware();
        DrawSetInterfaceColours(252, 251, 253, 255, 250);
        TextInstall();
        KernelSetAppActive(1);
        InputReset();
    }
    void TearDown() override
    {
        InputReset();
        TextRemove();
        FontRemove();
        DrawUseSoftware();
        VideoRemove();
        ResRemove();
    }
    // A pixel of the current target, as stored.
    static uint32_t Px(int x, int y)
    {
        const VideoSurface* t = VideoTarget();
        const uint8_t* p = t->pixels + (size_t)y * t->pitch + (size_t)x * (t->bpp / 8);
        return t->bpp == 8 ? *p : t->bpp == 16 ? GetU16(p) : GetU32(p);
    }
    static uint32_t Pal(int index) { return VideoPixelTable()[index]; }
    // Several pixels, and several palette colours as pixels, to compare as lists.
    static std::vector<uint32_t> Pxs(std::initializer_list<std::pair<int, int>> points)
    {
        std::vector<uint32_t> out;
        for (auto [x, y] : points) out.push_back(Px(x, y));
        return out;
    }
    static std::vector<uint32_t> Pals(std::initializer_list<int> indices)
    {
        std::vector<uint32_t> out;
        for (int i : indices) out.push_back(i < 0 ? 0 : Pal(i));   // -1: a pixel left at 0
        return out;
    }
    // A window's place in its parent and its size, as (x, y, width, height).
    static std::vector<int> RectOf(WinId w)
    {
        int x, y, width, height;
        WinGetRect(w, &x, &y, &width, &height);
        return {x, y, width, height};
    }

    // The pointer as the native window reports it, and input steps of the window manager
    // with it at (x, y): plain, or with a button going down, up, or down and up.
    static void Move(int x, int y)
    {
        InputMessageHook(nullptr, NM_MOUSEMOVE, 0, (int32_t)((uint32_t)(uint16_t)x | ((uint32_t)(uint16_t)y << 16)));
    }
    static void Down() { InputMessageHook(nullptr, NM_LBUTTONDOWN, 0, 0); }
    static void Up() { InputMessageHook(nullptr, NM_LBUTTONUP, 0, 0); }
    static void Frame(int x, int y)
    {
        Move(x, y);
        WinProcessInput();
    }
    static void Press(int x, int y)
    {
        Move(x, y);
        Down();
        WinProcessInput();
    }
    static void Release(int x, int y)
    {
        Move(x, y);
        Up();
        WinProcessInput();
    }
    static void Click(int x, int y)
    {
        Press(x, y);
        Release(x, y);
    }
    static void RightClick(int x, int y)
    {
        Move(x, y);
        InputMessageHook(nullptr, NM_RBUTTONDOWN, 0, 0);
        WinProcessInput();
        InputMessageHook(nullptr, NM_RBUTTONUP, 0, 0);
        WinProcessInput();
    }
    // A key pressed and released, with an input step while it is down.
    static void Key(int scanCode)
    {
        InputQueueKey(scanCode, 1);
        WinProcessInput();
        InputQueueKey(scanCode, 0);
    }
};
