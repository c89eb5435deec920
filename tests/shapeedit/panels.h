// The Shape Editor running in the test's own process with its panels: buttons clicked where a
// dump shows them, fields filled and answered with keys, the view's messages sent by hand.
#pragma once
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "base/bytes.h"
#include "frontend/dump.h"
#include "frontend/panels.h"
#include "shapes/mesh.h"
#include "shapes/shape.h"
#include "shapes/shape_fixture.h"
#include "shapes/shapem_edit.h"
#include "toolkit/win.h"

using nlohmann::json;

class Panels : public Run, public EditBuffer {
protected:
    void SetUp() override { StartEditor(EDITOR_SHAPE); }

    static json Dump() { return DumpJson(); }
    static WinId Id(const std::string& cls, const std::string& label = "")
    {
        json d = Dump();
        const json* w = Find(d, cls, label);
        return w ? (WinId)(*w)["id"].get<int>() : 0;
    }
    // Clicks the middle of the first button with this label (of that parent, when given: the
    // menu bar's "Polygons" is not the Mesh panel's).
    static void Click(const std::string& label, WinId parent = 0)
    {
        json d = Dump();
        const json* b = nullptr;
        for (const json& w : d["windows"])
            if (!b && w["class"] == ClassText(CLASS_BUTTON) && w["label"] == label && (!parent || w["parent"] == parent)) b = &w;
        ASSERT_NE(b, nullptr) << label;
        ClickAt((*b)["x"].get<int>() + (*b)["width"].get<int>() / 2, (*b)["y"].get<int>() + 5);
    }
    // Where the first button with this label stands: x, y.
    static std::vector<int> ButtonAt(const std::string& label)
    {
        json d = Dump();
        const json* b = Find(d, ClassText(CLASS_BUTTON), label);
        return b ? std::vector<int>{(*b)["x"], (*b)["y"]} : std::vector<int>{};
    }
    // The labels of a window's buttons, oldest first.
    static std::vector<std::string> Buttons(WinId parent)
    {
        std::vector<std::string> out;
        json d = Dump();
        for (const json& w : d["windows"])
            if (w["parent"] == parent && w["class"] == ClassText(CLASS_BUTTON)) out.push_back(w["label"]);
        return out;
    }
    static void Key(int scan) { TapKey(scan); }
    // Replaces a field's text as typing would.
    static void Fill(WinId field, const char* text)
    {
        WinParam p1 = (WinParam)text, p2 = 0;
        WinSendMessage(field, WM_EDITSETTEXT, &p1, &p2);
    }
    // The dialog's fields in the order they were made.
    static std::vector<WinId> Fields(WinId dialog)
    {
        std::vector<WinId> out;
        json d = Dump();
        for (const json& w : d["windows"])
            if (w["parent"] == dialog && w["class"] == ClassText(CLASS_EDIT)) out.push_back((WinId)w["id"].get<int>());
        return out;
    }
    static void Send(WinId to, int message, WinParam p1, WinParam p2) { WinSendMessage(to, message, &p1, &p2); }

    static std::vector<int> Selected(bool polygons)
    {
        std::vector<int> out;
        int n = polygons ? ShapePolygonCount(B()) : ShapeVertexCount(B());
        for (int i = 0; i < n; i++)
            if (polygons ? (GetU16(ShapePolygon(B(), i), POLY_FLAGS) & PF_SELECTED)
                         : (ShapeVertexFlags(B(), i) & VF_SELECTED))
                out.push_back(i);
        return out;
    }
};
