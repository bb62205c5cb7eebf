// The SDL window: shows the framebuffer at 640x448 and turns keyboard events
// into key codes. The event loop runs on the calling (main) thread.
//
// SDL2 is loaded only here, when a display is on offer: the program does not
// link it, so runs without a window (command words, --status, the terminal)
// map none of its libraries, and a machine without SDL2 still has the terminal.
#include "display/font_cp437.h"
#include "display/icon.h"
#include "display/window.h"
#include "display/window_posix.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace {

// The SDL functions this window calls, looked up once in the loaded library.
// clang-format off
#define VELTRA_SDL_FUNCTIONS(X)                                                                  \
    X(SDL_SetHint) X(SDL_Init) X(SDL_Quit) X(SDL_GetError) X(SDL_GetCurrentVideoDriver)          \
    X(SDL_CreateWindow) X(SDL_DestroyWindow) X(SDL_GetWindowSurface) X(SDL_ShowWindow)           \
    X(SDL_StartTextInput) X(SDL_RegisterEvents) X(SDL_PushEvent) X(SDL_ThreadID)                 \
    X(SDL_SetEventFilter) X(SDL_PollEvent) X(SDL_WaitEvent) X(SDL_Delay) X(SDL_LockSurface)      \
    X(SDL_UnlockSurface) X(SDL_ConvertPixels) X(SDL_UpdateWindowSurface)                         \
    X(SDL_CreateRGBSurfaceWithFormatFrom) X(SDL_SetWindowIcon) X(SDL_FreeSurface)                \
    X(SDL_GetWindowWMInfo)
// clang-format on

struct SdlLibrary {
#define VELTRA_SDL_POINTER(name) decltype(&::name) name = nullptr;
    VELTRA_SDL_FUNCTIONS(VELTRA_SDL_POINTER)
#undef VELTRA_SDL_POINTER
};
SdlLibrary sdl;

// Loads the library and looks its functions up, once per process (it stays
// loaded: SDL may leave threads of its own behind). Returns false with the
// reason in `why` when the library or one of its functions is missing.
bool loadSdl(std::string& why) {
    static bool loaded = false;
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        void* library = ::dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        bool complete = library != nullptr;
        if (!library) failure = ::dlerror();
#define VELTRA_SDL_LOOKUP(name)                                                                    \
    if (complete) {                                                                                \
        sdl.name = reinterpret_cast<decltype(sdl.name)>(::dlsym(library, #name));                  \
        if (!sdl.name) {                                                                           \
            failure = "libSDL2-2.0.so.0: " #name;                                                  \
            complete = false;                                                                      \
        }                                                                                          \
    }
        VELTRA_SDL_FUNCTIONS(VELTRA_SDL_LOOKUP)
#undef VELTRA_SDL_LOOKUP
        loaded = complete;
    }
    why = failure;
    return loaded;
}

// Keys that type no text, by their plain PC scan code. The keypad gives the
// cursor block too while Num Lock is off.
struct ExtendedKey {
    SDL_Keycode key;
    SDL_Keycode keypad;
    uint8_t scan;
};
constexpr ExtendedKey ExtendedKeys[] = {
    {SDLK_UP, SDLK_KP_8, 0x48},     {SDLK_DOWN, SDLK_KP_2, 0x50},
    {SDLK_LEFT, SDLK_KP_4, 0x4B},   {SDLK_RIGHT, SDLK_KP_6, 0x4D},
    {SDLK_HOME, SDLK_KP_7, 0x47},   {SDLK_END, SDLK_KP_1, 0x4F},
    {SDLK_PAGEUP, SDLK_KP_9, 0x49}, {SDLK_PAGEDOWN, SDLK_KP_3, 0x51},
    {SDLK_INSERT, SDLK_KP_0, 0x52}, {SDLK_DELETE, SDLK_KP_PERIOD, 0x53},
    {SDLK_F11, SDLK_F11, 0x85},     {SDLK_F12, SDLK_F12, 0x86},
};

// The key code of a key that types no text, or -1 for keys that give nothing
// here (modifiers alone, keys that arrive as text).
int keyCodeFor(const SDL_Keysym& keysym) {
    const SDL_Keycode key = keysym.sym;
    const bool alt = keysym.mod & KMOD_ALT, ctrl = keysym.mod & KMOD_CTRL;
    const bool shift = keysym.mod & KMOD_SHIFT;
    switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return KeyEnter;
    case SDLK_ESCAPE:
        return KeyEscape;
    case SDLK_BACKSPACE:
        return 8;
    case SDLK_TAB:
        return 9;
    default:
        break;
    }
    if (key >= SDLK_F1 && key <= SDLK_F10)
        return pcExtendedKey(0x3B + (key - SDLK_F1), shift, ctrl, alt);
    const bool numLock = keysym.mod & KMOD_NUM;
    for (const ExtendedKey& extended : ExtendedKeys) {
        if (key == extended.key || (!numLock && key == extended.keypad))
            return pcExtendedKey(extended.scan, shift, ctrl, alt);
    }
    // Ctrl with a letter types the control character, as on a PC.
    if (ctrl && !alt && key >= SDLK_a && key <= SDLK_z) return key - SDLK_a + 1;
    return -1;
}

