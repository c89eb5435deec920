// The software rasteriser. Each polygon is scan-converted at once: its attributes (depth,
// colour or light levels, texture u and v, blend level) are planes over the screen, set up
// once per polygon in floating point; each scanline's span starts from the plane at its first
// pixel centre and steps by integer adds. Hidden surfaces go through a per-pixel depth buffer
// of 2^39 / z values (larger = nearer), so nearer polygons win whatever the drawing order.
#include "render/zbuffer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "kernel/kernel.h"
#include "kernel/log.h"
#include "kernel/util/bytes.h"
#include "platform/platform.h"

// ============================================================================================
// Colour tables (Vid16)
// ============================================================================================

enum {
    LEVEL_ONE = 64,                              // shade level of intensity 1.0
    CHAN_ENTRIES = 256,
    RAMP_ENTRIES = ZBUFFER_SHADE_LEVELS * 256,   // [level][8-bit component or palette entry]
};
// Blends need five bits of headroom above a pixel's channels in 32-bit arithmetic.
static const uint32_t FORMAT_BITS = 0x07FFFFFF;

static struct {
    int installed;
    uint32_t mask[3];
    int shift[3], width[3];
    int bytes;                 // 2 or 4 per pixel
    uint32_t palette[256];     // the video palette as last seen, 0x00RRGGBB
    uint32_t display[256];     // the same colours packed
    int drop[3], place[3];     // 8-bit component c to channel bits: (c >> drop) << place
    uint32_t spread;           // 16-bit pixels: channels spread for blending (0 = cannot)
    uint32_t lane[3];          // blending lanes: channels that can be multiplied together
    uint32_t* block;
    uint32_t* chan[3];         // 8-bit component -> channel bits
    uint32_t* ramp[3];         // shade level x 8-bit component -> channel bits
    uint32_t* shade;           // shade level x palette entry -> pixel, under white light
} v16;

static uint32_t ChannelBits(int c, uint32_t value) { return ((value >> v16.drop[c]) << v16.place[c]) & v16.mask[c]; }

static uint32_t PackRGB(uint32_t rgb)
{
    return v16.chan[0][(rgb >> 16) & 255] | v16.chan[1][(rgb >> 8) & 255] | v16.chan[2][rgb & 255];
}

static void BuildShade(int index)
{
    uint32_t rgb = v16.palette[index];
    for (uint32_t level = 0; level < ZBUFFER_SHADE_LEVELS; level++)
        v16.shade[level * 256 + index] = v16.ramp[0][level * 256 + (rgb >> 16)] |
                                         v16.ramp[1][level * 256 + ((rgb >> 8) & 255)] |
                                         v16.ramp[2][level * 256 + (rgb & 255)];
}

static void SetEntry(int index, uint32_t rgb)
{
    v16.palette[index] = rgb;
    v16.display[index] = PackRGB(rgb);
    BuildShade(index);
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
    for (int i = 0; i < 256; i++) SetEntry(i, v16.palette[i]);
}

// A blend multiplies channels by up to 32: each needs five clear bits above it before the
// next channel of its lane starts.
static int LaneFits(uint32_t low, uint32_t high)
{
    return low && high && ((low << 5) & high) == 0 && (low << 5) < (high & -high);
}

static void SetBlendLanes(void)
{
    int order[3] = {0, 1, 2};   // channels by position, lowest first
    for (int i = 0; i < 3; i++)
        for (int j = i + 1; j < 3; j++)
            if (v16.mask[order[j]] < v16.mask[order[i]]) std::swap(order[i], order[j]);
    uint32_t lo = v16.mask[order[0]], mid = v16.mask[order[1]], hi = v16.mask[order[2]];
    // 5-6-5 and 5-5-5: the middle channel moves to the upper half, the others stay.
    v16.spread = 0;
    if (v16.bytes == 2 && LaneFits(lo, hi) && mid <= 0x7FF && LaneFits(hi, mid << 16))
        v16.spread = (mid << 16) | lo | hi;
    if (LaneFits(lo, hi)) {
        v16.lane[0] = lo | hi;
        v16.lane[1] = mid;
        v16.lane[2] = 0;
    } else {
        for (int c = 0; c < 3; c++) v16.lane[c] = v16.mask[order[c]];
        if (!v16.lane[0]) std::swap(v16.lane[0], v16.lane[2]);
    }
}

