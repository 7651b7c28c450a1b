// The emulator window search, the same on every platform: it only asks the
// backend's FindTopLevelWindow for each window class of the Java runtime's
// frames in turn.
#include "platform/emulator_window.h"

#include <initializer_list>

namespace trv::platform {

WindowHandle FindEmulatorWindow(const char* title) {
    for (const char* windowClass : {"MSAWT_Comp_Class", "SunAWTFrame", "AWTFrame"}) {
        if (WindowHandle window = FindTopLevelWindow(windowClass, title)) return window;
    }
    return 0;
}

}  // namespace trv::platform
