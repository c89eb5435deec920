// The net builders: the monorail (track segments and pylons made in the shape manager's edit
// buffer, written as temporary shape files and placed as net shapes), removing the shapes of a
// net, and the walkway and tunnel requests.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/files.h"
#include "base/log.h"
#include "base/maths.h"
#include "base/res.h"
#include "materials/intmat.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"
#include "world/net.h"
#include "world/terrain.h"
#include "world/wle.h"
#include "world/worldm.h"

static const char kMonorailKind = 'R';

// The track: six triangles over the corners a, b, c of its start (0 to 2) and end (4 to 6)
// cross-sections, joined pairwise into quadrilaterals. Corner d (3 and 7) takes part in none.
static const uint16_t kTrackPairs[3][2][3] = {
    {{0, 4, 5}, {0, 5, 1}},
    {{0, 6, 4}, {2, 6, 0}},
    {{1, 5, 6}, {1, 6, 2}},
};
enum { TRACK_CORNERS = 4, PYLON_POINTS = 18 };

// The pylon's polygons over its 18 points: quadrilaterals, triangle pairs, the column top (the
// only one with the light material) and the arm.
static const uint16_t kPylonQuads[4][4] = {{6, 7, 8, 9}, {13, 12, 11, 10}, {8, 12, 13, 9}, {11, 7, 6, 10}};
static const uint16_t kPylonPairs[4][2][3] = {
    {{9, 13, 15}, {9, 15, 14}},
    {{6, 9, 14}, {6, 14, 16}},
    {{6, 16, 17}, {6, 17, 10}},
    {{13, 10, 17}, {13, 17, 15}},
};
static const uint16_t kPylonTop[4] = {11, 12, 8, 7};

// The pylon's points relative to its position: a horizontal offset made of the arm vector K,
// the column depth A (both along S), the column half-length Hd and the arm half-thickness Hq
// (both along H), each taken -1, 0 or 1 times, at one of five heights.
enum { PH_ARM_TOP, PH_ARM_LOW, PH_ZERO, PH_HALF, PH_GROUND, PH_COUNT };
struct PylonPoint {
    int8_t k, a, hd, hq;
    int height;
};
static const PylonPoint kPylonPoints[PYLON_POINTS] = {
    // The arm from the column top to the track.
    {0, 0, 0, 0, PH_ARM_TOP}, {0, 0, 0, -1, PH_ARM_LOW}, {0, 0, 0, 1, PH_ARM_LOW},
    {1, 0, 0, 0, PH_ARM_TOP}, {1, 0, 0, -1, PH_ARM_LOW}, {1, 0, 0, 1, PH_ARM_LOW},
    // The column.
    {0, 0, -1, 0, PH_ZERO}, {0, 0, -1, 0, PH_HALF}, {0, -1, -1, 0, PH_HALF}, {0, -1, -1, 0, PH_ZERO},
    {0, 0, 1, 0, PH_ZERO}, {0, 0, 1, 0, PH_HALF}, {0, -1, 1, 0, PH_HALF}, {0, -1, 1, 0, PH_ZERO},
    // The foot on the ground.
    {1, 0, -1, 0, PH_GROUND}, {1, 0, 1, 0, PH_GROUND}, {1, 1, -1, 0, PH_GROUND}, {1, 1, 1, 0, PH_GROUND},
};
static const uint16_t kPylonArm[3][4] = {{0, 1, 4, 3}, {0, 3, 5, 2}, {4, 1, 2, 5}};

// One build's state.
static struct {
    int32_t half;          // the track's lateral and vertical half-size
    int32_t quarter;       // half / 4: the arm's half-thickness
    int32_t depth, minLink, spacing;
    uint32_t snap;
    int64_t accumulator;
    int first;
    int64_t ends[TRACK_CORNERS][3];   // the last segment's end cross-section
    int nextFile;          // file names below this one were taken earlier in the build
    std::vector<uint8_t> taken;   // per counter: a net shape file of that name was in the folder
    int tracks, pylons;
    int rehearsal;         // the first walk: every shape made and checked, nothing written or placed
    uint32_t cells[3];     // the world's cell grid, which every shape must lie in
    uint32_t exponent;
    uint16_t node;         // the link being built (its node and forward node), for the message
    uint16_t fwd;
    // The shapes made, waiting to be written in one batch and then placed in the world.
    struct Made {
        char name[NET_FILE_NAME_SIZE];
        int32_t at[3];
        std::vector<uint8_t> data;
    };
    std::vector<Made> made;
    std::vector<uint32_t> nodeAt;   // per node id: its packet's offset + 1 (0: none), while walking
} mono;

