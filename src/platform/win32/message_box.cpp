// Message boxes of the window manager, shown without an owner window.
#include "platform/message_box.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {

int ShowMessageBox(const char* caption, const char* text, std::uint32_t flags) {
    const int answer = MessageBoxA(nullptr, text, caption, flags);
    if (answer == 0) win32::RecordLastError();
    return answer;
}

void ShowWarningBoxTopmost(const char* caption, const char* text) {
    if (MessageBoxA(nullptr, text, caption, MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST) == 0) {
        win32::RecordLastError();
    }
}

}  // namespace trv::platform
