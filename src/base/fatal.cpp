#include "base/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "base/log.h"

static struct {
    ExitFn exits[EXIT_LIST_MAX];
    int exitCount;
    int inFatal;
    FatalHookFn hook;
    FatalEndFn end;
} fatal;

void RegisterExit(ExitFn fn)
{
    for (int i = 0; i < fatal.exitCount; i++)
        if (fatal.exits[i] == fn) return;
    if (fatal.exitCount >= EXIT_LIST_MAX) FatalError("RegisterExit: RemoveList is full!");
    fatal.exits[fatal.exitCount++] = fn;
}

void ExitListRun(void)
{
    // Newest first; each removal may itself be listed only once.
    while (fatal.exitCount > 0) {
        ExitFn fn = fatal.exits[--fatal.exitCount];
        fn();
    }
}

void FatalError(const char* fmt, ...)
{
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);

    // Taken off before it runs: a fatal error inside it must not call it again.
    if (FatalHookFn hook = fatal.hook) {
        fatal.hook = nullptr;
        if (!fatal.inFatal) hook(text);
    }
    // A removal that fails in turn must not run the exit list a second time.
    if (!fatal.inFatal) {
        fatal.inFatal = 1;
        ExitListRun();
    }
    LogPrintf(LOG_ERROR, "FATAL: %s", text);
    if (fatal.end) fatal.end(text);
    LogClose();
    _Exit(1);
}

void FatalSetHook(FatalHookFn hook) { fatal.hook = hook; }
void FatalSetEnd(FatalEndFn fn) { fatal.end = fn; }