static WorldMMessage message;

const char* NetBuildMessage(void) { return message.text; }

// The nodes' places in the image, found once for the walks, which change nothing in it:
// finding a node by its id is otherwise a walk over every packet, and a net of a thousand
// nodes looks its nodes up several thousand times.
static void IndexNodes(void)
{
    mono.nodeAt.assign(65536, 0);
    uint8_t* image = WorldMImage();
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p)) {
        uint16_t id = GetU16(p, WP_TYPE) == WP_NODE ? GetU16(p, WN_ID) : 0;
        // As NetNode finds it: the first node of an id.
        if (id && !mono.nodeAt[id]) mono.nodeAt[id] = (uint32_t)(p - image) + 1;
    }
}

// A node by its id: from the index while there is one, else as NetNode finds it.
static uint8_t* WalkNode(uint16_t id)
{
    if (mono.nodeAt.empty()) return NetNode(id);
    uint32_t at = mono.nodeAt[id];
    return at ? WorldMImage() + at - 1 : nullptr;
}

// "Node 3 at (1000, 4096, 2000)": the user finds a node by its place.
static void NodeText(uint16_t id, char* out, size_t size)
{
    int32_t p[3] = {0, 0, 0};
    if (const uint8_t* n = WalkNode(id)) NetNodePos(n, p);
    snprintf(out, size, "Node %u at (%d, %d, %d)", id, p[0], p[1], p[2]);
}

// ============================================================================================
// Vector helpers
// ============================================================================================

// The shared normalising routine on a difference of two positions (which may pass the 32-bit
// range): the 2.14 unit vector and the truncated length.
static int64_t Normalise(const int64_t v[3], int16_t out[3])
{
    bool fits = true;
    for (int i = 0; i < 3; i++) fits = fits && v[i] >= INT32_MIN && v[i] <= INT32_MAX;
    if (fits) {
        UnitVector((int32_t)v[0], (int32_t)v[1], (int32_t)v[2], out);
        if (v[0] == 0 && v[2] == 0) return v[1] < 0 ? -v[1] : v[1];
        return IntSqrt((uint64_t)(v[0] * v[0]) + (uint64_t)(v[1] * v[1]) + (uint64_t)(v[2] * v[2]));
    }
    double len = std::sqrt((double)v[0] * v[0] + (double)v[1] * v[1] + (double)v[2] * v[2]);
    for (int i = 0; i < 3; i++) out[i] = (int16_t)(int32_t)(v[i] * 16384.0 / len);
    return (int64_t)len;
}

// A 2.14 unit vector times a length: ((u x len) >> 14) per component.
static void Scale(const int16_t u[3], int64_t len, int64_t out[3])
{
    for (int i = 0; i < 3; i++) out[i] = ((int64_t)u[i] * len) >> FIX_SHIFT;
}

static int32_t Snap(int64_t v) { return (int32_t)((uint32_t)(int32_t)v & mono.snap); }

// ============================================================================================
// Net numbers and shape files
// ============================================================================================

int NetNumber(void)
{
    uint8_t* image = WorldMImage();
    if (!image) return 0;
    static NetSeen used;
    memset(&used, 0, sizeof used);
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p))
        if (GetU16(p, WP_TYPE) == WP_SHAPE && (GetU16(p, WS_FLAGS) & WSF_NET_SHAPE)) NetVisit(&used, GetU16(p, WS_NET));
    for (int n = 1; n < 65536; n++)
        if (NetVisit(&used, (uint16_t)n)) return n;
    return 0;
}

static void FormatName(char kind, int counter, char out[NET_FILE_NAME_SIZE])
{
    snprintf(out, NET_FILE_NAME_SIZE, "W~%c%05u.SHP", kind, (unsigned)counter % NET_FILE_COUNT);
}

int NetShapeFileName(char kind, int start, char out[NET_FILE_NAME_SIZE])
{
    for (int i = start < 0 ? 0 : start; i < NET_FILE_COUNT; i++) {
        FormatName(kind, i, out);
        if (!FileExists(out)) return i;
    }
    out[0] = 0;
    return -1;
}

