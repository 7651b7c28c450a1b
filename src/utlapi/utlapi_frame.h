// What every UTLAPI function shares: the client records and their list, the
// connect step, the conversion of EHLLAPI return codes into UTLAPI results,
// the EHLLAPI call through the WinHLLAPI entry, the screen shape from Query
// Session Status, and the trace writer of "utlTrace.log".
//
// All of it is private to the process and unlocked: one thread per client
// handle, no concurrent registration (see include/trvha64_utlapi.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "trvha64_utlapi.h"

namespace trv::utl {

constexpr int kParameterCount = 13;  // index 0 is not a parameter
constexpr std::size_t kSessionFieldSize = 11;

// One registered client handle.
struct UTLClient {
    std::uint64_t key = 0;
    char session[kSessionFieldSize] = {};  // bound session's name; [0] is 0 while unbound
    std::uint8_t errorFlag = 0;
    char errorTitle[36] = {};
    char errorText[123] = {};
    std::uint8_t connected = 0;
    std::uint32_t parameters[kParameterCount] = {};
    UTLClient* previous = nullptr;
    UTLClient* next = nullptr;

    char Letter() const { return session[0]; }
    bool Bound() const { return session[0] >= 'A' && session[0] <= 'Z'; }
};

// The process's client records in order of registration.
class UTLClientList {
public:
    // False when the key has a record already.
    static bool Add(std::uint64_t key);
    // False when the key has none.
    static bool Remove(std::uint64_t key);
    static UTLClient* Find(std::uint64_t key);
    // The record of a client bound to a session A..Z, else null.
    static UTLClient* FindBound(std::uint64_t key);
    static UTLClient* Head();
};

// 0 gives 1; any other EHLLAPI code n gives -n.
constexpr std::int32_t Converted(std::uint32_t code) {
    return code == 0 ? UTL_SUCCESS : -static_cast<std::int32_t>(code & 0xFFFF);
}

// One EHLLAPI call through the WinHLLAPI entry: `position` goes in the
// return-code word. Answers the 16-bit return code; the length word as the
// call left it stands in `length`.
std::uint16_t CallEHLLAPI(std::uint16_t function, void* data, std::uint16_t& length,
                          std::uint16_t position = 0);
// The same, for calls whose returned length does not matter.
std::uint16_t CallEHLLAPI(std::uint16_t function, void* data, std::uint16_t length,
                          std::uint16_t position, std::uint16_t* lengthOut);

// The connect step: -9 without record, -1 unbound, else Connect Presentation
// Space on the bound session (1 becomes -200, 4 counts as success); sets the
// connected flag on success.
std::int32_t UTLConnectPS(std::uint64_t key, UTLClient* client);

// The connected session's shape from Query Session Status (function 22, its
// 18-byte 16-bit record through the WinHLLAPI entry): `result` 1, or the
// converted code of a failed query.
struct ScreenShape {
    std::int32_t result = 1;
    std::int32_t rows = 0;
    std::int32_t columns = 0;
    char type = 0;
};
ScreenShape QueryScreenShape();

// 1-based position of row and column.
constexpr std::int32_t Position(std::int32_t row, std::int32_t column, std::int32_t columns) {
    return (row - 1) * columns + column;
}

// Copies at most `size` - 1 characters of `text` and a NUL.
void CopyText(char* to, std::size_t size, const char* text);

// ---- the trace ----------------------------------------------------------

// True when UTL_DEBUG begins with y or Y (read on every call).
bool TraceOn();
// Writes one entry: the header line and the pieces, under the log mutex.
void UTLTrace(std::initializer_list<std::string_view> pieces);
std::string Decimal(std::int64_t value);
std::string HandleText(std::uint64_t handle);  // "0x%8.8X" of the low 32 bits
inline const char* Text(const char* text) { return text != nullptr ? text : ""; }

// Process attach and detach of the log mutex.
void CreateLogMutex();
void CloseLogMutex();

// The common entry and exit entries: "<name> Enter\r\nHWND=0x........" and
// "<name> Exit\r\nRet Code=<result>".
template <typename... Pieces>
void TraceEnter(std::string_view name, std::uint64_t handle, const Pieces&... pieces) {
    if (!TraceOn()) return;
    const std::string head = std::string(name) + " Enter\r\nHWND=";
    UTLTrace({std::string_view(head), std::string_view(HandleText(handle)), std::string_view(pieces)...});
}
std::int32_t TraceExit(std::string_view name, std::int32_t result);

// Runs an exported body so that no exception leaves it: an unexpected
// failure answers UTL_SYSTEM_ERROR.
template <typename Body>
std::int32_t Guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return UTL_SYSTEM_ERROR;
    }
}

}  // namespace trv::utl
