// The library's message boxes and its error box. With the unattended setting
// (environment variable TRVHA64_UNATTENDED set to anything but "0" or empty)
// no box is shown: caption and text go to the trace and to standard error,
// and the box answers as if OK had been pressed, so that tests, services and
// scheduled jobs never stop at a dialog nobody will close.
#pragma once

#include <cstdint>

namespace trv {

bool UnattendedMode();

// Answers the button pressed (1 = OK in unattended mode).
int ShowLibraryMessageBox(const char* caption, const char* text, std::uint32_t flags);

// The error box: no owner, caption "HLLAPI for TRV Bridge error!", warning
// icon, foreground and topmost.
void ShowErrorBox(const char* text);

}  // namespace trv