static void SetFormat(uint32_t r, uint32_t g, uint32_t b)
{
    uint32_t masks[3] = {r & FORMAT_BITS, g & FORMAT_BITS, b & FORMAT_BITS};
    for (int c = 0; c < 3; c++) {
        v16.mask[c] = masks[c];
        v16.shift[c] = masks[c] ? __builtin_ctz(masks[c]) : 0;
        v16.width[c] = __builtin_popcount(masks[c]);
        int w = v16.width[c];
        v16.drop[c] = w >= 8 ? 0 : 8 - w;
        v16.place[c] = v16.shift[c] + (w > 8 ? w - 8 : 0);
    }
    v16.bytes = (r | g | b) > 0xFFFF ? 4 : 2;
    SetBlendLanes();
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
    size_t entries = 3 * (size_t)CHAN_ENTRIES + 4 * (size_t)RAMP_ENTRIES;
    v16.block = (uint32_t*)malloc(entries * sizeof(uint32_t));
    if (!v16.block) FatalError("Vid16Install - out of memory");
    for (int c = 0; c < 3; c++) {
        v16.chan[c] = v16.block + c * CHAN_ENTRIES;
        v16.ramp[c] = v16.block + 3 * CHAN_ENTRIES + c * RAMP_ENTRIES;
    }
    v16.shade = v16.block + 3 * CHAN_ENTRIES + 3 * RAMP_ENTRIES;
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
    SetEntry(index, VideoColourTable()[index] & 0xFFFFFF);
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
        if (c != v16.palette[i]) SetEntry(i, c);
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
            LogPrintf(LOG_WARN, "ZBUFFER: a %dx%d view needs %lld bytes of depth; only its first %lld rows are drawn",
                      width, height, (long long)width * height * 4, (long long)rows);
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
    uint32_t magic, width, height, pixels;
    const uint8_t* texels;
    int bpp;
    int keyIndex;          // 8-bit: the transparent index, or -1
    uint32_t key;          // 32-bit: the key colour 0x00RRGGBB
};

static Texture texCache[16];

// The sprite behind a texture id, when it is loaded and sound. Nothing is loaded here: a frame
// must not wait on files, and a texture that failed to load would otherwise be retried (and
// complained about) on every polygon. A sprite is checked in full once; after that, as long as
// its block and the header fields its layout hangs on are the same, only its transparency is
// read again.
static int TextureGet(ResId id, Texture* out)
{
    if (!id || ResIsLoaded(id) != 0) return 0;
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    size_t size = ResSize(id);
    if (!d || size < SPR32_HEADER_SIZE) return 0;
    Texture* slot = &texCache[id & 15];
    bool known = slot->id == id && slot->base == d && slot->size == size && slot->magic == GetU32(d, 0) &&
                 slot->width == GetU32(d, 4) && slot->height == GetU32(d, 8) &&
                 (slot->bpp == 32 || (size >= SPR_HEADER_SIZE && slot->pixels == GetU32(d, 32)));
    if (!known) {
        SpriteInfo info;
        if (!SpriteFormat(id, &info)) return 0;
        slot->id = id;
        slot->base = d;
        slot->size = size;
        slot->magic = GetU32(d, 0);
        slot->width = (uint32_t)info.width;
        slot->height = (uint32_t)info.height;
        slot->bpp = info.bpp;
        slot->pixels = info.bpp == 8 ? GetU32(d, 32) : (uint32_t)SPR32_HEADER_SIZE;
        slot->texels = d + slot->pixels;
    }
    int transparent = slot->bpp == 8 ? GetI32(d, 20) : -1;
    slot->keyIndex = transparent >= 0 && transparent <= 255 ? transparent : -1;
    slot->key = ((uint32_t)d[12] << 16) | ((uint32_t)d[13] << 8) | d[14];
    *out = *slot;
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
    M_GREY8,    // 8-bit texels under white light: one level, one lookup
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
    uint32_t spread;         // 16-bit pixels: the spread blending form, or 0
    uint32_t lane[3];        // otherwise blending lanes (0 = none)
    const uint8_t* tex8;
    const uint8_t* tex32;
    uint32_t tw, th;
    int keyIndex;
    uint32_t key;
    const uint32_t* palette;
    const uint32_t* display;
    const uint32_t* chan[3];
    const uint32_t* ramp[3];
    const uint32_t* shade;
};

