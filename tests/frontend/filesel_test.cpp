#include "frontend/filesel.h"
#include "frontend/msgbox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/log.h"
#include "frontend/frontend.h"
#include "frontend/run.h"
#include "kernel/app.h"
#include "support/screen.h"
#include "support/testutil.h"
#include "toolkit/controls.h"
#include "toolkit/text.h"

// ---- Patterns ----

TEST(FileSelPattern, WholeNamesLetterCaseIgnored)
{
    struct Case {
        const char* pattern;
        const char* name;
        int match;
    };
    const Case cases[] = {
        {"*.shp", "box.shp", 1},
        {"*.shp", "BOX.SHP", 1},
        {"*.SHP", "Box.Shp", 1},
        {"*.shp", "box.shpx", 0},       // no partial names: the pattern covers the whole name
        {"*.shp", "box.sh", 0},
        {"*.shp", "shp", 0},
        {"*.shp", ".shp", 1},           // '*' may be empty
        {"box", "box.shp", 0},
        {"box*", "box.shp", 1},
        {"b?x.shp", "bOx.shp", 1},
        {"b?x.shp", "bx.shp", 0},       // '?' is exactly one character
        {"b?x.shp", "boox.shp", 0},
        {"*a*b*c", "xaxxbxxc", 1},      // a star retries further on after a mismatch
        {"*a*b*c", "xaxxcxxb", 0},
        {"a**b", "ab", 1},
        {"*.shp;*.asc", "tree.ASC", 1},
        {"*.shp;*.asc", "tree.mat", 0},
        {" *.shp ; *.asc ", "tree.asc", 1}, // blanks around patterns do not count
        {"*.shp;;", "tree.shp", 1},
        {"*.shp;;", "tree.asc", 0},     // empty pieces add nothing
        {"*.*", "README", 1},           // every file, with or without a dot
        {"", "anything", 1},
        {";", "anything", 1},
        {"?", "", 0},
        {"*", "", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(FileSelMatch(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
    EXPECT_EQ(FileSelMatch(nullptr, "x"), 1);
    EXPECT_EQ(FileSelMatch("*", nullptr), 0);
    // A pathological pattern ends quickly.
    std::string many(200, 'a'), stars;
    for (int i = 0; i < 30; i++) stars += "*a";
    EXPECT_EQ(FileSelMatch((stars + "b").c_str(), many.c_str()), 0);
}

// ---- The selector on the toolkit, at an editor's screen size ----

static std::vector<std::string> chosen;   // the paths the requester received, in order
static std::vector<std::string> logLines;
static WinId modalAtBox, focusAtBox;      // what the window manager held while a box was up
static enum { REACT_NONE, REACT_MODAL, REACT_SELECTOR } reaction;   // the requester's answer to a choice
static WinId reacted;

enum { CLASS_TEST_REQUESTER = 0x7101, CLASS_TEST_MODAL = 0x7102, CLASS_TEST_STRANGER = 0x7103 };

static int RequesterProc(WinId self, WinId, int message, WinParam* p1, WinParam*)
{
    if (message != FILESEL_CHOSEN) return 1;
    chosen.push_back((const char*)*p1);
    if (reaction == REACT_MODAL) {
        reacted = WinCreate(0, 0, 20, 20, WIN_DESKTOP, 0, CLASS_TEST_MODAL);
        WinMakeModal(reacted);
    } else if (reaction == REACT_SELECTOR) {
        std::string folder = chosen.back().substr(0, chosen.back().rfind('/'));
        reacted = FileSelOpen("Next", folder.c_str(), "*", self);
    }
    return 0;
}

static void LogHook(int, const char* line)
{
    logLines.push_back(line);
    if (std::string(line).rfind("MSGBOX", 0) == 0) {
        modalAtBox = WinModal();
        focusAtBox = WinFocus();
    }
}

static std::string Cwd()
{
    char buf[4096];
    return getcwd(buf, sizeof buf) ? buf : "";
}

class FileSel : public ScreenTest {
protected:
    TempDir dir;
    WinId requester = 0;
    std::string cwd;

    void SetUp() override
    {
        ScreenTest::SetUp();
        UseScreen(640, 400);
        TextSetFont(FontCreateBuiltIn());
        chosen.clear();
        logLines.clear();
        reaction = REACT_NONE;
        reacted = 0;
        LogSetHook(LogHook);
        cwd = Cwd();
        for (const char* d : {"Beta", "alpha", "zeta", "zeta/inner"}) mkdir(dir.file(d).c_str(), 0755);
        for (const char* f : {"box.SHP", "Apple.shp", "cone.shp", "notes.txt", "shp", "box.shpx", "zeta/deep.shp"})
            WriteText(dir.file(f), "x");
    }
    void TearDown() override
    {
        EXPECT_EQ(Cwd(), cwd) << "the process's current folder never changes";
        LogSetHook(nullptr);
        WinRemove();
        ScreenTest::TearDown();
    }
    void UseScreen(int w, int h)
    {
        if (WinIsInstalled()) WinRemove();
        ASSERT_EQ(VideoSetMode(w, h, VIDEO_16BIT, VIDEO_WINDOWED_SOFTWARE), 0);
        WinInstall();
        WinRegisterBaseClasses();
        ControlsRegisterClasses();
        FileSelRegisterClass();
        MsgBoxRegisterClass();
        WinCreateClass(CLASS_TEST_REQUESTER, CLASS_FRAME, 0, RequesterProc);
        WinCreateClass(CLASS_TEST_STRANGER, CLASS_FRAME, 0, RequesterProc);
        WinCreateClass(CLASS_TEST_MODAL, CLASS_FRAME, 0, [](WinId, WinId, int, WinParam*, WinParam*) { return 1; });
        requester = WinCreate(0, 0, 50, 50, WIN_DESKTOP, 0, CLASS_TEST_REQUESTER);
    }
    WinId Open(const std::string& folder, const char* pattern = "*.shp")
    {
        WinId w = FileSelOpen("Load Shape", folder.c_str(), pattern, requester);
        WinProcessInput();
        return w;
    }

    // The selector's controls, found by class (the buttons: "Ok" stands left of "Cancel").
    static WinId ControlOf(uint32_t cls, int rightmost = 0)
    {
        WinId found = 0;
        int foundX = 0;
        for (int i = 0; i < WIN_MAX_CHILDREN; i++) {
            WinId c = WinGetChild(FileSelWindow(), i);
            if (!c || WinGetClass(c) != cls) continue;
            int x, y;
            WinGetPos(c, &x, &y);
            if (!found || (rightmost ? x > foundX : x < foundX)) found = c, foundX = x;
        }
        return found;
    }
    static void ClickOn(WinId w, int dx = 5, int dy = 5)
    {
        int x = 0, y = 0;
        WinGetAbsPos(w, &x, &y);
        Click(x + dx, y + dy);
    }
    // Enter answers the modal refusal box; the selector takes the keys back at its next tick.
    static void AnswerBox()
    {
        ASSERT_EQ(WinGetClass(WinModal()), (uint32_t)CLASS_MESSAGEBOX);
        Key(KEY_RETURN);
        WinProcessInput();
        WinProcessInput();
    }
    // Visible line n of the list (0 = the top one).
    static void ClickLine(int n) { ClickOn(ControlOf(CLASS_LIST), 5, 1 + n * LIST_LINE_HEIGHT + 4); }
    static void Type(const char* text)
    {
        for (const char* p = text; *p; p++) {
            int code = 0, shift = 0;
            for (int c = 1; c < 256 && !code; c++) {
                if (KeyTranslate(c, 0) == (uint8_t)*p) code = c;
                else if (KeyTranslate(c, 1) == (uint8_t)*p) code = c, shift = 1;
            }
            ASSERT_NE(code, 0) << "no key types " << *p;
            if (shift) InputQueueKey(KEY_LSHIFT, 1);
            Key(code);
            if (shift) InputQueueKey(KEY_LSHIFT, 0);
            WinProcessInput();
        }
    }
    static std::vector<std::string> Entries()
    {
        std::vector<std::string> out;
        for (int i = 0; i < FileSelEntryCount(); i++) {
            int folder = 0;
            const char* name = FileSelEntryName(i, &folder);
            out.push_back(std::string(name) + (folder ? "/" : ""));
        }
        return out;
    }
    static std::vector<std::string> Boxes()
    {
        std::vector<std::string> out;
        for (const std::string& l : logLines)
            if (l.rfind("MSGBOX", 0) == 0) out.push_back(l);
        return out;
    }
    // The selector is back at work: modal, keys to its name field.
    static void ExpectWaitingForInput()
    {
        ASSERT_NE(FileSelWindow(), 0);
        EXPECT_EQ(WinModal(), FileSelWindow());
        EXPECT_EQ(WinFocus(), ControlOf(CLASS_EDIT));
    }
};

TEST_F(FileSel, ListsParentFoldersThenMatchingFilesEachSorted)
{
    WinId w = Open(dir.path());
    ASSERT_NE(w, 0);
    EXPECT_EQ(FileSelWindow(), w);
    EXPECT_STREQ(WinGetTitle(w), "Load Shape");
    EXPECT_EQ(FileSelFolder(), dir.path());
    EXPECT_EQ(Entries(),
              (std::vector<std::string>{"../", "alpha/", "Beta/", "zeta/", "Apple.shp", "box.SHP", "cone.shp"}));
    ASSERT_FALSE(logLines.empty());
    EXPECT_EQ(logLines.back(), "FILESEL \"Load Shape\" \"" + dir.path() + "\" \"*.shp\"");
    ExpectWaitingForInput();
    // The list shows them in that order: the third line is "Beta".
    ClickLine(2);
    EXPECT_EQ(FileSelFolder(), dir.file("Beta"));
    EXPECT_TRUE(chosen.empty());
}

// Two entries are sorted too, whatever order the disk gives (several pairs cover both orders).
TEST_F(FileSel, AFolderOfTwoEntriesIsListedSortedToo)
{
    const std::vector<std::vector<std::string>> pairs = {
        {"a.shp", "b.shp"}, {"c.shp", "D.shp"}, {"e.shp", "f.shp"}, {"G.shp", "h.shp"},
        {"i.shp", "j.shp"}, {"k/", "a.shp"},    {"m/", "n/"},       {"O.shp", "p.shp"}};
    for (size_t i = 0; i < pairs.size(); i++) {
        const std::string folder = dir.file("pair" + std::to_string(i));
        mkdir(folder.c_str(), 0755);
        // Made in reverse order.
        for (size_t k = pairs[i].size(); k-- > 0;) {
            const std::string& name = pairs[i][k];
            if (name.back() == '/') mkdir((folder + "/" + name).c_str(), 0755);
            else WriteText(folder + "/" + name, "x");
        }
        ASSERT_NE(Open(folder), 0);
        EXPECT_EQ(Entries(), (std::vector<std::string>{"../", pairs[i][0], pairs[i][1]})) << folder;
        Key(KEY_ESCAPE);
        ASSERT_EQ(FileSelWindow(), 0);
    }
}

TEST_F(FileSel, SeveralPatternsAndAFolderSpelledInAnotherCase)
{
    // The folder is found whatever its case, with '\' between its parts, and '.' and '..'.
    mkdir(dir.file("Work").c_str(), 0755);
    for (const char* f : {"tree.ASC", "Tree.shp", "tree.mat", "a.shp"}) WriteText(dir.file(std::string("Work/") + f), "x");
    ASSERT_NE(Open(dir.path() + "\\zeta\\..\\.\\WORK\\", "*.asc;*.SHP"), 0);
    EXPECT_EQ(FileSelFolder(), dir.file("Work"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"../", "a.shp", "tree.ASC", "Tree.shp"}));
}

TEST_F(FileSel, EntersAFolderAndGoesUp)
{
    Open(dir.path());
    ClickLine(3);   // zeta
    EXPECT_EQ(FileSelFolder(), dir.file("zeta"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"../", "inner/", "deep.shp"}));
    ExpectWaitingForInput();
    ClickLine(1);   // inner
    EXPECT_EQ(FileSelFolder(), dir.file("zeta/inner"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"../"}));
    ClickLine(0);
    ClickLine(0);
    EXPECT_EQ(FileSelFolder(), dir.path());
    EXPECT_EQ(Entries().size(), 7u);
    // Up to the root and no further.
    for (int i = 0; i < 64; i++) ClickLine(0);
    EXPECT_EQ(FileSelFolder(), std::string("/"));
    EXPECT_EQ(Entries()[0], "../");
    EXPECT_TRUE(chosen.empty());
}

TEST_F(FileSel, AFileClickedTwiceIsChosen)
{
    Open(dir.path());
    ClickLine(6);   // cone.shp
    EXPECT_TRUE(chosen.empty()) << "the first click only names it";
    ASSERT_NE(FileSelWindow(), 0);
    ExpectWaitingForInput();
    ClickLine(5);   // box.SHP
    ClickLine(6);   // cone.shp: a click on another file in between starts again
    EXPECT_TRUE(chosen.empty());
    WinId w = FileSelWindow();
    ClickLine(6);
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("cone.shp")}));
    EXPECT_FALSE(WinIsWindow(w)) << "it closed";
    EXPECT_EQ(WinModal(), 0);
    EXPECT_EQ(logLines.back(), "FILESEL CHOSEN \"" + dir.file("cone.shp") + "\"");
}

