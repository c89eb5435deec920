// The texts of the result codes of world and editor operations: the error table that the error
// box (frontend/msgbox.cpp) and the command-line tool show.
#include "world/worldm.h"

const char* WorldMErrorText(int code)
{
    static const struct {
        int code;
        const char* text;
    } texts[] = {
        // Keyed by the names: the numbers are the file formats' and the callers', not this table's.
        {WM_ERR_ILLEGAL_NAME, "Illegal name."},
        {WM_ERR_INCORRECT_ID, "Incorrect ID."},
        {WM_ERR_DUPLICATE_NAME, "Duplicate name."},
        {WM_ERR_OUT_OF_SPACE, "Out of space."},
        {WM_ERR_SHAPE_MISSING, "Shape definition missing."},
        {WM_ERR_LOAD, "Failed to load WLE file."},
        {WM_ERR_SAVE, "Failed to save WLE file."},
        {WM_ERR_SAVE_SHP, "Failed to save SHP file."},
        {WM_ERR_SAVE_WHP, "Failed to save WHP file."},
        {WM_ERR_ABORTED, "Aborted by user."},
        {WM_ERR_MEMORY, "Out of memory."},
        {WM_ERR_NO_SELECTION, "No shapes selected."},
        {WM_ERR_BAD_DYNAMIC, "Bad Dynamic Shape Position(s)."},
        {WM_ERR_NO_BASE_SHAPE, "No Base Shape"},
        {WM_ERR_RUNTIME_SHAPE_MISSING, "Shape Missing"},
        {WM_ERR_NODES_REQUIRED, "Net Nodes Required."},
        {WM_ERR_NO_NODES_SELECTED, "No Net Nodes Selected."},
        {WM_ERR_NET_NAME_IN_USE, "Net Name In Use"},
        {WM_ERR_NODE_TOO_SHORT, "Net Node Too Short"},
        {WM_ERR_NODE_TOO_LOW, "Net Node Too Low"},
        {WM_ERR_TOO_MANY_NET_SHAPES, "Too Many Net Shapes"},
        {WM_ERR_PARENT_MISSING, "Net Build - Parent Missing"},
        {WM_ERR_SHAPES_MISSING, "Shapes Missing"},
    };
    for (const auto& t : texts)
        if (t.code == code) return t.text;
    return "Unknown Error Code!";
}
