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

#include "base/log.h"
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
} platGl;

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
    if (platGl.context) return 0;
    const char* off = getenv("TOLBEX_GL");
    if (off && strcmp(off, "off") == 0) return Fail(why, whySize, "OpenGL is switched off (TOLBEX_GL=off)");
    platGl.lib = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!platGl.lib) return Fail(why, whySize, "libEGL.so.1 cannot be opened: %s", dlerror());
    platGl.getProc = (GetProcFn)dlsym(platGl.lib, "eglGetProcAddress");
    if (!platGl.getProc) return Fail(why, whySize, "libEGL.so.1 has no eglGetProcAddress");

    auto queryString = (PFNEGLQUERYSTRINGPROC)platGl.getProc("eglQueryString");
    auto getPlatformDisplay = (PFNEGLGETPLATFORMDISPLAYEXTPROC)platGl.getProc("eglGetPlatformDisplayEXT");
    auto initialize = (PFNEGLINITIALIZEPROC)platGl.getProc("eglInitialize");
    auto bindApi = (PFNEGLBINDAPIPROC)platGl.getProc("eglBindAPI");
    auto createContext = (PFNEGLCREATECONTEXTPROC)platGl.getProc("eglCreateContext");
    platGl.makeCurrent = (PFNEGLMAKECURRENTPROC)platGl.getProc("eglMakeCurrent");
    platGl.destroyContext = (PFNEGLDESTROYCONTEXTPROC)platGl.getProc("eglDestroyContext");
    platGl.releaseThread = (PFNEGLRELEASETHREADPROC)platGl.getProc("eglReleaseThread");
    if (!queryString || !initialize || !bindApi || !createContext || !platGl.makeCurrent ||
        !platGl.destroyContext)
        return Fail(why, whySize, "libEGL.so.1 lacks core EGL functions");
    const char* clientExt = queryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!getPlatformDisplay || !HasExtension(clientExt, "EGL_MESA_platform_surfaceless"))
        return Fail(why, whySize, "EGL has no surfaceless platform");
    platGl.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (platGl.display == EGL_NO_DISPLAY || !initialize(platGl.display, &major, &minor)) {
        platGl.display = EGL_NO_DISPLAY;
        return Fail(why, whySize, "the surfaceless EGL display cannot be initialised");
    }
    const char* ext = queryString(platGl.display, EGL_EXTENSIONS);
    if (!HasExtension(ext, "EGL_KHR_no_config_context") || !HasExtension(ext, "EGL_KHR_surfaceless_context"))
        return Fail(why, whySize, "EGL %d.%d cannot make a context without a surface", major, minor);
    if (!HasExtension(ext, "EGL_KHR_get_all_proc_addresses") &&
        !HasExtension(clientExt, "EGL_KHR_client_get_all_proc_addresses"))
        return Fail(why, whySize, "EGL does not hand out core GL functions");
    if (!bindApi(EGL_OPENGL_API)) return Fail(why, whySize, "EGL has no desktop OpenGL");
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    platGl.context = createContext(platGl.display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (platGl.context == EGL_NO_CONTEXT) {
        platGl.context = nullptr;
        return Fail(why, whySize, "no OpenGL 3.3 core context can be made");
    }
    if (!PlatGLMakeCurrent()) return Fail(why, whySize, "the OpenGL context cannot be made current");
    typedef const unsigned char* (*GetStringFn)(unsigned int);
    auto getString = (GetStringFn)platGl.getProc("glGetString");
    const unsigned char* name = getString ? getString(0x1F01 /* GL_RENDERER */) : nullptr;
    snprintf(platGl.renderer, sizeof platGl.renderer, "%s", name ? (const char*)name : "OpenGL");
    LogPrintf(LOG_INFO, "GL: context 3.3 core on \"%s\" (EGL %d.%d)", platGl.renderer, major, minor);
    return 0;
}

void PlatGLClose(void)
{
    if (platGl.display) {
        if (platGl.makeCurrent) platGl.makeCurrent(platGl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (platGl.context && platGl.destroyContext) platGl.destroyContext(platGl.display, platGl.context);
        // The display stays initialised (eglGetPlatformDisplay gives the same one again):
        // terminating it unloads the driver while its threads still hold what it allocated.
    }
    if (platGl.releaseThread) platGl.releaseThread();
    // libEGL stays mapped: Mesa's threads and exit handlers may still point into it.
    void* lib = platGl.lib;
    memset(&platGl, 0, sizeof platGl);
    platGl.lib = lib;
}

int PlatGLIsOpen(void) { return platGl.context != nullptr; }

int PlatGLMakeCurrent(void)
{
    if (!platGl.context) return 0;
    if (platGl.current) return 1;
    const PlatDriver* driver = PlatDriverCurrent();
    if (driver && driver->ReleaseGL) driver->ReleaseGL();
    platGl.current = platGl.makeCurrent(platGl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, platGl.context) ? 1 : 0;
    return platGl.current;
}

void PlatGLRelease(void)
{
    // Only a back end that presents through GL needs the thread's context back.
    const PlatDriver* driver = PlatDriverCurrent();
    if (!platGl.current || !driver || !driver->ReleaseGL) return;
    platGl.makeCurrent(platGl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    platGl.current = 0;
}

void* PlatGLProc(const char* name) { return platGl.getProc && platGl.context ? platGl.getProc(name) : nullptr; }

const char* PlatGLRenderer(void) { return platGl.context ? platGl.renderer : ""; }
