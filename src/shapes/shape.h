// The shape block: one contiguous, self-relative block that is both the SHP file and the
// edited shape. A 68-byte header finds the vertex section, the polygon section and the
// material name table by byte offset; edits insert and remove bytes inside the block and
// relocate the offsets behind the change. All numbers are little-endian and read through
// the accessors of base/bytes.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/res.h"

enum {
    SHAPE_VERSION = 16,
    SHAPE_OLDEST_VERSION = 12,
    SHAPE_HEADER_SIZE = 68,
    SHAPE_VERTEX_SIZE = 12,
    SHAPE_NAME_ENTRY_SIZE = 18,
    SHAPE_NAME_CHARS = 16,
    SHAPE_PREPARED_NAME_CHARS = 15,  // prepared shapes bind on a name's first 15 characters
    SHAPE_MAX_COUNT = 32767,
    SHAPE_MAX_POINTS = 16383,
    SHAPE_MAX_TABLE_NAMES = 100,
    SHAPE_COORD_LIMIT = 12288,       // stored magnitudes are kept at most this when written back
    SHAPE_MAX_SHIFT = 18,            // the write-back rule never raises the shift past this
    // The largest shape file: the editor's edit buffer, which no shape it writes outgrows. The
    // format itself would allow gigabytes (32767 polygons of 16383 points).
    SHAPE_MAX_FILE_SIZE = 2000000,
};

// Header offsets.
enum {
    SH_VERSION = 0x00,
    SH_SHIFT = 0x02,
    SH_FLAGS = 0x04,
    SH_RESERVED_WORD = 0x06,  // u16 carried through unchanged; nothing here reads it
    SH_SIZE = 0x08,
    SH_RESERVED_LONG = 0x0C,  // u32 carried through unchanged; nothing here reads it
    SH_VERTICES = 0x10,
    SH_POLYGONS = 0x14,
    SH_NAMES = 0x18,
    SH_RADIUS = 0x1C,
    SH_MIN = 0x20,          // X, Y, Z
    SH_MAX = 0x2C,          // X, Y, Z
    SH_NOSORT = 0x38,
    SH_MAXANGLE = 0x3A,
    SH_EXTRA = 0x3C,        // offset of a section nothing here reads; relocated like the others
    SH_RESERVED_TAIL = 0x40,  // u32 after it, never relocated; 0 in blocks made or converted here
};

// Offsets inside a vertex record (SHAPE_VERTEX_SIZE bytes): the stored X, Y, Z lead it.
enum {
    VERT_COORDS = 0,        // i16 x 3
    VERT_FLAGS = 6,         // u16: VF_*
    VERT_NAME = 8,          // u32: point name, 0 = none
};

// Offsets inside a polygon record: a POLY_HEAD-byte head, then the point indices (u16 each),
// then the per-point normals (i16 x 3 each) and the mapping (U, V each) when the count word says.
enum {
    POLY_FLAGS = 0,         // u16: PF_*
    POLY_MATERIAL = 2,      // u16: render material index, or MAT_UNRESOLVED with a name table id
    POLY_NORMAL = 4,        // i16 x 3: face normal, 1.0 = 16384
    POLY_COUNT_WORD = 10,   // u16: PC_COUNT points, PC_NORMALS, PC_MAPPING
    POLY_HEAD = 12,         // where the point indices begin
};

// Offsets inside a material name table entry (SHAPE_NAME_ENTRY_SIZE bytes).
enum {
    NAME_TEXT = 0,          // SHAPE_NAME_CHARS characters, space padded
    NAME_ID = 16,           // u16: the material value this block's polygons carry for the name
};

// Flags of the header, of vertices and of polygons; bits of a polygon's point count word;
// the material field's unresolved bit.
enum {
    SHF_EDITOR = 0x0001,          // cleared when the editor takes a block in
    SHF_CONVERTED = 0x0002,       // cleared when a loaded block is converted
    VF_SELECTED = 0x8000,
    PF_NOTPLANAR = 0x0001,
    PF_HIDDEN = 0x0004,
    PF_MARKED = 0x0010,
    PF_SELECTED = 0x0080,
    PC_COUNT = 0x3FFF,
    PC_NORMALS = 0x4000,
    PC_MAPPING = 0x8000,
    MAT_UNRESOLVED = 0x8000,
    MAT_ID_MASK = 0x7FFF,         // the material field without its unresolved bit
    SHAPE_BOX_EMPTY_MIN = 0x7FFFFFFF,
};
#define SHAPE_BOX_EMPTY_MAX ((int32_t)0x80000001)

