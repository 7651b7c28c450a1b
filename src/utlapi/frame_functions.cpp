// The UTLAPI functions of the frame: registration, the version, the error
// functions, the session handle through the outside EHLLAPI library, the
// functions exported but not supported, and the inert ordinals.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/library.h"
#include "protocol/caller_data.h"
#include "shared/message_boxes.h"
#include "utlapi/utlapi_frame.h"

namespace {

using namespace trv::utl;

// The message box of UTLShowLastError: OK button, no icon.
constexpr std::uint32_t kPlainOk = 0;

// The 32-bit EHLLAPI call form of the outside library.
using OutsideEntry = std::int32_t(TRVHA64_CALL*)(std::int32_t*, char*, std::int32_t*, std::int32_t*);
constexpr const char* kOutsideLibrary = "qmxhll32.dll";

// Loaded once and kept: the outside library is never released.
OutsideEntry OutsideHLLAPI() {
    static const OutsideEntry entry = [] {
        trv::platform::LibraryHandle library = trv::platform::LoadSharedLibrary(kOutsideLibrary);
        if (library == nullptr) return static_cast<OutsideEntry>(nullptr);
        return reinterpret_cast<OutsideEntry>(trv::platform::FindLibrarySymbol(library, "hllapi"));
    }();
    return entry;
}

std::int32_t CallOutside(OutsideEntry entry, std::int32_t function, char* data, std::int32_t length) {
    std::int32_t code = 0;
    entry(&function, data, &length, &code);
    return Converted(static_cast<std::uint32_t>(code));
}

std::int32_t NotSupported(const char* line, std::int32_t result) {
    if (TraceOn()) UTLTrace({line});
    return result;
}

}  // namespace

extern "C" {

std::int32_t TRVHA64_CALL UTLRegisterClient(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLRegisterClient", client);
        const std::int32_t result = UTLClientList::Add(client) ? UTL_SUCCESS : UTL_SYSTEM_ERROR;
        return TraceExit("UTLRegisterClient", result);
    });
}

std::int32_t TRVHA64_CALL UTLUnregisterClient(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLUnregisterClient", client);
        const std::int32_t result = UTLClientList::Remove(client) ? UTL_SUCCESS : 0;
        return TraceExit("UTLUnregisterClient", result);
    });
}

std::int32_t TRVHA64_CALL UTLGetUTLAPIVersion(char* buffer, std::int32_t length) {
    return Guarded([&] {
        if (TraceOn()) UTLTrace({"UTLGetUTLAPIVersion Enter\r\nBuffer Length=", Decimal(length)});
        std::int32_t result = UTL_INVALID_PARAMETER;
        if (buffer != nullptr && length >= UTL_VERSION_BUFFER) {
            std::memcpy(buffer, UTL_VERSION_TEXT, sizeof UTL_VERSION_TEXT);
            result = UTL_SUCCESS;
        }
        if (TraceOn()) {
            UTLTrace({"UTLGetUTLAPIVersion Exit\r\nVersion=", result == UTL_SUCCESS ? buffer : "",
                      "\r\nRet Code=", Decimal(result)});
        }
        return result;
    });
}

std::int32_t TRVHA64_CALL UTLGetError(trvUTLClient client, char* buffer, std::int32_t length) {
    return Guarded([&] {
        TraceEnter("UTLGetError", client, "\r\nBuffer Length=", Decimal(length));
        std::int32_t result = 0;
        UTLClient* record = nullptr;
        if (buffer == nullptr || length < UTL_ERROR_BUFFER || client == 0) {
            result = UTL_INVALID_PARAMETER;
        } else if ((record = UTLClientList::Find(client)) == nullptr) {
            result = 0;
        } else if (!record->Bound()) {
            result = UTL_NO_RECORD;
        } else if (record->errorFlag == 0) {
            result = 0;
        } else {
            try {
                std::memset(buffer, 0, static_cast<std::size_t>(length));
                const std::string text = std::string(record->errorTitle) + "\n" + record->errorText;
                CopyText(buffer, static_cast<std::size_t>(length), text.c_str());
                result = static_cast<std::int32_t>(std::min<std::size_t>(length - 1, text.size()));
            } catch (...) {
                result = UTL_COPY_FAILED;
            }
        }
        return TraceExit("UTLGetError", result);
    });
}

std::int32_t TRVHA64_CALL UTLShowLastError(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLShowLastError", client);
        const UTLClient* record = UTLClientList::Find(client);
        if (record == nullptr) return TraceExit("UTLShowLastError", UTL_NO_RECORD);
        // The library's boxes have no owner window; the unattended setting
        // sends the text to the trace and standard error instead.
        if (record->errorFlag != 0) trv::ShowLibraryMessageBox(record->errorTitle, record->errorText, kPlainOk);
        return TraceExit("UTLShowLastError", UTL_SUCCESS);
    });
}

