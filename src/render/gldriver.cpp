// The hardware renderer driver over OpenGL 3.3 core. Polygons are cut into triangle (or line)
// lists in one client-side vertex array per run of equal render state; the array goes to GL
// when the state changes and at the frame's end. All per-polygon colour work follows the
// software rasteriser's rules, so that the two drivers give the same picture.
#include "render/gldriver.h"

#include <GL/glcorearb.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "base/progress.h"
#include "platform/platform.h"
#include "render/pixpack.h"
#include "render/texcache.h"
#include "render/tpage.h"

// ============================================================================================
// GL functions
// ============================================================================================

#define GL_FUNCTIONS(X)                                                                          \
    X(PFNGLGETERRORPROC, GetError)                                                               \
    X(PFNGLGETSTRINGPROC, GetString)                                                             \
    X(PFNGLENABLEPROC, Enable)                                                                   \
    X(PFNGLDISABLEPROC, Disable)                                                                 \
    X(PFNGLCOLORMASKPROC, ColorMask)                                                             \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                                             \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                                             \
    X(PFNGLBLENDFUNCSEPARATEPROC, BlendFuncSeparate)                                             \
    X(PFNGLSCISSORPROC, Scissor)                                                                 \
    X(PFNGLVIEWPORTPROC, Viewport)                                                               \
    X(PFNGLCLEARPROC, Clear)                                                                     \
    X(PFNGLCLEARDEPTHPROC, ClearDepth)                                                           \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                                           \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                                         \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                                           \
    X(PFNGLFINISHPROC, Finish)                                                                   \
    X(PFNGLDRAWARRAYSPROC, DrawArrays)                                                           \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                                         \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                                   \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                                         \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                                     \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                                     \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                                           \
    X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                                                     \
    X(PFNGLTEXIMAGE3DPROC, TexImage3D)                                                           \
    X(PFNGLTEXSUBIMAGE3DPROC, TexSubImage3D)                                                     \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                                 \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                                           \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                                 \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                                       \
    X(PFNGLFRAMEBUFFERTEXTURELAYERPROC, FramebufferTextureLayer)                                 \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)                                 \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                                   \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                                                 \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                                               \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                                         \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                                               \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                                         \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                                           \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                                     \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                                           \
    X(PFNGLBUFFERDATAPROC, BufferData)                                                           \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                                                 \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                                           \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                                                 \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)                                 \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                                         \
    X(PFNGLCREATESHADERPROC, CreateShader)                                                       \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                                       \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                                     \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                                         \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                                               \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                                       \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                                     \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                                       \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)                                           \
    X(PFNGLBINDFRAGDATALOCATIONPROC, BindFragDataLocation)                                       \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                                         \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                                       \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                                             \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                                     \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                                           \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                                           \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                                             \
    X(PFNGLUNIFORM2FPROC, Uniform2f)

static struct {
#define GL_MEMBER(type, name) type name;
    GL_FUNCTIONS(GL_MEMBER)
#undef GL_MEMBER
} glApi;

// ============================================================================================
// State
// ============================================================================================

// One vertex as the shaders take it. Colours are in the units the fragment rule wants: 8-bit
// components for plain colours, shade levels (64 = 1.0) for lit texels; the blend level in
// 32 parts (32 = invisible).
struct GLVertex {
    float x, y, z;
    float c[4];
    float u, v, layer, mode;
    float block[4];          // the sprite's texels in its page: x, y, width, height
    float key;               // the texel colour 0xRRGGBB left out with FM_KEY, or -1
};

// Fragment modes (the vertex's mode word).
enum {
    FM_COLOUR = 0,
    FM_LIT = 1,              // texel x shade level
    FM_UNLIT = 2,            // texel as it is
    FM_KEY = 4,              // texels of alpha 0, or of the sprite's key colour, are left out
};

enum { PRIM_TRIANGLES, PRIM_LINES };
enum { DEPTH_NONE, DEPTH_TESTED };

enum {
    RING_MAX = 64,                 // longer rings are not drawn (as in the software path)
    PAGE_EDGE = 1024,              // the largest texture page edge
    PAGE_LAYERS_MAX = 64,                // layers of the page texture
    ERROR_TEXT = 256,
};

// The fragment programs.
enum { PROGRAM_COLOUR, PROGRAM_NEAREST, PROGRAM_BILINEAR, PROGRAM_COUNT };

struct Batch {
    int prim, depth, blend, program;
};

static struct {
    int active;
    int textures;            // texture loading on
    char error[ERROR_TEXT];
    // Render-state cache.
    uint32_t stateValue[GLDRV_RS_COUNT];
    uint8_t stateValid[GLDRV_RS_COUNT];
    GlDrvCounters stats;
    // GL objects.
    GLuint programs[PROGRAM_COUNT], vao, vbo, fbo, colour, depth, pages;
    GLint uScale[PROGRAM_COUNT];
    int fbWidth, fbHeight;   // the offscreen framebuffer's size
    // The frame.
    int frameOpen;
    int drawable;            // the frame's target can be drawn into
    int uploaded;            // the view region is in the offscreen framebuffer
    int drawn;               // a polygon reached the offscreen framebuffer
    VideoSurface target;
    int vx0, vy0, vx1, vy1;  // the view region in buffer pixels (inclusive)
    int warnedTarget;
    float nearZ, farZ;
    int32_t background[3];
    // The batch.
    Batch batch;
    GLVertex* verts;
    int vertCount, vertCapacity;
    uint8_t* pixels;         // readback and upload rows
    size_t pixelCapacity;
    // Texture pages: the array texture's size and which layers hold a page.
    int pageEdge, pageLayers;
    uint8_t layerUsed[PAGE_LAYERS_MAX];
} glDrv;

// ============================================================================================
// Errors
// ============================================================================================

static const char* GLErrorText(GLenum e)
{
    switch (e) {
    case GL_INVALID_ENUM: return "An unacceptable value is specified for an enumerated argument.";
    case GL_INVALID_VALUE: return "A numeric argument is out of range.";
    case GL_INVALID_OPERATION: return "The specified operation is not allowed in the current state.";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "The framebuffer object is not complete.";
    case GL_OUT_OF_MEMORY: return "There is not enough memory left to execute the command.";
    case GL_STACK_UNDERFLOW: return "An operation would cause an internal stack to underflow.";
    case GL_STACK_OVERFLOW: return "An operation would cause an internal stack to overflow.";
    default: return "Unknown error.";
    }
}

// Reports GL's pending errors after an operation: "what" and then each code with its text,
// only while consistency checks are on (reading errors costs a little on every call).
static void CheckGL(const char* what)
{
    if (!Draw3DChecking() || !glApi.GetError) return;
    for (int i = 0; i < 8; i++) {
        GLenum e = glApi.GetError();
        if (e == GL_NO_ERROR) return;
        glDrv.stats.errors++;
        LogPrintf(LOG_ERROR, "%s", what);
        LogPrintf(LOG_ERROR, "D3 Reporting error %d : %s", (int)e, GLErrorText(e));
    }
}

// ============================================================================================
// Render-state cache
// ============================================================================================

void GlDrvInvalidateStates(void) { memset(glDrv.stateValid, 0, sizeof glDrv.stateValid); }

