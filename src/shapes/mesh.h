// Mesh editing operations: what the Shape Editor's panels, command buttons and 3D view tools do
// to the shape in the edit buffer (ShapeMEdit). Every operation works in place on the shape
// block, saves the undo copy once before it changes anything (a compound operation turns the
// undo flag off for its inner steps and restores it), and leaves the block well formed: an
// edit that would need more room than the buffer has is refused before anything changes.
//
// The selection lives in the block: vertex flags bit 15, polygon flags bit 7. Where an
// operation takes a vertex or polygon index, MESH_SELECTED (-1) means every selected one; an
// index that does not exist does nothing.
//
// Coordinates that move are written back through ShapeWriteCoord, which raises the block's
// coordinate shift when a stored value would pass 12288; operations that move vertices end by
// recomputing the face normals and the derived values (box, radius, shift normalisation).
#pragma once
#include <cstdint>

#include "shapes/shape.h"

enum {
    MESH_SELECTED = -1,
    MESH_X = 0,
    MESH_Y = 1,
    MESH_Z = 2,
    MESH_ALL_AXES = -1,

    MESH_DEGREE = 182,               // angle units per degree, as the dialogs convert them
    MESH_MAX_ANGLE_DEGREES = 180,    // the largest maximum normal angle
    MESH_SCALE_UNIT = 655,           // scale factor per percent (100 % gives 65500)
    MESH_DEFAULT_ANGLE = 0x3800,     // smoothing angle when the header holds 0 (78.75 degrees)
    MESH_SMOOTH_CANDIDATES = 64,     // normals a point smooths over at most
    MESH_COMBINE_DOT = 16368,        // two triangles combine when their normals are this close
    MESH_PICK_DISTANCE = 6,          // pixels in x and in y

    // Mode flags of the view's selection rectangle.
    MESH_RECT_SELECT = 0x2,
    MESH_RECT_DESELECT = 0x8,

    MESH_SPHERE_VERTICES = 42,
    MESH_SPHERE_TRIANGLES = 80,
    MESH_SPHERE_JITTER = 4096,       // Random Sphere80 takes 0..4096 off each unit coordinate
};

// The Sphere80 tables (unit vectors and mapping with 1.0 = 16384; scripts/gen_sphere.py).
extern const int16_t kMeshSphereVertices[MESH_SPHERE_VERTICES][3];
extern const uint16_t kMeshSphereTriangles[MESH_SPHERE_TRIANGLES][3];
extern const int16_t kMeshSphereMapping[MESH_SPHERE_TRIANGLES][6];   // U, V per point

// ============================================================================================
// Whole shape (Object panel and its dialogs)
// ============================================================================================

// Negates one axis of every vertex (16-bit negation) and of every per-point normal, and
// reverses every polygon so that faces keep their outward side.
void MeshMirror(int axis);
// Moves the centre of the bounding box to the origin.
void MeshCentre(void);
// Multiplies coordinates by a percentage: the factor is 655 x p (so 100 % is 65500 / 65536),
// each value v becoming (v x (f >> 2)) >> 14. MESH_ALL_AXES scales uniformly. p = 100,
// p <= 1 and p >= 1000 are ignored; so is a scale whose results would pass the 32-bit range.
void MeshScale(int axis, int percent);
// The maximum normal angle for smoothing, in degrees (header 0x3A holds d x 32768 / 180, and
// 32767 for 180). Setting it recomputes the per-point normals at once; degrees outside 0..180
// are refused. Reading rounds to the nearest degree.
void MeshSetMaxAngle(int degrees);
int MeshMaxAngle(void);
// Per-point normals of every polygon (a polygon without a per-point block gets one): each
// point's normal is the unit sum of the face normals of the polygons that share its vertex
// and lie within the maximum normal angle (at most 64; of two opposite ones the one further
// from the polygon's own normal is dropped). Run by the shape manager on every save.
// 0, or 1 when the block has no room for the per-point blocks (nothing changes).
int MeshSmoothAll(ShapeBlock* s);

// Create Object: the edit buffer becomes a Sphere80 (or Random Sphere80, each unit coordinate
// less 0..4096 drawn from random stream 0) of these sizes, with the current material and the
// sphere's mapping, prepared for writing. Sizes below 1 are refused. 0, or 1 when refused.
int MeshCreateSphere(int32_t sizeX, int32_t sizeY, int32_t sizeZ, int random);
// Create Object's Cuboid: the edit buffer becomes a box of these three edge lengths centred on
// the origin: 8 vertices and 6 outward-facing quads of the current material, prepared for
// writing. 0, or 1 when refused.
int MeshCreateCuboid(int32_t sizeX, int32_t sizeY, int32_t sizeZ);

// ============================================================================================
// Selected mesh (Mesh Transform)
// ============================================================================================

// Cuts the selection loose: the vertices of selected polygons become selected, and unselected
// polygons that use selected vertices are redirected to unselected vertices at the same
// positions (the first found, else a new one), so that moving the selection leaves them in
// place. 0, or 1 when the new vertices would not fit (nothing changes).
int MeshCutLoose(void);
// The centre of the selected vertices' box, (min + max) / 2 per axis. 1, or 0 when no vertex
// is selected (out untouched).
int MeshSelectionCentre(int32_t out[3]);

