// A 320 x 200 16-bit screen with the interface palette, the software drawing functions, the
// interface colours and text output installed, for tests that read drawn pixels back.
#pragma once
#include <gtest/gtest.h>

#include "kernel/res/res.h"
#include "kernel/util/bytes.h"
#include "platform/platform.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResRemove();
        ResInstall(400);
        SpriteInstall();
        VideoRemove();
        VideoInstall(0);
        ASSERT_EQ(VideoSetMode(320, 200, VIDEO_16BIT, VIDEO_WINDOWED_DEBUG, 0, 0), 0);
        VideoLoadInterfacePalette();
        DrawUseSoftware();
        DrawSetInterfaceColours(252, 251, 253, 255, 250);
        TextInstall();
    }
    void TearDown() override
    {
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
        return t->bpp == 16 ? GetU16(p) : GetU32(p);
    }
    static uint32_t Pal(int index) { return VideoPixelTable()[index]; }
};
