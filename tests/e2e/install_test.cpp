// Installing under a prefix and staging root and uninstalling; the installed programs, manual pages,
// completion, menu entry and file types.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <set>

#include "e2e.h"
#include "materials/mattest.h"

namespace fs = std::filesystem;

namespace {

const char* const kPrefix = "/opt/tb";

std::set<std::string> FilesUnder(const std::string& root)
{
    std::set<std::string> files;
    if (!fs::exists(root)) return files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_directory()) files.insert(e.path().string().substr(root.size()));
    return files;
}

// A program's full path from the PATH; "" when there is none.
std::string Tool(const char* name)
{
    RunResult r = RunProgram("/bin/sh", {"-c", std::string("command -v ") + name}, "/");
    if (r.exitCode != 0) return "";
    while (!r.output.empty() && r.output.back() == '\n') r.output.pop_back();
    return r.output;
}
bool HaveTool(const char* name) { return !Tool(name).empty(); }

// RGBA pixels of a PNG file; empty when it cannot be read.
Bytes ReadRgba(const std::string& path, int* width, int* height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGBA;
    Bytes rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return {};
    *width = (int)image.width;
    *height = (int)image.height;
    return rgba;
}

class Install : public ::testing::Test {
protected:
    TempDir dir;
    std::string root = dir.file("root");
    std::string Installed(const std::string& rel) const { return root + kPrefix + "/" + rel; }
    void InstallTree()
    {
        RunResult r = RunProgram(TOLBEX_CMAKE, {"--install", TOLBEX_BUILD_DIR, "--prefix", kPrefix}, dir.path(),
                                 {"DESTDIR=" + root});
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
};

TEST_F(Install, EveryFileInItsPlaceUnderPrefixAndStagingRootThenGoneAgain)
{
    InstallTree();
    if (HasFatalFailure()) return;
    std::set<std::string> expected = {
        "/opt/tb/bin/tolbex",
        "/opt/tb/bin/tolbex-cli",
        "/opt/tb/share/applications/tolbex.desktop",
        "/opt/tb/share/mime/packages/tolbex.xml",
        "/opt/tb/share/man/man1/tolbex.1.gz",
        "/opt/tb/share/man/man1/tolbex-cli.1.gz",
        "/opt/tb/share/bash-completion/completions/tolbex-cli",
        "/opt/tb/share/doc/tolbex/README.md",
        "/opt/tb/share/doc/tolbex/guide.md",
    };
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        expected.insert("/opt/tb/share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) +
                        "/apps/tolbex.png");
    for (const auto& e : fs::directory_iterator(std::string(TOLBEX_SOURCE_DIR) + "/docs/images"))
        expected.insert("/opt/tb/share/doc/tolbex/images/" + e.path().filename().string());
    EXPECT_EQ(FilesUnder(root), expected);

    // Each icon is drawn at its size, with a transparent background around an opaque shape.
    for (int size : {16, 48, 256}) {
        int w = 0, h = 0;
        std::string s = std::to_string(size);
        Bytes rgba = ReadRgba(Installed("share/icons/hicolor/" + s + "x" + s + "/apps/tolbex.png"), &w, &h);
        ASSERT_EQ(w, size);
        ASSERT_EQ(h, size);
        EXPECT_EQ(rgba[3], 0) << "top left corner, " << size;
        EXPECT_EQ(rgba[((size_t)(size / 2) * size + size / 2) * 4 + 3], 255) << "centre, " << size;
    }

    // The installed programs run from their new place.
    RunResult r = RunProgram(Installed("bin/tolbex-cli"), {"--version"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "tolbex-cli 0.7.0\n");
    WriteText(dir.file("s.txt"), "wait 2\ndump d.json\n");
    r = RunProgram(Installed("bin/tolbex"), {"--headless", "--script", "s.txt"}, dir.path(),
                   {"TOLBEX_LOCK_DIR=" + dir.path(), "XDG_STATE_HOME=" + dir.file("state"),
                    "XDG_CONFIG_HOME=" + dir.file("config"), "TOLBEX_GL=off"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(PathExists(dir.file("d.json")));

    // Uninstalled: nothing of it stays.
    r = RunProgram(std::string(TOLBEX_SOURCE_DIR) + "/scripts/uninstall",
                   {std::string(TOLBEX_BUILD_DIR) + "/install_manifest.txt", kPrefix}, dir.path(), {"DESTDIR=" + root});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(FilesUnder(root), std::set<std::string>{});
    EXPECT_FALSE(fs::exists(Installed("share/doc/tolbex"))) << "the folder of our own goes too";
}

TEST_F(Install, ManualPagesHoldEveryCommandAndOption)
{
    InstallTree();
    if (HasFatalFailure()) return;
    RunResult cli = RunProgram(Tool("gzip"), {"-dc", Installed("share/man/man1/tolbex-cli.1.gz")}, dir.path());
    ASSERT_EQ(cli.exitCode, 0) << cli.output;
    for (const char* held : {".TH TOLBEX-CLI 1", ".SS tolbex\\-cli shape render IN OUT [OPTIONS]",
                             "\\-\\-transparent", ".SS tolbex\\-cli res pack", "\\-\\-scramble",
                             ".SS tolbex\\-cli world runtime", ".B \\-\\-log FILE", ".B \\-\\-bash\\-completion"})
        EXPECT_NE(cli.output.find(held), std::string::npos) << held;
    RunResult gui = RunProgram(Tool("gzip"), {"-dc", Installed("share/man/man1/tolbex.1.gz")}, dir.path());
    ASSERT_EQ(gui.exitCode, 0) << gui.output;
    for (const char* held : {".TH TOLBEX 1", ".B \\-\\-renderer", ".I NAME", ".B \\-\\-max\\-frames", ".I FILE",
                             "Vostrane\\-Tolbex.sock", ".B 5"})
        EXPECT_NE(gui.output.find(held), std::string::npos) << held;
    if (!HaveTool("man")) GTEST_SKIP() << "man is not installed: the pages were not formatted";
    for (const char* page : {"tolbex.1.gz", "tolbex-cli.1.gz"}) {
        RunResult r = RunProgram(Tool("man"), {"-l", Installed(std::string("share/man/man1/") + page)}, dir.path(),
                                 {"MANPAGER=cat", "PAGER=cat", "MANWIDTH=100"});
        EXPECT_EQ(r.exitCode, 0) << page << r.output;
        EXPECT_EQ(r.output.find("warning"), std::string::npos) << page << r.output;
    }
}

TEST_F(Install, BashCompletionWalksTheCommandTree)
{
    InstallTree();
    if (HasFatalFailure()) return;
    WriteText(dir.file("c.sh"),
              "source \"$1\"\n"
              "ask() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _tolbex_cli; echo \"${COMPREPLY[*]}\"; }\n"
              "ask tolbex-cli sha\n"
              "ask tolbex-cli shape ren\n"
              "ask tolbex-cli shape render --tr\n"
              "ask tolbex-cli --verbose world ru\n"
              "ask tolbex-cli mat info --\n"
              "ask tolbex-cli --man\n"
              "ask tolbex-cli pal info z\n");
    WriteText(dir.file("zebra.pal"), "");
    RunResult r = RunProgram(Tool("bash"), {"c.sh", Installed("share/bash-completion/completions/tolbex-cli")}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "shape\nrender\n--transparent\nruntime\n--json --help\n--man-page\nzebra.pal\n");
}

TEST_F(Install, MenuEntryStartsTheEditorWithTheFile)
{
    InstallTree();
    if (HasFatalFailure()) return;
    std::string entry = ReadText(Installed("share/applications/tolbex.desktop"));
    for (const char* line : {"\nExec=tolbex %f\n", "\nCategories=Graphics;3DGraphics;\n", "\nIcon=tolbex\n",
                             "\nMimeType=application/x-tolbex-shape;application/x-tolbex-world;\n"})
        EXPECT_NE(entry.find(line), std::string::npos) << line;
    if (!HaveTool("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is not installed";
    RunResult r = RunProgram(Tool("desktop-file-validate"), {Installed("share/applications/tolbex.desktop")}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "");
}

// File types as a desktop finds them: from our declaration alone, then beside other owners' globs.
TEST_F(Install, FileTypesFoundByContentAndNeverTakenFromOtherPrograms)
{
    if (!HaveTool("update-mime-database") || !HaveTool("gio"))
        GTEST_SKIP() << "update-mime-database or gio is not installed (scripts/install-deps package)";
    InstallTree();
    if (HasFatalFailure()) return;
    auto typeOf = [&](const std::string& data, const std::string& file) {
        RunResult r = RunProgram(Tool("gio"), {"info", "-a", "standard::content-type", file}, dir.path(),
                                 {"XDG_DATA_DIRS=" + dir.file(data), "XDG_DATA_HOME=" + dir.file("nothing")});
        size_t at = r.output.find("content-type: ");
        return at == std::string::npos ? r.output : r.output.substr(at + 14, r.output.find('\n', at) - at - 14);
    };
    auto database = [&](const std::string& data, const std::string& others) {
        fs::create_directories(dir.file(data + "/mime/packages"));
        fs::copy_file(Installed("share/mime/packages/tolbex.xml"), dir.file(data + "/mime/packages/tolbex.xml"));
        if (!others.empty()) WriteText(dir.file(data + "/mime/packages/others.xml"), others);
        RunResult r = RunProgram(Tool("update-mime-database"), {dir.file(data + "/mime")}, dir.path());
        ASSERT_EQ(r.exitCode, 0) << r.output;
    };
    database("ours", "");
    RunResult r = RunProgram(TOLBEX_CLI_BIN, {"shape", "sphere", "300", "200", "100", "ball.bin"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    Bytes shape = ReadBytes(dir.file("ball.bin"));
    // Older shapes: version 12 in the first word.
    Bytes old = shape;
    old[0] = 12;
    WriteBytes(dir.file("old.bin"), old);
    Bytes world;
    for (uint32_t v : {168u, 6u, 1048576u, 0u, 19u}) AppendU32(world, v);
    world.resize(168, 0);
    WriteBytes(dir.file("world.bin"), world);
    world[16] = 15;
    WriteBytes(dir.file("world15.bin"), world);
    WriteBytes(dir.file("mat.bin"), MatFile({{"Dummy"}}));
    WriteText(dir.file("sprite.bin"), std::string("BGRS") + std::string(60, '\x01'));
    // A GIS shapefile starts with 9994, big-endian.
    WriteBytes(dir.file("roads.shp"), Bytes{0x00, 0x00, 0x27, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    WriteBytes(dir.file("BALL.SHP"), shape);
    WriteText(dir.file("colours.pal"), std::string(20, '\x02'));
    WriteText(dir.file("text.bin"), "plain words, nothing of ours\n");

    EXPECT_EQ(typeOf("ours", "ball.bin"), "application/x-tolbex-shape");
    EXPECT_EQ(typeOf("ours", "old.bin"), "application/x-tolbex-shape");
    EXPECT_EQ(typeOf("ours", "world.bin"), "application/x-tolbex-world");
    EXPECT_EQ(typeOf("ours", "world15.bin"), "application/x-tolbex-world");
    EXPECT_EQ(typeOf("ours", "mat.bin"), "application/x-tolbex-materials");
    EXPECT_EQ(typeOf("ours", "sprite.bin"), "application/x-tolbex-sprite");
    EXPECT_EQ(typeOf("ours", "colours.pal"), "application/x-tolbex-palette");
    EXPECT_EQ(typeOf("ours", "BALL.SHP"), "application/x-tolbex-shape");
    EXPECT_NE(typeOf("ours", "text.bin").rfind("application/x-tolbex", 0), 0u);

    database("shared",
             "<?xml version=\"1.0\"?>\n"
             "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
             "  <mime-type type=\"application/x-test-gis\"><glob pattern=\"*.shp\"/></mime-type>\n"
             "  <mime-type type=\"application/x-test-matlab\"><glob pattern=\"*.mat\"/></mime-type>\n"
             "</mime-info>\n");
    WriteText(dir.file("data.mat"), "MATLAB 5.0 MAT-file");
    EXPECT_EQ(typeOf("shared", "roads.shp"), "application/x-test-gis");
    EXPECT_EQ(typeOf("shared", "data.mat"), "application/x-test-matlab");
    EXPECT_EQ(typeOf("shared", "ball.bin"), "application/x-tolbex-shape") << "by content still";
}

TEST(ShapeRender, TransparentBackgroundAroundTheSameShape)
{
    TempDir dir;
    RunResult r = RunProgram(TOLBEX_CLI_BIN, {"shape", "sphere", "20000", "20000", "20000", "S.SHP"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = RunProgram(TOLBEX_CLI_BIN, {"shape", "render", "S.SHP", "t.png", "--size", "40x32", "--transparent"},
                   dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = RunProgram(TOLBEX_CLI_BIN, {"shape", "render", "S.SHP", "o.png", "--size", "40x32"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.output;
    int w = 0, h = 0, w2 = 0, h2 = 0;
    Bytes t = ReadRgba(dir.file("t.png"), &w, &h), o = ReadRgba(dir.file("o.png"), &w2, &h2);
    ASSERT_EQ(w, 40);
    ASSERT_EQ(h, 32);
    ASSERT_EQ(o.size(), t.size());
    int clear = 0, solid = 0;
    for (size_t i = 0; i < t.size(); i += 4) {
        if (t[i + 3] == 0) {
            clear++;
            // The plain picture shows the view's background there.
            EXPECT_EQ(o[i], o[0]);
            EXPECT_EQ(o[i + 1], o[1]);
        } else {
            ASSERT_EQ(t[i + 3], 255);
            solid++;
            EXPECT_EQ(0, memcmp(&t[i], &o[i], 3)) << "the shape's own pixels are kept, pixel " << i / 4;
        }
    }
    EXPECT_GT(clear, 100);
    EXPECT_GT(solid, 100);
    EXPECT_EQ(t[3], 0) << "the corner is background";
    r = RunProgram(TOLBEX_CLI_BIN, {"shape", "render", "S.SHP", "t.bmp", "--transparent"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.output, "tolbex-cli: t.bmp: --transparent needs a .png picture (a BMP has no transparency)\n");
}

}  // namespace
