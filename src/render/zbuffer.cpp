// The software rasteriser. Each polygon is scan-converted at once: its attributes (depth,
// colour or light levels, texture u and v, blend level) are planes over the screen, set up
// once per polygon in floating point; each scanline's span starts from the plane at its first
// pixel centre and steps by integer adds. Hidden surfaces go through a per-pixel depth buffer
// of 2^39 / z values (larger = nearer), so nearer polygons win whatever the drawing order.
#include "render/zbuffer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kernel/kernel.h"
#include "kernel/log.h"
#include "kernel/util/bytes.h"
#include "platform/platform.h"

// ============================================================================================
// Colour tables (Vid16)
// ============================================================================================

enum {
    LEVEL_ONE = 64,                            // shade level of intensity 1.0
    CHAN_ENTRIES = 256,
    RAMP_ENTRIES = ZBUFFER_SHADE_LEVELS * 256,   // [level][8-bit component]
};

static struct {
    int installed;
    uint32_t mask[3];
    int shift[3], width[3];
    int bytes;                 // 2 or 4 per pixel
    uint32_t palette[256];     // the video palette as last seen, 0x00RRGGBB
    uint32_t display[256];     // the same colours packed
    uint32_t* block;
    uint32_t* chan[3];         // 8-bit component -> channel bits
    uint32_t* ramp[3];         // shade level x 8-bit component -> channel bits
} v16;

static uint32_t ChannelBits(int c, uint32_t value)
{
    int w = v16.width[c];
    if (w <= 0) return 0;
    uint32_t v = w >= 8 ? value << (w - 8) : value >> (8 - w);
    return (v << v16.shift[c]) & v16.mask[c];
}

static uint32_t PackRGB(uint32_t rgb)
{
    return v16.chan[0][(rgb >> 16) & 255] | v16.chan[1][(rgb >> 8) & 255] | v16.chan[2][rgb & 255];
}

static void BuildTables(void)
{
    for (int c = 0; c < 3; c++) {
        for (uint32_t value = 0; value < 256; value++) v16.chan[c][value] = ChannelBits(c, value);
        for (uint32_t level = 0; level < ZBUFFER_SHADE_LEVELS; level++)
            for (uint32_t value = 0; value < 256; value++) {
                uint32_t shaded = value * level / LEVEL_ONE;
                v16.ramp[c][level * 256 + value] = v16.chan[c][shaded > 255 ? 255 : shaded];
            }
    }
    for (int i = 0; i < 256; i++) v16.display[i] = PackRGB(v16.palette[i]);
}

static void SetFormat(uint32_t r, uint32_t g, uint32_t b)
{
    uint32_t masks[3] = {r, g, b};
    for (int c = 0; c < 3; c++) {
        v16.mask[c] = masks[c];
        v16.shift[c] = masks[c] ? __builtin_ctz(masks[c]) : 0;
        v16.width[c] = __builtin_popcount(masks[c]);
    }
    v16.bytes = (r | g | b) > 0xFFFF ? 4 : 2;
    BuildTables();
}

static void SetDefaultFormat(int bpp)
{
    if (bpp == 32)
        SetFormat(0xFF0000, 0x00FF00, 0x0000FF);
    else
        SetFormat(0xF800, 0x07E0, 0x001F);
}

void Vid16Remove(void)
{
    if (!v16.installed) return;
    free(v16.block);
    v16.block = nullptr;
    v16.installed = 0;
}

void Vid16Install(void)
{
    if (v16.installed) return;
    size_t entries = 3 * (size_t)CHAN_ENTRIES + 3 * (size_t)RAMP_ENTRIES;
    v16.block = (uint32_t*)malloc(entries * sizeof(uint32_t));
    if (!v16.block) FatalError("Vid16Install - out of memory");
    for (int c = 0; c < 3; c++) {
        v16.chan[c] = v16.block + c * CHAN_ENTRIES;
        v16.ramp[c] = v16.block + 3 * CHAN_ENTRIES + c * RAMP_ENTRIES;
    }
    const uint32_t* colours = VideoColourTable();
    for (int i = 0; i < 256; i++) v16.palette[i] = colours[i] & 0xFFFFFF;
    v16.installed = 1;
    SetDefaultFormat(VideoBitsPerPixel());
    RegisterExit(Vid16Remove);
}

void Vid16SetPixelFormat(uint32_t redMask, uint32_t greenMask, uint32_t blueMask)
{
    Vid16Install();
    SetFormat(redMask, greenMask, blueMask);
}

void Vid16SetPaletteEntry(int index)
{
    if (index < 0 || index > 255) return;
    Vid16Install();
    v16.palette[index] = VideoColourTable()[index] & 0xFFFFFF;
    v16.display[index] = PackRGB(v16.palette[index]);
}

uint32_t Vid16Pack(int red, int green, int blue)
{
    Vid16Install();
    return v16.chan[0][red & 255] | v16.chan[1][green & 255] | v16.chan[2][blue & 255];
}

