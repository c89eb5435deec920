#include "frontend/dump.h"

#include <nlohmann/json.hpp>

#include <cstdio>

#include "base/str.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/msgbox.h"
#include "frontend/view.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "platform/screen.h"
#include "toolkit/controls.h"
#include "toolkit/text.h"
#include "toolkit/win.h"

using nlohmann::json;

static struct {
    uint32_t classId;
    DumpTextsFn fn;
} textClasses[DUMP_TEXT_CLASSES];

void DumpRegisterTexts(uint32_t classId, DumpTextsFn fn)
{
    for (auto& t : textClasses)
        if (t.classId == classId || !t.fn) {
            t.classId = classId;
            t.fn = fn;
            return;
        }
}

static void AddTexts(WinId w, json& j)
{
    for (const auto& t : textClasses) {
        if (!t.fn || t.classId != WinGetClass(w)) continue;
        const char* texts[DUMP_TEXTS_MAX];
        int n = t.fn(w, texts, DUMP_TEXTS_MAX);
        json out = json::array();
        for (int i = 0; i < n && i < DUMP_TEXTS_MAX; i++) out.push_back(texts[i] ? texts[i] : "");
        j["texts"] = out;
        return;
    }
}

static struct {
    const char* name;
    DumpSectionFn fn;
} sections[DUMP_SECTIONS];

void DumpRegisterSection(const char* name, DumpSectionFn fn)
{
    for (auto& s : sections)
        if (!s.fn || StrCmp(s.name, name) == 0) {
            s.name = name;
            s.fn = fn;
            return;
        }
}

static void AddSections(json& d)
{
    for (const auto& s : sections) {
        DumpField fields[DUMP_FIELDS_MAX];
        int n = s.fn ? s.fn(fields, DUMP_FIELDS_MAX) : 0;
        if (n <= 0) continue;
        json section = json::object();
        for (int i = 0; i < n && i < DUMP_FIELDS_MAX; i++) {
            if (fields[i].text) section[fields[i].key] = fields[i].text;
            else section[fields[i].key] = fields[i].number;
        }
        d[s.name] = section;
    }
}

static std::string Hex(uint32_t v)
{
    char text[16];
    snprintf(text, sizeof text, "0x%X", v);
    return text;
}

static json Window(WinId w)
{
    int x = 0, y = 0, width, height;
    WinGetAbsPos(w, &x, &y);   // adds the window's screen position to x, y
    int rx, ry;
    WinGetRect(w, &rx, &ry, &width, &height);
    json j = {
        {"id", w},           {"class", Hex(WinGetClass(w))}, {"title", WinGetTitle(w)},
        {"x", x},            {"y", y},                        {"width", width},
        {"height", height},  {"style", WinGetStyleOf(w)},     {"parent", WinGetParent(w)},
    };
    ControlInfo c;
    if (ControlDescribe(w, &c)) {
        switch (c.classId) {
        case CLASS_BUTTON:
            j["label"] = c.text;
            j["state"] = c.state;
            break;
        case CLASS_EDIT: j["text"] = c.text; break;
        case CLASS_LIST: {
            json items = json::array();
            int n = c.list ? ListCount(c.list) : 0;
            for (int i = 1; i <= n; i++)
                items.push_back({{"id", ListGetItemID(c.list, i)}, {"text", ListGetItemText(c.list, i)}});
            j["items"] = items;
            j["selection"] = c.state;
            break;
        }
        case CLASS_SLIDER:
            j["value"] = c.state;
            j["range"] = c.range;
            break;
        default: break;
        }
    }
    if (const char* text = MsgBoxText(w)) j["text"] = text;
    AddTexts(w, j);
    // The lines the last drawing wrote in this window, where they stand and whether they were
    // cut: what a user can read of it.
    json written = json::array();
    for (int i = 0; i < TextWrittenCount(); i++) {
        const TextWritten* t = TextWrittenAt(i);
        if (t->window != w) continue;
        written.push_back({{"text", t->text}, {"x", t->x}, {"y", t->y}, {"width", t->width}, {"height", t->height},
                           {"cut", t->cut != 0}});
    }
    if (!written.empty()) j["written"] = written;
    ViewInfo v;
    if (ViewDescribe(w, &v)) {
        j["view"] = {
            {"type", v.type},         {"displayFlags", v.displayFlags},
            {"zoom", v.zoom},         {"distance", v.distance},
            {"centre", {v.centre[0], v.centre[1], v.centre[2]}},
            {"orientation", std::vector<int>(v.orientation, v.orientation + 9)},
        };
        // The world point under the pointer in a parallel view, as its status line gives it.
        if (v.pointerValid) j["view"]["pointer"] = {v.pointer[0], v.pointer[1], v.pointer[2]};
    }
    return j;
}

// Oldest child first, each window before its children: the order they were made in.
static void Walk(WinId w, json& out, int depth)
{
    if (depth > WIN_MAX_DEPTH) return;
    for (int slot = WIN_MAX_CHILDREN - 1; slot >= 0; slot--) {
        WinId c = WinGetChild(w, slot);
        if (!c) continue;
        out.push_back(Window(c));
        Walk(c, out, depth + 1);
    }
}

std::string DumpText(void)
{
    int width = 0, height = 0;
    VideoExtent(&width, &height);
    // The scale: screen pixels each logical pixel is drawn as, one way.
    json d = {{"screen", {{"width", width}, {"height", height}, {"scale", ScreenUiScale()}}}};
    json windows = json::array();
    if (WinIsInstalled()) {
        d["modal"] = WinModal();
        d["focus"] = WinFocus();
        Walk(WinDesktop(), windows, 0);
    }
    d["windows"] = windows;
    d["tool"] = {{"mode", EditToolMode()}, {"pick", EditPickMode()}};
    d["note"] = EditCurrentNote();
    AddSections(d);
    // A name from the disk need not be UTF-8: such bytes are written as U+FFFD, not refused.
    return d.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

int DumpWrite(const char* fileName)
{
    std::string text = DumpText();
    return FileWrite(fileName, text.data(), text.size());
}
