// Every window class id of the program, in one place: the toolkit's own classes, and the
// editors' windows (menu bars, views, panels and dialogs). A class id names one window
// procedure; two classes under one id would make the second unreachable (the lookup finds the
// first), so the lists below are checked for repeats by the tests.
#pragma once
#include <cstdint>

// The toolkit's classes.
#define TOLBEX_TOOLKIT_CLASSES(X) \
    X(CLASS_DESKTOP, 0x100)       \
    X(CLASS_FRAME, 0x200)         \
    X(CLASS_BUTTON, 0x201)        \
    X(CLASS_MESSAGEBOX, 0x202)    \
    X(CLASS_LIST, 0x203)          \
    X(CLASS_EDIT, 0x204)          \
    X(CLASS_SLIDER, 0x206)        \
    X(CLASS_THUMB, 0x207)         \
    X(CLASS_PROGRESS, 0x208)

// The editors' windows. The ids between them that no window has (0x100e, 0x101c, 0x1021) are
// opened as empty frames (PanelRegisterPlaceholders).
#define TOLBEX_EDITOR_CLASSES(X)       \
    X(CLASS_SHAPE_MENU, 0x1000)        \
    X(CLASS_VIEW, 0x1001)              \
    X(CLASS_MATERIALS_PANEL, 0x1002)   \
    X(CLASS_MAT_SWATCH, 0x1003)        \
    X(CLASS_MAT_NAME, 0x1004)          \
    X(CLASS_MAT_EDIT, 0x1005)          \
    X(CLASS_MAT_SELECT, 0x1006)        \
    X(CLASS_MAT_PICKER, 0x1007)        \
    X(CLASS_PALETTE_PANEL, 0x1008)     \
    X(CLASS_PALETTE_GRID, 0x1009)      \
    X(CLASS_POLYGONS_PANEL, 0x100a)    \
    X(CLASS_VERTICES_PANEL, 0x100b)    \
    X(CLASS_SORTING_PANEL, 0x100c)     \
    X(CLASS_OBJECT_PANEL, 0x100d)      \
    X(CLASS_CREATE_OBJECT, 0x100f)     \
    X(CLASS_OBJECT_SCALE, 0x1010)      \
    X(CLASS_VIEW_SETUP, 0x1011)        \
    X(CLASS_SCENE_PANEL, 0x1012)       \
    X(CLASS_MAPPING, 0x1013)           \
    X(CLASS_MESH_PANEL, 0x1014)        \
    X(CLASS_LAUNCHER, 0x1015)          \
    X(CLASS_WORLD_PANEL, 0x1016)       \
    X(CLASS_WORLD_MENU, 0x1017)        \
    X(CLASS_PALETTE_SAVE, 0x1018)      \
    X(CLASS_EDIT_SHAPES_PANEL, 0x1019) \
    X(CLASS_ADD_SHAPES_PANEL, 0x101a)  \
    X(CLASS_MESH_TRANSFORM, 0x101b)    \
    X(CLASS_BUILDING_NAME, 0x101d)     \
    X(CLASS_ROTATE_SHAPES, 0x101e)     \
    X(CLASS_NODES_PANEL, 0x101f)       \
    X(CLASS_NODE_NAME, 0x1020)         \
    X(CLASS_POINT_NAME, 0x1022)        \
    X(CLASS_OBJECT_PARMS, 0x1023)      \
    X(CLASS_MAPPING_HEX, 0x1024)

// The front end's dialogs outside the editors' range.
#define TOLBEX_FRONTEND_CLASSES(X) X(CLASS_FILESEL, 0x1030)

#define TOLBEX_CLASS_ENUM(name, id) name = id,
enum : uint32_t {
    TOLBEX_TOOLKIT_CLASSES(TOLBEX_CLASS_ENUM) TOLBEX_EDITOR_CLASSES(TOLBEX_CLASS_ENUM)
        TOLBEX_FRONTEND_CLASSES(TOLBEX_CLASS_ENUM)
};
#undef TOLBEX_CLASS_ENUM

struct ClassIdName {
    uint32_t id;
    const char* name;
};

#define TOLBEX_CLASS_ENTRY(name, id) {name, #name},
inline constexpr ClassIdName kToolkitClassIds[] = {TOLBEX_TOOLKIT_CLASSES(TOLBEX_CLASS_ENTRY)};
inline constexpr ClassIdName kEditorClassIds[] = {TOLBEX_EDITOR_CLASSES(TOLBEX_CLASS_ENTRY)};
inline constexpr ClassIdName kFrontEndClassIds[] = {TOLBEX_FRONTEND_CLASSES(TOLBEX_CLASS_ENTRY)};
#undef TOLBEX_CLASS_ENTRY

// The editors' range, from their list: every id in it that no window has is a placeholder.
constexpr uint32_t ClassIdsLowest(const ClassIdName* ids, int count)
{
    uint32_t lowest = ids[0].id;
    for (int i = 1; i < count; i++) lowest = ids[i].id < lowest ? ids[i].id : lowest;
    return lowest;
}
constexpr uint32_t ClassIdsHighest(const ClassIdName* ids, int count)
{
    uint32_t highest = ids[0].id;
    for (int i = 1; i < count; i++) highest = ids[i].id > highest ? ids[i].id : highest;
    return highest;
}
enum : uint32_t {
    CLASS_EDITOR_FIRST = ClassIdsLowest(kEditorClassIds, sizeof kEditorClassIds / sizeof kEditorClassIds[0]),
    CLASS_EDITOR_LAST = ClassIdsHighest(kEditorClassIds, sizeof kEditorClassIds / sizeof kEditorClassIds[0]),
};
