// The Windows window: an ordinary, fixed-size window that shows the text
// screen's 640x448 framebuffer through a DIB section at a whole-number scale
// (nearest neighbour, so every pixel stays sharp on a high-DPI screen), and
// turns the window's keyboard messages into key codes for the KeyQueue. The
// message loop runs on the calling (main) thread and sleeps until a message
// comes; the installer's logic runs on a thread of its own and posts one after
// drawing and at its end.
#include "display/window.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr UINT WakeMessage = WM_APP + 1; // from the logic thread: a new frame, or the end
constexpr UINT BaseDpi = 96;
constexpr WORD IconResource = 1; // the group icon in the program's resources
constexpr DWORD WindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr UINT CodePage437 = 437;
constexpr const wchar_t* WindowClass = L"VeltraTextScreen";

struct Window {
    TextScreen* screen = nullptr;
    HWND handle = nullptr;
    HDC memoryDc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    void* bits = nullptr; // top-down 640x448, 32 bits a pixel (B, G, R, unused)
    uint64_t shownFrame = ~uint64_t{0};
    int scale = 1;                        // each frame pixel is scale x scale screen pixels
    std::atomic<bool> wakePending{false}; // a WakeMessage is on its way
};

// The DPI functions of Windows 10 (1607 and later), looked up at run time so
// that the program still starts on older Windows, which gets the system DPI.
struct DpiCalls {
    UINT(WINAPI* forWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustRect)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
};

const DpiCalls& dpiCalls() {
    static const DpiCalls calls = [] {
        DpiCalls found;
        if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
            auto look = [user32](const char* name) {
                return reinterpret_cast<void*>(GetProcAddress(user32, name));
            };
            found.forWindow = reinterpret_cast<decltype(found.forWindow)>(look("GetDpiForWindow"));
            found.adjustRect =
                reinterpret_cast<decltype(found.adjustRect)>(look("AdjustWindowRectExForDpi"));
        }
        return found;
    }();
    return calls;
}

UINT windowDpi(HWND handle) {
    if (dpiCalls().forWindow)
        if (UINT dpi = dpiCalls().forWindow(handle)) return dpi;
    HDC dc = GetDC(handle);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc) ReleaseDC(handle, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : BaseDpi;
}

// The outer size of the window whose client area shows the frame at `scale`.
SIZE windowSize(int scale, UINT dpi) {
    RECT frame{0, 0, TextScreen::Width * scale, TextScreen::Height * scale};
    if (!dpiCalls().adjustRect || !dpiCalls().adjustRect(&frame, WindowStyle, FALSE, 0, dpi))
        AdjustWindowRectEx(&frame, WindowStyle, FALSE, 0);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

RECT workArea(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor && GetMonitorInfoW(monitor, &info)) return info.rcWork;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// The screen's scale factor (dpi / 96, rounded) as a whole number, lowered
// until the window fits the work area; at least 1.
int fittingScale(UINT dpi, const RECT& area) {
    int scale = std::max(1, static_cast<int>((dpi + BaseDpi / 2) / BaseDpi));
    for (; scale > 1; --scale) {
        const SIZE size = windowSize(scale, dpi);
        if (size.cx <= area.right - area.left && size.cy <= area.bottom - area.top) break;
    }
    return scale;
}

// Sizes the window for `dpi` on `monitor` with its top-left corner at `at`,
// moved into the work area where it would stick out.
void placeWindow(Window& window, UINT dpi, HMONITOR monitor, POINT at) {
    const RECT area = workArea(monitor);
    window.scale = fittingScale(dpi, area);
    const SIZE size = windowSize(window.scale, dpi);
    const LONG x = std::max(area.left, std::min<LONG>(at.x, area.right - size.cx));
    const LONG y = std::max(area.top, std::min<LONG>(at.y, area.bottom - size.cy));
    SetWindowPos(window.handle, nullptr, x, y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window.handle, nullptr, FALSE);
}

// Everything after the last folder separator and before the last dot.
std::wstring fileStem(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return name;
}

// The window shows the program file's name without folder and extension. The
// file name comes from the system, in full Unicode, not from argv[0], which
// holds whatever the starting program passed.
std::wstring windowTitle(const std::string& programPath) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) break;
        if (length < path.size()) {
            path.resize(length);
            return fileStem(path);
        }
        path.resize(path.size() * 2);
    }
    std::string title = programTitle(programPath);
    return std::wstring(title.begin(), title.end());
}

