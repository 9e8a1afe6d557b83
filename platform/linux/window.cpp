// The window on Linux through SDL: a borderless window shaped by the same colour key, a GL
// context of at least 3.3 where the driver has one, and SDL's events turned into the window's
// handlers.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_shape.h>

#include "app/app_state.h"
#include "platform/platform.h"
#include "window/window_events.h"
// Last: X's headers define short macros (None, Success, ...).
#include <SDL_syswm.h>
#include <X11/Xlib.h>

static SDL_Window *mainWindow = nullptr;
static int lastMotionX = 0; // where the cursor last moved on the window
static int lastMotionY = 0;
static SDL_GLContext mainContext = nullptr;
static bool shaped = false;

WindowCreation createMainWindow(int32_t width, int32_t height) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return WindowCreation::RegistrationFailed;
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);

    SDL_DisplayMode screen = {0, 0, 0, 0, nullptr};
    SDL_GetCurrentDisplayMode(0, &screen);
    const int x = (screen.w - width) / 2;
    const int y = (screen.h - height) / 2;
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS;
    mainWindow = SDL_CreateShapedWindow("Quillmere", x, y, width, height, flags);
    shaped = mainWindow != nullptr;
    if (mainWindow == nullptr) // a display without shaped windows still gets the window
        mainWindow = SDL_CreateWindow("Quillmere", x, y, width, height, flags);
    appState.windowHandle.store(mainWindow);
    if (mainWindow == nullptr)
        return WindowCreation::CreationFailed;
    SDL_ShowWindow(mainWindow);
    return WindowCreation::Created;
}

void shapeWindow(void *window, const unsigned char *rgba, int32_t width, int32_t height) {
    if (!shaped || rgba == nullptr)
        return;
    SDL_Surface *shape = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<unsigned char *>(rgba), width, height, 32, width * 4, SDL_PIXELFORMAT_RGBA32);
    if (shape == nullptr)
        return;
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeColorKey;
    mode.parameters.colorKey = {255, 0, 255, 255};
    SDL_SetWindowShape(static_cast<SDL_Window *>(window), shape, &mode);
    SDL_FreeSurface(shape);
}

// A 3.3 core context is what the shaders are written for; a driver that offers 3.3 only in its
// compatibility profile (or nothing that new) gets the compatibility context, whose version the
// start-up then checks.
static SDL_GLContext createContextOfProfile(SDL_Window *window, bool core) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK,
                        core ? SDL_GL_CONTEXT_PROFILE_CORE : SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, core ? 3 : 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, core ? 3 : 1);
    return SDL_GL_CreateContext(window);
}

bool createGlContext(void *window) {
    // SDL has no device context: the window itself is what frames are presented to.
    appState.deviceContext.store(window);
    SDL_Window *sdlWindow = static_cast<SDL_Window *>(window);
    mainContext = createContextOfProfile(sdlWindow, true);
    if (mainContext == nullptr)
        mainContext = createContextOfProfile(sdlWindow, false);
    appState.glContext.store(mainContext);
    return mainContext != nullptr &&
           SDL_GL_MakeCurrent(static_cast<SDL_Window *>(window), mainContext) == 0;
}

void *glProcAddress(const char *name) { return SDL_GL_GetProcAddress(name); }

static void handleEvent(const SDL_Event &event) {
    switch (event.type) {
    case SDL_QUIT:
        handleCloseMessage();
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE)
            handleCloseMessage();
        else if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            handleSizeMessage(static_cast<uint32_t>(event.window.data1),
                              static_cast<uint32_t>(event.window.data2));
        break;
    case SDL_KEYDOWN:
        handleKeyDown(event.key.keysym.sym == SDLK_ESCAPE ? escapeKey
                                                          : static_cast<uint32_t>(0x100));
        break;
    case SDL_MOUSEMOTION:
        lastMotionX = event.motion.x;
        lastMotionY = event.motion.y;
        handleMouseMove(static_cast<uint32_t>(event.motion.x),
                        static_cast<uint32_t>(event.motion.y));
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT || event.button.button == SDL_BUTTON_RIGHT)
            handleButtonDown();
        break;
    case SDL_MOUSEBUTTONUP:
        if (event.button.button == SDL_BUTTON_LEFT || event.button.button == SDL_BUTTON_RIGHT)
            handleButtonUp();
        break;
    default:
        break;
    }
}

void pumpWindowMessages() {
    SDL_Event event;
    while (SDL_PollEvent(&event))
        handleEvent(event);
    // SDL reports no motion when the cursor sits where it sat on the window before, which is
    // just what a drag's steady equal steps look like once the window has followed the last one.
    // Windows reports every move of the cursor; here the drag follows it on every pass instead.
    if (appState.dragging)
        handleMouseMove(static_cast<uint32_t>(lastMotionX), static_cast<uint32_t>(lastMotionY));
}

void presentFrame() { SDL_GL_SwapWindow(static_cast<SDL_Window *>(appState.deviceContext.load())); }

bool followDisplayRefresh() { return SDL_GL_SetSwapInterval(1) == 0; }

bool windowIsMinimised() {
    if (mainWindow == nullptr)
        return false;
    // An iconified window is unmapped by the window manager, which SDL reports as hidden.
    return (SDL_GetWindowFlags(mainWindow) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) != 0;
}

void releaseWindow() {
    SDL_GL_MakeCurrent(mainWindow, nullptr);
    SDL_GL_DeleteContext(mainContext);
    SDL_DestroyWindow(mainWindow);
    // As on Windows, the window's destruction runs the close handling once more.
    handleCloseMessage();
    mainWindow = nullptr;
    mainContext = nullptr;
    SDL_Quit();
}

void postQuitMessage() {} // the loop ends by `appRunning`; SDL needs no message of its own

// The pointer as the X server has it now. SDL's own global reading is a copy that SDL renews
// on button events only, so during a drag it keeps the position of the press.
static bool xPointerPosition(int *x, int *y) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (mainWindow == nullptr || !SDL_GetWindowWMInfo(mainWindow, &info) ||
        info.subsystem != SDL_SYSWM_X11)
        return false;
    Display *display = info.info.x11.display;
    Window root = 0;
    Window child = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned int buttons = 0;
    return XQueryPointer(display, DefaultRootWindow(display), &root, &child, x, y, &windowX,
                         &windowY, &buttons) != False;
}

void cursorScreenPosition(int32_t *x, int32_t *y) {
    int cursorX = 0;
    int cursorY = 0;
    // SDL reads the cursor through its video driver, which is gone once the window is.
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0 && !xPointerPosition(&cursorX, &cursorY))
        SDL_GetGlobalMouseState(&cursorX, &cursorY);
    *x = cursorX;
    *y = cursorY;
}

void windowScreenPosition(void *window, int32_t *x, int32_t *y) {
    int left = 0;
    int top = 0;
    if (window != nullptr)
        SDL_GetWindowPosition(static_cast<SDL_Window *>(window), &left, &top);
    *x = left;
    *y = top;
}

void moveWindow(void *window, int32_t x, int32_t y) {
    if (window != nullptr)
        SDL_SetWindowPosition(static_cast<SDL_Window *>(window), x, y);
}

void openWebAddress(const char *address) { SDL_OpenURL(address); }
