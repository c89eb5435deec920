// The IFF reader against hand-made pictures (built here byte by byte, big-endian as the IFF
// standard writes them), the real pictures in fixtures/real, and damaged files of both.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/res.h"
#include "palette/bmp.h"
#include "palette/iff.h"
#include "support/testutil.h"

// ---- Builders

static void AppendBE16(Bytes& b, uint32_t v)
{
    b.push_back((uint8_t)(v >> 8));
    b.push_back((uint8_t)v);
}

static void AppendBE32(Bytes& b, uint32_t v)
{
    AppendBE16(b, v >> 16);
    AppendBE16(b, v & 0xFFFF);
}

// A chunk with its big-endian size and, after an odd size, the pad byte.
static Bytes Chunk(const char* tag, const Bytes& data)
{
    Bytes b(tag, tag + 4);
    AppendBE32(b, (uint32_t)data.size());
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
    return b;
}

static Bytes Form(const char* type, const std::vector<Bytes>& chunks)
{
    Bytes body(type, type + 4);
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    Bytes b = {'F', 'O', 'R', 'M'};
    AppendBE32(b, (uint32_t)body.size());
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// Width, height, x, y; planes, masking, compression, pad; transparent colour; aspect; page.
static Bytes Bmhd(int w, int h, int planes, int masking, int compression)
{
    Bytes b;
    for (int v : {w, h, 0, 0}) AppendBE16(b, (uint32_t)v);
    b.insert(b.end(), {(uint8_t)planes, (uint8_t)masking, (uint8_t)compression, 0, 0, 0, 10, 11});
    AppendBE16(b, (uint32_t)w);
    AppendBE16(b, (uint32_t)h);
    return Chunk("BMHD", b);
}

static Bytes Cmap(int n)
{
    Bytes b;
    for (int i = 0; i < n; i++) {
        b.push_back((uint8_t)(i * 3));
        b.push_back((uint8_t)(255 - i));
        b.push_back((uint8_t)(i ^ 0x5A));
    }
    return Chunk("CMAP", b);
}

// ByteRun1: runs of equal bytes repeat, single bytes are literals of one (the hand-made test
// below has longer literals).
static Bytes Pack(const Bytes& row)
{
    Bytes out;
    for (size_t i = 0, run; i < row.size(); i += run) {
        for (run = 1; i + run < row.size() && run < 128 && row[i + run] == row[i];) run++;
        out.insert(out.end(), {(uint8_t)(1 - (int)run), row[i]});
    }
    return out;
}

// The BODY of a picture: ILBM plane rows padded to 16 bits (and a mask row after them when
// `mask` is set), or PBM rows of a byte a pixel; each picture row packed on its own.
static Bytes Body(const Bytes& pixels, int w, int h, int planes, bool pbm, bool mask, bool packed)
{
    Bytes body;
    int rowBytes = pbm ? w : (w + 15) / 16 * 2;
    for (int y = 0; y < h; y++) {
        Bytes row;
        if (pbm) {
            row.assign(pixels.begin() + (long)y * w, pixels.begin() + (long)(y + 1) * w);
        } else {
            for (int p = 0; p < planes + (mask ? 1 : 0); p++) {
                Bytes plane((size_t)rowBytes, 0);
                for (int x = 0; x < w; x++) {
                    bool on = p == planes ? true : (pixels[(size_t)y * w + x] >> p) & 1;
                    if (on) plane[(size_t)x / 8] |= (uint8_t)(0x80 >> (x & 7));
                }
                // bits of the padding are set to show that they are ignored
                for (int x = w; x < rowBytes * 8; x++) plane[(size_t)x / 8] |= (uint8_t)(0x80 >> (x & 7));
                row.insert(row.end(), plane.begin(), plane.end());
            }
        }
        Bytes part = packed ? Pack(row) : row;
        body.insert(body.end(), part.begin(), part.end());
    }
    return Chunk("BODY", body);
}

static Bytes RandomPixels(int w, int h, int planes, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes px((size_t)w * h);
    for (size_t i = 0; i < px.size(); i++) {
        // stretches of one colour so that ByteRun1 has runs to make
        px[i] = (i % 7 < 3) ? (uint8_t)(rng() & ((1u << planes) - 1)) : px[i ? i - 1 : 0];
    }
    return px;
}

static Bytes Picture(const Bytes& pixels, int w, int h, int planes, bool pbm, bool mask, bool packed, int colours = 16)
{
    return Form(pbm ? "PBM " : "ILBM", {Bmhd(w, h, planes, mask ? 1 : 0, packed ? 1 : 0), Cmap(colours),
                                        Body(pixels, w, h, planes, pbm, mask, packed)});
}

// Reads the whole picture; empty when refused.
static Bytes ReadAll(const Bytes& file, int w, int h)
{
    Bytes out((size_t)w * h);
    if (!IffRead(file.data(), file.size(), 0, 0, w, h, out.data(), nullptr, nullptr)) return {};
    return out;
}

// Width, height, planes, PBM, compression and colours; empty when refused.
static std::vector<int> Info(const Bytes& file)
{
    IffInfo i;
    if (!IffGetInfo(file.data(), file.size(), &i)) return {};
    return {i.width, i.height, i.planes, i.pbm, i.compression, i.colours};
}

struct Iff : ::testing::Test {
    void SetUp() override
    {
        ResRemove();
        ResInstall(500);
    }
    void TearDown() override { ResRemove(); }
};

// ---- Decoding

// ILBM of one to eight planes, 21 pixels wide (3 bytes of bits, 4 with the 16-bit padding), and
// PBM (planes 9 here) of an odd width: its rows are not padded (ilbmtoppm reads them so too).
TEST_F(Iff, IlbmOneToEightPlanesAndPbmPlainAndPacked)
{
    for (int planes = 1; planes <= 9; planes++)
        for (bool packed : {false, true}) {
            const bool pbm = planes == 9;
            const int w = pbm ? 7 : 21, h = pbm ? 4 : 6, depth = pbm ? 8 : planes;
            SCOPED_TRACE(testing::Message() << (pbm ? "PBM, " : "ILBM, ") << depth << " planes, packed " << packed);
            Bytes px = RandomPixels(w, h, depth, pbm ? 99 : (unsigned)planes);
            Bytes file = Picture(px, w, h, depth, pbm, false, packed);
            EXPECT_EQ(Info(file), (std::vector<int>{w, h, depth, pbm, packed, 16}));
            EXPECT_EQ(px, ReadAll(file, w, h));
        }
}

// Bytes worked out by hand: 16 pixels, one plane.
TEST_F(Iff, ByteRun1ControlBytes)
{
    // Row 0: repeat 0xAA twice. Row 1: copy two literals. Row 2: one literal byte, then -128
    // ends the row early (the rest of the row is 0). Row 3: a repeat of 0xF0 twice.
    Bytes body = {0xFF, 0xAA, 0x01, 0x12, 0x34, 0x00, 0x81, 0x80, 0xFF, 0xF0};
    Bytes file = Form("ILBM", {Bmhd(16, 4, 1, 0, 1), Cmap(2), Chunk("BODY", body)});
    Bytes px = ReadAll(file, 16, 4);
    ASSERT_EQ(64u, px.size());
    auto Row = [&](int y) {
        std::string s;
        for (int x = 0; x < 16; x++) s += (char)('0' + px[(size_t)y * 16 + x]);
        return s;
    };
    EXPECT_EQ("1010101010101010", Row(0));
    EXPECT_EQ("0001001000110100", Row(1));
    EXPECT_EQ("1000000100000000", Row(2));
    EXPECT_EQ("1111000011110000", Row(3));

    // A run that passes the end of its row, or a body that stops early, is refused.
    Bytes over = {0xFD, 0x11};   // four bytes into a row of two
    Bytes tooLong = Form("ILBM", {Bmhd(16, 1, 1, 0, 1), Cmap(2), Chunk("BODY", over)});
    EXPECT_TRUE(ReadAll(tooLong, 16, 1).empty());
    Bytes shortBody = Form("ILBM", {Bmhd(16, 2, 1, 0, 1), Cmap(2), Chunk("BODY", Bytes{0xFF, 0x11})});
    EXPECT_TRUE(ReadAll(shortBody, 16, 2).empty());
}

// Odd chunk sizes carry a pad byte; chunks the reader does not know are passed over; a mask
// plane after the bit planes is not part of the colour.
TEST_F(Iff, PaddingUnknownChunksAndMaskPlane)
{
    const int w = 10, h = 3, planes = 3;
    Bytes px = RandomPixels(w, h, planes, 7);
    Bytes odd = {'h', 'e', 'l', 'l', 'o'};
    for (bool packed : {false, true}) {
        SCOPED_TRACE(packed ? "packed" : "plain");
        Bytes file = Form("ILBM", {Chunk("ANNO", odd), Bmhd(w, h, planes, 1, packed ? 1 : 0), Chunk("DPPS", odd),
                                   Cmap(3) /* 9 bytes: padded */, Chunk("CRNG", Bytes{1, 2, 3}),
                                   Body(px, w, h, planes, false, true, packed), Chunk("TAIL", odd)});
        uint8_t cmap[768];
        int colours = 0;
        Bytes out((size_t)w * h);
        ASSERT_EQ(1, IffRead(file.data(), file.size(), 0, 0, w, h, out.data(), cmap, &colours));
        EXPECT_EQ(px, out);
        ASSERT_EQ(3, colours);
        EXPECT_EQ(Bytes(cmap + 6, cmap + 9), (Bytes{6, 253, 2 ^ 0x5A}));
    }
}

TEST_F(Iff, RectangleIsCutFromThePicture)
{
    const int w = 40, h = 9;
    Bytes px = RandomPixels(w, h, 5, 3);
    Bytes file = Picture(px, w, h, 5, false, false, true);
    Bytes out(12 * 4, 0xEE);
    ASSERT_EQ(1, IffRead(file.data(), file.size(), 28, 5, 12, 4, out.data(), nullptr, nullptr));
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 12; x++) ASSERT_EQ(px[(size_t)(5 + y) * w + 28 + x], out[(size_t)y * 12 + x]) << x << "," << y;
}