// The Mesh Transform steps, each one undo step: cut loose, then move the selected vertices.
// Rescale: percentage as for MeshScale, about the selection centre. Pitch, Roll and Yaw turn
// about the X, Z and Y axes through the selection centre by d degrees (angle 182 x d), used
// only when 0 < d < 360. Reflect negates one axis about the origin and reverses the selected
// polygons. A step whose results would pass the 32-bit range is refused.
void MeshRescaleSelection(int percent);
void MeshPitch(int degrees);
void MeshRoll(int degrees);
void MeshYaw(int degrees);
void MeshReflect(int axis);
// The dialog's "Ok": Rescale, Pitch, Roll, Yaw, then Reflect X, Y, Z for the bits 1, 2, 4 of
// reflectAxes, as one undo step (Undo gives back the shape from before the whole transform).
// Pass 100 and 0 for fields that are not used.
void MeshTransform(int rescale, int pitch, int roll, int yaw, int reflectAxes);

// ============================================================================================
// Polygons
// ============================================================================================

void MeshDeletePolygon(int polygon);
// Deletes a vertex that no polygon uses and that has no point name (others stay), lowering
// the higher indices in every polygon. MESH_SELECTED tries every selected vertex once.
void MeshDeleteVertex(int vertex);
// The "Del" command: the selected polygons, then the selected vertices, as one undo step.
void MeshDeleteSelection(void);
void MeshSetMaterial(int polygon, int material);
void MeshToggleHidden(int polygon);
void MeshToggleMarked(int polygon);
// Inserts a reversed copy (without per-point normals) directly after the polygon; with
// MESH_SELECTED every selected polygon is doubled once. Refused as a whole without room.
void MeshDouble(int polygon);
// Reverses the point order (indices, mapping, per-point normals) and recomputes the face
// normal.
void MeshInvert(int polygon);
// Combines two triangles that share an edge into a quad (first triangle's points from the one
// off the shared edge, the second's far point between the edge's two). 0 when combined; 1
// when refused: missing, the same, not triangles, different materials, normals further apart
// than MESH_COMBINE_DOT, or no shared edge (with mapping on both, equal at the edge too).
int MeshCombine(int first, int second);
// Flattens a quad: the chosen point (a vertex of it, or MESH_SELECTED for its fourth point)
// is projected onto the plane of the other three.
void MeshFlatten(int polygon, int vertex);
// Removes the first point of the polygon that uses the vertex (with its mapping pair; the
// polygon's per-point normals go). A polygon left with fewer than 3 points is removed.
void MeshRemovePoint(int polygon, int vertex);
// Mapping coordinates of a polygon: copies its n U, V pairs into out (room for 2n values) and
// gives 1; 0 when it has no mapping block or there is no such polygon (out untouched).
int MeshGetMapping(int polygon, int16_t* out);
// Sets them from n U, V pairs, creating the mapping block (behind the point indices and any
// per-point normals) when the polygon has none; null removes the block. 0, or 1 when refused:
// no such polygon, or no room for a new block (nothing changes).
int MeshSetMapping(int polygon, const int16_t* uv);
// The "Pln" command: projects the vertex (or each selected vertex) onto the plane of the
// polygon (or the single selected polygon) along the polygon's face normal.
void MeshPlane(int vertex, int polygon);

// ============================================================================================
// Vertices
// ============================================================================================

// With exactly two selected vertices A < B: A takes B's position and flags, every use of B
// becomes A, and B is deleted unless it has a point name. Otherwise nothing happens.
void MeshMerge(void);
// Appends a vertex halfway between two vertices (or, with MESH_SELECTED for both, the two
// selected ones; nothing unless exactly two are). Its index, or -1.
int MeshInterpolate(int a, int b);
// Adds a delta to one axis of a vertex (or of every selected vertex). A single vertex
// recomputes normals and derived values at once; a selection is finished by MeshMoveDone when
// the view's move ends.
void MeshMove(int vertex, int axis, int32_t delta);
void MeshMoveDone(void);
// Moves every vertex so that this one (or the single selected one) lands on the origin; Centre
// Y does so along Y only. Values that leave the 16-bit stored range go through the write-back
// rule. Derived values are left to the next save.
void MeshCentreOn(int vertex);
void MeshCentreYOn(int vertex);
// "X0": X becomes 0 for the vertex or each selected vertex.
void MeshSetXZero(int vertex);
// PlaneXZ: the selected vertices move onto the horizontal plane through this vertex (their Y
// becomes its Y), as one undo step.
void MeshPlaneXZ(int vertex);
void MeshSetPosition(int vertex, int32_t x, int32_t y, int32_t z);
// Point names: four characters, the first in the most significant byte; a-z are stored
// upper-cased; 0 = none.
void MeshSetPointName(int vertex, uint32_t name);
uint32_t MeshPointName(int vertex);

// ============================================================================================
// Selection and picking
// ============================================================================================

void MeshSelectAllPolygons(int on);
void MeshSelectAllVertices(int on);
void MeshInvertPolygonSelection(void);
void MeshSelectPolygon(int polygon, int on);
void MeshSelectVertex(int vertex, int on);
int MeshSelectedPolygonCount(void);
int MeshSelectedVertexCount(void);
// The lowest-numbered selected polygon, or -1 when none is selected.
int MeshFirstSelectedPolygon(void);

// Where the view drew a vertex: screen position, the view's depth of the transformed vertex,
// and whether it projected onto the screen at all.
struct MeshScreenVertex {
    int32_t x, y;
    int32_t depth;
    int onScreen;
};
// Run by the 3D view while it draws the edited shape, with one entry per vertex. The picked
// vertex: of those within 6 pixels of the pointer in x and in y, the one with the smallest
// depth; -1 when none. When the mode flags report a selection rectangle (MESH_RECT_SELECT or
// MESH_RECT_DESELECT; rect = x0, y0, x1, y1 in either order), every vertex inside it (edges
// included) loses its selected bit and gets it back with MESH_RECT_SELECT.
int MeshPick(const MeshScreenVertex* vertices, int count, int32_t pointerX, int32_t pointerY, uint32_t modeFlags,
             const int32_t rect[4]);
