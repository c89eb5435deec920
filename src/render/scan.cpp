// Scan conversion for the software rasteriser. Each polygon is drawn at once: its attributes
// (depth, colour or light levels, texture u and v, blend level) are planes over the screen, set
// up once per polygon in floating point; each scanline's span starts from the plane at its
// first pixel centre and steps by integer adds. A pixel is drawn when its centre lies inside
// the polygon, and with the depth test when its depth is at least what the buffer holds, so
// that of two polygons at equal depth the later one shows.
#include "render/scan.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <utility>

#include "base/workpool.h"
#include "platform/video.h"
#include "render/pixpack.h"
#include "render/spans.h"
#include "render/zbuffer.h"

// ============================================================================================
// Attributes, edges
// ============================================================================================

enum { A_Z, A_C0, A_C1, A_C2, A_A, A_U, A_V, A_COUNT };   // u and v last: they wrap

struct Vtx {
    double x, y;
    double a[A_COUNT];
};
// A vertex's screen position: all the rows need once the planes are set up.
struct Pt {
    double x, y;
};

// An attribute over the screen, 16 bits finer than its span units: the value at the centre of
// pixel (ox + x, oy + y) is (c + x * gx + y * gy) >> 16.
struct Plane {
    int64_t c, gx, gy;
};
// u or v in 2^-32 of the texture, wrapping: the same form without the extra bits.
struct WrapPlane {
    uint32_t c, gx, gy;
};

// One side of the polygon: the edge it is on and its x (16.16) on the current row.
struct Edge {
    int cur, next, dir, steps;
    int startRow, endRow;
    int64_t x, dx;
};

static const double SCREEN_LIMIT = 65536.0;
static const double TWO32 = 4294967296.0;
static const double FIX = 65536.0;
// Vertex values keep this far (in 2^-16 of a span unit) inside their tables' range, so that
// the rounding of a span's steps cannot carry a pixel out of it.
static const int32_t MARGIN = 0x800;

static inline int CeilInt(double t) { return 131072 - (int)(131072.0 - t); }   // |t| < 2^17

static inline int64_t ToFixed(double d, double limit)
{
    if (!(d > -limit)) return d != d ? 0 : (int64_t)-limit;   // NaN gives 0
    if (d > limit) return (int64_t)limit;
    return (int64_t)d;
}

// A texture coordinate (in 2^-32 of the texture) reduced to the 32-bit wrap.
static inline uint32_t Wrap32(double d)
{
    if (!std::isfinite(d)) return 0;
    double m = d - std::floor(d / TWO32) * TWO32;
    return m >= 0 && m < TWO32 ? (uint32_t)m : 0;
}

// A 2.14 value shifted left by 16 in span units: 8.16 colour components (shift 6), 7.16 shade
// levels (shift 8) or 5.16 blend levels (shift 9), clamped to lo..hi.
static inline double Component(int64_t value, int shift, int64_t lo, int64_t hi)
{
    int64_t v = value >> shift;
    return (double)(v < lo ? lo : v > hi ? hi : v);
}

// A vertex's lit colour (with its specular colour) as 0x00RRGGBB.
static uint32_t VertexRGB(const D3Vertex* q)
{
    return ((uint32_t)Component((int64_t)q->r + q->sr, 22, 0, 255) << 16) |
           ((uint32_t)Component((int64_t)q->g + q->sg, 22, 0, 255) << 8) |
           (uint32_t)Component((int64_t)q->b + q->sb, 22, 0, 255);
}

static inline int32_t Step(const Plane& p)
{
    int64_t d = (p.gx + 0x8000) >> 16;
    return (int32_t)(d < -0x7FFFFFFF ? -0x7FFFFFFF : d > 0x7FFFFFFF ? 0x7FFFFFFF : d);
}

// Polygons of more than three vertices are not quite planar in their attributes: their spans
// are held inside lo..hi at both ends.
static inline int32_t FitSpan(int64_t start, int32_t* step, int n, int64_t lo, int64_t hi)
{
    int64_t s = start < lo ? lo : start > hi ? hi : start;
    int64_t e = s + (int64_t)*step * (n - 1);
    if (e < lo || e > hi) {
        e = e < lo ? lo : hi;
        *step = n > 1 ? (int32_t)((e - s) / (n - 1)) : 0;
    }
    return (int32_t)s;
}

// Moves an edge down to the row, onto the next edges of its chain as earlier ones end. x on a
// row is worked out from the edge's own first row, so neighbours that share an edge agree on
// every row whatever row they start on. 0 when the chain runs out (a damaged polygon).
static int EdgeSeek(Edge& e, const Pt* v, int n, int row)
{
    while (row >= e.endRow) {
        if (e.steps++ >= n) return 0;
        e.cur = e.next;
        e.next = e.dir > 0 ? (e.next + 1 == n ? 0 : e.next + 1) : (e.next == 0 ? n - 1 : e.next - 1);
        const Pt &a = v[e.cur], &b = v[e.next];
        e.startRow = CeilInt(a.y - 0.5);
        e.endRow = CeilInt(b.y - 0.5);
        if (e.endRow > e.startRow) {
            double slope = (b.x - a.x) / (b.y - a.y);
            e.dx = ToFixed(slope * FIX, 0x1p40);
            e.x = ToFixed((a.x + (e.startRow + 0.5 - a.y) * slope) * FIX, 0x1p40) + (int64_t)(row - e.startRow) * e.dx;
        }
    }
    return 1;
}

// ============================================================================================
// Rows
// ============================================================================================