TEST_F(Iff, RefusalsLeaveTheDestinationUnchanged)
{
    const int w = 16, h = 4;
    Bytes px = RandomPixels(w, h, 4, 5);
    Bytes body = Body(px, w, h, 4, false, false, true);
    Bytes good = Form("ILBM", {Bmhd(w, h, 4, 0, 1), Cmap(16), body});

    struct Case {
        const char* what;
        Bytes file;
        int x, y, rw, rh;
    };
    Bytes notForm = good;
    notForm[0] = 'L';
    Bytes badType = good;
    memcpy(&badType[8], "ACBM", 4);
    Bytes bigCmap;
    for (int i = 0; i < 257 * 3; i++) bigCmap.push_back((uint8_t)i);
    std::vector<Case> cases = {
        {"width above 2000", Form("ILBM", {Bmhd(2001, h, 4, 0, 1), Cmap(16), body}), 0, 0, w, h},
        {"height above 2000", Form("ILBM", {Bmhd(w, 2001, 4, 0, 1), Cmap(16), body}), 0, 0, w, h},
        {"no planes", Form("ILBM", {Bmhd(w, h, 0, 0, 1), Cmap(16), body}), 0, 0, w, h},
        {"nine planes", Form("ILBM", {Bmhd(w, h, 9, 0, 1), Cmap(16), body}), 0, 0, w, h},
        {"unknown compression", Form("ILBM", {Bmhd(w, h, 4, 0, 2), Cmap(16), body}), 0, 0, w, h},
        {"empty CMAP", Form("ILBM", {Bmhd(w, h, 4, 0, 1), Chunk("CMAP", {}), body}), 0, 0, w, h},
        {"CMAP of one byte", Form("ILBM", {Bmhd(w, h, 4, 0, 1), Chunk("CMAP", {7}), body}), 0, 0, w, h},
        {"CMAP of 257 colours", Form("ILBM", {Bmhd(w, h, 4, 0, 1), Chunk("CMAP", bigCmap), body}), 0, 0, w, h},
        {"BODY before BMHD", Form("ILBM", {Cmap(16), body, Bmhd(w, h, 4, 0, 1)}), 0, 0, w, h},
        {"no BODY", Form("ILBM", {Bmhd(w, h, 4, 0, 1), Cmap(16)}), 0, 0, w, h},
        {"short BMHD", Form("ILBM", {Chunk("BMHD", Bytes(19, 1)), Cmap(16), body}), 0, 0, w, h},
        {"negative x", good, -1, 0, w - 1, h},
        {"negative y", good, 0, -1, w, h - 1},
        {"right edge passed", good, 1, 0, w, h},
        {"bottom edge passed", good, 0, 1, w, h},
        {"no width", good, 0, 0, 0, h},
        {"no height", good, 0, 0, w, 0},
        {"rectangle past the largest integer", good, 1, 1, 0x7FFFFFFF, 0x7FFFFFFF},
        {"not FORM", notForm, 0, 0, w, h},
        {"wrong form type", badType, 0, 0, w, h},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out(64 * 64, 0xEE);
        uint8_t cmap[768];
        memset(cmap, 0xEE, sizeof cmap);
        int colours = -5;
        EXPECT_EQ(0, IffRead(c.file.data(), c.file.size(), c.x, c.y, c.rw, c.rh, out.data(), cmap, &colours));
        EXPECT_EQ(Bytes(64 * 64, 0xEE), out);
        EXPECT_EQ(0xEE, cmap[0]);
        EXPECT_EQ(-5, colours);
    }
    Bytes out((size_t)w * h);
    EXPECT_EQ(1, IffRead(good.data(), good.size(), 0, 0, w, h, out.data(), nullptr, nullptr));
    // The largest picture is taken.
    Bytes big = Form("PBM ", {Bmhd(2000, 1, 8, 0, 0), Cmap(1), Chunk("BODY", Bytes(2000, 3))});
    EXPECT_EQ(Bytes(2000, 3), ReadAll(big, 2000, 1));
}

