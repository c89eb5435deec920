#!/bin/sh
# Seeds of the image and model harnesses, from pictures and models made here and passed
# through tolbex-cli's own writers. make-seeds.sh calls it; it runs alone too:
#
#   tests/fuzz/make-asset-seeds.sh TOLBEX_CLI CORPUS_DIR
set -eu
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
corpus=$(mkdir -p "$2" && cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
rm -rf "$corpus/image" "$corpus/model"
mkdir -p "$corpus/image" "$corpus/model"

python3 - <<'EOF'
import struct
pixels = [(200, 10, 30, 255), (1, 2, 3, 128), (90, 180, 250, 255), (255, 0, 0, 255), (0, 255, 0, 0), (0, 0, 255, 255)]
# A 3 x 2 BMP, 24-bit, rows bottom-up padded to 4 bytes.
rows = b''
for y in (1, 0):
    row = b''.join(bytes((p[2], p[1], p[0])) for p in pixels[3 * y:3 * y + 3])
    rows += row + b'\0' * (-len(row) % 4)
header = b'BM' + struct.pack('<IHHI', 54 + len(rows), 0, 0, 54)
header += struct.pack('<IiiHHIIiiII', 40, 3, 2, 1, 24, 0, len(rows), 0, 0, 0, 0)
open('pic.bmp', 'wb').write(header + rows)
# The same as a 32-bit TGA with alpha, top-down.
tga = bytes((0, 0, 2)) + b'\0' * 9 + struct.pack('<HHBB', 3, 2, 32, 8 | 0x20)
tga += b''.join(bytes((p[2], p[1], p[0], p[3])) for p in pixels)
open('pic.tga', 'wb').write(tga)

# One textured triangle as glTF, binary STL and OBJ.
import base64
buf = struct.pack('<9f', 0, 0, 0, 1, 0, 0, 0, 1, 2) + struct.pack('<6f', 0, 0, 1, 0, 0, 1) + struct.pack('<3H', 0, 1, 2)
gltf = ('{"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],'
        '"nodes":[{"mesh":0,"translation":[10,0,0],"children":[1]},{}],'
        '"meshes":[{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1},"indices":2,"material":0}]}],'
        '"materials":[{"name":"Leaf","pbrMetallicRoughness":{"baseColorFactor":[0.2,0.6,0.1,1]}}],'
        '"buffers":[{"byteLength":66,"uri":"data:application/octet-stream;base64,' + base64.b64encode(buf).decode() + '"}],'
        '"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":24},'
        '{"buffer":0,"byteOffset":60,"byteLength":6}],'
        '"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,2]},'
        '{"bufferView":1,"componentType":5126,"count":3,"type":"VEC2"},'
        '{"bufferView":2,"componentType":5123,"count":3,"type":"SCALAR"}]}')
open('tri.gltf', 'w').write(gltf)
stl = b'\0' * 80 + struct.pack('<I', 1) + struct.pack('<12fH', 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0)
open('tri.stl', 'wb').write(stl)
open('quad.obj', 'w').write('v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n'
                            'usemtl red\nf 1/1 2/2 3/3 4/4\n')

# The child's answer for a model: a planar quad, a bent quad and a pentagon, two materials.
def table(data): return struct.pack('<I', len(data)) + data
def answer(up, positions, uvs, faces, materials):
    n = len(positions) // 3
    out = struct.pack('<I', up)
    out += table(struct.pack('<%dd' % len(positions), *positions))
    out += table(struct.pack('<%df' % len(uvs), *uvs))
    out += table(bytes([1] * n))
    out += table(struct.pack('<%dI' % len(faces), *[len(f[1]) for f in faces]))
    out += table(struct.pack('<%dI' % len(faces), *[f[0] for f in faces]))
    idx = [i for f in faces for i in f[1]]
    out += table(struct.pack('<%dI' % len(idx), *idx))
    out += struct.pack('<I', len(materials))
    for name, texture in materials:
        out += table(name.encode()) + table(struct.pack('<4f', 0.8, 0.2, 0.1, 1)) + table(struct.pack('<f', 0.5))
        out += table(texture.encode()) + table(b'')
    return out
pos = [0, 0, 0, 2, 0, 0, 2, 1, 0, 0, 1, 0, 0, 0, -3, 1, 1.5, -1, 3, 1, 0, -1, 1, 0]
uv = [0, 0, 1, 0, 1, 1, 0, 1, 2.5, 1.25, 3, 1.25, 0.5, 0.5, -1.5, 0.25]
faces = [(0, [0, 1, 2, 3]), (1, [0, 3, 5, 4]), (1, [0, 1, 6, 2, 7]), (5, [4, 5, 6])]
open('answer1.bin', 'wb').write(answer(1, pos, uv, faces, [('Brick Red', 'bricks.png'), ('glass', '')]))
open('answer2.bin', 'wb').write(answer(2, pos, uv, faces[:2], [('a very long material name', '')]))
EOF

"$cli" sprite import pic.tga pic.spr --format 32 >/dev/null
"$cli" sprite export pic.spr pic.png >/dev/null
cp pic.bmp pic.tga pic.png "$corpus/image/"

"$cli" shape import tri.gltf tri.shp --scale 10 >/dev/null
"$cli" shape export tri.shp tri.glb >/dev/null
# The model harness's first byte: 0 a .glb, 2 a .gltf, 4 an .stl, 6 an .obj; odd an answer.
printf '\000' | cat - tri.glb >"$corpus/model/tri-glb"
printf '\002' | cat - tri.gltf >"$corpus/model/tri-gltf"
printf '\004' | cat - tri.stl >"$corpus/model/tri-stl"
printf '\006' | cat - quad.obj >"$corpus/model/quad-obj"
printf '\001' | cat - answer1.bin >"$corpus/model/answer-y"
printf '\013' | cat - answer2.bin >"$corpus/model/answer-z"