void pushText(KeyQueue& keys, const char* text) {
    const size_t size = std::strlen(text);
    for (size_t pos = 0; pos < size;) {
        const Utf8Char decoded = decodeUtf8(text + pos, size - pos);
        if (decoded.length <= 0) {
            ++pos;
            continue;
        }
        const int ch = characterKeyFor(decoded.codePoint);
        if (ch >= 0x20) pushKey(keys, ch);
        pos += decoded.length;
    }
}

// Shows the framebuffer; returns the frame count that belongs to the pixels
// shown (read under the frame lock with them).
uint64_t present(SDL_Window* window, TextScreen& screen) {
    uint64_t frame = screen.frameCounter.load(std::memory_order_acquire);
    SDL_Surface* surface = sdl.SDL_GetWindowSurface(window);
    if (!surface) return frame;
    const int width = std::min(surface->w, TextScreen::Width);
    const int height = std::min(surface->h, TextScreen::Height);
    if (SDL_MUSTLOCK(surface) && sdl.SDL_LockSurface(surface) != 0) return frame;
    {
        std::lock_guard<std::mutex> hold(screen.frameLock);
        frame = screen.frameCounter.load(std::memory_order_relaxed);
        sdl.SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_ARGB8888, screen.pixels.data(),
                              TextScreen::Width * 4, surface->format->format, surface->pixels,
                              surface->pitch);
    }
    if (SDL_MUSTLOCK(surface)) sdl.SDL_UnlockSurface(surface);
    sdl.SDL_UpdateWindowSurface(window);
    return frame;
}

void setIcon(SDL_Window* window) {
    SDL_Surface* icon = sdl.SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint8_t*>(programIcon().data()), ProgramIconSize, ProgramIconSize, 24,
        ProgramIconSize * 3, SDL_PIXELFORMAT_RGB24);
    if (!icon) return;
    sdl.SDL_SetWindowIcon(window, icon);
    sdl.SDL_FreeSurface(icon);
}

