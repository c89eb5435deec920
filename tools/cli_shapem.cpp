// tolbex-cli shape: what the Shape Editor does to whole files. Each command takes the file
// into the edit buffer as the editor's Load does, works on it, and writes the result as the
// editor's Save does (without a backup).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/res.h"
#include "cli.h"   // found beside this file, whatever the include path
#include "platform/platform.h"
#include "shapes/asc.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

// The common start, then the shape manager as the editor start installs it. 0, or 1.
static int Start(void)
{
    CliShapeStart();
    if (gCliResult) return 1;
    ShapeMResourceInstall();
    if (!ShapeMIsInstalled()) ShapeMInstall();
    ShapeMSetUndo(1);
    return 0;
}

static int TakeIn(const std::string& file) { return CliTakeInShape(file); }

// Prepares the edit buffer for writing and writes it whole.
static void Write(const std::string& out)
{
    uint32_t size;
    if (ShapeMPrepareForWriting(nullptr, &size)) {
        CliFail(1, "%s: %s", out.c_str(), ShapeMLastError());
        return;
    }
    if (CliWrite(out, ShapeMEdit()->data, size)) return;
    const uint8_t* b = ShapeMEdit()->data;
    printf("%s: %s, %s, %u bytes\n", out.c_str(), CliCount(ShapeVertexCount(b), "vertex", "vertices").c_str(),
           CliCount(ShapePolygonCount(b), "polygon", "polygons").c_str(), size);
    gCliResult = 0;
}

static void Normalise(const std::string& in, const std::string& out)
{
    if (Start() || TakeIn(in)) return;
    Write(out);
}

static void Optimise(const std::string& in, const std::string& out)
{
    if (Start() || TakeIn(in)) return;
    ShapeMOptimise(1);
    Write(out);
}

static void Merge(const std::string& base, const std::string& other, const std::string& out)
{
    if (Start() || TakeIn(base)) return;
    int version;
    ResId id = CliReadShape(other, &version);
    if (!id) return;
    int r = ShapeMMerge(id);
    ResFreeAlways(id);
    if (r == 1) {
        CliFail(1, "%s: %s", other.c_str(), ShapeMLastError());
        return;
    }
    if (r == 2) printf("nothing merged: %s has no vertex or no polygon, or %s no vertex\n", base.c_str(), other.c_str());
    Write(out);
}

static void ImportAsc(const std::string& in, const std::string& out)
{
    if (Start() || CliCheckReadable(in, ASC_MAX_FILE_SIZE, "a 3D Studio ASCII listing")) return;
    if (Import3DSASCII(in.c_str())) {
        // Errors of a line do not name the file.
        const char* why = ASCIILastError();
        if (strncmp(why, in.c_str(), in.size()) == 0)
            CliFail(1, "%s", why);
        else
            CliFail(1, "%s: %s", in.c_str(), why);
        return;
    }
    Write(out);
}

static void ExportAsc(const std::string& in, const std::string& out)
{
    if (Start() || TakeIn(in)) return;
    errno = 0;
    if (Export3DSASCII(out.c_str())) {
        CliWriteFailed(out);
        return;
    }
    const uint8_t* b = ShapeMEdit()->data;
    printf("%s: %s, %s\n", out.c_str(), CliCount(ShapeVertexCount(b), "vertex", "vertices").c_str(),
           CliCount(ShapePolygonCount(b), "polygon", "polygons").c_str());
    gCliResult = 0;
}

void CliAddShapeM(CLI::App& app)
{
    CLI::App* shape = CliGroup(app, "shape");

    static std::string normIn, normOut;
    CLI::App* norm = shape->add_subcommand("normalise", "Load a shape as the Shape Editor does and save it again");
    norm->add_option("IN", normIn, "SHP file")->required();
    norm->add_option("OUT", normOut, "SHP file to write")->required();
    CliShapeOptions(norm);
    norm->callback([] { Normalise(normIn, normOut); });

    static std::string optIn, optOut;
    CLI::App* opt = shape->add_subcommand("optimise", "Remove repeated points, unused vertices and duplicates");
    opt->add_option("IN", optIn, "SHP file")->required();
    opt->add_option("OUT", optOut, "SHP file to write")->required();
    CliShapeOptions(opt);
    opt->callback([] { Optimise(optIn, optOut); });

    static std::string mergeBase, mergeOther, mergeOut;
    CLI::App* merge = shape->add_subcommand("merge", "Merge a second shape into the first");
    merge->add_option("BASE", mergeBase, "SHP file")->required();
    merge->add_option("OTHER", mergeOther, "SHP file (current format) to merge in")->required();
    merge->add_option("OUT", mergeOut, "SHP file to write")->required();
    CliShapeOptions(merge);
    merge->callback([] { Merge(mergeBase, mergeOther, mergeOut); });

    static std::string impIn, impOut;
    CLI::App* imp = shape->add_subcommand("import-asc", "Make a shape from a 3DS ASCII listing");
    imp->add_option("IN", impIn, "ASC file")->required();
    imp->add_option("OUT", impOut, "SHP file to write")->required();
    CliShapeOptions(imp);
    imp->callback([] { ImportAsc(impIn, impOut); });

    static std::string expIn, expOut;
    CLI::App* exp = shape->add_subcommand("export-asc", "Write a shape as a 3DS ASCII listing");
    exp->add_option("IN", expIn, "SHP file")->required();
    exp->add_option("OUT", expOut, "ASC file to write")->required();
    CliShapeOptions(exp);
    exp->callback([] { ExportAsc(expIn, expOut); });
}