void GlDrvSetRenderState(int state, uint32_t value)
{
    if (!glDrv.active || state < 0 || state >= GLDRV_RS_COUNT) return;
    if (glDrv.stateValid[state] && glDrv.stateValue[state] == value) return;
    glDrv.stateValid[state] = 1;
    glDrv.stateValue[state] = value;
    glDrv.stats.stateCalls++;
    switch (state) {
    case GLDRV_RS_DEPTH_TEST: value ? glApi.Enable(GL_DEPTH_TEST) : glApi.Disable(GL_DEPTH_TEST); break;
    case GLDRV_RS_DEPTH_FUNC: glApi.DepthFunc(value == GLDRV_DEPTH_GEQUAL ? GL_GEQUAL : GL_GREATER); break;
    case GLDRV_RS_DEPTH_WRITE: glApi.DepthMask(value ? GL_TRUE : GL_FALSE); break;
    case GLDRV_RS_BLEND: value ? glApi.Enable(GL_BLEND) : glApi.Disable(GL_BLEND); break;
    case GLDRV_RS_PROGRAM: glApi.UseProgram(value < PROGRAM_COUNT ? glDrv.programs[value] : 0); break;
    case GLDRV_RS_SCISSOR: value ? glApi.Enable(GL_SCISSOR_TEST) : glApi.Disable(GL_SCISSOR_TEST); break;
    }
    CheckGL("SetRenderState failed - ");
}

// ============================================================================================
// Shaders
// ============================================================================================

// Everything is already in screen pixels: w stays 1, so every attribute is linear over the
// screen, as the software rasteriser interpolates them.
static const char* VERTEX_SHADER = R"(
in vec3 aPos;
in vec4 aColour;
in vec4 aTex;
in vec4 aBlock;
in float aKey;
uniform vec2 uScale;
noperspective out vec4 vColour;
noperspective out vec2 vUV;
flat out vec4 vBlock;
flat out vec2 vPage;
flat out float vKey;
void main()
{
    vKey = aKey;
    gl_Position = vec4(aPos.x * uScale.x - 1.0, aPos.y * uScale.y - 1.0, aPos.z * 2.0 - 1.0, 1.0);
    vColour = aColour;
    vUV = aTex.xy;
    vPage = aTex.zw;
    vBlock = aBlock;
}
)";

// The colour rules of the software spans: plain colours are whole 8-bit components; a lit
// texel is texel x level / 64 with whole shade levels; blend levels are whole 32nds. Texels
// are read inside the sprite's block only, wrapping there.
static const char* FRAGMENT_SHADER = R"(
noperspective in vec4 vColour;
noperspective in vec2 vUV;
flat in vec4 vBlock;
flat in vec2 vPage;
flat in float vKey;
uniform sampler2DArray uPages;
out vec4 oColour;
#if TEXTURED
vec4 Fetch(ivec2 t, ivec2 size, int layer)
{
    t = ivec2(mod(vec2(t), vec2(size)));
    return texelFetch(uPages, ivec3(ivec2(vBlock.xy) + t, layer), 0);
}
vec4 Texel(int layer)
{
    ivec2 size = max(ivec2(vBlock.zw), ivec2(1));
    // A texel edge through a pixel centre goes to the texel before it, as in the software's
    // sums (their steps are truncated): a rounding's worth back.
    vec2 f = fract(vUV - 1.0 / 262144.0) * vec2(size);
#if BILINEAR
    vec2 p = f - 0.5, i = floor(p), w = p - i;
    ivec2 t = ivec2(i);
    vec4 a = mix(Fetch(t, size, layer), Fetch(t + ivec2(1, 0), size, layer), w.x);
    vec4 b = mix(Fetch(t + ivec2(0, 1), size, layer), Fetch(t + ivec2(1, 1), size, layer), w.x);
    return mix(a, b, w.y);
#else
    return Fetch(min(ivec2(f), size - 1), size, layer);
#endif
}
#endif
void main()
{
    float level = floor(max(vColour.a, 0.0));
    if (level >= 32.0) discard;
#if TEXTURED
    int mode = int(vPage.y);
    vec4 t = Texel(int(vPage.x));
    vec3 texel = floor(t.rgb * 255.0 + 0.5);
    if ((mode & 4) != 0 && (t.a < 0.5 || dot(texel, vec3(65536.0, 256.0, 1.0)) == vKey)) discard;
    vec3 c = (mode & 3) == 1 ? min(floor(texel * clamp(floor(vColour.rgb), 0.0, 127.0) / 64.0), vec3(255.0)) : texel;
#else
    vec3 c = clamp(floor(vColour.rgb), 0.0, 255.0);
#endif
    oColour = vec4(c / 255.0, (32.0 - level) / 32.0);
}
)";

static GLuint Compile(GLenum kind, const char* defines, const char* source, const char* what)
{
    GLuint s = glApi.CreateShader(kind);
    const char* parts[3] = {"#version 330 core\n", defines, source};
    glApi.ShaderSource(s, 3, parts, nullptr);
    glApi.CompileShader(s);
    GLint ok = 0;
    glApi.GetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char info[160] = "";
        glApi.GetShaderInfoLog(s, sizeof info, nullptr, info);
        snprintf(glDrv.error, sizeof glDrv.error, "D3Activate - the %s shader does not compile: %s", what, info);
        glApi.DeleteShader(s);
        return 0;
    }
    return s;
}

enum { ATTR_POS, ATTR_COLOUR, ATTR_TEX, ATTR_BLOCK, ATTR_KEY };

// The fragment rule's variants: plain colours, and texels nearest or filtered. Each has a
// program of its own rather than a branch: a software GL runs both sides of a branch.
static const char* PROGRAM_DEFINES[PROGRAM_COUNT] = {
    "#define TEXTURED 0\n#define BILINEAR 0\n",
    "#define TEXTURED 1\n#define BILINEAR 0\n",
    "#define TEXTURED 1\n#define BILINEAR 1\n",
};

static GLuint BuildProgram(int variant)
{
    GLuint vs = Compile(GL_VERTEX_SHADER, "", VERTEX_SHADER, "vertex");
    if (!vs) return 0;
    GLuint fs = Compile(GL_FRAGMENT_SHADER, PROGRAM_DEFINES[variant], FRAGMENT_SHADER, "fragment");
    if (!fs) {
        glApi.DeleteShader(vs);
        return 0;
    }
    GLuint p = glApi.CreateProgram();
    glApi.AttachShader(p, vs);
    glApi.AttachShader(p, fs);
    glApi.BindAttribLocation(p, ATTR_POS, "aPos");
    glApi.BindAttribLocation(p, ATTR_COLOUR, "aColour");
    glApi.BindAttribLocation(p, ATTR_TEX, "aTex");
    glApi.BindAttribLocation(p, ATTR_BLOCK, "aBlock");
    glApi.BindAttribLocation(p, ATTR_KEY, "aKey");
    glApi.BindFragDataLocation(p, 0, "oColour");
    glApi.LinkProgram(p);
    glApi.DeleteShader(vs);
    glApi.DeleteShader(fs);
    GLint ok = 0;
    glApi.GetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char info[160] = "";
        glApi.GetProgramInfoLog(p, sizeof info, nullptr, info);
        snprintf(glDrv.error, sizeof glDrv.error, "D3Activate - the shaders do not link: %s", info);
        glApi.DeleteProgram(p);
        return 0;
    }
    glApi.UseProgram(p);
    GLint pages = glApi.GetUniformLocation(p, "uPages");
    if (pages >= 0) glApi.Uniform1i(pages, 0);
    glDrv.uScale[variant] = glApi.GetUniformLocation(p, "uScale");
    return p;
}

static int BuildPrograms(void)
{
    for (int i = 0; i < PROGRAM_COUNT; i++)
        if (!(glDrv.programs[i] = BuildProgram(i))) return 0;
    return 1;
}

// ============================================================================================
// The offscreen framebuffer
// ============================================================================================

