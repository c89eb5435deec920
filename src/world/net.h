// Networks: the net nodes of the world image (chains of WorldNetNode packets joined by their
// previous and next IDs), the node display the 3D view draws, and the builders that turn a
// chain into net shapes: the monorail (a track segment per link, a pylon at regular
// distances), written as temporary shape files "W~R00000.SHP" and placed as worldshapes with
// the net-shape flag and their net number.
//
// Nodes are found by ID: a packet pointer handed out here is valid only until the next
// insertion or removal of image bytes. Every operation but the queries takes an undo snapshot
// first. Walks along links stop at a node without the link they follow, or at a node they have
// already been to (closed chains, and links left inconsistent by a damaged file).
//
// Results are the world manager's codes (worldm.h): 0 or an ID on success, WORLD_ERR_... on failure.
#pragma once
#include <cstdint>

#include "base/progress.h"

// The monorail parameters the main loop builds with, and the builder's fixed numbers.
enum {
    MONO_TRACK_WIDTH = 2928,       // half of it, scaled by MONO_HALF_SCALE, is the track's half-size
    MONO_PYLON_DEPTH = 6832,       // lateral depth of a pylon's column
    MONO_MIN_LINK = 20008,         // shorter links are refused; also the pylon arm's base length
    MONO_PYLON_SPACING = 976000,   // track length between pylons
    MONO_HALF_SCALE = 12800,       // 2.14 factor on half the width
    MONO_STRAIGHT_DOT = 16336,     // a turn whose direction dot product is above this gets a square end
    MONO_SMOOTH_ANGLE = 0x7FFF,    // maximum normal-smoothing angle of every generated shape

    // The node panel's walkway (Tube button) and tunnel (Walk button) requests.
    WALK_TUBE_WIDTH = 14640,
    WALK_TUBE_HEIGHT = 390400,
    WALK_TUNNEL_WIDTH = 195200,
    WALK_TUNNEL_HEIGHT = 390400,

    // Net shape files: "W~R" and five decimal digits, the first free one from 00000.
    NET_FILE_NAME_SIZE = 13,
    NET_FILE_COUNT = 100000,

    // A build refused because a shape would lie outside the world's cell grid, where the
    // runtime save would refuse it (the error table has no text for it: NetBuildMessage).
    NET_ERR_OUTSIDE_GRID = -40,

    // Nodes added in a view that shows no height (Top, Bottom) stand this far above the ground
    // unless the user says otherwise: a monorail built on flat ground then lies in the grid
    // (the track reaches 1143 below its nodes, less the snap).
    NET_NODE_CLEARANCE = 4096,
    NET_NODE_CLEARANCE_MAX = 99999,
};

// ============================================================================================
// Nodes
// ============================================================================================

// Node packets in packet order (null after the last), and by ID (null for 0 or none).
uint8_t* NetFirstNode(void);
uint8_t* NetNextNode(uint8_t* node);
uint8_t* NetNode(uint16_t id);
void NetNodePos(const uint8_t* node, int32_t out[3]);
// The node IDs a walk has been to.
struct NetSeen {
    uint8_t bits[65536 / 8];
};
// 1 the first time an ID is visited, 0 after.
int NetVisit(NetSeen* seen, uint16_t id);

// Appends a selected, unlinked, unnamed node: its ID, or WORLD_ERR_OUT_OF_SPACE.
int WorldMAddNetNode(int32_t x, int32_t y, int32_t z);
// The height of a node placed at (x, z) from a view without height: the ground there (the
// terrain's, else 0) plus the clearance, kept inside the 32-bit range.
int32_t NetNodeHeightOver(int32_t x, int32_t z, int32_t clearance);
// Selects a node. When none was selected, its packet first trades places with the first node
// packet, so that the first selected node is also the first in packet order.
void WorldMSelectNode(uint16_t id);
void WorldMDeselectNode(uint16_t id);
void WorldMSelectAllNodes(void);
void WorldMDeselectAllNodes(void);
int WorldMCountSelectedNodes(void);
int WorldMCountNodes(void);
// The first selected node in packet order, or null.
uint8_t* WorldMFirstSelectedNode(void);
// Adds to one coordinate of every selected node.
void WorldMMoveSelectedNodesX(int32_t d);
void WorldMMoveSelectedNodesY(int32_t d);
void WorldMMoveSelectedNodesZ(int32_t d);
// Unlinks and removes every selected node.
void WorldMDeleteSelectedNodes(void);
// Links the two selected nodes A (first in packet order) and B: two single nodes, A before
// B; A starting a chain goes behind B; else B starting a chain goes behind A. A link that
// would replace an existing one is refused. 1 when linked, 0 when nothing changed.
int WorldMLinkNodes(void);
// Takes the first selected node out of its chain; its neighbours are joined to each other.
void WorldMUnlinkNode(void);
// With exactly two selected nodes: a new selected node at their midpoint, linked between them
// when they are neighbours. Its ID, 0 when not exactly two are selected, or WORLD_ERR_OUT_OF_SPACE.
int WorldMInsertNode(void);
// Names the first selected node (0 clears its name): 0, WORLD_ERR_ILLEGAL_NAME,
// WORLD_ERR_NO_NODES_SELECTED, or WORLD_ERR_NET_NAME_IN_USE when any node carries the name.
int WorldMSetNetName(uint32_t name);
// The first selected node's net name (0 when it has none), or WORLD_ERR_NO_NODES_SELECTED.
int64_t WorldMGetNetName(void);
// Hides and deselects every node of the first selected node's chain.
void WorldMHideNet(void);
void WorldMUnhideNodes(void);
// The first selected node's position, 0 when none is selected.
int32_t WorldMSelectedNodeX(void);
int32_t WorldMSelectedNodeY(void);
int32_t WorldMSelectedNodeZ(void);

