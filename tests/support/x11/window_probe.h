// Top-level windows on an X display as the X server and the window manager
// report them, through a connection of the test's own: never through the
// library's backend. For the tests that check the library's effects on real
// windows (its own test windows, or the emulator's Swing frames).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;  // Xlib's Display, kept out of the tests that include this

namespace trv::test {

class X11Probe {
public:
    using Window = std::uint64_t;
    struct Rect {
        int x;
        int y;
        int width;
        int height;
    };

    // Opens DISPLAY; ok() is false, with why() saying so, when it cannot.
    X11Probe();
    ~X11Probe();
    X11Probe(const X11Probe&) = delete;
    X11Probe& operator=(const X11Probe&) = delete;

    bool ok() const { return display_ != nullptr; }
    const std::string& why() const { return why_; }

    // A shown top-level window with that title and WM_NORMAL state; 0 if none.
    Window Find(const std::string& title);
    // A plain shown window that takes the keyboard focus.
    Window Create(const std::string& title);
    void Destroy(Window window);

    // The whole window, frame included: the window manager's frame, the
    // ancestor that is a child of the root.
    Rect Outer(Window window);
    std::string Title(Window window);
    bool Managed(Window window);  // WM_STATE NormalState
    bool Minimized(Window window);  // WM_STATE IconicState
    bool Maximized(Window window);  // _NET_WM_STATE holds both maximised states
    bool Active(Window window);     // _NET_ACTIVE_WINDOW

private:
    std::vector<unsigned long> Longs(Window window, const char* property);
    long State(Window window);

    _XDisplay* display_;
    std::string why_;
};

}  // namespace trv::test
