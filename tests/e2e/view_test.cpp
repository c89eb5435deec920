// The 3D view driven by a script: keypad and View Setup, as `dump` and `screenshot` show them.
#include "e2e/e2e.h"

using nlohmann::json;

TEST_F(Headless, TheKeypadAndViewSetupFromAScript)
{
    // Keypad minus in the empty shape's view; View Setup "Left" (second line), "Ok"; keypad minus again.
    ASSERT_TRUE(Runs("click 165 75\nwait 4\n"
                     "move 400 300\nkeydown kpminus\nwait 5\nkeyup kpminus\nwait 1\ndump a.json\n"
                     "click 791 5\nwait 2\nclick 329 255\nclick 464 307\nwait 2\n"
                     "keydown kpminus\nwait 3\nkeyup kpminus\nwait 1\n"
                     "dump b.json\nscreenshot b.bmp\n"));
    auto view = [&](const char* name) {
        json d = Dump(name);
        const json* w = FindWindow(d, ClassText(CLASS_VIEW));
        return w ? (*w)["view"] : json();
    };
    json a = view("a.json");
    EXPECT_EQ(a["type"], 0);
    EXPECT_EQ(a["distance"], 500) << "an empty shape is looked at from the nearest distance";
    json b = view("b.json");
    EXPECT_EQ(b["type"], 1);
    EXPECT_EQ(b["distance"], 500);
    // A few frames of keypad minus at about 0.39 a frame.
    EXPECT_LT(b["zoom"].get<double>(), 159.3);
    EXPECT_GT(b["zoom"].get<double>(), 158.0);

    // The scale bar's corner, in colour 255 (white), and no View Setup left over it.
    Shot s = ReadShot(dir.file("b.bmp"));
    ASSERT_EQ(s.width, 800);
    EXPECT_EQ(std::vector<uint8_t>(s.at(1 + 8, 11 + 5), s.at(1 + 8, 11 + 5) + 3), (std::vector<uint8_t>{252, 252, 252}));
    EXPECT_TRUE(s.at(1 + 8, 11 + 200)[0] > 250) << "the upright arm";
}
