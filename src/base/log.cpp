#include "base/log.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static FILE* logFile;      // null: stderr
static int logLevel = LOG_INFO;
static LogHookFn logHook;

// One lock over the sink, the level and the hook: the autosave worker logs while the main
// thread does. Recursive, so that a hook may log in turn; taken across a fork and made anew in
// the child (the sandbox's reader logs there, whatever thread held the lock at the fork).
static pthread_mutex_t logLock;
static pthread_once_t logLockOnce = PTHREAD_ONCE_INIT;

static void MakeLock(void)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&logLock, &attr);
    pthread_mutexattr_destroy(&attr);
}

static void LockBeforeFork(void) { pthread_mutex_lock(&logLock); }
static void UnlockAfterFork(void) { pthread_mutex_unlock(&logLock); }

static void InitLock(void)
{
    MakeLock();
    pthread_atfork(LockBeforeFork, UnlockAfterFork, MakeLock);
}

namespace {
struct LogGuard {
    LogGuard()
    {
        pthread_once(&logLockOnce, InitLock);
        pthread_mutex_lock(&logLock);
    }
    ~LogGuard() { pthread_mutex_unlock(&logLock); }
    LogGuard(const LogGuard&) = delete;
    LogGuard& operator=(const LogGuard&) = delete;
};
}  // namespace

static void CloseLocked(void)
{
    if (logFile) fclose(logFile);
    logFile = nullptr;
}

int LogOpen(const char* path)
{
    LogGuard guard;
    CloseLocked();
    if (!path || !*path) return 0;
    // A file that starts with a NUL byte in its first block is some document, not a log.
    if (FILE* old = fopen(path, "rb")) {
        unsigned char head[512];
        size_t n = fread(head, 1, sizeof head, old);
        fclose(old);
        if (memchr(head, 0, n)) return LOG_OPEN_NOT_TEXT;
    }
    logFile = fopen(path, "a");
    return logFile ? 0 : LOG_OPEN_FAILED;
}

void LogClose(void)
{
    LogGuard guard;
    CloseLocked();
}

void LogSetLevel(int level)
{
    LogGuard guard;
    logLevel = level;
}

void LogSetHook(LogHookFn hook)
{
    LogGuard guard;
    logHook = hook;
}

void LogVPrintf(int level, const char* fmt, va_list ap)
{
    // The hook and the sink see each line whole and in one order, whatever thread writes it.
    LogGuard guard;
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
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text(n > 0 ? (size_t)n + 1 : 1, '\0');
    if (n > 0) vsnprintf(text.data(), text.size(), fmt, ap);
    text.resize(n > 0 ? (size_t)n : 0);
    // Names from files reach the log: their control bytes (an escape sequence) are shown as
    // \xNN, never sent to the terminal the log may be on. A line break stays a line break.
    std::string line;
    for (char ch : text) {
        unsigned char c = (unsigned char)ch;
        if ((c < 32 && c != '\n' && c != '\t') || c == 127) {
            static const char kHex[] = "0123456789ABCDEF";
            line += "\\x";
            line += kHex[c >> 4];
            line += kHex[c & 15];
        } else {
            line += ch;
        }
    }
    fputs(line.c_str(), f);
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
