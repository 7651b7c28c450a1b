// The exported WinHLLAPI entries (ordinals 321, 387 to 402 and 801 to 812)
// and the EHLLAPI entry with 16-bit parameters (ordinal 116). Windows exports
// them by ordinal only (resources/trvha64.def); Linux under the names of
// include/trvha64_winhllapi.h. No exception leaves an entry.
#include <cstdio>

#include "compat/conversion.h"
#include "compat/storage_manager.h"
#include "compat/winhllapi.h"
#include "shared/message_boxes.h"
#include "shared/trace.h"
#include "trvha64_winhllapi.h"

namespace {

constexpr std::uint32_t kWarningIcon = 48;
constexpr const char* kExceptionCaption = "Exception in WHLLAPI.DLL";

// The per-thread EHLLAPI entry, which every converted call runs on.
std::int32_t PerThreadEntry(std::int32_t* function, char* data, std::int32_t* length, std::int32_t* returnCode) {
    return hllapi_thread(function, data, length, returnCode);
}

void UnsupportedExtension(const char* name) noexcept {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Unsupported WinHLLAPI Extension function (%s) encountered, application may not work correctly",
                  name);
    try {
        trv::ShowLibraryMessageBox(kExceptionCaption, text, kWarningIcon);
    } catch (...) {
        TRV_TRACE("WinHLLAPI - message box failed");
    }
}

}  // namespace

