// The two clean-up routines that release blocked callers and undo a caller's
// ties to the sessions when a session or a caller goes away, and the unlink
// step they share with the reclaiming of blocks left by ended processes.
//
// They work on the tables of this process (Sessions(), Applications()) and
// take no lock of their own: every table operation they call takes its
// table's mutex briefly, never two at once. They do nothing when the process
// is not attached to the tables.
#pragma once

#include <cstdint>

#include "shared/name_format.h"
#include "shared/process_state.h"

namespace trv {

struct SessionBlock;
struct ApplicationBlock;

// Called in the emulator process when one of its sessions ends (unregister,
// or its detach) with its own process id and a private copy of the session's
// block. Releases the callers connected to the session (ShortName 0,
// SessionID -1, ReturnCode 9, reply event signalled by name when Waiting),
// signals the session's notification events, tells and detaches the callers
// in its three notification lists, removes the session and, after the last
// one, clears SessionsAvailable. Does nothing beyond its trace lines when the
// block was registered by another process.
void AlertWaitingBlocks(std::uint32_t processId, const SessionBlock& session);

// Called at process detach of a caller: frees every exchange block of the
// process, whichever thread runs the detach (`threadId` is only traced),
// after undoing its connections and notification registrations. Event
// handles stored in the blocks (the reply event too) are closed only when
// `processId` is the calling process, whose handles they are.
void ApplicationDestroyed(std::uint32_t processId, std::uint32_t threadId);

// Releases and removes every session still registered by `processId` when
// that process has ended without unregistering them (it was killed, so its
// detach never ran): what its detach would have done, run by whichever
// process notices first. Callers waiting on those sessions are released with
// 9, and after the last session SessionsAvailable is 0, so later calls answer
// "no session" instead of waiting on a session nobody serves. A session whose
// registering process lives (the same id and start) is left alone. Answers
// the number of sessions removed.
int ReclaimSessionsOfEndedProcess(std::uint32_t processId);
// The same for every registered session whose owner has ended.
int ReclaimSessionsOfEndedProcesses();
// Whether the session is registered by a process that has ended (a process
// that later got the same id is not its owner).
bool SessionOwnerEnded(const SessionBlock& session);

// What ties a caller block to the sessions, taken from the block so that the
// ties can be undone after the block itself was freed.
struct SessionLinks {
    char BlockName[kBlockNameSize];
    char ShortName;
    std::uint8_t WinConnected[kSessionCount];
    std::uint32_t HostUpdateNotifyType[kSessionCount];
};

SessionLinks SessionLinksOf(const ApplicationBlock& block);

// Clears the presentation-space and window-services connections the block
// held and removes it from every notification list of every session. With
// `ownBlock` (the block itself, still in use by this process) it also clears
// those fields in the block and closes the close-intercept and key-intercept
// event handles stored there; without it, nothing of the block is touched
// and no handle is closed (the handles were another process's).
void UnlinkFromSessions(const SessionLinks& links, ApplicationBlock* ownBlock);

}  // namespace trv
