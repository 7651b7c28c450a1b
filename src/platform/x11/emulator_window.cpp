// The emulator's top-level windows on an X display (the backend CMake picks on
// POSIX when libX11 is there). A WindowHandle is the XID of the application's
// own top-level window (the client window, not the frame a window manager
// puts around it). Windows are found and changed through the conventions a
// window manager follows: ICCCM (WM_NAME, WM_CLASS, WM_STATE, WM_CHANGE_STATE)
// and EWMH (_NET_CLIENT_LIST_STACKING, _NET_ACTIVE_WINDOW, _NET_WM_STATE,
// _NET_FRAME_EXTENTS). Positions and sizes are those of the whole window,
// frame included, as on Windows. A window class is the instance or class
// name of WM_CLASS; the Java runtime names its frames there after the
// application's main class, so a search by the class names its frames have
// on Windows finds nothing here and the search by title alone decides.
//
// The process has one connection of its own, opened at the first use from
// DISPLAY and used under one lock; without a display every operation answers
// as for a window that cannot be found (0, false or an empty text) and
// records ENOSYS. An X error (a window that has gone, say) is caught by an
// error handler set only for the length of one operation, so that the
// process's own handler (the Java runtime's, in the emulator) stays in place.
//
// A window manager carries requests out after the server has passed them on;
// each change therefore waits, a short while at most, until the window shows
// it, so that a query right after a change sees the change, as on Windows.
#include "platform/emulator_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/system.h"

namespace trv::platform {
namespace {

// How long a change waits for the window manager to carry it out.
constexpr auto kSettleLimit = std::chrono::milliseconds(2000);
constexpr auto kSettleStep = std::chrono::milliseconds(10);

// _NET_WM_STATE actions and the source of a request (2: a pager or tool
// acting for the user, which window managers obey without focus-stealing
// checks).
constexpr long kStateRemove = 0;
constexpr long kStateAdd = 1;
constexpr long kSourcePager = 2;

std::mutex gLock;
Display* gDisplay = nullptr;
bool gOpened = false;
int gXError = Success;

// Closes the connection when the library goes.
struct DisplayCloser {
    ~DisplayCloser() {
        std::lock_guard<std::mutex> lock(gLock);
        if (gDisplay != nullptr) XCloseDisplay(gDisplay);
        gDisplay = nullptr;
    }
} gCloser;

int NoteXError(Display*, XErrorEvent* event) {
    gXError = event->error_code;
    return 0;
}

// One X11 operation: the lock, the connection and the error handler.
class XOperation {
public:
    XOperation() : lock_(gLock) {
        if (!gOpened) {
            gOpened = true;
            gDisplay = XOpenDisplay(nullptr);
        }
        display_ = gDisplay;
        if (display_ == nullptr) {
            posix::RecordError(ENOSYS);
            return;
        }
        gXError = Success;
        previous_ = XSetErrorHandler(NoteXError);
    }
    ~XOperation() {
        if (display_ == nullptr) return;
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    XOperation(const XOperation&) = delete;
    XOperation& operator=(const XOperation&) = delete;

    explicit operator bool() const { return display_ != nullptr; }
    Display* display() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }
    Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

