// The software rasteriser's span routines: one horizontal run of pixels of a polygon, from
// start values stepped by integer adds, compiled for each pixel layout and each combination of
// colour mode, depth test, transparent texels and blending. They live in this header so that
// the scan converter's row loops (scan.cpp) inline them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/bytes.h"

// Colour modes of a span.
enum {
    SPAN_FLAT,     // one colour
    SPAN_SMOOTH,   // 8.16 red, green, blue components
    SPAN_LIT8,     // 8-bit texels through the shade ramps (7.16 levels per channel)
    SPAN_LIT32,
    SPAN_GREY8,    // 8-bit texels under white light: one level, one lookup
    SPAN_UNLIT8,   // texels as they are
    SPAN_UNLIT32,
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
static inline uint32_t SpanBlend(uint32_t src, uint32_t dst, uint32_t a, const SpanCtx& c)
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

static inline int32_t SpanStep(int32_t value, int32_t step) { return (int32_t)((uint32_t)value + (uint32_t)step); }

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
    constexpr bool LIT = M == SPAN_LIT8 || M == SPAN_LIT32, TEXTURED = M >= SPAN_LIT8;
    for (int i = 0; i < n; i++) {
        if (!Z || z >= depth[i]) {
            uint32_t pix, rgb = 0;
            bool draw = true;
            if constexpr (M == SPAN_FLAT) {
                pix = c.flat;
            } else if constexpr (M == SPAN_SMOOTH && F::RGB888) {
                pix = ((uint32_t)c0 & 0xFF0000) | (((uint32_t)c1 >> 8) & 0xFF00) | (((uint32_t)c2 >> 16) & 0xFF);
            } else if constexpr (M == SPAN_SMOOTH && F::RGB565) {
                pix = (((uint32_t)c0 >> 8) & 0xF800) | (((uint32_t)c1 >> 13) & 0x07E0) | (((uint32_t)c2 >> 19) & 0x1F);
            } else if constexpr (M == SPAN_SMOOTH) {
                pix = ch0[(c0 >> 16) & 255] | ch1[(c1 >> 16) & 255] | ch2[(c2 >> 16) & 255];
            } else {
                uint32_t texel = (uint32_t)(((uint64_t)v * th) >> 32) * tw + (uint32_t)(((uint64_t)u * tw) >> 32);
                if constexpr (M == SPAN_LIT32 || M == SPAN_UNLIT32) {
                    rgb = GetU32(tex32 + 4 * (size_t)texel) & 0xFFFFFF;
                    if (KEY && rgb == c.key) draw = false;
                    if constexpr (M == SPAN_UNLIT32 && F::RGB888)
                        pix = rgb;
                    else if constexpr (M == SPAN_UNLIT32)
                        pix = ch0[rgb >> 16] | ch1[(rgb >> 8) & 255] | ch2[rgb & 255];
                } else {
                    uint32_t index = tex8[texel];
                    if (KEY && (int)index == c.keyIndex) draw = false;
                    if constexpr (M == SPAN_UNLIT8)
                        pix = c.display[index];
                    else if constexpr (M == SPAN_GREY8)
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
                    pix = SpanBlend<F>(pix, dst[i], level, c);
            }
            if (draw) {
                dst[i] = (P)pix;
                if (Z) depth[i] = z;
            }
        }
        // The steps wrap: past the last pixel a steep span's next value may leave the 32 bits,
        // and it is never used.
        if (Z) z = SpanStep(z, dz);
        if constexpr (M == SPAN_SMOOTH || LIT) {
            c0 = SpanStep(c0, d0);
            c2 = SpanStep(c2, d2);
        }
        if constexpr (M == SPAN_SMOOTH || LIT || M == SPAN_GREY8) c1 = SpanStep(c1, d1);
        if constexpr (TEXTURED) {
            u += du;
            v += dv;
        }
        if (BLEND) a = SpanStep(a, da);
    }
}