// The plain PC scan code of a key that types no character: the key table's
// cursor block and F1 to F10, and F11, F12; 0 for any other key.
int plainScanCode(WPARAM virtualKey) {
    switch (virtualKey) {
    case VK_UP:
        return 0x48;
    case VK_DOWN:
        return 0x50;
    case VK_LEFT:
        return 0x4B;
    case VK_RIGHT:
        return 0x4D;
    case VK_INSERT:
        return 0x52;
    case VK_DELETE:
        return 0x53;
    case VK_HOME:
        return 0x47;
    case VK_END:
        return 0x4F;
    case VK_PRIOR:
        return 0x49;
    case VK_NEXT:
        return 0x51;
    case VK_F11:
        return 0x85;
    case VK_F12:
        return 0x86;
    default:
        break;
    }
    if (virtualKey >= VK_F1 && virtualKey <= VK_F10)
        return 0x3B + static_cast<int>(virtualKey - VK_F1);
    return 0;
}

bool held(int virtualKey) {
    return (GetKeyState(virtualKey) & 0x8000) != 0;
}

// The key code of such a key; with Shift, Ctrl or Alt held, the code that a PC
// gives for the combination, which the installer does not act on.
int extendedKey(int plainScan, LPARAM lParam) {
    const bool alt = (lParam & (1 << 29)) != 0;
    return pcExtendedKey(plainScan, held(VK_SHIFT), held(VK_CONTROL), alt);
}

// A typed UTF-16 character as a code page 437 byte; characters that code page
// lacks arrive as its nearest letter or "?", so that they still count as a key.
int characterKey(wchar_t ch) {
    char converted[4] = {};
    int length =
        WideCharToMultiByte(CodePage437, 0, &ch, 1, converted, sizeof converted, nullptr, nullptr);
    if (length != 1) return '?';
    return static_cast<unsigned char>(converted[0]);
}

// A held-down key may arrive as one message with a repeat count.
void pushRepeated(TextScreen& screen, int code, LPARAM lParam) {
    int repeats = static_cast<int>(lParam & 0xFFFF);
    if (repeats < 1) repeats = 1;
    if (repeats > 16) repeats = 16; // the queue keeps 15 anyway
    for (int i = 0; i < repeats; ++i) pushKey(screen.keys, code);
}

// Copies the framebuffer into the DIB section when the logic drew since the
// last copy, and asks for a repaint.
void present(Window& window) {
    TextScreen& screen = *window.screen;
    uint64_t frame = screen.frameCounter.load();
    if (frame == window.shownFrame) return;
    window.shownFrame = frame;
    GdiFlush();
    std::lock_guard<std::mutex> hold(screen.frameLock);
    std::memcpy(window.bits, screen.pixels.data(),
                sizeof(uint32_t) * TextScreen::Width * TextScreen::Height);
    InvalidateRect(window.handle, nullptr, FALSE);
}

// Runs on every wake-up from the logic: shows a new frame, closes the window
// at the end.
void poll(Window& window) {
    window.wakePending.store(false); // before the frame count is read: no wake-up is lost
    present(window);
    if (window.screen->endRequested.load()) DestroyWindow(window.handle);
}

