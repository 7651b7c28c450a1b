// The exported session-management entries (QMXAPI, ordinals 213 to 221 and
// 299). Windows exports them by ordinal only (resources/trvha64.def); Linux
// under the names of include/trvha64_qmxapi.h.
//
// Each entry writes its request into the calling thread's QMXAPIBlock, lets
// QMXAPICalltoZEM carry it to the emulator, and copies the reply out. No
// exception leaves an entry: an unexpected failure answers QMX_SYSTEM_ERROR.
#include <algorithm>
#include <cstring>

#include "sessionapi/call_to_emulator.h"
#include "shared/trace.h"
#include "tables/qmxapi_list.h"
#include "tables/table_support.h"
#include "trvha64_qmxapi.h"

namespace trv {
namespace {

static_assert(sizeof(trvQMXSessionEntry) == sizeof(QMXAPISessionEntry));
static_assert(QMX_SYSTEM_ERROR == kQMXSystemError);
static_assert(QMX_SESSION_ESTABLISHED == kQMXSessionEstablishedBit);
static_assert(QMX_PROFILE_SIZE == kQMXAPITextSize);
static_assert(QMX_MAX_SESSIONS == kQMXAPISessionListEntries);

// Runs `body` and answers its result; any escaping exception answers 9.
template <typename Body>
std::uint32_t Guarded(const char* entry, Body body) {
    try {
        return body();
    } catch (...) {
        TRV_TRACE("%s - unexpected failure", entry);
        return kQMXSystemError;
    }
}

// The request of one entry that sends only a short name.
std::uint32_t CallWithShortName(QMXAPIBlock& record, QMXAPIRequest request, char shortName) {
    record.ShortName = shortName;
    record.ShortNameEnd = '\0';
    record.Request = request;
    return QMXAPICalltoZEM(record);
}

// A yes/no or status request with the short name only: the result, or
// `noRecord` when the thread has no record.
std::uint32_t ShortNameRequest(const char* entry, QMXAPIRequest request, char shortName,
                               std::uint32_t noRecord) {
    QMXAPIBlock* record = GetQMXAPIBlock();
    if (record == nullptr) return noRecord;
    TRV_TRACE("%s - Calling to ZEM", entry);
    return CallWithShortName(*record, request, shortName);
}

}  // namespace
}  // namespace trv

using trv::FoldSessionLetter;
using trv::Guarded;
using trv::kQMXSystemError;