// Colour (RGBA8: alpha marks the pixels polygons covered) and a 32-bit float depth, of the
// drawing target's whole buffer. 1, or 0 when GL cannot complete it.
static int SizeFramebuffer(int width, int height)
{
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    if (glDrv.fbo && width == glDrv.fbWidth && height == glDrv.fbHeight) return 1;
    if (!glDrv.fbo) {
        glApi.GenFramebuffers(1, &glDrv.fbo);
        glApi.GenTextures(1, &glDrv.colour);
        glApi.GenRenderbuffers(1, &glDrv.depth);
    }
    glApi.BindTexture(GL_TEXTURE_2D, glDrv.colour);
    glApi.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glApi.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glApi.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glApi.BindTexture(GL_TEXTURE_2D, 0);
    glApi.BindRenderbuffer(GL_RENDERBUFFER, glDrv.depth);
    glApi.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32F, width, height);
    glApi.BindRenderbuffer(GL_RENDERBUFFER, 0);
    glApi.BindFramebuffer(GL_FRAMEBUFFER, glDrv.fbo);
    glApi.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, glDrv.colour, 0);
    glApi.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, glDrv.depth);
    GLenum status = glApi.CheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        snprintf(glDrv.error, sizeof glDrv.error, "D3Activate ZBuffer create failed -  framebuffer incomplete (0x%X)",
                 (unsigned)status);
        glDrv.fbWidth = glDrv.fbHeight = 0;
        return 0;
    }
    glDrv.fbWidth = width;
    glDrv.fbHeight = height;
    glApi.Viewport(0, 0, width, height);
    for (int i = 0; i < PROGRAM_COUNT; i++) {
        glApi.UseProgram(glDrv.programs[i]);
        glApi.Uniform2f(glDrv.uScale[i], 2.0f / (float)width, 2.0f / (float)height);
    }
    glDrv.stateValid[GLDRV_RS_PROGRAM] = 0;
    return 1;
}

static uint64_t Nanoseconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return (uint64_t)std::chrono::duration_cast<std::chrono::nanoseconds>(b - a).count();
}

static uint8_t* PixelRows(size_t bytes)
{
    if (bytes > glDrv.pixelCapacity) {
        uint8_t* p = (uint8_t*)realloc(glDrv.pixels, bytes);
        if (!p) return nullptr;
        glDrv.pixels = p;
        glDrv.pixelCapacity = bytes;
    }
    return glDrv.pixels;
}

// A channel of a pixel (mask, lowest bit, width) as an 8-bit component at the top of the byte,
// so that packing it again gives the same bits.
struct Channel {
    uint32_t mask;
    int shift, width;
};
static void Channels(Channel ch[3])
{
    const PixPackTables* t = PixPackCurrent();
    for (int c = 0; c < 3; c++) {
        ch[c].mask = t->mask[c];
        ch[c].shift = t->mask[c] ? __builtin_ctz(t->mask[c]) : 0;
        ch[c].width = __builtin_popcount(t->mask[c]);
    }
}
static inline uint32_t Unpack(uint32_t pix, const Channel& c)
{
    uint32_t v = (pix & c.mask) >> c.shift;
    return c.width >= 8 ? v >> (c.width - 8) : v << (8 - c.width);
}

// The view region of the target into the offscreen framebuffer, alpha 0 (not covered). The
// platform's own layouts (5-6-5, X8-R8-G8-B8) go to GL as they are, their alpha cleared
// after; others are unpacked here first.
static void UploadView(void)
{
    auto t0 = std::chrono::steady_clock::now();
    glDrv.uploaded = 1;
    const VideoSurface& s = glDrv.target;
    int w = glDrv.vx1 - glDrv.vx0 + 1, h = glDrv.vy1 - glDrv.vy0 + 1;
    int bytes = s.bpp / 8;
    Channel ch[3];
    Channels(ch);
    bool rgb565 = bytes == 2 && ch[0].mask == 0xF800 && ch[1].mask == 0x07E0 && ch[2].mask == 0x1F;
    bool rgb888 = bytes == 4 && ch[0].mask == 0xFF0000 && ch[1].mask == 0xFF00 && ch[2].mask == 0xFF;
    glApi.BindTexture(GL_TEXTURE_2D, glDrv.colour);
    if ((rgb565 || rgb888) && s.pitch % bytes == 0) {
        const uint8_t* first = s.pixels + (size_t)glDrv.vy0 * s.pitch + (size_t)glDrv.vx0 * bytes;
        glApi.PixelStorei(GL_UNPACK_ALIGNMENT, bytes);
        glApi.PixelStorei(GL_UNPACK_ROW_LENGTH, s.pitch / bytes);
        if (rgb565)
            glApi.TexSubImage2D(GL_TEXTURE_2D, 0, glDrv.vx0, glDrv.vy0, w, h, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, first);
        else
            glApi.TexSubImage2D(GL_TEXTURE_2D, 0, glDrv.vx0, glDrv.vy0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, first);
        glApi.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        // The scissor holds the view region: only its alpha is cleared.
        glApi.ColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
        glApi.Clear(GL_COLOR_BUFFER_BIT);
        glApi.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    } else {
        uint8_t* rows = PixelRows((size_t)w * h * 4);
        if (!rows) return;
        for (int y = 0; y < h; y++) {
            const uint8_t* src = s.pixels + (size_t)(glDrv.vy0 + y) * s.pitch + (size_t)glDrv.vx0 * bytes;
            uint32_t* dst = (uint32_t*)(rows + (size_t)y * w * 4);
            for (int x = 0; x < w; x++) {
                uint32_t pix = bytes == 2 ? ((const uint16_t*)src)[x] : ((const uint32_t*)src)[x];
                dst[x] = Unpack(pix, ch[0]) | Unpack(pix, ch[1]) << 8 | Unpack(pix, ch[2]) << 16;
            }
        }
        glApi.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glApi.TexSubImage2D(GL_TEXTURE_2D, 0, glDrv.vx0, glDrv.vy0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows);
    }
    glDrv.stats.uploads++;
    glDrv.stats.uploadNs = Nanoseconds(t0, std::chrono::steady_clock::now());
    CheckGL("D3 upload of the view failed -");
}

// The covered pixels of the view region back into the target, packed as the software spans
// pack 8-bit components.
static void ReadBackView(void)
{
    // The drawing finishes first, so that the readback's own time can be told apart.
    auto t0 = std::chrono::steady_clock::now();
    glApi.Finish();
    auto t1 = std::chrono::steady_clock::now();
    glDrv.stats.finishNs = Nanoseconds(t0, t1);
    const VideoSurface& s = glDrv.target;
    int w = glDrv.vx1 - glDrv.vx0 + 1, h = glDrv.vy1 - glDrv.vy0 + 1;
    uint8_t* rows = PixelRows((size_t)w * h * 4);
    if (!rows) return;
    glApi.PixelStorei(GL_PACK_ALIGNMENT, 4);
    glApi.ReadPixels(glDrv.vx0, glDrv.vy0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows);
    CheckGL("D3 readback of the view failed -");
    const PixPackTables* t = PixPackCurrent();
    int bytes = s.bpp / 8;
    bool rgb888 = bytes == 4 && t->mask[0] == 0xFF0000 && t->mask[1] == 0xFF00 && t->mask[2] == 0xFF;
    for (int y = 0; y < h; y++) {
        const uint32_t* src = (const uint32_t*)(rows + (size_t)y * w * 4);
        uint8_t* dst = s.pixels + (size_t)(glDrv.vy0 + y) * s.pitch + (size_t)glDrv.vx0 * bytes;
        for (int x = 0; x < w; x++) {
            uint32_t c = src[x];
            if (!(c >> 24)) continue;
            uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
            if (rgb888)
                ((uint32_t*)dst)[x] = r << 16 | g << 8 | b;
            else if (bytes == 2)
                ((uint16_t*)dst)[x] = (uint16_t)(t->chan[0][r] | t->chan[1][g] | t->chan[2][b]);
            else
                ((uint32_t*)dst)[x] = t->chan[0][r] | t->chan[1][g] | t->chan[2][b];
        }
    }
    glDrv.stats.readbacks++;
    glDrv.stats.readbackNs = Nanoseconds(t1, std::chrono::steady_clock::now());
}

