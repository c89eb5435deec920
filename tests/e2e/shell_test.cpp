// Keys reaching the file selector from a script, as `dump` shows them.
#include "e2e/e2e.h"

using nlohmann::json;

// Keys faster than frames are all typed; Home and End reach the field; a name beyond ASCII is kept.
TEST_F(Headless, QuickKeysHomeEndAndANameBeyondAsciiReachTheSelector)
{
    std::string quick;
    for (char c : std::string("balloon")) {
        std::string k(1, c);
        quick += "keydown " + k + "\nkeyup " + k + "\n";
    }
    ASSERT_TRUE(Runs(std::string(kShapeEditorObject) + kSave + quick + "wait 1\ndump a.json\nkey home\ntype n\n" +
                     "key end\ntype \xc3\xa9.shp\ndump b.json\nkey enter\nwait 2\n"));
    EXPECT_EQ(FieldOf(Dump("a.json"), ClassText(CLASS_FILESEL)), "balloon") << "seven keys in one frame, the selected name replaced";
    EXPECT_EQ(FieldOf(Dump("b.json"), ClassText(CLASS_FILESEL)), "nballoon\xc3\xa9.shp");
    EXPECT_FALSE(ReadBytes(dir.file("nballoon\xc3\xa9.shp")).empty()) << log;
}