// A polygon ready to be cut into spans.
struct Raster {
    const Pt* v;
    int n;
    bool fit;                // more than three vertices: spans are held inside their ranges
    Edge ea, eb;
    int row, rowEnd;
    int64_t left, right;
    int pitch, dw;
    uint8_t* pixels;         // the buffer; rows are offsets into it until a span is drawn
    size_t line;
    int32_t* depth;          // the depth buffer, or null without the depth test
    size_t depthLine;
    int ox, oy;
    Plane pz, pc[3], pa;
    WrapPlane pu, pv;
    SpanIn steps;
    int64_t colourTop;
    const SpanCtx* ctx;
};

// Walks the rows and fills each one's span; only the attributes the span routine uses are
// stepped. One copy of this loop is compiled for each span routine.
template <typename F, int M, bool Z, bool KEY, bool BLEND>
static uint32_t RasterRows(Raster& r)
{
    typedef typename F::Word P;
    constexpr bool SHADED = M == SPAN_SMOOTH || M == SPAN_LIT8 || M == SPAN_LIT32 || M == SPAN_GREY8, TEX = M >= SPAN_LIT8;
    const Pt* v = r.v;
    const int n = r.n, rowEnd = r.rowEnd, pitch = r.pitch, dw = r.dw;
    const bool fit = r.fit;
    const int64_t left = r.left, right = r.right, ox = r.ox;
    const SpanCtx& ctx = *r.ctx;
    const Plane pz = r.pz, pa = r.pa, pc0 = r.pc[0], pc1 = r.pc[1], pc2 = r.pc[2];
    const WrapPlane pu = r.pu, pv = r.pv;
    int row = r.row;
    uint8_t* const pixels = r.pixels;
    int32_t* const depth = r.depth;
    size_t line = r.line, depthLine = r.depthLine;
    // Each plane's value at column ox of the current row.
    const int64_t py = row - r.oy;
    int64_t rz = pz.c + py * pz.gy, ra = pa.c + py * pa.gy;
    int64_t rc0 = pc0.c + py * pc0.gy, rc1 = pc1.c + py * pc1.gy, rc2 = pc2.c + py * pc2.gy;
    uint32_t ru = pu.c + (uint32_t)py * pu.gy, rv = pv.c + (uint32_t)py * pv.gy;
    SpanIn in = r.steps;
    uint32_t spans = 0;
    for (; row < rowEnd; row++) {
        if ((row >= r.ea.endRow && !EdgeSeek(r.ea, v, n, row)) || (row >= r.eb.endRow && !EdgeSeek(r.eb, v, n, row)))
            break;
        int64_t xa = r.ea.x, xb = r.eb.x;
        int64_t xs = ((xa < xb ? xa : xb) + 0x7FFF) >> 16, xe = ((xa < xb ? xb : xa) + 0x7FFF) >> 16;
        xs = xs < left ? left : xs;
        xe = xe > right ? right : xe;
        if (xe > xs) {
            int count = (int)(xe - xs);
            int64_t px = xs - ox;
            // The next row's span starts near this one's: ask for its depth and pixels now,
            // they are seldom in the nearest cache (addresses only: a prefetch reads nothing).
            if (Z) __builtin_prefetch((const void*)((uintptr_t)depth + 4 * (depthLine + dw + (xs - left))), 1);
            __builtin_prefetch((const void*)((uintptr_t)pixels + line + pitch + xs * sizeof(P)), 1);
            if (fit) in = r.steps;
            if (Z) {
                // Depth is held inside its range for every polygon: a span of a plane as steep
                // as a sliver's would otherwise step past the 32-bit depth.
                int64_t z = (rz + px * pz.gx) >> 16;
                in.dz = r.steps.dz;
                in.z = FitSpan(z, &in.dz, count, 0, 0x7FFFFFFF);
            }
            if (SHADED) {
                int64_t c0 = (rc0 + px * pc0.gx) >> 16, c1 = (rc1 + px * pc1.gx) >> 16, c2 = (rc2 + px * pc2.gx) >> 16;
                in.c[0] = fit ? FitSpan(c0, &in.dc[0], count, 0, r.colourTop) : (int32_t)c0;
                in.c[1] = fit ? FitSpan(c1, &in.dc[1], count, 0, r.colourTop) : (int32_t)c1;
                in.c[2] = fit ? FitSpan(c2, &in.dc[2], count, 0, r.colourTop) : (int32_t)c2;
            }
            if (BLEND) {
                int64_t a = (ra + px * pa.gx) >> 16;
                in.a = fit ? FitSpan(a, &in.da, count, 0, 32 << 16) : (int32_t)a;
            }
            if (TEX) {
                in.u = ru + (uint32_t)px * pu.gx;
                in.v = rv + (uint32_t)px * pv.gx;
            }
            SpanRun<F, M, Z, KEY, BLEND>(pixels + line + xs * sizeof(P), Z ? depth + depthLine + (xs - left) : nullptr,
                                         count, in, ctx);
            spans++;
        }
        r.ea.x += r.ea.dx;
        r.eb.x += r.eb.dx;
        line += pitch;
        if (Z) {
            rz += pz.gy;
            depthLine += dw;
        }
        if (SHADED) {
            rc0 += pc0.gy;
            rc1 += pc1.gy;
            rc2 += pc2.gy;
        }
        if (BLEND) ra += pa.gy;
        if (TEX) {
            ru += pu.gy;
            rv += pv.gy;
        }
    }
    return spans;
}

typedef uint32_t (*RasterFn)(Raster& r);