static void SyncPalette(void)
{
    const uint32_t* colours = VideoColourTable();
    for (int i = 0; i < 256; i++) {
        uint32_t c = colours[i] & 0xFFFFFF;
        if (c != v16.palette[i]) {
            v16.palette[i] = c;
            v16.display[i] = PackRGB(c);
        }
    }
}

// Makes the tables fit a target of `bpp` bits: 0 when the rasteriser cannot draw into it.
static int PrepareFormat(int bpp)
{
    if (bpp != 16 && bpp != 32) return 0;
    Vid16Install();
    if (v16.bytes * 8 != bpp) SetDefaultFormat(bpp);
    SyncPalette();
    return 1;
}

// ============================================================================================
// Depth buffer and frame
// ============================================================================================

static const int64_t MAX_BUDGET = 1ll << 30;

// Where spans go: a buffer, its pixel size and the rectangle (target coordinates, inclusive)
// that may be written.
struct Target {
    uint8_t* pixels;
    int pitch, bytes, originX, originY;
    int x0, y0, x1, y1;
};

static struct {
    int installed;
    int32_t* depth;
    int64_t capacity;        // depth entries
    float nearZ, farZ;
    int32_t background[3];
    int open;                // a frame has started and its target is known
    Target frame;            // rows y0..y1 all have depth
    int depthWidth;
    int warned;
    ZBufferStats stats;
} zb = {0, nullptr, 0, (float)ZBUFFER_MIN_Z, (float)0x40000000, {0, 0, 0}, 0, {}, 0, 0, {}};

void ZBufferRemove(void)
{
    if (!zb.installed) return;
    free(zb.depth);
    zb.depth = nullptr;
    zb.capacity = 0;
    zb.installed = 0;
    zb.open = 0;
}

int ZBufferInstall(int64_t bytes)
{
    if (bytes < 0 || bytes > MAX_BUDGET) return 1;
    int64_t entries = bytes / 4;
    int32_t* depth = (int32_t*)malloc((size_t)(entries ? entries : 1) * sizeof(int32_t));
    if (!depth) return 1;
    free(zb.depth);
    zb.depth = depth;
    zb.capacity = entries;
    zb.open = 0;
    zb.installed = 1;
    Vid16Install();
    RegisterExit(ZBufferRemove);
    return 0;
}

int ZBufferIsInstalled(void) { return zb.installed; }

// Kept in floating point: truncating z first would move coplanar polygons' depths apart by
// up to a unit of z, far more than the lift that keeps chained polygons on top.
static inline double DepthOf(double z)
{
    const double lo = ZBUFFER_MIN_Z, hi = ZBUFFER_MAX_Z;
    if (!(z >= lo)) z = lo;   // NaN too
    if (z > hi) z = hi;
    return 549755813888.0 / z;   // 2^39
}

uint32_t ZBufferDepthOf(float z) { return (uint32_t)DepthOf(z); }

void ZBufferDepthParams(float nearZ, float farZ)
{
    zb.nearZ = nearZ;
    zb.farZ = farZ;
}

void ZBufferSetBackground(int32_t red, int32_t green, int32_t blue)
{
    zb.background[0] = red;
    zb.background[1] = green;
    zb.background[2] = blue;
}

static int TargetFromVideo(Target* t)
{
    const VideoSurface* s = VideoTarget();
    if (!s || !s->pixels || !PrepareFormat(s->bpp)) return 0;
    int x0, y0, x1, y1;
    VideoGetClip(&x0, &y0, &x1, &y1);
    if (x1 < x0 || y1 < y0) return 0;
    t->pixels = s->pixels;
    t->pitch = s->pitch;
    t->bytes = s->bpp / 8;
    t->originX = s->originX;
    t->originY = s->originY;
    t->x0 = x0;
    t->y0 = y0;
    t->x1 = x1;
    t->y1 = y1;
    return 1;
}

void ZBufferFrameStart(void)
{
    if (!((double)zb.nearZ >= (double)ZBUFFER_MIN_Z)) FatalError("ZBuffer - ZMin MUST be  >= ZBufferMinZ");
    if (!((double)zb.farZ < 2147483648.0)) FatalError("ZBuffer - ZMax MUST be  <= ZBufferMaxZ");
    memset(&zb.stats, 0, sizeof zb.stats);
    zb.open = 0;
    if (!zb.installed) {
        if (!(zb.warned & 1)) LogPrintf(LOG_WARN, "ZBUFFER: frame started before ZBufferInstall; nothing is drawn");
        zb.warned |= 1;
        return;
    }
    Target t;
    if (!TargetFromVideo(&t)) {
        if (!(zb.warned & 2)) LogPrintf(LOG_WARN, "ZBUFFER: the drawing target is not 16 or 32 bits; nothing is drawn");
        zb.warned |= 2;
        return;
    }
    int width = t.x1 - t.x0 + 1, height = t.y1 - t.y0 + 1;
    int64_t rows = zb.capacity / width;
    if (rows < height) {
        zb.stats.rowsLost = (uint32_t)(height - rows);
        if (!(zb.warned & 4))
            LogPrintf(LOG_WARN, "ZBUFFER: a %dx%d view needs %lld bytes of depth; rows below %lld are not drawn", width,
                      height, (long long)width * height * 4, (long long)rows);
        zb.warned |= 4;
        if (rows == 0) return;
        t.y1 = t.y0 + (int)rows - 1;
    }
    zb.frame = t;
    zb.depthWidth = width;
    memset(zb.depth, 0, (size_t)width * (size_t)(t.y1 - t.y0 + 1) * sizeof(int32_t));
    zb.open = 1;
}

