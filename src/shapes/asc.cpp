// 3DS ASCII import and export. The import reads the listing into two fixed tables, checks
// everything it read, and only then builds the shape in a scratch block that replaces the
// edit buffer; a listing that passes the tables or refers to vertices it does not have is
// refused and the buffer stays as it was.
#include "shapes/asc.h"

#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/files.h"
#include "base/res.h"
#include "shapes/refusal.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"

struct AscVertex {
    double x, y, z, u, v;   // shape axes: x = X, y = Z, z = -Y
};

struct AscFace {
    int32_t count;
    int32_t index[ASC_MAX_FACE_POINTS];
    int32_t material;
};

static struct {
    AscVertex* vertices;
    AscFace* faces;
    int vertexCount;
    int faceCount;
    int faceBase;       // vertices read before the current object's "Vertex list:"
    int line;
} imp;

// Fixed tables, as large as a listing may fill: no allocation to fail or to repeat per import.
static AscVertex vertexTable[ASC_MAX_VERTICES];
static AscFace faceTable[ASC_MAX_FACES];

static const char kLogTag[] = "IMP3DS";   // prefix of this module's refusals in the log

const char* ASCIILastError(void) { return ShapeRefusal(); }

// ============================================================================================
// Reading the listing a piece at a time
// ============================================================================================

struct Reader {
    const char* file;
    int64_t size;
    int64_t pos;            // file position of buf[0]
    char buf[65536];
    int len, at;
};

static int ReadByte(Reader* r)
{
    if (r->at == r->len) {
        r->pos += r->len;
        r->at = r->len = 0;
        if (r->pos >= r->size) return -1;
        int64_t n = r->size - r->pos;
        if (n > (int64_t)sizeof r->buf) n = sizeof r->buf;
        if (FileReadAt(r->file, (uint64_t)r->pos, r->buf, (size_t)n)) return -2;
        r->len = (int)n;
    }
    return (unsigned char)r->buf[r->at++];
}

static int PeekByte(Reader* r)
{
    int c = ReadByte(r);
    if (c >= 0) r->at--;
    return c;
}

// The next piece of a line: up to ASC_LINE_CHARS characters, ending early at a line end
// (CR LF or LF, not kept; *ended says whether it came). 1 with a piece, 0 at the end of the
// file, -1 on a read error.
static int NextPiece(Reader* r, char out[ASC_LINE_CHARS + 1], bool* ended)
{
    int n = 0, c = 0;
    while (n < ASC_LINE_CHARS) {
        c = ReadByte(r);
        if (c < 0) break;
        if (c == '\r' && PeekByte(r) == '\n') continue;
        if (c == '\n') break;
        out[n++] = (char)c;
    }
    out[n] = 0;
    *ended = c == '\n';
    if (c == -2) return -1;
    return n > 0 || c == '\n' ? 1 : 0;
}

// ============================================================================================
// Parsing lines
// ============================================================================================

static bool Blank(char c) { return c == ' ' || c == '\t'; }

static void SkipBlanks(const char*& p)
{
    while (*p && isspace((unsigned char)*p)) p++;
}

// Copies the next blank-separated word (cut to the buffer) and steps past it.
static void Word(const char*& p, char* out, size_t size)
{
    while (*p && Blank(*p)) p++;
    size_t n = 0;
    for (; *p && !Blank(*p); p++)
        if (n + 1 < size) out[n++] = *p;
    out[n] = 0;
}

static bool Literal(const char*& p, const char* text)
{
    SkipBlanks(p);
    size_t n = strlen(text);
    if (strncmp(p, text, n) != 0) return false;
    p += n;
    return true;
}

static bool Number(const char*& p, double* out)
{
    SkipBlanks(p);
    char* end;
    double v = strtod(p, &end);
    if (end == p || !std::isfinite(v)) return false;
    *out = v;
    p = end;
    return true;
}

static bool Integer(const char*& p, int32_t* out)
{
    SkipBlanks(p);
    char* end;
    long long v = strtoll(p, &end, 10);
    if (end == p || v < -1000000000ll || v > 1000000000ll) return false;
    *out = (int32_t)v;
    p = end;
    return true;
}