// ---- Real pictures

static Bytes Fixture(const char* name) { return ReadBytes(std::string(TOLBEX_FIXTURES) + "/real/" + name); }

struct Pixel {
    int x, y;
    uint8_t r, g, b;
};

// The colours were confirmed with an independent decoder (netpbm's ilbmtoppm), which gives
// the same picture as ours pixel for pixel.
static void ExpectPixels(const Bytes& file, int w, int h, const std::vector<Pixel>& expected)
{
    Bytes px((size_t)w * h);
    uint8_t cmap[768];
    int colours = 0;
    ASSERT_EQ(1, IffRead(file.data(), file.size(), 0, 0, w, h, px.data(), cmap, &colours));
    for (const Pixel& p : expected) {
        int i = px[(size_t)p.y * w + p.x];
        ASSERT_LT(i, colours);
        EXPECT_EQ(p.r, cmap[3 * i]) << p.x << "," << p.y;
        EXPECT_EQ(p.g, cmap[3 * i + 1]) << p.x << "," << p.y;
        EXPECT_EQ(p.b, cmap[3 * i + 2]) << p.x << "," << p.y;
    }
}

TEST_F(Iff, RealPictures)
{
    Bytes fc = Fixture("FC.LBM");
    EXPECT_EQ(Info(fc), (std::vector<int>{320, 200, 8, 1, 1, 256}));
    ExpectPixels(fc, 320, 200,
                 {{0, 0, 0, 0, 0}, {318, 101, 55, 39, 55}, {280, 99, 107, 83, 111}, {0, 110, 51, 43, 63},
                  {319, 110, 67, 55, 79}, {160, 100, 91, 67, 91}});

    Bytes pic = Fixture("PIC18.LBM");
    EXPECT_EQ(Info(pic), (std::vector<int>{160, 100, 6, 0, 1, 34}));
    ExpectPixels(pic, 160, 100,
                 {{159, 99, 0, 0, 0}, {80, 3, 24, 0, 0}, {108, 81, 106, 106, 106}, {53, 81, 115, 115, 115},
                  {101, 82, 74, 74, 74}, {83, 82, 16, 16, 16}});
}