TEST_F(FileSel, TypedNamesRelativeToTheFolderShownOrFull)
{
    // Relative, with another letter case: the name as it is on disk comes back.
    Open(dir.path());
    Type("ZETA\\Deep.SHP");
    Key(KEY_RETURN);
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("zeta/deep.shp")}));
    EXPECT_EQ(FileSelWindow(), 0);

    // Relative with "..", from a subfolder; Enter after a click takes the clicked name.
    Open(dir.file("zeta"));
    Type("../apple.shp");
    Key(KEY_RETURN);
    Open(dir.file("zeta"));
    ClickLine(2);
    Key(KEY_RETURN);
    // Full, from another folder.
    Open("/");
    Type((dir.path() + "/box.shp").c_str());
    ClickOn(ControlOf(CLASS_BUTTON, 0));   // Ok
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("zeta/deep.shp"), dir.file("Apple.shp"),
                                                dir.file("zeta/deep.shp"), dir.file("box.SHP")}));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(FileSel, OpeningRefusesAMissingFileAndAFolderAndStaysOpen)
{
    Open(dir.path());
    WinId w = FileSelWindow();
    Type("missing.shp");
    Key(KEY_RETURN);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"MSGBOX \"File Error\" \"File not found: missing.shp\""}));
    EXPECT_EQ(modalAtBox, 0) << "the box is not kept waiting behind the selector";
    EXPECT_EQ(focusAtBox, 0) << "keys meant for the box do not edit the name";
    EXPECT_EQ(FileSelWindow(), w);
    AnswerBox();
    ExpectWaitingForInput();

    // A folder is no file to open, by Enter or by "Ok".
    for (int i = 0; i < 11; i++) Key(KEY_BACK);
    Type("alpha");
    Key(KEY_RETURN);
    AnswerBox();
    ClickOn(ControlOf(CLASS_BUTTON, 0));   // Ok, once more
    AnswerBox();
    ASSERT_EQ(Boxes().size(), 3u);
    EXPECT_EQ(Boxes()[1], "MSGBOX \"File Error\" \"Not a file: alpha\"");
    EXPECT_EQ(Boxes()[2], Boxes()[1]);
    ExpectWaitingForInput();
    EXPECT_TRUE(chosen.empty());

    // An empty name is nothing to confirm.
    for (int i = 0; i < 5; i++) Key(KEY_BACK);
    Key(KEY_RETURN);
    EXPECT_EQ(Boxes().size(), 3u);
    Type("cone.shp");
    Key(KEY_RETURN);
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("cone.shp")}));
}