// A vertex line: "Vertex n:  X: x Y: y Z: z", optionally followed by "U: u V: v".
static int VertexLine(const char* p)
{
    double x, y, z, u = -1.0, v = -1.0;
    if (!Literal(p, "X:") || !Number(p, &x) || !Literal(p, "Y:") || !Number(p, &y) || !Literal(p, "Z:") || !Number(p, &z))
        return ShapeRefuse(kLogTag, "line %d: a vertex line without X, Y and Z", imp.line);
    if (Literal(p, "U:") && Number(p, &u) && Literal(p, "V:")) Number(p, &v);
    if (imp.vertexCount >= ASC_MAX_VERTICES)
        return ShapeRefuse(kLogTag, "line %d: the listing has more than %d vertices", imp.line, ASC_MAX_VERTICES);
    AscVertex& e = imp.vertices[imp.vertexCount++];
    e.x = x;
    e.y = z;
    e.z = -y;
    e.u = u;
    e.v = v;
    return 0;
}

static int StoreFace(const int32_t* points, int count)
{
    if (imp.faceCount >= ASC_MAX_FACES)
        return ShapeRefuse(kLogTag, "line %d: the listing has more than %d faces", imp.line, ASC_MAX_FACES);
    if (count > ASC_MAX_FACE_POINTS)
        return ShapeRefuse(kLogTag, "line %d: a face has more than %d points", imp.line, ASC_MAX_FACE_POINTS);
    AscFace& f = imp.faces[imp.faceCount++];
    f.count = count;
    for (int k = 0; k < count; k++) f.index[k] = points[k];
    f.material = 0;
    return 0;
}

// A face line: "Face n:  A:a B:b C:c" (the edge flags that may follow are not read); its
// indices count from the current object's first vertex.
static int FaceLine(const char* p)
{
    int32_t a, b, c;
    if (!Literal(p, "A:") || !Integer(p, &a) || !Literal(p, "B:") || !Integer(p, &b) || !Literal(p, "C:") || !Integer(p, &c))
        return ShapeRefuse(kLogTag, "line %d: a face line without A, B and C", imp.line);
    int32_t points[3] = {a + imp.faceBase, b + imp.faceBase, c + imp.faceBase};
    return StoreFace(points, 3);
}

static int Line(const char* text)
{
    const char* p = text;
    char first[16], second[16];
    Word(p, first, sizeof first);
    const char* rest = p;
    Word(p, second, sizeof second);
    bool list = strcmp(second, "list:") == 0;
    if (strcmp(first, "Vertex") == 0) {
        if (list) {
            imp.faceBase = imp.vertexCount;
            return 0;
        }
        Word(rest, second, sizeof second);
        return VertexLine(rest);
    }
    if (strcmp(first, "Face") == 0 && !list) {
        Word(rest, second, sizeof second);
        return FaceLine(rest);
    }
    return 0;
}

// ============================================================================================
// Import
// ============================================================================================

static int ReadListing(const char* fileName)
{
    int64_t size;
    if (FileCheckRead(fileName, ASC_MAX_FILE_SIZE, "a 3D Studio ASCII listing", &size) != FILE_READABLE)
        return ShapeRefuse(kLogTag, "%s: %s", fileName, FileRefusal());
    // One reader, kept: its buffer needs no clearing, only its place.
    static Reader reader;
    Reader* r = &reader;
    r->file = fileName;
    r->size = size;
    r->pos = 0;
    r->len = r->at = 0;
    char piece[ASC_LINE_CHARS + 1];
    int got, failed = 0;
    bool ended = true, lineStart;
    while (!failed) {
        lineStart = ended;
        if ((got = NextPiece(r, piece, &ended)) == 0) break;
        if (got < 0) {
            failed = ShapeRefuse(kLogTag, "%s: cannot read the file", fileName);
            break;
        }
        if (lineStart) imp.line++;
        failed = Line(piece);
    }
    return failed;
}

// Checks what was read and scales it to whole world units: the largest coordinate M becomes
// its whole part m, every coordinate c becomes the whole part of c x m / M.
static int CheckAndScale(const char* fileName)
{
    if (imp.vertexCount == 0) return ShapeRefuse(kLogTag, "%s: the listing holds no vertex", fileName);
    if (imp.faceCount == 0) return ShapeRefuse(kLogTag, "%s: the listing holds no face", fileName);
    for (int i = 0; i < imp.faceCount; i++)
        for (int k = 0; k < imp.faces[i].count; k++)
            if (imp.faces[i].index[k] < 0 || imp.faces[i].index[k] >= imp.vertexCount)
                return ShapeRefuse(kLogTag, "%s: face %d refers to vertex %d, which the listing does not have", fileName, i,
                              imp.faces[i].index[k]);
    double largest = 0;
    for (int i = 0; i < imp.vertexCount; i++) {
        const AscVertex& v = imp.vertices[i];
        largest = std::fmax(largest, std::fmax(std::fabs(v.x), std::fmax(std::fabs(v.y), std::fabs(v.z))));
    }
    // Whole world units are 32-bit values.
    if (largest >= 2147483648.0) return ShapeRefuse(kLogTag, "%s: coordinates too large for a shape", fileName);
    double whole = std::trunc(largest);
    double factor = largest > 0 ? whole / largest : 0;
    for (int i = 0; i < imp.vertexCount; i++) {
        AscVertex& v = imp.vertices[i];
        v.x = std::trunc(v.x * factor);
        v.y = std::trunc(v.y * factor);
        v.z = std::trunc(v.z * factor);
    }
    return 0;
}