std::int32_t TRVHA64_CALL UTLGetSessionHandle(trvUTLClient client, const char* session) {
    return Guarded([&] {
        TraceEnter("UTLGetSessionHandle", client, "\r\nSession=", Text(session));
        const OutsideEntry entry = OutsideHLLAPI();
        if (entry == nullptr || session == nullptr) return TraceExit("UTLGetSessionHandle", 0);
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(session[0])));
        char name[4] = {letter, 0, 0, 0};
        std::int32_t result = CallOutside(entry, HA_CONNECT_PM_SRVCS, name, 1);
        if (result != UTL_SUCCESS) return TraceExit("UTLGetSessionHandle", result);
        // The extended query answers the window handle.
        trv::WindowStatusRecord status{};
        status.ShortName = letter;
        status.Option = trv::kWindowStatusQueryExtended;
        char* bytes = reinterpret_cast<char*>(&status);
        result = CallOutside(entry, HA_PM_WINDOW_STATUS, bytes, static_cast<std::int32_t>(sizeof status));
        if (result == UTL_SUCCESS) std::memcpy(&result, bytes + trv::kWindowStatusHandleOffset, sizeof result);
        CallOutside(entry, HA_DISCONNECT_PM_SRVCS, name, 1);
        return TraceExit("UTLGetSessionHandle", result);
    });
}

std::int32_t TRVHA64_CALL UTLAllowUpdates(trvUTLClient) { return NotSupported("UTLAllowUpdates NotSupported", 1); }
std::int32_t TRVHA64_CALL UTLBlockUpdates(trvUTLClient) { return NotSupported("UTLBlockUpdates NotSupported", 1); }
std::int32_t TRVHA64_CALL UTLCloseConfiguration(trvUTLClient) {
    return NotSupported("UTLCloseConfiguration NotSupported", 1);
}
std::int32_t TRVHA64_CALL UTLOpenConfiguration(trvUTLClient, const char*) {
    return NotSupported("UTLOpenConfiguration NotSupported", 1);
}
std::int32_t TRVHA64_CALL UTLOpenLayout(trvUTLClient, const char*) {
    return NotSupported("UTLOpenLayout NotSupported", 1);
}
std::int32_t TRVHA64_CALL UTLHoldHost(trvUTLClient) { return NotSupported("UTLHoldHost NotSupported", 1); }
std::int32_t TRVHA64_CALL UTLResumeHost(trvUTLClient) {
    return NotSupported("UTLResumeHost NotSupported", UTL_UNSUPPORTED);
}
std::int32_t TRVHA64_CALL UTLExecute(trvUTLClient, const char*) {
    return NotSupported("UTLExecute Not Supported", UTL_UNSUPPORTED);
}
std::int32_t TRVHA64_CALL UTLGetEmulatorPath(trvUTLClient, char* buffer, std::int32_t length) {
    if (buffer != nullptr && length > 0) std::memset(buffer, 0, static_cast<std::size_t>(length));
    return NotSupported("UTLGetEmulatorPath NotSupported", 1);
}
std::int32_t TRVHA64_CALL UTLGetLayoutName(trvUTLClient, char* buffer, std::int32_t length) {
    if (buffer != nullptr && length > 0) std::memset(buffer, 0, static_cast<std::size_t>(length));
    return NotSupported("UTLGetLayoutName NotSupported", 1);
}
std::int32_t TRVHA64_CALL UTLRun_____Macro(trvUTLClient, const char*) {
    return NotSupported("UTLRun_____Macro NotSupported", 1);
}
std::int32_t TRVHA64_CALL UTLRun_____MacroAsync(trvUTLClient, const char*) {
    return NotSupported("UTLRun_____MacroAsync NotSupported", 1);
}

// The inert ordinals: any arguments (at most four register-sized values,
// which the caller cleans up), no trace, answer 1.
#define TRV_UTL_INERT(ordinal) \
    std::int32_t TRVHA64_CALL UTLReserved##ordinal(void) { return 1; }
TRV_UTL_INERT(500)
TRV_UTL_INERT(501)
TRV_UTL_INERT(502)
TRV_UTL_INERT(525)
TRV_UTL_INERT(540)
TRV_UTL_INERT(563)
TRV_UTL_INERT(564)
TRV_UTL_INERT(565)
TRV_UTL_INERT(566)
TRV_UTL_INERT(567)
TRV_UTL_INERT(568)
TRV_UTL_INERT(569)
TRV_UTL_INERT(576)
TRV_UTL_INERT(595)
TRV_UTL_INERT(602)
TRV_UTL_INERT(603)
TRV_UTL_INERT(604)
TRV_UTL_INERT(605)
TRV_UTL_INERT(700)
TRV_UTL_INERT(702)
TRV_UTL_INERT(703)
TRV_UTL_INERT(704)
TRV_UTL_INERT(705)
TRV_UTL_INERT(706)
TRV_UTL_INERT(707)
#undef TRV_UTL_INERT

}  // extern "C"
