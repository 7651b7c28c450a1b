// The test window on an X display, created and queried through the test's
// own connection (X11Probe).
#include "bridge_fixture.h"
#include "real_window/test_window.h"
#include "support/x11/window_probe.h"

namespace trv::test {
namespace {

class X11Window : public TestWindow {
public:
    explicit X11Window(const std::string& title)
        : other_(probe_.ok() ? probe_.Create(title + " (other)") : 0),
          window_(probe_.ok() ? probe_.Create(title) : 0) {}
    ~X11Window() override {
        Destroy();
        if (other_ != 0) probe_.Destroy(other_);
    }

    X11Probe& probe() { return probe_; }
    bool Managed() { return probe_.Managed(window_) && probe_.Managed(other_); }

    platform::WindowHandle handle() const override { return window_; }
    WindowRect Outer() override {
        const X11Probe::Rect rect = probe_.Outer(window_);
        return {rect.x, rect.y, rect.width, rect.height};
    }
    bool Minimized() override { return probe_.Minimized(window_); }
    bool Maximized() override { return probe_.Maximized(window_); }
    bool Foreground() override { return probe_.Active(window_); }
    void Destroy() override {
        if (window_ != 0) probe_.Destroy(window_);
        window_ = 0;
    }

private:
    X11Probe probe_;
    X11Probe::Window other_;
    X11Probe::Window window_;
};

}  // namespace

std::unique_ptr<TestWindow> TestWindow::Open(const std::string& title, std::string* why) {
    auto window = std::make_unique<X11Window>(title);
    if (!window->probe().ok()) {
        *why = window->probe().why();
        return nullptr;
    }
    if (!Eventually([&] { return window->Managed(); }, 5000)) {
        *why = "no window manager took the test windows on the display";
        return nullptr;
    }
    return window;
}

}  // namespace trv::test
