// Prepared shapes: what "SHP" resources become when they load. The resource's data is rebuilt
// as a header with flat vertex arrays and one draw record per triangle or quad, for the
// renderer and the world display; materials are bound by name through the render-material
// table, again whenever the table changes. The Shape Editor's edit buffer, the other half of
// the shape manager, is in shapem_edit.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/res.h"
#include "shapes/shape.h"

// A prepared shape's resource holds this header; the arrays hang off it in memory blocks of
// their own (ResAllocMem) that the resource's release routine frees. In memory only: nothing
// writes it to a file.
struct ShapePrep {
    uint32_t magic;            // PREPARED_MAGIC
    int32_t vertexCount;
    int32_t recordCount;
    int32_t namedCount;
    uint32_t* recordOffsets;   // byte offset of each draw record in `records`; the first is 0
    uint8_t* records;          // the draw records, one after the other
    uint32_t* named;           // per named point: the point name, then its vertex index
    uint8_t* names;            // copy of the material name table (18-byte entries), or null
    int32_t* vertices;         // X, Y, Z in world units per vertex
    float* fvertices;          // the same as floats
    int32_t nameCount;         // entries of `names`
    int32_t radius;
    int32_t box[6];            // minimum X, Y, Z, then maximum X, Y, Z (world units)

    // The manager's own bookkeeping.
    uint16_t* nameIds;         // each name table entry's id as the file gave it
    int32_t vertexRoom, recordRoom, namedRoom;
    uint32_t recordBytes, recordBytesRoom;
};

enum {
    PREPARED_MAGIC = 0x73687069,   // the characters 'shpi'
};

// A draw record is a little-endian byte image of PR_TRIANGLE_SIZE bytes (a triangle) or
// PR_QUAD_SIZE bytes (a quad). A quad is a triangle record for (P0, P1, P2) followed by a
// second part for (P3, P0, P2) that repeats the fields from PR_INDEX on, PR_SECOND bytes
// further on. Floats are 32-bit IEEE values, stored value x 2^-14.
enum {
    PR_TRIANGLE_SIZE = 188,
    PR_QUAD_SIZE = 360,

    PR_LENGTH = 0,          // u32: PR_TRIANGLE_SIZE or PR_QUAD_SIZE
    PR_FLAGS = 4,           // u32: the polygon's flags word
    PR_NORMAL = 8,          // i16 x 3: face normal, 1.0 = 16384
    PR_INDEX = 16,          // u32 x 3: vertex indices of the three points
    PR_TABLE_ID = 28,       // u32: the material id as the shape's name table knows it; binding
                            // matches this, so a re-bind always finds the name it started from
    PR_MATERIAL = 40,       // u32: render material index; MAT_UNRESOLVED = not bound
    PR_CARRIES = 44,        // u32: PR_HAS_MAPPING, PR_HAS_NORMALS
    PR_UV = 48,             // f32 x 2 x 3: U then V of each point
    PR_POINT_NORMALS = 72,  // f32 x 3 x 3: X, Y, Z of each point's normal
    PR_RENDERER = 108,      // 80 bytes (and 80 more in a quad's second part) for the renderer
    PR_SECOND = 172,        // offset from a field of the first part to the same in the second
    PR_QUAD_MATERIAL = PR_MATERIAL + PR_SECOND,

    PR_HAS_MAPPING = 1,
    PR_HAS_NORMALS = 2,
};

// Registers the "SHP" type with its load hook (check, convert, prepare, bind) and release
// routine, and the material change handler that binds every loaded shape again. A second
// install changes nothing.
void ShapeMResourceInstall(void);
// Loads a shape resource's data as its file holds it, without preparing it (the editor takes
// shapes in from these). 0, or the resource manager's failure.
int ShapeMLoadUnprepared(ResId id);
// Turns a resource holding a shape file's bytes (shapes taken from an archive rather than
// loaded by name) into a prepared shape, as a load does: check, convert, prepare, bind. 0, or 1
// with the reason in ShapeMLastError and the resource as it was handed in or freed of what
// the preparing allocated.
int ShapeMPrepareBlock(ResId id);
// The reason of the shape manager's last refusal (a load, or an edit-buffer operation), for
// the user's message.
const char* ShapeMLastError(void);

// 1 when the resource holds a prepared shape (its first word is the 'shpi' magic).
int ShapeMIsPrepared(ResId id);
// The header of a prepared shape, or null.
ShapePrep* ShapeMPrepared(ResId id);
int ShapeMVertexCount(ResId id);
int ShapeMRecordCount(ResId id);
int32_t ShapeMRadius(ResId id);
int32_t ShapeMMinX(ResId id);
int32_t ShapeMMinY(ResId id);
int32_t ShapeMMinZ(ResId id);
int32_t ShapeMMaxX(ResId id);
int32_t ShapeMMaxY(ResId id);
int32_t ShapeMMaxZ(ResId id);
// X, Y, Z of a vertex, or null when the index is not below the vertex count.
int32_t* ShapeMVertex(ResId id, int index);
float* ShapeMVertexF(ResId id, int index);
// Writes the integer entry and its float copy; 0 when out of range, else 1.
int ShapeMSetVertex(ResId id, int index, int32_t x, int32_t y, int32_t z);
// With reuse, an existing vertex at exactly these coordinates; otherwise appends one (widening
// the box, raising the radius to the vertex's distance). Its index, or -1 when refused.
int ShapeMAddVertex(ResId id, int32_t x, int32_t y, int32_t z, int reuse);
// Adds a vertex (without reuse) and names it. Its index, or -1.
int ShapeMAddNamedVertex(ResId id, uint32_t name, int32_t x, int32_t y, int32_t z);
// The vertex of the first named point of that name, -1 when none.
int ShapeMNamedVertex(ResId id, uint32_t name);
// A draw record, or null when the index is not below the record count.
uint8_t* ShapeMRecord(ResId id, int index);
// Appends the draw records of a polygon: one quad record for 4 points, otherwise the triangles
// (P0, Pk, Pk+1). normals (3 per point), mapping (U, V per point) and faceNormal (3) are
// optional, 1.0 = 16384. The index of the last record added; -1 when nothing was added (fewer
// than 3 points, an index not below the vertex count, or no memory).
int ShapeMAddPolygon(ResId id, int material, int n, const int32_t* indices, const int16_t* normals,
                     const int16_t* mapping, uint16_t flags, const int16_t* faceNormal);
// Add polygon, then the face normal unit(P2 - P1) x unit(P0 - P1) of the first record.
int ShapeMAddTriangle(ResId id, int material, const int32_t indices[3], const int16_t* mapping);
int ShapeMAddQuad(ResId id, int material, const int32_t indices[4], const int16_t* mapping);
// Replaces the mapping of a quad record that carries mapping coordinates (four U, V pairs).
// 0, or 1 when refused.
int ShapeMSetQuadMapping(ResId id, int record, const int16_t uv[8]);
// Minimum X, minimum Z, maximum X, maximum Z of the vertices whose Y lies within 255 of the
// lowest Y; the empty box when there are no vertices.
void ShapeMBaseFootprint(ResId id, int32_t out[4]);
// Binds every draw record's material by name through the render-material table.
void ShapeMBindMaterials(ResId id);
