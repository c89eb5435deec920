// Refusals of the shapes subsystem: one reason text, read by the caller right after the
// refusal.
#include "shapes/refusal.h"

#include <cstdarg>
#include <cstdio>

#include "base/log.h"

static char reason[256];

int ShapeRefuse(const char* tag, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(reason, sizeof reason, fmt, ap);
    va_end(ap);
    LogPrintf(LOG_WARN, "%s: %s", tag, reason);
    return 1;
}

const char* ShapeRefusal(void) { return reason; }
