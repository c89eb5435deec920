#include "kernel/log.h"

#include <cstdio>
#include <cstdlib>

static FILE* logFile;      // null: stderr
static int logLevel = LOG_INFO;
static LogHookFn logHook;

int LogOpen(const char* path)
{
    LogClose();
    if (!path || !*path) return 0;
    logFile = fopen(path, "a");
    return logFile ? 0 : 1;
}

void LogClose(void)
{
    if (logFile) fclose(logFile);
    logFile = nullptr;
}

void LogSetLevel(int level) { logLevel = level; }
void LogSetHook(LogHookFn hook) { logHook = hook; }

void LogVPrintf(int level, const char* fmt, va_list ap)
{
    if (logHook) {
        char line[1024];
        va_list copy;
        va_copy(copy, ap);
        vsnprintf(line, sizeof line, fmt, copy);
        va_end(copy);
        logHook(level, line);
    }
    if (level > logLevel) return;
    FILE* f = logFile ? logFile : stderr;
    vfprintf(f, fmt, ap);
    fputc('\n', f);
    // Flushed line by line: the log is read after fatal errors and by tests of finished runs.
    fflush(f);
}

void LogPrintf(int level, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    LogVPrintf(level, fmt, ap);
    va_end(ap);
}