template <typename F, int M>
static RasterFn PickFlags(bool z, bool key, bool blend)
{
    switch ((z ? 4 : 0) | (key ? 2 : 0) | (blend ? 1 : 0)) {
    case 0: return RasterRows<F, M, false, false, false>;
    case 1: return RasterRows<F, M, false, false, true>;
    case 2: return RasterRows<F, M, false, true, false>;
    case 3: return RasterRows<F, M, false, true, true>;
    case 4: return RasterRows<F, M, true, false, false>;
    case 5: return RasterRows<F, M, true, false, true>;
    case 6: return RasterRows<F, M, true, true, false>;
    default: return RasterRows<F, M, true, true, true>;
    }
}

template <typename F, int M>
static RasterFn PickPlain(bool z, bool blend)
{
    switch ((z ? 2 : 0) | (blend ? 1 : 0)) {
    case 0: return RasterRows<F, M, false, false, false>;
    case 1: return RasterRows<F, M, false, false, true>;
    case 2: return RasterRows<F, M, true, false, false>;
    default: return RasterRows<F, M, true, false, true>;
    }
}

template <typename F>
static RasterFn PickRaster(int mode, bool z, bool key, bool blend)
{
    switch (mode) {
    case SPAN_FLAT: return PickPlain<F, SPAN_FLAT>(z, blend);
    case SPAN_SMOOTH: return PickPlain<F, SPAN_SMOOTH>(z, blend);
    case SPAN_LIT8: return PickFlags<F, SPAN_LIT8>(z, key, blend);
    case SPAN_LIT32: return PickFlags<F, SPAN_LIT32>(z, key, blend);
    case SPAN_GREY8: return PickFlags<F, SPAN_GREY8>(z, key, blend);
    case SPAN_UNLIT8: return PickFlags<F, SPAN_UNLIT8>(z, key, blend);
    default: return PickFlags<F, SPAN_UNLIT32>(z, key, blend);
    }
}

// The platform's own layouts have span routines of their own; others go through the tables.
static RasterFn PickRasterFor(int bytes, int mode, const ScanRoute& r)
{
    const uint32_t* m = PixPackCurrent()->mask;
    if (bytes == 2)
        return m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x1F ? PickRaster<Pix565>(mode, r.z, r.key, r.blend)
                                                                 : PickRaster<Pix16>(mode, r.z, r.key, r.blend);
    return m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF ? PickRaster<Pix888>(mode, r.z, r.key, r.blend)
                                                               : PickRaster<Pix32>(mode, r.z, r.key, r.blend);
}

// ============================================================================================
// The queue
// ============================================================================================

// With more than one thread, depth-tested polygons are queued, set up and in order, and the
// rows are cut into bands, one thread a band. The workers draw their bands while the polygons
// come (the caller goes on transforming and setting up the next ones); the caller draws its
// own band when something needs the pixels (the video layer's barrier, the end of the frame,
// a full queue). Each band takes every polygon in the order it came, so the picture is the
// one-thread picture to the byte, however the rows are shared out.
enum {
    SCAN_QUEUE_JOBS = 16384,
    SCAN_QUEUE_VERTICES = 16384 * 4,
    SCAN_BIN_SHIFT = 3,               // the work guess is kept per 8 rows
    SCAN_BINS = 65536 >> 3,           // enough for any clip rectangle
    SCAN_MIN_BAND_WORK = 24000,       // guessed pixels a thread must have to be woken
    SCAN_PUBLISH_JOBS = 16,           // polygons handed to the workers at a time
    SCAN_SPIN = 4000,                 // pauses a worker waits for polygons before it sleeps
    SCAN_QUEUE_ENDED = 1 << 30,       // set in the published count when no more will come
};
// The caller's share of the rows' work moves after each batch towards the share at which it
// and the workers would have finished together, by this part of the way (the next frame is
// seldom the same); by a step while the caller's band is too small to time.
static const double SCAN_SHARE_DAMPING = 0.5;
static const double SCAN_SHARE_STEP = 1.0 / 32;

static int64_t NowNs(void)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Job {
    RasterFn raster;
    const Pt* pts;
    int n, topVertex, row, rowEnd;
    ZBufferTarget target;
    int32_t* depth;
    int depthWidth;
    int ox, oy;
    Plane pz, pc[3], pa;
    WrapPlane pu, pv;
    SpanIn steps;
    int64_t colourTop;
    SpanCtx ctx;
};

// A polygon as it was gathered from its ring: what setting it up needs.
struct Gathered {
    const Vtx* v;
    int n, i1, topVertex, row, rowEnd;
    double area;             // twice the area of the triple v[0], v[i1], v[i1 + 1]
    ScanRoute route;         // with the span mode it is drawn in
    bool shaded;             // colours were gathered
    uint32_t flat;
    // The texture as the cache holds it now (its entry may be reused before the bands draw).
    const uint8_t* texels;
    uint32_t tw, th;
    int keyIndex;
    uint32_t key;
};

static struct {
    int threads = 1;
    // The batch: polygons as gathered (each band sets up those that reach its rows), their
    // vertices, and the frame's target they all go to.
    Gathered* jobs = nullptr;
    int jobCount = 0;
    Vtx* vertices = nullptr;
    int vertexCount = 0;
    ZBufferTarget target;
    int32_t* depthRows = nullptr;
    int depthWidth = 0;
    // Polygons the workers may draw, with SCAN_QUEUE_ENDED once the batch is closed; and how
    // many workers sleep waiting for it to grow. Each on a cache line of its own: a waiting
    // worker reads them over and over, which must not take the line of the caller's counts.
    alignas(64) std::atomic<int> published{0};
    alignas(64) std::atomic<int> sleepers{0};
    alignas(64) int bands = 1;   // above 1 while the workers have their bands of this batch
    // The guessed work of each 8 rows, this batch's and the last batch's (which places the
    // next batch's bands before its own polygons are known).
    int64_t* work = nullptr;
    int64_t* lastWork = nullptr;
    int64_t workTotal = 0, lastTotal = 0;
    int workFrom = SCAN_BINS, workTo = -1, lastFrom = SCAN_BINS, lastTo = -1;
    int64_t minBandWork = SCAN_MIN_BAND_WORK;
    double callerShare = -1;          // of the rows' work; below 0 until first placed
    double shareNs = 0;               // the caller's time for all the rows' work, last timed
    int64_t bandDone[WORKPOOL_MAX_THREADS] = {};   // when each worker's band was done
    int bandEdge[WORKPOOL_MAX_THREADS + 1] = {};
    uint32_t bandSpans[WORKPOOL_MAX_THREADS] = {};
    uint8_t* hits = nullptr;          // a byte a job and band: the band drew a span of it
    int lastBands = 0;
} scan;