// Marks the counter of a monorail shape file found in the folder (any letter case, as the
// file layer finds names).
static void NoteTaken(const char* name, int isFolder, void*)
{
    char upper[NET_FILE_NAME_SIZE];
    size_t n = strlen(name);
    if (n != NET_FILE_NAME_SIZE - 1) return;
    for (size_t i = 0; i <= n; i++) upper[i] = name[i] >= 'a' && name[i] <= 'z' ? (char)(name[i] - 32) : name[i];
    (void)isFolder;   // a folder of that name blocks the name as well
    if (NetIsShapeFileName(upper)) mono.taken[atoi(upper + 3)] = 1;
}

int NetIsShapeFileName(const char* name)
{
    if (!name || strlen(name) != 12 || strncmp(name, "W~R", 3) || strcmp(name + 8, ".SHP")) return 0;
    for (int i = 3; i < 8; i++)
        if (name[i] < '0' || name[i] > '9') return 0;
    return 1;
}

// The cleaned-up edit buffer placed at a position must lie in the world's cell grid, or the
// runtime save refuses it: 0, or NET_ERR_OUTSIDE_GRID with the message naming the link's node
// and what to do.
static int CheckInGrid(const int32_t at[3], const char* part)
{
    const uint8_t* b = ShapeMEdit()->data;
    int count = ShapeVertexCount(b);
    int64_t lo[3] = {INT64_MAX, INT64_MAX, INT64_MAX}, hi[3] = {INT64_MIN, INT64_MIN, INT64_MIN};
    for (int i = 0; i < count; i++) {
        int32_t v[3];
        ShapeVertexPos(b, i, v);
        for (int a = 0; a < 3; a++) {
            lo[a] = std::min(lo[a], (int64_t)at[a] + v[a]);
            hi[a] = std::max(hi[a], (int64_t)at[a] + v[a]);
        }
    }
    char node[80];
    NodeText(mono.node, node, sizeof node);
    // Y first: a net laid out in a view without height lies too low, and raising it is the cure.
    for (int a : {1, 0, 2}) {
        // A box that ends on the grid's far boundary is still inside (as the runtime save cuts).
        __int128 whole = (__int128)mono.cells[a] * ((__int128)WLE_CELL_UNIT << mono.exponent);
        int64_t end = whole > INT64_MAX ? INT64_MAX : (int64_t)whole;
        const char axis = "XYZ"[a];
        if (lo[a] < 0 && a == 1) {
            message.Set("%s: the monorail's %s would reach below the cell grid (to Y %lld). Raise the nodes and build "
                        "again.",
                        node, part, (long long)lo[a]);
        } else if (hi[a] > end && a == 1) {
            message.Set("%s: the monorail's %s would reach above the cell grid (to Y %lld, the grid ends at %lld). "
                        "Lower the nodes and build again.",
                        node, part, (long long)hi[a], (long long)end);
        } else if (lo[a] < 0 || hi[a] > end) {
            message.Set("%s: the monorail's %s would reach outside the cell grid (to %c %lld, the grid runs from 0 to "
                        "%lld). Move the nodes into the grid and build again.",
                        node, part, axis, (long long)(lo[a] < 0 ? lo[a] : hi[a]), (long long)end);
        } else {
            continue;
        }
        return NET_ERR_OUTSIDE_GRID;
    }
    return 0;
}

// The edit buffer, cleaned up, checked against the cell grid, finished and written to the next
// free net shape file, then placed at the position as a net shape of the net. 0 or an error;
// on an error nothing of this shape is left behind. The rehearsal walk stops after the check.
static int PlaceShape(int net, const int32_t at[3], const char* part)
{
    ShapeMOptimise(1);
    if (int r = CheckInGrid(at, part)) return r;
    if (mono.rehearsal) return 0;
    PutU16(ShapeMEdit()->data, SH_MAXANGLE, MONO_SMOOTH_ANGLE);
    ResId id;
    uint32_t size;
    if (ShapeMPrepareForWriting(&id, &size)) return WORLD_ERR_MEMORY;
    char name[NET_FILE_NAME_SIZE];
    int counter = mono.nextFile;
    if (mono.taken.empty()) {
        counter = NetShapeFileName(kMonorailKind, counter, name);
    } else {
        while (counter < NET_FILE_COUNT && mono.taken[counter]) counter++;
        if (counter < NET_FILE_COUNT) FormatName(kMonorailKind, counter, name);
    }
    if (counter < 0 || counter >= NET_FILE_COUNT) return WORLD_ERR_TOO_MANY_NET_SHAPES;
    mono.nextFile = counter + 1;
    auto& m = mono.made.emplace_back();
    memcpy(m.name, name, sizeof m.name);
    for (int a = 0; a < 3; a++) m.at[a] = at[a];
    m.data.assign(ShapeMEdit()->data, ShapeMEdit()->data + size);
    (void)net;
    return 0;
}