// Keys and the keyboard's system messages; true when the message was taken.
bool takeKeyMessage(TextScreen& screen, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CHAR: {
        auto ch = static_cast<wchar_t>(wParam);
        if (ch >= 0xD800 && ch <= 0xDBFF) return true; // first half of a pair: wait for the second
        pushRepeated(screen, characterKey(ch), lParam);
        return true;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        // F10 and every key with Alt held arrive as system keys; Alt+F4 keeps its
        // usual meaning and reaches WM_CLOSE, the close key.
        const int scan = plainScanCode(wParam);
        if (scan && !(message == WM_SYSKEYDOWN && wParam == VK_F4 && (lParam & (1 << 29)))) {
            pushRepeated(screen, extendedKey(scan, lParam), lParam);
            return true;
        }
        return false;
    }
    case WM_SYSKEYUP:
        return wParam == VK_F10;
    case WM_SYSCHAR:
        return wParam != L' '; // Alt with a letter: no menu to open, no beep
    case WM_SYSCOMMAND:
        // Alt or F10 alone would put the window into menu mode and swallow the
        // next keys; there is no menu bar.
        return (wParam & 0xFFF0) == SC_KEYMENU && lParam == 0;
    case WM_CLOSE:
        // The close button is a key like any other; only the installer ends.
        pushKey(screen.keys, KeyClose);
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK windowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* window = static_cast<Window*>(create->lpCreateParams);
        window->handle = handle;
        SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<Window*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
    if (!window) return DefWindowProcW(handle, message, wParam, lParam);
    TextScreen& screen = *window->screen;

    if (takeKeyMessage(screen, message, wParam, lParam)) return 0;
    switch (message) {
    case WakeMessage:
        poll(*window);
        return 0;
    case WM_DPICHANGED: {
        // Moved to a screen with another scale factor: the suggested place,
        // the size for the new screen.
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        placeWindow(*window, HIWORD(wParam), MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST),
                    {suggested.left, suggested.top});
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the bitmap covers the whole client area
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(handle, &paint);
        // COLORONCOLOR copies whole pixels: nothing is blended at any scale.
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, 0, 0, TextScreen::Width * window->scale, TextScreen::Height * window->scale,
                   window->memoryDc, 0, 0, TextScreen::Width, TextScreen::Height, SRCCOPY);
        EndPaint(handle, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(handle, message, wParam, lParam);
}

bool createBitmap(Window& window) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = TextScreen::Width;
    info.bmiHeader.biHeight = -TextScreen::Height; // top-down, like the framebuffer
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    window.bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &window.bits, nullptr, 0);
    if (!window.bitmap || !window.bits) return false;
    window.memoryDc = CreateCompatibleDC(nullptr);
    if (!window.memoryDc) return false;
    window.previousBitmap = SelectObject(window.memoryDc, window.bitmap);
    std::memset(window.bits, 0, sizeof(uint32_t) * TextScreen::Width * TextScreen::Height);
    return true;
}

void destroyBitmap(Window& window) {
    if (window.memoryDc) {
        if (window.previousBitmap) SelectObject(window.memoryDc, window.previousBitmap);
        DeleteDC(window.memoryDc);
    }
    if (window.bitmap) DeleteObject(window.bitmap);
}

bool createWindow(Window& window, const std::string& programPath) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!createBitmap(window)) return false;

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IconResource));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IconResource),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = WindowClass;
    if (!RegisterClassExW(&windowClass)) return false;

    RECT frame{0, 0, TextScreen::Width, TextScreen::Height};
    AdjustWindowRect(&frame, WindowStyle, FALSE);
    std::wstring title = windowTitle(programPath);
    HWND handle = CreateWindowExW(0, WindowClass, title.c_str(), WindowStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                  nullptr, nullptr, instance, &window);
    if (!handle) return false;

    RECT placed{};
    GetWindowRect(handle, &placed);
    placeWindow(window, windowDpi(handle), MonitorFromWindow(handle, MONITOR_DEFAULTTOPRIMARY),
                {placed.left, placed.top});
    present(window);
    ShowWindow(handle, SW_SHOWDEFAULT);
    UpdateWindow(handle);
    return true;
}

} // namespace

// A window, no terminal: nothing to put back.
void restoreTerminalForExit() {}

int runWithWindow(TextScreen& screen, const std::string& programPath,
                  const std::function<void(TextScreen&)>& logic, ScreenUse) {
    Window window; // a command word's lines too: this program has no terminal of its own
    window.screen = &screen;
    // Without a window no key can ever come: every wait then ends as Escape,
    // so the program still comes to its end instead of hanging unseen.
    bool open = createWindow(window, programPath);
    if (!open) closeInput(screen.keys);

    // The logic wakes the loop after drawing and when it ends, even by an
    // exception; at most one wake-up is waiting at a time.
    const auto wake = [&window] {
        if (!window.wakePending.exchange(true) && !PostMessageW(window.handle, WakeMessage, 0, 0))
            window.wakePending.store(false);
    };
    if (open) screen.wakeEventLoop = wake;
    const auto logicThenWake = [&logic](TextScreen& shown) {
        struct AtEnd {
            TextScreen& shown;
            ~AtEnd() {
                shown.endRequested.store(true, std::memory_order_release);
                if (shown.wakeEventLoop) shown.wakeEventLoop();
            }
        } atEnd{shown};
        logic(shown);
    };

    std::exception_ptr failure;
    std::thread logicThread = startLogicThread(screen, logicThenWake, failure);
    if (open) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    logicThread.join();
    screen.wakeEventLoop = nullptr;
    destroyBitmap(window);
    if (failure) std::rethrow_exception(failure);
    return screen.exitCode.load();
}
