#!/usr/bin/env python3
"""Writes src/shapes/sphere.cpp: the tables of the Sphere80 that Create Object builds.

Construction
------------
An icosahedron with one vertex straight up is cut into 80 triangles: every face is split
into four by the midpoints of its edges, and the midpoints are pushed out to the sphere.
All values are unit vectors scaled by 16384 and truncated toward zero.

Vertices, top first, then rings:
  0       the top (0, 1, 0)
  1 - 5   the upper ring, y = 1/sqrt(5), every 72 degrees from atan2(z, x) = 18
  6 - 10  the lower ring, y = -1/sqrt(5), every 72 degrees from 54
  11      the bottom
          (each ring in order of atan2(z, x) from -180 degrees up, which makes vertex 1
          (-8613, 7327, -11855))
  12 - 41 the 30 edge midpoints, ring by ring from the top (y falling), each ring in order
          of the texture angle below from the seam, so 12 - 16 are the five round the top.

Triangles: each split face keeps the outward turn of its face (the face normal
(P1 - P0) x (P2 - P0) points away from the centre). They are listed band by band from the
top (by the height of their centre), each band in order of its centres' texture angle from
the seam, and each starts at its highest point: (0, 13, 12), (0, 14, 13), (0, 15, 14) ...

Mapping (1.0 = 16384), per triangle and point, from the exact unit vector (x, y, z):
  texture angle  b = atan2(x, -z): the seam is the half plane x = 0, z > 0
  U = 0.5 + b / (2 pi'),   V = acos(y) / pi'    with pi' = 22/7
  pi' is 22/7, not pi: the sphere's texture is laid out with it. The first triangle's second
  point maps to (3278, 2885) with 22/7, where the true pi would give (3276, 2886); any value
  from 3.14268 to 3.14300 gives the same tables.
  At the poles U is 0.5. A point on the seam takes U = 0 in a triangle whose other points
  lie at x < 0 and U = 1.0 otherwise; in a triangle that crosses the seam the points at
  x < 0 get 1.0 added, so that no triangle spans the whole texture.

Run from the repository root: python3 scripts/gen_sphere.py
"""
import math
import os
import sys

ONE = 16384
PI_TABLE = 22.0 / 7.0
EPS = 1e-9


def snap(v):
    return tuple(0.0 if abs(c) < 1e-12 else c for c in v)


def unit(v):
    n = math.sqrt(sum(c * c for c in v))
    return tuple(c / n for c in v)


def ring(y, first_deg):
    h = math.sqrt(1.0 - y * y)
    pts = []
    for k in range(5):
        a = math.radians(first_deg + 72 * k)
        pts.append(snap((h * math.cos(a), y, h * math.sin(a))))
    return sorted(pts, key=lambda p: math.atan2(p[2], p[0]))


def is_pole(p):
    return abs(p[0]) < EPS and abs(p[2]) < EPS


def on_seam(p):
    return abs(p[0]) < EPS and p[2] > EPS


def seam_angle(p):
    """The texture angle, -pi on the seam itself (where the texture starts)."""
    if is_pole(p) or on_seam(p):
        return -math.pi
    return math.atan2(p[0], -p[2])


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def build():
    y1 = 1.0 / math.sqrt(5.0)
    ico = [(0.0, 1.0, 0.0)] + ring(y1, 18) + ring(-y1, 54) + [(0.0, -1.0, 0.0)]

    # Edges: the pairs at the shortest distance; faces: the triples of mutual neighbours.
    def dist(i, j):
        return math.dist(ico[i], ico[j])

    edge_len = min(dist(i, j) for i in range(12) for j in range(i + 1, 12))
    near = lambda i, j: abs(dist(i, j) - edge_len) < 1e-9
    edges = [(i, j) for i in range(12) for j in range(i + 1, 12) if near(i, j)]
    faces = []
    for i in range(12):
        for j in range(i + 1, 12):
            for k in range(j + 1, 12):
                if near(i, j) and near(j, k) and near(i, k):
                    f = (i, j, k)
                    c = [sum(ico[v][a] for v in f) for a in range(3)]
                    if dot(cross(sub(ico[j], ico[i]), sub(ico[k], ico[i])), c) < 0:
                        f = (i, k, j)
                    faces.append(f)
    assert len(edges) == 30 and len(faces) == 20

    mids = {e: snap(unit(tuple((ico[e[0]][a] + ico[e[1]][a]) / 2 for a in range(3)))) for e in edges}
    order = sorted(edges, key=lambda e: (-round(mids[e][1], 9), seam_angle(mids[e])))
    points = list(ico) + [mids[e] for e in order]
    index_of = {e: 12 + n for n, e in enumerate(order)}

    def mid(a, b):
        return index_of[(min(a, b), max(a, b))]

    tris = []
    for a, b, c in faces:
        ab, bc, ca = mid(a, b), mid(b, c), mid(c, a)
        tris += [(a, ab, ca), (b, bc, ab), (c, ca, bc), (ab, bc, ca)]

    def centre(t):
        return snap(tuple(sum(points[v][a] for v in t) / 3 for a in range(3)))

    tris.sort(key=lambda t: (-round(centre(t)[1], 9), seam_angle(centre(t))))

    def start_high(t):
        best = max(range(3), key=lambda k: (round(points[t[k]][1], 9), -seam_angle(points[t[k]])))
        return t[best:] + t[:best]

    tris = [start_high(t) for t in tris]
    return points, tris


