// Process attach and detach of the shared state: the control record's load
// count, building or opening the three shared tables and the per-process
// mutexes.
//
// Attaching and detaching processes are serialised by the named mutex
// "TRVHA_ATTACH_MTX", held across the load-count change and the building or
// destroying of the tables. It replaces waiting for ListsReady: a process
// that finds the tables not ready while holding it knows that nobody is
// building them (a builder that died leaves the mutex abandoned and
// ListsReady 0) and builds them itself, so a killed process never leaves the
// others waiting for ever.
#include "library/process_lifecycle.h"

#include <new>

#include "platform/atom.h"
#include "platform/message_queue.h"
#include "platform/mutex.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "shared/control_segment.h"
#include "shared/exchange_words.h"
#include "shared/named_objects.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "shared/trace.h"
#include "tables/application_list.h"
#include "tables/cleanup.h"
#include "tables/qmxapi_list.h"
#include "tables/session_list.h"

namespace trv {
namespace {

constexpr const char* kAttachMutexName = "TRVHA_ATTACH_MTX";
constexpr const char* kSessionListName = "SESS_LIST_FILE";
constexpr const char* kApplicationListName = "APPL_LIST_FILE";
constexpr const char* kQMXAPIListName = "QMXAPI_LIST_FILE";

static_assert(sizeof(SessionList) == 70320);
static_assert(sizeof(ApplicationList) == 3099624);
static_assert(sizeof(QMXAPIList) == 36200);

// Held for the life of the process: keeps the attach mutex and the three
// table mutexes in existence while any attached process lives, whichever
// process created them.
platform::Handle g_attachMutex = platform::kNoHandle;
platform::Handle g_tableMutexes[3] = {};

template <typename Table>
Table* MapTable(platform::Handle& mapping, const char* name) {
    void* view = OpenAndMapHLLMapping(mapping, name, sizeof(Table));
    return static_cast<Table*>(view);
}

template <typename Table>
void UnmapTable(Table*& table, platform::Handle& mapping) {
    void* view = table;
    UnmapAndCloseHLLMapping(view, mapping, sizeof(Table));
    table = nullptr;
}

// Creates the three mappings and constructs the tables in them (first load).
void BuildTables(ProcessState& process) {
    TRV_TRACE("AttachProcess - FIRST LOAD...  Initialize Session and Application Lists");
    process.sessionMapping = CreateHLLMapping(kSessionListName, sizeof(SessionList));
    process.applicationMapping = CreateHLLMapping(kApplicationListName, sizeof(ApplicationList));
    process.qmxapiMapping = CreateHLLMapping(kQMXAPIListName, sizeof(QMXAPIList));
    void* sessions = MapTable<SessionList>(process.sessionMapping, kSessionListName);
    void* applications = MapTable<ApplicationList>(process.applicationMapping, kApplicationListName);
    void* qmxapi = MapTable<QMXAPIList>(process.qmxapiMapping, kQMXAPIListName);
    if (sessions != nullptr) process.sessions = new (sessions) SessionList();
    if (applications != nullptr) process.applications = new (applications) ApplicationList();
    if (qmxapi != nullptr) process.qmxapi = new (qmxapi) QMXAPIList();
    Control().ControlMessage.store(platform::RegisterMessageName("PROCESS_QMXAPICALL"));
    Control().ListsReady.store(1);
}

void OpenTables(ProcessState& process) {
    process.sessions = MapTable<SessionList>(process.sessionMapping, kSessionListName);
    process.applications = MapTable<ApplicationList>(process.applicationMapping, kApplicationListName);
    process.qmxapi = MapTable<QMXAPIList>(process.qmxapiMapping, kQMXAPIListName);
}

void DestroyTables(ProcessState& process) {
    if (process.qmxapi != nullptr) process.qmxapi->~QMXAPIList();
    if (process.applications != nullptr) process.applications->~ApplicationList();
    if (process.sessions != nullptr) process.sessions->~SessionList();
    Control().ListsReady.store(0);
}

void OpenProcessMutexes(ProcessState& process) {
    for (int i = 0; i < kSessionCount; ++i) {
        FormatBounded(process.sessionMutexNames[i], kSessionMutexNameSize, "SESS_MUTEX_%c", 'A' + i);
        process.sessionMutexes[i] = CreateHLLMutex(process.sessionMutexNames[i]);
        TRV_TRACE("Adding HANDLE %s in position %d", process.sessionMutexNames[i], i);
    }
    FormatBounded(process.processMutexName, kProcessMutexNameSize, "TRV_APPL_BLOCK_%8.8X",
                  platform::CurrentProcessId());
    TRV_TRACE("Ehllapi Application  - name=[%s]", process.processMutexName);
    process.processMutex = CreateHLLMutex(process.processMutexName);
}

void CloseProcessMutexes(ProcessState& process) {
    for (platform::Handle& mutex : process.sessionMutexes) {
        CloseHLLMutex(mutex);
        mutex = platform::kNoHandle;
    }
    CloseHLLMutex(process.processMutex);
    process.processMutex = platform::kNoHandle;
}

// How long the detach waits for the session-API service thread. The detach
// runs as the process ends (perhaps from exit() on another thread, with that
// thread inside a Java call), so it never waits without a limit: a thread
// that has not ended by then ends with the process.
constexpr std::uint32_t kDetachThreadStopLimitMs = 5000;

// Stops the session-API service thread this process started and releases
// the callers that still wait on it.
void StopQMXAPIThread(ProcessState& process) {
    platform::PostToThread(Control().QMXAPIThreadId.load(), platform::kQuitMessage, 0, 0);
    if (process.qmxapiThread != platform::kNoHandle) {
        if (platform::WaitForThread(process.qmxapiThread, kDetachThreadStopLimitMs) == platform::kWaitObject0) {
            platform::CloseObject(process.qmxapiThread);
        } else {
            TRV_TRACE("DetachProcess - session-API service thread did not end, left to the process end");
        }
    }
    AlertWaitingQMXAPIBlocks();
    Control().QMXAPIThreadId.store(0);
    process.startedQMXAPIThread = false;
    process.qmxapiThreadId = 0;
    process.qmxapiThread = platform::kNoHandle;
}

}  // namespace

void AttachProcess() {
    TRV_TRACE("AttachProcess enter");
    if (!ControlSegmentMapped()) {
        std::uint32_t error = ControlSegmentError();
        TRV_TRACE("Failed to connect to shared memory: %u %x", error, error);
        return;
    }
    ProcessState& process = Process();
    std::uint32_t count = 0;
    {
        g_attachMutex = CreateHLLMutex(kAttachMutexName);
        HeldMutexHandle attaching(g_attachMutex);
        for (int i = 0; i < 3; ++i) {
            g_tableMutexes[i] = CreateHLLMutex(kTableMutexNames[i]);
            process.tableMutexes[i] = g_tableMutexes[i];
        }
        std::uint32_t previous = Control().LoadCount.fetch_add(1);
        count = previous + 1;
        if (previous == 0 || Control().ListsReady.load() == 0) {
            BuildTables(process);
        } else {
            OpenTables(process);
        }
    }
    OpenProcessMutexes(process);
    MapExchangeWords();
    process.notifyMessage = platform::RegisterMessageName("QMXHLL");
    TRV_TRACE("AttachProcess return - LoadCount is now [%d]", static_cast<int>(count));
}

void DetachProcess() {
    if (!ControlSegmentMapped()) return;
    TRV_TRACE("DetachProcess enter");
    ProcessState& process = Process();
    const std::uint32_t self = platform::CurrentProcessId();
    if (process.registeredSessions && process.sessions != nullptr) {
        TRV_TRACE("DetachProcess - call AlertWaitingBlocks for this pid");
        int pass = 0;
        for (;;) {
            SessionBlock owned = process.sessions->GetSession(self);
            ++pass;
            TRV_TRACE("Sessions loop [%d]", pass);
            if (owned.ProcessID == 0) break;
            AlertWaitingBlocks(self, owned);
        }
        process.registeredSessions = false;
    }
    if (process.startedQMXAPIThread) StopQMXAPIThread(process);
    {
        HeldMutexHandle detaching(g_attachMutex);
        std::uint32_t count = Control().LoadCount.fetch_sub(1) - 1;
        TRV_TRACE("DetachProcess - LoadCount down to [%d]", static_cast<int>(count));
        if (count == 0) DestroyTables(process);
        UnmapTable(process.qmxapi, process.qmxapiMapping);
        UnmapTable(process.applications, process.applicationMapping);
        UnmapTable(process.sessions, process.sessionMapping);
    }
    UnmapExchangeWords();
    CloseProcessMutexes(process);
    for (platform::Handle& mutex : process.tableMutexes) mutex = platform::kNoHandle;
    for (platform::Handle& mutex : g_tableMutexes) {
        CloseHLLMutex(mutex);
        mutex = platform::kNoHandle;
    }
    CloseHLLMutex(g_attachMutex);
    g_attachMutex = platform::kNoHandle;
    TRV_TRACE("DetachProcess return");
}

}  // namespace trv