// Polygons are drawn as they come, so the flush has nothing left to resolve; the depth stays
// valid until the next frame start for polygons queued behind the end of the frame.
void ZBufferFrameFlush(void) {}

const ZBufferStats* ZBufferGetStats(void) { return &zb.stats; }

// The frame's target, when the current drawing target is still the one the frame started on.
static int FrameTarget(Target* t)
{
    if (!zb.open) return 0;
    const VideoSurface* s = VideoTarget();
    const Target& f = zb.frame;
    if (!s || s->pixels != f.pixels || s->pitch != f.pitch || s->bpp != f.bytes * 8 || s->originX != f.originX ||
        s->originY != f.originY || v16.bytes != f.bytes)
        return 0;
    *t = f;
    return 1;
}

// ============================================================================================
// Textures
// ============================================================================================

struct Texture {
    ResId id;
    const uint8_t* base;
    size_t size;
    uint32_t magic, width, height;
    const uint8_t* texels;
    int bpp;
    int keyIndex;          // 8-bit: the transparent index, or -1
    uint32_t key;          // 32-bit: the key colour 0x00RRGGBB
};

static Texture texCache[16];

// The sprite behind a texture id, when it is loaded and sound. Nothing is loaded here: a frame
// must not wait on files, and a texture that failed to load would otherwise be retried (and
// complained about) on every polygon.
static int TextureGet(ResId id, Texture* out)
{
    if (!id || ResIsLoaded(id) != 0) return 0;
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    size_t size = ResSize(id);
    if (!d || size < 12) return 0;
    Texture* slot = &texCache[id & 15];
    if (slot->id == id && slot->base == d && slot->size == size && slot->magic == GetU32(d, 0) &&
        slot->width == GetU32(d, 4) && slot->height == GetU32(d, 8) &&
        (slot->bpp == 32 || slot->keyIndex == SpriteTransparent(id))) {
        *out = *slot;
        return 1;
    }
    SpriteInfo info;
    if (!SpriteFormat(id, &info)) return 0;
    Texture t;
    t.id = id;
    t.base = d;
    t.size = size;
    t.magic = GetU32(d, 0);
    t.width = (uint32_t)info.width;
    t.height = (uint32_t)info.height;
    t.bpp = info.bpp;
    t.texels = d + (info.bpp == 8 ? GetU32(d, 32) : (uint32_t)SPR32_HEADER_SIZE);
    t.keyIndex = info.bpp == 8 ? SpriteTransparent(id) : -1;
    if (t.keyIndex > 255) t.keyIndex = -1;
    t.key = ((uint32_t)d[12] << 16) | ((uint32_t)d[13] << 8) | d[14];
    *slot = t;
    *out = t;
    return 1;
}

// ============================================================================================
// Spans
// ============================================================================================

// Colour modes of a span.
enum {
    M_FLAT,     // one colour
    M_SMOOTH,   // 8.16 red, green, blue components
    M_LIT8,     // 8-bit texels through the shade ramps (7.16 levels per channel)
    M_LIT32,
    M_UNLIT8,   // texels as they are
    M_UNLIT32,
};

// Start values and per-pixel steps of one span.
struct SpanIn {
    int32_t z, dz;
    int32_t c[3], dc[3];
    uint32_t u, du, v, dv;   // fractions of the texture: 2^32 = once across
    int32_t a, da;           // blend level 5.16, 32 = invisible
};

// What stays the same over a polygon.
struct SpanCtx {
    uint32_t flat;
    const uint8_t* tex8;
    const uint32_t* tex32;
    uint32_t tw, th;
    int keyIndex;
    uint32_t key;
    const uint32_t* palette;
    const uint32_t* display;
    const uint32_t* chan[3];
    const uint32_t* ramp[3];
    uint64_t mask[3];
};

typedef void (*SpanFn)(uint8_t* dst, int32_t* depth, int n, const SpanIn& s, const SpanCtx& c);

// Translucency: `a` of 32 parts comes from what is already there.
static inline uint32_t Blend(uint32_t src, uint32_t dst, uint32_t a, const uint64_t* mask)
{
    uint64_t out = 0, ia = 32 - a;
    for (int c = 0; c < 3; c++) out |= (((src & mask[c]) * ia + (dst & mask[c]) * a) >> 5) & mask[c];
    return (uint32_t)out;
}

