// UTF-16 to the ANSI code page on Windows: WideCharToMultiByte with CP_ACP,
// through a buffer of the full size so that a text too long for the caller's
// buffer is cut rather than refused.
#include "platform/text.h"

#include <climits>
#include <cstring>
#include <vector>

#include "platform/win32/windows_api.h"

namespace trv::platform {

std::size_t Utf16ToAnsi(const std::uint16_t* text, std::size_t length, char* out,
                        std::size_t outSize) {
    if (out == nullptr || outSize == 0) return 0;
    out[0] = '\0';
    if (text == nullptr || length == 0 || length > INT_MAX / 4) return 0;
    const auto* wide = reinterpret_cast<const wchar_t*>(text);
    const int units = static_cast<int>(length);
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        win32::RecordLastError();
        return 0;
    }
    std::vector<char> converted(static_cast<std::size_t>(needed));
    const int written =
        WideCharToMultiByte(CP_ACP, 0, wide, units, converted.data(), needed, nullptr, nullptr);
    if (written <= 0) {
        win32::RecordLastError();
        return 0;
    }
    std::size_t stored = static_cast<std::size_t>(written);
    if (stored > outSize - 1) {
        stored = outSize - 1;
        // Never end on the lead byte of a double-byte character.
        std::size_t boundary = 0;
        while (boundary < stored) {
            const std::size_t step = IsDBCSLeadByte(static_cast<BYTE>(converted[boundary])) ? 2 : 1;
            if (boundary + step > stored) break;
            boundary += step;
        }
        stored = boundary;
    }
    std::memcpy(out, converted.data(), stored);
    out[stored] = '\0';
    return stored;
}

}  // namespace trv::platform
