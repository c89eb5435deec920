// SDL2 back end: one native window titled by the kernel, the framebuffer presented through a
// streaming texture at a whole scale (platform/screen.h), keys mapped to scan codes, pointer
// positions mapped back to framebuffer pixels, and SDL's native message boxes.
#include <SDL.h>

#include <cstdio>

#include "base/log.h"
#include "platform/backend.h"
#include "platform/screen.h"

static struct {
    int initialised;
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    int width, height, bpp;
    int shown;
    int lastX, lastY;
} sdl;

// ---- scan codes ---------------------------------------------------------------------------

int SdlScanToKey(int sdlScancode)
{
    SDL_Scancode s = (SDL_Scancode)sdlScancode;
    // Letters, digits and function keys have native key codes whose scan codes input knows.
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z) return InputVirtualKeyToScan('A' + (s - SDL_SCANCODE_A));
    if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9) return InputVirtualKeyToScan('1' + (s - SDL_SCANCODE_1));
    if (s >= SDL_SCANCODE_F1 && s <= SDL_SCANCODE_F12) return InputVirtualKeyToScan(0x70 + (s - SDL_SCANCODE_F1));
    switch (s) {
    case SDL_SCANCODE_0: return KEY_0;
    case SDL_SCANCODE_RETURN: return KEY_RETURN;
    case SDL_SCANCODE_ESCAPE: return KEY_ESCAPE;
    case SDL_SCANCODE_BACKSPACE: return KEY_BACK;
    case SDL_SCANCODE_TAB: return KEY_TAB;
    case SDL_SCANCODE_SPACE: return KEY_SPACE;
    case SDL_SCANCODE_MINUS: return KEY_MINUS;
    case SDL_SCANCODE_EQUALS: return KEY_EQUALS;
    case SDL_SCANCODE_LEFTBRACKET: return KEY_LBRACKET;
    case SDL_SCANCODE_RIGHTBRACKET: return KEY_RBRACKET;
    case SDL_SCANCODE_BACKSLASH: return KEY_BACKSLASH;
    case SDL_SCANCODE_NONUSHASH: return KEY_BACKSLASH;
    case SDL_SCANCODE_SEMICOLON: return KEY_SEMICOLON;
    case SDL_SCANCODE_APOSTROPHE: return KEY_APOSTROPHE;
    case SDL_SCANCODE_GRAVE: return KEY_GRAVE;
    case SDL_SCANCODE_COMMA: return KEY_COMMA;
    case SDL_SCANCODE_PERIOD: return KEY_PERIOD;
    case SDL_SCANCODE_SLASH: return KEY_SLASH;
    case SDL_SCANCODE_CAPSLOCK: return KEY_CAPITAL;
    case SDL_SCANCODE_PRINTSCREEN: return KEY_SYSRQ;
    case SDL_SCANCODE_SCROLLLOCK: return KEY_SCROLL;
    case SDL_SCANCODE_PAUSE: return KEY_PAUSE;
    case SDL_SCANCODE_INSERT: return KEY_INSERT;
    case SDL_SCANCODE_HOME: return KEY_HOME;
    case SDL_SCANCODE_PAGEUP: return KEY_PRIOR;
    case SDL_SCANCODE_DELETE: return KEY_DELETE;
    case SDL_SCANCODE_END: return KEY_END;
    case SDL_SCANCODE_PAGEDOWN: return KEY_NEXT;
    case SDL_SCANCODE_RIGHT: return KEY_RIGHT;
    case SDL_SCANCODE_LEFT: return KEY_LEFT;
    case SDL_SCANCODE_DOWN: return KEY_DOWN;
    case SDL_SCANCODE_UP: return KEY_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR: return KEY_NUMLOCK;
    case SDL_SCANCODE_KP_DIVIDE: return KEY_DIVIDE;
    case SDL_SCANCODE_KP_MULTIPLY: return KEY_MULTIPLY;
    case SDL_SCANCODE_KP_MINUS: return KEY_SUBTRACT;
    case SDL_SCANCODE_KP_PLUS: return KEY_ADD;
    case SDL_SCANCODE_KP_ENTER: return KEY_NUMPADENTER;
    case SDL_SCANCODE_KP_1: return KEY_NUMPAD1;
    case SDL_SCANCODE_KP_2: return KEY_NUMPAD2;
    case SDL_SCANCODE_KP_3: return KEY_NUMPAD3;
    case SDL_SCANCODE_KP_4: return KEY_NUMPAD4;
    case SDL_SCANCODE_KP_5: return KEY_NUMPAD5;
    case SDL_SCANCODE_KP_6: return KEY_NUMPAD6;
    case SDL_SCANCODE_KP_7: return KEY_NUMPAD7;
    case SDL_SCANCODE_KP_8: return KEY_NUMPAD8;
    case SDL_SCANCODE_KP_9: return KEY_NUMPAD9;
    case SDL_SCANCODE_KP_0: return KEY_NUMPAD0;
    case SDL_SCANCODE_KP_PERIOD: return KEY_DECIMAL;
    case SDL_SCANCODE_NONUSBACKSLASH: return KEY_OEM_102;
    case SDL_SCANCODE_APPLICATION: return KEY_APPS;
    case SDL_SCANCODE_LCTRL: return KEY_LCONTROL;
    case SDL_SCANCODE_LSHIFT: return KEY_LSHIFT;
    case SDL_SCANCODE_LALT: return KEY_LMENU;
    case SDL_SCANCODE_LGUI: return KEY_LWIN;
    case SDL_SCANCODE_RCTRL: return KEY_RCONTROL;
    case SDL_SCANCODE_RSHIFT: return KEY_RSHIFT;
    case SDL_SCANCODE_RALT: return KEY_RMENU;
    case SDL_SCANCODE_RGUI: return KEY_RWIN;
    default: return 0;
    }
}

