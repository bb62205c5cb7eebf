// Presses a window's close button the way a window manager does: sends it the
// WM_DELETE_WINDOW message. Usage: window_close_x11 <window id>
//
// window_close_x11 --keymap puts the letter i with diaeresis on a free key
// code of the keyboard map, once, before the program starts: xdotool then
// types it with that key. Otherwise xdotool maps a key code for it just for
// the keystroke and maps it back at once, and a program that reads the key
// after the second change (a loaded machine) gets no character from it.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    if (std::strcmp(argv[1], "--keymap") == 0) {
        int first = 0, last = 0;
        XDisplayKeycodes(display, &first, &last);
        KeySym keysyms[2] = {XK_idiaeresis, XK_Idiaeresis};
        XChangeKeyboardMapping(display, last, 2, keysyms, 1); // the last code: free
        XSync(display, False);
        XCloseDisplay(display);
        return 0;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return 0;
}
