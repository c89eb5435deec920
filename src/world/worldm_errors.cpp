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
        {-1, "Illegal name."},
        {-2, "Incorrect ID."},
        {-3, "Duplicate name."},
        {-4, "Out of space."},
        {-5, "Shape definition missing."},
        {-6, "Failed to load WLE file."},
        {-7, "Failed to save WLE file."},
        {-9, "Failed to save SHP file."},
        {-10, "Failed to save WHP file."},
        {-11, "Aborted by user."},
        {-12, "Out of memory."},
        {-13, "No shapes selected."},
        {-14, "Bad Dynamic Shape Position(s)."},
        {-15, "No Base Shape"},
        {-16, "Shape Missing"},
        {-17, "Net Nodes Required."},
        {-19, "No Net Nodes Selected."},
        {-20, "Net Name In Use"},
        {-21, "Net Node Too Short"},
        {-22, "Net Node Too Low"},
        {-23, "Too Many Net Shapes"},
        {-24, "Net Build - Parent Missing"},
        {-25, "Shapes Missing"},
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
