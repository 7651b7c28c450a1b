// What one process keeps about the shared state: its views of the three
// table segments and their mapping handles, the session mutexes and its own
// call-serialising mutex, the "QMXHLL" notification message, and the flags
// the emulator side sets. Filled by AttachProcess, emptied by DetachProcess;
// other code reads it. Not shared between processes.
#pragma once

#include <array>
#include <cstdint>

#include "platform/handle.h"
#include "shared/name_format.h"

namespace trv {

class SessionList;
class ApplicationList;
class QMXAPIList;

constexpr int kSessionCount = 26;

struct ProcessState {
    platform::Handle sessionMapping = platform::kNoHandle;
    platform::Handle applicationMapping = platform::kNoHandle;
    platform::Handle qmxapiMapping = platform::kNoHandle;
    SessionList* sessions = nullptr;          // view of "SESS_LIST_FILE"
    ApplicationList* applications = nullptr;  // view of "APPL_LIST_FILE"
    QMXAPIList* qmxapi = nullptr;             // view of "QMXAPI_LIST_FILE"

    char sessionMutexNames[kSessionCount][kSessionMutexNameSize] = {};
    platform::Handle sessionMutexes[kSessionCount] = {};
    char processMutexName[kProcessMutexNameSize] = {};
    platform::Handle processMutex = platform::kNoHandle;  // "TRV_APPL_BLOCK_%8.8X"
    std::uint32_t notifyMessage = 0;                      // "QMXHLL"
    // "TRVSESSLIST_MTX", "PEAR_LIST_MUTEX", "TRVQMXAPILSTMTX", held open from
    // attach to detach; a table operation waits on these instead of opening
    // its mutex by name. kNoHandle outside attach and detach.
    platform::Handle tableMutexes[3] = {};

    bool registeredSessions = false;    // this process registered emulator sessions
    bool startedQMXAPIThread = false;   // this process runs the session-API thread
    std::uint32_t qmxapiThreadId = 0;
    platform::Handle qmxapiThread = platform::kNoHandle;
};

ProcessState& Process();

// The names of the three table mutexes, in the order of
// ProcessState::tableMutexes.
inline constexpr const char* kTableMutexNames[3] = {"TRVSESSLIST_MTX", "PEAR_LIST_MUTEX",
                                                    "TRVQMXAPILSTMTX"};

// The handle this process holds open on the table mutex named `name`, or
// kNoHandle when it holds none (not attached, or not a table mutex's name).
// Owned by the process state: use it, never close it.
platform::Handle HeldTableMutex(const char* name);

// The tables of this process, or nullptr when it is not attached to them.
inline SessionList* Sessions() { return Process().sessions; }
inline ApplicationList* Applications() { return Process().applications; }
inline QMXAPIList* QMXAPITable() { return Process().qmxapi; }

}  // namespace trv