TEST_F(FileSel, SavingPrefillsTheNameAndTheFirstKeyReplacesIt)
{
    WinId w = FileSelSave(dir.path().c_str(), "*.shp", "untitled.shp", requester);
    WinProcessInput();
    EXPECT_STREQ(WinGetTitle(w), "Save as...");
    ExpectWaitingForInput();
    Type("new.shp");
    Key(KEY_RETURN);
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("new.shp")})) << "a new file in the folder shown";

    // Enter takes the default; an existing file in its disk case; a new file's folder in any case.
    FileSelSave(dir.path().c_str(), "*.shp", "CONE.SHP", requester);
    Key(KEY_RETURN);
    FileSelSave(dir.path().c_str(), "*.shp", "", requester);
    Type("ZETA/Made.shp");
    Key(KEY_RETURN);
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("new.shp"), dir.file("cone.shp"), dir.file("zeta/Made.shp")}));

    // A missing folder and a folder's own name are refused.
    FileSelSave(dir.path().c_str(), "*.shp", "nowhere/x.shp", requester);
    Key(KEY_RETURN);
    AnswerBox();
    Type("alpha");
    Key(KEY_RETURN);
    AnswerBox();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"MSGBOX \"File Error\" \"Folder not found: nowhere/x.shp\"",
                                                  "MSGBOX \"File Error\" \"Not a file: alpha\""}));
    ExpectWaitingForInput();
    EXPECT_EQ(chosen.size(), 3u);
}

