// tolbex-cli shape render: a shape drawn as the Shape Editor's view draws it (Draw3D and the
// "Software Z-Buffer" driver, back faces removed, the view's default orientation or one of the
// six parallel views, framed to the shape), written as an 8-bit RGB PNG.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "materials/matm.h"
#include "palette/palm.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "render/zbuffer.h"
#include "shapes/shape.h"
#include "shapes/shapem.h"
#include "shapes/shapem_draw.h"
#include "shapes/shapem_edit.h"
#include "cli.h"

namespace {

enum { VIEW_BACKGROUND = 252 };   // the interface background the view is cleared with

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
    std::string in, out, size = "640x400", view = "perspective";
    int depth = 32;
    bool wireframe = false;
};

static int WritePng(const char* path, int width, int height)
{
    FILE* f = fopen(path, "wb");
    if (!f) return 1;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> row((size_t)width * 3);
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        remove(path);
        return 1;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) VideoReadPixel(x, y, &row[3 * x], &row[3 * x + 1], &row[3 * x + 2]);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(f) != 0;
}

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
        distance = radius + 2 * ZBUFFER_MIN_Z;
        Draw3DLensOrthographic(width, height, zoom);
    }
    // Keep the whole shape beyond the near limit.
    distance = std::max(distance, radius + 2 * ZBUFFER_MIN_Z);
    int32_t eye[3];
    for (int a = 0; a < 3; a++) eye[a] = (int32_t)std::lround(centre[a] - distance * m[6 + a] / 16384.0);
    Draw3DSetCamera(eye, m);
    return (int32_t)std::min(distance + 2 * radius + 1024, (double)D3_DEPTH_LIMIT - 128);
}

static void Render(const Options& o)
{
    int width = 0, height = 0, view = -1;
    char extra;
    if (sscanf(o.size.c_str(), "%dx%d%c", &width, &height, &extra) != 2 || width < 16 || height < 16 || width > 4096 ||
        height > 4096) {
        CliFail(2, "--size must be WxH, 16 to 4096 pixels each (given %s)", o.size.c_str());
        return;
    }
    for (int i = 0; i < 7; i++)
        if (o.view == kViews[i]) view = i;

    CliShapeStart();
    if (gCliResult) return;
    // Draw3D makes its own render-material table: the loaded list is handed to it again.
    if (Draw3DInstall(4000, 8000, 2000) != 0) {
        CliFail(1, "Not enough memory for Draw3DInstall.");
        return;
    }
    MatMReload();
    ShapeMResourceInstall();
    if (!ShapeMIsInstalled()) ShapeMInstall();
    if (ShapeMLoadFile(o.in.c_str())) {
        CliFail(1, "%s: %s", o.in.c_str(), ShapeMLastError());
        return;
    }
    VideoInstall(0);
    if (VideoSetMode(width, height, o.depth == 16 ? VIDEO_16BIT : VIDEO_32BIT, VIDEO_WINDOWED_DEBUG, 0, 0) != 0) {
        CliFail(1, "cannot set a %dx%d %d-bit screen", width, height, o.depth);
        return;
    }
    PalMApply();
    VideoLoadInterfacePalette();
    if (ZBufferInstall(std::max<int64_t>(ZBUFFER_DEFAULT_BYTES, 4ll * width * height)) != 0) {
        CliFail(1, "ZBufferInstall failed - out of memory for requested buffer.");
        return;
    }
    Draw3DRegisterDriver(DRIVER_SOFTWARE, ZBufferDriver());
    Draw3DSelectDriver(DRIVER_SOFTWARE);
    Draw3DSetup(width, height, 0x101, 976000, D3SORT_NONE);
    Draw3DDefaults();
    uint32_t display = D3V_HIDDEN | (o.wireframe ? D3V_WIREFRAME : 0);
    Draw3DSetDisplayFlags(display);
    if (o.wireframe) Draw3DSetRenderFlags(RENDER_WIREFRAME);
    Draw3DLoadTextures(nullptr);
    Draw3DSetDistance(std::max(976000, PlaceCamera(view, width, height)));

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
    ShapeMDrawEdit(at, turn, display);
    Draw3DDisplay();
    uint32_t spans = ZBufferGetStats()->spans, polygons = ZBufferGetStats()->polygons;
    int failed = WritePng(o.out.c_str(), width, height);
    VideoEndUpdate();
    if (failed) {
        CliFail(1, "%s: cannot write", o.out.c_str());
        return;
    }
    if (o.wireframe)
        printf("%s: %dx%d, %d bits, %s view, %u outlines\n", o.out.c_str(), width, height, o.depth, kViews[view],
               polygons);
    else
        printf("%s: %dx%d, %d bits, %s view, %u polygons in %u spans\n", o.out.c_str(), width, height, o.depth,
               kViews[view], polygons, spans);
    gCliResult = 0;
}

}   // namespace

void CliAddRender(CLI::App& app)
{
    CLI::App* shape = CliGroup(app, "shape", "Shape files (SHP)");
    static Options o;
    CLI::App* cmd =
        shape->add_subcommand("render", "Draw a shape as the Shape Editor's software renderer does, to a PNG");
    cmd->add_option("IN", o.in, "SHP file")->required();
    cmd->add_option("OUT", o.out, "PNG file to write")->required();
    cmd->add_option("--size", o.size, "Picture size WxH (default 640x400)");
    cmd->add_option("--view", o.view, "perspective, left, right, top, bottom, front or rear (default perspective)")
        ->check(CLI::IsMember({"perspective", "left", "right", "top", "bottom", "front", "rear"}));
    cmd->add_option("--depth", o.depth, "Screen depth the picture is drawn in: 16 or 32 (default 32)")
        ->check(CLI::IsMember({16, 32}));
    cmd->add_flag("--wireframe", o.wireframe, "Outlines of the triangles instead of filled polygons");
    CliShapeOptions(cmd);
    cmd->callback([] { Render(o); });
}