template <typename P, int M, bool Z, bool KEY, bool BLEND>
static void SpanRun(uint8_t* dstBytes, int32_t* depth, int n, const SpanIn& s, const SpanCtx& c)
{
    P* dst = (P*)dstBytes;
    int32_t z = s.z, dz = s.dz;
    int32_t c0 = s.c[0], c1 = s.c[1], c2 = s.c[2];
    const int32_t d0 = s.dc[0], d1 = s.dc[1], d2 = s.dc[2];
    uint32_t u = s.u, v = s.v;
    const uint32_t du = s.du, dv = s.dv;
    int32_t a = s.a;
    const int32_t da = s.da;
    const uint32_t *ch0 = c.chan[0], *ch1 = c.chan[1], *ch2 = c.chan[2];
    const uint32_t *r0 = c.ramp[0], *r1 = c.ramp[1], *r2 = c.ramp[2];
    for (int i = 0; i < n; i++) {
        if (!Z || z >= depth[i]) {
            uint32_t pix;
            bool draw = true;
            if constexpr (M == M_FLAT) {
                pix = c.flat;
            } else if constexpr (M == M_SMOOTH) {
                pix = ch0[c0 >> 16] | ch1[c1 >> 16] | ch2[c2 >> 16];
            } else {
                // Scaling the 32-bit fraction by the size keeps every index inside the sprite.
                uint32_t tx = (uint32_t)(((uint64_t)u * c.tw) >> 32);
                uint32_t ty = (uint32_t)(((uint64_t)v * c.th) >> 32);
                uint32_t rgb = 0;
                if constexpr (M == M_LIT8 || M == M_UNLIT8) {
                    uint32_t index = c.tex8[(size_t)ty * c.tw + tx];
                    if (KEY && (int)index == c.keyIndex) draw = false;
                    if constexpr (M == M_UNLIT8) {
                        pix = c.display[index];
                    } else {
                        rgb = c.palette[index];
                    }
                } else {
                    rgb = GetU32(c.tex32 + (size_t)ty * c.tw + tx) & 0xFFFFFF;
                    if (KEY && rgb == c.key) draw = false;
                    if constexpr (M == M_UNLIT32) pix = ch0[rgb >> 16] | ch1[(rgb >> 8) & 255] | ch2[rgb & 255];
                }
                if constexpr (M == M_LIT8 || M == M_LIT32)
                    pix = r0[((c0 >> 16) << 8) | (rgb >> 16)] | r1[((c1 >> 16) << 8) | ((rgb >> 8) & 255)] |
                          r2[((c2 >> 16) << 8) | (rgb & 255)];
            }
            if constexpr (BLEND) {
                uint32_t level = (uint32_t)a >> 16;
                if (level >= 32)
                    draw = false;
                else if (level)
                    pix = Blend(pix, dst[i], level, c.mask);
            }
            if (draw) {
                dst[i] = (P)pix;
                if (Z) depth[i] = z;
            }
        }
        if (Z) z += dz;
        if constexpr (M == M_SMOOTH || M == M_LIT8 || M == M_LIT32) {
            c0 += d0;
            c1 += d1;
            c2 += d2;
        }
        if constexpr (M >= M_LIT8) {
            u += du;
            v += dv;
        }
        if (BLEND) a += da;
    }
}

template <typename P, int M>
static SpanFn PickFlags(bool z, bool key, bool blend)
{
    int f = (z ? 4 : 0) | (key ? 2 : 0) | (blend ? 1 : 0);
    switch (f) {
    case 0: return SpanRun<P, M, false, false, false>;
    case 1: return SpanRun<P, M, false, false, true>;
    case 2: return SpanRun<P, M, false, true, false>;
    case 3: return SpanRun<P, M, false, true, true>;
    case 4: return SpanRun<P, M, true, false, false>;
    case 5: return SpanRun<P, M, true, false, true>;
    case 6: return SpanRun<P, M, true, true, false>;
    default: return SpanRun<P, M, true, true, true>;
    }
}

template <typename P>
static SpanFn PickMode(int mode, bool z, bool key, bool blend)
{
    switch (mode) {
    case M_FLAT: return PickFlags<P, M_FLAT>(z, false, blend);
    case M_SMOOTH: return PickFlags<P, M_SMOOTH>(z, false, blend);
    case M_LIT8: return PickFlags<P, M_LIT8>(z, key, blend);
    case M_LIT32: return PickFlags<P, M_LIT32>(z, key, blend);
    case M_UNLIT8: return PickFlags<P, M_UNLIT8>(z, key, blend);
    default: return PickFlags<P, M_UNLIT32>(z, key, blend);
    }
}

// ============================================================================================
// Polygon set-up and scan conversion
// ============================================================================================

enum { A_Z, A_C0, A_C1, A_C2, A_U, A_V, A_A, A_COUNT };

struct Vtx {
    double x, y;
    double a[A_COUNT];
};

// What a polygon routine asks of the scan converter.
struct Route {
    int mode;
    bool z, key, blend;
};

static const double SCREEN_LIMIT = 65536.0;
static const double TWO32 = 4294967296.0;

