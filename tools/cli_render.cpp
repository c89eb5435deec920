// tolbex-cli shape render: a shape drawn as the Shape Editor's view draws it (Draw3D and the
// "Software Z-Buffer" driver, back faces removed, the view's default orientation or one of the
// six parallel views, framed to the shape), written as an 8-bit RGB PNG or a 24-bit BMP.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/res.h"
#include "base/workpool.h"
#include "cli.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "palette/bmp.h"
#include "palette/palm.h"
#include "palette/png.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "render/softdriver.h"
#include "render/zbuffer.h"
#include "scene/shapedraw.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

namespace {

enum { VIEW_BACKGROUND = 252 };   // the interface background the view is cleared with
enum { VIEW_OTHER_BACKGROUND = 0 };   // --transparent's second drawing: black, far from 252's grey

const char* const kViews[] = {"perspective", "left", "right", "top", "bottom", "front", "rear"};

// Camera axes in world space, rows right, up, forward (2.14): the perspective view's default
// orientation, then the parallel views as their point-to-world conversion lays them out.
const int16_t kOrientations[7][9] = {
    {12662, 0, 10397, -1473, 16218, 1792, -10292, -2320, 12534},
    {0, 0, -16384, 0, 16384, 0, 16384, 0, 0},
    {0, 0, 16384, 0, 16384, 0, -16384, 0, 0},
    {16384, 0, 0, 0, 0, 16384, 0, -16384, 0},
    {16384, 0, 0, 0, 0, -16384, 0, 16384, 0},
    {-16384, 0, 0, 0, 16384, 0, 0, 0, -16384},
    {16384, 0, 0, 0, 16384, 0, 0, 0, 16384},
};

struct Options {
    std::string in, out, size = "640x400", view = "perspective", dummy = "160,160,160";
    int depth = 32;
    int threads = 1;
    bool wireframe = false;
    bool transparent = false;
};

// Unsigned decimal digits and nothing else, at most five of them: 0 when t is anything else.
static int Digits(const std::string& t, int* value)
{
    if (t.empty() || t.size() > 5) return 0;
    for (char c : t)
        if (c < '0' || c > '9') return 0;
    *value = std::stoi(t);
    return 1;
}

}   // namespace

int CliParseSize(const std::string& s, int* width, int* height)
{
    size_t x = s.find('x');
    if (x == std::string::npos || !Digits(s.substr(0, x), width) || !Digits(s.substr(x + 1), height)) return 0;
    return *width >= 16 && *height >= 16 && *width <= 4096 && *height <= 4096;
}

// "R,G,B", 0 to 255 each: 1, or 0 when malformed or out of range.
static int ParseColour(const std::string& s, int rgb[3])
{
    size_t a = s.find(','), b = a == std::string::npos ? a : s.find(',', a + 1);
    if (b == std::string::npos) return 0;
    if (!Digits(s.substr(0, a), &rgb[0]) || !Digits(s.substr(a + 1, b - a - 1), &rgb[1]) ||
        !Digits(s.substr(b + 1), &rgb[2]))
        return 0;
    return rgb[0] <= 255 && rgb[1] <= 255 && rgb[2] <= 255;
}

CliPictureFormat CliPictureFormatOf(const std::string& path)
{
    size_t slash = path.find_last_of("/\\"), dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return PICTURE_NONE;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = (char)tolower((unsigned char)c);
    return ext == "png" ? PICTURE_PNG : ext == "bmp" ? PICTURE_BMP : PICTURE_NONE;
}

void CliWarnUnloadedTextures(void)
{
    std::set<ResId> told;
    for (int i = 0; i < IntMatCount(); i++) {
        ResId id = GetU16(IntMatPtr(i), IM_SPRITE);
        if (!id || ResIsLoaded(id) == 0 || !told.insert(id).second) continue;
        std::string name = CliPrintable(ResName(id), strlen(ResName(id)));
        std::string why = FileCheckRead(ResName(id), SPRITE_MAX_FILE_SIZE, "a sprite file", nullptr) == FILE_READABLE
                              ? "it is missing or damaged"
                              : FileRefusal();
        CliWarn("texture %s cannot be loaded (%s); its polygons are drawn untextured", name.c_str(), why.c_str());
    }
}

static std::vector<uint8_t> ReadScreen(int width, int height)
{
    std::vector<uint8_t> rgb((size_t)width * height * 3);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t* p = &rgb[3 * ((size_t)y * width + x)];
            VideoReadPixel(x, y, &p[0], &p[1], &p[2]);
        }
    return rgb;
}

