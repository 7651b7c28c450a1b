// A real top-level window for the window-status tests, and what the window
// system itself says of it: never the library's own answers. Each backend
// opens it with a second window below it that the focus can move to.
#pragma once

#include <memory>
#include <string>

#include "platform/window.h"

namespace trv::test {

struct WindowRect {
    int x;
    int y;
    int width;
    int height;
};

class TestWindow {
public:
    virtual ~TestWindow() = default;
    // The window titled `title`, shown and managed; null, with `why` set,
    // when there is no display to open it on.
    static std::unique_ptr<TestWindow> Open(const std::string& title, std::string* why);

    virtual platform::WindowHandle handle() const = 0;
    // The whole window, frame included, in screen coordinates.
    virtual WindowRect Outer() = 0;
    virtual bool Minimized() = 0;
    virtual bool Maximized() = 0;
    virtual bool Foreground() = 0;
    // Destroys the window (its handle stays known to the library).
    virtual void Destroy() = 0;
};

}  // namespace trv::test
