// What a model import runs in the editor's own process (Assimp itself reads the file in a
// child process with limits): the cheap checks of a model file before the library sees it,
// and the model the child sends back, unpacked and made into a shape, plain and simplified.
// The first byte chooses: even, the rest is a file named by its extension (glb, gltf, stl);
// odd, the rest is the child's answer.
#include <vector>

#include "fuzz.h"
#include "shapes/model.h"

static void One(const uint8_t* data, size_t size)
{
    if (size < 1) return;
    static const char* const kNames[] = {"in.glb", "in.gltf", "in.stl", "in.obj"};
    std::string why;
    if ((data[0] & 1) == 0) {
        ModelPrecheck(kNames[(data[0] >> 1) & 3], data + 1, size - 1, why);
        return;
    }
    ModelData model;
    if (ModelUnpack(data + 1, size - 1, &model)) return;
    ModelShapeOptions o;
    o.axes = (data[0] >> 1) % 3;
    ModelShape shape;
    ModelToShape(model, o, &shape, why);
    o.maxPolygons = 1 + (data[0] >> 3);
    ModelToShape(model, o, &shape, why);
}

FUZZ_HARNESS(model, FuzzNothing, FuzzNothing, One)