// ============================================================================================
// Batches
// ============================================================================================

static void FlushBatch(void)
{
    if (!glDrv.vertCount) return;
    if (!glDrv.uploaded) UploadView();
    const Batch& b = glDrv.batch;
    GlDrvSetRenderState(GLDRV_RS_DEPTH_TEST, b.depth != DEPTH_NONE);
    if (b.depth != DEPTH_NONE) {
        // At equal depth the later polygon shows, as in the software Z-buffer; a chained one
        // sits a little nearer besides (WindowDepth).
        GlDrvSetRenderState(GLDRV_RS_DEPTH_FUNC, GLDRV_DEPTH_GEQUAL);
        GlDrvSetRenderState(GLDRV_RS_DEPTH_WRITE, 1);
    }
    GlDrvSetRenderState(GLDRV_RS_BLEND, b.blend);
    GlDrvSetRenderState(GLDRV_RS_PROGRAM, (uint32_t)b.program);
    glApi.BufferData(GL_ARRAY_BUFFER, (GLsizeiptr)glDrv.vertCount * sizeof(GLVertex), glDrv.verts, GL_STREAM_DRAW);
    glApi.DrawArrays(b.prim == PRIM_LINES ? GL_LINES : GL_TRIANGLES, 0, glDrv.vertCount);
    glDrv.stats.draws++;
    if (b.prim == PRIM_LINES)
        glDrv.stats.lines += glDrv.vertCount / 2;
    else
        glDrv.stats.triangles += glDrv.vertCount / 3;
    glDrv.vertCount = 0;
    glDrv.drawn = 1;
    CheckGL(b.prim == PRIM_LINES ? "DrawPrimitive (Lines) failed -" : "DrawPrimitive failed -");
}

// Room for n more vertices of a batch in this state: the batch so far goes first when its
// state differs. Null when memory cannot be had.
static GLVertex* Reserve(const Batch& b, int n)
{
    Batch& cur = glDrv.batch;
    if (cur.prim != b.prim || cur.depth != b.depth || cur.blend != b.blend || cur.program != b.program) {
        FlushBatch();
        cur = b;
    }
    if (glDrv.vertCount + n > glDrv.vertCapacity) {
        int cap = glDrv.vertCapacity ? glDrv.vertCapacity : 4096;
        while (cap < glDrv.vertCount + n) cap *= 2;
        GLVertex* v = (GLVertex*)realloc(glDrv.verts, (size_t)cap * sizeof(GLVertex));
        if (!v) return nullptr;
        glDrv.verts = v;
        glDrv.vertCapacity = cap;
    }
    GLVertex* out = glDrv.verts + glDrv.vertCount;
    glDrv.vertCount += n;
    return out;
}

// ============================================================================================
// Texture pages: layers of one array texture
// ============================================================================================

// Makes the array texture hold at least `layers` layers of at least edge x edge texels,
// keeping what the used layers hold. 0 when GL cannot have it.
static int GrowPages(int edge, int layers)
{
    if (edge <= glDrv.pageEdge && layers <= glDrv.pageLayers) return 1;
    int newEdge = edge > glDrv.pageEdge ? edge : glDrv.pageEdge;
    int newLayers = layers > glDrv.pageLayers ? layers : glDrv.pageLayers;
    if (newLayers < 2 * glDrv.pageLayers) newLayers = 2 * glDrv.pageLayers;   // fewer copies as pages come
    if (newLayers > PAGE_LAYERS_MAX) newLayers = PAGE_LAYERS_MAX;
    GLuint tex = 0;
    glApi.GenTextures(1, &tex);
    glApi.ActiveTexture(GL_TEXTURE0);
    glApi.BindTexture(GL_TEXTURE_2D_ARRAY, tex);
    glApi.TexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glApi.TexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glApi.TexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAX_LEVEL, 0);
    glApi.TexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA8, newEdge, newEdge, newLayers, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    if (glApi.GetError() != GL_NO_ERROR) {
        glApi.DeleteTextures(1, &tex);
        glApi.BindTexture(GL_TEXTURE_2D_ARRAY, glDrv.pages);
        return 0;
    }
    // The used layers move across through a pair of framebuffers.
    GLuint fb[2] = {0, 0};
    glApi.GenFramebuffers(2, fb);
    glApi.BindFramebuffer(GL_READ_FRAMEBUFFER, fb[0]);
    glApi.BindFramebuffer(GL_DRAW_FRAMEBUFFER, fb[1]);
    GlDrvSetRenderState(GLDRV_RS_SCISSOR, 0);
    for (int l = 0; l < glDrv.pageLayers; l++) {
        if (!glDrv.layerUsed[l]) continue;
        glApi.FramebufferTextureLayer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, glDrv.pages, 0, l);
        glApi.FramebufferTextureLayer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, tex, 0, l);
        glApi.BlitFramebuffer(0, 0, glDrv.pageEdge, glDrv.pageEdge, 0, 0, glDrv.pageEdge, glDrv.pageEdge, GL_COLOR_BUFFER_BIT,
                           GL_NEAREST);
    }
    glApi.BindFramebuffer(GL_FRAMEBUFFER, glDrv.fbo);
    glApi.DeleteFramebuffers(2, fb);
    glApi.DeleteTextures(1, &glDrv.pages);
    glDrv.pages = tex;
    glDrv.pageEdge = newEdge;
    glDrv.pageLayers = newLayers;
    CheckGL("D3 texture pages grow failed -");
    return 1;
}

// A free layer for a page of size x size texels, or -1.
static int ReserveLayer(int size)
{
    if (size < 1 || size > PAGE_EDGE) return -1;
    int layer = 0;
    while (layer < PAGE_LAYERS_MAX && glDrv.layerUsed[layer]) layer++;
    if (layer == PAGE_LAYERS_MAX || !GrowPages(size, layer + 1)) return -1;
    glDrv.layerUsed[layer] = 1;
    return layer;
}

// A page's texels (size x size, rows from the top, in the page format) into its layer:
// 32-bit 0xAARRGGBB and 16-bit A1-R5-G5-B5 words, little-endian, as GL takes them.
static void StoreLayer(int layer, int size, int format, const uint8_t* texels)
{
    glApi.ActiveTexture(GL_TEXTURE0);
    glApi.BindTexture(GL_TEXTURE_2D_ARRAY, glDrv.pages);
    glApi.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (format == TPAGE_ARGB1555) {
        glApi.PixelStorei(GL_UNPACK_ALIGNMENT, 2);
        glApi.TexSubImage3D(GL_TEXTURE_2D_ARRAY, 0, 0, 0, layer, size, size, 1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV,
                         texels);
    } else {
        glApi.PixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glApi.TexSubImage3D(GL_TEXTURE_2D_ARRAY, 0, 0, 0, layer, size, size, 1, GL_BGRA, GL_UNSIGNED_BYTE, texels);
    }
    CheckGL("D3LoadPage - Load failed -");
}

static void ReleaseLayer(int layer)
{
    if (layer >= 0 && layer < PAGE_LAYERS_MAX) glDrv.layerUsed[layer] = 0;
}

// ============================================================================================
// Texture pages through TPage
// ============================================================================================

// A page's handle: a mark and its layer.
static const uint8_t PAGE_MARK[4] = {'G', 'L', 'P', 'G'};