bool environmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Whether a desktop is there to open a window on (or the user chose SDL's
// video driver). Without one SDL would fall back to drivers that show nothing
// (offscreen, dummy) or take over the console (KMSDRM), where the terminal
// does better; SDL is then not even loaded.
bool displayOnOffer() {
#if defined(__linux__) || (defined(__unix__) && !defined(__APPLE__))
    return environmentSet("SDL_VIDEODRIVER") || environmentSet("DISPLAY") ||
           environmentSet("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

// Only the protocol on offer: a failed attempt at the other one prints
// complaints on the terminal.
void chooseVideoDriver() {
#if defined(__linux__) || (defined(__unix__) && !defined(__APPLE__))
    if (environmentSet("SDL_VIDEODRIVER")) return; // the user's choice
    const bool x11 = environmentSet("DISPLAY"), wayland = environmentSet("WAYLAND_DISPLAY");
    if (x11 != wayland) sdl.SDL_SetHint(SDL_HINT_VIDEODRIVER, x11 ? "x11" : "wayland");
#endif
}

bool isRealWindowDriver(const char* driver) {
    for (const char* hidden : {"offscreen", "dummy", "evdev", "KMSDRM"})
        if (driver && strcasecmp(driver, hidden) == 0) return false;
    return driver != nullptr;
}

// The descriptor of the X11 connection behind the window; -1 under another
// video driver.
int x11ConnectionFd(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (sdl.SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11)
        return ConnectionNumber(info.info.x11.display);
#endif
    (void)window;
    return -1;
}

// Events that other threads push with SDL_PushEvent while the loop sleeps in
// poll, where SDL cannot wake it: the event filter takes them out of SDL's
// queue, keeps them here and wakes the loop.
struct ForeignEvents {
    SDL_threadID loopThread = 0;
    std::function<void()> wake;
    std::mutex lock;
    std::vector<SDL_Event> events;
};

int takeForeignEvent(void* userdata, SDL_Event* event) {
    auto& foreign = *static_cast<ForeignEvents*>(userdata);
    if (sdl.SDL_ThreadID() == foreign.loopThread) return 1;
    {
        std::lock_guard<std::mutex> hold(foreign.lock);
        foreign.events.push_back(*event);
    }
    foreign.wake();
    return 0;
}

// Keys to the queue; returns true for a window event that calls for a repaint.
bool handleEvent(TextScreen& screen, const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT: // the close button: only a key, the window stays
        pushKey(screen.keys, KeyClose);
        break;
    case SDL_TEXTINPUT:
        pushText(screen.keys, event.text.text);
        break;
    case SDL_KEYDOWN:
        if (int code = keyCodeFor(event.key.keysym); code >= 0) pushKey(screen.keys, code);
        break;
    case SDL_WINDOWEVENT:
        return event.window.event == SDL_WINDOWEVENT_EXPOSED ||
               event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED;
    default:
        break;
    }
    return false;
}

// Opens the window, hidden until its icon is set; nullptr when SDL gives none
// (a display that is there but gives no window says why before the terminal
// takes over).
SDL_Window* openSdlWindow(const std::string& title) {
    // Signals stay the program's own (SDL would turn SIGINT and SIGTERM into a
    // quit event); the screen saver may run while a menu waits; the desktop
    // keeps compositing.
    sdl.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl.SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    sdl.SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    chooseVideoDriver();
    const auto noWindow = []() -> SDL_Window* {
        const std::string why = std::string("SDL: ") + sdl.SDL_GetError();
        std::fputs((withReason(backendTexts().noWindow, why) + "\n").c_str(), stderr);
        sdl.SDL_Quit();
        return nullptr;
    };
    if (sdl.SDL_Init(SDL_INIT_VIDEO) != 0) return noWindow();
    const char* driver = sdl.SDL_GetCurrentVideoDriver();
    if (!isRealWindowDriver(driver)) {
        sdl.SDL_Quit();
        return nullptr;
    }
    // X11 shows the pixels from shared memory; going through OpenGL instead
    // costs half a second of start-up where the driver renders in software.
    if (strcasecmp(driver, "x11") == 0) sdl.SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_Window* window =
        sdl.SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             TextScreen::Width, TextScreen::Height, SDL_WINDOW_HIDDEN);
    if (!window || !sdl.SDL_GetWindowSurface(window)) {
        if (window) sdl.SDL_DestroyWindow(window);
        return noWindow();
    }
    setIcon(window);
    sdl.SDL_ShowWindow(window);
    sdl.SDL_StartTextInput();
    return window;
}

// The loop sleeps until a key, a window event or a wake-up from the logic,
// which comes after drawing and at the logic's end; at most one wake-up is on
// its way at a time (LoopWaker). Under X11 the loop waits in poll on the
// connection and an eventfd of its own: SDL's own way of waking its wait sends
// a message to the window from a second connection, and one still on its way
// when the window closes makes the server answer BadWindow, which ends the
// program. Under other drivers the wake-up is an SDL event and the loop
// sleeps in SDL.
struct SdlLoop {
    TextScreen& screen;
    SDL_Window* window = nullptr;
    int xFd = -1;
    bool pollX11 = false;
    uint32_t wakeEvent = SDL_USEREVENT;
    LoopWaker waker{};
    ForeignEvents foreign{};
};

void wakeSdlLoop(SdlLoop& loop) {
    if (loop.pollX11) return wakeLoop(loop.waker);
    if (!claimWakeUp(loop.waker)) return;
    SDL_Event event{};
    event.type = loop.wakeEvent;
    if (sdl.SDL_PushEvent(&event) != 1) releaseWakeUp(loop.waker);
}

void setUpWakeUps(SdlLoop& loop) {
    loop.xFd = x11ConnectionFd(loop.window);
    loop.pollX11 = loop.xFd >= 0 && openWaker(loop.waker);
    const uint32_t registered = sdl.SDL_RegisterEvents(1);
    loop.wakeEvent = registered == uint32_t(-1) ? uint32_t{SDL_USEREVENT} : registered;
    loop.screen.wakeEventLoop = [&loop] { wakeSdlLoop(loop); };
    loop.foreign.loopThread = sdl.SDL_ThreadID();
    loop.foreign.wake = [&loop] { wakeSdlLoop(loop); };
    if (loop.pollX11) sdl.SDL_SetEventFilter(takeForeignEvent, &loop.foreign);
}

// The events that came, SDL's and those other threads pushed; true when the
// window needs painting again.
bool takeEvents(SdlLoop& loop) {
    bool repaint = false;
    SDL_Event event;
    while (sdl.SDL_PollEvent(&event)) {
        // Taken out of the queue: the next wake-up may be sent.
        if (event.type == loop.wakeEvent) releaseWakeUp(loop.waker);
        repaint |= handleEvent(loop.screen, event);
    }
    std::vector<SDL_Event> taken;
    {
        std::lock_guard<std::mutex> hold(loop.foreign.lock);
        taken.swap(loop.foreign.events);
    }
    for (const SDL_Event& pushed : taken) repaint |= handleEvent(loop.screen, pushed);
    return repaint;
}

void runSdlLoop(SdlLoop& loop) {
    uint64_t shownFrame = ~uint64_t{0};
    bool repaint = true;
    for (;;) {
        repaint |= takeEvents(loop);
        const uint64_t frame = loop.screen.frameCounter.load(std::memory_order_acquire);
        if (frame != shownFrame || repaint) {
            shownFrame = present(loop.window, loop.screen);
            loop.screen.presentedFrame.store(shownFrame, std::memory_order_release);
            repaint = false;
            continue; // events read while presenting are taken before the next sleep
        }
        if (loop.screen.endRequested.load(std::memory_order_acquire)) return;
        if (loop.pollX11) {
            pollfd watched[2] = {{loop.xFd, POLLIN, 0}, {loop.waker.readFd, POLLIN, 0}};
            if (::poll(watched, 2, -1) > 0 && (watched[1].revents & POLLIN))
                takeWakeUps(loop.waker);
        } else if (!sdl.SDL_WaitEvent(nullptr)) {
            sdl.SDL_Delay(10); // no event queue: look again shortly rather than spin
        }
    }
}

} // namespace

bool runSdlWindow(TextScreen& screen, const std::string& title,
                  const std::function<void(TextScreen&)>& logic, int& exitCode) {
    if (!displayOnOffer()) return false;
    if (std::string why; !loadSdl(why)) {
        std::fputs((withReason(backendTexts().noWindow, why) + "\n").c_str(), stderr);
        return false;
    }
    SdlLoop loop{screen};
    loop.window = openSdlWindow(title);
    if (!loop.window) return false;
    setUpWakeUps(loop);
    std::exception_ptr failure;
    std::thread logicThread = startLogicThread(screen, logic, failure);
    runSdlLoop(loop);
    logicThread.join();
    if (loop.pollX11) sdl.SDL_SetEventFilter(nullptr, nullptr);
    screen.wakeEventLoop = nullptr;
    closeWaker(loop.waker);
    sdl.SDL_DestroyWindow(loop.window);
    sdl.SDL_Quit();
    if (failure) std::rethrow_exception(failure);
    exitCode = screen.exitCode.load();
    return true;
}