static uint32_t JobRows(const Job& j, int row, int rowEnd);
static void Publish(int count, bool ended);
static void StartBands(void);

// ============================================================================================
// Polygons
// ============================================================================================

// Gradients go up to 2^28 span units a pixel: a floor cut by the near plane in a small view
// changes depth by more than 2^24 from one row to the next. With pixel offsets below 2^17 and
// the centre value below 2^50, a plane's value at any pixel stays inside 2^62.
static const double GRADIENT_LIMIT = 0x1p44;

static Plane MakePlane(const Vtx& p0, const Vtx& p1, const Vtx& p2, int a, const double* g, double cx, double cy)
{
    double e1 = p1.a[a] - p0.a[a], e2 = p2.a[a] - p0.a[a];
    double gx = (e1 * g[0] - e2 * g[1]) * g[4], gy = (e2 * g[2] - e1 * g[3]) * g[4];
    return {ToFixed((p0.a[a] + cx * gx + cy * gy) * FIX, 0x1p50), ToFixed(gx * FIX, GRADIENT_LIMIT),
            ToFixed(gy * FIX, GRADIENT_LIMIT)};
}

static WrapPlane MakeWrapPlane(const Vtx& p0, const Vtx& p1, const Vtx& p2, int a, const double* g, double cx,
                               double cy)
{
    double e1 = p1.a[a] - p0.a[a], e2 = p2.a[a] - p0.a[a];
    double gx = (e1 * g[0] - e2 * g[1]) * g[4], gy = (e2 * g[2] - e1 * g[3]) * g[4];
    return {Wrap32(p0.a[a] + cx * gx + cy * gy), Wrap32(gx), Wrap32(gy)};
}

// Sets a gathered polygon up for its rows: its attribute planes, from the vertex triple that
// spans the largest area, relative to the pixel (ox, oy) at the first vertex so that they stay
// small. Any thread may do it: a polygon set up twice is set up the same.
static void SetUp(const Gathered& g, const ZBufferTarget& t, int32_t* depthRows, int depthWidth, Pt* pts, Job& j)
{
    const int mode = g.route.mode;
    const bool smooth = mode == SPAN_SMOOTH, shaded = g.shaded, textured = mode >= SPAN_LIT8;
    const Vtx* v = g.v;
    const Vtx &p0 = v[0], &p1 = v[g.i1], &p2 = v[g.i1 + 1];
    const double g5[5] = {p2.y - p0.y, p1.y - p0.y, p1.x - p0.x, p2.x - p0.x, 1.0 / g.area};
    int ox = CeilInt(p0.x), oy = CeilInt(p0.y);
    double cx = ox + 0.5 - p0.x, cy = oy + 0.5 - p0.y;
    Plane pz = {}, pc[3] = {}, pa = {};
    WrapPlane pu = {}, pv = {};
    SpanIn in = {};
    if (g.route.z) {
        pz = MakePlane(p0, p1, p2, A_Z, g5, cx, cy);
        in.dz = Step(pz);
    }
    if (shaded)
        for (int c = 0; c < 3; c++) {
            pc[c] = MakePlane(p0, p1, p2, A_C0 + c, g5, cx, cy);
            in.dc[c] = Step(pc[c]);
        }
    if (g.route.blend) {
        pa = MakePlane(p0, p1, p2, A_A, g5, cx, cy);
        in.da = Step(pa);
    }
    if (textured) {
        pu = MakeWrapPlane(p0, p1, p2, A_U, g5, cx, cy);
        pv = MakeWrapPlane(p0, p1, p2, A_V, g5, cx, cy);
        in.du = pu.gx;
        in.dv = pv.gx;
    }

    const PixPackTables* tables = PixPackCurrent();
    SpanCtx& ctx = j.ctx;
    ctx.flat = g.flat;
    for (int c = 0; c < 3; c++) {
        ctx.lane[c] = tables->lane[c];
        ctx.chan[c] = tables->chan[c];
        ctx.ramp[c] = tables->ramp[c];
    }
    ctx.spread = tables->spread;
    ctx.palette = tables->palette;
    ctx.display = tables->display;
    ctx.shade = tables->shade;
    ctx.tex8 = ctx.tex32 = g.texels;
    ctx.tw = g.tw;
    ctx.th = g.th;
    ctx.keyIndex = g.keyIndex;
    ctx.key = g.key;

    for (int i = 0; i < g.n; i++) pts[i] = {v[i].x, v[i].y};
    j.raster = PickRasterFor(t.bytes, mode, g.route);
    j.pts = pts;
    j.n = g.n;
    j.topVertex = g.topVertex;
    j.row = g.row;
    j.rowEnd = g.rowEnd;
    j.target = t;
    j.depth = g.route.z ? depthRows : nullptr;
    j.depthWidth = depthWidth;
    j.ox = ox;
    j.oy = oy;
    j.pz = pz;
    j.pa = pa;
    j.pu = pu;
    j.pv = pv;
    for (int c = 0; c < 3; c++) j.pc[c] = pc[c];
    j.steps = in;
    j.colourTop = smooth ? 0xFFFFFF : 0x7FFFFF;
}