static int PageLayer(const uint8_t* handle)
{
    if (!handle || memcmp(handle, PAGE_MARK, sizeof PAGE_MARK) != 0) return -1;
    uint32_t layer = GetU32(handle, 4);
    return layer < PAGE_LAYERS_MAX ? (int)layer : -1;
}

static void SetPageLayer(uint8_t* handle, int layer)
{
    memset(handle, 0, TPAGE_HANDLE_BYTES);
    if (layer < 0) return;
    memcpy(handle, PAGE_MARK, sizeof PAGE_MARK);
    PutU32(handle, 4, (uint32_t)layer);
}

// Reserves a layer for the page (and probes, when TPage tries a size), and at upload copies
// its texels into it.
static int GLLoadPage(int size, int reserved, int format, TPageRecord* page, uint32_t flags)
{
    PlatGLMakeCurrent();   // the window may have been presented since
    (void)reserved;
    (void)flags;
    LogPrintf(LOG_DEBUG, "TEXTURES: D3LoadPage, %d", size);
    if (!glDrv.active || !page) return 1;
    if (format != TPAGE_RGBA32 && format != TPAGE_RGBA32_KEYED && format != TPAGE_ARGB1555) {
        LogPrintf(LOG_ERROR, "D3CreateTexture - pixel size error (format %d)", format);
        return 1;
    }
    int layer = PageLayer(page->handle);
    if (layer < 0) {
        layer = ReserveLayer(size);
        if (layer < 0) {
            LogPrintf(LOG_ERROR, "D3LoadPage - CreateSurface (system) failed - no layer for a page of %d", size);
            return 1;
        }
        SetPageLayer(page->handle, layer);
        LogPrintf(LOG_DEBUG, "TEXTURES: Got TextInt %d", layer);
    }
    if (page->texels) StoreLayer(layer, size, format, page->texels);
    return 0;
}

static void GLRemovePage(TPageRecord* page)
{
    PlatGLMakeCurrent();   // the window may have been presented since
    int layer = page ? PageLayer(page->handle) : -1;
    LogPrintf(LOG_DEBUG, "TEXTURES: D3RemovePage, %d", layer);
    if (layer < 0) return;
    LogPrintf(LOG_DEBUG, "TEXTURES: Releasing TextInt %d", layer);
    ReleaseLayer(layer);
    SetPageLayer(page->handle, -1);
}

static void GLFreePage(TPageRecord* page)
{
    PlatGLMakeCurrent();   // the window may have been presented since
    LogPrintf(LOG_DEBUG, "TEXTURES: D3FreePage, %d", page ? PageLayer(page->handle) : -1);
    GLRemovePage(page);
}

// The driver record's texture routines. The sprite is read in first: the pages are made from
// loaded sprites.
static int GLLoadTexture(ResId id, uint32_t flags)
{
    if (!glDrv.active || !glDrv.textures) return 1;
    if (ResLoad(id) != 0) return 1;
    return TPageLoadText(id, flags);
}

static void GLFreeTexture(ResId id) { TPageFreeTexture(id); }

// 32-bit sprites keep every texel's colour (their key colour is left out by the shader, by
// the sprite's key); 8-bit sprites with a transparent index go to the keyed format.
static void GLStartTextures(void)
{
    PlatGLMakeCurrent();   // the window may have been presented since
    if (glDrv.active && glDrv.textures)
        TPageStartLoad(TPAGE_RGBA32, TPAGE_RGBA32, TPAGE_RGBA32_KEYED);
    else
        TPageStartLoad(TPAGE_NONE, TPAGE_NONE, TPAGE_NONE);
}

static void GLEndTextures(ProgressFn progress)
{
    PlatGLMakeCurrent();   // the window may have been presented since
    if (glDrv.active && glDrv.textures) TPageEndLoad(progress);
}

static void GLAfterUnload(void) { TPageUnLoad(); }

// ============================================================================================
// Polygons
// ============================================================================================

static const double SCREEN_LIMIT = 65536.0;
static const int32_t MARGIN = 0x800;   // keeps interpolated values inside their ranges, as the spans do

// Where a sprite's texels are: its page's layer and its block in the page, in texels.
struct TexPlace {
    float layer;
    float block[4];
    float key;               // a 32-bit sprite's key colour 0xRRGGBB, or -1
};

// The sprite's page layer, block and key colour; 0 when it has no page (then it draws as
// untextured).
static int TexturePlace(ResId id, TexPlace* out)
{
    TPagePlace place;
    if (!id || !TPagePlacement(id, &place)) return 0;
    int layer = PageLayer(place.handle);
    if (layer < 0 || place.w < 1 || place.h < 1) return 0;
    out->layer = (float)layer;
    out->block[0] = (float)place.x;
    out->block[1] = (float)place.y;
    out->block[2] = (float)place.w;
    out->block[3] = (float)place.h;
    TexCacheEntry t;
    out->key = TexCacheGet(id, &t) && t.bpp == 32 ? (float)(t.key & 0xFFFFFF) : -1.0f;
    return 1;
}