TEST_F(FileSel, EscapeAndCancelSendNothing)
{
    Open(dir.path());
    WinId w = FileSelWindow();
    Type("cone.shp");
    Key(KEY_ESCAPE);
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_EQ(WinModal(), 0);
    EXPECT_EQ(logLines.back(), "FILESEL CANCELLED");

    Open(dir.path());
    w = FileSelWindow();
    ClickLine(6);
    ClickOn(ControlOf(CLASS_BUTTON, 1));   // Cancel
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_TRUE(chosen.empty());
    // Nothing is left behind to answer later keys.
    Key(KEY_RETURN);
    EXPECT_TRUE(chosen.empty());
}

TEST_F(FileSel, AGoneRequesterHearsNothing)
{
    Open(dir.path());
    WinDestroy(requester);
    Type("cone.shp");
    Key(KEY_RETURN);
    EXPECT_EQ(FileSelWindow(), 0) << "the selector closes all the same";
    EXPECT_TRUE(chosen.empty());

    // A window made since under the requester's id is not the requester.
    requester = WinCreate(0, 0, 50, 50, WIN_DESKTOP, 0, CLASS_TEST_REQUESTER);
    Open(dir.path());
    WinDestroy(requester);
    ASSERT_EQ(WinCreate(0, 0, 50, 50, WIN_DESKTOP, 0, CLASS_TEST_STRANGER), requester) << "the id is taken again";
    Type("cone.shp");
    Key(KEY_RETURN);
    EXPECT_TRUE(chosen.empty());
}