void ScanPolygon(D3Polygon* p, const ScanRoute& route, const TexCacheEntry* tex)
{
    ZBufferTarget t;
    int32_t* depthRows = nullptr;
    int depthWidth = 0;
    if (route.z ? !ZBufferFrameTarget(&t, &depthRows, &depthWidth) : !ZBufferVideoTarget(&t)) return;
    D3Vertex* first = p->ring;
    if (!first) return;

    // Queued while other threads share the frame's rows; drawn here otherwise.
    bool queue = route.z && scan.threads > 1;
    if (queue && (scan.jobCount == SCAN_QUEUE_JOBS || scan.vertexCount + SCAN_MAX_VERTICES > SCAN_QUEUE_VERTICES ||
                  (scan.jobCount && std::memcmp(&t, &scan.target, sizeof t) != 0)))
        ScanFinish();

    int mode = route.mode;
    bool smooth = mode == SPAN_SMOOTH, lit = mode == SPAN_LIT8 || mode == SPAN_LIT32;
    bool shaded = smooth || lit, textured = mode >= SPAN_LIT8;
    int shift = smooth ? 6 : 8;
    int64_t top = (smooth ? 0xFFFFFF : 0x7FFFFF) - MARGIN;

    // Gather the ring. A broken or overlong ring is not drawn rather than walked forever.
    Vtx here[SCAN_MAX_VERTICES];
    Vtx* v = queue ? scan.vertices + scan.vertexCount : here;
    int n = 0;
    bool grey = true;
    D3Vertex* q = first;
    do {
        if (n == SCAN_MAX_VERTICES || !q) return;
        Vtx& o = v[n++];
        if (!std::isfinite(q->sx) || !std::isfinite(q->sy)) return;
        o.x = q->sx < -SCREEN_LIMIT ? -SCREEN_LIMIT : q->sx > SCREEN_LIMIT ? SCREEN_LIMIT : q->sx;
        o.y = q->sy < -SCREEN_LIMIT ? -SCREEN_LIMIT : q->sy > SCREEN_LIMIT ? SCREEN_LIMIT : q->sy;
        double depth = ZBufferDepth(q->z);
        // A chained polygon lies on the one it is chained to: lifting it a little keeps it on
        // top where rounding would otherwise let the two fight.
        if (p->chained) depth += depth / 4096 + 2048;
        o.a[A_Z] = depth;
        if (shaded) {
            o.a[A_C0] = Component((int64_t)q->r + q->sr, shift, MARGIN, top);
            o.a[A_C1] = Component((int64_t)q->g + q->sg, shift, MARGIN, top);
            o.a[A_C2] = Component((int64_t)q->b + q->sb, shift, MARGIN, top);
            grey = grey && o.a[A_C0] == o.a[A_C1] && o.a[A_C2] == o.a[A_C1];
        }
        if (route.blend) o.a[A_A] = Component(q->level, 9, MARGIN, 32 << 16);
        if (textured) {
            double u = std::isfinite(q->u) ? q->u : 0, w = std::isfinite(q->v) ? q->v : 0;
            const double lim = 1 << 20;
            o.a[A_U] = (u < -lim ? -lim : u > lim ? lim : u) * TWO32;
            o.a[A_V] = (w < -lim ? -lim : w > lim ? lim : w) * TWO32;
        }
        q = q->next;
    } while (q != first);
    if (n < 3) return;
    if (mode == SPAN_LIT8 && grey) mode = SPAN_GREY8;

    Gathered g;
    g.v = v;
    g.n = n;
    g.route = route;
    g.route.mode = mode;
    g.shaded = shaded;
    g.texels = tex ? tex->texels : nullptr;
    g.tw = tex ? tex->width : 0;
    g.th = tex ? tex->height : 0;
    g.keyIndex = tex ? tex->keyIndex : -1;
    g.key = tex ? tex->key : 0;
    g.flat = PixPackRGB(VertexRGB(first));
    // The triple that spans the largest area sets the planes up.
    g.i1 = 1;
    g.area = 0;
    for (int i = 1; i + 1 < n; i++) {
        double cross = (v[i].x - v[0].x) * (v[i + 1].y - v[0].y) - (v[i + 1].x - v[0].x) * (v[i].y - v[0].y);
        if (std::fabs(cross) > std::fabs(g.area)) {
            g.area = cross;
            g.i1 = i;
        }
    }
    if (!(std::fabs(g.area) > 1e-9)) return;

    // Rows whose centres lie inside the polygon; both chains descend from the top vertex.
    double ymin = v[0].y, ymax = v[0].y;
    g.topVertex = 0;
    for (int i = 1; i < n; i++) {
        if (v[i].y < ymin) ymin = v[i].y, g.topVertex = i;
        if (v[i].y > ymax) ymax = v[i].y;
    }
    int row = CeilInt(ymin - 0.5), rowEnd = CeilInt(ymax - 0.5);
    if (row < t.y0) row = t.y0;
    if (rowEnd > t.y1 + 1) rowEnd = t.y1 + 1;
    if (row >= rowEnd) return;
    g.row = row;
    g.rowEnd = rowEnd;

    if (!queue) {
        Pt pts[SCAN_MAX_VERTICES];
        Job j;
        SetUp(g, t, depthRows, depthWidth, pts, j);
        uint32_t spans = JobRows(j, row, rowEnd);
        ZBufferCount(spans != 0, spans);
        return;
    }
    if (scan.jobCount == 0) {
        scan.target = t;
        scan.depthRows = depthRows;
        scan.depthWidth = depthWidth;
    }
    scan.jobs[scan.jobCount++] = g;
    scan.vertexCount += n;
    // The work a band of rows holds, guessed from the polygon's box, places the band edges.
    double twice = 0;
    for (int i = 0, k = n - 1; i < n; k = i++) twice += v[k].x * v[i].y - v[i].x * v[k].y;
    int64_t width = (int64_t)(std::fabs(twice) / (2 * (rowEnd - row))) + 1;
    int binFirst = (row - t.y0) >> SCAN_BIN_SHIFT, last = (rowEnd - 1 - t.y0) >> SCAN_BIN_SHIFT;
    if (binFirst >= SCAN_BINS) binFirst = SCAN_BINS - 1;
    if (last >= SCAN_BINS) last = SCAN_BINS - 1;
    for (int b = binFirst; b <= last; b++) {
        int lo = t.y0 + (b << SCAN_BIN_SHIFT), hi = lo + (1 << SCAN_BIN_SHIFT);
        int r0 = row > lo ? row : lo, r1 = rowEnd < hi ? rowEnd : hi;
        scan.work[b] += width * (r1 - r0);
    }
    scan.workTotal += width * (rowEnd - row);
    if (scan.workFrom > binFirst) scan.workFrom = binFirst;
    if (scan.workTo < last) scan.workTo = last;
    if (scan.bands > 1) {
        if (scan.jobCount % SCAN_PUBLISH_JOBS == 0) Publish(scan.jobCount, false);
    } else if (scan.workTotal >= scan.minBandWork) {
        StartBands();
    }
}

