// X11Probe: plain Xlib calls and EWMH/ICCCM properties.
#include "support/x11/window_probe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>

namespace trv::test {

X11Probe::X11Probe() : display_(XOpenDisplay(nullptr)) {
    const char* name = std::getenv("DISPLAY");
    if (display_ == nullptr) {
        why_ = std::string("cannot open the X display \"") + (name != nullptr ? name : "") +
               "\"; ./run test provides one";
    }
}

X11Probe::~X11Probe() {
    if (display_ != nullptr) XCloseDisplay(display_);
}

X11Probe::Window X11Probe::Find(const std::string& title) {
    for (unsigned long window : Longs(DefaultRootWindow(display_), "_NET_CLIENT_LIST")) {
        if (Title(window) == title) return window;
    }
    return 0;
}

X11Probe::Window X11Probe::Create(const std::string& title) {
    ::Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 20, 20, 320, 200, 0, 0, 0xFFFFFF);
    XStoreName(display_, window, title.c_str());
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = NormalState;
    XSetWMHints(display_, window, &hints);
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
}

void X11Probe::Destroy(Window window) {
    XDestroyWindow(display_, window);
    XSync(display_, False);
}

X11Probe::Rect X11Probe::Outer(Window window) {
    ::Window top = window;
    for (;;) {
        ::Window root = 0;
        ::Window parent = 0;
        ::Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display_, top, &root, &parent, &children, &count) == 0) return {};
        if (children != nullptr) XFree(children);
        if (parent == root) break;
        top = parent;
    }
    XWindowAttributes frame{};
    if (XGetWindowAttributes(display_, top, &frame) == 0) return {};
    return {frame.x, frame.y, frame.width + 2 * frame.border_width, frame.height + 2 * frame.border_width};
}

std::string X11Probe::Title(Window window) {
    char* name = nullptr;
    std::string title;
    if (XFetchName(display_, window, &name) != 0 && name != nullptr) title = name;
    if (name != nullptr) XFree(name);
    return title;
}

bool X11Probe::Managed(Window window) { return State(window) == NormalState; }

bool X11Probe::Minimized(Window window) { return State(window) == IconicState; }

bool X11Probe::Maximized(Window window) {
    const std::vector<unsigned long> states = Longs(window, "_NET_WM_STATE");
    auto has = [&](const char* state) {
        return std::ranges::find(states, XInternAtom(display_, state, False)) != states.end();
    };
    return has("_NET_WM_STATE_MAXIMIZED_VERT") && has("_NET_WM_STATE_MAXIMIZED_HORZ");
}

bool X11Probe::Active(Window window) {
    const std::vector<unsigned long> active = Longs(DefaultRootWindow(display_), "_NET_ACTIVE_WINDOW");
    return !active.empty() && active[0] == window;
}

std::vector<unsigned long> X11Probe::Longs(Window window, const char* property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(display_, window, XInternAtom(display_, property, False), 0, 1024, False,
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