// Writes the screen as a picture through the file layer; 0, or 1 after an error line. With
// `cleared`, the same drawing over another background: pixels that differ between the two are
// the background's, and become transparent (the PNG gets an alpha channel).
int CliWritePicture(const std::string& path, CliPictureFormat format, int width, int height,
                    const std::vector<uint8_t>* cleared)
{
    std::vector<uint8_t> rgb = ReadScreen(width, height);
    std::vector<uint8_t> image;
    if (cleared) {
        size_t n = (size_t)width * height;
        std::vector<uint8_t> rgba(n * 4);
        for (size_t i = 0; i < n; i++) {
            int background = memcmp(&rgb[3 * i], &(*cleared)[3 * i], 3) != 0;
            memcpy(&rgba[4 * i], &rgb[3 * i], 3);
            rgba[4 * i + 3] = background ? 0 : 255;
            if (background) memset(&rgba[4 * i], 0, 3);
        }
        if (!PngEncodeRgba(rgba.data(), width, height, image))
            return CliFail(1, "%s: the PNG encoder refused the picture", path.c_str());
    } else if (format == PICTURE_BMP) {
        image.resize(BmpFileSize(width, height));
        BmpEncode(rgb.data(), width, height, image.data());
    } else if (!PngEncode(rgb.data(), width, height, image)) {
        return CliFail(1, "%s: the PNG encoder refused the picture", path.c_str());
    }
    return CliWrite(path, image.data(), image.size());
}

