#include <cstring>
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "app/app_state.h"
#include "platform/platform.h"
#include "platform/win32/instance.h"
#include "window/window_events.h"

const char windowClassName[] = "ArdwynQuillmere";

// The message table of the window; everything else goes to the default handling.
LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const uint32_t low = LOWORD(lParam);
    const uint32_t high = HIWORD(lParam);
    switch (message) {
    case WM_DESTROY:
    case WM_CLOSE:
        // Not passed on: the shutdown destroys the window itself.
        handleCloseMessage();
        return 0;
    case WM_SIZE:
        handleSizeMessage(low, high);
        return 0;
    case WM_KEYDOWN:
        handleKeyDown(static_cast<uint32_t>(wParam));
        return 0;
    case WM_CHAR:
        return 0;
    case WM_MOUSEMOVE:
        handleMouseMove(low, high);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        handleButtonDown();
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        handleButtonUp();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

WindowCreation createMainWindow(int32_t width, int32_t height) {
    WNDCLASSEXA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.cbSize = sizeof(WNDCLASSEXA); // 80 on x86-64; 48 is the 32-bit size
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = programInstance();
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.lpszClassName = windowClassName;
    if (RegisterClassExA(&windowClass) == 0)
        return WindowCreation::RegistrationFailed;

    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND window = CreateWindowExA(WS_EX_LAYERED | WS_EX_APPWINDOW, windowClassName, "Quillmere",
                                  WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                                  programInstance(), nullptr);
    appState.windowHandle.store(window);
    if (window == nullptr)
        return WindowCreation::CreationFailed;
    // Every pure magenta pixel is keyed out: the window takes the backdrop's shape.
    SetLayeredWindowAttributes(window, RGB(255, 0, 255), 0, LWA_COLORKEY);
    return WindowCreation::Created;
}

bool createGlContext(void *window) {
    HDC deviceContext = GetDC(static_cast<HWND>(window));
    appState.deviceContext.store(deviceContext);
    PIXELFORMATDESCRIPTOR descriptor;
    ZeroMemory(&descriptor, sizeof descriptor);
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = 32;
    descriptor.cDepthBits = 24;
    descriptor.cStencilBits = 8;
    descriptor.iLayerType = PFD_MAIN_PLANE;
    const int format = ChoosePixelFormat(deviceContext, &descriptor);
    if (format == 0 || !SetPixelFormat(deviceContext, format, &descriptor))
        return false;
    HGLRC context = wglCreateContext(deviceContext);
    appState.glContext.store(context);
    return context != nullptr && wglMakeCurrent(deviceContext, context);
}

void *glProcAddress(const char *name) { return reinterpret_cast<void *>(wglGetProcAddress(name)); }

void pumpWindowMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void presentFrame() { SwapBuffers(static_cast<HDC>(appState.deviceContext.load())); }

// WGL's swap control is an extension: it is used only where the driver lists it.
bool followDisplayRefresh() {
    typedef const char *(WINAPI * ExtensionsOfContext)(HDC);
    typedef const char *(WINAPI * ExtensionsOfDriver)();
    typedef BOOL(WINAPI * SwapInterval)(int);
    const char *extensions = nullptr;
    if (auto ofContext = reinterpret_cast<ExtensionsOfContext>(
            reinterpret_cast<void *>(wglGetProcAddress("wglGetExtensionsStringARB"))))
        extensions = ofContext(static_cast<HDC>(appState.deviceContext.load()));
    else if (auto ofDriver = reinterpret_cast<ExtensionsOfDriver>(
                 reinterpret_cast<void *>(wglGetProcAddress("wglGetExtensionsStringEXT"))))
        extensions = ofDriver();
    if (extensions == nullptr || strstr(extensions, "WGL_EXT_swap_control") == nullptr)
        return false;
    auto setInterval = reinterpret_cast<SwapInterval>(
        reinterpret_cast<void *>(wglGetProcAddress("wglSwapIntervalEXT")));
    return setInterval != nullptr && setInterval(1);
}

bool windowIsMinimised() {
    HWND window = static_cast<HWND>(appState.windowHandle.load());
    return window != nullptr && IsIconic(window);
}

void releaseWindow() {
    HWND window = static_cast<HWND>(appState.windowHandle.load());
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(static_cast<HGLRC>(appState.glContext.load()));
    ReleaseDC(window, static_cast<HDC>(appState.deviceContext.load()));
    DestroyWindow(window);
}

void postQuitMessage() { PostQuitMessage(0); }

void cursorScreenPosition(int32_t *x, int32_t *y) {
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    *x = cursor.x;
    *y = cursor.y;
}

void windowScreenPosition(void *window, int32_t *x, int32_t *y) {
    RECT frame = {0, 0, 0, 0};
    GetWindowRect(static_cast<HWND>(window), &frame);
    *x = frame.left;
    *y = frame.top;
}

void moveWindow(void *window, int32_t x, int32_t y) {
    SetWindowPos(static_cast<HWND>(window), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void openWebAddress(const char *address) {
    ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

void shapeWindow(void *, const unsigned char *, int32_t, int32_t) {} // the colour key does it