// The shapes made, written as one batch (each file whole or not at all, one wait for the
// disk), then placed as net shapes of the net: the world never names a file that is not on
// the disk. 0 or an error; on an error the files of the batch are gone again.
static int WriteAndPlace(int net)
{
    std::vector<FileWriteItem> items;
    for (const auto& m : mono.made) items.push_back({m.name, m.data.data(), m.data.size(), 0});
    if (int bad = FileWriteGroup(items.data(), (int)items.size())) {
        LogPrintf(LOG_ERROR, "WORLD: cannot write the net shape file %s", items[(size_t)bad - 1].name);
        return WORLD_ERR_SAVE_SHP;
    }
    for (size_t i = 0; i < mono.made.size(); i++) {
        const auto& m = mono.made[i];
        // A resource of this name may still hold an earlier file's shape.
        if (ResId old = ResFindName(m.name)) ResFree(old);
        uint32_t end = WorldMEndOfData();
        int shape = WorldMAddShape(m.name, m.at[0], m.at[1], m.at[2], 0);
        if (shape < 0) {
            // Those placed go with the net; the rest of the batch goes here.
            std::vector<const char*> rest;
            for (size_t k = i; k < mono.made.size(); k++) {
                if (ResId made = ResFindName(mono.made[k].name)) ResFree(made);
                rest.push_back(mono.made[k].name);
            }
            FileDeleteGroup(rest.data(), (int)rest.size());
            return shape;
        }
        // Appended at the end of the data; found by its ID only should that ever change.
        uint8_t* p = WorldMImage() + end;
        if (GetU16(p, WP_TYPE) != WP_SHAPE || GetU16(p, WS_ID) != (uint16_t)shape) p = WorldMShapeFindData((uint16_t)shape);
        PutU16(p, WS_FLAGS, (uint16_t)(GetU16(p, WS_FLAGS) | WSF_NET_SHAPE));
        PutU16(p, WS_NET, (uint16_t)net);
    }
    return 0;
}

// A point of a shape being built: its position relative to the shape's (snapped) origin.
static int AddPoint(const int64_t p[3], const int32_t origin[3])
{
    return ShapeAppendVertex(ShapeMEdit(), Snap(p[0]) - origin[0], Snap(p[1]) - origin[1], Snap(p[2]) - origin[2]);
}

static int AddPolygon(const uint16_t* indices, int n, int material)
{
    return ShapeAppendPolygonWithNormal(ShapeMEdit(), n, indices, (uint16_t)material) < 0 ? WORLD_ERR_MEMORY : 0;
}

// Two triangles that share an edge (in opposite directions) as one quadrilateral: the second's
// far point goes between the ends of the shared edge.
static int AddPair(const uint16_t pair[2][3], int material)
{
    const uint16_t* t = pair[0];
    const uint16_t* u = pair[1];
    for (int e = 0; e < 3; e++) {
        uint16_t from = t[e], to = t[(e + 1) % 3];
        for (int k = 0; k < 3; k++)
            if (u[k] == to && u[(k + 1) % 3] == from) {
                uint16_t quad[4];
                for (int j = 0, q = 0; j < 3; j++) {
                    quad[q++] = t[j];
                    if (j == e) quad[q++] = u[(k + 2) % 3];
                }
                return AddPolygon(quad, 4, material);
            }
    }
    FatalError("AddPair - the triangles share no edge");
}

// ============================================================================================
// One link
// ============================================================================================

