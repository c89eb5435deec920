// The software drivers' polygon routines and their driver records.
#include "render/softdriver.h"

#include <array>
#include <initializer_list>
#include <utility>

#include "render/scan.h"
#include "render/zbuffer.h"

// ============================================================================================
// Polygon routines
// ============================================================================================

static int LitMode(const TexCacheEntry& t) { return t.bpp == 8 ? SPAN_LIT8 : SPAN_LIT32; }
static int UnlitMode(const TexCacheEntry& t) { return t.bpp == 8 ? SPAN_UNLIT8 : SPAN_UNLIT32; }

static void PolyNothing(D3Polygon*) {}
static void PolyFlat(D3Polygon* p) { ScanPolygon(p, {SPAN_FLAT, true, false, false}, nullptr); }
static void PolySmooth(D3Polygon* p) { ScanPolygon(p, {SPAN_SMOOTH, true, false, false}, nullptr); }
static void PolyBlended(D3Polygon* p) { ScanPolygon(p, {SPAN_SMOOTH, true, false, true}, nullptr); }

// Lit textures; the lit colours alone without a texture.
static void PolyLit(D3Polygon* p)
{
    TexCacheEntry t;
    if (TexCacheGet(p->texture, &t))
        ScanPolygon(p, {LitMode(t), true, false, false}, &t);
    else
        PolySmooth(p);
}

// A lit texture with transparent texels: nothing without a texture, its lit colours while
// the pipeline asks for no texels.
static void PolyLitKeyed(D3Polygon* p)
{
    TexCacheEntry t;
    if (!TexCacheGet(p->texture, &t)) return;
    if (Draw3DTexturesWanted())
        ScanPolygon(p, {LitMode(t), true, true, false}, &t);
    else
        PolySmooth(p);
}

// A blended lit texture, transparent texels left out; nothing without a texture.
static void PolyLitBlended(D3Polygon* p)
{
    TexCacheEntry t;
    if (TexCacheGet(p->texture, &t)) ScanPolygon(p, {LitMode(t), true, true, true}, &t);
}

// Texels as they are; a flat fill without a texture.
static void PolyUnlit(D3Polygon* p)
{
    TexCacheEntry t;
    if (TexCacheGet(p->texture, &t))
        ScanPolygon(p, {UnlitMode(t), true, false, false}, &t);
    else
        PolyFlat(p);
}

static void PolyUnlitKeyed(D3Polygon* p)
{
    TexCacheEntry t;
    if (TexCacheGet(p->texture, &t))
        ScanPolygon(p, {UnlitMode(t), true, true, false}, &t);
    else
        PolyFlat(p);
}

// Screen space: over everything, no depth.
static void PolyScreenFlat(D3Polygon* p) { ScanPolygon(p, {SPAN_FLAT, false, false, false}, nullptr); }
static void PolyScreenSmooth(D3Polygon* p) { ScanPolygon(p, {SPAN_SMOOTH, false, false, false}, nullptr); }
static void PolyScreenBlended(D3Polygon* p) { ScanPolygon(p, {SPAN_SMOOTH, false, false, true}, nullptr); }
static void PolyScreenTexture(D3Polygon* p)
{
    TexCacheEntry t;
    if (TexCacheGet(p->texture, &t)) ScanPolygon(p, {UnlitMode(t), false, true, false}, &t);
}

// ============================================================================================
// Routine tables and driver records
// ============================================================================================

typedef std::array<D3PolyFn, D3T_COUNT> PolyTable;

// A table that draws nothing but the types listed.
static constexpr PolyTable MakeTable(std::initializer_list<std::pair<int, D3PolyFn>> routines)
{
    PolyTable t{};
    for (D3PolyFn& f : t) f = PolyNothing;
    for (const auto& r : routines) t[r.first] = r.second;
    return t;
}

static constexpr PolyTable zbufferTable = MakeTable({
    {D3T_DEFAULT, PolyFlat},
    {D3T_FLAT, PolyFlat},
    {D3T_SHADED, PolySmooth},
    {D3T_SECOND_TEXTURE, PolyLit},
    {D3T_UNLIT_TEXTURE, PolyUnlit},
    {D3T_LIT_TEXTURE, PolyLit},
    {D3T_UNLIT_KEYED, PolyUnlitKeyed},
    {D3T_TEXTURED, PolyLit},
    {D3T_OUTLINE, ScanOutline},
    {D3T_LINES, ScanOutline},
    {D3T_FLAT_ALT, PolyFlat},
    {D3T_BLENDED, PolyBlended},
    {D3T_TRANSPARENT, PolyLitKeyed},
    {D3T_BLENDTEXTURE, PolyLitBlended},
    {D3T_SCREEN_FLAT, PolyScreenFlat},
    {D3T_SCREEN_SMOOTH, PolyScreenSmooth},
    {D3T_SCREEN_BLENDED, PolyScreenBlended},
    {D3T_SCREEN_OUTLINE, ScanOutline},
    {D3T_SCREEN_TEXTURE, PolyScreenTexture},
});

static constexpr PolyTable screenTable = MakeTable({
    {D3T_SCREEN_FLAT, PolyScreenFlat},
    {D3T_SCREEN_SMOOTH, PolyScreenSmooth},
    {D3T_SCREEN_BLENDED, PolyScreenBlended},
    {D3T_SCREEN_OUTLINE, ScanOutline},
    {D3T_SCREEN_TEXTURE, PolyScreenTexture},
});

static constexpr PolyTable outlineTable = MakeTable({
    {D3T_OUTLINE, ScanOutline},
    {D3T_LINES, ScanOutline},
});

static void NoFrame(void) {}

static const D3Driver zbufferDriver = {
    .name = "Software Z-Buffer",
    .flags = DRV_SOFTWARE_MARKS | DRV_SPECULAR | DRV_PIXEL_CENTRES,
    .startFrame = ZBufferFrameStart,
    .endFrame = ZBufferFrameFlush,
    .polygons = zbufferTable.data(),
    .depthRange = ZBufferDepthRange,
    .setBackground = ZBufferSetBackground,
    .maxTextureEdge = SOFT_MAX_TEXTURE_EDGE,
};

static const D3Driver screenDriver = {
    .name = "Software Renderer Non ZBuffered",
    .flags = 0,
    .polygons = screenTable.data(),
    .setBackground = ZBufferSetBackground,
};

static const D3Driver placeholderDriver = {
    .name = "Software Renderer",
    .flags = DRV_SOFTWARE_MARKS,
    .startFrame = NoFrame,
    .endFrame = NoFrame,
    .polygons = outlineTable.data(),
    // Nothing loads textures through the placeholder; a sane page size keeps callers that
    // divide by it safe all the same.
    .maxTextureEdge = SOFT_MAX_TEXTURE_EDGE,
};

const D3Driver* SoftDriverZBuffer(void) { return &zbufferDriver; }
const D3Driver* SoftDriverNonZ(void) { return &screenDriver; }
const D3Driver* SoftDriverPlaceholder(void) { return &placeholderDriver; }

void SoftDriverPolygon(D3Polygon* polygon)
{
    if (polygon && polygon->type >= 0 && polygon->type < D3T_COUNT) zbufferTable[polygon->type](polygon);
}
