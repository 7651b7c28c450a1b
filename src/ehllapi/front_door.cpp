// trvhllapi and the guarded entry: pacing, the process's call serialisation,
// the caller's exchange block and the trace aids of the front door.
#include "ehllapi/front_door.h"

#include <atomic>
#include <cstring>
#include <optional>

#include "ehllapi/dispatcher.h"
#include "ehllapi/query_delay.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "protocol/caller_data.h"
#include "shared/name_format.h"
#include "shared/named_objects.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "shared/trace.h"
#include "tables/application_list.h"
#include "trvha64.h"

namespace trv {
namespace {

constexpr std::int32_t kLowestFunction = 1;
constexpr std::int32_t kTracedLengthCap = 80;

// The low 16 bits of the tick count after the last successful Send Key, with
// kSendKeyPending set while a Wait has not consumed it yet. Process-wide and
// deliberately unlocked: any thread's Wait consumes any thread's Send Key.
constexpr std::uint32_t kSendKeyPending = 0x10000;
std::atomic<std::uint32_t> g_lastSendKey{0};

std::uint16_t LowTick() { return static_cast<std::uint16_t>(platform::TickCount() & 0xFFFF); }

void KeepSendKeyGap() {
    const std::uint32_t last = g_lastSendKey.exchange(0);
    if ((last & kSendKeyPending) == 0) return;
    const std::uint16_t elapsed = static_cast<std::uint16_t>(LowTick() - static_cast<std::uint16_t>(last));
    if (elapsed < kSendKeyWaitGapMs) platform::SleepMs(kSendKeyWaitGapMs - elapsed);
}

// Trace lines showing the data of Query Window Coordinates and Query System.
void TraceAids(std::int32_t function, const unsigned char* data, std::int32_t tracedLength) {
    if (!TraceEnabled() || data == nullptr) return;
    unsigned char copy[kTracedLengthCap] = {};
    if (tracedLength > 0) std::memcpy(copy, data, static_cast<std::size_t>(tracedLength));
    if (function == HA_QUERY_WINDOW_COORDS) {
        WindowCoordinatesReply coordinates;
        std::memcpy(&coordinates, copy, sizeof coordinates);
        TRV_TRACE("trvhllapi QWC[103] - XLeft[%d] YBottom[%d] XRight[%d] YTop[%d]", coordinates.XLeft,
                  coordinates.YBottom, coordinates.XRight, coordinates.YTop);
    } else if (function == HA_QUERY_SYSTEM) {
        QuerySystemReply system;
        std::memcpy(&system, copy, sizeof system);
        const char level[3] = {system.Level[0], system.Level[1], '\0'};
        TRV_TRACE("trvhllapi QS[20] - version[%c]", system.Version);
        TRV_TRACE("                    level[%s]", level);
        TRV_TRACE("                    nls[%d]", system.CodePage);
    }
}

// The name "TRV_APPL_BLOCK_%8.8X" of the call-serialising mutex of process
// `processId`, formatted once per thread and process id rather than on
// every call.
const char* CallLockName(std::uint32_t processId) {
    thread_local std::uint32_t formattedFor = 0;
    thread_local char name[kProcessMutexNameSize] = {};
    if (formattedFor != processId) {
        FormatBounded(name, sizeof name, "TRV_APPL_BLOCK_%8.8X", processId);
        formattedFor = processId;
    }
    return name;
}

// Dispatches on the caller's block under the process's call-serialising
// mutex (none for Stop Keystroke Intercept).
std::int32_t DispatchOnBlock(const CallerParameters& caller, bool perProcess) {
    const std::uint32_t processId = platform::CurrentProcessId();
    const std::uint32_t threadId = platform::CurrentThreadId();
    const bool serialised = caller.function != HA_STOP_KEY_INTERCEPT;
    // The process's own mutex, held open since attach; opened by name when
    // the process never attached (or is not the process that attached).
    std::optional<HeldMutexHandle> heldCallLock;
    std::optional<HeldNamedMutex> namedCallLock;
    if (serialised) {
        const char* mutexName = CallLockName(processId);
        TRV_TRACE("Ehllapi Application  - name=[%s]", mutexName);
        const ProcessState& process = Process();
        if (process.processMutex != platform::kNoHandle &&
            std::strcmp(process.processMutexName, mutexName) == 0) {
            heldCallLock.emplace(process.processMutex);
        } else {
            namedCallLock.emplace(mutexName);
        }
        const bool held = heldCallLock ? heldCallLock->held() : namedCallLock->held();
        if (!held) {
            TRV_TRACE("trvhllapi - call mutex [%s] not taken, call refused", mutexName);
            caller.StoreReturnCode(HLLAPI_RC_SYSTEM_ERROR);
            return HLLAPI_RC_SYSTEM_ERROR;
        }
    }

    ApplicationList* applications = Applications();
    ApplicationBlock* block =
        applications != nullptr ? applications->AddApplicationBlock(processId, threadId, perProcess) : nullptr;
    if (block == nullptr || Sessions() == nullptr) {
        TRV_TRACE("trvhllapi no exchange block available");
        caller.StoreReturnCode(kNoBlockCode);
        return kNoBlockCode;
    }
    // Stop Keystroke Intercept may run while another call of the process
    // uses the same block; it leaves that call's request fields alone.
    if (serialised) {
        block->Function = static_cast<std::uint32_t>(caller.function);
        block->CallerData = reinterpret_cast<std::uintptr_t>(caller.data);
        block->CallerLength = reinterpret_cast<std::uintptr_t>(caller.length);
        block->CallerReturnCode = reinterpret_cast<std::uintptr_t>(caller.returnCode);
        block->EnhEHLLAPI = perProcess ? 1 : 0;
    }
    return EHLLAPIParser(*block, caller);
}

}  // namespace

std::int32_t trvhllapi(std::int32_t* function, unsigned char* data, std::int32_t* length,
                       std::int32_t* returnCode, bool perProcess) {
    const CallerParameters caller{*function, data, length, returnCode};
    std::int32_t tracedLength = caller.LengthOrZero();
    if (tracedLength > kTracedLengthCap) tracedLength = kTracedLengthCap;
    if (tracedLength < 0) tracedLength = 0;
    TRV_TRACE("trvhllapi entry - Func=[%d], Len=[%d], EnhEHLLAPI=[%d]", caller.function, tracedLength,
              perProcess ? 1 : 0);

    std::int32_t result = 0;
    if (Control().SessionsAvailable.load() == 0) {
        result = caller.function == HA_QUERY_SESSIONS ? HLLAPI_RC_SUCCESS : HLLAPI_RC_NO_SESSION;
        caller.StoreReturnCode(result);
        caller.StoreLength(0);
        TRV_TRACE("trvhllapi no ZEM Sessions loaded that support HLLAPI");
    } else {
        result = DispatchOnBlock(caller, perProcess);
    }
    TraceAids(caller.function, data, tracedLength);
    TRV_TRACE("trvhllapi return - nRet=[%d]", result);
    return result;
}

std::int32_t GuardedEntry(std::int32_t* function, unsigned char* data, std::int32_t* length,
                          std::int32_t* returnCode, bool perProcess) noexcept {
    if (returnCode == nullptr) return HLLAPI_RC_BAD_PARAMETER;
    try {
        if (function == nullptr || *function < kLowestFunction || *function > HLLAPI_HIGHEST_FUNCTION) {
            *returnCode = HLLAPI_RC_UNSUPPORTED;
            return HLLAPI_RC_UNSUPPORTED;
        }
        const std::int32_t number = *function;
        const std::int32_t delay = QueryDelay();
        if (delay > 0) platform::SleepMs(static_cast<std::uint32_t>(delay));
        if (number == HA_WAIT) KeepSendKeyGap();
        const std::int32_t result = trvhllapi(function, data, length, returnCode, perProcess);
        if (number == HA_SENDKEY && *returnCode == HLLAPI_RC_SUCCESS) {
            g_lastSendKey.store(kSendKeyPending | LowTick());
        }
        return result;
    } catch (...) {
        TRV_TRACE("trvhllapi - unexpected failure");
        *returnCode = kNoBlockCode;
        return kNoBlockCode;
    }
}

}  // namespace trv