// The pylon beside the segment with midpoint m over ground g, on the -S side, halfway between
// the ground and the track; hh is half that height.
static int AddPylon(int net, const int32_t m[3], int32_t g, const int16_t s[3], const int16_t h[3], int support,
                    int light)
{
    int64_t w[3], a[3], k[3], hd[3], hq[3];
    Scale(s, mono.half, w);
    Scale(s, mono.depth, a);
    Scale(s, mono.quarter + mono.minLink, k);
    Scale(h, mono.depth / 2, hd);
    Scale(h, mono.quarter, hq);
    int64_t hh = ((int64_t)m[1] - g) / 2;
    int32_t p[3];
    for (int i = 0; i < 3; i++) p[i] = Snap((int64_t)m[i] - k[i] - w[i]);
    p[1] = Snap((int64_t)m[1] - k[1] - w[1] + mono.half / 2 - hh);

    const int64_t heights[PH_COUNT] = {hh - mono.quarter, hh - 4 * mono.quarter, 0, hh, -hh};
    ShapeMNew();
    for (const PylonPoint& pt : kPylonPoints) {
        int64_t at[3] = {p[0], p[1] + heights[pt.height], p[2]};
        for (int i = 0; i < 3; i += 2) at[i] += pt.k * k[i] + pt.a * a[i] + pt.hd * hd[i] + pt.hq * hq[i];
        if (AddPoint(at, p) < 0) return WORLD_ERR_MEMORY;
    }
    int r = 0;
    for (const auto& quad : kPylonQuads) r = r ? r : AddPolygon(quad, 4, support);
    for (const auto& pair : kPylonPairs) r = r ? r : AddPair(pair, support);
    r = r ? r : AddPolygon(kPylonTop, 4, light);
    for (const auto& quad : kPylonArm) r = r ? r : AddPolygon(quad, 4, support);
    if (r) return r;
    r = PlaceShape(net, p, "pylon");
    if (!r) mono.pylons++;
    return r;
}

// Moves a corner along the line towards its start corner onto the plane through f with normal
// e. A line that runs along the plane keeps the corner where it is.
static void OntoPlane(int64_t corner[3], const int64_t start[3], const int32_t f[3], const int16_t e[3])
{
    double num = 0, den = 0;
    for (int i = 0; i < 3; i++) {
        num += ((double)f[i] - (double)corner[i]) * e[i];
        den += ((double)start[i] - (double)corner[i]) * e[i];
    }
    if (den == 0) return;
    // Rounded: a corner that lands on a whole position in exact arithmetic stays there.
    double t = num / den;
    for (int i = 0; i < 3; i++) corner[i] += std::llround(t * ((double)start[i] - (double)corner[i]));
}

