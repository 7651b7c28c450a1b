// QMXAPICalltoZEM: posting a session-API request to the emulator's service
// thread and waiting for its reply.
//
// The caller never waits on the emulator without watching it. It finds the
// emulator's process from the service thread's id before it posts, and waits
// for the reply in slices; between slices it checks that the process and
// its service thread still run. An emulator that was killed (and so could
// not release its callers) thus answers 9 within one slice, and its stale
// thread id is cleared from the control record for the callers after.
#include "sessionapi/call_to_emulator.h"

#include <atomic>
#include <cstring>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/handle.h"
#include "platform/message_queue.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "shared/named_objects.h"
#include "shared/shared_control.h"
#include "shared/trace.h"
#include "tables/table_support.h"

namespace trv {
namespace {

// Clears the control record's service-thread id if it still names the
// thread that was found gone (a new emulator may have registered meanwhile).
void ForgetServiceThread(std::uint32_t threadId) {
    std::uint32_t expected = threadId;
    if (Control().QMXAPIThreadId.compare_exchange_strong(expected, 0)) {
        TRV_TRACE("QMXAPICalltoZEM - service thread %x is gone, cleared", threadId);
    }
}

void SetWaiting(QMXAPIBlock& record, bool waiting) {
    std::atomic_ref<std::uint8_t>(record.Waiting).store(waiting ? 1 : 0);
}

// Waits for an emulator to register while a start request has none.
std::uint32_t AwaitServiceThread(std::uint32_t* processId) {
    const std::uint32_t started = platform::TickCount();
    for (;;) {
        std::uint32_t threadId = LiveQMXAPIThread(processId);
        if (threadId != 0) return threadId;
        if (platform::TickCount() - started >= kStartWaitForEmulatorMs) return 0;
        if (platform::ThreadStopRequested()) return 0;
        platform::SleepMs(kEmulatorPollMs);
    }
}

bool EmulatorStillServes(std::uint32_t processId, std::uint32_t threadId) {
    return platform::IsProcessAlive(processId) && platform::ProcessOfThread(threadId) == processId;
}

}  // namespace

std::uint32_t LiveQMXAPIThread(std::uint32_t* processId) {
    if (processId != nullptr) *processId = 0;
    const std::uint32_t threadId = Control().QMXAPIThreadId.load();
    if (threadId == 0) return 0;
    const std::uint32_t owner = platform::ProcessOfThread(threadId);
    if (owner == 0) {
        ForgetServiceThread(threadId);
        return 0;
    }
    if (processId != nullptr) *processId = owner;
    return threadId;
}

std::uint32_t QMXAPICalltoZEM(QMXAPIBlock& record) {
    TRV_TRACE("QMXAPICalltoZEM enter");
    std::uint32_t emulator = 0;
    std::uint32_t threadId = LiveQMXAPIThread(&emulator);
    if (threadId == 0) {
        if (record.Request != kQMXStartSession) {
            TRV_TRACE("QMXAPICalltoZEM ZEM not started: returning QMX_SYSTEM_ERROR");
            record.Result = kQMXSystemError;
            TRV_TRACE("QMXAPICalltoZEM return - nRet=[%d]", static_cast<int>(record.Result));
            return record.Result;
        }
        TRV_TRACE("QMXAPICalltoZEM ZEM not started, attempting to launch TRV");
        threadId = AwaitServiceThread(&emulator);
        if (threadId == 0) {
            record.Result = kQMXSystemError;
            TRV_TRACE("QMXAPICalltoZEM return - nRet=[%d]", static_cast<int>(record.Result));
            return record.Result;
        }
    }

    // The event is opened by its name: the handle kept in the record may be
    // one that an earlier process with the same ids left there.
    char eventName[kQMXAPINameSize + 1];
    TerminatedCopy<kQMXAPINameSize>(eventName, record.EventName);
    platform::UniqueHandle reply(platform::CreateNamedEvent(false, eventName));
    if (!reply) {
        record.Result = kQMXSystemError;
        TRV_TRACE("QMXAPICalltoZEM return - nRet=[%d]", static_cast<int>(record.Result));
        return record.Result;
    }
    // A release meant for an earlier request (AlertWaitingQMXAPIBlocks racing
    // that request's own reply) must not answer this one.
    platform::ClearEvent(reply.get());

    TRV_TRACE("QMXAPICalltoZEM - WaitEvent %p %s %hx", static_cast<void*>(&record), eventName,
              record.Atom);
    // Waiting is set before the post so that an emulator ending at any point
    // after it releases this caller.
    SetWaiting(record, true);
    if (!platform::PostToThread(threadId, Control().ControlMessage.load(), record.Atom, 0)) {
        // Nobody will read the request; the thread either ended just now or
        // never had a queue.
        SetWaiting(record, false);
        if (!EmulatorStillServes(emulator, threadId)) ForgetServiceThread(threadId);
        record.Result = kQMXSystemError;
        TRV_TRACE("QMXAPICalltoZEM return - nRet=[%d]", static_cast<int>(record.Result));
        return record.Result;
    }

    FlushTrace();
    for (;;) {
        const std::uint32_t waited = platform::WaitForEvent(reply.get(), kReplyWaitSliceMs);
        if (waited == platform::kWaitObject0) break;
        if (waited == platform::kWaitTimeout && EmulatorStillServes(emulator, threadId)) continue;
        if (waited == platform::kWaitTimeout) {
            TRV_TRACE("QMXAPICalltoZEM - ZEM process %x ended while waiting", emulator);
            ForgetServiceThread(threadId);
        } else {
            TRV_TRACE("QMXAPICalltoZEM - wait failed or cancelled");
        }
        record.Result = kQMXSystemError;
        break;
    }
    SetWaiting(record, false);
    TRV_TRACE("QMXAPICalltoZEM return - nRet=[%d]", static_cast<int>(record.Result));
    return record.Result;
}

}  // namespace trv
