// The built editor run headless from scripts, as a user's automation would run it.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kernel/util/bytes.h"
#include "palette/bmp.h"
#include "support/testutil.h"

class Headless : public ::testing::Test {
protected:
    TempDir dir;
    RunResult Run(const std::string& script, std::vector<std::string> extra = {},
                  std::vector<std::string> env = {})
    {
        WriteText(dir.file("run.txt"), script);
        // The log is appended to: each run reads only its own.
        std::remove(dir.file("log.txt").c_str());
        std::vector<std::string> args = {"--headless", "--script", "run.txt", "--log", "log.txt"};
        args.insert(args.end(), extra.begin(), extra.end());
        env.push_back("TOLBEX_LOCK_DIR=" + dir.path());
        // Recovery files of the test's own, never the user's (a left-over one would ask
        // first); a test may name another folder.
        env.insert(env.begin(), "XDG_STATE_HOME=" + dir.file("state"));
        RunResult r = RunProgram(TOLBEX_BIN, args, dir.path(), env);
        log = ReadText(dir.file("log.txt"));
        return r;
    }
    std::string log;
};


// A screenshot read back: width, height and RGB rows from the top.
struct Shot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
    bool black(int x, int y) const { return at(x, y)[0] == 0 && at(x, y)[1] == 0 && at(x, y)[2] == 0; }
};

inline Shot ReadShot(const std::string& path)
{
    Shot s;
    Bytes b = ReadBytes(path);
    if (b.empty() || !BmpCheckLength(b.data(), b.size(), &s.width, &s.height)) return Shot{};
    s.rgb.resize((size_t)s.width * s.height * 3);
    BmpDecode(b.data(), b.size(), s.rgb.data(), s.rgb.size());
    return s;
}
