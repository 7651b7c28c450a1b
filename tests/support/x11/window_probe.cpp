// X11Probe: plain Xlib calls and EWMH/ICCCM properties.
#include "support/x11/window_probe.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

namespace trv::test {
namespace {

Display* Dpy(void* display) { return static_cast<Display*>(display); }

}  // namespace

X11Probe::X11Probe() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        why_ = "no X display (DISPLAY is not set); ./run test provides one";
        return;
    }
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) why_ = std::string("cannot open the X display ") + name;
}

X11Probe::~X11Probe() {
    if (display_ != nullptr) XCloseDisplay(Dpy(display_));
}

X11Probe::Window X11Probe::Find(const std::string& title) {
    for (unsigned long window : Longs(DefaultRootWindow(Dpy(display_)), "_NET_CLIENT_LIST")) {
        if (Title(window) == title) return window;
    }
    return 0;
}

X11Probe::Window X11Probe::Create(const std::string& title) {
    Display* display = Dpy(display_);
    ::Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 20, 20, 320, 200, 0, 0, 0xFFFFFF);
    XStoreName(display, window, title.c_str());
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = NormalState;
    XSetWMHints(display, window, &hints);
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

void X11Probe::Destroy(Window window) {
    XDestroyWindow(Dpy(display_), window);
    XSync(Dpy(display_), False);
}

void X11Probe::Activate(Window window) {
    Display* display = Dpy(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // from a pager or task bar: obeyed without focus-stealing checks
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XSync(display, False);
}

X11Probe::Rect X11Probe::Outer(Window window) {
    Display* display = Dpy(display_);
    ::Window top = window;
    for (;;) {
        ::Window root = 0;
        ::Window parent = 0;
        ::Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, top, &root, &parent, &children, &count) == 0) return {};
        if (children != nullptr) XFree(children);
        if (parent == root) break;
        top = parent;
    }
    XWindowAttributes frame{};
    if (XGetWindowAttributes(display, top, &frame) == 0) return {};
    return {frame.x, frame.y, frame.width + 2 * frame.border_width, frame.height + 2 * frame.border_width};
}

std::string X11Probe::Title(Window window) {
    char* name = nullptr;
    std::string title;
    if (XFetchName(Dpy(display_), window, &name) != 0 && name != nullptr) title = name;
    if (name != nullptr) XFree(name);
    return title;
}

bool X11Probe::Managed(Window window) { return State(window) == NormalState; }

bool X11Probe::Minimized(Window window) { return State(window) == IconicState; }

bool X11Probe::Maximized(Window window) {
    const Atom vertical = XInternAtom(Dpy(display_), "_NET_WM_STATE_MAXIMIZED_VERT", False);
    const Atom horizontal = XInternAtom(Dpy(display_), "_NET_WM_STATE_MAXIMIZED_HORZ", False);
    int found = 0;
    for (unsigned long state : Longs(window, "_NET_WM_STATE")) {
        if (state == vertical || state == horizontal) ++found;
    }
    return found == 2;
}

bool X11Probe::Active(Window window) {
    const std::vector<unsigned long> active = Longs(DefaultRootWindow(Dpy(display_)), "_NET_ACTIVE_WINDOW");
    return !active.empty() && active[0] == window;
}

std::vector<unsigned long> X11Probe::Longs(Window window, const char* property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(Dpy(display_), window, XInternAtom(Dpy(display_), property, False), 0, 1024, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
        data != nullptr && format == 32) {
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        items.assign(longs, longs + count);
    }
    if (data != nullptr) XFree(data);
    return items;
}

long X11Probe::State(Window window) {
    const std::vector<unsigned long> state = Longs(window, "WM_STATE");
    return state.empty() ? WithdrawnState : static_cast<long>(state[0]);
}

}  // namespace trv::test
