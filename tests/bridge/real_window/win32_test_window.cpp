// The test window on Windows: a child process of this binary creates two
// top-level windows of the class the Java runtime gives its frames,
// "SunAWTFrame" (the one under test and one below it), and pumps their
// messages until it is killed. The test finds the window by class and title
// and asks the window manager about it directly.
#include "bridge_fixture.h"
#include "real_window/test_window.h"
#include "support/child_role.h"
#include "support/win32/windows_test.h"

namespace trv::test {
namespace {

constexpr const char* kFrameClass = "SunAWTFrame";

class Win32Window : public TestWindow {
public:
    Win32Window(const std::string& title) : child_("real_window", {title}), title_(title) {}

    bool Find() {
        window_ = FindWindowA(kFrameClass, title_.c_str());
        return window_ != nullptr && IsWindowVisible(window_);
    }

    platform::WindowHandle handle() const override { return reinterpret_cast<platform::WindowHandle>(window_); }

    WindowRect Outer() override {
        RECT rect{};
        GetWindowRect(window_, &rect);
        return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }
    bool Minimized() override { return IsIconic(window_) != FALSE; }
    bool Maximized() override { return IsZoomed(window_) != FALSE; }
    bool Foreground() override { return GetForegroundWindow() == window_; }
    void Destroy() override {
        child_.Kill();
        Eventually([this] { return IsWindow(window_) == FALSE; }, 10000);
    }

private:
    RoleProcess child_;
    std::string title_;
    HWND window_ = nullptr;
};

}  // namespace

// args[0]: the title. Creates the windows and serves them until killed.
TRV_CHILD_ROLE(real_window) {
    if (args.size() != 1) return 98;
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kFrameClass;
    if (RegisterClassExA(&windowClass) == 0) return 97;
    const std::string other = args[0] + " (other)";
    for (const std::string& title : {other, args[0]}) {
        HWND window = CreateWindowExA(0, kFrameClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 320,
                                      200, nullptr, nullptr, windowClass.hInstance, nullptr);
        if (window == nullptr) return 96;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

std::unique_ptr<TestWindow> TestWindow::Open(const std::string& title, std::string* why) {
    *why = NoDisplayReason();
    if (!why->empty()) return nullptr;
    auto window = std::make_unique<Win32Window>(title);
    if (!Eventually([&] { return window->Find(); }, 20000)) {
        *why = "the test window did not appear";
        return nullptr;
    }
    return window;
}

}  // namespace trv::test
