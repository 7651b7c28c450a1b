// The test window on an X display: created and queried through a connection
// of the test's own, so that every answer comes from the X server and the
// window manager, not from the library's backend.
#include <cstdlib>
#include <vector>

#include "bridge_fixture.h"
#include "real_window/test_window.h"

// After GoogleTest: Xlib's macros (None, Bool, Status) would clash with its names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace trv::test {
namespace {

class X11Window : public TestWindow {
public:
    X11Window(Display* display, const std::string& title) : display_(display) {
        other_ = Create(title + " (other)");
        window_ = Create(title);
    }
    ~X11Window() override {
        Destroy();
        XDestroyWindow(display_, other_);
        XCloseDisplay(display_);
    }

    bool Managed() { return State(window_) == NormalState && State(other_) == NormalState; }

    platform::WindowHandle handle() const override { return window_; }

    WindowRect Outer() override {
        // The window manager's frame: the ancestor that is a child of the root.
        Window top = window_;
        for (;;) {
            Window root = 0;
            Window parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            if (XQueryTree(display_, top, &root, &parent, &children, &count) == 0) return {};
            if (children != nullptr) XFree(children);
            if (parent == root) break;
            top = parent;
        }
        Window root = 0;
        int x = 0;
        int y = 0;
        unsigned int width = 0;
        unsigned int height = 0;
        unsigned int border = 0;
        unsigned int depth = 0;
        XGetGeometry(display_, top, &root, &x, &y, &width, &height, &border, &depth);
        return {x, y, static_cast<int>(width + 2 * border), static_cast<int>(height + 2 * border)};
    }

    bool Minimized() override { return State(window_) == IconicState; }

    bool Maximized() override {
        const std::vector<unsigned long> states = Longs(window_, "_NET_WM_STATE");
        int found = 0;
        for (unsigned long state : states) {
            if (state == Atom("_NET_WM_STATE_MAXIMIZED_VERT") || state == Atom("_NET_WM_STATE_MAXIMIZED_HORZ")) ++found;
        }
        return found == 2;
    }

    bool Foreground() override {
        const std::vector<unsigned long> active = Longs(DefaultRootWindow(display_), "_NET_ACTIVE_WINDOW");
        return !active.empty() && active[0] == window_;
    }

    void Destroy() override {
        if (window_ == 0) return;
        XDestroyWindow(display_, window_);
        XSync(display_, False);
        window_ = 0;
    }

private:
    Window Create(const std::string& title) {
        Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 20, 20, 320, 200, 0, 0, 0xFFFFFF);
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

    ::Atom Atom(const char* name) { return XInternAtom(display_, name, False); }

    std::vector<unsigned long> Longs(Window window, const char* property) {
        ::Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> items;
        if (XGetWindowProperty(display_, window, Atom(property), 0, 64, False, AnyPropertyType, &type, &format,
                               &count, &after, &data) == Success &&
            data != nullptr && format == 32) {
            const auto* longs = reinterpret_cast<const unsigned long*>(data);
            items.assign(longs, longs + count);
        }
        if (data != nullptr) XFree(data);
        return items;
    }

    long State(Window window) {
        const std::vector<unsigned long> state = Longs(window, "WM_STATE");
        return state.empty() ? WithdrawnState : static_cast<long>(state[0]);
    }

    Display* display_;
    Window other_ = 0;
    Window window_ = 0;
};

}  // namespace

std::unique_ptr<TestWindow> TestWindow::Open(const std::string& title, std::string* why) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        *why = "no X display (DISPLAY is not set); ./run test provides one";
        return nullptr;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        *why = std::string("cannot open the X display ") + name;
        return nullptr;
    }
    auto window = std::make_unique<X11Window>(display, title);
    if (!Eventually([&] { return window->Managed(); }, 5000)) {
        *why = "no window manager took the test windows on the display";
        return nullptr;
    }
    return window;
}

}  // namespace trv::test
