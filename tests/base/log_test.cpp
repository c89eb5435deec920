#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
#include "support/testutil.h"

namespace {

// Counted by the hook without a lock of its own: the log's lock is what keeps it whole.
std::map<std::string, int> logTestHookLines;
int logTestHookCalls;

void LogTestCountingHook(int, const char* line)
{
    logTestHookCalls++;
    logTestHookLines[std::string(line).substr(0, 2)]++;
}

std::vector<std::string> LogTestReadLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct LogToFile : testing::Test {
    TempDir dir;
    std::string path = dir.file("threads.log");
    void SetUp() override
    {
        ASSERT_EQ(0, LogOpen(path.c_str()));
        LogSetLevel(LOG_INFO);
    }
    void TearDown() override
    {
        LogSetHook(nullptr);
        LogClose();
    }
};

}  // namespace

// Several threads log at once (as the autosave worker does beside the main thread): every line
// reaches the file whole, none is lost, and the hook sees each one exactly once.
TEST_F(LogToFile, LinesFromSeveralThreadsStayWholeAndCounted)
{
    logTestHookLines.clear();
    logTestHookCalls = 0;
    LogSetHook(LogTestCountingHook);
    const int kThreads = 4, kLines = 400;
    // Long lines: a line written in pieces by two threads at once would show up mixed.
    const std::string tail(300, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([t, &tail] {
            for (int i = 0; i < kLines; i++) LogPrintf(LOG_INFO, "T%d line %04d %s end", t, i, tail.c_str());
        });
    for (auto& thread : threads) thread.join();
    LogSetHook(nullptr);

    std::vector<std::string> lines = LogTestReadLines(path);
    ASSERT_EQ(lines.size(), (size_t)(kThreads * kLines));
    std::map<int, int> nextOf;
    for (const std::string& line : lines) {
        int t = -1, i = -1;
        char rest[400] = {};
        ASSERT_EQ(3, sscanf(line.c_str(), "T%d line %d %399s", &t, &i, rest)) << line;
        ASSERT_EQ(line, "T" + std::to_string(t) + " line " + (i < 10 ? "000" : i < 100 ? "00" : i < 1000 ? "0" : "") +
                            std::to_string(i) + " " + tail + " end");
        // Each thread's own lines keep their order.
        EXPECT_EQ(nextOf[t], i) << "thread " << t;
        nextOf[t] = i + 1;
    }
    EXPECT_EQ(logTestHookCalls, kThreads * kLines);
    for (int t = 0; t < kThreads; t++) EXPECT_EQ(logTestHookLines["T" + std::to_string(t)], kLines);
}

// A hook may log in turn (on the thread that called it) without waiting for itself.
static void LogTestHookThatLogs(int, const char* line)
{
    LogSetHook(nullptr);
    LogPrintf(LOG_INFO, "seen: %s", line);
}

TEST_F(LogToFile, HookMayLogInTurn)
{
    LogSetHook(LogTestHookThatLogs);
    std::thread worker([] { LogPrintf(LOG_INFO, "from the worker"); });
    worker.join();
    EXPECT_EQ(LogTestReadLines(path), (std::vector<std::string>{"seen: from the worker", "from the worker"}));
}

// The model reader runs in a forked child, which logs, while another thread may be logging:
// the child must not wait for a lock that its parent's other thread held at the fork.
TEST_F(LogToFile, ForkedChildLogsWhileAnotherThreadIsLogging)
{
    std::atomic<bool> stop{false};
    std::thread busy([&stop] {
        while (!stop) LogPrintf(LOG_DEBUG, "busy");   // above the level: taken and dropped
    });
    bool allDone = true;
    for (int round = 0; round < 20 && allDone; round++) {
        pid_t pid = fork();
        if (pid == 0) {
            LogPrintf(LOG_INFO, "child %d", round);
            _exit(0);
        }
        ASSERT_GT(pid, 0);
        int status = -1;
        bool done = false;
        for (int waited = 0; waited < 500 && !done; waited++) {
            if (waitpid(pid, &status, WNOHANG) == pid) done = true;
            else std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!done) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        allDone = done && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    stop = true;
    busy.join();
    EXPECT_TRUE(allDone) << "a forked child hung on the log's lock";
}

// A log named by mistake after a document (a shape, a world) is refused and the document kept
// to the byte; an existing text log is appended to.
TEST_F(LogToFile, ABinaryFileIsNeverAppendedTo)
{
    LogClose();
    const std::string shape = dir.file("BALL.SHP"), text = dir.file("old.log");
    const std::string bytes("\x10\0\0\0\x54\x11 shape", 12);
    std::ofstream(shape, std::ios::binary) << bytes;
    std::ofstream(text) << "earlier line\n";
    EXPECT_EQ(LogOpen(shape.c_str()), LOG_OPEN_NOT_TEXT);
    LogPrintf(LOG_INFO, "TEST: to stderr");
    std::ifstream in(shape, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
    EXPECT_EQ(LogOpen(text.c_str()), 0);
    LogPrintf(LOG_INFO, "TEST: appended");
    LogClose();
    const std::vector<std::string> lines = LogTestReadLines(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_NE(lines[1].find("TEST: appended"), std::string::npos);
    EXPECT_EQ(LogOpen(dir.file("no/such/folder/x.log").c_str()), LOG_OPEN_FAILED);
}
