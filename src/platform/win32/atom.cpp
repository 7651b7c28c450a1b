// Registered window messages and the global atom table of the window
// station: both are machine-wide (per desktop session) and case-insensitive.
#include "platform/atom.h"

#include <cstring>

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

// Atom names are at most 255 characters.
constexpr int kMaxAtomName = 256;

}  // namespace

std::uint32_t RegisterMessageName(const char* name) {
    if (name == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const UINT message = RegisterWindowMessageA(name);
    if (message == 0) win32::RecordLastError();
    return message;
}

std::uint16_t AddGlobalAtom(const char* name) {
    if (name == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const ATOM atom = GlobalAddAtomA(name);
    if (atom == 0) win32::RecordLastError();
    return atom;
}

std::uint16_t FindGlobalAtom(const char* name) {
    if (name == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const ATOM atom = GlobalFindAtomA(name);
    if (atom == 0) win32::RecordLastError();
    return atom;
}

std::uint16_t DeleteGlobalAtom(std::uint16_t atom) {
    const ATOM left = GlobalDeleteAtom(atom);
    if (left != 0) win32::RecordLastError();
    return left;
}

std::uint32_t GetGlobalAtomName(std::uint16_t atom, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Read the whole name, then truncate here: GlobalGetAtomNameA's own
    // truncation differs between systems.
    char name[kMaxAtomName];
    const UINT length = GlobalGetAtomNameA(atom, name, kMaxAtomName);
    if (length == 0) {
        win32::RecordLastError();
        buffer[0] = '\0';
        return 0;
    }
    const std::size_t copied = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, name, copied);
    buffer[copied] = '\0';
    return static_cast<std::uint32_t>(copied);
}

}  // namespace trv::platform