// The track segment (and maybe a pylon) of the link from node N to its previous node F.
static int AddMonorailShape(int net, uint16_t nodeId, int track, int support, int light)
{
    uint8_t* node = WalkNode(nodeId);
    uint8_t* fwd = node ? WalkNode(GetU16(node, WN_PREV)) : nullptr;
    if (!fwd) return WORLD_ERR_PARENT_MISSING;
    mono.node = nodeId;
    mono.fwd = GetU16(fwd, WN_ID);
    char text[80];
    int32_t n[3], f[3];
    NetNodePos(node, n);
    NetNodePos(fwd, f);
    int64_t d[3];
    for (int i = 0; i < 3; i++) d[i] = (int64_t)f[i] - n[i];
    int16_t u[3];
    int64_t len = Normalise(d, u);
    if (len < mono.minLink) {
        NodeText(nodeId, text, sizeof text);
        message.Set("%s: the link to node %u is %lld long, shorter than %d. Move the nodes further apart and build "
                    "again.",
                    text, mono.fwd, (long long)len, mono.minLink);
        return WORLD_ERR_NODE_TOO_SHORT;
    }
    mono.accumulator += len;

    int16_t s[3], h[3];
    UnitVector(-u[2], 0, u[0], s);
    UnitVector(u[0], 0, u[2], h);
    int64_t w[3], half[3], far[3];
    Scale(s, mono.half, w);
    Scale(u, len / 2, half);
    Scale(u, len * 3 / 4, far);
    int32_t m[3], fs[3];
    for (int i = 0; i < 3; i++) {
        m[i] = Snap(((int64_t)n[i] + f[i]) >> 1);
        fs[i] = Snap(f[i]);
    }

    // The end plane: square to the link, or halfway into the next link's direction when the
    // chain turns. A chain that doubles back has no halfway direction and ends square.
    int16_t e[3] = {(int16_t)-u[0], (int16_t)-u[1], (int16_t)-u[2]};
    if (uint8_t* g = WalkNode(GetU16(fwd, WN_PREV))) {
        int32_t gp[3];
        NetNodePos(g, gp);
        int64_t d2[3];
        for (int i = 0; i < 3; i++) d2[i] = (int64_t)gp[i] - f[i];
        int16_t u2[3];
        Normalise(d2, u2);
        int16_t dot = (int16_t)(((int32_t)u[0] * u2[0] + (int32_t)u[1] * u2[1] + (int32_t)u[2] * u2[2]) >> FIX_SHIFT);
        if ((u2[0] != u[0] || u2[1] != u[1] || u2[2] != u[2]) && dot <= MONO_STRAIGHT_DOT) {
            int16_t bisect[3];
            UnitVector(-((u[0] + u2[0]) / 2), -((u[1] + u2[1]) / 2), -((u[2] + u2[2]) / 2), bisect);
            if (bisect[0] || bisect[1] || bisect[2]) memcpy(e, bisect, sizeof e);
        }
    }

    int32_t ground = 0;
    if (!TerrainGroundHeight(m[0], m[2], &ground)) ground = 0;
    if (m[1] < ground) {
        NodeText(nodeId, text, sizeof text);
        message.Set("%s: the track to node %u runs below the ground (at Y %d, the ground at %d). Raise the nodes and "
                    "build again.",
                    text, mono.fwd, m[1], ground);
        return WORLD_ERR_NODE_TOO_LOW;
    }

    // Corners a, b, c, d as (lateral, vertical): (-W, +T), (-W, -T), (+W, -T), (+W, +T).
    static const int kLateral[TRACK_CORNERS] = {-1, -1, 1, 1};
    static const int kVertical[TRACK_CORNERS] = {1, -1, -1, 1};
    int64_t start[TRACK_CORNERS][3], end[TRACK_CORNERS][3];
    for (int c = 0; c < TRACK_CORNERS; c++)
        for (int i = 0; i < 3; i++) {
            int64_t side = kLateral[c] * w[i] + (i == 1 ? kVertical[c] * (int64_t)mono.half : 0);
            start[c][i] = mono.first ? m[i] - half[i] + side : mono.ends[c][i];
            end[c][i] = m[i] + far[i] + side;
        }
    for (int c = 0; c < TRACK_CORNERS; c++) OntoPlane(end[c], start[c], fs, e);

    ShapeMNew();
    for (int c = 0; c < TRACK_CORNERS; c++)
        if (AddPoint(start[c], m) < 0) return WORLD_ERR_MEMORY;
    for (int c = 0; c < TRACK_CORNERS; c++)
        if (AddPoint(end[c], m) < 0) return WORLD_ERR_MEMORY;
    for (const auto& pair : kTrackPairs)
        if (int r = AddPair(pair, track)) return r;
    memcpy(mono.ends, end, sizeof end);
    mono.first = 0;
    if (int r = PlaceShape(net, m, "track")) return r;
    mono.tracks++;

    if (mono.accumulator > mono.spacing) {
        mono.accumulator -= mono.spacing;
        return AddPylon(net, m, ground, s, h, support, light);
    }
    return 0;
}

// ============================================================================================
// The build
// ============================================================================================

static int Close(ProgressFn progress) { return progress ? progress(PROGRESS_DONE) : 0; }

// What a walk starts from: the first link's flag, the pylon distance, the file counter.
static void StartWalk(int rehearsal, int32_t spacing)
{
    mono.rehearsal = rehearsal;
    mono.accumulator = spacing;
    mono.first = 1;
    mono.nextFile = 0;
    mono.tracks = mono.pylons = 0;
    memset(mono.ends, 0, sizeof mono.ends);
}

// From the start node along previous links: the shapes of every link that has a previous node,
// until the walk comes back to a node it has been to. 0, or the first error.
static int Walk(int net, uint16_t startId, int count, const int materials[3], ProgressFn progress)
{
    static NetSeen seen;
    memset(&seen, 0, sizeof seen);
    int index = 0;
    for (uint16_t id = startId; id && NetVisit(&seen, id); index++) {
        uint8_t* n = WalkNode(id);
        if (!n) break;
        uint16_t prev = GetU16(n, WN_PREV);
        if (!prev) break;
        if (progress && progress((uint32_t)((int64_t)index * PROGRESS_DONE / count)) > 0) return WORLD_ERR_ABORTED;
        if (int r = AddMonorailShape(net, id, materials[0], materials[1], materials[2])) return r;
        id = prev;
    }
    return 0;
}

