#include "support/testutil.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

TempDir::TempDir(bool enter)
{
    std::string templ = (fs::temp_directory_path() / "tolbex-test-XXXXXX").string();
    char* made = mkdtemp(templ.data());
    if (!made) abort();
    dir = made;
    if (enter) {
        previous = fs::current_path().string();
        fs::current_path(dir);
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!previous.empty()) fs::current_path(previous, ec);
    fs::remove_all(dir, ec);
}

bool WriteBytes(const std::string& path, const Bytes& data)
{
    std::ofstream f(path, std::ios::binary);
    f.write((const char*)data.data(), (std::streamsize)data.size());
    return (bool)f;
}

bool WriteText(const std::string& path, const std::string& text)
{
    return WriteBytes(path, Bytes(text.begin(), text.end()));
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path)
{
    Bytes b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

bool PathExists(const std::string& path) { return fs::exists(path); }

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const std::vector<std::string>& env,
                     int timeoutSeconds)
{
    RunResult result{-1, ""};
    std::string outPath = (fs::temp_directory_path() / ("tolbex-run-" + std::to_string(getpid()) + "-" +
                                                        std::to_string(rand()))).string();
    pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
        int fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        for (const std::string& e : env) putenv(strdup(e.c_str()));
        std::vector<char*> argv;
        argv.push_back(strdup(program.c_str()));
        for (const std::string& a : args) argv.push_back(strdup(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        pid_t r = wait4(pid, &status, WNOHANG, &usage);
        if (r == pid) {
            result.peakKb = usage.ru_maxrss;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.output = ReadText(outPath) + "\n[killed after timeout]";
            unlink(outPath.c_str());
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.output = ReadText(outPath);
    unlink(outPath.c_str());
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

void AppendU8(Bytes& b, uint8_t v) { b.push_back(v); }
void AppendU16(Bytes& b, uint16_t v)
{
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}
void AppendU32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; i++) b.push_back((uint8_t)(v >> (8 * i)));
}
void AppendText(Bytes& b, const std::string& s, size_t width)
{
    for (size_t i = 0; i < width; i++) b.push_back(i < s.size() ? (uint8_t)s[i] : 0);
}

std::string ClassText(uint32_t classId)
{
    char text[16];
    snprintf(text, sizeof text, "0x%X", (unsigned)classId);
    return text;
}