// ============================================================================================
// Bands
// ============================================================================================

// Rows row..rowEnd-1 of a polygon (inside its own rows): the rows before are skipped, not
// walked, and every row comes out as it would in a walk from the polygon's top.
static uint32_t JobRows(const Job& j, int row, int rowEnd)
{
    if (row < j.row) row = j.row;
    if (rowEnd > j.rowEnd) rowEnd = j.rowEnd;
    if (row >= rowEnd) return 0;
    const ZBufferTarget& t = j.target;
    Raster r;
    r.v = j.pts;
    r.n = j.n;
    r.fit = j.n > 3;
    r.ea = {0, j.topVertex, 1, 0, 0, INT32_MIN, 0, 0};
    r.eb = {0, j.topVertex, -1, 0, 0, INT32_MIN, 0, 0};
    r.row = row;
    r.rowEnd = rowEnd;
    r.left = t.x0;
    r.right = t.x1 + 1;
    r.pitch = t.pitch;
    r.dw = j.depthWidth;
    r.pixels = t.pixels;
    r.line = (size_t)(t.originY + row) * t.pitch + (size_t)t.originX * t.bytes;
    r.depth = j.depth;
    r.depthLine = j.depth ? (size_t)(row - t.y0) * j.depthWidth : 0;
    r.ox = j.ox;
    r.oy = j.oy;
    r.pz = j.pz;
    r.pa = j.pa;
    r.pu = j.pu;
    r.pv = j.pv;
    for (int c = 0; c < 3; c++) r.pc[c] = j.pc[c];
    r.steps = j.steps;
    r.colourTop = j.colourTop;
    r.ctx = &j.ctx;
    return j.raster(r);
}

// One band's polygons from..to-1, each cut to the band's rows, which no other band writes.
static uint32_t DrawJobs(int band, int from, int to)
{
    // The batch's constants once: the caller writes its counts beside them for every polygon,
    // and a worker that read them there for each one would take that line from it each time.
    const int row = scan.bandEdge[band], rowEnd = scan.bandEdge[band + 1];
    uint8_t* hit = scan.hits + (size_t)band * SCAN_QUEUE_JOBS;
    const Gathered* jobs = scan.jobs;
    const ZBufferTarget target = scan.target;
    int32_t* const depthRows = scan.depthRows;
    const int depthWidth = scan.depthWidth;
    uint32_t spans = 0;
    for (int i = from; i < to; i++) {
        const Gathered& g = jobs[i];
        uint32_t s = 0;
        if (g.row < rowEnd && g.rowEnd > row) {
            Pt pts[SCAN_MAX_VERTICES];
            Job j;
            SetUp(g, target, depthRows, depthWidth, pts, j);
            s = JobRows(j, row, rowEnd);
        }
        hit[i] = s != 0;
        spans += s;
    }
    return spans;
}

// A worker's band: the polygons as they are published, until the batch is closed. A worker
// that catches up spins a little (the next polygons are usually microseconds away), then
// sleeps until more are published.
static void StreamBand(void*, int band)
{
    uint32_t spans = 0;
    int done = 0;
    for (;;) {
        int p = scan.published.load(std::memory_order_acquire);
        int ready = p & ~SCAN_QUEUE_ENDED;
        if (done < ready) {
            spans += DrawJobs(band, done, ready);
            done = ready;
            continue;
        }
        if (p & SCAN_QUEUE_ENDED) break;
        int spin = 0;
        while (spin < SCAN_SPIN && scan.published.load(std::memory_order_relaxed) == p) {
            __builtin_ia32_pause();
            spin++;
        }
        if (spin < SCAN_SPIN) continue;
        scan.sleepers.fetch_add(1, std::memory_order_seq_cst);
        if (scan.published.load(std::memory_order_seq_cst) == p) scan.published.wait(p, std::memory_order_acquire);
        scan.sleepers.fetch_sub(1, std::memory_order_relaxed);
    }
    scan.bandSpans[band] = spans;
    scan.bandDone[band] = NowNs();
}