// The shape from the tables, in a scratch block; then it replaces the edit buffer.
static int Build(void)
{
    ShapeBlock s = ShapeMScratch();
    ShapeMakeEmpty(s.data);
    for (int i = 0; i < imp.vertexCount; i++) {
        const AscVertex& v = imp.vertices[i];
        if (ShapeAppendVertex(&s, (int32_t)v.x, (int32_t)v.y, (int32_t)v.z) < 0)
            return ShapeRefuse(kLogTag, "the shape does not fit the edit buffer");
    }
    for (int i = 0; i < imp.faceCount; i++) {
        const AscFace& f = imp.faces[i];
        uint16_t points[ASC_MAX_FACE_POINTS];
        for (int k = 0; k < f.count; k++) points[k] = (uint16_t)f.index[k];
        if (ShapeAppendPolygonWithNormal(&s, f.count, points, (uint16_t)f.material) < 0)
            return ShapeRefuse(kLogTag, "the shape does not fit the edit buffer");
    }
    // The shape it replaces stays within reach of Undo, as with every other replacement.
    ShapeMCommitScratch(&s);
    return 0;
}

int Import3DSASCII(const char* fileName)
{
    if (!ShapeMIsInstalled()) return ShapeRefuse(kLogTag, "the shape manager is not installed");
    if (!fileName) return ShapeRefuse(kLogTag, "no file name");
    imp = {};
    imp.vertices = vertexTable;
    imp.faces = faceTable;
    // Not cleared: an entry is written whole when the listing adds it, and nothing
    // past the counts is read.
    int failed = ReadListing(fileName);
    if (!failed) failed = CheckAndScale(fileName);
    if (!failed) failed = Build();
    imp = {};
    return failed;
}

// ============================================================================================
// Export
// ============================================================================================

static void Add(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
static void Add(std::string& out, const char* fmt, ...)
{
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    out += line;
    out += "\r\n";
}

int Export3DSASCII(const char* fileName)
{
    if (!ShapeMIsInstalled()) return ShapeRefuse(kLogTag, "the shape manager is not installed");
    // Nothing here changes the buffer, so the undo copy is left as it is.
    uint8_t* b = ShapeMEdit()->data;
    int vertices = ShapeVertexCount(b);
    int polygons = ShapePolygonCount(b), faces = 0;
    uint8_t* poly = ShapeFirstPolygon(b);
    for (int i = 0; i < polygons; i++, poly = ShapeNextPolygon(poly))
        if (ShapePolyPoints(poly) >= 3) faces++;

    std::string out;
    Add(out, "Named object: \"\"");
    Add(out, "Tri-mesh, Vertices: %d  Faces %d", vertices, faces);
    if (vertices) {
        Add(out, "Vertex list:");
        for (int i = 0; i < vertices; i++) {
            int32_t p[3];
            ShapeVertexPos(b, i, p);
            Add(out, "Vertex %d:  X: %d Y: %lld  Z: %d", i, p[0], -(long long)p[2], p[1]);
        }
    }
    if (faces) {
        Add(out, "Face list:");
        int face = 0;
        poly = ShapeFirstPolygon(b);
        for (int i = 0; i < polygons; i++, poly = ShapeNextPolygon(poly))
            if (ShapePolyPoints(poly) >= 3)
                Add(out, "Face %d:  A:%d B:%d C:%d", face++, ShapePolyIndex(poly, 0), ShapePolyIndex(poly, 1),
                    ShapePolyIndex(poly, 2));
    }
    if (!fileName || FileWrite(fileName, out.data(), out.size()))
        return ShapeRefuse(kLogTag, "%s: cannot write the file", fileName ? fileName : "");
    return 0;
}