// Pixel layouts the span routines are compiled for: any 16 or 32-bit layout through the
// tables, and the platform's own two (5-6-5 and X8-R8-G8-B8) worked out directly, which keeps
// the table pointers out of the busiest loops.
struct Pix16 {
    typedef uint16_t Word;
    static constexpr bool RGB888 = false, RGB565 = false;
};
struct Pix32 {
    typedef uint32_t Word;
    static constexpr bool RGB888 = false, RGB565 = false;
};
struct Pix565 {
    typedef uint16_t Word;
    static constexpr bool RGB888 = false, RGB565 = true;
};
struct Pix888 {
    typedef uint32_t Word;
    static constexpr bool RGB888 = true, RGB565 = false;
};

// Translucency: `a` of 32 parts comes from what is already there. Channels are multiplied
// side by side in 32 bits: a 16-bit pixel spread so that its middle channel moves up by 16,
// wider pixels in up to three lanes of channels far enough apart.
template <typename F>
static inline uint32_t Blend(uint32_t src, uint32_t dst, uint32_t a, const SpanCtx& c)
{
    uint32_t ia = 32 - a;
    if constexpr (F::RGB888) {
        return ((((src & 0xFF00FF) * ia + (dst & 0xFF00FF) * a) >> 5) & 0xFF00FF) |
               ((((src & 0xFF00) * ia + (dst & 0xFF00) * a) >> 5) & 0xFF00);
    } else if constexpr (F::RGB565) {
        uint32_t xs = (src | src << 16) & 0x07E0F81F, xd = (dst | dst << 16) & 0x07E0F81F;
        uint32_t x = ((xs * ia + xd * a) >> 5) & 0x07E0F81F;
        return (x | x >> 16) & 0xFFFF;
    } else {
        if (sizeof(typename F::Word) == 2 && c.spread) {
            uint32_t xs = (src | src << 16) & c.spread, xd = (dst | dst << 16) & c.spread;
            uint32_t x = ((xs * ia + xd * a) >> 5) & c.spread;
            return (x | x >> 16) & 0xFFFF;
        }
        const uint32_t l0 = c.lane[0], l1 = c.lane[1], l2 = c.lane[2];
        return ((((src & l0) * ia + (dst & l0) * a) >> 5) & l0) | ((((src & l1) * ia + (dst & l1) * a) >> 5) & l1) |
               ((((src & l2) * ia + (dst & l2) * a) >> 5) & l2);
    }
}

