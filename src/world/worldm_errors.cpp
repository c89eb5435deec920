// The texts of the result codes of world and editor operations: the error table that the error
// box (frontend/msgbox.cpp) and the command-line tool show.
#include "world/worldm.h"

#include <cstdarg>
#include <cstdio>

#include "base/log.h"

const char* WorldMErrorText(int code)
{
    static const struct {
        int code;
        const char* text;
    } texts[] = {
        // Keyed by the names: the numbers are the file formats' and the callers', not this table's.
        {WORLD_ERR_ILLEGAL_NAME, "Illegal name."},
        {WORLD_ERR_INCORRECT_ID, "Incorrect ID."},
        {WORLD_ERR_DUPLICATE_NAME, "Duplicate name."},
        {WORLD_ERR_OUT_OF_SPACE, "Out of space."},
        {WORLD_ERR_SHAPE_MISSING, "Shape definition missing."},
        {WORLD_ERR_LOAD, "Failed to load WLE file."},
        {WORLD_ERR_SAVE, "Failed to save WLE file."},
        {WORLD_ERR_SAVE_SHP, "Failed to save SHP file."},
        {WORLD_ERR_SAVE_WHP, "Failed to save WHP file."},
        {WORLD_ERR_ABORTED, "Aborted by user."},
        {WORLD_ERR_MEMORY, "Out of memory."},
        {WORLD_ERR_NO_SELECTION, "No shapes selected."},
        {WORLD_ERR_BAD_DYNAMIC, "Bad Dynamic Shape Position(s)."},
        {WORLD_ERR_NO_BASE_SHAPE, "No Base Shape"},
        {WORLD_ERR_RUNTIME_SHAPE_MISSING, "Shape Missing"},
        {WORLD_ERR_NODES_REQUIRED, "Net Nodes Required."},
        {WORLD_ERR_NO_NODES_SELECTED, "No Net Nodes Selected."},
        {WORLD_ERR_NET_NAME_IN_USE, "Net Name In Use"},
        {WORLD_ERR_NODE_TOO_SHORT, "Net Node Too Short"},
        {WORLD_ERR_NODE_TOO_LOW, "Net Node Too Low"},
        {WORLD_ERR_TOO_MANY_NET_SHAPES, "Too Many Net Shapes"},
        {WORLD_ERR_PARENT_MISSING, "Net Build - Parent Missing"},
        {WORLD_ERR_SHAPES_MISSING, "Shapes Missing"},
    };
    for (const auto& t : texts)
        if (t.code == code) return t.text;
    return "Unknown Error Code!";
}

void WorldMMessage::Set(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    LogPrintf(LOG_INFO, "WORLD: %s", text);
}
