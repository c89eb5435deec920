#include "platform/sandbox.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define TOLBEX_SANDBOX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLBEX_SANDBOX_ASAN 1
#endif
#endif

enum {
    STATUS_OK = 0,
    STATUS_REFUSED = 1,
    STATUS_NO_MEMORY = 2,
    CHILD_EXIT_WRITE_FAILED = 3,
};

bool SandboxLimitsMemory(void)
{
#ifdef TOLBEX_SANDBOX_ASAN
    return false;
#else
    return true;
#endif
}

static bool WriteAll(int fd, const void* data, size_t n)
{
    const uint8_t* p = (const uint8_t*)data;
    while (n) {
        ssize_t k = write(fd, p, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= (size_t)k;
    }
    return true;
}

// The child: limits, silence, the work, and its result down the pipe as a status byte, a
// 64-bit length and the bytes. It never returns.
[[noreturn]] static void Child(int fd, SandboxWork work, const void* arg, const SandboxLimits& limits)
{
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
    }
    rlimit cpu{(rlim_t)limits.seconds, (rlim_t)limits.seconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    rlimit core{0, 0};
    setrlimit(RLIMIT_CORE, &core);
    if (SandboxLimitsMemory()) {
        rlimit as{(rlim_t)limits.memoryBytes, (rlim_t)limits.memoryBytes};
        setrlimit(RLIMIT_AS, &as);
    }
    std::vector<uint8_t> out;
    std::string why;
    uint8_t status;
    try {
        status = work(arg, out, why) == 0 ? STATUS_OK : STATUS_REFUSED;
    } catch (const std::bad_alloc&) {
        status = STATUS_NO_MEMORY;
        out.clear();
        out.shrink_to_fit();
    } catch (...) {
        status = STATUS_REFUSED;
        why = "the reader gave up on it";
    }
    const std::vector<uint8_t>* body = &out;
    std::vector<uint8_t> text;
    if (status != STATUS_OK) {
        text.assign(why.begin(), why.end());
        body = &text;
    }
    uint64_t n = body->size();
    bool ok = WriteAll(fd, &status, 1) && WriteAll(fd, &n, sizeof n) && WriteAll(fd, body->data(), body->size());
    // No exit handlers and no leak report: the parent owns every one of them.
    _exit(ok ? 0 : CHILD_EXIT_WRITE_FAILED);
}

int SandboxRun(SandboxWork work, const void* arg, const SandboxLimits& limits, std::vector<uint8_t>& out,
               std::string& why)
{
    out.clear();
    why.clear();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        why = std::string("no reader process could be started (") + strerror(errno) + ")";
        return 1;
    }
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        why = std::string("no reader process could be started (") + strerror(errno) + ")";
        close(fds[0]);
        close(fds[1]);
        return 1;
    }
    if (pid == 0) {
        close(fds[0]);
        Child(fds[1], work, arg, limits);
    }
    close(fds[1]);

    // Read everything the child sends until it closes the pipe or its time is up.
    std::vector<uint8_t> got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.seconds);
    bool timedOut = false;
    uint8_t buffer[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int r = poll(&p, 1, (int)left.count());
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            timedOut = true;
            break;
        }
        ssize_t k = read(fds[0], buffer, sizeof buffer);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break;
        got.insert(got.end(), buffer, buffer + k);
    }
    close(fds[0]);
    if (timedOut) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL))) {
        why = "reading it took longer than " + std::to_string(limits.seconds) + " seconds";
        return 1;
    }
    uint64_t n = 0;
    bool whole = got.size() >= 1 + sizeof n;
    if (whole) {
        memcpy(&n, got.data() + 1, sizeof n);
        whole = n == got.size() - 1 - sizeof n;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !whole) {
        // An allocation refused by the limit ends in a crash more often than in bad_alloc.
        why = SandboxLimitsMemory() ? "it made the reader crash or pass its memory limit of " +
                                          std::to_string(limits.memoryBytes >> 20) + " MiB"
                                    : "it made the reader crash";
        return 1;
    }
    const uint8_t* body = got.data() + 1 + sizeof n;
    if (got[0] == STATUS_NO_MEMORY) {
        why = "reading it needs more than " + std::to_string(limits.memoryBytes >> 20) + " MiB of memory";
        return 1;
    }
    if (got[0] != STATUS_OK) {
        why.assign((const char*)body, (size_t)n);
        if (why.empty()) why = "the reader refused it";
        return 1;
    }
    out.assign(body, body + n);
    return 0;
}
