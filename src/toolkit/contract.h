// What the views and the panels of both editors say to each other, defined once: the messages
// a view sends to a panel, the view's tools a panel chooses, and the pick modes that say what
// the view marks while a tool is chosen. The panels choose a tool through the editor state
// (frontend/editstate.h) or, below the front end, through the panel host (panelhost.h).
#pragma once

// Messages from a view to the panel that chose its tool. Each panel hears only its own, so
// their numbers repeat; they start past the standard controls' messages.
enum {
    // A finished rectangle: p1 x0, y0; p2 x1, y1 packed, on the screen, corners in either order.
    // The panel hands it back to the view to select in (EditRequestRectSelect).
    PANEL_MSG_RECT = 40,
    PANEL_MSG_VERTEX = 41,        // to the Mesh panel: p1 vertex, p2 1 select / 0 deselect
    PANEL_MSG_POLYGON = 42,       // to the Mesh panel: p1 polygon, p2 1 / 0
    PANEL_MSG_MATERIAL = 40,      // to the materials panel after a Get: p1 the material picked; "Set" goes on
    PANEL_MSG_WORLD_SHAPE = 41,   // to the Edit Shapes panel: p1 worldshape ID, p2 1 select / 0 deselect
    PANEL_MSG_NODE = 41,          // to the Nodes panel: p1 node ID, p2 1 / 0
    PANEL_MSG_POSITION_X = 40,    // to the Add Shapes panel: p1 the position on one axis
    PANEL_MSG_POSITION_Y = 41,
    PANEL_MSG_POSITION_Z = 42,
};

// The view's tools, as the panels choose them (tool mode). What each does is the view's.
enum {
    EDIT_TOOL_NONE = 0,
    EDIT_TOOL_POLY_DELETE = 1,
    EDIT_TOOL_POLY_ADD = 2,
    EDIT_TOOL_VERTEX_DELETE = 3,
    EDIT_TOOL_VERTEX_MOVE = 4,
    EDIT_TOOL_VERTEX_ADD = 5,
    EDIT_TOOL_POLY_FLATTEN = 6,
    EDIT_TOOL_POLY_COMBINE = 7,
    EDIT_TOOL_VERTEX_CAMERA = 8,
    EDIT_TOOL_VERTEX_MERGE = 9,
    EDIT_TOOL_POLY_MAPPING = 10,
    EDIT_TOOL_VERTEX_INTERP = 11,
    EDIT_TOOL_POLY_HIDE = 12,
    EDIT_TOOL_VERTEX_CENTRE_Y = 13,
    EDIT_TOOL_VERTEX_PLANE = 14,
    EDIT_TOOL_POLY_DOUBLE = 16,
    EDIT_TOOL_MATERIAL_SET = 17,
    EDIT_TOOL_MATERIAL_GET = 18,
    EDIT_TOOL_POLY_INVERT = 19,
    EDIT_TOOL_VERTEX_CENTRE = 20,
    EDIT_TOOL_MESH_RECT = 23,
    EDIT_TOOL_MESH_VERTEX = 24,
    EDIT_TOOL_MESH_POLYGON = 25,
    EDIT_TOOL_MESH_MOVE = 26,
    EDIT_TOOL_SHAPES_RECT = 27,
    EDIT_TOOL_SHAPES_MOVE = 28,
    EDIT_TOOL_SHAPES_PICK = 29,
    EDIT_TOOL_SHAPE_POSITION = 30,
    EDIT_TOOL_NODES_MOVE = 31,
    EDIT_TOOL_NODES_RECT = 32,
    EDIT_TOOL_NODES_PICK = 33,
    EDIT_TOOL_NODE_ADD = 34,
    EDIT_TOOL_VERTEX_PLANE_XZ = 35,
    EDIT_TOOL_VERTEX_NAME = 36,
};

// Pick mode bits: what the view marks over the shape while a tool is chosen (the selection is
// always marked).
enum {
    EDIT_PICK_VERTICES = 0x1,    // a dot on every vertex
    EDIT_PICK_POLYGONS = 0x2,    // the polygon under the pointer outlined
    EDIT_PICK_UNDER = 0x4,       // the vertex under the pointer framed
    EDIT_PICK_POINTS = 0x8,      // the points picked so far for a new polygon
    EDIT_PICK_CORNER = 0x10,     // the vertex under the pointer framed when it is a point of that polygon
    EDIT_PICK_FIRST = 0x20,      // the first polygon picked for Combine
    EDIT_PICK_SELECTED = 0x40,   // the tool works on the selected vertices
    EDIT_PICK_WORLD = 0x400,     // the World Editor's tools: no shape to mark (the dump shows it)
    EDIT_PICK_NAMES = 0x800,     // point names beside their vertices
};
