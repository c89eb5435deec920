// tolbex-cli shape sphere: what Create Object makes of a Sphere80, written to a file.
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "shapes/mesh.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"
#include "cli.h"

static void Sphere(int32_t x, int32_t y, int32_t z, bool random, const std::string& out)
{
    if (x < 1 || y < 1 || z < 1) {
        CliFail(1, "the sizes must be at least 1 (given %d, %d, %d)", x, y, z);
        return;
    }
    CliShapeStart();
    if (gCliResult) return;
    ShapeMResourceInstall();
    if (!ShapeMIsInstalled()) ShapeMInstall();
    ShapeMSetUndo(1);
    if (MeshCreateSphere(x, y, z, random)) {
        CliFail(1, "sizes %d, %d, %d are too large for a sphere", x, y, z);
        return;
    }
    const uint8_t* b = ShapeMEdit()->data;
    uint32_t size = ShapeUsedSize(b);
    if (CliWrite(out, b, size)) return;
    printf("%s: %s, %s, %s, %u bytes\n", out.c_str(), random ? "Random Sphere80" : "Sphere80",
           CliCount(ShapeVertexCount(b), "vertex", "vertices").c_str(),
           CliCount(ShapePolygonCount(b), "polygon", "polygons").c_str(), size);
    gCliResult = 0;
}

void CliAddMesh(CLI::App& app)
{
    CLI::App* shape = CliGroup(app, "shape");
    static int32_t size[3];
    static bool random;
    static std::string out;
    CLI::App* sphere = shape->add_subcommand("sphere", "Write a Sphere80 of sizes X, Y, Z as Create Object makes it");
    sphere->add_option("X", size[0], "Size along X (world units, at least 1)")->required();
    sphere->add_option("Y", size[1], "Size along Y")->required();
    sphere->add_option("Z", size[2], "Size along Z")->required();
    sphere->add_option("OUT", out, "SHP file to write")->required();
    sphere->add_flag("--random", random, "Random Sphere80: each vertex moved by random stream 0");
    CliShapeOptions(sphere);
    sphere->callback([] { Sphere(size[0], size[1], size[2], random, out); });
}