extern "C" {

// Ordinal 801: the synchronous call; function 17 is the storage manager.
std::int32_t TRVHA64_CALL WinHLLAPI(std::uint16_t* function, std::uint8_t* data, std::uint16_t* length,
                                    std::uint16_t* return_code) {
    WinHLLAPIDiagnosticCall(function != nullptr ? *function : 0, length != nullptr ? *length : 0,
                            return_code != nullptr ? *return_code : 0, 0, 0, 0, 0);
    if (function != nullptr && *function == HA_STORAGE_MGR) {
        if (return_code == nullptr) {
            trv::compat::ShowInvalidReturnCodePointerBox();
            return HLLAPI_RC_BAD_PARAMETER;
        }
        if (length == nullptr) {
            *return_code = HLLAPI_RC_SYSTEM_ERROR;
            return HLLAPI_RC_SYSTEM_ERROR;
        }
        try {
            trv::compat::ServeStorageRequest(data, length, return_code);
        } catch (...) {
            *return_code = HLLAPI_RC_SYSTEM_ERROR;
        }
        return *return_code;
    }
    return trv::compat::ConvertedCall(PerThreadEntry, function, data, length, return_code);
}

// Ordinal 802: the 32-bit call, unchanged.
std::int32_t TRVHA64_CALL WinHLLAPI32(std::int32_t* function, char* data, std::int32_t* length,
                                      std::int32_t* return_code) {
    return hllapi_thread(function, data, length, return_code);
}

std::int32_t TRVHA64_CALL WinHLLAPICancelAsyncRequest(std::uint16_t, std::uint16_t) {
    return WHLLAPI_INVALID_TASK_HANDLE;
}

std::int32_t TRVHA64_CALL WinHLLAPICancelBlockingCall(void) { return WinHLLAPILegacyCancelBlockingCall(); }

std::int32_t TRVHA64_CALL WinHLLAPIIsBlocking(void) { return WinHLLAPILegacyIsBlocking(); }

std::int32_t TRVHA64_CALL WinHLLAPIUnhookBlockingHook(void) { return 1; }

trvWinHLLAPIBlockingHook TRVHA64_CALL WinHLLAPISetBlockingHook(trvWinHLLAPIBlockingHook hook) {
    return WinHLLAPILegacySetBlockingHook(hook);
}

std::int32_t TRVHA64_CALL WinHLLAPICleanup(void) { return 1; }

std::int32_t TRVHA64_CALL WinHLLAPIStartup(std::uint16_t version_wanted, trvWinHLLAPIStartupData* data) {
    using trv::compat::VersionRank;
    TRV_TRACE("WinHLLAPIStartup - version wanted 0x%04X", version_wanted);
    if (data != nullptr) {
        data->wVersion = trv::compat::kOfferedVersion;
        std::snprintf(data->szDescription, sizeof data->szDescription, "WHLLAPI.DLL Version %d.%d by Ombrel Corporation",
                      trv::compat::kOfferedVersion & 0xFF, trv::compat::kOfferedVersion >> 8);
    }
    if (VersionRank(version_wanted) > VersionRank(trv::compat::kOfferedVersion)) return WHLLAPI_VERSION_NOT_SUPPORTED;
    trv::compat::SetNegotiatedVersion(version_wanted);
    return WHLLAPI_STARTUP_OK;
}

std::uint16_t TRVHA64_CALL WinHLLAPIAsync(std::uintptr_t window, std::uint16_t* function, std::uint8_t* data,
                                          std::uint16_t* length, std::uint16_t* return_code) {
    return trv::compat::AsyncCall(PerThreadEntry, window, function, data, length, return_code);
}

std::uint16_t TRVHA64_CALL WinHLLAPIAsyncEx(std::uintptr_t window, std::uint16_t* function, std::uint8_t* data,
                                            std::uint16_t* length, std::uint16_t* return_code) {
    WinHLLAPIDiagnosticCall(0, 0, 0, 0, 0, 0, 0);
    return trv::compat::AsyncCall(PerThreadEntry, window, function, data, length, return_code);
}

std::uint32_t TRVHA64_CALL WinHLLAPIReserved(void*, std::uint32_t) { return 0xFFFFFFFFu; }

// Ordinal 116: the third to sixth arguments through the conversion.
std::int64_t TRVHA64_CALL hllapi16(void*, void*, std::uint16_t* function, std::uint8_t* data, std::uint16_t* length,
                                   std::uint16_t* return_code) {
    return trv::compat::ConvertedCall(PerThreadEntry, function, data, length, return_code);
}

// The first extension set: fixed answers.
void TRVHA64_CALL WinHLLAPIDiagnostic(std::uint8_t, std::uint32_t, const char*) {}
void* TRVHA64_CALL WinHLLAPIFindAsyncRequest(std::uint16_t) { return nullptr; }
std::int32_t TRVHA64_CALL WinHLLAPILegacy388(void) { return 0; }
void TRVHA64_CALL WinHLLAPILegacy389(void) {}
std::int32_t TRVHA64_CALL WinHLLAPILegacyIsBlocking(void) {
    UnsupportedExtension("WinHLLAPIIsBlocking");
    return 0;
}
void TRVHA64_CALL WinHLLAPILegacy391(void) {}
trvWinHLLAPIBlockingHook TRVHA64_CALL WinHLLAPILegacySetBlockingHook(trvWinHLLAPIBlockingHook) {
    UnsupportedExtension("WinHLLAPISetBlockingHook");
    return nullptr;
}
std::uint32_t TRVHA64_CALL WinHLLAPILegacy393(void*, std::uint32_t) { return 0xFFFFFFFFu; }
std::int32_t TRVHA64_CALL WinHLLAPILegacyCancelBlockingCall(void) {
    UnsupportedExtension("WinHLLAPICancelBlockingCall");
    return 1;
}
std::int32_t TRVHA64_CALL WinHLLAPILegacyCancelAsyncRequest(std::uint16_t) { return WHLLAPI_INVALID_TASK_HANDLE; }
std::uint8_t TRVHA64_CALL WinHLLAPILegacy398(void) { return 0xFF; }
std::uint16_t TRVHA64_CALL WinHLLAPILegacy399(std::uintptr_t, void*, void*) { return WHLLAPI_WORKER_TASK; }
void TRVHA64_CALL WinHLLAPIDiagnosticCall(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                                          std::uintptr_t, std::uintptr_t, std::uintptr_t) {}

}  // extern "C"
