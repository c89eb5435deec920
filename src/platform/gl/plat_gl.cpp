// An OpenGL 3.3 core context through EGL, without a surface: the hardware renderer draws into
// its own framebuffer objects and hands pixels back, so neither the window back end nor the
// headless runs need a GL surface. libEGL is opened at run time and every function (core GL
// included) comes through eglGetProcAddress, so the program starts on a machine without GL and
// the renderer falls back with the reason.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/log.h"
#include "platform/backend.h"
#include "platform/platform.h"

typedef void* (*GetProcFn)(const char* name);

static struct {
    void* lib;
    GetProcFn getProc;
    EGLDisplay display;
    EGLContext context;
    char renderer[128];
    PFNEGLMAKECURRENTPROC makeCurrent;
    int current;   // the context is current on this thread
    PFNEGLDESTROYCONTEXTPROC destroyContext;
    PFNEGLRELEASETHREADPROC releaseThread;
} gl;

static int Fail(char* why, size_t whySize, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
static int Fail(char* why, size_t whySize, const char* fmt, ...)
{
    if (why && whySize) {
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(why, whySize, fmt, ap);
        va_end(ap);
    }
    PlatGLClose();
    return 1;
}

static int HasExtension(const char* list, const char* name)
{
    size_t n = strlen(name);
    for (const char* p = list; p && (p = strstr(p, name)); p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == 0)) return 1;
    return 0;
}

int PlatGLOpen(char* why, size_t whySize)
{
    if (gl.context) return 0;
    const char* off = getenv("TOLBEX_GL");
    if (off && strcmp(off, "off") == 0) return Fail(why, whySize, "OpenGL is switched off (TOLBEX_GL=off)");
    gl.lib = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!gl.lib) return Fail(why, whySize, "libEGL.so.1 cannot be opened: %s", dlerror());
    gl.getProc = (GetProcFn)dlsym(gl.lib, "eglGetProcAddress");
    if (!gl.getProc) return Fail(why, whySize, "libEGL.so.1 has no eglGetProcAddress");

    auto queryString = (PFNEGLQUERYSTRINGPROC)gl.getProc("eglQueryString");
    auto getPlatformDisplay = (PFNEGLGETPLATFORMDISPLAYEXTPROC)gl.getProc("eglGetPlatformDisplayEXT");
    auto initialize = (PFNEGLINITIALIZEPROC)gl.getProc("eglInitialize");
    auto bindApi = (PFNEGLBINDAPIPROC)gl.getProc("eglBindAPI");
    auto createContext = (PFNEGLCREATECONTEXTPROC)gl.getProc("eglCreateContext");
    gl.makeCurrent = (PFNEGLMAKECURRENTPROC)gl.getProc("eglMakeCurrent");
    gl.destroyContext = (PFNEGLDESTROYCONTEXTPROC)gl.getProc("eglDestroyContext");
    gl.releaseThread = (PFNEGLRELEASETHREADPROC)gl.getProc("eglReleaseThread");
    if (!queryString || !initialize || !bindApi || !createContext || !gl.makeCurrent ||
        !gl.destroyContext)
        return Fail(why, whySize, "libEGL.so.1 lacks core EGL functions");
    const char* clientExt = queryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!getPlatformDisplay || !HasExtension(clientExt, "EGL_MESA_platform_surfaceless"))
        return Fail(why, whySize, "EGL has no surfaceless platform");
    gl.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (gl.display == EGL_NO_DISPLAY || !initialize(gl.display, &major, &minor)) {
        gl.display = EGL_NO_DISPLAY;
        return Fail(why, whySize, "the surfaceless EGL display cannot be initialised");
    }
    const char* ext = queryString(gl.display, EGL_EXTENSIONS);
    if (!HasExtension(ext, "EGL_KHR_no_config_context") || !HasExtension(ext, "EGL_KHR_surfaceless_context"))
        return Fail(why, whySize, "EGL %d.%d cannot make a context without a surface", major, minor);
    if (!HasExtension(ext, "EGL_KHR_get_all_proc_addresses") &&
        !HasExtension(clientExt, "EGL_KHR_client_get_all_proc_addresses"))
        return Fail(why, whySize, "EGL does not hand out core GL functions");
    if (!bindApi(EGL_OPENGL_API)) return Fail(why, whySize, "EGL has no desktop OpenGL");
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    gl.context = createContext(gl.display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (gl.context == EGL_NO_CONTEXT) {
        gl.context = nullptr;
        return Fail(why, whySize, "no OpenGL 3.3 core context can be made");
    }
    if (!PlatGLMakeCurrent()) return Fail(why, whySize, "the OpenGL context cannot be made current");
    typedef const unsigned char* (*GetStringFn)(unsigned int);
    auto getString = (GetStringFn)gl.getProc("glGetString");
    const unsigned char* name = getString ? getString(0x1F01 /* GL_RENDERER */) : nullptr;
    snprintf(gl.renderer, sizeof gl.renderer, "%s", name ? (const char*)name : "OpenGL");
    LogPrintf(LOG_INFO, "GL: context 3.3 core on \"%s\" (EGL %d.%d)", gl.renderer, major, minor);
    return 0;
}

void PlatGLClose(void)
{
    if (gl.display) {
        if (gl.makeCurrent) gl.makeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (gl.context && gl.destroyContext) gl.destroyContext(gl.display, gl.context);
        // The display stays initialised (eglGetPlatformDisplay gives the same one again):
        // terminating it unloads the driver while its threads still hold what it allocated.
    }
    if (gl.releaseThread) gl.releaseThread();
    // libEGL stays mapped: Mesa's threads and exit handlers may still point into it.
    void* lib = gl.lib;
    memset(&gl, 0, sizeof gl);
    gl.lib = lib;
}

int PlatGLIsOpen(void) { return gl.context != nullptr; }

int PlatGLMakeCurrent(void)
{
    if (!gl.context) return 0;
    if (gl.current) return 1;
    const PlatDriver* driver = PlatDriverCurrent();
    if (driver && driver->ReleaseGL) driver->ReleaseGL();
    gl.current = gl.makeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, gl.context) ? 1 : 0;
    return gl.current;
}

void PlatGLRelease(void)
{
    // Only a back end that presents through GL needs the thread's context back.
    const PlatDriver* driver = PlatDriverCurrent();
    if (!gl.current || !driver || !driver->ReleaseGL) return;
    gl.makeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    gl.current = 0;
}

void* PlatGLProc(const char* name) { return gl.getProc && gl.context ? gl.getProc(name) : nullptr; }

const char* PlatGLRenderer(void) { return gl.context ? gl.renderer : ""; }