static inline int32_t Sat32(double d, int32_t lo, int32_t hi)
{
    if (!(d >= lo)) return lo;   // NaN too
    if (d > hi) return hi;
    return (int32_t)d;
}

// A texture coordinate (in 2^-32 of the texture) reduced to the 32-bit wrap.
static inline uint32_t Wrap32(double d)
{
    if (!std::isfinite(d)) return 0;
    double m = d - std::floor(d / TWO32) * TWO32;
    return m >= 0 && m < TWO32 ? (uint32_t)m : 0;
}

// A component in 16.16 from a 2.14 value shifted left by 16: clamped 8.16 (shift 6) for
// colours, 7.16 shade level (shift 8) for light on texels.
static inline double Component(int64_t value, int shift, int64_t hi)
{
    int64_t v = value >> shift;
    return (double)(v < 0 ? 0 : v > hi ? hi : v);
}

// Clamps a span's start and its last pixel into lo..hi, adjusting the step so that no pixel
// of the span leaves the range that the tables cover.
static inline void FitSpan(int32_t* start, int32_t* step, int n, int32_t lo, int32_t hi)
{
    int64_t s = *start < lo ? lo : *start > hi ? hi : *start;
    int64_t e = s + (int64_t)*step * (n - 1);
    *start = (int32_t)s;
    if (e < lo || e > hi) {
        e = e < lo ? lo : hi;
        *step = n > 1 ? (int32_t)((e - s) / (n - 1)) : 0;
    }
}

