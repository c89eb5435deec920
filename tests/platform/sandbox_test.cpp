// The child process that runs third-party readers: its answer comes back whole, and a crash,
// a hang or a runaway allocation there is a refusal here, never the end of this process.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/sandbox.h"

static int Echo(const void* arg, std::vector<uint8_t>& out, std::string&)
{
    size_t n = *(const size_t*)arg;
    out.resize(n);
    for (size_t i = 0; i < n; i++) out[i] = (uint8_t)(i * 7 + i / 251);
    printf("noise on stdout\n");
    return 0;
}

static int Refuse(const void*, std::vector<uint8_t>& out, std::string& why)
{
    out.assign(10, 1);
    why = "it has no faces";
    return 1;
}

static int Crash(const void*, std::vector<uint8_t>&, std::string&)
{
    raise(SIGSEGV);
    return 0;
}

static int Hang(const void*, std::vector<uint8_t>&, std::string&)
{
    for (;;) pause();
}

static int Greedy(const void*, std::vector<uint8_t>& out, std::string&)
{
    for (int i = 0; i < 64; i++) {
        std::vector<uint8_t> block((size_t)1 << 28, 1);   // 256 MiB a step, touched
        out.push_back(block[i]);
        new std::vector<uint8_t>(std::move(block));        // kept: the child ends anyway
    }
    return 0;
}

TEST(Sandbox, AnswersRefusalsAndFailures)
{
    std::vector<uint8_t> out;
    std::string why;
    // More than a pipe holds at once, so the parent must read while the child writes.
    size_t n = 300000;
    ASSERT_EQ(0, SandboxRun(Echo, &n, SandboxLimits{}, out, why)) << why;
    ASSERT_EQ(n, out.size());
    bool same = true;
    for (size_t i = 0; i < n; i++) same = same && out[i] == (uint8_t)(i * 7 + i / 251);
    EXPECT_TRUE(same);

    EXPECT_EQ(1, SandboxRun(Refuse, nullptr, SandboxLimits{}, out, why));
    EXPECT_EQ("it has no faces", why);
    EXPECT_TRUE(out.empty()) << "a refusal's bytes are not the answer";

    EXPECT_EQ(1, SandboxRun(Crash, nullptr, SandboxLimits{}, out, why));
    EXPECT_NE(std::string::npos, why.find("crash")) << why;

    SandboxLimits quick;
    quick.seconds = 1;
    EXPECT_EQ(1, SandboxRun(Hang, nullptr, quick, out, why));
    EXPECT_EQ("reading it took longer than 1 seconds", why);
}

TEST(Sandbox, MemoryLimit)
{
    if (!SandboxLimitsMemory()) GTEST_SKIP() << "no memory limit under AddressSanitizer (its shadow takes terabytes)";
    SandboxLimits small;
    small.memoryBytes = 512ull << 20;
    std::vector<uint8_t> out;
    std::string why;
    EXPECT_EQ(1, SandboxRun(Greedy, nullptr, small, out, why));
    EXPECT_NE(std::string::npos, why.find("512 MiB")) << why;
}