// ---- window -------------------------------------------------------------------------------

static int SdlInit(const PlatOptions*)
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "tolbex: no display is available (%s); run with --headless to work without one\n",
                SDL_GetError());
        return 1;
    }
    sdl.initialised = 1;
    // SDL falls back to drivers that draw nowhere when there is no display; the user would see
    // nothing at all. Only an explicit SDL_VIDEODRIVER may choose them.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && (!asked || !*asked) && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0)) {
        fprintf(stderr, "tolbex: no display is available; run with --headless to work without one\n");
        SDL_Quit();
        sdl.initialised = 0;
        return 1;
    }
    // Typed characters come as text, in the user's keyboard layout and beyond ASCII.
    SDL_StartTextInput();
    InputSetTextEvents(1);
    return 0;
}

static void SdlDestroyWindow(void)
{
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    if (sdl.renderer) SDL_DestroyRenderer(sdl.renderer);
    if (sdl.window) SDL_DestroyWindow(sdl.window);
    sdl.texture = nullptr;
    sdl.renderer = nullptr;
    sdl.window = nullptr;
    sdl.shown = 0;
}

static void SdlShutdown(void)
{
    InputSetTextEvents(0);
    SdlDestroyWindow();
    if (sdl.initialised) SDL_Quit();
    sdl.initialised = 0;
}

static int SdlCreateWindow(const char* title)
{
    if (sdl.window) return 1;
    sdl.window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 320, 200,
                                  SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (!sdl.window) {
        fprintf(stderr, "tolbex: cannot create the window (%s)\n", SDL_GetError());
        return 0;
    }
    sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!sdl.renderer) sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_SOFTWARE);
    if (!sdl.renderer) {
        fprintf(stderr, "tolbex: cannot draw into the window (%s)\n", SDL_GetError());
        SdlDestroyWindow();
        return 0;
    }
    return 1;
}

static void SdlShowWindow(void)
{
    if (!sdl.window || sdl.shown) return;
    SDL_ShowWindow(sdl.window);
    sdl.shown = 1;
    PlatPostMessage(NM_ACTIVATE, 1, 0);
}