namespace {

// The camera for a view of the edit buffer's shape: its box centre seen from the view's
// direction, far enough (perspective) or at a zoom (parallel) that the whole shape fits with
// a tenth to spare. Returns the far distance the frame needs.
static int32_t PlaceCamera(int view, int width, int height)
{
    const uint8_t* b = ShapeMEdit()->data;
    int n = ShapeVertexCount(b);
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (int i = 0; i < n; i++) {
        int32_t p[3];
        ShapeVertexPos(b, i, p);
        for (int a = 0; a < 3; a++) {
            lo[a] = i ? std::min(lo[a], (double)p[a]) : p[a];
            hi[a] = i ? std::max(hi[a], (double)p[a]) : p[a];
        }
    }
    double centre[3], half[3], radius = 1;
    for (int a = 0; a < 3; a++) centre[a] = (lo[a] + hi[a]) / 2, half[a] = (hi[a] - lo[a]) / 2;
    for (int i = 0; i < n; i++) {
        int32_t p[3];
        ShapeVertexPos(b, i, p);
        double d[3] = {p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
        radius = std::max(radius, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
    }
    const int16_t* m = kOrientations[view];
    double distance;
    if (view == 0) {
        // The lens has a focal length of half the width; the narrower side decides.
        double tangent = std::min(width, height) / (double)width;
        distance = 1.1 * radius * std::sqrt(1 + 1 / (tangent * tangent));
        Draw3DLensPerspective(0, 0, width, height);
    } else {
        // Extent of the box along the screen's axes.
        double across = 0, up = 0;
        for (int a = 0; a < 3; a++) {
            across += std::fabs(m[a] / 16384.0) * half[a] * 2;
            up += std::fabs(m[3 + a] / 16384.0) * half[a] * 2;
        }
        float zoom = (float)std::max({across / width, up / height, 1e-3}) * 1.1f;
        distance = radius + 2 * D3_NEAREST_Z;
        Draw3DLensOrthographic(width, height, zoom);
    }
    // Keep the whole shape beyond the near limit.
    distance = std::max(distance, radius + 2 * D3_NEAREST_Z);
    int32_t eye[3];
    for (int a = 0; a < 3; a++) eye[a] = (int32_t)std::lround(centre[a] - distance * m[6 + a] / 16384.0);
    Draw3DSetCamera(eye, m);
    return (int32_t)std::min(distance + 2 * radius + 1024, (double)D3_DEPTH_LIMIT - 128);
}

static void Render(const Options& o)
{
    int width = 0, height = 0, view = -1, dummy[3];
    if (!CliParseSize(o.size, &width, &height)) {
        CliFail(2, "--size must be WxH, 16 to 4096 pixels each (given %s)", o.size.c_str());
        return;
    }
    if (!ParseColour(o.dummy, dummy)) {
        CliFail(2, "--dummy-colour must be R,G,B, 0 to 255 each (given %s)", o.dummy.c_str());
        return;
    }
    CliPictureFormat format = CliPictureFormatOf(o.out);
    if (format == PICTURE_NONE) {
        CliFail(2, "%s: the picture's format comes from its extension, .png or .bmp", o.out.c_str());
        return;
    }
    if (o.transparent && format != PICTURE_PNG) {
        CliFail(2, "%s: --transparent needs a .png picture (a BMP has no transparency)", o.out.c_str());
        return;
    }
    for (int i = 0; i < 7; i++)
        if (o.view == kViews[i]) view = i;

    CliShapeStart();
    if (gCliResult) return;
    // Draw3D makes its own render-material table: the loaded list is handed to it again.
    if (Draw3DInstall(D3_POLYGONS) != 0) {
        CliFail(1, "Not enough memory for Draw3DInstall.");
        return;
    }
    MatMReload();
    ShapeMResourceInstall();
    if (!ShapeMIsInstalled()) ShapeMInstall();
    if (CliTakeInShape(o.in)) return;
    VideoInstall();
    if (VideoSetMode(width, height, o.depth == 16 ? VIDEO_16BIT : VIDEO_32BIT, VIDEO_WINDOWED_SOFTWARE) != 0) {
        CliFail(1, "cannot set a %dx%d %d-bit screen", width, height, o.depth);
        return;
    }
    PalMApply();
    VideoLoadInterfacePalette();
    if (ZBufferInstall(std::max<int64_t>(ZBUFFER_DEFAULT_BYTES, 4ll * width * height)) != 0) {
        CliFail(1, "ZBufferInstall failed - out of memory for requested buffer.");
        return;
    }
    ZBufferSetThreads(o.threads);
    Draw3DRegisterDriver(DRIVER_SOFTWARE, SoftDriverZBuffer());
    Draw3DSelectDriver(DRIVER_SOFTWARE);
    Draw3DSetup(width, height, D3_NEAREST_Z, D3_VIEW_DISTANCE, D3SORT_NONE);
    Draw3DDefaults();
    uint32_t display = D3V_HIDDEN | (o.wireframe ? D3V_WIREFRAME : 0);
    Draw3DSetDisplayFlags(display);
    if (o.wireframe) Draw3DSetRenderFlags(RENDER_WIREFRAME);
    Draw3DLoadTextures(nullptr);
    CliWarnUnloadedTextures();
    // Black keeps the flat silhouette of tolbex.ini's dummycolour=0,0,0.
    IntMatSetDummyColour(dummy[0], dummy[1], dummy[2]);
    Draw3DSetDistance(std::max((int32_t)D3_VIEW_DISTANCE, PlaceCamera(view, width, height)));

    const int32_t origin[3] = {0, 0, 0};
    const int16_t identity[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};
    int32_t at[3];
    int16_t turn[9];
    Draw3DWorldToCamera(origin, at);
    Draw3DRelativeOrientation(identity, turn);
    if (!VideoBeginUpdate(1)) {
        CliFail(1, "cannot draw into the screen");
        return;
    }
    VideoClear(VIEW_BACKGROUND);
    Draw3DStartDraw(0, 0, width, height);
    ShapeDrawEdit(at, turn, display);
    Draw3DDisplay();
    uint32_t spans = ZBufferGetStats()->spans, polygons = ZBufferGetStats()->polygons;
    std::vector<uint8_t> cleared;
    if (o.transparent) {
        // The drawing again over another colour tells the background from the shape, whatever
        // colours the shape has.
        cleared = ReadScreen(width, height);
        VideoClear(VIEW_OTHER_BACKGROUND);
        Draw3DStartDraw(0, 0, width, height);
        ShapeDrawEdit(at, turn, display);
        Draw3DDisplay();
    }
    int failed = CliWritePicture(o.out, format, width, height, o.transparent ? &cleared : nullptr);
    VideoEndUpdate();
    if (failed) return;
    if (o.wireframe)
        printf("%s: %dx%d, %d bits, %s view, %s\n", o.out.c_str(), width, height, o.depth, kViews[view],
               CliCount(polygons, "outline", "outlines").c_str());
    else
        printf("%s: %dx%d, %d bits, %s view, %s in %s\n", o.out.c_str(), width, height, o.depth, kViews[view],
               CliCount(polygons, "polygon", "polygons").c_str(), CliCount(spans, "span", "spans").c_str());
    gCliResult = 0;
}

}   // namespace

void CliAddRender(CLI::App& app)
{
    CLI::App* shape = CliGroup(app, "shape");
    static Options o;
    CLI::App* cmd = shape->add_subcommand(
        "render", "Draw a shape as the Shape Editor's software renderer does, to a PNG or BMP picture");
    cmd->add_option("IN", o.in, "SHP file")->required();
    cmd->add_option("OUT", o.out, "Picture to write: .png (8-bit RGB) or .bmp (24-bit), by its extension")->required();
    cmd->add_option("--size", o.size, "Picture size WxH, 16 to 4096 each (default 640x400)");
    cmd->add_option("--view", o.view, "perspective, left, right, top, bottom, front or rear (default perspective)")
        ->check(CLI::IsMember({"perspective", "left", "right", "top", "bottom", "front", "rear"}));
    cmd->add_option("--depth", o.depth, "Screen depth the picture is drawn in: 16 or 32 (default 32)")
        ->check(CLI::IsMember({16, 32}));
    cmd->add_option("--threads", o.threads, "Threads that draw, 0 for one a core; the picture is the same (default 1)")
        ->check(CLI::Range(0, (int)WORKPOOL_MAX_THREADS));
    cmd->add_flag("--wireframe", o.wireframe, "Outlines of the triangles instead of filled polygons");
    cmd->add_flag("--transparent", o.transparent,
                  "Leave the background transparent (a PNG with an alpha channel; .png only)");
    cmd->add_option("--dummy-colour", o.dummy,
                    "Colour R,G,B (0 to 255) of polygons in the Dummy or an unresolved material, lit like any "
                    "other (default 160,160,160; 0,0,0 draws them black as the editor does)");
    CliShapeOptions(cmd);
    cmd->callback([] { Render(o); });
}