// A block that is edited in place, in a buffer of fixed capacity: an insertion that would pass
// the capacity is refused and changes nothing.
struct ShapeBlock {
    uint8_t* data;
    uint32_t capacity;
};

// ============================================================================================
// Checking a block that came from a file
// ============================================================================================

// 1 when the block is a well-formed shape of any version 12 to 16 that fits `size` bytes:
// used size, section offsets and counts inside the block, polygon records inside their
// section, point indices below the vertex count, name table inside, sections apart, the
// shift at most SHAPE_MAX_SHIFT. Otherwise 0 and a short reason (for the user's message) in
// `why` (may be null).
int ShapeCheck(const uint8_t* data, size_t size, char* why, size_t whySize);

// ============================================================================================
// Reading (on a well-formed version 16 block)
// ============================================================================================

int ShapeVersion(const uint8_t* b);
int ShapeShift(const uint8_t* b);
uint32_t ShapeUsedSize(const uint8_t* b);
int ShapeVertexCount(const uint8_t* b);      // 0 when there is no vertex section
int ShapePolygonCount(const uint8_t* b);
uint8_t* ShapeVertex(uint8_t* b, int index); // the 12-byte record
// World position: the stored coordinates sign-extended and shifted left by the shift.
void ShapeVertexPos(const uint8_t* b, int index, int32_t out[3]);
uint32_t ShapeVertexFlags(const uint8_t* b, int index);
uint32_t ShapePointName(const uint8_t* b, int index);

uint8_t* ShapeFirstPolygon(uint8_t* b);      // null when there are no polygons
uint8_t* ShapeNextPolygon(uint8_t* polygon);
uint8_t* ShapePolygon(uint8_t* b, int index);  // null when there is no such polygon
int ShapePolygonIndex(uint8_t* b, const uint8_t* polygon);
uint32_t ShapePolygonLength(const uint8_t* polygon);
uint32_t ShapePolygonSectionLength(const uint8_t* b);
int ShapePolyPoints(const uint8_t* polygon);
int ShapePolyIndex(const uint8_t* polygon, int point);
uint8_t* ShapePolyIndices(uint8_t* polygon);
uint8_t* ShapePolyNormals(uint8_t* polygon);   // null without the per-point block
uint8_t* ShapePolyMapping(uint8_t* polygon);   // null without mapping coordinates
int ShapeNameCount(const uint8_t* b);
uint8_t* ShapeNames(uint8_t* b);               // the first 18-byte entry, or null

// ============================================================================================
// Editing bytes
// ============================================================================================

// Inserts n bytes at pos (used size grows; bytes from pos move up; the gap is zeroed; offsets
// at or after pos are relocated). 0, or 1 when the block would pass its capacity (nothing
// changes). A position past the used size is fatal (a programming error).
int ShapeInsert(ShapeBlock* s, uint32_t pos, uint32_t n);
// Removes n bytes at pos and relocates by -n. A range outside the block is fatal.
void ShapeRemove(ShapeBlock* s, uint32_t pos, uint32_t n);
// Adds d to each of the four offsets that is non-zero and not below pos (before version 15
// there is no offset at 0x3C, only section data, and it is left alone).
void ShapeRelocate(uint8_t* b, uint32_t pos, int32_t d);
// Removes the per-point normal block of the polygon at byte position pos, if it has one.
void ShapeDropPointNormals(ShapeBlock* s, uint32_t pos);
// Removes point k of the polygon at byte position pos: its index and its mapping pair. The
// per-point normal block goes first, as it no longer fits the points.
void ShapeRemovePolyPoint(ShapeBlock* s, uint32_t pos, int k);
// The empty shape: version 16, used size 68, empty box, everything else zero.
void ShapeMakeEmpty(uint8_t* b);

