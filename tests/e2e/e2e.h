// The built editor run headless from scripts, as a user's automation would run it.
#pragma once
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/res.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "palette/bmp.h"
#include "support/testutil.h"
#include "toolkit/classids.h"

// Script steps at 800 x 600: launcher "Shape Editor" + menu "Object"; "World Editor"; Object's
// "Load", "Save", "Mirror X"; a name typed into the file selector; "V", "Top", "Ok" in View Setup.
inline const char* const kShapeEditorObject = "click 165 75\nwait 4\nclick 460 574\nwait 2\n";
inline const char* const kWorldEditor = "click 165 90\nwait 4\n";
inline const char* const kLoad = "click 287 559\nwait 2\n";
inline const char* const kSave = "click 287 574\nwait 2\n";
inline const char* const kMirrorX = "click 94 559\nwait 2\n";
inline std::string Choose(const std::string& name) { return "type " + name + "\nkey enter\nwait 2\n"; }
// The menu bar's "World", then the World panel's "Save" (its selector opens).
inline const char* const kWorldSave = "click 335 574\nwait 2\nclick 267 574\nwait 2\n";
// Ctrl held over each key of `keys` in turn (Ctrl("zz"): two Undos).
inline std::string Ctrl(const std::string& keys)
{
    std::string s = "keydown lctrl\n";
    for (char k : keys) s += std::string("key ") + k + "\n";
    return s + "keyup lctrl\nwait 2\n";
}
// Nodes "Add", a click in the (parallel) view at height y, "Exit".
inline std::string AddNode(int y)
{
    return "click 425 574\nwait 2\nclick 89 574\nwait 2\nclick 500 " + std::to_string(y) + "\nwait 2\nclick 15 559\nwait 2\n";
}
inline const char* const kTopView = "click 791 5\nwait 2\nclick 329 273\nclick 464 307\nwait 2\n";

// A MAT file of the three materials a monorail is built from.
inline void WriteRailMaterials(const std::string& path)
{
    ResRemove();
    ResInstall(300);
    IntMatCreate(512);
    MatMInstall();
    for (const char* name : {"Rail_Track", "Rail_Support", "Rail_Light"}) {
        MatMAdd(MatMCount());
        MatMSetName(MatMCount() - 1, name);
    }
    ASSERT_EQ(MatMSave(path.c_str()), 0);
    IntMatDestroy();
    ResRemove();
}

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
        // Recovery files of the test's own (a user's would ask first); no GL unless a test passes
        // "TOLBEX_GL=" (later wins): opening it costs each run.
        env.insert(env.begin(), "XDG_STATE_HOME=" + dir.file("state"));
        env.insert(env.begin(), "TOLBEX_GL=off");
        RunResult r = RunProgram(TOLBEX_BIN, args, dir.path(), env);
        log = ReadText(dir.file("log.txt"));
        return r;
    }
    // A run that must end with this exit code (Runs: 0); a failure shows its output and log.
    ::testing::AssertionResult Ends(int code, const std::string& script, std::vector<std::string> extra = {},
                                    std::vector<std::string> env = {})
    {
        RunResult r = Run(script, extra, env);
        if (r.exitCode == code) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "exit code " << r.exitCode << "\n" << r.output << log;
    }
    ::testing::AssertionResult Runs(const std::string& script, std::vector<std::string> extra = {},
                                    std::vector<std::string> env = {})
    {
        return Ends(0, script, extra, env);
    }
    std::string log;
    // Whether the last run's log holds a text; the log is shown when an expectation fails.
    ::testing::AssertionResult Logged(const std::string& text) const
    {
        return (log.find(text) != std::string::npos ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
               << log;
    }
    nlohmann::json Dump(const std::string& name) const { return nlohmann::json::parse(ReadText(dir.file(name))); }
    // What `tolbex-cli GROUP info --json` says of a file; null when it fails.
    nlohmann::json CliInfo(const char* group, const std::string& path) const
    {
        RunResult r = RunProgram(TOLBEX_CLI_BIN, {group, "info", "--json", path}, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return r.exitCode == 0 ? nlohmann::json::parse(r.output) : nlohmann::json();
    }
    // A sphere made by tolbex-cli in the test's folder; its bytes.
    Bytes Sphere(const std::string& name, const char* x, const char* y, const char* z) const
    {
        RunResult r = RunProgram(TOLBEX_CLI_BIN, {"shape", "sphere", x, y, z, name}, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return ReadBytes(dir.file(name));
    }
};

// Dumps: the first window of a class (and label); the text of the first field under a class's
// first window (and whether it has the focus); the view's title.
inline const nlohmann::json* FindWindow(const nlohmann::json& d, const std::string& cls, const std::string& label = "")
{
    for (const nlohmann::json& w : d["windows"])
        if (w["class"] == cls && (label.empty() || (w.contains("label") && w["label"] == label))) return &w;
    return nullptr;
}
const nlohmann::json* FindWindow(nlohmann::json&&, const std::string&, const std::string& = "") = delete;   // would dangle

inline std::string FieldOf(const nlohmann::json& d, const std::string& cls, int* focused = nullptr)
{
    int parent = -1;
    for (const nlohmann::json& w : d["windows"]) {
        if (w["class"] == cls && parent < 0) parent = w["id"];
        if (w["class"] == ClassText(CLASS_EDIT) && w["parent"] == parent) {
            if (focused) *focused = d["focus"] == w["id"];
            return w["text"];
        }
    }
    return "<none>";
}

inline std::string ViewTitle(const nlohmann::json& d)
{
    const nlohmann::json* view = FindWindow(d, ClassText(CLASS_VIEW));
    return view ? (*view)["title"].get<std::string>() : "<none>";
}

// How often a text occurs in another (a log's lines, say).
inline int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}


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
