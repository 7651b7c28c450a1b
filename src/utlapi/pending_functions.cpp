// UTLWait, and the waits, event tables and parameter-block entries that this
// library exports with their final arguments but does not offer yet: they
// trace their entry and exit and answer UTL_NOT_BUILT.
#include "shared/message_boxes.h"
#include "utlapi/utlapi_frame.h"

namespace {

using namespace trv::utl;

constexpr std::uint32_t kExclamationOk = 48;
constexpr std::int32_t kAsyncNotSupported = HLLAPI_RC_UNSUPPORTED;

std::int32_t NotBuilt(const char* name, trvUTLClient client) {
    TraceEnter(name, client);
    return TraceExit(name, UTL_NOT_BUILT);
}

}  // namespace

extern "C" {

std::int32_t TRVHA64_CALL UTLWait(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLWait", client);
        UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLWait", UTL_NOT_REGISTERED);
        UTLConnectPS(client, record);
        std::uint16_t length = 0;
        char none[1] = {};
        return TraceExit("UTLWait", Converted(CallEHLLAPI(HA_WAIT, none, length)));
    });
}

std::int32_t TRVHA64_CALL UTLWaitForCursor(trvUTLClient client, std::int32_t, std::int32_t, std::int32_t) {
    return NotBuilt("UTLWaitForCursor", client);
}
std::int32_t TRVHA64_CALL UTLWaitForCursorMove(trvUTLClient client, std::int32_t) {
    return NotBuilt("UTLWaitForCursorMove", client);
}
std::int32_t TRVHA64_CALL UTLWaitForString(trvUTLClient client, std::int32_t, std::int32_t, const char*,
                                           std::int32_t) {
    return NotBuilt("UTLWaitForString", client);
}
std::int32_t TRVHA64_CALL UTLWaitForKey(trvUTLClient client, const char*, std::int32_t) {
    return NotBuilt("UTLWaitForKey", client);
}
std::int32_t TRVHA64_CALL UTLWaitHostQuiet(trvUTLClient client, std::int32_t, std::int32_t) {
    return NotBuilt("UTLWaitHostQuiet", client);
}
std::int32_t TRVHA64_CALL UTLWaitForHostConnect(trvUTLClient client, std::int32_t) {
    return NotBuilt("UTLWaitForHostConnect", client);
}
std::int32_t TRVHA64_CALL UTLWaitForHostDisconnect(trvUTLClient client, std::int32_t) {
    return NotBuilt("UTLWaitForHostDisconnect", client);
}
std::int32_t TRVHA64_CALL UTLSendAndWait(trvUTLClient client, std::int32_t, std::int32_t, const char*,
                                         const char*, std::int32_t) {
    return NotBuilt("UTLSendAndWait", client);
}
std::int32_t TRVHA64_CALL UTLAddWait(trvUTLClient client, std::int32_t, std::int32_t) {
    return NotBuilt("UTLAddWait", client);
}
std::int32_t TRVHA64_CALL UTLAddWaitForCursor(trvUTLClient client, std::int32_t, std::int32_t, std::int32_t,
                                              std::int32_t) {
    return NotBuilt("UTLAddWaitForCursor", client);
}
std::int32_t TRVHA64_CALL UTLAddWaitForCursorMove(trvUTLClient client, std::int32_t, std::int32_t) {
    return NotBuilt("UTLAddWaitForCursorMove", client);
}
std::int32_t TRVHA64_CALL UTLAddWaitForString(trvUTLClient client, std::int32_t, std::int32_t, std::int32_t,
                                              std::int32_t, const char*) {
    return NotBuilt("UTLAddWaitForString", client);
}
std::int32_t TRVHA64_CALL UTLAddWaitForStringNotAt(trvUTLClient client, std::int32_t, std::int32_t,
                                                   std::int32_t, std::int32_t, const char*) {
    return NotBuilt("UTLAddWaitForStringNotAt", client);
}
std::int32_t TRVHA64_CALL UTLAddWaitHostQuiet(trvUTLClient client, std::int32_t, std::int32_t, std::int32_t) {
    return NotBuilt("UTLAddWaitHostQuiet", client);
}
std::int32_t TRVHA64_CALL UTLAddWaitForHostConnect(trvUTLClient client, std::int32_t, std::int32_t) {
    return NotBuilt("UTLAddWaitForHostConnect", client);
}
std::int32_t TRVHA64_CALL UTLAddWaitForHostDisconnect(trvUTLClient client, std::int32_t, std::int32_t) {
    return NotBuilt("UTLAddWaitForHostDisconnect", client);
}
std::int32_t TRVHA64_CALL UTLAddWaitForKey(trvUTLClient client, std::int32_t, std::int32_t, const char*) {
    return NotBuilt("UTLAddWaitForKey", client);
}
std::int32_t TRVHA64_CALL UTLDeleteEvent(trvUTLClient client, std::int32_t, std::int32_t) {
    return NotBuilt("UTLDeleteEvent", client);
}
std::int32_t TRVHA64_CALL UTLWaitForEvent(trvUTLClient client, std::int32_t, std::int32_t) {
    return NotBuilt("UTLWaitForEvent", client);
}
std::int32_t TRVHA64_CALL UTLClearEventTable(trvUTLClient client, std::int32_t) {
    return NotBuilt("UTLClearEventTable", client);
}

std::int32_t TRVHA64_CALL UTLAPIEntry(std::int32_t*, char*, std::int32_t*, std::int32_t* argument, std::int32_t*,
                                      std::int32_t*) {
    if (argument != nullptr) *argument = UTL_NOT_BUILT;
    return UTL_NOT_BUILT;
}

std::int32_t TRVHA64_CALL UTLAPIEntry725(std::int32_t* function, char* data, std::int32_t* length,
                                         std::int32_t* argument, std::int32_t* argumentA, std::int32_t* argumentB) {
    return UTLAPIEntry(function, data, length, argument, argumentA, argumentB);
}

std::int32_t TRVHA64_CALL UTLAPIEntryAsync(std::int32_t*, char*, std::int32_t*, std::int32_t*, std::int32_t*,
                                           std::int32_t*) {
    try {
        trv::ShowLibraryMessageBox(
            "UTLAPI for ZEM Bridge error",
            "UTLAPI Extension functions for Async requests are not currently supported, application may not work "
            "correctly",
            kExclamationOk);
    } catch (...) {
    }
    return kAsyncNotSupported;
}

}  // extern "C"