// ============================================================================================
// Versions
// ============================================================================================

// Converts a resource holding a checked block to version 16 in place, resizing it as the
// older layouts need ("Unable to resize shape during conversion to current format" is fatal).
// 0, or 1 when the block is refused (damaged, or a version other than 12 to 16); the reason
// goes to the log, and ShapeLastError gives it for the user's message.
int ShapeLoad(ResId id);
const char* ShapeLastError(void);
// The editor's conversion inside a buffer that has room: below 12 the block becomes empty;
// 12 to 15 are converted in place; flags bit 0 is cleared. 0, or 1 when the block is refused
// (damaged within the buffer, newer than 16, or no room to grow; nothing changes) with the
// reason in ShapeLastError. The caller checks the data against its real size with ShapeCheck
// before copying it in: here only the buffer's capacity bounds it.
int ShapeConvertInPlace(ShapeBlock* s);

// ============================================================================================
// Derived values, normals, coordinates
// ============================================================================================

// Bounding box and radius from the vertices (without vertices: the empty box, radius 0).
void ShapeComputeBox(uint8_t* b);
// Lowers the shift while the extents allow it (stored coordinates doubled to match).
void ShapeNormaliseShift(uint8_t* b);
// Box, radius, then shift normalisation.
void ShapeDerive(uint8_t* b);
// The face normal of three world points: the single-precision cross product
// (P1 - P0) x (P2 - P0) divided by its length, times 16384, truncated; (0, 0, 0) for points
// on a line.
void ShapeNormalOfPoints(const int64_t p0[3], const int64_t p1[3], const int64_t p2[3], int16_t out[3]);
// Face normal and planarity bit of one polygon (fewer than 3 points: a zero normal).
void ShapeFaceNormal(uint8_t* b, uint8_t* polygon);
// Every polygon's face normal; polygons with fewer than 3 points are removed first.
void ShapeAllFaceNormals(ShapeBlock* s);
// Writes one world coordinate of a vertex back (axis 0..2), raising the shift when the
// value would pass 12288 << shift in stored units.
void ShapeWriteCoord(uint8_t* b, int vertex, int axis, int32_t value);

// ============================================================================================
// Building
// ============================================================================================

// Appends a vertex (world units, written back as above). Its index, or -1 when refused.
int ShapeAppendVertex(ShapeBlock* s, int32_t x, int32_t y, int32_t z);
// Appends a polygon of n points with flags 0 and no per-point blocks. Its index, or -1.
int ShapeAppendPolygon(ShapeBlock* s, int n, const uint16_t* indices, uint16_t material);
int ShapeAppendPolygonWithNormal(ShapeBlock* s, int n, const uint16_t* indices, uint16_t material);

// ============================================================================================
// Materials
// ============================================================================================

// The render material a name table entry names, comparing the first nameChars characters
// (1 to 16) of the name; IM_NONE when the table has none of that name.
int ShapeNameEntryMaterial(const uint8_t* entry, int nameChars);
// Binds every polygon's material by name through the render-material table, comparing the
// first nameChars characters (SHAPE_NAME_CHARS in the editor). A polygon's name is
// that of the table entry whose id equals its value, else the first whose id has the same
// low 15 bits.
void ShapeBindMaterials(uint8_t* b, int nameChars);
// Rebuilds the material name table from the polygons (at most 100 names) and appends it last.
// 0, or 1 when the block has no room.
int ShapeRebuildNameTable(ShapeBlock* s);
// Binds a bound block again after the render-material table changed: each polygon's material
// is taken by name from the table it was bound to (`previous`: previousCount names of
// IM_NAME_CHARS bytes, as the table's entries hold them), or from the name table when it was
// unresolved, and looked up in the table as it is now. A name the table no longer has leaves
// its polygons unresolved under that name (drawn as the Dummy, saved with it), so that the
// material coming back brings them back. The name table is rebuilt with every name in use.
// 0, or 1 when the block has no room for the name table (the block is then unchanged).
int ShapeRebindMaterials(ShapeBlock* s, const uint8_t* previous, int previousCount);