    // True when every request so far went through; otherwise records the
    // error (a window that is gone answers ENOENT).
    bool succeeded() {
        XSync(display_, False);
        if (gXError == Success) return true;
        posix::RecordError(gXError == BadWindow ? ENOENT : EIO);
        return false;
    }

private:
    std::unique_lock<std::mutex> lock_;
    Display* display_ = nullptr;
    XErrorHandler previous_ = nullptr;
};

// A property of 32-bit items (windows, atoms, cardinals); empty when absent.
std::vector<unsigned long> LongsProperty(XOperation& x, Window window, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(x.display(), window, x.atom(name), 0, 1L << 16, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr && format == 32) {
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        items.assign(longs, longs + count);
    }
    if (data != nullptr) XFree(data);
    return items;
}

// A text property's bytes; empty when absent.
std::string TextProperty(XOperation& x, Window window, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(x.display(), window, x.atom(name), 0, 1L << 14, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr && format == 8) {
        text.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    return text;
}

std::string Title(XOperation& x, Window window) {
    std::string title = TextProperty(x, window, "_NET_WM_NAME");
    if (title.empty()) title = TextProperty(x, window, "WM_NAME");
    return title;
}

bool HasWindowManager(XOperation& x) { return !LongsProperty(x, x.root(), "_NET_SUPPORTING_WM_CHECK").empty(); }

// The top-level windows from the bottom of the window order up: those the
// window manager manages, then the root's other children (unmanaged and
// withdrawn windows, hidden ones among them).
std::vector<Window> TopLevelWindows(XOperation& x) {
    std::vector<Window> windows;
    for (unsigned long window : LongsProperty(x, x.root(), "_NET_CLIENT_LIST_STACKING")) windows.push_back(window);
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(x.display(), x.root(), &root, &parent, &children, &count) != 0 && children != nullptr) {
        for (unsigned int i = 0; i < count; ++i) {
            if (std::find(windows.begin(), windows.end(), children[i]) == windows.end()) {
                windows.insert(windows.begin(), children[i]);
            }
        }
    }
    if (children != nullptr) XFree(children);
    return windows;
}

bool ClassMatches(XOperation& x, Window window, const char* className) {
    XClassHint hint{};
    if (XGetClassHint(x.display(), window, &hint) == 0) return false;
    const std::string instance = hint.res_name != nullptr ? hint.res_name : "";
    const std::string kind = hint.res_class != nullptr ? hint.res_class : "";
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
    return instance == className || kind == className;
}

bool HasState(XOperation& x, Window window, const char* state) {
    const Atom wanted = x.atom(state);
    for (unsigned long atom : LongsProperty(x, window, "_NET_WM_STATE")) {
        if (atom == wanted) return true;
    }
    return false;
}

bool Minimized(XOperation& x, Window window) {
    const std::vector<unsigned long> state = LongsProperty(x, window, "WM_STATE");
    return (!state.empty() && state[0] == IconicState) || HasState(x, window, "_NET_WM_STATE_HIDDEN");
}

bool Maximized(XOperation& x, Window window) {
    return HasState(x, window, "_NET_WM_STATE_MAXIMIZED_VERT") && HasState(x, window, "_NET_WM_STATE_MAXIMIZED_HORZ");
}

bool Mapped(XOperation& x, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(x.display(), window, &attributes) != 0 && attributes.map_state != IsUnmapped;
}

Window ActiveWindow(XOperation& x) {
    const std::vector<unsigned long> active = LongsProperty(x, x.root(), "_NET_ACTIVE_WINDOW");
    if (!active.empty()) return active[0];
    if (HasWindowManager(x)) return 0;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(x.display(), &focus, &revert);
    return focus == PointerRoot ? 0 : focus;
}

// The frame's widths: left, right, top, bottom (zeroes without a frame).
std::vector<unsigned long> FrameExtents(XOperation& x, Window window) {
    std::vector<unsigned long> extents = LongsProperty(x, window, "_NET_FRAME_EXTENTS");
    extents.resize(4, 0);
    return extents;
}

// The whole window's rectangle on the screen, frame included.
bool OuterRectangle(XOperation& x, Window window, int& left, int& top, int& width, int& height) {
    XWindowAttributes attributes{};
    Window child = 0;
    if (XGetWindowAttributes(x.display(), window, &attributes) == 0 ||
        XTranslateCoordinates(x.display(), window, x.root(), 0, 0, &left, &top, &child) == 0) {
        return false;
    }
    const std::vector<unsigned long> extents = FrameExtents(x, window);
    left -= static_cast<int>(extents[0]);
    top -= static_cast<int>(extents[2]);
    width = attributes.width + static_cast<int>(extents[0] + extents[1]);
    height = attributes.height + static_cast<int>(extents[2] + extents[3]);
    return true;
}

void SendToRoot(XOperation& x, Window window, const char* type, long l0, long l1 = 0, long l2 = 0, long l3 = 0) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = x.atom(type);
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    XSendEvent(x.display(), x.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// Waits until `done` holds or the limit passes; the window manager works on.
void Settle(XOperation& x, const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + kSettleLimit;
    XSync(x.display(), False);
    while (!done() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(kSettleStep);
    }
}

void Activate(XOperation& x, Window window) {
    if (HasWindowManager(x)) {
        SendToRoot(x, window, "_NET_ACTIVE_WINDOW", kSourcePager, CurrentTime, static_cast<long>(ActiveWindow(x)));
    } else {
        XMapRaised(x.display(), window);
        XSetInputFocus(x.display(), window, RevertToParent, CurrentTime);
    }
    Settle(x, [&] { return ActiveWindow(x) == window; });
}

void SetMaximized(XOperation& x, Window window, bool maximized) {
    SendToRoot(x, window, "_NET_WM_STATE", maximized ? kStateAdd : kStateRemove,
               static_cast<long>(x.atom("_NET_WM_STATE_MAXIMIZED_VERT")),
               static_cast<long>(x.atom("_NET_WM_STATE_MAXIMIZED_HORZ")), kSourcePager);
    Settle(x, [&] { return Maximized(x, window) == maximized; });
}

void Deiconify(XOperation& x, Window window) {
    XMapWindow(x.display(), window);
    Activate(x, window);
    Settle(x, [&] { return !Minimized(x, window); });
}

// Shows a window that is not shown (neither mapped nor minimised).
void MapIfHidden(XOperation& x, Window window) {
    if (Mapped(x, window) || Minimized(x, window)) return;
    XMapWindow(x.display(), window);
    Settle(x, [&] { return Mapped(x, window); });
}

}  // namespace

WindowHandle FindTopLevelWindow(const char* className, const char* title) {
    XOperation x;
    if (!x) return 0;
    std::vector<Window> windows = TopLevelWindows(x);
    // The window order from the top down, as a search on Windows goes.
    for (auto window = windows.rbegin(); window != windows.rend(); ++window) {
        if (title != nullptr && Title(x, *window) != title) continue;
        if (className != nullptr && !ClassMatches(x, *window, className)) continue;
        return *window;
    }
    posix::RecordError(ENOENT);
    return 0;
}

bool IsWindowMaximized(WindowHandle window) {
    XOperation x;
    return x && window != 0 && Maximized(x, window);
}

bool IsWindowMinimized(WindowHandle window) {
    XOperation x;
    return x && window != 0 && Minimized(x, window);
}

bool SetWindowShowState(WindowHandle window, int showCommand) {
    XOperation x;
    if (!x) return false;
    if (window == 0) {
        posix::RecordError(ENOENT);
        return false;
    }
    switch (showCommand) {
        case 0:  // hide
            XWithdrawWindow(x.display(), window, DefaultScreen(x.display()));
            break;
        case 1:  // show as a normal window
            if (Minimized(x, window)) Deiconify(x, window);
            MapIfHidden(x, window);
            if (Maximized(x, window)) SetMaximized(x, window, false);
            Activate(x, window);
            break;
        case kShowMaximized:
            if (Minimized(x, window)) Deiconify(x, window);
            MapIfHidden(x, window);
            SetMaximized(x, window, true);
            Activate(x, window);
            break;
        case 2:
        case kShowMinimized:
        case 7:
            MapIfHidden(x, window);
            XIconifyWindow(x.display(), window, DefaultScreen(x.display()));
            Settle(x, [&] { return Minimized(x, window); });
            break;
        case 4:
        case 5:
        case 8:  // show, as it was
            if (Minimized(x, window)) Deiconify(x, window);
            MapIfHidden(x, window);
            break;
        case kShowRestore:  // from minimised back to how it was, else from maximised to normal
            if (Minimized(x, window)) {
                Deiconify(x, window);
            } else if (Maximized(x, window)) {
                SetMaximized(x, window, false);
            }
            MapIfHidden(x, window);
            Activate(x, window);
            break;
        default:
            posix::RecordError(EINVAL);
            return false;
    }
    return x.succeeded();
}

WindowHandle GetForegroundWindowHandle() {
    XOperation x;
    if (!x) return 0;
    return ActiveWindow(x);
}

bool SetForegroundWindowHandle(WindowHandle window) {
    XOperation x;
    if (!x) return false;
    if (window == 0 || !(Mapped(x, window) || Minimized(x, window)) || !x.succeeded()) {
        posix::RecordError(ENOENT);
        return false;
    }
    Activate(x, window);
    return x.succeeded() && ActiveWindow(x) == window;
}

WindowHandle GetActiveWindowHandle() { return GetForegroundWindowHandle(); }

WindowHandle SetActiveWindowHandle(WindowHandle window) {
    XOperation x;
    if (!x) return 0;
    const Window previous = ActiveWindow(x);
    if (window == 0 || !(Mapped(x, window) || Minimized(x, window))) {
        posix::RecordError(ENOENT);
        return 0;
    }
    Activate(x, window);
    return x.succeeded() ? previous : 0;
}

// The window manager gives the keyboard to the window it activates.
WindowHandle SetFocusWindow(WindowHandle window) { return SetActiveWindowHandle(window); }

WindowHandle GetRelatedWindow(WindowHandle window, std::uint32_t relation) {
    XOperation x;
    if (!x) return 0;
    if (relation != kNextWindow) {
        posix::RecordError(EINVAL);
        return 0;
    }
    const std::vector<Window> windows = TopLevelWindows(x);
    auto at = std::find(windows.begin(), windows.end(), window);
    // The next window shown below: a hidden one cannot take the focus.
    while (at != windows.end() && at != windows.begin()) {
        --at;
        if (Mapped(x, *at)) return *at;
    }
    posix::RecordError(ENOENT);
    return 0;
}

std::size_t GetWindowTitle(WindowHandle window, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        posix::RecordError(EINVAL);
        return 0;
    }
    buffer[0] = '\0';
    XOperation x;
    if (!x || window == 0) return 0;
    const std::string title = Title(x, window);
    if (!x.succeeded()) return 0;
    const std::size_t length = std::min(title.size(), size - 1);
    std::memcpy(buffer, title.data(), length);
    buffer[length] = '\0';
    return length;
}

bool SetWindowTitle(WindowHandle window, const char* title) {
    XOperation x;
    if (!x) return false;
    if (window == 0 || title == nullptr) {
        posix::RecordError(EINVAL);
        return false;
    }
    XStoreName(x.display(), window, title);
    XChangeProperty(x.display(), window, x.atom("_NET_WM_NAME"), x.atom("UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title), static_cast<int>(std::strlen(title)));
    return x.succeeded();
}

bool SetWindowPlacement(WindowHandle window, WindowHandle insertAfter, int x0, int y0, int cx, int cy,
                        std::uint32_t flags) {
    XOperation x;
    if (!x) return false;
    if (window == 0) {
        posix::RecordError(ENOENT);
        return false;
    }
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    if (!OuterRectangle(x, window, left, top, width, height) || !x.succeeded()) return false;
    XWindowChanges changes{};
    unsigned int mask = 0;
    if ((flags & kPlaceNoMove) == 0) {
        // Gravity NorthWest (the default): the window manager puts the
        // frame's corner where the request says.
        changes.x = x0;
        changes.y = y0;
        mask |= CWX | CWY;
    }
    if ((flags & kPlaceNoSize) == 0) {
        // The request gives the whole window; the client gets what the frame leaves.
        const std::vector<unsigned long> extents = FrameExtents(x, window);
        changes.width = std::max(1, cx - static_cast<int>(extents[0] + extents[1]));
        changes.height = std::max(1, cy - static_cast<int>(extents[2] + extents[3]));
        mask |= CWWidth | CWHeight;
    }
    if ((flags & kPlaceNoZOrder) == 0) {
        changes.stack_mode = insertAfter == kPlaceAtBottom ? Below : Above;
        mask |= CWStackMode;
    }
    if ((flags & kPlaceShow) != 0) MapIfHidden(x, window);
    if (mask != 0) XReconfigureWMWindow(x.display(), window, DefaultScreen(x.display()), mask, &changes);
    if (!x.succeeded()) return false;
    Settle(x, [&] {
        int l = 0;
        int t = 0;
        int w = 0;
        int h = 0;
        if (!OuterRectangle(x, window, l, t, w, h)) return true;
        return ((mask & CWX) == 0 || (l == x0 && t == y0)) && ((mask & CWWidth) == 0 || (w == cx && h == cy));
    });
    return x.succeeded();
}

bool BringWindowToFront(WindowHandle window) {
    XOperation x;
    if (!x) return false;
    if (window == 0) {
        posix::RecordError(ENOENT);
        return false;
    }
    XWindowChanges changes{};
    changes.stack_mode = Above;
    XReconfigureWMWindow(x.display(), window, DefaultScreen(x.display()), CWStackMode, &changes);
    return x.succeeded();
}

}  // namespace trv::platform
