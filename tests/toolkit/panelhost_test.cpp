// The table through which the palette and materials panels reach the editor around them.
#include <gtest/gtest.h>

#include <string>

#include "toolkit/panelhost.h"

namespace {
std::string heard;
WinId Message(const char* title, const char* text)
{
    heard = std::string(title) + "|" + text;
    return 7;
}
void SetTool(int tool, int pick) { heard = std::to_string(tool) + "," + std::to_string(pick); }
}   // namespace

TEST(PanelHost, CallsReachTheTableAndMissingEntriesDoNothing)
{
    // No table: a panel tested alone gets 0 everywhere, and nothing happens.
    PanelHostSet(nullptr);
    EXPECT_EQ(0u, PanelHostMessage("Error", "x"));
    EXPECT_EQ(0u, PanelHostOpenFile("Load", ".", "*.PAL", 1));
    EXPECT_EQ(0, PanelHostToolMode());
    PanelHostSetTool(1, 2);
    PanelHostPaletteChanged();

    // A table with some entries: those are called with what the panel passed, the others
    // still answer 0.
    static PanelHostFns partial = {};
    partial.message = Message;
    partial.setTool = SetTool;
    PanelHostSet(&partial);
    EXPECT_EQ(7u, PanelHostMessage("Error", "Unable to load palette."));
    EXPECT_EQ("Error|Unable to load palette.", heard);
    PanelHostSetTool(17, 2);
    EXPECT_EQ("17,2", heard);
    EXPECT_EQ(0u, PanelHostError("Error", -1));
    EXPECT_EQ(0u, PanelHostSaveFile(".", "*.MAT", "A.MAT", 1));
    PanelHostPaletteChanged();
    PanelHostSet(nullptr);
}