static void SdlRaiseWindow(void)
{
    if (!sdl.window) return;
    SDL_RestoreWindow(sdl.window);
    SDL_RaiseWindow(sdl.window);
}

static void SdlDesktopRect(int32_t rect[4])
{
    SDL_Rect r{0, 0, 1024, 768};
    int display = sdl.window ? SDL_GetWindowDisplayIndex(sdl.window) : 0;
    if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &r) != 0) SDL_GetDisplayBounds(0, &r);
    rect[0] = r.x;
    rect[1] = r.y;
    rect[2] = r.x + r.w;
    rect[3] = r.y + r.h;
}

// ---- events -------------------------------------------------------------------------------

static int32_t PointParam(int x, int y) { return (int32_t)(((uint32_t)(uint16_t)y << 16) | (uint16_t)x); }

// The drawable's size in pixels, which on a high-density desktop may differ from the window's
// size in the desktop's units that events are given in.
static void OutputSize(int* w, int* h)
{
    *w = *h = 0;
    if (sdl.renderer) SDL_GetRendererOutputSize(sdl.renderer, w, h);
    if ((*w <= 0 || *h <= 0) && sdl.window) SDL_GetWindowSize(sdl.window, w, h);
}

// Event positions to framebuffer pixels, through the letterbox the picture is shown in.
static void ToFramebuffer(int x, int y, int* fx, int* fy)
{
    if (sdl.width <= 0 || !sdl.window) {
        *fx = x;
        *fy = y;
        return;
    }
    int ow, oh, ww = 0, wh = 0;
    OutputSize(&ow, &oh);
    SDL_GetWindowSize(sdl.window, &ww, &wh);
    if (ww > 0 && wh > 0 && (ww != ow || wh != oh)) {
        x = (int)((int64_t)x * ow / ww);
        y = (int)((int64_t)y * oh / wh);
    }
    ScreenWindowToPicture(ScreenLetterbox(ow, oh, sdl.width, sdl.height), sdl.width, sdl.height, x, y, fx, fy);
}

static void PostPointer(uint32_t msg, int wx, int wy)
{
    int x, y;
    ToFramebuffer(wx, wy, &x, &y);
    // Buttons carry no position of their own here: move first when the pointer has moved.
    if (msg != NM_MOUSEMOVE && (x != sdl.lastX || y != sdl.lastY)) PlatPostMessage(NM_MOUSEMOVE, 0, PointParam(x, y));
    sdl.lastX = x;
    sdl.lastY = y;
    PlatPostMessage(msg, 0, PointParam(x, y));
}

void SdlTranslateEvent(const SDL_Event* event)
{
    const SDL_Event& e = *event;
    // Whatever came may change what the window shows: a frame is drawn.
    PlatMarkActivity();
    switch (e.type) {
    case SDL_QUIT: PlatRequestClose(); break;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) PlatRequestClose();
        else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) PlatPostMessage(NM_ACTIVATE, 1, 0);
        else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) PlatPostMessage(NM_ACTIVATE, 0, 0);
        break;
    case SDL_KEYDOWN:
        // On X11 a key released and pressed again within 2 ms (a fast typist, a desktop
        // tool typing) reaches us as one press and a repeat: the repeat still types.
        if (e.key.repeat) InputQueueRepeat(SdlScanToKey(e.key.keysym.scancode));
        else InputQueueKey(SdlScanToKey(e.key.keysym.scancode), 1);
        break;
    case SDL_KEYUP: InputQueueKey(SdlScanToKey(e.key.keysym.scancode), 0); break;
    case SDL_TEXTINPUT: InputQueueText(e.text.text); break;
    case SDL_DROPFILE:
        PlatDropFile(e.drop.file);
        SDL_free(e.drop.file);
        break;
    case SDL_MOUSEMOTION: PostPointer(NM_MOUSEMOVE, e.motion.x, e.motion.y); break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        if (e.button.button == SDL_BUTTON_LEFT)
            PostPointer(down ? NM_LBUTTONDOWN : NM_LBUTTONUP, e.button.x, e.button.y);
        else if (e.button.button == SDL_BUTTON_RIGHT)
            PostPointer(down ? NM_RBUTTONDOWN : NM_RBUTTONUP, e.button.x, e.button.y);
        else if (e.button.button == SDL_BUTTON_MIDDLE)
            PostPointer(down ? NM_MBUTTONDOWN : NM_MBUTTONUP, e.button.x, e.button.y);
        break;
    }
    case SDL_MOUSEWHEEL: {
        // Notches away from the user are positive, whatever way the desktop scrolls.
        int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        if (notches) PlatPostMessage(NM_MOUSEWHEEL, (uint32_t)notches, PointParam(sdl.lastX, sdl.lastY));
        break;
    }
    default: break;
    }
}

