// Message boxes. Without a display (POSIX) the caption and text go to
// standard error. The unattended setting of the library is applied above this
// layer; these calls always show.
#pragma once

#include <cstdint>

namespace trv::platform {

// Flags and results follow the Win32 MB_/ID values.
int ShowMessageBox(const char* caption, const char* text, std::uint32_t flags);

// A warning box without owner, foreground and topmost.
void ShowWarningBoxTopmost(const char* caption, const char* text);

}  // namespace trv::platform
