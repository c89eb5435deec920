// Developer log: one sink for every subsystem's diagnostic lines. Lines are prefixed by the
// caller ("RES:", "INPUT:") and go to stderr, or to the file named by --log / TOLBEX_LOG.
// Every function may be called from any thread: lines are written whole, one at a time, and
// the hook is called under the same lock (it may log in turn, on its own thread).
#pragma once
#include <cstdarg>

enum { LOG_ERROR = 0, LOG_WARN = 1, LOG_INFO = 2, LOG_DEBUG = 3 };

// Sends the log to a file (appending) instead of stderr; null or "" restores stderr.
// Returns 0; LOG_OPEN_FAILED when the file cannot be opened; LOG_OPEN_NOT_TEXT when it
// exists and holds binary data (a shape or world named by mistake is never appended to). The
// log then stays on stderr.
enum { LOG_OPEN_FAILED = 1, LOG_OPEN_NOT_TEXT = 2 };
int LogOpen(const char* path);
void LogClose(void);
// Lines above this level are dropped (-1 drops every line); the default keeps everything up
// to LOG_INFO.
void LogSetLevel(int level);
// Writes one line; a newline is added.
void LogPrintf(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void LogVPrintf(int level, const char* fmt, va_list ap);
// Called with every line, whatever the level and the sink; null removes it. The command-line
// tool keeps its log quiet but must still report a fatal error in its one error line.
typedef void (*LogHookFn)(int level, const char* line);
void LogSetHook(LogHookFn hook);