// Moves the caller's share towards the one at which its band and the workers' would have
// been done at the same moment: started is when the caller began its band, done when it was
// done. The picture does not depend on it, only the time.
static void BalanceShare(int bands, int workers, int64_t started, int64_t done)
{
    int64_t last = 0;
    for (int b = 1; b <= workers; b++)
        if (scan.bandDone[b] > last) last = scan.bandDone[b];
    const double x = scan.callerShare;
    if (x >= SCAN_SHARE_STEP && done > started) scan.shareNs = (double)(done - started) / x;
    double next;
    if (scan.shareNs > 0) {
        // A share d more for the caller takes d of the work from the workers, spread over them.
        double lateNs = (double)(last - done);
        next = x + SCAN_SHARE_DAMPING * lateNs / (scan.shareNs * (1 + 1.0 / (bands - 1)));
    } else {
        next = x + (last > done ? SCAN_SHARE_STEP : -SCAN_SHARE_STEP);
    }
    scan.callerShare = next < 0 ? 0 : next > 1 ? 1 : next;
}

// Hands the workers the polygons queued so far (and with ended, tells them no more come).
static void Publish(int count, bool ended)
{
    scan.published.store(count | (ended ? SCAN_QUEUE_ENDED : 0), std::memory_order_seq_cst);
    if (scan.sleepers.load(std::memory_order_seq_cst)) scan.published.notify_all();
}

// Band edges for a batch whose polygons are still coming: the last batch's guessed work
// (else this batch's so far) is shared out, the caller taking its share first and every
// worker an equal part of the rest. As many bands as the work is worth, so a small frame
// wakes few threads.
static int PlaceBands(void)
{
    const bool last = scan.lastTotal > scan.workTotal;
    const int64_t* work = last ? scan.lastWork : scan.work;
    const int64_t total = last ? scan.lastTotal : scan.workTotal;
    const int from = last ? scan.lastFrom : scan.workFrom, to = last ? scan.lastTo : scan.workTo;
    int bands = (int)(total / scan.minBandWork);
    if (bands > scan.threads) bands = scan.threads;
    if (bands < 1) bands = 1;
    scan.bandEdge[0] = INT32_MIN;
    scan.bandEdge[bands] = INT32_MAX;
    if (bands == 1) return 1;
    if (scan.callerShare < 0) scan.callerShare = 1.0 / bands;
    const double share = scan.callerShare > 1 ? 1 : scan.callerShare;
    const int y0 = scan.target.y0, y1 = scan.target.y1 + 1;
    int64_t sum = 0;
    int b = from, next = 1;
    for (; next < bands && b <= to; b++) {
        sum += work[b];
        // Edge k closes the caller's share and k - 1 of the workers' equal parts.
        while (next < bands && (double)sum >= (double)total * (share + (1 - share) * (next - 1) / (bands - 1))) {
            int edge = y0 + ((b + 1) << SCAN_BIN_SHIFT);
            scan.bandEdge[next++] = edge < y1 ? edge : y1;
        }
    }
    while (next < bands) scan.bandEdge[next++] = y1;
    // A caller's share of nothing leaves its band above the rows.
    if (share <= 0) scan.bandEdge[1] = y0;
    return bands;
}

static void StartBands(void)
{
    scan.bands = PlaceBands();
    if (scan.bands == 1) return;
    Publish(scan.jobCount, false);
    WorkPoolBegin(scan.bands, StreamBand, nullptr);
    // Parts the pool cannot run side by side (fewer workers than bands) are the caller's.
}

void ScanFinish(void)
{
    if (scan.jobCount == 0) return;
    const int bands = scan.bands;
    if (bands == 1) {
        scan.bandEdge[0] = INT32_MIN, scan.bandEdge[1] = INT32_MAX;
        scan.bandSpans[0] = DrawJobs(0, 0, scan.jobCount);
    } else {
        Publish(scan.jobCount, true);
        const int64_t started = NowNs();
        scan.bandSpans[0] = DrawJobs(0, 0, scan.jobCount);
        const int64_t done = NowNs();
        WorkPoolEnd();
        const int workers = (bands < WorkPoolThreads() ? bands : WorkPoolThreads()) - 1;
        BalanceShare(bands, workers, started, done);
        // Bands the pool had no thread for are the caller's, after the others.
        for (int b = workers + 1; b < bands; b++) scan.bandSpans[b] = DrawJobs(b, 0, scan.jobCount);
    }
    uint32_t spans = 0, polygons = 0;
    for (int b = 0; b < bands; b++) spans += scan.bandSpans[b];
    for (int i = 0; i < scan.jobCount; i++) {
        uint8_t any = 0;
        for (int b = 0; b < bands; b++) any |= scan.hits[(size_t)b * SCAN_QUEUE_JOBS + i];
        polygons += any;
    }
    ZBufferCount(polygons, spans);
    // This batch's work places the next batch's bands.
    for (int b = scan.lastFrom; b <= scan.lastTo; b++) scan.lastWork[b] = 0;
    std::swap(scan.work, scan.lastWork);
    scan.lastTotal = scan.workTotal;
    scan.lastFrom = scan.workFrom;
    scan.lastTo = scan.workTo;
    scan.workTotal = 0;
    scan.workFrom = SCAN_BINS;
    scan.workTo = -1;
    scan.jobCount = 0;
    scan.vertexCount = 0;
    scan.lastBands = bands;
    scan.bands = 1;
    scan.published.store(0, std::memory_order_relaxed);
}

static void FinishBarrier(void) { ScanFinish(); }