TEST_F(FileSel, TheRequesterMayOpenAModalWindowOrAnotherSelectorAtOnce)
{
    reaction = REACT_MODAL;
    Open(dir.path());
    Type("cone.shp");
    Key(KEY_RETURN);   // a second modal window would be fatal
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(WinModal(), reacted);
    WinDestroy(reacted);

    reaction = REACT_SELECTOR;
    Open(dir.path());
    ClickLine(3);   // zeta
    Type("deep.shp");
    Key(KEY_RETURN);
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[1], dir.file("zeta/deep.shp")) << "the path was intact when it arrived";
    ASSERT_NE(reacted, 0);
    EXPECT_EQ(FileSelWindow(), reacted);
    EXPECT_STREQ(WinGetTitle(reacted), "Next");
    EXPECT_EQ(FileSelFolder(), dir.file("zeta"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"../", "inner/", "deep.shp"}));
    WinProcessInput();
    ExpectWaitingForInput();
    reaction = REACT_NONE;
    Type("deep.shp");
    Key(KEY_RETURN);
    EXPECT_EQ(chosen.size(), 3u);
}

TEST_F(FileSel, BehindAnotherModalWindowItWaitsItsTurn)
{
    WinId other = WinCreate(0, 0, 20, 20, WIN_DESKTOP, 0, CLASS_TEST_MODAL);
    WinMakeModal(other);
    WinId w = Open(dir.path());
    ASSERT_NE(w, 0);
    EXPECT_EQ(WinModal(), other);
    EXPECT_NE(WinFocus(), ControlOf(CLASS_EDIT));
    EXPECT_EQ(FileSelOpen("Again", dir.path().c_str(), "*", requester), 0) << "one selector at a time";
    WinDestroy(other);
    WinProcessInput();
    ExpectWaitingForInput();
}

