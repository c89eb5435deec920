// tolbex-cli world render: a runtime world as its display shows it from a camera, to a picture.
// A WLD is installed as it is (its WXP archive beside it); a WLE is first saved as a runtime
// world in a scratch folder, exactly as the World panel's "Save Runtime" does, so a designer
// sees the export without the game.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/maths.h"
#include "cli.h"
#include "kernel/kernel.h"
#include "materials/matm.h"
#include "palette/palm.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "render/gldriver.h"
#include "render/softdriver.h"
#include "render/zbuffer.h"
#include "scene/terraindraw.h"
#include "shapes/shapem.h"
#include "world/rtdisp.h"
#include "world/runtime.h"
#include "world/worldm.h"

// The command files compile as one: this command's names are its own, apart from shape render's.
namespace world_render {
namespace {

constexpr int VIEW_BACKGROUND = 252;   // the interface background, as the views clear to
constexpr int FIX = 16384;

struct Options {
    std::string in, out, camera, size = "640x400", renderer = "software";
};

// "X,Y,Z" or "X,Y,Z,PITCH,YAW": whole numbers, positions in 32 bits, angles in 16 (65536 a
// turn). 1, or 0 when malformed.
int ParseCamera(const std::string& s, int32_t eye[3], int32_t angles[2])
{
    long long v[5] = {0, 0, 0, 0, 0};
    size_t at = 0;
    int n = 0;
    for (;;) {
        size_t comma = s.find(',', at);
        std::string part = s.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (n == 5 || part.empty() || part.size() > 12) return 0;
        char* end = nullptr;
        errno = 0;
        v[n] = strtoll(part.c_str(), &end, 10);
        if (errno || *end || v[n] < INT32_MIN || v[n] > INT32_MAX) return 0;
        n++;
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    if (n != 3 && n != 5) return 0;
    if (n == 5 && (v[3] < -32768 || v[3] > 65535 || v[4] < -32768 || v[4] > 65535)) return 0;
    for (int a = 0; a < 3; a++) eye[a] = (int32_t)v[a];
    angles[0] = (int32_t)v[3];
    angles[1] = (int32_t)v[4];
    return 1;
}

// Camera rows (right, up, forward) for a yaw about the world's Y axis (0 looks along +Z, a
// quarter turn along +X) and a pitch (positive looks down).
void CameraRows(int32_t pitch, int32_t yaw, int16_t m[9])
{
    double cp = FixCos(pitch) / (double)FIX, sp = FixSin(pitch) / (double)FIX;
    double cy = FixCos(yaw) / (double)FIX, sy = FixSin(yaw) / (double)FIX;
    const double forward[3] = {sy * cp, -sp, cy * cp}, right[3] = {cy, 0, -sy};
    const double up[3] = {forward[1] * right[2] - forward[2] * right[1], forward[2] * right[0] - forward[0] * right[2],
                          forward[0] * right[1] - forward[1] * right[0]};
    for (int a = 0; a < 3; a++) {
        m[a] = (int16_t)std::clamp(std::lround(right[a] * FIX), -32768l, 32767l);
        m[3 + a] = (int16_t)std::clamp(std::lround(up[a] * FIX), -32768l, 32767l);
        m[6 + a] = (int16_t)std::clamp(std::lround(forward[a] * FIX), -32768l, 32767l);
    }
}

std::string Folder(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsRuntimeName(const std::string& path)
{
    std::string b = BaseName(path);
    size_t dot = b.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = b.substr(dot + 1);
    for (char& c : ext) c = (char)tolower((unsigned char)c);
    return ext == "wld";
}

// The scratch folder of a WLE's runtime save and what was written into it.
struct Scratch {
    std::string folder;
    ~Scratch()
    {
        if (folder.empty()) return;
        for (const char* ext : {".WLE", ".WLD", ".wxp"}) FileDelete((folder + "/WORLD" + ext).c_str());
        FileDelete((folder + "/temp.txt").c_str());
        rmdir(folder.c_str());
    }
};

// Saves the loaded edit world as a runtime world in a new scratch folder: its WLD path, or ""
// after an error line.
std::string SaveScratchRuntime(const std::string& shown, Scratch* scratch)
{
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tolbex-render-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    if (!mkdtemp(name.data())) {
        CliFail(1, "cannot make a scratch folder in %s: %s", Folder(pattern).c_str(), strerror(errno));
        return "";
    }
    scratch->folder = name.data();
    std::string wle = scratch->folder + "/WORLD.WLE", wld = scratch->folder + "/WORLD.WLD";
    // The summary report is the save's own business: it stays in the scratch folder.
    WorldMSetSummaryFileName((scratch->folder + "/temp.txt").c_str());
    int result = WorldMSave(wle.c_str(), wld.c_str(), nullptr, nullptr);
    if (result) {
        const char* detail = WorldMRuntimeMessage();
        CliFail(1, "%s: %s%s%s%s", shown.c_str(), WorldMRuntimeErrorText(result), *detail ? " (" : "", detail,
                *detail ? ")" : "");
        return "";
    }
    return wld;
}

// The screen and the renderer: 0, or 1 after an error line.
int SetUpScreen(const Options& o, int width, int height)
{
    bool gl = o.renderer == "gl";
    VideoInstall();
    if (VideoSetMode(width, height, VIDEO_32BIT, gl ? VIDEO_WINDOWED_HARDWARE : VIDEO_WINDOWED_SOFTWARE) != 0)
        return CliFail(1, "cannot set a %dx%d 32-bit screen", width, height);
    PalMApply();
    VideoLoadInterfacePalette();
    if (ZBufferInstall(std::max<int64_t>(ZBUFFER_DEFAULT_BYTES, 4ll * width * height)) != 0)
        return CliFail(1, "ZBufferInstall failed - out of memory for requested buffer.");
    Draw3DRegisterDriver(DRIVER_SOFTWARE, SoftDriverZBuffer());
    if (gl) {
        if (!D3Activate(0, 1)) return CliFail(1, "the gl renderer cannot start: %s", GlDrvActivateError());
        Draw3DRegisterDriver(DRIVER_HARDWARE, GlDrvHardwareDriver());
        Draw3DSelectDriver(DRIVER_HARDWARE);
    } else {
        Draw3DSelectDriver(DRIVER_SOFTWARE);
    }
    Draw3DSetup(width, height, D3_NEAREST_Z, D3_VIEW_DISTANCE, D3SORT_NONE);
    Draw3DDefaults();
    Draw3DSetDisplayFlags(D3V_HIDDEN);
    return 0;
}

void Render(const Options& o)
{
    int width = 0, height = 0;
    int32_t eye[3], angles[2];
    if (!CliParseSize(o.size, &width, &height)) {
        CliFail(2, "--size must be WxH, 16 to 4096 pixels each (given %s)", o.size.c_str());
        return;
    }
    if (!ParseCamera(o.camera, eye, angles)) {
        CliFail(2, "--camera must be X,Y,Z or X,Y,Z,PITCH,YAW in whole world units and angles (given %s)",
                o.camera.c_str());
        return;
    }
    CliPictureFormat format = CliPictureFormatOf(o.out);
    if (format == PICTURE_NONE) {
        CliFail(2, "%s: the picture's format comes from its extension, .png or .bmp", o.out.c_str());
        return;
    }
    if (CliWorldStart()) return;
    WorldMRuntimeInstall();
    if (Draw3DInstall(D3_POLYGONS) != 0) {
        CliFail(1, "Not enough memory for Draw3DInstall.");
        return;
    }
    // Draw3D makes its own render-material table: the loaded list is handed to it again.
    MatMReload();
    std::string out = CliWorldPath(o.out);
    Scratch scratch;
    std::string wld = CliWorldPath(o.in);
    if (!IsRuntimeName(o.in)) {
        if (CliWorldLoad(o.in)) return;
        wld = SaveScratchRuntime(o.in, &scratch);
        if (wld.empty()) return;
    }
    ResId id = CliReadFile(wld, WorldMCapacity(), "a runtime world file");
    if (!id) return;
    // The archive is found by the plain name the world's header holds, beside the world.
    char here[4096];
    if (!FileCurrentFolder(here, sizeof here)) {
        CliFail(1, "cannot read the working folder");
        return;
    }
    if (chdir(Folder(wld).c_str())) {
        CliFail(1, "cannot open the folder of %s: %s", o.in.c_str(), strerror(errno));
        return;
    }
    int refused = WorldSetID(id);
    if (chdir(here)) {
        CliFail(1, "cannot return to %s: %s", here, strerror(errno));
        return;
    }
    if (refused) {
        CliFail(1, "%s: the runtime world is refused (%s)", o.in.c_str(), RtDispError());
        return;
    }
    if (SetUpScreen(o, width, height)) return;
    Draw3DLoadTextures(nullptr);
    CliWarnUnloadedTextures();

    int16_t m[9];
    CameraRows(angles[0], angles[1], m);
    Draw3DSetCamera(eye, m);
    Draw3DLensPerspective(0, 0, width, height);
    RtDispInfo info;
    RtDispGetInfo(&info);
    // As far as the display reaches (and no nearer than the editor's views).
    Draw3DSetDistance((int32_t)std::min<int64_t>(std::max<int64_t>(info.distance, D3_VIEW_DISTANCE), D3_DEPTH_LIMIT - 128));
    if (!VideoBeginUpdate(1)) {
        CliFail(1, "cannot draw into the screen");
        return;
    }
    VideoClear(VIEW_BACKGROUND);
    Draw3DStartDraw(0, 0, width, height);
    int drawn = RtDispDraw(eye);
    TerrainDrawStats terrain = *TerrainDrawGetStats();
    Draw3DDisplay();
    int failed = CliWritePicture(out, format, width, height);
    VideoEndUpdate();
    if (failed) return;
    printf("%s: %dx%d, %s renderer, %s, %s, %s\n", o.out.c_str(), width, height, o.renderer.c_str(),
           CliCount(drawn, "worldshape copy", "worldshape copies").c_str(),
           CliCount(terrain.tiles, "terrain tile", "terrain tiles").c_str(),
           CliCount(terrain.waterTiles, "water tile", "water tiles").c_str());
    gCliResult = 0;
}

void AddRenderCommand(CLI::App* world)
{
    static Options o;
    CLI::App* cmd = world->add_subcommand(
        "render", "Draw a runtime world (a WLD, or a WLE saved as runtime in a scratch folder first) as its display "
                  "shows it from a camera, to a PNG or BMP picture");
    cmd->add_option("IN", o.in, "WLD runtime world (its WXP archive beside it) or WLE world")->required();
    cmd->add_option("OUT", o.out, "Picture to write: .png (8-bit RGB) or .bmp (24-bit), by its extension")->required();
    cmd->add_option("--camera", o.camera,
                    "The eye X,Y,Z in world units, then optionally PITCH,YAW (65536 a turn; yaw 0 looks along +Z, "
                    "a positive pitch looks down)")
        ->required();
    cmd->add_option("--size", o.size, "Picture size WxH, 16 to 4096 each (default 640x400)");
    cmd->add_option("--renderer", o.renderer, "software (default) or gl")->check(CLI::IsMember({"software", "gl"}));
    CliWorldOptions(cmd);
    cmd->callback([] { Render(o); });
}

CliWorldRegistration renderRegistration(AddRenderCommand);

}   // namespace
}   // namespace world_render
