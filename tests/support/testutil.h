// Helpers shared by the test suites: scratch folders, whole-file reads and writes, and
// running the built programs as a user would.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. With `enter` the process works inside it until then.
class TempDir {
public:
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return dir; }
    std::string file(const std::string& name) const { return dir + "/" + name; }

private:
    std::string dir;
    std::string previous;
};

bool WriteBytes(const std::string& path, const Bytes& data);
bool WriteText(const std::string& path, const std::string& text);
Bytes ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
bool PathExists(const std::string& path);

// Puts an environment variable back as it was when the object goes.
struct KeepEnv {
    const char* name;
    std::optional<std::string> value;
    explicit KeepEnv(const char* n) : name(n)
    {
        if (const char* v = getenv(n)) value = v;
    }
    ~KeepEnv() { value ? setenv(name, value->c_str(), 1) : unsetenv(name); }
};

struct RunResult {
    int exitCode;         // -1 when the program did not end normally
    std::string output;   // stdout and stderr together
    long peakKb = -1;     // the most memory the program held at once (its maximum resident set)
};
// Runs a program with arguments, in a working folder, with extra environment settings
// ("NAME=value"). Waits at most timeoutSeconds.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const std::vector<std::string>& env = {},
                     int timeoutSeconds = 120);

// Little-endian builders for hand-made file images.
void AppendU8(Bytes& b, uint8_t v);
void AppendU16(Bytes& b, uint16_t v);
void AppendU32(Bytes& b, uint32_t v);
void AppendText(Bytes& b, const std::string& s, size_t width);   // zero-padded to width

// A window class id as the dump of the screen writes it ("0x1001"): tests find windows by
// their class's name, never by a number of their own.
std::string ClassText(uint32_t classId);
