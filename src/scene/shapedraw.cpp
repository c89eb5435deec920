// Drawing shapes through Draw3D: a prepared shape's draw records, and the edit buffer's block
// as it stands (the Shape Editor draws its shape straight from the block every frame, so no
// prepared copy has to be kept in step with the edits).
#include "scene/shapedraw.h"

#include <cmath>
#include <cstring>

#include "base/bytes.h"
#include "materials/intmat.h"
#include "render/draw3d.h"
#include "shapes/shapem.h"
#include "shapes/shapem_edit.h"

// Unresolved materials (bit 15) draw with material 0.
static int Material(uint32_t value) { return (value & MAT_UNRESOLVED) ? 0 : (int)(value & MAT_ID_MASK); }

// ============================================================================================
// Prepared shapes
// ============================================================================================

// One triangle of a draw record: the first part, or with second set the quad's second part.
static void DrawPart(const uint8_t* r, int second, int vertexCount)
{
    size_t off = second ? PR_SECOND : 0;
    D3Triangle t{};
    for (int k = 0; k < 3; k++) {
        uint32_t index = GetU32(r, PR_INDEX + off + 4 * k);
        if (index >= (uint32_t)vertexCount) return;
        t.point[k] = (int32_t)index;
    }
    t.material = Material(GetU32(r, PR_MATERIAL + off));
    uint32_t bits = GetU32(r, PR_CARRIES + off);
    for (int k = 0; k < 3; k++) t.normal[k] = GetI16(r, PR_NORMAL + 2 * k);
    if ((bits & PR_HAS_MAPPING) && IntMatSprite(t.material)) {
        t.flags |= D3TR_TEXTURED;
        for (int k = 0; k < 3; k++) {
            t.u[k] = GetF32(r, PR_UV + off + 8 * k);
            t.v[k] = GetF32(r, PR_UV + off + 8 * k + 4);
        }
    }
    if (bits & PR_HAS_NORMALS) {
        t.flags |= D3TR_SMOOTH;
        for (int k = 0; k < 3; k++)
            for (int a = 0; a < 3; a++) t.vnormal[k][a] = GetF32(r, PR_POINT_NORMALS + off + 12 * k + 4 * a);
    }
    Draw3DTriangle(&t);
}

void ShapeDrawRecords(ResId id, uint32_t displayFlags)
{
    ShapePrep* s = ShapeMPrepared(id);
    if (!s || s->vertexCount != Draw3DPointCount()) return;
    for (int i = 0; i < s->recordCount; i++) {
        const uint8_t* r = s->records + s->recordOffsets[i];
        uint32_t first = GetU32(r, PR_INDEX);
        if (first >= (uint32_t)s->vertexCount) continue;
        const int16_t normal[3] = {GetI16(r, PR_NORMAL), GetI16(r, PR_NORMAL + 2), GetI16(r, PR_NORMAL + 4)};
        if ((displayFlags & D3V_HIDDEN) && !Draw3DFacing(normal, (int)first)) continue;
        DrawPart(r, 0, s->vertexCount);
        if (GetU32(r, PR_LENGTH) == PR_QUAD_SIZE) DrawPart(r, 1, s->vertexCount);
    }
}

// The box of the shape's points as they are drawn: minimum X, Y, Z, then maximum X, Y, Z.
static const int32_t* PointBounds(const ShapePrep* s)
{
    static int32_t box[6];
    float lo[3], hi[3];
    for (int a = 0; a < 3; a++) lo[a] = hi[a] = s->fvertices[a];
    for (int i = 1; i < s->vertexCount; i++)
        for (int a = 0; a < 3; a++) {
            float v = s->fvertices[3 * i + a];
            if (v < lo[a]) lo[a] = v;
            if (v > hi[a]) hi[a] = v;
        }
    // Points are whole units; a float near the ends of the range may round past them.
    auto whole = [](double v) { return (int32_t)(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); };
    for (int a = 0; a < 3; a++) {
        box[a] = whole(std::floor(lo[a]));
        box[3 + a] = whole(std::ceil(hi[a]));
    }
    return box;
}