int WorldMBuildMonorail(int trackMaterial, int supportMaterial, int lightMaterial, int32_t width, int32_t depth,
                        int32_t minLink, int32_t spacing, ProgressFn progress)
{
    message.text[0] = 0;
    uint8_t* image = WorldMImage();
    int net = image && WorldMFirstPacket(image) ? NetNumber() : 0;
    if (!net) {
        Close(progress);
        return WORLD_ERR_TOO_MANY_NET_SHAPES;
    }
    WorldMUndoSnapshot();
    int undoWas = WorldMUndoOn();
    WorldMSetUndo(0);
    // The shapes are made in the edit buffer; its own undo copy is left alone.
    int shapeUndoWas = ShapeMUndoOn();
    ShapeMSetUndo(0);

    uint32_t e = GetU32(image, WLE_CELL_EXPONENT);
    mono = {};
    mono.snap = e >= 32 ? 0 : ~0u << e;
    mono.exponent = e > WLE_MAX_EXPONENT ? (uint32_t)WLE_MAX_EXPONENT : e;
    mono.cells[0] = GetU32(image, WLE_CELLS_X);
    mono.cells[1] = GetU32(image, WLE_CELLS_Y);
    mono.cells[2] = GetU32(image, WLE_CELLS_Z);
    mono.half = (int32_t)(((int64_t)(width >> 1) * MONO_HALF_SCALE) >> FIX_SHIFT);
    mono.quarter = mono.half / 4;
    mono.depth = depth;
    mono.minLink = minLink;
    mono.spacing = spacing;
    // One look at the folder instead of a search for every name: a name that is not there
    // costs the file layer a scan of the whole folder, and a net has many shapes.
    mono.taken.assign(NET_FILE_COUNT, 0);
    if (FileListFolder(".", NoteTaken, nullptr)) mono.taken.clear();

    IndexNodes();
    int result = 0;
    uint8_t* s = WorldMFirstSelectedNode();
    uint16_t startId = s ? GetU16(s, WN_ID) : 0;
    // A start without a previous node would build nothing and call it a success.
    if (!startId || !GetU16(s, WN_PREV)) result = WORLD_ERR_NODES_REQUIRED;

    const int materials[3] = {trackMaterial, supportMaterial, lightMaterial};
    if (!result) {
        static NetSeen seen;
        memset(&seen, 0, sizeof seen);
        int count = 0;
        for (uint8_t* n = s; n && NetVisit(&seen, GetU16(n, WN_ID)); n = WalkNode(GetU16(n, WN_PREV))) count++;
        // Every shape is made and checked before the first file is written: a net that cannot
        // be built whole (too short, too low, outside the grid) leaves the folder as it was.
        StartWalk(1, spacing);
        result = Walk(net, startId, count, materials, nullptr);
        if (!result) {
            StartWalk(0, spacing);
            result = Walk(net, startId, count, materials, progress);
        }
        // The image changes from here on: nodes are found by NetNode again.
        mono.nodeAt = {};
        if (!result) result = WriteAndPlace(net);
        mono.made = {};
    }
    mono.nodeAt = {};
    if (result) {
        LogPrintf(LOG_INFO, "WORLD: monorail build of net %d failed (%d): %s", net, result,
                  message.text[0] ? message.text : WorldMErrorText(result));
        WorldMRemoveNet(net);
    } else {
        LogPrintf(LOG_INFO, "WORLD: monorail net %d: %d track segments, %d pylons", net, mono.tracks, mono.pylons);
    }
    Close(progress);
    ShapeMSetUndo(shapeUndoWas);
    WorldMSetUndo(undoWas);
    WorldMResolveShapes();
    return result;
}

// ============================================================================================
// Removing net shapes
// ============================================================================================

// Removes one net shape; its file (only when it is named as a net shape file) is noted for
// deletion with the others of the net, and its resource goes.
static void RemoveNetShape(uint8_t* p, std::vector<std::string>& files)
{
    if (GetU16(p, WS_HANDLE)) {
        const char* name = WorldMShapeFileName(p + WS_FILE);
        if (NetIsShapeFileName(name)) {
            // By name: a handle kept over an undo may name another resource by now.
            if (ResId id = ResFindName(name)) ResFree(id);
            files.push_back(name);
        }
    }
    WorldMRemoveBytes((uint32_t)(p - WorldMImage()), WP_SHAPE_SIZE);
}