// One span. Everything for a pixel is worked out only where the depth test passes; table
// lookups are masked so that no value can index outside a table, and scaling the 32-bit
// fractions u and v by the sprite's size keeps every texel index inside the sprite.
template <typename F, int M, bool Z, bool KEY, bool BLEND>
__attribute__((always_inline)) static inline void SpanRun(uint8_t* dstBytes, int32_t* __restrict depth, int n,
                                                          const SpanIn& s, const SpanCtx& c)
{
    typedef typename F::Word P;
    P* __restrict dst = (P*)dstBytes;
    int32_t z = s.z, c0 = s.c[0], c1 = s.c[1], c2 = s.c[2], a = s.a;
    const int32_t dz = s.dz, d0 = s.dc[0], d1 = s.dc[1], d2 = s.dc[2], da = s.da;
    uint32_t u = s.u, v = s.v;
    const uint32_t du = s.du, dv = s.dv, tw = c.tw, th = c.th;
    const uint8_t* tex8 = c.tex8;
    const uint8_t* tex32 = c.tex32;
    const uint32_t *ch0 = c.chan[0], *ch1 = c.chan[1], *ch2 = c.chan[2];
    const uint32_t *r0 = c.ramp[0], *r1 = c.ramp[1], *r2 = c.ramp[2];
    constexpr bool LIT = M == M_LIT8 || M == M_LIT32, TEXTURED = M >= M_LIT8;
    for (int i = 0; i < n; i++) {
        if (!Z || z >= depth[i]) {
            uint32_t pix, rgb = 0;
            bool draw = true;
            if constexpr (M == M_FLAT) {
                pix = c.flat;
            } else if constexpr (M == M_SMOOTH && F::RGB888) {
                pix = ((uint32_t)c0 & 0xFF0000) | (((uint32_t)c1 >> 8) & 0xFF00) | (((uint32_t)c2 >> 16) & 0xFF);
            } else if constexpr (M == M_SMOOTH && F::RGB565) {
                pix = (((uint32_t)c0 >> 8) & 0xF800) | (((uint32_t)c1 >> 13) & 0x07E0) | (((uint32_t)c2 >> 19) & 0x1F);
            } else if constexpr (M == M_SMOOTH) {
                pix = ch0[(c0 >> 16) & 255] | ch1[(c1 >> 16) & 255] | ch2[(c2 >> 16) & 255];
            } else {
                uint32_t texel = (uint32_t)(((uint64_t)v * th) >> 32) * tw + (uint32_t)(((uint64_t)u * tw) >> 32);
                if constexpr (M == M_LIT32 || M == M_UNLIT32) {
                    rgb = GetU32(tex32 + 4 * (size_t)texel) & 0xFFFFFF;
                    if (KEY && rgb == c.key) draw = false;
                    if constexpr (M == M_UNLIT32 && F::RGB888)
                        pix = rgb;
                    else if constexpr (M == M_UNLIT32)
                        pix = ch0[rgb >> 16] | ch1[(rgb >> 8) & 255] | ch2[rgb & 255];
                } else {
                    uint32_t index = tex8[texel];
                    if (KEY && (int)index == c.keyIndex) draw = false;
                    if constexpr (M == M_UNLIT8)
                        pix = c.display[index];
                    else if constexpr (M == M_GREY8)
                        pix = c.shade[((c1 >> 8) & 0x7F00) | index];
                    else
                        rgb = c.palette[index];
                }
                if constexpr (LIT)
                    pix = r0[((c0 >> 8) & 0x7F00) | (rgb >> 16)] | r1[((c1 >> 8) & 0x7F00) | ((rgb >> 8) & 255)] |
                          r2[((c2 >> 8) & 0x7F00) | (rgb & 255)];
            }
            if constexpr (BLEND) {
                uint32_t level = (uint32_t)a >> 16;
                if (level >= 32)
                    draw = false;
                else if (level)
                    pix = Blend<F>(pix, dst[i], level, c);
            }
            if (draw) {
                dst[i] = (P)pix;
                if (Z) depth[i] = z;
            }
        }
        if (Z) z += dz;
        if constexpr (M == M_SMOOTH || LIT) {
            c0 += d0;
            c2 += d2;
        }
        if constexpr (M == M_SMOOTH || LIT || M == M_GREY8) c1 += d1;
        if constexpr (TEXTURED) {
            u += du;
            v += dv;
        }
        if (BLEND) a += da;
    }
}

// ============================================================================================
// Polygon set-up and scan conversion
// ============================================================================================

enum { A_Z, A_C0, A_C1, A_C2, A_A, A_U, A_V, A_COUNT };   // u and v last: they wrap

struct Vtx {
    double x, y;
    double a[A_COUNT];
};