TEST_F(FileSel, VanishedFoldersAndOddNames)
{
    // Names the font cannot draw or a list would refuse are listed as they are on disk.
    mkdir(dir.file("odd").c_str(), 0755);
    for (const char* f : {"\xff" "lead.shp", "line\nbreak.shp", "back\\slash.shp", "del\x7f.shp"})
        WriteText(dir.file(std::string("odd/") + f), "x");
    Open(dir.file("odd"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"../", "back\\slash.shp", "del\x7f.shp", "line\nbreak.shp", "\xff" "lead.shp"}));
    // The list shows a control character, DEL and a leading byte 255 each as one '?'.
    ControlInfo list;
    ASSERT_TRUE(ControlDescribe(ControlOf(CLASS_LIST), &list));
    std::vector<std::string> shown;
    for (int i = 1; i <= ListCount(list.list); i++) shown.push_back(ListGetItemText(list.list, i));
    EXPECT_EQ(shown, (std::vector<std::string>{"../", "back\\slash.shp", "del?.shp", "line?break.shp", "?lead.shp"}));
    WinDrawAll();
    EXPECT_EQ(FileSelEntryName(5, nullptr), nullptr);
    EXPECT_EQ(FileSelEntryName(-1, nullptr), nullptr);
    // '\' separates folders in every name given, so such a file cannot be opened: the user is told.
    ClickLine(1);
    ClickLine(1);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"MSGBOX \"File Error\" \"File not found: back\\slash.shp\""}));
    AnswerBox();
    ClickLine(4);
    ClickLine(4);
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("odd/\xff" "lead.shp")}));

    // A folder that is not there shows ".." alone; so does one gone since it was listed.
    Open(dir.file("never"));
    EXPECT_EQ(FileSelFolder(), dir.file("never"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"../"}));
    ClickLine(0);
    EXPECT_EQ(FileSelFolder(), dir.path());
    rmdir(dir.file("alpha").c_str());
    ClickLine(1);
    EXPECT_EQ(FileSelFolder(), dir.file("alpha"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"../"}));
    ExpectWaitingForInput();
}

TEST_F(FileSel, NamesBeyondAsciiAreListedDrawnAndTakenAsTheyAre)
{
    // UTF-8 names: each character one glyph ('?' where the font has none), so lines keep their lengths.
    mkdir(dir.file("\xc3\x84rger").c_str(), 0755);
    WriteText(dir.file("\xc3\x84rger/caf\xc3\xa9.shp"), "x");
    WriteText(dir.file("\xc3\x84rger/\xc2\xa3" "5.shp"), "x");
    Open(dir.path());
    ControlInfo list;
    ASSERT_TRUE(ControlDescribe(ControlOf(CLASS_LIST), &list));
    ASSERT_GE(ListCount(list.list), 5);
    EXPECT_STREQ(ListGetItemText(list.list, 5), "\xc3\x84rger/") << "after alpha, Beta and zeta";
    EXPECT_EQ(TextWidth(ListGetItemText(list.list, 5)), 6 * 6);
    int advance;
    EXPECT_EQ(TextCharCode("\xc3\x84", &advance), '?');
    EXPECT_EQ(advance, 2);
    ClickLine(4);
    EXPECT_EQ(FileSelFolder(), dir.file("\xc3\x84rger"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"../", "caf\xc3\xa9.shp", "\xc2\xa3" "5.shp"}));
    ASSERT_TRUE(ControlDescribe(ControlOf(CLASS_LIST), &list));
    EXPECT_EQ(TextWidth(ListGetItemText(list.list, 2)), 8 * 6);
    EXPECT_EQ(TextCharCode("\xc2\xa3", &advance), 156) << "the pound sign is the font's";
    WinDrawAll();
    // Clicked twice, the file goes out under its own name, byte for byte.
    ClickLine(1);
    ClickLine(1);
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("\xc3\x84rger/caf\xc3\xa9.shp")}));

    // A name typed beyond ASCII goes out as typed.
    FileSelSave(dir.file("\xc3\x84rger").c_str(), "*.shp", "", requester);
    WinProcessInput();
    InputQueueText("n\xc3\xa9.shp");
    WinProcessInput();
    Key(KEY_RETURN);
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[1], dir.file("\xc3\x84rger/n\xc3\xa9.shp"));
}

