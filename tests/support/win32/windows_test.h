// <windows.h> for the tests that call Win32 themselves, with the settings the
// library's backend uses, and whether real windows can be shown.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace trv::test {

// Wine shows real windows only on an X display: why a test that needs one
// cannot run, or "" when it can.
inline std::string NoDisplayReason() {
    const bool underWine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (underWine && GetEnvironmentVariableA("DISPLAY", nullptr, 0) == 0) {
        return "no X display for Wine (DISPLAY is not set); ./run test provides one";
    }
    return "";
}

}  // namespace trv::test