int ScanSetThreads(int threads)
{
    ScanFinish();
    if (threads < 1) threads = 1;
    if (threads > WORKPOOL_MAX_THREADS) threads = WORKPOOL_MAX_THREADS;
    if (threads > 1 && !scan.jobs) {
        // Everything the queue needs, once: a frame allocates nothing.
        scan.jobs = (Gathered*)calloc(SCAN_QUEUE_JOBS, sizeof(Gathered));
        scan.vertices = (Vtx*)calloc(SCAN_QUEUE_VERTICES, sizeof(Vtx));
        scan.hits = (uint8_t*)calloc((size_t)WORKPOOL_MAX_THREADS * SCAN_QUEUE_JOBS, 1);
        scan.work = (int64_t*)calloc(SCAN_BINS, sizeof(int64_t));
        scan.lastWork = (int64_t*)calloc(SCAN_BINS, sizeof(int64_t));
        scan.workFrom = scan.lastFrom = SCAN_BINS;
        scan.workTo = scan.lastTo = -1;
        scan.workTotal = scan.lastTotal = 0;
        if (!scan.jobs || !scan.vertices || !scan.hits || !scan.work || !scan.lastWork) {
            ScanRelease();
            threads = 1;
        }
    }
    scan.threads = threads;
    VideoSetDrawBarrier(threads > 1 ? FinishBarrier : nullptr);
    return threads;
}

int ScanThreads(void) { return scan.threads; }

void ScanRelease(void)
{
    ScanFinish();
    VideoSetDrawBarrier(nullptr);
    free(scan.jobs);
    free(scan.vertices);
    free(scan.hits);
    free(scan.work);
    free(scan.lastWork);
    scan.work = scan.lastWork = nullptr;
    scan.jobs = nullptr;
    scan.vertices = nullptr;
    scan.hits = nullptr;
    scan.threads = 1;
}

void ScanSetMinBandWork(int64_t work) { scan.minBandWork = work > 0 ? work : (int64_t)SCAN_MIN_BAND_WORK; }
int ScanLastBands(void) { return scan.lastBands; }

// ============================================================================================
// Lines and outlines
// ============================================================================================

static inline void PutPixel(const ZBufferTarget& t, int x, int y, uint32_t pix)
{
    uint8_t* p = t.pixels + (size_t)(t.originY + y) * t.pitch + (size_t)(t.originX + x) * t.bytes;
    if (t.bytes == 2)
        *(uint16_t*)p = (uint16_t)pix;
    else
        *(uint32_t*)p = pix;
}

static int OutCode(const ZBufferTarget& t, int64_t x, int64_t y)
{
    return (x < t.x0 ? 1 : 0) | (x > t.x1 ? 2 : 0) | (y < t.y0 ? 4 : 0) | (y > t.y1 ? 8 : 0);
}

// Bresenham, after clipping the end points into the target's rectangle.
static void LineDraw(const ZBufferTarget& t, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t pix)
{
    int c0 = OutCode(t, x0, y0), c1 = OutCode(t, x1, y1);
    for (int guard = 0; (c0 | c1) && guard < 8; guard++) {
        if (c0 & c1) return;
        int c = c0 ? c0 : c1;
        int64_t x, y;
        if (c & 8) {
            y = t.y1;
            x = x0 + (x1 - x0) * (y - y0) / (y1 - y0);
        } else if (c & 4) {
            y = t.y0;
            x = x0 + (x1 - x0) * (y - y0) / (y1 - y0);
        } else if (c & 2) {
            x = t.x1;
            y = y0 + (y1 - y0) * (x - x0) / (x1 - x0);
        } else {
            x = t.x0;
            y = y0 + (y1 - y0) * (x - x0) / (x1 - x0);
        }
        if (c == c0) {
            x0 = x, y0 = y;
            c0 = OutCode(t, x0, y0);
        } else {
            x1 = x, y1 = y;
            c1 = OutCode(t, x1, y1);
        }
    }
    if (c0 | c1) return;
    int x = (int)x0, y = (int)y0, ex = (int)x1, ey = (int)y1;
    int dx = abs(ex - x), dy = -abs(ey - y), sx = x < ex ? 1 : -1, sy = y < ey ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        PutPixel(t, x, y, pix);
        if (x == ex && y == ey) break;
        int e2 = 2 * err;
        if (e2 >= dy) err += dy, x += sx;
        if (e2 <= dx) err += dx, y += sy;
    }
}

void ScanLine(int x0, int y0, int x1, int y1, int paletteIndex)
{
    ZBufferTarget t;
    if (paletteIndex < 0 || paletteIndex > 255 || !ZBufferVideoTarget(&t)) return;
    LineDraw(t, x0, y0, x1, y1, PixPackCurrent()->display[paletteIndex]);
}

static inline int64_t ScreenCoord(float f)
{
    if (!std::isfinite(f)) return 0;
    double d = std::floor((double)f);
    return (int64_t)(d < -SCREEN_LIMIT ? -SCREEN_LIMIT : d > SCREEN_LIMIT ? SCREEN_LIMIT : d);
}

void ScanOutline(D3Polygon* p)
{
    ZBufferTarget t;
    D3Vertex* first = p->ring;
    if (!first || !ZBufferVideoTarget(&t)) return;
    D3Vertex* q = first;
    ZBufferCount(1, 0);
    for (int i = 0; i < SCAN_MAX_VERTICES && q && q->next; i++) {
        LineDraw(t, ScreenCoord(q->sx), ScreenCoord(q->sy), ScreenCoord(q->next->sx), ScreenCoord(q->next->sy),
                 PixPackRGB(VertexRGB(q)));
        q = q->next;
        if (q == first) break;
    }
}