static void SdlPump(void)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) SdlTranslateEvent(&e);
}

// ---- modes and presenting -----------------------------------------------------------------

static int SdlSetMode(int width, int height, int bpp)
{
    if (bpp != 16 && bpp != 32) return 1;
    if (!sdl.renderer) return 1;
    Uint32 format = bpp == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
    SDL_Texture* texture = SDL_CreateTexture(sdl.renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture) {
        LogPrintf(LOG_WARN, "VIDEO: no %dx%d texture (%s)", width, height, SDL_GetError());
        return 1;
    }
    // Every logical pixel an exact block of screen pixels: no smoothing between them.
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    sdl.texture = texture;
    sdl.width = width;
    sdl.height = height;
    sdl.bpp = bpp;

    // The small launcher is shown at the largest whole scale that fits the desktop. The
    // editors size the window themselves (PlatSetWindowPixels): a screen that follows the
    // window must not move it. The user may resize either; the picture stays letterboxed.
    if (width <= 320) {
        int scale = 1;
        int32_t desk[4];
        SdlDesktopRect(desk);
        int dw = (desk[2] - desk[0]) * 9 / 10, dh = (desk[3] - desk[1]) * 9 / 10;
        while ((scale + 1) * width <= dw && (scale + 1) * height <= dh) scale++;
        SDL_SetWindowSize(sdl.window, width * scale, height * scale);
        SDL_SetWindowPosition(sdl.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    return 0;
}

static void SdlWindowPixels(int* width, int* height) { OutputSize(width, height); }

static void SdlSetWindowPixels(int width, int height)
{
    if (!sdl.window) return;
    int32_t desk[4];
    SdlDesktopRect(desk);
    int dw = desk[2] - desk[0], dh = desk[3] - desk[1];
    // Pixels to the desktop's units, which SDL sizes windows in.
    int ow, oh, ww = 0, wh = 0;
    OutputSize(&ow, &oh);
    SDL_GetWindowSize(sdl.window, &ww, &wh);
    if (ow > 0 && ww > 0 && ow != ww && width > 0) {
        width = (int)((int64_t)width * ww / ow);
        height = (int)((int64_t)height * wh / oh);
    }
    if (width <= 0 || height <= 0) {
        SDL_RestoreWindow(sdl.window);
        SDL_SetWindowSize(sdl.window, dw, dh);
        SDL_SetWindowPosition(sdl.window, desk[0], desk[1]);
        SDL_MaximizeWindow(sdl.window);
        return;
    }
    if (SDL_GetWindowFlags(sdl.window) & SDL_WINDOW_MAXIMIZED) SDL_RestoreWindow(sdl.window);
    SDL_SetWindowSize(sdl.window, width < dw ? width : dw, height < dh ? height : dh);
    SDL_SetWindowPosition(sdl.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

static float SdlDisplayDpi(void)
{
    float diagonal = 0, horizontal = 0, vertical = 0;
    int display = sdl.window ? SDL_GetWindowDisplayIndex(sdl.window) : 0;
    if (SDL_GetDisplayDPI(display < 0 ? 0 : display, &diagonal, &horizontal, &vertical) != 0) return 0;
    return horizontal;
}

static void SdlWaitEvent(int ms) { SDL_WaitEventTimeout(nullptr, ms); }

static void SdlReleaseMode(void)
{
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    sdl.texture = nullptr;
    sdl.width = sdl.height = sdl.bpp = 0;
}

static int SdlVisible(void)
{
    if (!sdl.window) return 0;
    return (SDL_GetWindowFlags(sdl.window) & SDL_WINDOW_MINIMIZED) == 0;
}

static void SdlPresent(const uint8_t* pixels, int pitch, int width, int height, int bpp)
{
    if (!sdl.texture || width != sdl.width || height != sdl.height || bpp != sdl.bpp) return;
    SDL_UpdateTexture(sdl.texture, nullptr, pixels, pitch);
    SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl.renderer);
    int ow, oh;
    OutputSize(&ow, &oh);
    ScreenRect r = ScreenLetterbox(ow, oh, width, height);
    SDL_Rect dst{r.x, r.y, r.width, r.height};
    SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, &dst);
    SDL_RenderPresent(sdl.renderer);
}

static uint32_t SdlTicks(void) { return SDL_GetTicks(); }

static int SdlMessageBox(const char* title, const char* text, int flags)
{
    SDL_MessageBoxButtonData buttons[3];
    int n = 0;
    int kind = flags & 0x0F;
    auto add = [&](int id, const char* label, Uint32 f) { buttons[n++] = SDL_MessageBoxButtonData{f, id, label}; };
    switch (kind) {
    case MB_OKCANCEL:
        add(ID_OK, "OK", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(ID_CANCEL, "Cancel", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
    case MB_YESNO:
        add(ID_YES, "Yes", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(ID_NO, "No", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
    case MB_YESNOCANCEL:
        add(ID_YES, "Yes", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(ID_NO, "No", 0);
        add(ID_CANCEL, "Cancel", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
    default: add(ID_OK, "OK", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT); break;
    }
    Uint32 icon = SDL_MESSAGEBOX_INFORMATION;
    if ((flags & 0xF0) == MB_ICONSTOP) icon = SDL_MESSAGEBOX_ERROR;
    else if ((flags & 0xF0) == MB_ICONEXCLAMATION || (flags & 0xF0) == MB_ICONQUESTION) icon = SDL_MESSAGEBOX_WARNING;
    SDL_MessageBoxData data{icon, sdl.window, title, text, n, buttons, nullptr};
    int pressed = -1;
    // No box at all (no X core fonts, say): the caller asks in a box of its own instead.
    if (SDL_ShowMessageBox(&data, &pressed) != 0) {
        LogPrintf(LOG_WARN, "SDL: the message box could not be shown: %s", SDL_GetError());
        return ID_FAILED;
    }
    if (pressed < 0) {
        // Closing the box without a button is its escape answer.
        if (kind == MB_OK) return ID_OK;
        if (kind == MB_YESNO) return ID_NO;
        return ID_CANCEL;
    }
    return pressed;
}

// SDL's renderer may present through a GL context of its own, current on this thread; a
// thread has one current context. SDL makes its own current again when it next draws, since
// it then finds none current.
static void SdlReleaseGL(void)
{
    if (sdl.window && SDL_GL_GetCurrentContext()) SDL_GL_MakeCurrent(sdl.window, nullptr);
}

const PlatDriver platSdlDriver = {
    "sdl",
    SdlInit,
    SdlShutdown,
    SdlCreateWindow,
    SdlDestroyWindow,
    SdlShowWindow,
    SdlDesktopRect,
    SdlPump,
    SdlSetMode,
    SdlReleaseMode,
    SdlVisible,
    SdlPresent,
    SdlTicks,
    SdlMessageBox,
    SdlReleaseGL,
    SdlRaiseWindow,
    SdlWindowPixels,
    SdlSetWindowPixels,
    SdlDisplayDpi,
    SdlWaitEvent,
};
