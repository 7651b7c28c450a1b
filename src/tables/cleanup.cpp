// AlertWaitingBlocks, ApplicationDestroyed and the unlinking of a caller
// block from the session table.
#include "tables/cleanup.h"

#include <cstring>

#include "platform/process.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "protocol/notification.h"
#include "shared/named_objects.h"
#include "shared/shared_control.h"
#include "shared/trace.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv {

namespace {

constexpr std::uint32_t kSessionEndedCode = HLLAPI_RC_SYSTEM_ERROR;

char LetterOf(int slot) { return static_cast<char>('A' + slot); }

// Opens a caller's reply event by the name in its block, signals it and
// closes it again: the block's own handle is its owner process's.
void SignalReplyEvent(const ApplicationBlock& block, const char* traceFormat) {
    char name[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(name, block.ReplyEventName);
    platform::Handle event = GetHLLEvent(name);
    TRV_TRACE(traceFormat, name);
    TriggerHLLEvent(event);
    FreeHLLEvent(event);
}

// Signals one of the session's events: through the stored handle in the
// process that registered the session (whose handle it is), by name in any
// other.
void SignalSessionEvent(const SessionBlock& session, platform::Handle handle, const char* name) {
    if (session.ProcessID == platform::CurrentProcessId()) {
        TriggerHLLEvent(handle);
        return;
    }
    platform::Handle opened = GetHLLEvent(name);
    TriggerHLLEvent(opened);
    FreeHLLEvent(opened);
}

}  // namespace

SessionLinks SessionLinksOf(const ApplicationBlock& block) {
    SessionLinks links{};
    std::memcpy(links.BlockName, block.BlockName, sizeof links.BlockName);
    links.BlockName[kBlockNameSize - 1] = '\0';
    links.ShortName = block.ShortName;
    std::memcpy(links.WinConnected, block.WinConnected, sizeof links.WinConnected);
    std::memcpy(links.HostUpdateNotifyType, block.HostUpdateNotifyType,
                sizeof links.HostUpdateNotifyType);
    return links;
}

void UnlinkFromSessions(const SessionLinks& links, ApplicationBlock* ownBlock) {
    SessionList* sessions = Sessions();
    if (sessions == nullptr) return;

    // A block of another (ended) process may be behind the table: its
    // connections are undone only where it still holds them.
    if (links.ShortName != '\0') {
        if (ownBlock != nullptr) {
            sessions->DisconnectSessionPS(links.ShortName);
            ownBlock->ShortName = 0;
        } else {
            sessions->DisconnectSessionPS(links.ShortName, links.BlockName);
        }
    }
    for (int s = 0; s < kSessionCount; ++s) {
        if (links.WinConnected[s] == 0) continue;
        if (ownBlock != nullptr) {
            sessions->DisconnectSessionWin(LetterOf(s));
            ownBlock->WinConnected[s] = 0;
        } else {
            sessions->DisconnectSessionWin(LetterOf(s), links.BlockName);
        }
    }
    for (int s = 0; s < kSessionCount; ++s) {
        if (links.HostUpdateNotifyType[s] != 0) {
            sessions->RemoveFromHostNotificationList(LetterOf(s), links.BlockName);
        }
    }
    for (int s = 0; s < kSessionCount; ++s) {
        if (ownBlock != nullptr && ownBlock->CloseInterceptMode[s] == kCloseByEvent) {
            FreeHLLEvent(ownBlock->CloseInterceptHandle[s]);
        }
        sessions->RemoveFromCloseNotificationList(LetterOf(s), links.BlockName);
    }
    for (int s = 0; s < kSessionCount; ++s) {
        if (ownBlock != nullptr && ownBlock->KeyInterceptEvent[s] != platform::kNoHandle) {
            FreeHLLEvent(ownBlock->KeyInterceptEvent[s]);
        }
        sessions->RemoveFromKeyNotificationList(LetterOf(s), links.BlockName);
    }
}

void AlertWaitingBlocks(std::uint32_t processId, const SessionBlock& session) {
    TRV_TRACE("AlertWaitingBlocks enter - pid=[%x], sb.ShortName=[%c]", processId, session.ShortName);
    SessionList* sessions = Sessions();
    ApplicationList* applications = Applications();
    int slot = SessionSlot(session.ShortName);
    if (session.ProcessID != processId || sessions == nullptr || slot < 0) {
        TRV_TRACE("AlertWaitingBlocks return");
        return;
    }
    const char letter = LetterOf(slot);
    const std::uint32_t notifyMessage = Process().notifyMessage;
    // Without the application table there are no callers to release, but the
    // session is still signalled and removed.
    auto blockNamed = [applications](const char* name) -> ApplicationBlock* {
        return applications != nullptr ? applications->GetApplicationBlock(name) : nullptr;
    };

    // The caller connected to the presentation space.
    if (ApplicationBlock* block = blockNamed(session.PSConnection)) {
        TRV_TRACE("AlertWaitingBlocks - session %c, id %d, ended.", block->ShortName, block->SessionID);
        block->ShortName = 0;
        block->SessionID = -1;
        block->ReturnCode = kSessionEndedCode;
        if (block->Waiting != 0) SignalReplyEvent(*block, "AlertWaitingBlocks - TriggerEvent(PS) %s");
    }

    // The caller holding the window services.
    if (ApplicationBlock* block = blockNamed(session.WinConnection)) {
        block->WinConnected[slot] = 0;
        block->ReturnCode = kSessionEndedCode;
        if (block->Waiting != 0) SignalReplyEvent(*block, "AlertWaitingBlocks - TriggerEvent(Win) %s");
    }

    char name[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(name, session.PSEventName);
    TRV_TRACE("AlertWaitingBlocks - TriggerEvent(PSNotify) %s", name);
    SignalSessionEvent(session, session.PSEvent, name);
    TerminatedCopy<kBlockNameSize>(name, session.OIAEventName);
    TRV_TRACE("AlertWaitingBlocks - TriggerEvent(OIANotify) %s", name);
    SignalSessionEvent(session, session.OIAEvent, name);
    TerminatedCopy<kBlockNameSize>(name, session.BothEventName);
    TRV_TRACE("AlertWaitingBlocks - TriggerEvent(BothNotify) %s", name);
    SignalSessionEvent(session, session.BothEvent, name);

    // The lists are walked in the private copy, so removals from the table
    // below do not shift the walk.
    const int hostCount = UsedNotifyEntries(session.HostNotifyCount);
    for (int i = 0; i < hostCount; ++i) {
        ApplicationBlock* block = blockNamed(session.HostNotifyList[i]);
        if (block == nullptr) continue;
        block->PSUpdated = 1;
        if ((block->HostUpdateNotifyType[slot] & kNotifyByMessage) != 0) {
            platform::PostWindowMessage(block->HostNotifyHandle[slot], notifyMessage,
                                        kNotifyWParamBase + i, kSessionEndedLParam);
        }
    }

    TerminatedCopy<kBlockNameSize>(name, session.CloseEventName);
    TRV_TRACE("AlertWaitingBlocks - TriggerEvent(ClosedAttemptedEvent) %s", name);
    SignalSessionEvent(session, session.CloseEvent, name);

    const int closeCount = UsedNotifyEntries(session.CloseNotifyCount);
    for (int i = 0; i < closeCount; ++i) {
        ApplicationBlock* block = blockNamed(session.CloseNotifyList[i]);
        if (block == nullptr) continue;
        block->CloseRequested = 1;
        if (block->CloseInterceptMode[slot] == kCloseByMessage) {
            platform::PostWindowMessage(block->CloseInterceptHandle[slot], notifyMessage,
                                        kNotifyWParamBase + i, kCloseAttemptLParam);
        }
        sessions->RemoveFromCloseNotificationList(letter, *block);
    }

    TerminatedCopy<kBlockNameSize>(name, session.KeyEventName);
    TRV_TRACE("AlertWaitingBlocks - TriggerEvent(KeyNotifyEvent) %s", name);
    SignalSessionEvent(session, session.KeyEvent, name);

    const int keyCount = UsedNotifyEntries(session.KeyNotifyCount);
    for (int i = 0; i < keyCount; ++i) {
        ApplicationBlock* block = blockNamed(session.KeyNotifyList[i]);
        if (block == nullptr) continue;
        if ((block->KeyInterceptOptions[slot] & kInterceptByMessage) != 0) {
            platform::PostWindowMessage(block->KeyInterceptWindow[slot], notifyMessage,
                                        kNotifyWParamBase + i, kKeystrokeLParam);
        }
        // The event handle is the caller's; it is forgotten here, not closed.
        block->KeyInterceptEvent[slot] = platform::kNoHandle;
        block->KeyInterceptWindow[slot] = 0;
        block->KeyInterceptOptions[slot] = 0;
        block->ClearKeyQueue(slot, kStoppedKeyQueueLimit);
        sessions->RemoveFromKeyNotificationList(letter, *block);
    }

    sessions->RemoveSession(letter);
    if (sessions->SessionCount == 0) {
        Control().SessionsAvailable.exchange(0);
        TRV_TRACE("AlertWaitingBlocks - no more sessions");
    }
    TRV_TRACE("AlertWaitingBlocks return");
}

void ApplicationDestroyed(std::uint32_t processId, std::uint32_t threadId) {
    TRV_TRACE("ApplicationDestroyed enter - pid=[%x], tid=[%x]", processId, threadId);
    ApplicationList* applications = Applications();
    // Handles in the blocks belong to their owner process; they are closed
    // only when that is the calling process.
    const bool ownHandles = processId == platform::CurrentProcessId();
    // Each pass frees one block; the bound only guards against a block that
    // another process keeps re-taking under the same id.
    for (int pass = 0; applications != nullptr && pass <= kSessionCount; ++pass) {
        ApplicationBlock* block = applications->FindApplicationBlock(processId);
        if (block == nullptr) break;
        UnlinkFromSessions(SessionLinksOf(*block), ownHandles ? block : nullptr);
        // The reply event is this process's handle; left open, its object
        // would outlive the process.
        if (ownHandles && TakeOwnHandle(&block->ReplyEvent, block->ReplyEvent)) {
            FreeHLLEvent(block->ReplyEvent);
            block->ReplyEvent = platform::kNoHandle;
        }
        if (block->EnhEHLLAPI != 0) {
            applications->RemoveApplicationBlock(processId);
        } else {
            applications->RemoveApplicationBlock(processId, block->ThreadId);
        }
    }
    TRV_TRACE("ApplicationDestroyed return");
}

bool SessionOwnerEnded(const SessionBlock& session) {
    return session.Established != 0 &&
           !platform::IsProcessAlive(session.ProcessID, session.OwnerStartStamp());
}

int ReclaimSessionsOfEndedProcess(std::uint32_t processId) {
    SessionList* sessions = Sessions();
    if (sessions == nullptr || processId == 0) return 0;
    // One reclaimer at a time, re-reading the table under the lock: a second
    // process noticing the same end must not remove a session that a new
    // emulator has registered under the letter in the meantime.
    platform::UniqueHandle mutex(CreateHLLMutex("TRVHA_RECLAIM_MTX"));
    HeldMutexHandle reclaiming(mutex.get());
    if (!reclaiming.held()) {
        TRV_TRACE("ReclaimSessionsOfEndedProcess - reclaim mutex not taken, nothing reclaimed");
        return 0;
    }
    int removed = 0;
    for (int i = 0; i < kSessionCount; ++i) {
        const SessionBlock session = sessions->GetSession(LetterOf(i));
        if (session.ProcessID != processId || !SessionOwnerEnded(session)) continue;
        TRV_TRACE("ReclaimSessionsOfEndedProcess - session %c of ended process %x", session.ShortName,
                  processId);
        AlertWaitingBlocks(processId, session);
        ++removed;
    }
    return removed;
}

int ReclaimSessionsOfEndedProcesses() {
    SessionList* sessions = Sessions();
    if (sessions == nullptr) return 0;
    int removed = 0;
    for (int i = 0; i < kSessionCount; ++i) {
        if (sessions->IsSessionEstablished(LetterOf(i)) == 0) continue;
        const SessionBlock session = sessions->GetSession(LetterOf(i));
        if (SessionOwnerEnded(session)) removed += ReclaimSessionsOfEndedProcess(session.ProcessID);
    }
    return removed;
}

}  // namespace trv