extern "C" {

// Ordinal 215.
std::uint32_t TRVHA64_CALL trvStartSession(const char* profile, char short_name,
                                           std::uint16_t window_mode) {
    return Guarded("trvStartSession", [&]() -> std::uint32_t {
        const char letter = FoldSessionLetter(short_name);
        TRV_TRACE("trvStartSession - Enter (%s, %c, %hu)", profile != nullptr ? profile : "", letter,
                  window_mode);
        std::uint32_t result = kQMXSystemError;
        if (trv::QMXAPIBlock* record = trv::GetQMXAPIBlock()) {
            TRV_TRACE("trvStartSession - Calling to ZEM");
            trv::CopyFixedText(record->Text, profile);
            record->ShortName = letter;
            record->ShortNameEnd = '\0';
            record->WindowMode = window_mode;
            record->Request = trv::kQMXStartSession;
            result = trv::QMXAPICalltoZEM(*record);
        }
        TRV_TRACE("trvStartSession - Exit [%lu]", static_cast<unsigned long>(result));
        return result;
    });
}

// Ordinal 216. The option is traced only.
std::uint32_t TRVHA64_CALL trvStopSession(char short_name, std::uint16_t option) {
    return Guarded("trvStopSession", [&]() -> std::uint32_t {
        const char letter = FoldSessionLetter(short_name);
        TRV_TRACE("trvStopSession - Enter (%c, %hu)", letter, option);
        const std::uint32_t result =
            trv::ShortNameRequest("trvStopSession", trv::kQMXStopSession, letter, 0);
        TRV_TRACE("trvStopSession - Exit [%d]", static_cast<int>(result));
        return result;
    });
}

// Ordinal 217.
std::uint32_t TRVHA64_CALL trvConnectSession(char short_name) {
    return Guarded("trvConnectSession", [&]() -> std::uint32_t {
        const char letter = FoldSessionLetter(short_name);
        TRV_TRACE("trvConnectSession - Enter (%c)", letter);
        const std::uint32_t result =
            trv::ShortNameRequest("trvConnectSession", trv::kQMXConnectSession, letter, 0);
        TRV_TRACE("trvConnectSession - Exit [%d]", static_cast<int>(result));
        return result;
    });
}

// Ordinal 218.
std::uint32_t TRVHA64_CALL trvDisconnectSession(char short_name) {
    return Guarded("trvDisconnectSession", [&]() -> std::uint32_t {
        const char letter = FoldSessionLetter(short_name);
        TRV_TRACE("trvDisconnectSession - Enter (%c)", letter);
        const std::uint32_t result =
            trv::ShortNameRequest("trvDisconnectSession", trv::kQMXDisconnectSession, letter, 0);
        TRV_TRACE("trvDisconnectSession - Exit [%d]", static_cast<int>(result));
        return result;
    });
}

// Ordinal 219. Answers the emulator's number of sessions even when fewer
// entries fit into the caller's buffer.
std::uint32_t TRVHA64_CALL trvQuerySessionList(std::uint32_t count, trvQMXSessionEntry* entries) {
    return Guarded("trvQuerySessionList", [&]() -> std::uint32_t {
        TRV_TRACE("trvQuerySessionList - Enter (%lu)", static_cast<unsigned long>(count));
        std::uint32_t result = 0;
        if (trv::QMXAPIBlock* record = trv::GetQMXAPIBlock()) {
            TRV_TRACE("trvQuerySessionList - Calling to ZEM");
            record->Request = trv::kQMXQuerySessionList;
            result = trv::QMXAPICalltoZEM(*record);
            if (count != 0 && entries != nullptr) {
                TRV_TRACE("trvQuerySessionList - Returned from ZEM, Copying reply data");
                // The reply area holds 128 entries whatever number the
                // emulator reports.
                const std::uint32_t copied = std::min<std::uint32_t>(
                    {result, count, static_cast<std::uint32_t>(trv::kQMXAPISessionListEntries)});
                std::memcpy(entries, record->SessionList, copied * sizeof(trvQMXSessionEntry));
            }
        }
        TRV_TRACE("trvQuerySessionList - Exit [%lu]", static_cast<unsigned long>(result));
        return result;
    });
}

// Ordinal 213.
std::uint32_t TRVHA64_CALL trvQueryEmulatorStatus(char short_name) {
    return Guarded("trvQueryEmulatorStatus", [&]() -> std::uint32_t {
        const char letter = FoldSessionLetter(short_name);
        TRV_TRACE("trvQueryEmulatorStatus - Enter (%c)", letter);
        const std::uint32_t result =
            trv::ShortNameRequest("trvQueryEmulatorStatus", trv::kQMXQueryEmulatorStatus, letter, 0);
        TRV_TRACE("trvQueryEmulatorStatus - Exit [%lu]", static_cast<unsigned long>(result));
        return result;
    });
}

// Ordinal 214. The text field is copied out whatever the result: a 0 answer
// leaves what this thread's previous request put there.
std::uint32_t TRVHA64_CALL trvQueryWorkstationProfile(char short_name, char* profile) {
    return Guarded("trvQueryWorkstationProfile", [&]() -> std::uint32_t {
        const char letter = FoldSessionLetter(short_name);
        TRV_TRACE("trvQueryWorkstationProfile - Enter (%c)", letter);
        std::uint32_t result = 0;
        if (trv::QMXAPIBlock* record = trv::GetQMXAPIBlock()) {
            TRV_TRACE("trvQueryWorkstationProfile - Calling to ZEM");
            result = trv::CallWithShortName(*record, trv::kQMXQueryWorkstationProfile, letter);
            TRV_TRACE("trvQueryWorkstationProfile - Returned from ZEM, copying Reply Data");
            if (profile != nullptr) {
                char text[trv::kQMXAPITextSize + 1];
                trv::TerminatedCopy<trv::kQMXAPITextSize>(text, record->Text);
                const std::size_t length =
                    std::min(std::strlen(text), trv::kQMXAPITextSize - 1);
                std::memcpy(profile, text, length);
                profile[length] = '\0';
            }
        }
        TRV_TRACE("trvQueryWorkstationProfile - Exit [%d]", static_cast<int>(result));
        return result;
    });
}

// Ordinal 221. The pointer is not used.
std::uint32_t TRVHA64_CALL trvQueryConnectionInfo(char short_name, void*) {
    return Guarded("trvQueryConnectionInfo", [&]() -> std::uint32_t {
        TRV_TRACE("trvQueryConnectionInfo - Enter (%c)", FoldSessionLetter(short_name));
        std::uint32_t result = 0;
        if (trv::QMXAPIBlock* record = trv::GetQMXAPIBlock()) {
            TRV_TRACE("trvQueryConnectionInfo - Calling to ZEM");
            record->Request = trv::kQMXQueryConnectionInfo;
            result = trv::QMXAPICalltoZEM(*record);
        }
        TRV_TRACE("trvQueryConnectionInfo - Exit [%d]", static_cast<int>(result));
        return result;
    });
}

// Ordinal 220. Neither argument is sent; the record's short name keeps what
// the thread's previous request left.
std::uint32_t TRVHA64_CALL trvSetLinkTimeout(char short_name, std::uint16_t timeout) {
    return Guarded("trvSetLinkTimeout", [&]() -> std::uint32_t {
        TRV_TRACE("trvSetLinkTimeout - Enter (%c, %hu)", short_name, timeout);
        std::uint32_t result = kQMXSystemError;
        if (trv::QMXAPIBlock* record = trv::GetQMXAPIBlock()) {
            TRV_TRACE("trvSetLinkTimeout - Calling to ZEM");
            record->Request = trv::kQMXSetLinkTimeout;
            result = trv::QMXAPICalltoZEM(*record);
        }
        TRV_TRACE("trvSetLinkTimeout - Exit [%lu]", static_cast<unsigned long>(result));
        return result;
    });
}

// Ordinal 299: reserved; no trace and no record.
std::uint32_t TRVHA64_CALL trvQMXAPIReserved(void) { return kQMXSystemError; }

}  // extern "C"
