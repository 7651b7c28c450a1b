// Environment variables of the Win32 environment block (which child
// processes inherit; the C runtime's copy is not used), the executable's
// name, the ANSI code page and the default beep.
#include "platform/environment.h"

#include "platform/process.h"
#include "platform/win32/windows_api.h"

namespace trv::platform {

std::optional<std::string> GetEnvironment(const char* name) {
    if (name == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return std::nullopt;
    }
    std::string value(64, '\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length =
            GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) {
            // 0 is also the answer for a variable set to the empty text.
            const DWORD error = GetLastError();
            if (error == ERROR_SUCCESS) return std::string();
            win32::RecordError(error);
            return std::nullopt;
        }
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);  // `length` includes the terminator here
    }
}

bool SetEnvironment(const char* name, const char* value) {
    if (name == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!SetEnvironmentVariableA(name, value)) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

std::string ExecutableFileName() {
    const std::string path = ExecutablePath();
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint32_t AnsiCodePage() { return GetACP(); }

void DefaultBeep() { MessageBeep(0); }

}  // namespace trv::platform
