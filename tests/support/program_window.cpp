#include "tests/support/program_window.h"

#include <cstring>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#define SDL_MAIN_HANDLED
#include <SDL.h>
#endif

#include <stb_image_write.h>

#include "app/app_state.h"
#include "platform/platform.h"
#include "render/gl_api.h"
#include "render/render_resources.h"
#include "tests/support/test_environment.h"
#ifndef _WIN32
// Last: X's headers define short macros (None, Success, ...).
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#endif

bool ProgramWindowSuite::windowOpened = false;

bool openProgramWindow() {
    if (createMainWindow(626, 626) != WindowCreation::Created)
        return false;
    return createGlContext(appState.windowHandle.load()) && initGraphics();
}

void closeProgramWindow() {
    releaseWindow();
    forgetWindowClass();
    appState.windowHandle = nullptr;
    appState.deviceContext = nullptr;
    appState.glContext = nullptr;
    appState.windowWidth = 626;
    appState.windowHeight = 626;
    appState.dragging = false;
    resetAppState();
}

#ifdef _WIN32

void forgetWindowClass() { UnregisterClassA("ArdwynQuillmere", GetModuleHandleA(nullptr)); }

void sendUserAction(UserAction action) {
    HWND window = static_cast<HWND>(appState.windowHandle.load());
    switch (action) {
    case UserAction::CloseMessage:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case UserAction::EscapeKey:
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
        break;
    case UserAction::DestroyMessage:
        PostMessageA(window, WM_DESTROY, 0, 0);
        break;
    }
}

bool programWindowIsShown() {
    HWND found = FindWindowA("ArdwynQuillmere", "Quillmere");
    return found != nullptr && found == appState.windowHandle.load() && IsWindowVisible(found);
}

static LRESULT CALLBACK squatterProc(HWND w, UINT m, WPARAM p, LPARAM l) {
    return DefWindowProcA(w, m, p, l);
}

// Another class of the same name already registered makes the registration fail for real.
void breakWindowRegistration() {
    WNDCLASSEXA squatter;
    ZeroMemory(&squatter, sizeof squatter);
    squatter.cbSize = sizeof squatter;
    squatter.lpfnWndProc = squatterProc;
    squatter.hInstance = GetModuleHandleA(nullptr);
    squatter.lpszClassName = "ArdwynQuillmere";
    RegisterClassExA(&squatter);
}

void mendWindowRegistration() { forgetWindowClass(); }

void placeCursor(int x, int y) { SetCursorPos(x, y); }

void minimiseProgramWindow() {
    PostMessageA(static_cast<HWND>(appState.windowHandle.load()), WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

#else

void forgetWindowClass() {}

void sendUserAction(UserAction action) {
    SDL_Event event;
    memset(&event, 0, sizeof event);
    SDL_Window *window = static_cast<SDL_Window *>(appState.windowHandle.load());
    switch (action) {
    case UserAction::CloseMessage:
        event.type = SDL_WINDOWEVENT;
        event.window.event = SDL_WINDOWEVENT_CLOSE;
        event.window.windowID = SDL_GetWindowID(window);
        break;
    case UserAction::EscapeKey:
        event.type = SDL_KEYDOWN;
        event.key.keysym.sym = SDLK_ESCAPE;
        event.key.windowID = SDL_GetWindowID(window);
        break;
    case UserAction::DestroyMessage:
        event.type = SDL_QUIT;
        break;
    }
    SDL_PushEvent(&event);
}

bool programWindowIsShown() {
    SDL_Window *window = static_cast<SDL_Window *>(appState.windowHandle.load());
    return window != nullptr && strcmp(SDL_GetWindowTitle(window), "Quillmere") == 0 &&
           (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN) != 0;
}

// A video driver that does not exist makes SDL's start fail for real.
void breakWindowRegistration() { setEnvironment("SDL_VIDEODRIVER", "no-such-driver"); }

void mendWindowRegistration() { setEnvironment("SDL_VIDEODRIVER", nullptr); }

void placeCursor(int x, int y) { SDL_WarpMouseGlobal(x, y); }

// A second client of the X server unmaps the window, as a window manager does when it iconifies
// one; SDL's own calls belong to the UI thread.
void minimiseProgramWindow() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    SDL_Window *window = static_cast<SDL_Window *>(appState.windowHandle.load());
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return;
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return;
    XUnmapWindow(display, info.info.x11.window);
    XFlush(display);
    XCloseDisplay(display);
}

#endif

bool saveFrame(const std::string &path, int width, int height) {
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
    glReadBuffer(GL_BACK); // kept across the swap by the software renderer
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    stbi_flip_vertically_on_write(1); // GL's rows run bottom first
    const bool saved = stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4);
    stbi_flip_vertically_on_write(0);
    return saved;
}
