// Message boxes on POSIX: no display, so the caption and text go to standard
// error and the box answers its default button, as a user pressing Enter
// would.
#include "platform/message_box.h"

#include <cstdio>

namespace trv::platform {
namespace {

// Win32 MB_ button sets (the low four bits of the flags) and ID answers.
constexpr int kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6,
              kIdNo = 7, kIdTryAgain = 10, kIdContinue = 11;

int DefaultButton(std::uint32_t flags) {
    static const int kButtons[][3] = {
        {kIdOk, kIdOk, kIdOk},                       // MB_OK
        {kIdOk, kIdCancel, kIdCancel},               // MB_OKCANCEL
        {kIdAbort, kIdRetry, kIdIgnore},             // MB_ABORTRETRYIGNORE
        {kIdYes, kIdNo, kIdCancel},                  // MB_YESNOCANCEL
        {kIdYes, kIdNo, kIdNo},                      // MB_YESNO
        {kIdRetry, kIdCancel, kIdCancel},            // MB_RETRYCANCEL
        {kIdCancel, kIdTryAgain, kIdContinue},       // MB_CANCELTRYCONTINUE
    };
    std::uint32_t set = flags & 0xF;
    if (set >= sizeof kButtons / sizeof kButtons[0]) set = 0;
    std::uint32_t button = (flags >> 8) & 0xF;  // MB_DEFBUTTON1..3
    if (button > 2) button = 0;
    return kButtons[set][button];
}

}  // namespace

int ShowMessageBox(const char* caption, const char* text, std::uint32_t flags) {
    std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "Error",
                 text != nullptr ? text : "");
    std::fflush(stderr);
    return DefaultButton(flags);
}

void ShowWarningBoxTopmost(const char* caption, const char* text) {
    constexpr std::uint32_t kWarningIcon = 0x30;  // MB_ICONWARNING
    ShowMessageBox(caption, text, kWarningIcon);
}

}  // namespace trv::platform
