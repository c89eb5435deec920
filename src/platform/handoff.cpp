// The running copy's door for files opened from elsewhere (a second `tolbex FILE`, the file
// manager): a Unix stream socket beside the single-copy lock. One request a connection; the
// running copy takes it between frames and answers once it has decided, so no request is
// ever dropped without the sender hearing of it.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "platform/platform.h"

static struct {
    int listenFd = -1;
    int clientFd = -1;   // the connection whose request waits for its reply
    char path[sizeof(sockaddr_un::sun_path)];
} handoff;

static int Address(const char* path, sockaddr_un* addr)
{
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (!path || strlen(path) >= sizeof addr->sun_path) return 1;
    strcpy(addr->sun_path, path);
    return 0;
}

static uint64_t NowMs(void)
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

// Reads one message up to NUL or the end of the connection, waiting at most until `until`.
// 0 with the text in out; 1 on a timeout, an error or a message too long.
static int ReadMessage(int fd, char* out, size_t size, uint64_t until)
{
    size_t n = 0;
    for (;;) {
        uint64_t now = NowMs();
        if (now >= until) return 1;
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, (int)(until - now));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return 1;
        if (n + 1 >= size) return 1;
        ssize_t got = read(fd, out + n, size - 1 - n);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return 1;
        char* end = (char*)memchr(out + n, 0, (size_t)got);
        n += (size_t)got;
        if (got == 0 || end) {
            out[end ? (size_t)(end - out) : n] = 0;
            return 0;
        }
    }
}

static void WriteAll(int fd, const char* text, size_t n)
{
    while (n) {
        ssize_t put = send(fd, text, n, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        text += put;
        n -= (size_t)put;
    }
}

int HandoffListen(const char* path)
{
    HandoffClose();
    sockaddr_un addr;
    if (Address(path, &addr)) {
        LogPrintf(LOG_WARN, "HANDOFF: the socket's path %s is too long; files opened elsewhere go unheard", path);
        return 1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return 1;
    // Whoever made it last is gone: we hold the lock.
    unlink(path);
    // Only the user's own starts may hand in files, also where the folder is shared (/tmp).
    mode_t mask = umask(077);
    int bound = bind(fd, (sockaddr*)&addr, sizeof addr);
    umask(mask);
    if (bound != 0 || listen(fd, 8) != 0) {
        LogPrintf(LOG_WARN, "HANDOFF: cannot listen at %s (%s); files opened elsewhere go unheard", path,
                  strerror(errno));
        close(fd);
        return 1;
    }
    handoff.listenFd = fd;
    strcpy(handoff.path, path);
    return 0;
}

void HandoffClose(void)
{
    if (handoff.clientFd >= 0) {
        WriteAll(handoff.clientFd, "NO Tolbex is closing", 21);
        close(handoff.clientFd);
        handoff.clientFd = -1;
    }
    if (handoff.listenFd < 0) return;
    close(handoff.listenFd);
    handoff.listenFd = -1;
    unlink(handoff.path);
}

int HandoffTake(char* request, size_t size)
{
    if (handoff.listenFd < 0 || handoff.clientFd >= 0 || !request || !size) return 0;
    for (;;) {
        int fd = accept4(handoff.listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return 0;   // nobody waiting (or a failed connection: the next turn tries again)
        // The sender writes its request before it connects its waiting: a short wait suffices.
        if (ReadMessage(fd, request, size, NowMs() + 1000) != 0) {
            WriteAll(fd, "NO unreadable request", 22);
            close(fd);
            continue;
        }
        handoff.clientFd = fd;
        return 1;
    }
}

void HandoffReply(const char* reply)
{
    if (handoff.clientFd < 0) return;
    WriteAll(handoff.clientFd, reply, strlen(reply) + 1);
    close(handoff.clientFd);
    handoff.clientFd = -1;
}

int HandoffSend(const char* path, const char* request, char* reply, size_t size)
{
    if (!reply || !size) return 1;
    reply[0] = 0;
    sockaddr_un addr;
    if (Address(path, &addr)) {
        snprintf(reply, size, "the socket's path is too long");
        return 1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        snprintf(reply, size, "no socket (%s)", strerror(errno));
        return 1;
    }
    if (connect(fd, (sockaddr*)&addr, sizeof addr) != 0) {
        snprintf(reply, size, "nothing listens at %s (%s)", path, strerror(errno));
        close(fd);
        return 1;
    }
    WriteAll(fd, request, strlen(request) + 1);
    int failed = ReadMessage(fd, reply, size, NowMs() + HANDOFF_ANSWER_MS);
    close(fd);
    if (failed || !reply[0]) {
        snprintf(reply, size, "it did not answer within %d s", HANDOFF_ANSWER_MS / 1000);
        return 1;
    }
    return 0;
}