// Whether a material of the shape draws through a hook of its own, which may draw anything.
static bool AnyDrawHook(const ShapePrep* s)
{
    for (int i = 0; i < s->recordCount; i++) {
        const uint8_t* r = s->records + s->recordOffsets[i];
        if (IntMatDrawHook(Material(GetU32(r, PR_MATERIAL)))) return true;
        if (GetU32(r, PR_LENGTH) == PR_QUAD_SIZE && IntMatDrawHook(Material(GetU32(r, PR_MATERIAL + PR_SECOND))))
            return true;
    }
    return false;
}

int ShapeDrawPrepared(ResId id, const int32_t camPos[3], const int16_t orientation[9], uint32_t displayFlags)
{
    ShapePrep* s = ShapeMPrepared(id);
    if (!s || s->vertexCount <= 0) return 0;
    const float centre[3] = {(float)camPos[0], (float)camPos[1], (float)camPos[2]};
    if (!Draw3DSphereVisible(centre, (float)s->radius)) return 0;
    if (!Draw3DBoxVisible(camPos, orientation, s->box)) return 0;
    // In view but between two rows of pixels (a far worldshape seen from above): its triangles
    // would cover nothing. It still counts as drawn, for the rectangle selection. The file's
    // box only picks the candidates: the points' own bounds decide, since a file may state a
    // box its points pass.
    if (Draw3DBoxDrawsNothing(camPos, orientation, s->box) && Draw3DBoxDrawsNothing(camPos, orientation, PointBounds(s)) &&
        !AnyDrawHook(s))
        return 1;
    Draw3DObjectF(camPos, orientation, 16384, s->radius, s->vertexCount, s->fvertices);
    ShapeDrawRecords(id, displayFlags);
    return 1;
}

// ============================================================================================
// The edit buffer
// ============================================================================================

int ShapeDrawBlock(const uint8_t* block, const int32_t camPos[3], const int16_t orientation[9], uint32_t displayFlags)
{
    uint8_t* b = (uint8_t*)block;
    int n = ShapeVertexCount(b);
    if (n <= 0) return 0;
    Draw3DBeginObject(camPos, orientation, 16384, GetI32(b, SH_RADIUS), n);
    for (int i = 0; i < n; i++) {
        int32_t p[3];
        ShapeVertexPos(b, i, p);
        Draw3DSetPoint(i, (float)p[0], (float)p[1], (float)p[2]);
    }
    int polygons = ShapePolygonCount(b);
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0; poly && i < polygons; i++, poly = ShapeNextPolygon(poly)) {
        int count = ShapePolyPoints(poly);
        if (count < 3) continue;
        bool valid = true;
        for (int k = 0; k < count && valid; k++) valid = ShapePolyIndex(poly, k) < n;
        if (!valid) continue;
        const int16_t normal[3] = {GetI16(poly, POLY_NORMAL), GetI16(poly, POLY_NORMAL + 2),
                                   GetI16(poly, POLY_NORMAL + 4)};
        if ((displayFlags & D3V_HIDDEN) && !Draw3DFacing(normal, ShapePolyIndex(poly, 0))) continue;
        int material = Material(GetU16(poly, POLY_MATERIAL));
        const uint8_t* normals = ShapePolyNormals(poly);
        const uint8_t* mapping = ShapePolyMapping(poly);
        // A fan from the first point, as the prepared form splits polygons.
        for (int k = 1; k + 1 < count; k++) {
            const int corner[3] = {0, k, k + 1};
            D3Triangle t{};
            t.material = material;
            memcpy(t.normal, normal, sizeof normal);
            if (mapping && IntMatSprite(material)) t.flags |= D3TR_TEXTURED;
            if (normals) t.flags |= D3TR_SMOOTH;
            for (int c = 0; c < 3; c++) {
                int at = corner[c];
                t.point[c] = ShapePolyIndex(poly, at);
                if (mapping) {
                    t.u[c] = GetI16(mapping, 4 * at) / 16384.0f;
                    t.v[c] = GetI16(mapping, 4 * at + 2) / 16384.0f;
                }
                if (normals)
                    for (int a = 0; a < 3; a++) t.vnormal[c][a] = GetI16(normals, 6 * at + 2 * a) / 16384.0f;
            }
            Draw3DTriangle(&t);
        }
    }
    return 1;
}

int ShapeDrawEdit(const int32_t camPos[3], const int16_t orientation[9], uint32_t displayFlags)
{
    ShapeBlock* s = ShapeMEdit();
    if (!s || !s->data) return 0;
    return ShapeDrawBlock(s->data, camPos, orientation, displayFlags);
}