TEST_F(FileSel, LongFoldersScroll)
{
    mkdir(dir.file("many").c_str(), 0755);
    enum { FILES = 3000 };
    for (int i = FILES - 1; i >= 0; i--) {
        char name[32];
        snprintf(name, sizeof name, "many/f%04d.shp", i);
        WriteText(dir.file(name), "");
    }
    Open(dir.file("many"));
    ASSERT_EQ(FileSelEntryCount(), FILES + 1);
    for (int i = 0; i < FILES; i += 499) {
        char name[16];
        snprintf(name, sizeof name, "f%04d.shp", i);
        EXPECT_STREQ(FileSelEntryName(i + 1, nullptr), name);
    }
    // The list scrolls with its slider: a press at the bottom of the track shows the end.
    WinId list = ControlOf(CLASS_LIST);
    WinId slider = WinGetChild(list, 0);
    ASSERT_EQ(WinGetClass(slider), (uint32_t)CLASS_SLIDER);
    int x, y, w, h;
    WinGetRect(slider, &x, &y, &w, &h);
    ClickOn(slider, w / 2, h - 1);
    WinGetRect(list, &x, &y, &w, &h);
    int lines = (h - 2) / LIST_LINE_HEIGHT;
    ClickLine(lines - 1);
    ClickLine(lines - 1);
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("many/f2999.shp")}));
}

TEST_F(FileSel, CentredOnBothEditorScreensWithEverythingInside)
{
    for (auto [sw, sh] : {std::pair{640, 400}, std::pair{800, 600}}) {
        UseScreen(sw, sh);
        WinId w = Open(dir.path());
        ASSERT_NE(w, 0);
        int x, y, width, height;
        WinGetRect(w, &x, &y, &width, &height);
        EXPECT_EQ(x, (sw - width) / 2);
        EXPECT_EQ(y, (sh - height) / 2);
        EXPECT_GE(width, 300);
        EXPECT_GE(height, 200);
        EXPECT_LE(x + width, sw);
        EXPECT_LE(y + height, sh);
        int controls = 0;
        for (int i = 0; i < WIN_MAX_CHILDREN; i++) {
            WinId c = WinGetChild(w, i);
            if (!c) continue;
            controls++;
            int cx, cy, cw, ch;
            WinGetRect(c, &cx, &cy, &cw, &ch);
            EXPECT_TRUE(cx >= 1 && cy >= WIN_TITLE_HEIGHT && cx + cw < width && cy + ch < height) << "control " << i;
        }
        EXPECT_EQ(controls, 4) << "list, name field, Ok and Cancel";
        // The folder shown is drawn on the selector, above the list.
        WinDrawAll();
        int ink = 0, lx, ly;
        WinGetPos(ControlOf(CLASS_LIST), &lx, &ly);
        for (int py = y + WIN_TITLE_HEIGHT + 1; py < y + ly; py++)
            for (int px = x + 2; px < x + width - 2; px++) ink += Px(px, py) == Pal(255);
        EXPECT_GT(ink, 20);
    }
}

// ---- In the running editor, driven by a script ----

class SelectorInTheEditor : public Run {
protected:
    void TearDown() override
    {
        LogSetHook(nullptr);
        Run::TearDown();
    }
};

TEST_F(SelectorInTheEditor, ScriptedTypingAndEnterReachTheNameField)
{
    mkdir("Shapes", 0755);
    WriteText("Shapes/Tree.shp", "x");
    // In the editor well before the script starts typing at turn 40.
    StartEditor(EDITOR_SHAPE, "wait 40\ntype shapes/tree.SHP\nkey enter\n");

    // The editor start registered the class: opening needs nothing more.
    chosen.clear();
    logLines.clear();
    LogSetHook(LogHook);
    WinCreateClass(CLASS_TEST_REQUESTER, CLASS_FRAME, 0, RequesterProc);
    WinId requester = WinCreate(0, 0, 50, 50, WIN_DESKTOP, 0, CLASS_TEST_REQUESTER);
    WinId w = FileSelOpen("Load Shape", "", "*.shp", requester);
    ASSERT_NE(w, 0);
    int x, y, width, height;
    WinGetRect(w, &x, &y, &width, &height);
    EXPECT_EQ(x, (800 - width) / 2) << "centred on the 800 x 600 editor screen";
    for (int i = 0; i < 100 && chosen.empty(); i++) ASSERT_EQ(AppLoopTurn(), 0);
    EXPECT_EQ(chosen, (std::vector<std::string>{dir.file("Shapes/Tree.shp")}));
    EXPECT_FALSE(WinIsWindow(w));
    EXPECT_EQ(Cwd(), dir.path());
}