// ---- Damaged files

// Every truncation is refused; so is every truncation whose FORM size has been made to agree
// with it (the walk and the body decoder then meet the cut), short of cutting only the pad
// byte after an odd-sized body, which leaves a whole picture. Each image is copied to a
// buffer of exactly its size, so that a read past the end is caught by the sanitizer.
static void FeedTruncations(const Bytes& file, int w, int h)
{
    Bytes out((size_t)w * h, 0xEE);
    for (size_t n = 0; n < file.size(); n++) {
        Bytes cut(file.begin(), file.begin() + (long)n);
        ASSERT_EQ(0, IffRead(cut.data(), cut.size(), 0, 0, w, h, out.data(), nullptr, nullptr)) << n;
        if (n >= 12 && n + 1 < file.size()) {
            for (int k = 0; k < 4; k++) cut[4 + k] = (uint8_t)((n - 8) >> (24 - 8 * k));   // the FORM size
            ASSERT_EQ(0, IffRead(cut.data(), cut.size(), 0, 0, w, h, out.data(), nullptr, nullptr)) << n;
            IffInfo info;
            IffGetInfo(cut.data(), cut.size(), &info);
        }
    }
    EXPECT_EQ(Bytes((size_t)w * h, 0xEE), out);
}

TEST_F(Iff, TruncatedPicturesAreRefused)
{
    FeedTruncations(Fixture("PIC18.LBM"), 160, 100);
    FeedTruncations(Fixture("FC.LBM"), 320, 200);
}

