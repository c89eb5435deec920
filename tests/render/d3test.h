// A recording renderer driver and the fixture the Draw3D tests share: its polygon routines
// keep copies of what they receive, its frame routines note the order they were called in.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/maths.h"
#include "base/res.h"
#include "kernel/kernel.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "render/draw3d.h"
#include "support/testutil.h"

struct RecVertex {
    float x, y, z, w, sx, sy, u, v;
    int32_t level, r, g, b, sr, sg, sb;
};

struct RecPolygon {
    int type;
    uint32_t flags;
    ResId texture;
    int shade;
    int material;
    std::vector<RecVertex> v;
};

struct Recorder {
    std::vector<RecPolygon> polygons;
    std::vector<std::string> calls;
};
inline Recorder gRec;

inline void RecordPolygon(D3Polygon* p)
{
    RecPolygon r{p->type, p->flags, p->texture, p->shade, p->material, {}};
    const D3Vertex* v = p->ring;
    for (int i = 0; i < p->count; i++, v = v->next)
        r.v.push_back({v->x, v->y, v->z, v->w, v->sx, v->sy, v->u, v->v, v->level, v->r, v->g, v->b, v->sr, v->sg, v->sb});
    // The ring must close after count nodes, both ways.
    EXPECT_EQ(p->ring, v);
    gRec.polygons.push_back(r);
    gRec.calls.push_back("polygon");
}

inline D3PolyFn gRecTable[D3T_COUNT];

inline D3Driver RecordingDriver(uint32_t flags)
{
    for (D3PolyFn& f : gRecTable) f = RecordPolygon;
    D3Driver d{};
    d.name = "Recorder";
    d.flags = flags;
    d.startFrame = [] { gRec.calls.push_back("begin"); };
    d.flush = [] { gRec.calls.push_back("flush"); };
    d.endFrame = [] { gRec.calls.push_back("end"); };
    d.activate = [](const D3PolyFn*, int) { gRec.calls.push_back("activate"); };
    d.deactivate = [] { gRec.calls.push_back("deactivate"); };
    d.polygons = gRecTable;
    return d;
}

inline const int16_t kIdentity[9] = {16384, 0, 0, 0, 16384, 0, 0, 0, 16384};

// A w x h view without sorting, an identity camera at the origin looking along +z.
inline void IdentityView(int w, int h)
{
    Draw3DSetup(w, h, D3_NEAREST_Z, D3_VIEW_DISTANCE, D3SORT_NONE);
    Draw3DDefaults();
    const int32_t origin[3] = {0, 0, 0};
    Draw3DSetCamera(origin, kIdentity);
    Draw3DLensPerspective(0, 0, w, h);
}

// The pipeline with the recording driver as driver 1 over a 640 x 400 identity view.
inline void InstallRecorder(int polygons, uint32_t driverFlags)
{
    Draw3DRemove();
    ASSERT_EQ(0, Draw3DInstall(polygons));
    D3Driver d = RecordingDriver(driverFlags);
    Draw3DRegisterDriver(1, &d);
    Draw3DSelectDriver(1);
    IdentityView(640, 400);
}

// A triangle of three points of the current object, facing the eye.
inline D3Triangle Tri(int a, int b, int c, int material, uint32_t flags = 0)
{
    D3Triangle t{};
    t.point[0] = a, t.point[1] = b, t.point[2] = c;
    t.material = material;
    t.flags = flags;
    t.normal[2] = -16384;
    return t;
}

// Resources, the pipeline with the recording driver as driver 1, an identity camera at the
// origin looking along +z over a 640 x 400 viewport, near D3_NEAREST_Z (257).
class Draw3D : public ::testing::Test {
protected:
    TempDir dir{true};
    void SetUp() override
    {
        ResRemove();
        ResInstall(2000);
        SpriteInstall();
        Draw3DCheckFrames(0);
        Install(2000, 0xC0);
    }
    void TearDown() override
    {
        Draw3DCheckFrames(0);
        Draw3DRemove();
        ResRemove();
    }
    void Install(int polygons, uint32_t driverFlags)
    {
        InstallRecorder(polygons, driverFlags);
        gRec = Recorder();
    }
    static void Start()
    {
        Draw3DStartDraw(0, 0, 640, 400);
        gRec = Recorder();
    }
    // An object of camera-space points at the camera's origin.
    static void Points(const std::vector<float>& xyz)
    {
        const int32_t origin[3] = {0, 0, 0};
        Draw3DObjectF(origin, nullptr, 16384, 100000, (int)xyz.size() / 3, xyz.data());
    }
};

// A render material from its parts: colour 0-255, 2.14 coefficients.
inline int AddMaterial(const char* name, int r, int g, int b, int32_t ambient, int32_t diffuse, int32_t specular = 0,
                       int32_t si = 0, int32_t alpha = 0)
{
    uint8_t rec[MAT_RECORD_SIZE] = {};
    memcpy(rec + MR_NAME, name, strlen(name));
    const std::pair<int, int32_t> fields[] = {{MR_RED, r << 6},       {MR_GREEN, g << 6},       {MR_BLUE, b << 6},
                                              {MR_AMBIENT, ambient},  {MR_DIFFUSE, diffuse},    {MR_SPECULAR, specular},
                                              {MR_SI, si},            {MR_ALPHA, alpha}};
    for (auto [at, value] : fields) PutI32(rec, at, value);
    return IntMatFindOrAdd(rec);
}

// ---- Polygons handed straight to a driver's routines

// A vertex as the driver tests write it: screen position and depth, lit colour, texture
// coordinates, blend level and specular colour, the colours and level as 2.14 values.
struct Vert {
    float x, y, z;
    float r = 1, g = 1, b = 1;
    float u = 0, v = 0;
    float level = 0;
    float sr = 0, sg = 0, sb = 0;
};

// A 2.14 value (as a float) in the 16.16 form vertices carry.
inline int32_t Fix(float f) { return (int32_t)((int64_t)std::lround(f * 16384) * 65536); }

// Rings and polygon records that live as long as the store (a test fixture).
struct PolyStore {
    std::deque<std::vector<D3Vertex>> rings;
    std::deque<D3Polygon> polys;
    D3Polygon* Poly(int type, std::vector<Vert> vs, ResId texture = 0, int chained = 0)
    {
        std::vector<D3Vertex>& ring = rings.emplace_back(vs.size());
        for (size_t i = 0; i < vs.size(); i++) {
            D3Vertex& d = ring[i];
            const Vert& s = vs[i];
            d = D3Vertex{};
            d.sx = s.x, d.sy = s.y, d.z = s.z, d.w = 1.0f / s.z;
            d.r = Fix(s.r), d.g = Fix(s.g), d.b = Fix(s.b);
            d.sr = Fix(s.sr), d.sg = Fix(s.sg), d.sb = Fix(s.sb);
            d.u = s.u, d.v = s.v;
            d.level = Fix(s.level);
            d.next = &ring[(i + 1) % vs.size()];
            d.prev = &ring[(i + vs.size() - 1) % vs.size()];
        }
        D3Polygon& p = polys.emplace_back();
        p.ring = &ring[0];
        p.count = (int)vs.size();
        p.type = type;
        p.texture = texture;
        p.chained = chained;
        return &p;
    }
};