static inline double Clamp(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

// A 16.16 value shifted down to span units and held inside lo..hi, as the spans take it.
static inline double Component(int64_t value, int shift, int64_t lo, int64_t hi)
{
    int64_t v = value >> shift;
    return (double)(v < lo ? lo : v > hi ? hi : v);
}

// A vertex's lit colour (with its specular colour) as whole 8-bit components.
static void VertexRGB(const D3Vertex* q, float out[3])
{
    out[0] = (float)Component((int64_t)q->r + q->sr, 22, 0, 255) + 0.5f;
    out[1] = (float)Component((int64_t)q->g + q->sg, 22, 0, 255) + 0.5f;
    out[2] = (float)Component((int64_t)q->b + q->sb, 22, 0, 255) + 0.5f;
}

// Window depth: the software depth rule (2^39 / z) over the span of its 32-bit buffer
// (2^31 = 1.0), so that planes of clipped polygons keep the same room above the nearest
// depth as the software spans have.
static const double DEPTH_SCALE = 256.0;   // 2^39 / 2^31

static inline double WindowDepth(float z, int chained)
{
    double d = DEPTH_SCALE / Clamp(std::isnan(z) ? 0.0 : (double)z, (double)D3_NEAREST_Z, 2147483647.0);
    // A chained polygon lies on the one it is chained to: a little nearer keeps it on top
    // where rounding would let the two fight.
    if (chained) d += d / 4096 + 2048.0 / 2147483648.0;
    return d > 1.0 ? 1.0 : d;
}

// The software rasteriser spreads each attribute over a polygon as one plane, through the
// vertex triple of largest area; a ring of more than three vertices whose attributes are not
// planar would give other values in each triangle of a fan. The ring's vertices take the
// plane's values instead. 0 when the polygon has no area (not drawn, as in software).
static int FlattenAttributes(GLVertex* v, const double* sx, const double* sy, const double* depth, int n)
{
    // The same sums in the same order as the software's, on its own screen coordinates: a
    // near tie between two triples must go the same way.
    int i1 = 1;
    double area = 0;
    for (int i = 1; i + 1 < n; i++) {
        double cross = (sx[i] - sx[0]) * (sy[i + 1] - sy[0]) - (sx[i + 1] - sx[0]) * (sy[i] - sy[0]);
        if (std::fabs(cross) > std::fabs(area)) {
            area = cross;
            i1 = i;
        }
    }
    if (!(std::fabs(area) > 1e-9)) return 0;
    if (n == 3) return 1;
    const int i2 = i1 + 1;
    const double g0 = sy[i2] - sy[0], g1 = sy[i1] - sy[0], g2 = sx[i1] - sx[0], g3 = sx[i2] - sx[0], inv = 1.0 / area;
    enum { ATTRS = 7 };   // four colour words, depth, u, v
    auto get = [&](int i, int a) -> double {
        return a < 4 ? v[i].c[a] : a == 4 ? depth[i] : a == 5 ? v[i].u : v[i].v;
    };
    double base[ATTRS], gx[ATTRS], gy[ATTRS];
    for (int a = 0; a < ATTRS; a++) {
        double a0 = get(0, a), e1 = get(i1, a) - a0, e2 = get(i2, a) - a0;
        base[a] = a0;
        gx[a] = (e1 * g0 - e2 * g1) * inv;
        gy[a] = (e2 * g2 - e1 * g3) * inv;
    }
    for (int i = 0; i < n; i++) {
        double dx = sx[i] - sx[0], dy = sy[i] - sy[0];
        for (int a = 0; a < ATTRS; a++) {
            double value = base[a] + dx * gx[a] + dy * gy[a];
            if (a < 4)
                v[i].c[a] = (float)value;
            else if (a == 4)   // held inside 0..1 per pixel by the depth clamp, as the spans are
                v[i].z = (float)Clamp(value, -16.0, 16.0);
            else if (a == 5)
                v[i].u = (float)value;
            else
                v[i].v = (float)value;
        }
    }
    return 1;
}

static inline int FrameReady(const D3Polygon* p) { return glDrv.frameOpen && glDrv.drawable && p && p->ring; }

// A filled polygon in a fragment mode: flat (FM_COLOUR with flat), smooth colours, lit or
// unlit texels; with or without depth and blending.
static void DrawFill(D3Polygon* p, int mode, bool flat, int depth, bool blend, const TexPlace* tex)
{
    if (!FrameReady(p)) return;
    GLVertex v[RING_MAX];
    double sx[RING_MAX], sy[RING_MAX], wz[RING_MAX];
    int n = 0;
    float flatRGB[3];
    VertexRGB(p->ring, flatRGB);
    const D3Vertex* q = p->ring;
    int chained = p->chained != 0;
    bool lit = (mode & 3) == FM_LIT;
    do {
        if (n == RING_MAX || !q) return;
        if (!std::isfinite(q->sx) || !std::isfinite(q->sy)) return;
        GLVertex& o = v[n];
        sx[n] = Clamp(q->sx, -SCREEN_LIMIT, SCREEN_LIMIT);
        sy[n] = Clamp(q->sy, -SCREEN_LIMIT, SCREEN_LIMIT);
        wz[n] = depth == DEPTH_NONE ? 0.5 : WindowDepth(q->z, chained);
        n++;
        o.x = (float)(sx[n - 1] + glDrv.target.originX);
        o.y = (float)(sy[n - 1] + glDrv.target.originY);
        o.z = (float)wz[n - 1];
        if (flat) {
            o.c[0] = flatRGB[0], o.c[1] = flatRGB[1], o.c[2] = flatRGB[2];
        } else {
            int shift = lit ? 8 : 6;
            int64_t top = (lit ? 0x7FFFFF : 0xFFFFFF) - MARGIN;
            o.c[0] = (float)(Component((int64_t)q->r + q->sr, shift, MARGIN, top) / 65536.0);
            o.c[1] = (float)(Component((int64_t)q->g + q->sg, shift, MARGIN, top) / 65536.0);
            o.c[2] = (float)(Component((int64_t)q->b + q->sb, shift, MARGIN, top) / 65536.0);
        }
        o.c[3] = blend ? (float)(Component(q->level, 9, MARGIN, 32 << 16) / 65536.0) : 0.0f;
        if (tex) {
            o.u = std::isfinite(q->u) ? (float)Clamp(q->u, -(1 << 20), 1 << 20) : 0.0f;
            o.v = std::isfinite(q->v) ? (float)Clamp(q->v, -(1 << 20), 1 << 20) : 0.0f;
            o.layer = tex->layer;
            memcpy(o.block, tex->block, sizeof o.block);
            o.key = tex->key;
        } else {
            o.u = o.v = o.layer = 0;
            memset(o.block, 0, sizeof o.block);
            o.key = -1;
        }
        o.mode = (float)mode;
        q = q->next;
    } while (q != p->ring);
    if (n < 3 || !FlattenAttributes(v, sx, sy, wz, n)) return;
    int program = !tex ? PROGRAM_COLOUR : (p->flags & D3P_FILTER) ? PROGRAM_BILINEAR : PROGRAM_NEAREST;
    Batch b = {PRIM_TRIANGLES, depth, blend ? 1 : 0, program};
    GLVertex* out = Reserve(b, 3 * (n - 2));
    if (!out) return;
    for (int i = 1; i + 1 < n; i++) {
        *out++ = v[0];
        *out++ = v[i];
        *out++ = v[i + 1];
    }
}

// The ring's edges, each in its first vertex's lit colour, over everything: from pixel centre
// to pixel centre, as the software lines step from whole pixels.
static void DrawOutline(D3Polygon* p)
{
    if (!FrameReady(p)) return;
    const D3Vertex* q = p->ring;
    for (int i = 0; i < RING_MAX && q && q->next; i++) {
        const D3Vertex* e = q->next;
        if (std::isfinite(q->sx) && std::isfinite(q->sy) && std::isfinite(e->sx) && std::isfinite(e->sy)) {
            GLVertex* out = Reserve({PRIM_LINES, DEPTH_NONE, 0, PROGRAM_COLOUR}, 2);
            if (!out) return;
            float rgb[3];
            VertexRGB(q, rgb);
            const D3Vertex* ends[2] = {q, e};
            for (int k = 0; k < 2; k++) {
                GLVertex& o = out[k];
                memset(&o, 0, sizeof o);
                o.x = (float)(std::floor(Clamp(ends[k]->sx, -SCREEN_LIMIT, SCREEN_LIMIT)) + 0.5 + glDrv.target.originX);
                o.y = (float)(std::floor(Clamp(ends[k]->sy, -SCREEN_LIMIT, SCREEN_LIMIT)) + 0.5 + glDrv.target.originY);
                o.z = 0.5f;
                o.c[0] = rgb[0], o.c[1] = rgb[1], o.c[2] = rgb[2];
                o.mode = FM_COLOUR;
            }
        }
        q = e;
        if (q == p->ring) break;
    }
}

static int DepthOf(const D3Polygon*, bool screen) { return screen ? DEPTH_NONE : DEPTH_TESTED; }

static void PolyNothing(D3Polygon*) {}

// Types 1 and 19 (and 13): the first vertex's colour all over.
static void PolyFlat(D3Polygon* p) { DrawFill(p, FM_COLOUR, true, DepthOf(p, p->type >= D3T_SCREEN_FLAT), false, nullptr); }
static void PolyFlatAlt(D3Polygon* p) { DrawFill(p, FM_COLOUR, true, DepthOf(p, false), false, nullptr); }

// Types 2 and 20: lit colours, smooth.
static void PolySmooth(D3Polygon* p)
{
    DrawFill(p, FM_COLOUR, false, DepthOf(p, p->type >= D3T_SCREEN_FLAT), false, nullptr);
}

// Types 5, 7 and 23: texels as they are (7 and 23 leave transparent texels out); without a
// texture 5 and 7 are flat fills and 23 draws nothing.
static void PolyUnlit(D3Polygon* p)
{
    TexPlace t;
    bool screen = p->type == D3T_SCREEN_TEXTURE;
    if (TexturePlace(p->texture, &t))
        DrawFill(p, FM_UNLIT | (p->type == D3T_UNLIT_TEXTURE ? 0 : FM_KEY), false, DepthOf(p, screen), false, &t);
    else if (!screen)
        DrawFill(p, FM_COLOUR, true, DepthOf(p, false), false, nullptr);
}

// Types 6, 8 and 24: a lit texture; its lit colours alone without one.
static void PolyLit(D3Polygon* p)
{
    TexPlace t;
    if (TexturePlace(p->texture, &t))
        DrawFill(p, FM_LIT, false, DepthOf(p, false), false, &t);
    else
        DrawFill(p, FM_COLOUR, false, DepthOf(p, false), false, nullptr);
}

// Type 3: the first texture lit, as type 8 (the software rasteriser draws no second texture
// either); its lit colours alone without one.
static void PolySecondTexture(D3Polygon* p) { PolyLit(p); }

static void PolyOutline(D3Polygon* p) { DrawOutline(p); }
static void PolyLines(D3Polygon* p) { DrawOutline(p); }

// Types 16 and 22: 16 mixes lit colours with what is behind by the blend level (fog comes
// this way too); 22 is the screen-space outline.
static void PolyBlendedOrScreenOutline(D3Polygon* p)
{
    if (p->type == D3T_SCREEN_OUTLINE)
        DrawOutline(p);
    else
        DrawFill(p, FM_COLOUR, false, DepthOf(p, false), true, nullptr);
}

// Types 17 and 25: a lit texture with transparent texels; nothing without a texture, the lit
// colours while the pipeline wants no texels.
static void PolyTransparent(D3Polygon* p)
{
    TexPlace t;
    if (!TexturePlace(p->texture, &t)) return;
    if (Draw3DTexturesWanted())
        DrawFill(p, FM_LIT | FM_KEY, false, DepthOf(p, false), false, &t);
    else
        DrawFill(p, FM_COLOUR, false, DepthOf(p, false), false, nullptr);
}

// Types 18 and 26: a blended lit texture, transparent texels left out; nothing without one.
static void PolyBlendTexture(D3Polygon* p)
{
    TexPlace t;
    if (TexturePlace(p->texture, &t)) DrawFill(p, FM_LIT | FM_KEY, false, DepthOf(p, false), true, &t);
}

// Type 21: blended lit colours over everything.
static void PolyScreenBlended(D3Polygon* p) { DrawFill(p, FM_COLOUR, false, DEPTH_NONE, true, nullptr); }

// Type 27 (the hardware driver's own): lit colours, depth tested, drawn as type 2.
static void PolyHardware(D3Polygon* p) { DrawFill(p, FM_COLOUR, false, DepthOf(p, false), false, nullptr); }

static const D3PolyFn glTable[D3T_COUNT] = {
    PolyNothing,                 // 0
    PolyFlat,                    // 1
    PolySmooth,                  // 2
    PolySecondTexture,           // 3
    PolyNothing,                 // 4
    PolyUnlit,                   // 5
    PolyLit,                     // 6
    PolyUnlit,                   // 7
    PolyLit,                     // 8
    PolyOutline,                 // 9
    PolyLines,                   // 10
    PolyNothing,                 // 11
    PolyNothing,                 // 12
    PolyFlatAlt,                 // 13
    PolyNothing,                 // 14
    PolyNothing,                 // 15
    PolyBlendedOrScreenOutline,  // 16
    PolyTransparent,             // 17
    PolyBlendTexture,            // 18
    PolyFlat,                    // 19
    PolySmooth,                  // 20
    PolyScreenBlended,           // 21
    PolyBlendedOrScreenOutline,  // 22
    PolyUnlit,                   // 23
    PolyLit,                     // 24
    PolyTransparent,             // 25
    PolyBlendTexture,            // 26
    PolyHardware,                // 27
};

// ============================================================================================
// Frames
// ============================================================================================

static void GLDepthRange(float nearZ, float farZ)
{
    glDrv.nearZ = nearZ;
    glDrv.farZ = farZ;
}

static void GLSetBackground(int32_t r, int32_t g, int32_t b)
{
    glDrv.background[0] = r;
    glDrv.background[1] = g;
    glDrv.background[2] = b;
}

// Takes the drawing target and its clip rectangle as the frame's, and clears the depth there.
// The view's pixels are taken in only when the first polygon comes: Draw3D's caller may still
// fill the view through the 2D layer after the frame starts.
static void GLStartFrame(void)
{
    PlatGLMakeCurrent();   // the window may have been presented since
    glDrv.frameOpen = 1;
    glDrv.drawable = 0;
    glDrv.uploaded = 0;
    glDrv.drawn = 0;
    glDrv.vertCount = 0;
    if (!glDrv.active) return;
    const VideoSurface* s = VideoTarget();
    int x0, y0, x1, y1;
    VideoGetClip(&x0, &y0, &x1, &y1);
    if (!s || !s->pixels || (s->bpp != 16 && s->bpp != 32) || !PixPackForTarget(s->bpp) || x1 < x0 || y1 < y0) {
        if (!glDrv.warnedTarget)
            LogPrintf(LOG_WARN, "D3: the drawing target is not 16 or 32 bits; nothing is drawn");
        glDrv.warnedTarget = 1;
        return;
    }
    glDrv.target = *s;
    glDrv.vx0 = x0 + s->originX;
    glDrv.vy0 = y0 + s->originY;
    glDrv.vx1 = x1 + s->originX;
    glDrv.vy1 = y1 + s->originY;
    if (glDrv.vx0 < 0) glDrv.vx0 = 0;
    if (glDrv.vy0 < 0) glDrv.vy0 = 0;
    if (glDrv.vx1 >= s->width) glDrv.vx1 = s->width - 1;
    if (glDrv.vy1 >= s->height) glDrv.vy1 = s->height - 1;
    if (glDrv.vx1 < glDrv.vx0 || glDrv.vy1 < glDrv.vy0) return;
    if (!SizeFramebuffer(s->width, s->height)) {
        LogPrintf(LOG_ERROR, "BeginScene failed - %s", glDrv.error);
        return;
    }
    GlDrvSetRenderState(GLDRV_RS_SCISSOR, 1);
    glApi.Scissor(glDrv.vx0, glDrv.vy0, glDrv.vx1 - glDrv.vx0 + 1, glDrv.vy1 - glDrv.vy0 + 1);
    GlDrvSetRenderState(GLDRV_RS_DEPTH_WRITE, 1);
    glApi.ClearDepth(0.0);
    glApi.Clear(GL_DEPTH_BUFFER_BIT);
    CheckGL("BeginScene failed -");
    glDrv.drawable = 1;
}

// The last batch, then the covered pixels back into the target.
static void GLEndFrame(void)
{
    PlatGLMakeCurrent();   // the window may have been presented since
    if (glDrv.frameOpen && glDrv.drawable) {
        FlushBatch();
        // The target must still be the frame's: writing into another buffer would damage it.
        const VideoSurface* s = VideoTarget();
        if (glDrv.drawn && s && s->pixels == glDrv.target.pixels && s->pitch == glDrv.target.pitch &&
            s->bpp == glDrv.target.bpp)
            ReadBackView();
    }
    glDrv.frameOpen = 0;
    glDrv.drawable = 0;
}

// ============================================================================================
// Activation
// ============================================================================================

static int LoadFunctions(void)
{
#define GL_LOAD(type, name)                                                                       \
    glApi.name = (type)PlatGLProc("gl" #name);                                                       \
    if (!glApi.name) {                                                                               \
        snprintf(glDrv.error, sizeof glDrv.error, "D3Select - Get Direct3D Device failed:- no gl" #name); \
        return 0;                                                                                 \
    }
    GL_FUNCTIONS(GL_LOAD)
#undef GL_LOAD
    return 1;
}

static void ReleaseObjects(void)
{
    if (!PlatGLIsOpen()) return;
    for (GLuint& p : glDrv.programs)
        if (glApi.DeleteProgram && p) glApi.DeleteProgram(p), p = 0;
    if (glApi.DeleteBuffers && glDrv.vbo) glApi.DeleteBuffers(1, &glDrv.vbo);
    if (glApi.DeleteVertexArrays && glDrv.vao) glApi.DeleteVertexArrays(1, &glDrv.vao);
    if (glApi.DeleteFramebuffers && glDrv.fbo) glApi.DeleteFramebuffers(1, &glDrv.fbo);
    if (glApi.DeleteTextures && glDrv.colour) glApi.DeleteTextures(1, &glDrv.colour);
    if (glApi.DeleteTextures && glDrv.pages) glApi.DeleteTextures(1, &glDrv.pages);
    if (glApi.DeleteRenderbuffers && glDrv.depth) glApi.DeleteRenderbuffers(1, &glDrv.depth);
    glDrv.vbo = glDrv.vao = glDrv.fbo = glDrv.colour = glDrv.pages = glDrv.depth = 0;
    glDrv.fbWidth = glDrv.fbHeight = 0;
    glDrv.pageEdge = glDrv.pageLayers = 0;
    memset(glDrv.layerUsed, 0, sizeof glDrv.layerUsed);
}

void GlDrvDeactivate(void)
{
    if (!glDrv.active && !PlatGLIsOpen()) return;
    PlatGLMakeCurrent();
    // The pages live in this context's texture: TPage gives them back while it stands.
    TPageDestroy();
    ReleaseObjects();
    PlatGLClose();
    free(glDrv.verts);
    free(glDrv.pixels);
    glDrv.verts = nullptr;
    glDrv.pixels = nullptr;
    glDrv.vertCount = glDrv.vertCapacity = 0;
    glDrv.pixelCapacity = 0;
    glDrv.active = 0;
    glDrv.frameOpen = glDrv.drawable = 0;
    memset(&glApi, 0, sizeof glApi);
}

static int ActivateFailed(void)
{
    LogPrintf(LOG_ERROR, "%s", glDrv.error);
    GlDrvDeactivate();
    return 0;
}

int D3Activate(int hardware, int textures)
{
    if (glDrv.active) return 1;
    glDrv.error[0] = 0;
    if (VideoModeWidth() > 0 && VideoBitsPerPixel() == 8) {
        snprintf(glDrv.error, sizeof glDrv.error,
                 "D3Activate failed. VideoSetMode must use VidCol_16,VidCol_24 or VidCol_32.");
        return ActivateFailed();
    }
    char why[200] = "";
    if (PlatGLOpen(why, sizeof why) != 0) {
        snprintf(glDrv.error, sizeof glDrv.error, "D3Select - D3Detect failed: %s", why);
        return ActivateFailed();
    }
    if (!LoadFunctions()) return ActivateFailed();
    // GL offers one device: the context's renderer. A request for hardware refuses a GL that
    // rasterises on the processor (it draws the views slower than the program's own software
    // Z-buffer); a request without it takes the device whatever its kind.
    const char* name = PlatGLRenderer();
    bool software = strstr(name, "llvmpipe") || strstr(name, "softpipe") || strstr(name, "swrast");
    LogPrintf(LOG_INFO, "D3 find device 0 Name=%s  Descr=%s", name, (const char*)glApi.GetString(GL_VERSION));
    if (hardware && software) {
        snprintf(glDrv.error, sizeof glDrv.error, "D3Find Device - no hardware device: %s renders on the processor",
                 name);
        return ActivateFailed();
    }
    LogPrintf(LOG_INFO, "D3Find Device using device 0 : %s requested", hardware ? "hardware" : "any");
    if (!BuildPrograms()) return ActivateFailed();
    glApi.GenVertexArrays(1, &glDrv.vao);
    glApi.BindVertexArray(glDrv.vao);
    glApi.GenBuffers(1, &glDrv.vbo);
    glApi.BindBuffer(GL_ARRAY_BUFFER, glDrv.vbo);
    const GLsizei stride = sizeof(GLVertex);
    glApi.EnableVertexAttribArray(ATTR_POS);
    glApi.VertexAttribPointer(ATTR_POS, 3, GL_FLOAT, GL_FALSE, stride, (void*)offsetof(GLVertex, x));
    glApi.EnableVertexAttribArray(ATTR_COLOUR);
    glApi.VertexAttribPointer(ATTR_COLOUR, 4, GL_FLOAT, GL_FALSE, stride, (void*)offsetof(GLVertex, c));
    glApi.EnableVertexAttribArray(ATTR_TEX);
    glApi.VertexAttribPointer(ATTR_TEX, 4, GL_FLOAT, GL_FALSE, stride, (void*)offsetof(GLVertex, u));
    glApi.EnableVertexAttribArray(ATTR_BLOCK);
    glApi.VertexAttribPointer(ATTR_BLOCK, 4, GL_FLOAT, GL_FALSE, stride, (void*)offsetof(GLVertex, block));
    glApi.EnableVertexAttribArray(ATTR_KEY);
    glApi.VertexAttribPointer(ATTR_KEY, 1, GL_FLOAT, GL_FALSE, stride, (void*)offsetof(GLVertex, key));
    // The pages: an array texture that grows as pages are reserved; one empty texel until
    // then keeps the sampler complete.
    glDrv.pageEdge = glDrv.pageLayers = 0;
    memset(glDrv.layerUsed, 0, sizeof glDrv.layerUsed);
    if (!GrowPages(1, 1)) {
        snprintf(glDrv.error, sizeof glDrv.error, "D3Activate - no texture for the pages");
        return ActivateFailed();
    }
    LogPrintf(LOG_INFO, "D3 find text formats: Found ARGB 8:8:8:8");
    glDrv.active = 1;
    GlDrvInvalidateStates();
    // The blend: the polygon's colour by its alpha over what is there; the coverage mark in
    // alpha only grows.
    glApi.BlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE);
    // Depth is clamped per pixel rather than cut: a clipped polygon's depth plane may pass
    // the nearest depth at a vertex that the viewport moved.
    glApi.Enable(GL_DEPTH_CLAMP);
    glApi.ClearColor(0, 0, 0, 0);
    int w = VideoModeWidth(), h = VideoModeHeight();
    if (!SizeFramebuffer(w, h)) return ActivateFailed();
    glApi.GetError();
    glDrv.textures = textures != 0;
    // The pages are this driver's: TPage starts afresh with its routines.
    TPageDestroy();
    if (TPageInit(PAGE_EDGE, 1.0f, GLLoadPage, GLFreePage, GLRemovePage, 0) != 0) {
        snprintf(glDrv.error, sizeof glDrv.error, "D3Activate - the texture page manager cannot start");
        return ActivateFailed();
    }
    memset(&glDrv.stats, 0, sizeof glDrv.stats);
    RegisterExit(GlDrvDeactivate);
    return 1;
}

int GlDrvIsActive(void) { return glDrv.active; }
const char* GlDrvActivateError(void) { return glDrv.error; }
const GlDrvCounters* GlDrvStats(void) { return &glDrv.stats; }

void GlDrvFinish(void)
{
    PlatGLMakeCurrent();   // the window may have been presented since
    if (glDrv.active) glApi.Finish();
}

static const D3Driver glDriver = {
    .name = "OpenGL",
    .flags = DRV_QUEUE_FIRST | DRV_SPECULAR,
    .startFrame = GLStartFrame,
    .flush = nullptr,
    .endFrame = GLEndFrame,
    .polygons = glTable,
    .depthRange = GLDepthRange,
    .loadTexture = GLLoadTexture,
    .freeTexture = GLFreeTexture,
    .startTextures = GLStartTextures,
    .endTextures = GLEndTextures,
    .afterUnload = GLAfterUnload,
    .setBackground = GLSetBackground,
    .maxTextureEdge = PAGE_EDGE,
};

const D3Driver* GlDrvHardwareDriver(void) { return &glDriver; }