static void DrawPolygon(D3Polygon* p, const Route& route, const Texture* tex)
{
    Target t;
    if (route.z ? !FrameTarget(&t) : !TargetFromVideo(&t)) return;
    D3Vertex* first = p->ring;
    if (!first) return;

    bool smooth = route.mode == M_SMOOTH, lit = route.mode == M_LIT8 || route.mode == M_LIT32;
    bool textured = route.mode >= M_LIT8;

    // Gather the ring. A broken or overlong ring is not drawn rather than walked forever.
    Vtx v[ZBUFFER_MAX_VERTICES];
    int n = 0;
    D3Vertex* q = first;
    do {
        if (n == ZBUFFER_MAX_VERTICES || !q) return;
        Vtx& o = v[n++];
        if (!std::isfinite(q->sx) || !std::isfinite(q->sy)) return;
        o.x = q->sx < -SCREEN_LIMIT ? -SCREEN_LIMIT : q->sx > SCREEN_LIMIT ? SCREEN_LIMIT : q->sx;
        o.y = q->sy < -SCREEN_LIMIT ? -SCREEN_LIMIT : q->sy > SCREEN_LIMIT ? SCREEN_LIMIT : q->sy;
        double depth = DepthOf(q->z);
        // A chained polygon lies on the one it is chained to: lifting it a little keeps it on
        // top where rounding would otherwise let the two fight.
        if (p->chained) depth += depth / 4096 + 16;
        o.a[A_Z] = depth;
        if (smooth || lit) {
            int shift = smooth ? 6 : 8;
            int64_t hi = smooth ? 0xFFFFFF : 0x7FFFFF;
            o.a[A_C0] = Component((int64_t)q->r + q->sr, shift, hi);
            o.a[A_C1] = Component((int64_t)q->g + q->sg, shift, hi);
            o.a[A_C2] = Component((int64_t)q->b + q->sb, shift, hi);
        }
        if (textured) {
            double u = std::isfinite(q->u) ? q->u : 0, w = std::isfinite(q->v) ? q->v : 0;
            const double lim = 1 << 20;
            o.a[A_U] = (u < -lim ? -lim : u > lim ? lim : u) * TWO32;
            o.a[A_V] = (w < -lim ? -lim : w > lim ? lim : w) * TWO32;
        }
        if (route.blend) o.a[A_A] = Component(q->level, 9, 32 << 16);
        q = q->next;
    } while (q != first);
    if (n < 3) return;

    // The attribute planes, from the vertex triple that spans the largest area.
    int i1 = 1;
    double best = 0;
    for (int i = 1; i + 1 < n; i++) {
        double cross = (v[i].x - v[0].x) * (v[i + 1].y - v[0].y) - (v[i + 1].x - v[0].x) * (v[i].y - v[0].y);
        if (std::fabs(cross) > std::fabs(best)) {
            best = cross;
            i1 = i;
        }
    }
    if (!(std::fabs(best) > 1e-9)) return;
    const Vtx &p0 = v[0], &p1 = v[i1], &p2 = v[i1 + 1];
    double dx1 = p1.x - p0.x, dy1 = p1.y - p0.y, dx2 = p2.x - p0.x, dy2 = p2.y - p0.y;
    double inv = 1.0 / best;
    int attrs[A_COUNT], na = 0;
    if (route.z) attrs[na++] = A_Z;
    if (smooth || lit) attrs[na++] = A_C0, attrs[na++] = A_C1, attrs[na++] = A_C2;
    if (textured) attrs[na++] = A_U, attrs[na++] = A_V;
    if (route.blend) attrs[na++] = A_A;
    double gx[A_COUNT], gy[A_COUNT], base[A_COUNT];
    for (int k = 0; k < na; k++) {
        int a = attrs[k];
        double e1 = p1.a[a] - p0.a[a], e2 = p2.a[a] - p0.a[a];
        gx[a] = (e1 * dy2 - e2 * dy1) * inv;
        gy[a] = (e2 * dx1 - e1 * dx2) * inv;
        base[a] = p0.a[a] - p0.x * gx[a] - p0.y * gy[a];
    }

    SpanIn s = {};
    if (route.z) s.dz = Sat32(gx[A_Z], -0x7FFFFFFF, 0x7FFFFFFF);
    if (smooth || lit)
        for (int c = 0; c < 3; c++) s.dc[c] = Sat32(gx[A_C0 + c], -0x7FFFFFFF, 0x7FFFFFFF);
    if (textured) {
        s.du = Wrap32(gx[A_U]);
        s.dv = Wrap32(gx[A_V]);
    }
    if (route.blend) s.da = Sat32(gx[A_A], -0x7FFFFFFF, 0x7FFFFFFF);

    SpanCtx ctx;
    ctx.flat = PackRGB(((uint32_t)Component((int64_t)first->r + first->sr, 22, 255) << 16) |
                       ((uint32_t)Component((int64_t)first->g + first->sg, 22, 255) << 8) |
                       (uint32_t)Component((int64_t)first->b + first->sb, 22, 255));
    ctx.palette = v16.palette;
    ctx.display = v16.display;
    for (int c = 0; c < 3; c++) {
        ctx.chan[c] = v16.chan[c];
        ctx.ramp[c] = v16.ramp[c];
        ctx.mask[c] = v16.mask[c];
    }
    if (tex) {
        ctx.tex8 = tex->texels;
        ctx.tex32 = (const uint32_t*)tex->texels;
        ctx.tw = tex->width;
        ctx.th = tex->height;
        ctx.keyIndex = tex->keyIndex;
        ctx.key = tex->key;
    } else {
        ctx.tex8 = nullptr;
        ctx.tex32 = nullptr;
        ctx.tw = ctx.th = 0;
        ctx.keyIndex = -1;
        ctx.key = 0;
    }
    SpanFn span = t.bytes == 2 ? PickMode<uint16_t>(route.mode, route.z, route.key, route.blend)
                               : PickMode<uint32_t>(route.mode, route.z, route.key, route.blend);

    // Rows whose centres lie inside the polygon.
    double ymin = v[0].y, ymax = v[0].y;
    int top = 0;
    for (int i = 1; i < n; i++) {
        if (v[i].y < ymin) ymin = v[i].y, top = i;
        if (v[i].y > ymax) ymax = v[i].y;
    }
    int row = (int)std::ceil(ymin - 0.5), rowEnd = (int)std::ceil(ymax - 0.5);
    if (row < t.y0) row = t.y0;
    if (rowEnd > t.y1 + 1) rowEnd = t.y1 + 1;

    // Two chains descend from the top vertex, one through the next links and one through the
    // previous ones; each edge is always walked downwards, so neighbours that share it agree
    // on every crossing and leave neither gaps nor double pixels.
    int aCur = top, aNext = (top + 1) % n, aSteps = 0;
    int bCur = top, bNext = (top + n - 1) % n, bSteps = 0;
    int drawn = 0;
    for (; row < rowEnd; row++) {
        double yc = row + 0.5;
        while (v[aNext].y <= yc && aSteps < n) aCur = aNext, aNext = (aNext + 1) % n, aSteps++;
        while (v[bNext].y <= yc && bSteps < n) bCur = bNext, bNext = (bNext + n - 1) % n, bSteps++;
        const Vtx &a0 = v[aCur], &a1 = v[aNext], &b0 = v[bCur], &b1 = v[bNext];
        if (a1.y <= a0.y || b1.y <= b0.y) continue;
        double xa = a0.x + (yc - a0.y) * (a1.x - a0.x) / (a1.y - a0.y);
        double xb = b0.x + (yc - b0.y) * (b1.x - b0.x) / (b1.y - b0.y);
        if (xa > xb) {
            double swap = xa;
            xa = xb;
            xb = swap;
        }
        int xs = (int)std::ceil(xa - 0.5), xe = (int)std::ceil(xb - 0.5);
        if (xs < t.x0) xs = t.x0;
        if (xe > t.x1 + 1) xe = t.x1 + 1;
        int count = xe - xs;
        if (count <= 0) continue;

        double px = xs + 0.5;
        SpanIn in = s;
        if (route.z) {
            in.z = Sat32(base[A_Z] + px * gx[A_Z] + yc * gy[A_Z], 0, 0x7FFFFFFF);
            FitSpan(&in.z, &in.dz, count, 0, 0x7FFFFFFF);
        }
        if (smooth || lit) {
            int32_t hi = smooth ? 0xFFFFFF : 0x7FFFFF;
            for (int c = 0; c < 3; c++) {
                in.c[c] = Sat32(base[A_C0 + c] + px * gx[A_C0 + c] + yc * gy[A_C0 + c], 0, hi);
                FitSpan(&in.c[c], &in.dc[c], count, 0, hi);
            }
        }
        if (textured) {
            in.u = Wrap32(base[A_U] + px * gx[A_U] + yc * gy[A_U]);
            in.v = Wrap32(base[A_V] + px * gx[A_V] + yc * gy[A_V]);
        }
        if (route.blend) {
            in.a = Sat32(base[A_A] + px * gx[A_A] + yc * gy[A_A], 0, 32 << 16);
            FitSpan(&in.a, &in.da, count, 0, 32 << 16);
        }
        uint8_t* dst = t.pixels + (size_t)(t.originY + row) * t.pitch + (size_t)(t.originX + xs) * t.bytes;
        int32_t* depth = route.z ? zb.depth + (size_t)(row - t.y0) * zb.depthWidth + (xs - t.x0) : nullptr;
        span(dst, depth, count, in, ctx);
        zb.stats.spans++;
        drawn = 1;
    }
    zb.stats.polygons += drawn;
}