// ============================================================================================
// Node display: what the 3D view draws for the nodes, as data
// ============================================================================================

enum {
    NET_RECT_SELECT = 4,        // the view's selection-rectangle requests
    NET_RECT_DESELECT = 8,
    NET_PICK_RANGE = 4,         // pixels from the pointer on both axes
    NET_PHASE_MS = 250,         // the moving piece steps this often; four phases
    NET_PHASES = 4,

    NET_DRAW_LINE = 0,          // x0, y0 to x1, y1
    NET_DRAW_MARKER = 1,        // at x0, y0
    NET_DRAW_NAME = 2,          // the net name beside x0, y0
};

// A node's world position to view space and the screen: 1 with both screen coordinates valid,
// else 0.
typedef int (*NetProjectFn)(const int32_t world[3], int32_t view[3], int32_t* sx, int32_t* sy);

struct NetView {
    NetProjectFn project;       // the view's projection (Draw3DProjectPoint); null shows nothing
    uint32_t ms;                // the millisecond clock, for the phase
    int32_t pointerX, pointerY;
    int rectRequest;            // NET_RECT_SELECT, NET_RECT_DESELECT or 0; cleared by the display
    int32_t rect[4];            // x0, y0, x1, y1 in either order, edges included
};

struct NetDrawItem {
    int kind;                   // NET_DRAW_...
    int colour;
    int32_t x0, y0, x1, y1;
    uint16_t node;
    uint32_t name;              // NET_DRAW_NAME
};

// Projects every shown node into the node display table, gathers the draw items of the frame
// (a quarter of each link, moving with the phase; names; markers, selected ones blinking to
// colour 0; the picked node again in the highlight colour), applies a selection rectangle, and
// gives the picked node's ID (the visible node within NET_PICK_RANGE of the pointer nearest
// the eye), or 0.
int WorldMNodeDisplay(int nodeColour, int highlightColour, NetView* view);
int NetDrawCount(void);
const NetDrawItem* NetDrawItems(void);

// ============================================================================================
// Net shapes and the monorail
// ============================================================================================

// The smallest net number from 1 that no net shape carries; 0 when none is free.
int NetNumber(void);
// The first free net shape file name of the kind ('R' for the monorail) in the working folder,
// from start on: its counter, or -1 when every name is taken.
int NetShapeFileName(char kind, int start, char out[NET_FILE_NAME_SIZE]);
// 1 when a shape file name is a net shape file of the monorail ("W~R" and five digits, .SHP).
int NetIsShapeFileName(const char* name);

// Builds the monorail of the chain that runs from the first selected node along previous
// links: per link a track segment, and a pylon whenever the track length passes a multiple of
// the spacing. 0 with every shape in place, or an error with none of this net's shapes left:
// WORLD_ERR_NODES_REQUIRED (no selected node, or one without a previous node),
// WORLD_ERR_PARENT_MISSING, WORLD_ERR_NODE_TOO_SHORT, WORLD_ERR_NODE_TOO_LOW, WORLD_ERR_MEMORY,
// WORLD_ERR_SAVE_SHP (a shape file cannot be written), WORLD_ERR_TOO_MANY_NET_SHAPES (no net number
// or file name left), WORLD_ERR_OUT_OF_SPACE, WORLD_ERR_ABORTED, or NET_ERR_OUTSIDE_GRID (a shape would
// lie outside the world's cell grid). Every shape is made and checked before any file is
// written, so a refusal of the net's geometry writes nothing. The progress callback (may be
// null) gets its closing call in every case.
int WorldMBuildMonorail(int trackMaterial, int supportMaterial, int lightMaterial, int32_t width, int32_t depth,
                        int32_t minLink, int32_t spacing, ProgressFn progress);
// Why the last build failed, naming the node of the link and what to do ("" after a success,
// and for failures the error table says enough of: no start node, a file not written).
const char* NetBuildMessage(void);
// Removes the net shapes of the first selected worldshape's net, deleting their shape files.
// The result of the callback's closing call (0 without a callback).
int WorldMDeleteNetShapes(ProgressFn progress);
// Removes every net shape of the net, without progress: the number removed.
int WorldMRemoveNet(int net);

// The materials of the node panel's requests, found by name: null with the three render
// material indices, or the message the panel shows.
const char* NetMonorailMaterials(int out[3]);   // "Rail_Track", "Rail_Support", "Rail_Light"
const char* NetTubeMaterials(int out[3]);       // "WalkBottom", "WalkSide", "WalkTop"
const char* NetTunnelMaterials(int out[3]);     // "TunFloor", "TunWall", "TunRoof"
// The walkway and tunnel builders: nothing is generated (0).
int WorldMBuildWalkway(int sideMaterial, int topMaterial, int32_t width, int32_t height);
// The Tube and Walk buttons: check their materials and call the builder. Null, or the message.
const char* NetTubeRequest(void);
const char* NetWalkRequest(void);