def to_int(c):
    return int(math.trunc(c * ONE))


def mapping(points, t):
    ps = [points[v] for v in t]
    inner = [p for p in ps if not is_pole(p) and not on_seam(p)]
    angles = [math.atan2(p[0], -p[2]) for p in inner]
    crosses = any(a > math.pi / 2 for a in angles) and any(a < -math.pi / 2 for a in angles)
    left = bool(inner) and all(p[0] < 0 for p in inner) and not crosses
    out = []
    for p in ps:
        if is_pole(p):
            u = 0.5
        elif on_seam(p):
            u = 0.0 if left else 1.0
        else:
            u = 0.5 + math.atan2(p[0], -p[2]) / (2 * PI_TABLE)
            if crosses and p[0] < 0:
                u += 1.0
        v = math.acos(max(-1.0, min(1.0, p[1]))) / PI_TABLE
        out += [to_int(u), to_int(v)]
    return out


def main():
    points, tris = build()
    verts = [tuple(to_int(c) for c in p) for p in points]
    maps = [mapping(points, t) for t in tris]

    # Fixed points of the construction: a change to it that moves them stops here.
    assert verts[0] == (0, 16384, 0) and verts[1] == (-8613, 7327, -11855), verts[:2]
    assert tris[:3] == [(0, 13, 12), (0, 14, 13), (0, 15, 14)], tris[:3]
    assert maps[0] == [8192, 0, 3278, 2885, 0, 2885], maps[0]
    assert len(verts) == 42 and len(tris) == 80
    assert all(-32768 <= c <= 32767 for m in maps for c in m)
    for t in tris:
        p0, p1, p2 = (points[v] for v in t)
        assert dot(cross(sub(p1, p0), sub(p2, p0)), p0) > 0, t

    out = []
    out.append("// The Sphere80 of Create Object: 42 unit vertices, 80 triangles and their mapping")
    out.append("// coordinates (1.0 = 16384). Generated by scripts/gen_sphere.py, which describes the")
    out.append("// construction; change it there and run it again rather than editing this file.")
    out.append('#include "shapes/mesh.h"')
    out.append("")
    out.append("const int16_t kMeshSphereVertices[MESH_SPHERE_VERTICES][3] = {")
    for v in verts:
        out.append("    {%d, %d, %d}," % v)
    out.append("};")
    out.append("")
    out.append("const uint16_t kMeshSphereTriangles[MESH_SPHERE_TRIANGLES][3] = {")
    for i in range(0, len(tris), 4):
        out.append("    " + " ".join("{%d, %d, %d}," % t for t in tris[i:i + 4]))
    out.append("};")
    out.append("")
    out.append("const int16_t kMeshSphereMapping[MESH_SPHERE_TRIANGLES][6] = {")
    for m in maps:
        out.append("    {%d, %d, %d, %d, %d, %d}," % tuple(m))
    out.append("};")
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "shapes", "sphere.cpp")
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(out) + "\n")
    print("wrote", os.path.normpath(path))


if __name__ == "__main__":
    sys.exit(main())