// ============================================================================================
// Lines and outlines
// ============================================================================================

static inline void PutPixel(const Target& t, int x, int y, uint32_t pix)
{
    uint8_t* p = t.pixels + (size_t)(t.originY + y) * t.pitch + (size_t)(t.originX + x) * t.bytes;
    if (t.bytes == 2)
        *(uint16_t*)p = (uint16_t)pix;
    else
        *(uint32_t*)p = pix;
}

static int OutCode(const Target& t, int64_t x, int64_t y)
{
    return (x < t.x0 ? 1 : 0) | (x > t.x1 ? 2 : 0) | (y < t.y0 ? 4 : 0) | (y > t.y1 ? 8 : 0);
}

// Bresenham, after clipping the end points into the target's rectangle.
static void LineDraw(const Target& t, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t pix)
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

void ZBufferLine(int x0, int y0, int x1, int y1, int paletteIndex)
{
    Target t;
    if (paletteIndex < 0 || paletteIndex > 255 || !TargetFromVideo(&t)) return;
    LineDraw(t, x0, y0, x1, y1, v16.display[paletteIndex]);
}

static inline int64_t ScreenCoord(float f)
{
    if (!std::isfinite(f)) return 0;
    double d = std::floor((double)f);
    return (int64_t)(d < -SCREEN_LIMIT ? -SCREEN_LIMIT : d > SCREEN_LIMIT ? SCREEN_LIMIT : d);
}

// Each edge in its first vertex's lit colour, over everything (outlines have no depth).
static void DrawOutline(D3Polygon* p)
{
    Target t;
    D3Vertex* first = p->ring;
    if (!first || !TargetFromVideo(&t)) return;
    D3Vertex* q = first;
    for (int i = 0; i < ZBUFFER_MAX_VERTICES && q && q->next; i++) {
        uint32_t rgb = ((uint32_t)Component((int64_t)q->r + q->sr, 22, 255) << 16) |
                       ((uint32_t)Component((int64_t)q->g + q->sg, 22, 255) << 8) |
                       (uint32_t)Component((int64_t)q->b + q->sb, 22, 255);
        LineDraw(t, ScreenCoord(q->sx), ScreenCoord(q->sy), ScreenCoord(q->next->sx), ScreenCoord(q->next->sy),
                 PackRGB(rgb));
        q = q->next;
        if (q == first) break;
    }
}

// ============================================================================================
// Polygon routines
// ============================================================================================

static int LitMode(const Texture& t) { return t.bpp == 8 ? M_LIT8 : M_LIT32; }
static int UnlitMode(const Texture& t) { return t.bpp == 8 ? M_UNLIT8 : M_UNLIT32; }

static void PolyNothing(D3Polygon*) {}
static void PolyFlat(D3Polygon* p) { DrawPolygon(p, {M_FLAT, true, false, false}, nullptr); }
static void PolySmooth(D3Polygon* p) { DrawPolygon(p, {M_SMOOTH, true, false, false}, nullptr); }
static void PolyBlended(D3Polygon* p) { DrawPolygon(p, {M_SMOOTH, true, false, true}, nullptr); }

// 3, 6, 8: lit texture, smooth colour without one.
static void PolyLit(D3Polygon* p)
{
    Texture t;
    if (TextureGet(p->texture, &t))
        DrawPolygon(p, {LitMode(t), true, false, false}, &t);
    else
        PolySmooth(p);
}

// 17: lit texture with transparent texels; nothing without a texture.
static void PolyLitKeyed(D3Polygon* p)
{
    Texture t;
    if (TextureGet(p->texture, &t)) DrawPolygon(p, {LitMode(t), true, true, false}, &t);
}

// 18: blended lit texture, transparent texels honoured; nothing without a texture.
static void PolyLitBlended(D3Polygon* p)
{
    Texture t;
    if (TextureGet(p->texture, &t)) DrawPolygon(p, {LitMode(t), true, true, true}, &t);
}