TEST_F(Iff, CorruptedBytesNeverReadOutside)
{
    std::mt19937 rng(2024);
    for (const char* name : {"PIC18.LBM", "FC.LBM"}) {
        Bytes original = Fixture(name);
        IffInfo info;
        ASSERT_EQ(1, IffGetInfo(original.data(), original.size(), &info));
        for (int trial = 0; trial < 400; trial++) {
            Bytes file = original;
            int changes = 1 + (int)(rng() % 4);
            for (int k = 0; k < changes; k++) {
                // most damage in the chunk headers and the start of the body, where it matters most
                size_t at = trial % 2 ? rng() % file.size() : rng() % std::min<size_t>(file.size(), 1200);
                file[at] = (uint8_t)rng();
            }
            Bytes px((size_t)info.width * info.height, 0xEE);
            uint8_t cmap[768];
            int colours = -1;
            IffInfo got;
            IffGetInfo(file.data(), file.size(), &got);
            IffGetPalette(file.data(), file.size(), cmap, &colours);
            colours = -1;
            if (!IffRead(file.data(), file.size(), 0, 0, info.width, info.height, px.data(), cmap, &colours)) {
                ASSERT_EQ(-1, colours);
                ASSERT_EQ(Bytes(px.size(), 0xEE), px);
            }
        }
    }
}

// ---- tolbex-cli lbm

TEST_F(Iff, CliLbmToBmp)
{
    TempDir dir;
    std::string fc = std::string(TOLBEX_FIXTURES) + "/real/FC.LBM";
    RunResult r = RunProgram(TOLBEX_CLI_BIN, {"lbm", "to-bmp", fc, "fc.bmp"}, dir.path());
    ASSERT_EQ(0, r.exitCode) << r.output;
    Bytes bmp = ReadBytes(dir.file("fc.bmp"));
    int w = 0, h = 0;
    ASSERT_EQ(1, BmpCheckLength(bmp.data(), bmp.size(), &w, &h));
    EXPECT_EQ((std::vector<int>{320, 200}), (std::vector<int>{w, h}));
    Bytes rgb((size_t)w * h * 3);
    ASSERT_EQ(1, BmpDecode(bmp.data(), bmp.size(), rgb.data(), rgb.size()));
    const uint8_t* p = &rgb[(101 * 320 + 318) * 3];   // confirmed with ilbmtoppm
    EXPECT_EQ((Bytes{55, 39, 55}), Bytes(p, p + 3));

    Bytes broken = Fixture("FC.LBM");
    broken.resize(broken.size() / 2);
    WriteBytes(dir.file("broken.lbm"), broken);
    r = RunProgram(TOLBEX_CLI_BIN, {"lbm", "to-bmp", "broken.lbm", "out.bmp"}, dir.path());
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("broken.lbm")) << r.output;
    EXPECT_FALSE(PathExists(dir.file("out.bmp")));
}
