// Driving panels in process: finding their controls and using them as the user does.
#pragma once
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "frontend/dump.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/run.h"
#include "frontend/view.h"
#include "toolkit/controls.h"
#include "toolkit/win.h"

inline nlohmann::json DumpJson() { return nlohmann::json::parse(DumpText()); }

// The first window of a class (and label) in a dump; null when none.
inline const nlohmann::json* Find(const nlohmann::json& d, const std::string& cls, const std::string& label = "")
{
    for (const nlohmann::json& w : d["windows"])
        if (w["class"] == cls && (label.empty() || (w.contains("label") && w["label"] == label))) return &w;
    return nullptr;
}
const nlohmann::json* Find(nlohmann::json&&, const std::string&, const std::string& = "") = delete;   // would dangle

// The children of a window of one class, oldest first.
inline std::vector<WinId> ChildrenOf(WinId parent, uint32_t cls)
{
    std::vector<WinId> out;
    for (int slot = WIN_MAX_CHILDREN - 1; slot >= 0; slot--) {
        WinId c = WinGetChild(parent, slot);
        if (c && WinGetClass(c) == cls) out.push_back(c);
    }
    return out;
}

// The centre of a window on the screen.
inline void ClickWindow(WinId w, int dx = -1, int dy = -1)
{
    int x = 0, y = 0, rx, ry, width, height;
    WinGetAbsPos(w, &x, &y);
    WinGetRect(w, &rx, &ry, &width, &height);
    ClickAt(x + (dx < 0 ? width / 2 : dx), y + (dy < 0 ? height / 2 : dy));
}

inline WinId ButtonOf(WinId parent, const char* label)
{
    for (WinId b : ChildrenOf(parent, CLASS_BUTTON)) {
        ControlInfo c;
        if (ControlDescribe(b, &c) && std::string(c.text) == label) return b;
    }
    return 0;
}

// A field's text ("<none>" when it is no control), and a text put in as typing would.
inline std::string FieldText(WinId w)
{
    ControlInfo c;
    return ControlDescribe(w, &c) ? c.text : "<none>";
}
inline void SetFieldText(WinId w, const std::string& text)
{
    WinParam p1 = (WinParam)text.c_str(), p2 = 0;
    WinSendMessage(w, WM_EDITSETTEXT, &p1, &p2);
}

inline int32_t ControlState(WinId w)
{
    ControlInfo c;
    return ControlDescribe(w, &c) ? c.state : -1;
}

// A key pressed and released, a turn each.
inline void TapKey(int scan)
{
    InputQueueKey(scan, 1);
    ASSERT_EQ(AppLoopTurn(), 0);
    InputQueueKey(scan, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
}

// Enter (held two turns, as a user's press lasts) answers the box that is up; no modal window is left.
inline void DismissBox()
{
    InputQueueKey(KEY_RETURN, 1);
    for (int i = 0; i < 2; i++) ASSERT_EQ(AppLoopTurn(), 0);
    InputQueueKey(KEY_RETURN, 0);
    ASSERT_EQ(AppLoopTurn(), 0);
    ASSERT_EQ(WinModal(), 0);
}

// The rectangle a panel hands back to the view (screen corners), taken at the next frame.
inline void RectSelect(uint32_t flags, int x0, int y0, int x1, int y1)
{
    const int32_t corners[4] = {x0, y0, x1, y1};
    EditRequestRectSelect(flags, corners);
    ASSERT_EQ(AppLoopTurn(), 0);
}

// A screen pixel as 0xRRGGBB, and whether it shows a colour.
inline uint32_t PixelAt(int x, int y)
{
    uint8_t r, g, b;
    VideoReadPixel(x, y, &r, &g, &b);
    return (uint32_t)((r << 16) | (g << 8) | b);
}
inline bool PixelIs(int x, int y, uint32_t rgb) { return PixelAt(x, y) == rgb; }

// The MSGBOX lines a log file holds, in order.
inline std::vector<std::string> LoggedBoxes(const std::string& path)
{
    std::vector<std::string> out;
    const std::string log = ReadText(path);
    for (size_t at = log.find("MSGBOX "); at != std::string::npos; at = log.find("MSGBOX ", at + 1))
        out.push_back(log.substr(at, log.find('\n', at) - at));
    return out;
}

// A file chosen in the file selector that is open: its name typed into the field, then Enter.
inline void ChooseInSelector(const std::string& path)
{
    ASSERT_NE(FileSelWindow(), 0);
    std::vector<WinId> fields = ChildrenOf(FileSelWindow(), CLASS_EDIT);
    ASSERT_FALSE(fields.empty());
    SetFieldText(fields[0], path);
    TapKey(KEY_RETURN);
}

// Opens a menu bar entry's panel and gives it a turn.
inline WinId OpenPanel(const char* entry, uint32_t cls)
{
    WinId button = ButtonOf(WinFindClass(CLASS_SHAPE_MENU), entry);
    if (!button) return 0;
    ClickWindow(button);
    return WinFindClass(cls);
}

// The editor's view at 800 x 600: its client area starts one pixel in and below the 11-pixel
// title bar, is 797 x 538, and has its drawing centre at (398.5, 269), read as (398, 269);
// (CX, CY) is that centre on the screen.
const int CLIENT_X = 1, CLIENT_Y = 11, CENTRE_X = 398, CENTRE_Y = 269;
const int CX = CLIENT_X + CENTRE_X, CY = CLIENT_Y + CENTRE_Y;

inline void SetView(int type, uint32_t flags = VIEW_FLAGS_SHAPE)
{
    WinParam p1 = type, p2 = (WinParam)flags;
    WinSendMessage(EditorView(), VIEW_MSG_SET, &p1, &p2);
}

// How often a text occurs in another (a log's lines, say).
inline size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// The lines the last drawing wrote that a user cannot read whole, as "CLASS: text": cut by the
// clip, or lying under one of their window's own controls (drawn over them).
inline std::vector<std::string> UnreadableTexts(const nlohmann::json& d)
{
    std::vector<std::string> out;
    for (const nlohmann::json& w : d["windows"]) {
        if (!w.contains("written")) continue;
        for (const nlohmann::json& t : w["written"]) {
            std::string what = w["class"].get<std::string>() + ": " + t["text"].get<std::string>();
            if (t["cut"].get<bool>()) {
                out.push_back(what + " (cut)");
                continue;
            }
            int x0 = t["x"], y0 = t["y"], x1 = x0 + t["width"].get<int>() - 1, y1 = y0 + t["height"].get<int>() - 1;
            for (const nlohmann::json& c : d["windows"]) {
                if (c["parent"] != w["id"]) continue;
                int cx0 = c["x"], cy0 = c["y"], cx1 = cx0 + c["width"].get<int>() - 1, cy1 = cy0 + c["height"].get<int>() - 1;
                if (x0 <= cx1 && cx0 <= x1 && y0 <= cy1 && cy0 <= y1) {
                    out.push_back(what + " (under " + c["class"].get<std::string>() + " " + c.value("label", "") + ")");
                    break;
                }
            }
        }
    }
    return out;
}