// The noted files, deleted together with one flush of the folder.
static void DeleteFiles(const std::vector<std::string>& files)
{
    std::vector<const char*> names;
    for (const std::string& f : files) names.push_back(f.c_str());
    if (FileDeleteGroup(names.data(), (int)names.size()))
        LogPrintf(LOG_WARN, "WORLD: some of the %d net shape files could not be deleted", (int)names.size());
}

static bool IsNetShapeOf(const uint8_t* p, int net)
{
    return GetU16(p, WP_TYPE) == WP_SHAPE && (GetU16(p, WS_FLAGS) & WSF_NET_SHAPE) && GetU16(p, WS_NET) == net;
}

// The next net shape of the net from a packet on (the start of the image when null), or null.
static uint8_t* FindNetShape(int net, uint8_t* from = nullptr)
{
    uint8_t* image = WorldMImage();
    for (uint8_t* p = from ? from : WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p))
        if (IsNetShapeOf(p, net)) return p;
    return nullptr;
}

// The next net shape once the one at this offset has gone: packets after it have moved down
// into its place, those before it hold none.
static uint8_t* NextAfterRemoval(int net, uint32_t offset)
{
    uint8_t* image = WorldMImage();
    if (!image || offset >= WorldMEndOfData()) return nullptr;
    return FindNetShape(net, image + offset);
}

int WorldMRemoveNet(int net)
{
    if (!WorldMImage() || net <= 0) return 0;
    int removed = 0;
    std::vector<std::string> files;
    for (uint8_t* p = FindNetShape(net); p;) {
        uint32_t offset = (uint32_t)(p - WorldMImage());
        RemoveNetShape(p, files);
        removed++;
        p = NextAfterRemoval(net, offset);
    }
    DeleteFiles(files);
    return removed;
}

int WorldMDeleteNetShapes(ProgressFn progress)
{
    uint8_t* sel = WorldMShapeFindData((uint16_t)WorldMFirstSelectedShape());
    if (!sel || !(GetU16(sel, WS_FLAGS) & WSF_NET_SHAPE)) return Close(progress);
    int net = GetU16(sel, WS_NET);
    int count = 0;
    uint8_t* image = WorldMImage();
    for (uint8_t* p = WorldMFirstPacket(image); p; p = WorldMNextPacket(image, p)) count += IsNetShapeOf(p, net);

    int undoWas = WorldMUndoOn();
    WorldMSetUndo(0);
    int done = 0;
    std::vector<std::string> files;
    for (uint8_t* p = FindNetShape(net); p;) {
        if (progress && progress((uint32_t)((int64_t)done * PROGRESS_DONE / (count + 1))) > 0) break;
        uint32_t offset = (uint32_t)(p - WorldMImage());
        RemoveNetShape(p, files);
        done++;
        p = NextAfterRemoval(net, offset);
    }
    DeleteFiles(files);
    int r = Close(progress);
    WorldMSetUndo(undoWas);
    return r;
}

// ============================================================================================
// Materials and the walkway and tunnel requests
// ============================================================================================

static const char* FindMaterials(const char* const names[3], int out[3], const char* missing)
{
    for (int i = 0; i < 3; i++) {
        out[i] = IntMatFind(names[i]);
        if (out[i] == IM_NONE) return missing;
    }
    return nullptr;
}

const char* NetMonorailMaterials(int out[3])
{
    static const char* const names[3] = {"Rail_Track", "Rail_Support", "Rail_Light"};
    return FindMaterials(names, out, "Missing monorail material.");
}

const char* NetTubeMaterials(int out[3])
{
    static const char* const names[3] = {"WalkBottom", "WalkSide", "WalkTop"};
    return FindMaterials(names, out, "Missing walkway material.");
}

const char* NetTunnelMaterials(int out[3])
{
    static const char* const names[3] = {"TunFloor", "TunWall", "TunRoof"};
    return FindMaterials(names, out, "Missing tunnel material.");
}

int WorldMBuildWalkway(int, int, int32_t, int32_t) { return 0; }

const char* NetTubeRequest(void)
{
    int m[3];
    if (const char* why = NetTubeMaterials(m)) return why;
    WorldMBuildWalkway(m[1], m[2], WALK_TUBE_WIDTH, WALK_TUBE_HEIGHT);
    return nullptr;
}

const char* NetWalkRequest(void)
{
    int m[3];
    if (const char* why = NetTunnelMaterials(m)) return why;
    WorldMBuildWalkway(m[1], m[2], WALK_TUNNEL_WIDTH, WALK_TUNNEL_HEIGHT);
    return nullptr;
}