// What a polygon routine asks of the scan converter.
struct Route {
    int mode;
    bool z, key, blend;
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
static int EdgeSeek(Edge& e, const Vtx* v, int n, int row)
{
    while (row >= e.endRow) {
        if (e.steps++ >= n) return 0;
        e.cur = e.next;
        e.next = e.dir > 0 ? (e.next + 1 == n ? 0 : e.next + 1) : (e.next == 0 ? n - 1 : e.next - 1);
        const Vtx &a = v[e.cur], &b = v[e.next];
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

// A polygon ready to be cut into spans.
struct Raster {
    const Vtx* v;
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
    constexpr bool SHADED = M == M_SMOOTH || M == M_LIT8 || M == M_LIT32 || M == M_GREY8, TEX = M >= M_LIT8;
    const Vtx* v = r.v;
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
                int64_t z = (rz + px * pz.gx) >> 16;
                in.z = fit ? FitSpan(z, &in.dz, count, 0, 0x7FFFFFFF) : (int32_t)z;
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
    case M_FLAT: return PickPlain<F, M_FLAT>(z, blend);
    case M_SMOOTH: return PickPlain<F, M_SMOOTH>(z, blend);
    case M_LIT8: return PickFlags<F, M_LIT8>(z, key, blend);
    case M_LIT32: return PickFlags<F, M_LIT32>(z, key, blend);
    case M_GREY8: return PickFlags<F, M_GREY8>(z, key, blend);
    case M_UNLIT8: return PickFlags<F, M_UNLIT8>(z, key, blend);
    default: return PickFlags<F, M_UNLIT32>(z, key, blend);
    }
}

// The platform's own layouts have span routines of their own; others go through the tables.
static RasterFn PickRasterFor(int bytes, int mode, const Route& r)
{
    const uint32_t* m = v16.mask;
    if (bytes == 2)
        return m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x1F ? PickRaster<Pix565>(mode, r.z, r.key, r.blend)
                                                                 : PickRaster<Pix16>(mode, r.z, r.key, r.blend);
    return m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF ? PickRaster<Pix888>(mode, r.z, r.key, r.blend)
                                                               : PickRaster<Pix32>(mode, r.z, r.key, r.blend);
}

static Plane MakePlane(const Vtx& p0, const Vtx& p1, const Vtx& p2, int a, const double* g, double cx, double cy)
{
    double e1 = p1.a[a] - p0.a[a], e2 = p2.a[a] - p0.a[a];
    double gx = (e1 * g[0] - e2 * g[1]) * g[4], gy = (e2 * g[2] - e1 * g[3]) * g[4];
    return {ToFixed((p0.a[a] + cx * gx + cy * gy) * FIX, 0x1p50), ToFixed(gx * FIX, 0x1p40), ToFixed(gy * FIX, 0x1p40)};
}

static WrapPlane MakeWrapPlane(const Vtx& p0, const Vtx& p1, const Vtx& p2, int a, const double* g, double cx,
                               double cy)
{
    double e1 = p1.a[a] - p0.a[a], e2 = p2.a[a] - p0.a[a];
    double gx = (e1 * g[0] - e2 * g[1]) * g[4], gy = (e2 * g[2] - e1 * g[3]) * g[4];
    return {Wrap32(p0.a[a] + cx * gx + cy * gy), Wrap32(gx), Wrap32(gy)};
}

static void DrawPolygon(D3Polygon* p, const Route& route, const Texture* tex)
{
    Target t;
    if (route.z ? !FrameTarget(&t) : !TargetFromVideo(&t)) return;
    D3Vertex* first = p->ring;
    if (!first) return;

    int mode = route.mode;
    bool smooth = mode == M_SMOOTH, lit = mode == M_LIT8 || mode == M_LIT32;
    bool shaded = smooth || lit, textured = mode >= M_LIT8;
    int shift = smooth ? 6 : 8;
    int64_t top = (smooth ? 0xFFFFFF : 0x7FFFFF) - MARGIN;

    // Gather the ring. A broken or overlong ring is not drawn rather than walked forever.
    Vtx v[ZBUFFER_MAX_VERTICES];
    int n = 0;
    bool grey = true;
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
    if (mode == M_LIT8 && grey) mode = M_GREY8;

    // The attribute planes, from the vertex triple that spans the largest area, relative to
    // the pixel (ox, oy) at the first vertex so that they stay small.
    int i1 = 1;
    double area = 0;
    for (int i = 1; i + 1 < n; i++) {
        double cross = (v[i].x - v[0].x) * (v[i + 1].y - v[0].y) - (v[i + 1].x - v[0].x) * (v[i].y - v[0].y);
        if (std::fabs(cross) > std::fabs(area)) {
            area = cross;
            i1 = i;
        }
    }
    if (!(std::fabs(area) > 1e-9)) return;
    const Vtx &p0 = v[0], &p1 = v[i1], &p2 = v[i1 + 1];
    const double g[5] = {p2.y - p0.y, p1.y - p0.y, p1.x - p0.x, p2.x - p0.x, 1.0 / area};
    int ox = CeilInt(p0.x), oy = CeilInt(p0.y);
    double cx = ox + 0.5 - p0.x, cy = oy + 0.5 - p0.y;
    Plane pz = {}, pc[3] = {}, pa = {};
    WrapPlane pu = {}, pv = {};
    SpanIn in = {};
    if (route.z) {
        pz = MakePlane(p0, p1, p2, A_Z, g, cx, cy);
        in.dz = Step(pz);
    }
    if (shaded)
        for (int c = 0; c < 3; c++) {
            pc[c] = MakePlane(p0, p1, p2, A_C0 + c, g, cx, cy);
            in.dc[c] = Step(pc[c]);
        }
    if (route.blend) {
        pa = MakePlane(p0, p1, p2, A_A, g, cx, cy);
        in.da = Step(pa);
    }
    if (textured) {
        pu = MakeWrapPlane(p0, p1, p2, A_U, g, cx, cy);
        pv = MakeWrapPlane(p0, p1, p2, A_V, g, cx, cy);
        in.du = pu.gx;
        in.dv = pv.gx;
    }

    SpanCtx ctx;
    ctx.flat = PackRGB(VertexRGB(first));
    for (int c = 0; c < 3; c++) {
        ctx.lane[c] = v16.lane[c];
        ctx.chan[c] = v16.chan[c];
        ctx.ramp[c] = v16.ramp[c];
    }
    ctx.spread = v16.spread;
    ctx.palette = v16.palette;
    ctx.display = v16.display;
    ctx.shade = v16.shade;
    ctx.tex8 = ctx.tex32 = tex ? tex->texels : nullptr;
    ctx.tw = tex ? tex->width : 0;
    ctx.th = tex ? tex->height : 0;
    ctx.keyIndex = tex ? tex->keyIndex : -1;
    ctx.key = tex ? tex->key : 0;
    RasterFn raster = PickRasterFor(t.bytes, mode, route);

    // Rows whose centres lie inside the polygon; both chains descend from the top vertex.
    double ymin = v[0].y, ymax = v[0].y;
    int topVertex = 0;
    for (int i = 1; i < n; i++) {
        if (v[i].y < ymin) ymin = v[i].y, topVertex = i;
        if (v[i].y > ymax) ymax = v[i].y;
    }
    Raster r;
    r.row = CeilInt(ymin - 0.5);
    r.rowEnd = CeilInt(ymax - 0.5);
    if (r.row < t.y0) r.row = t.y0;
    if (r.rowEnd > t.y1 + 1) r.rowEnd = t.y1 + 1;
    if (r.row >= r.rowEnd) return;
    r.v = v;
    r.n = n;
    r.ea = {0, topVertex, 1, 0, 0, INT32_MIN, 0, 0};
    r.eb = {0, topVertex, -1, 0, 0, INT32_MIN, 0, 0};
    r.left = t.x0;
    r.right = t.x1 + 1;
    r.pitch = t.pitch;
    r.dw = zb.depthWidth;
    r.pixels = t.pixels;
    r.line = (size_t)(t.originY + r.row) * t.pitch + (size_t)t.originX * t.bytes;
    r.depth = route.z ? zb.depth : nullptr;
    r.depthLine = route.z ? (size_t)(r.row - t.y0) * zb.depthWidth : 0;
    r.ox = ox;
    r.oy = oy;
    r.pz = pz;
    r.pa = pa;
    r.pu = pu;
    r.pv = pv;
    for (int c = 0; c < 3; c++) r.pc[c] = pc[c];
    r.steps = in;
    r.colourTop = top + MARGIN;
    r.ctx = &ctx;
    r.fit = n > 3;
    uint32_t spans = raster(r);
    zb.stats.spans += spans;
    zb.stats.polygons += spans != 0;
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
    zb.stats.polygons++;
    for (int i = 0; i < ZBUFFER_MAX_VERTICES && q && q->next; i++) {
        LineDraw(t, ScreenCoord(q->sx), ScreenCoord(q->sy), ScreenCoord(q->next->sx), ScreenCoord(q->next->sy),
                 PackRGB(VertexRGB(q)));
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

// 17: lit texture with transparent texels; nothing without a texture, its lit colours while
// the pipeline asks for no texels (render flag 0x800).
static void PolyLitKeyed(D3Polygon* p)
{
    Texture t;
    if (!TextureGet(p->texture, &t)) return;
    if (Draw3DTexturesWanted())
        DrawPolygon(p, {LitMode(t), true, true, false}, &t);
    else
        PolySmooth(p);
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
