// The Object panel's import of a model from another tool (glTF, OBJ, FBX, 3DS, Collada, PLY,
// STL): the options `tolbex-cli shape import` takes come from tolbex.ini, read at each import
// so that a changed setting counts at once; the shape becomes the edited shape; the model's
// materials are appended to the loaded ones (never replacing one of the same name) and their
// textures written as sprites beside the materials file.
#pragma once

// 0 when the model is the edited shape now, 1 after a "File Error" box naming the reason (the
// shape and the materials unchanged). A setting that cannot be used gets an "Error" box and
// its default.
int ObjImportModel(const char* path);