// 5 and 7: texels as they are (7 with transparent texels); a flat fill without a texture.
static void PolyUnlit(D3Polygon* p)
{
    Texture t;
    if (TextureGet(p->texture, &t))
        DrawPolygon(p, {UnlitMode(t), true, false, false}, &t);
    else
        PolyFlat(p);
}

static void PolyUnlitKeyed(D3Polygon* p)
{
    Texture t;
    if (TextureGet(p->texture, &t))
        DrawPolygon(p, {UnlitMode(t), true, true, false}, &t);
    else
        PolyFlat(p);
}

// Screen space: over everything, no depth.
static void PolyScreenFlat(D3Polygon* p) { DrawPolygon(p, {M_FLAT, false, false, false}, nullptr); }
static void PolyScreenSmooth(D3Polygon* p) { DrawPolygon(p, {M_SMOOTH, false, false, false}, nullptr); }
static void PolyScreenBlended(D3Polygon* p) { DrawPolygon(p, {M_SMOOTH, false, false, true}, nullptr); }
static void PolyScreenTexture(D3Polygon* p)
{
    Texture t;
    if (TextureGet(p->texture, &t)) DrawPolygon(p, {UnlitMode(t), false, true, false}, &t);
}

static D3PolyFn zbTable[D3T_COUNT], nonZTable[D3T_COUNT], placeholderTable[D3T_COUNT];

static void FillTables(void)
{
    static int filled;
    if (filled) return;
    filled = 1;
    for (int i = 0; i < D3T_COUNT; i++) zbTable[i] = nonZTable[i] = placeholderTable[i] = PolyNothing;
    zbTable[ZB_FLAT] = PolyFlat;
    zbTable[ZB_FLAT1] = PolyFlat;
    zbTable[D3T_SHADED] = PolySmooth;
    zbTable[D3T_TEXTURE2] = PolyLit;
    zbTable[ZB_UNLIT_TEXTURE] = PolyUnlit;
    zbTable[ZB_LIT_TEXTURE6] = PolyLit;
    zbTable[ZB_UNLIT_KEYED] = PolyUnlitKeyed;
    zbTable[D3T_TEXTURED] = PolyLit;
    zbTable[ZB_OUTLINE9] = DrawOutline;
    zbTable[D3T_LINES] = DrawOutline;
    zbTable[ZB_FLAT13] = PolyFlat;
    zbTable[D3T_BLENDED] = PolyBlended;
    zbTable[D3T_TRANSPARENT] = PolyLitKeyed;
    zbTable[D3T_BLENDTEXTURE] = PolyLitBlended;
    zbTable[ZB_SCREEN_FLAT] = nonZTable[ZB_SCREEN_FLAT] = PolyScreenFlat;
    zbTable[ZB_SCREEN_SMOOTH] = nonZTable[ZB_SCREEN_SMOOTH] = PolyScreenSmooth;
    zbTable[ZB_SCREEN_BLENDED] = nonZTable[ZB_SCREEN_BLENDED] = PolyScreenBlended;
    zbTable[ZB_SCREEN_OUTLINE] = nonZTable[ZB_SCREEN_OUTLINE] = DrawOutline;
    zbTable[ZB_SCREEN_TEXTURE] = nonZTable[ZB_SCREEN_TEXTURE] = PolyScreenTexture;
    placeholderTable[ZB_OUTLINE9] = placeholderTable[D3T_LINES] = DrawOutline;
}

void ZBufferPolygon(D3Polygon* polygon)
{
    FillTables();
    if (polygon && polygon->type >= 0 && polygon->type < D3T_COUNT) zbTable[polygon->type](polygon);
}

// ============================================================================================
// Driver records
// ============================================================================================

static void Stub(void) {}

const D3Driver* ZBufferDriver(void)
{
    static D3Driver d;
    FillTables();
    d.name = "Software Z-Buffer";
    d.flags = 0x99;
    d.BeginFrame = ZBufferFrameStart;
    d.EndFrame = ZBufferFrameFlush;
    d.polygons = zbTable;
    d.DepthParams = ZBufferDepthParams;
    d.SetBackground = ZBufferSetBackground;
    d.maxTexture = ZBUFFER_MAX_TEXTURE;
    return &d;
}

const D3Driver* ZBufferNonZDriver(void)
{
    static D3Driver d;
    FillTables();
    d.name = "Software Renderer Non ZBuffered";
    d.flags = 0;
    d.polygons = nonZTable;
    d.SetBackground = ZBufferSetBackground;
    return &d;
}

const D3Driver* ZBufferPlaceholderDriver(void)
{
    static D3Driver d;
    FillTables();
    d.name = "Software Renderer";
    d.flags = 0x19;
    d.BeginFrame = Stub;
    d.EndFrame = Stub;
    d.polygons = placeholderTable;
    // Nothing loads textures through the placeholder; a sane page size keeps callers that
    // divide by it safe all the same.
    d.maxTexture = ZBUFFER_MAX_TEXTURE;
    return &d;
}
