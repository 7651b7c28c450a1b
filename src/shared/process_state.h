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

    bool registeredSessions = false;    // this process registered emulator sessions
    bool startedQMXAPIThread = false;   // this process runs the session-API thread
    std::uint32_t qmxapiThreadId = 0;
    platform::Handle qmxapiThread = platform::kNoHandle;
};

ProcessState& Process();

// The tables of this process, or nullptr when it is not attached to them.
inline SessionList* Sessions() { return Process().sessions; }
inline ApplicationList* Applications() { return Process().applications; }
inline QMXAPIList* QMXAPITable() { return Process().qmxapi; }

}  // namespace trv
