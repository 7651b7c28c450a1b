// The exported EHLLAPI entries (ordinals 113, 114 and 115; 116 follows with
// the parameter layout conversion). Windows exports them by ordinal only
// (resources/trvha64.def); Linux under the names of include/trvha64.h.
// No exception leaves an entry.
#include "ehllapi/front_door.h"
#include "shared/message_boxes.h"
#include "shared/trace.h"
#include "trvha64.h"

namespace {

constexpr std::uint32_t kWarningIcon = 48;

unsigned char* Bytes(char* data) { return reinterpret_cast<unsigned char*>(data); }

}  // namespace

extern "C" {

// Ordinal 113: one exchange block for the whole process.
std::int32_t TRVHA64_CALL hllapi(std::int32_t* function, char* data, std::int32_t* length,
                                 std::int32_t* return_code) {
    return trv::GuardedEntry(function, Bytes(data), length, return_code, true);
}

// Ordinal 114: asynchronous extensions are refused.
std::int32_t TRVHA64_CALL hllapi_async(std::int32_t*, char*, std::int32_t*, std::int32_t*) {
    try {
        trv::ShowLibraryMessageBox(
            "HLLAPI for ZEM Bridge error",
            "WinHLLAPI Extension functions for Async requests are not currently supported, "
            "application may not work correctly",
            kWarningIcon);
    } catch (...) {
        TRV_TRACE("hllapi_async - unexpected failure");
    }
    return HLLAPI_RC_UNSUPPORTED;
}

// Ordinal 115: one exchange block per calling thread.
std::int32_t TRVHA64_CALL hllapi_thread(std::int32_t* function, char* data, std::int32_t* length,
                                        std::int32_t* return_code) {
    return trv::GuardedEntry(function, Bytes(data), length, return_code, false);
}

}  // extern "C"
