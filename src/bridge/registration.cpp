// Registration of the emulator's sessions, their service threads, and the
// version and free-letter queries of HLLBridge.
//
// A session is served by one native thread, EHLLAPIThreadProc, attached to
// the virtual machine as a daemon for its whole life. It is started only
// once the session is in the table with its events, and ended at
// unregistration by a cooperative stop: its wait for the next request fails,
// so no request is served after unregistration, and the references it calls
// Java through are deleted only once it has stopped serving.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "bridge/bridge_call.h"
#include "bridge/dispatch.h"
#include "bridge/emulator_state.h"
#include "bridge/hll_bridge_natives.h"
#include "jni/java_call.h"
#include "jni/java_vm.h"
#include "bridge/version.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/spin.h"
#include "platform/thread.h"
#include "protocol/library_version.h"
#include "shared/exchange_words.h"
#include "shared/named_objects.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "shared/trace.h"
#include "tables/application_list.h"
#include "tables/cleanup.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv {
namespace {

std::atomic<std::uint32_t> g_serviceStopWaitMs{kDefaultServiceStopWaitMs};

// Who cleans up a registration: whoever comes second of the thread leaving
// its loop (kExited) and unregistration giving up on it (kHandedOff).
enum ServicePhase : int { kRunning = 0, kExited = 1, kHandedOff = 2 };

// One registration of one letter in this process.
struct ServiceSession {
    char letter = 0;
    JavaVM* vm = nullptr;
    jobject bridge = nullptr;         // global reference: BridgeObject
    jobject sessionObject = nullptr;  // global reference: SessionObject
    JavaMethodCache methods;          // of the bridge object's class
    platform::Handle thread = platform::kNoHandle;
    std::uint32_t threadId = 0;
    std::atomic<int> phase{kRunning};
    // Written by the service thread around a request: the block it serves,
    // and (before the block) the name of the caller it serves there. One
    // record per registration, so that a thread given up by unregistration
    // and a new registration of the letter never share it.
    std::atomic<ApplicationBlock*> inService{nullptr};
    char inServiceCaller[kBlockNameSize] = {};
};

std::mutex& SlotsLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

// Owned by the slot until unregistration takes it.
ServiceSession* g_slots[kSessionCount] = {};

// The registration whose service thread this is; nullptr on other threads.
thread_local ServiceSession* t_service = nullptr;

// The trace shows an environment pointer by its low 32 bits.
unsigned PointerForTrace(const void* pointer) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(pointer) & 0xFFFFFFFFu);
}

// Deletes SessionObject, then BridgeObject.
void DeleteReferences(JNIEnv* env, ServiceSession& service) {
    if (env == nullptr) {
        TRV_TRACE("cppUnregisterEHLLAPI - no Java environment, references of session %c kept",
                  service.letter);
        return;
    }
    if (service.sessionObject != nullptr) env->DeleteGlobalRef(service.sessionObject);
    if (service.bridge != nullptr) env->DeleteGlobalRef(service.bridge);
    service.sessionObject = nullptr;
    service.bridge = nullptr;
}

// An event opened by name for the scope.
class OpenedEvent {
public:
    explicit OpenedEvent(const char* name) : handle_(GetHLLEvent(name)) {}
    ~OpenedEvent() { FreeHLLEvent(handle_); }
    OpenedEvent(const OpenedEvent&) = delete;
    OpenedEvent& operator=(const OpenedEvent&) = delete;
    platform::Handle get() const { return handle_; }

private:
    platform::Handle handle_;
};

constexpr std::uint32_t kHousekeepingSliceMs = 1000;

// The reply events of the callers a service thread has answered, kept open
// from one request to the next so that a reply costs no open and close.
// Looked up by the event's name; at most one entry per exchange block of the
// application table, the oldest given up when a new caller needs room.
// Holding an event keeps it alive (a named object lives while any handle
// does), so a caller that creates its reply event again under the same name
// gets the event held here. Used by its service thread only.
class ReplyEventCache {
public:
    ReplyEventCache() = default;
    ~ReplyEventCache() {
        for (Entry& entry : entries_) FreeHLLEvent(entry.handle);
    }
    ReplyEventCache(const ReplyEventCache&) = delete;
    ReplyEventCache& operator=(const ReplyEventCache&) = delete;

    // The event named `name`, opened when not held yet; a reference to 0
    // when it cannot be opened. Valid until the next call.
    const platform::EventRef& Get(const char* name) {
        for (Entry& entry : entries_) {
            if (entry.handle != platform::kNoHandle && std::strcmp(entry.name, name) == 0) {
                return entry.event;
            }
        }
        const platform::Handle opened = GetHLLEvent(name);
        if (opened == platform::kNoHandle) return none_;
        Entry& slot = entries_[next_];
        next_ = (next_ + 1) % kEntries;
        FreeHLLEvent(slot.handle);
        std::memcpy(slot.name, name, sizeof slot.name);
        slot.name[sizeof slot.name - 1] = '\0';
        slot.handle = opened;
        slot.event = platform::EventRef(opened);
        return slot.event;
    }

    // Gives up the events of callers that no block of the table bears any
    // more (they detached or were reclaimed): held here, a named event would
    // outlive its caller.
    void DropGone(const ApplicationList& applications) {
        for (Entry& entry : entries_) {
            if (entry.handle == platform::kNoHandle || IsInUse(applications, entry.name)) continue;
            FreeHLLEvent(entry.handle);
            entry.handle = platform::kNoHandle;
            entry.event = platform::EventRef();
            entry.name[0] = '\0';
        }
    }

private:
    // Read without the table's lock: a block changing hands at this moment
    // at worst keeps its event until the next look.
    static bool IsInUse(const ApplicationList& applications, const char* name) {
        for (const ApplicationBlock& block : applications.Blocks) {
            if (block.ProcessId != 0 && std::strncmp(block.ReplyEventName, name, kBlockNameSize) == 0) {
                return true;
            }
        }
        return false;
    }

    static constexpr std::size_t kEntries = kSessionCount;  // as many as the table has blocks
    struct Entry {
        char name[kBlockNameSize + 1] = {};
        platform::Handle handle = platform::kNoHandle;
        platform::EventRef event;  // the handle resolved once, for every reply
    };
    const platform::EventRef none_;
    Entry entries_[kEntries];
    std::size_t next_ = 0;
};

// Whether `block` still belongs to the caller named `name`: in use and
// bearing the name, which no other block bears. Read without the table's
// lock, as a cheap look after a Java call; the block may change hands right
// after it either way, and the reply is signalled by name.
bool StillTheCaller(const ApplicationBlock& block, const char (&name)[kBlockNameSize]) {
    return block.ProcessId != 0 && std::memcmp(block.BlockName, name, kBlockNameSize) == 0;
}

void ServeRequests(ServiceSession& service) {
    const char letter = service.letter;
    SessionList* sessions = Sessions();
    ApplicationList* applications = Applications();
    if (sessions == nullptr || applications == nullptr) return;
    const SessionBlock registered = sessions->GetSession(letter);
    char requestName[kRequestEventNameSize + 1];
    TerminatedCopy<kRequestEventNameSize>(requestName, registered.HLLEventName);
    // The thread's own handle: the session's may be closed by its removal
    // while this thread still waits.
    OpenedEvent request(requestName);
    if (request.get() == platform::kNoHandle) {
        TRV_TRACE("TMan:EHLLAPIThreadProc - no request event for session %c", letter);
        return;
    }
    // Resolved once for every wait of the thread's life.
    const platform::EventRef requests(request.get());
    ReplyEventCache replies;
    // About once a second the thread looks for callers that ended without
    // detaching, so that what they hold is given back promptly, also when
    // nobody else comes to need it: their blocks and session ties here, and
    // in the emulator the intercepts and reservation it keeps per caller
    // (it asks which of its callers ended). Between requests, and after one
    // when the session is never idle that long.
    std::uint32_t lastLook = platform::TickCount();
    auto lookForEndedCallers = [&] {
        lastLook = platform::TickCount();
        applications->ReclaimBlocksOfEndedProcesses();
        replies.DropGone(*applications);
        PlainCall(letter - 'A', "ForgetEndedCallers");
    };
    // Right after a reply the caller is running (or being woken) and may
    // send its next request within microseconds: the thread then polls the
    // session's request word for up to one budget before it sleeps. Idle, it
    // only sleeps.
    ExchangeWord* requestWord = RequestWord(letter - 'A');
    SpinAdvisor advisor;
    const ExchangeWord* answeredWord = nullptr;
    for (;;) {
        bool quiet = false;
        // A thread asked to stop leaves the word to the session's next
        // registration: the request it would take there is not its own.
        if (requestWord != nullptr && !platform::ThreadStopRequested()) {
            requestWord->cpu.store(platform::CurrentCpu(), std::memory_order_relaxed);
            const std::uint64_t budget = answeredWord != nullptr ? advisor.NextBudgetNs() : 0;
            quiet = PollForPost(*requestWord, answeredWord, budget,
                                [] { return !platform::ThreadStopRequested(); }, kExchangeServing, SharedCpu::kMove);
            if (budget > 0) {
                if (quiet) advisor.Paid();
                else advisor.Missed();
            }
        }
        answeredWord = nullptr;
        if (!quiet) {
            std::uint32_t status = AwaitHLLEvent(requests, kHousekeepingSliceMs);
            while (status == platform::kWaitTimeout) {
                lookForEndedCallers();
                status = AwaitHLLEvent(requests, kHousekeepingSliceMs);
            }
            if (status != platform::kWaitObject0) {
                TRV_TRACE("TMan:EHLLAPIThreadProc - wait ended, session %c stops serving", letter);
                return;
            }
            if (requestWord != nullptr) {
                requestWord->cpu.store(platform::CurrentCpu(), std::memory_order_relaxed);
                requestWord->state.store(kExchangeServing);
            }
        }
        // A request that raced with the stop is left to the session's end,
        // which releases its caller.
        if (platform::ThreadStopRequested()) return;
        const SessionBlock session = sessions->GetSession(letter);
        ApplicationBlock* caller = applications->GetApplicationBlock(session.Caller);
        if (caller == nullptr) {
            TRV_TRACE("TMan:EHLLAPIThreadProc - caller [%.28s] gone, request for session %c dropped",
                      session.Caller, letter);
            continue;
        }
        // The caller's request number, when it counts them: a wake-up for a
        // request already answered is dropped.
        ExchangeWord* replyWord = ReplyWord(ApplicationBlockIndex(*caller));
        const std::uint32_t request = replyWord != nullptr ? replyWord->posted.load() : 0;
        if (request != 0 && request == replyWord->served.load()) {
            TRV_TRACE("TMan:EHLLAPIThreadProc - request of [%.28s] answered already, session %c", session.Caller,
                      letter);
            continue;
        }
        if (ClearServiceThreadInterrupt()) {
            TRV_TRACE("TMan:EHLLAPIThreadProc - interrupt left on session %c's thread cleared", letter);
        }
        std::memcpy(service.inServiceCaller, session.Caller, kBlockNameSize);
        service.inService.store(caller);
        ProcessEHLLAPICall(*caller, session);
        service.inService.store(nullptr);
        // An unregistration that gave up waiting for this thread has answered
        // its caller 9; the caller may since wait for the reply of another
        // registration of the session, which this one must not stand for.
        if (platform::ThreadStopRequested()) {
            TRV_TRACE("TMan:EHLLAPIThreadProc - stopped during the request, no reply for session %c", letter);
            return;
        }
        // A caller that ended during a long Java call may have left its block
        // to another caller, whose reply event must not be signalled.
        if (!StillTheCaller(*caller, session.Caller)) {
            TRV_TRACE("TMan:EHLLAPIThreadProc - caller [%.28s] gone, no reply for session %c",
                      session.Caller, letter);
            continue;
        }
        char replyName[kBlockNameSize + 1];
        TerminatedCopy<kBlockNameSize>(replyName, caller->ReplyEventName);
        TRV_TRACE("TMan:EHLLAPIThreadProc - TriggerEvent %s, Session ID %c", replyName, letter);
        if (replyWord != nullptr) {
            replyWord->served.store(request);
            PostExchange(*replyWord, replies.Get(replyName));
            answeredWord = replyWord;
        } else {
            TriggerHLLEvent(replies.Get(replyName));
        }
        if (platform::TickCount() - lastLook >= kHousekeepingSliceMs) lookForEndedCallers();
    }
}

std::uint32_t EHLLAPIThreadProc(void* argument) {
    auto* service = static_cast<ServiceSession*>(argument);
    char threadName[] = "EHLLAPI session ?";
    threadName[sizeof threadName - 2] = service->letter;
    ServiceThreadAttachment java(service->vm, threadName);
    t_service = service;
    try {
        ServeRequests(*service);
    } catch (...) {
        TRV_TRACE("TMan:EHLLAPIThreadProc - session %c ended by a failure", service->letter);
    }
    t_service = nullptr;
    if (service->phase.exchange(kExited) == kHandedOff) {
        DeleteReferences(java.env(), *service);
        platform::CloseObject(service->thread);
        delete service;
    }
    return 0;
}

// Ends the service thread of a registration taken from its slot and deletes
// its references, or leaves both to the thread when it cannot be waited for
// (it is the calling thread itself, or it does not stop in time).
void EndService(JNIEnv* env, ServiceSession* service) {
    platform::RequestThreadStop(service->thread);
    const bool self = service->threadId == platform::CurrentThreadId();
    if (!self && platform::WaitForThread(service->thread, g_serviceStopWaitMs.load()) == platform::kWaitObject0) {
        service->phase.store(kExited);
    } else {
        TRV_TRACE("cppUnregisterEHLLAPI - service thread of session %c still busy, it cleans up itself",
                  service->letter);
        if (service->phase.exchange(kHandedOff) != kExited) return;
    }
    DeleteReferences(env, *service);
    platform::CloseObject(service->thread);
    delete service;
}

// The letter the HLLBridge object answers to "getSessionID", folded to upper
// case; 0 when the call fails or the answer is no session letter.
char RegisteredLetter(JNIEnv* env, jobject bridge, const char* caller) {
    const std::optional<jchar> answer = CallCharMethod(env, bridge, "getSessionID", "()C");
    if (!answer) {
        TRV_TRACE("%s - getSessionID failed", caller);
        return 0;
    }
    const char letter = FoldSessionLetter(static_cast<char>(*answer & 0xFF));
    if (!IsSessionLetter(letter)) {
        TRV_TRACE("%s - getSessionID answered no session letter [%#x]", caller,
                  static_cast<unsigned>(*answer));
        return 0;
    }
    return letter;
}

void RegisterSession(JNIEnv* env, jobject self, jobject argument) {
    SessionList* sessions = Sessions();
    if (sessions == nullptr) {
        TRV_TRACE("cppRegisterEHLLAPI - the session table is not reachable");
        return;
    }
    SessionBlock templ;
    Process().registeredSessions = true;
    templ.Established = 1;

    auto service = std::make_unique<ServiceSession>();
    if (env->GetJavaVM(&service->vm) != JNI_OK) service->vm = nullptr;
    if (EmulatorJavaVM() == nullptr) SetEmulatorJavaVM(service->vm);

    templ.ProcessID = platform::CurrentProcessId();
    templ.SetOwnerStartStamp(platform::CurrentProcessStartStamp());
    TRV_TRACE("cppRegisterEHLLAPI - sb.ProcessID=[%x]", templ.ProcessID);
    const char letter = RegisteredLetter(env, self, "cppRegisterEHLLAPI");
    TRV_TRACE("cppRegisterEHLLAPI - SessID=[%c]", letter != 0 ? letter : '?');
    if (letter == 0) return;
    service->letter = letter;
    const int index = letter - 'A';
    {
        std::lock_guard<std::mutex> guard(SlotsLock());
        if (g_slots[index] != nullptr) {
            TRV_TRACE("cppRegisterEHLLAPI - session %c is registered by this process already", letter);
            return;
        }
    }

    service->bridge = env->NewGlobalRef(self);
    if (ClearJavaException(env, "NewGlobalRef") || service->bridge == nullptr) return;
    if (argument != nullptr) {
        service->sessionObject = env->NewGlobalRef(argument);
        if (ClearJavaException(env, "NewGlobalRef")) {
            DeleteReferences(env, *service);
            return;
        }
    }

    // An emulator that was killed left its sessions registered; the letter
    // is taken over.
    ReclaimSessionsOfEndedProcesses();
    // Whatever a killed owner's service thread left on the request word is
    // set aside: until this thread polls, every request signals the event.
    ExchangeWord* requestWord = RequestWord(index);
    if (requestWord != nullptr && sessions->GetSession(letter).Established == 0) {
        requestWord->state.store(kExchangeSleeping);
    }
    if (!sessions->AddNamedSession(templ, letter)) {
        DeleteReferences(env, *service);
        return;
    }
    TRV_TRACE("cppRegisterEHLLAPI - jHLLAPILoaded for this session");
    platform::StartedThread thread;
    {
        // The slot is filled before the thread can serve a request, and the
        // thread's handle and id before anyone else can take the slot.
        std::lock_guard<std::mutex> guard(SlotsLock());
        thread = platform::StartThread(&EHLLAPIThreadProc, service.get());
        if (thread.handle != platform::kNoHandle) {
            service->thread = thread.handle;
            service->threadId = thread.id;
            g_slots[index] = service.release();
        }
    }
    if (thread.handle == platform::kNoHandle) {
        TRV_TRACE("cppRegisterEHLLAPI - no service thread for session %c, registration undone", letter);
        AlertWaitingBlocks(templ.ProcessID, sessions->GetSession(letter));
        DeleteReferences(env, *service);
        return;
    }
    sessions->SetNativeThreadHandle(letter, thread.handle);
    Control().SessionsAvailable.store(1);
}

void UnregisterSession(JNIEnv* env, jobject self) {
    const char letter = RegisteredLetter(env, self, "cppUnregisterEHLLAPI");
    TRV_TRACE("cppUnregisterEHLLAPI - SessID=[%c]", letter != 0 ? letter : '?');
    TRV_TRACE("cppUnregisterEHLLAPI enter - javEnv=[%x]", PointerForTrace(env));
    SessionList* sessions = Sessions();
    if (letter == 0 || sessions == nullptr) return;

    ServiceSession* service = nullptr;
    {
        std::lock_guard<std::mutex> guard(SlotsLock());
        service = g_slots[letter - 'A'];
        g_slots[letter - 'A'] = nullptr;
    }
    // Only a session registered here has a thread of this process; the
    // handle stored in the shared block is never used.
    if (service != nullptr) EndService(env, service);

    const SessionBlock session = sessions->GetSession(letter);
    TRV_TRACE("cppUnregisterEHLLAPI - SessionBlock found, session [%c]", session.ShortName);
    AlertWaitingBlocks(platform::CurrentProcessId(), session);
}

}  // namespace

jobject BridgeObject(std::int32_t index) {
    if (index < 0 || index >= kSessionCount) return nullptr;
    std::lock_guard<std::mutex> guard(SlotsLock());
    return g_slots[index] != nullptr ? g_slots[index]->bridge : nullptr;
}

BridgeCallTarget BridgeTarget(std::int32_t index) {
    if (index < 0 || index >= kSessionCount) return {};
    std::lock_guard<std::mutex> guard(SlotsLock());
    ServiceSession* service = g_slots[index];
    if (service == nullptr || service->bridge == nullptr) return {};
    return BridgeCallTarget{service->bridge, &service->methods};
}

jobject SessionObject(std::int32_t index) {
    if (index < 0 || index >= kSessionCount) return nullptr;
    std::lock_guard<std::mutex> guard(SlotsLock());
    return g_slots[index] != nullptr ? g_slots[index]->sessionObject : nullptr;
}

namespace {

// The block `service` serves, nullptr between requests or (with
// `*callerEnded` set) when the caller it serves has ended since.
ApplicationBlock* ServedBlock(ServiceSession& service, bool* callerEnded) {
    ApplicationBlock* block = service.inService.load();
    if (block == nullptr || StillTheCaller(*block, service.inServiceCaller)) return block;
    if (callerEnded != nullptr) *callerEnded = true;
    return nullptr;
}

}  // namespace

ApplicationBlock* BlockInService(std::int32_t index, bool* callerEnded) {
    if (callerEnded != nullptr) *callerEnded = false;
    if (index < 0 || index >= kSessionCount) return nullptr;
    // On a service thread of the letter, its own registration's record. A
    // thread that unregistration gave up on has answered nothing since its
    // caller was released with 9: whatever its Java call still writes has
    // nowhere to go, least of all the block a new registration serves.
    if (t_service != nullptr && t_service->letter == 'A' + index) {
        if (platform::ThreadStopRequested()) {
            if (callerEnded != nullptr) *callerEnded = true;
            return nullptr;
        }
        return ServedBlock(*t_service, callerEnded);
    }
    // On any other thread, the record of the letter's current registration.
    std::lock_guard<std::mutex> guard(SlotsLock());
    ServiceSession* service = g_slots[index];
    return service != nullptr ? ServedBlock(*service, callerEnded) : nullptr;
}

void SetServiceStopWait(std::uint32_t milliseconds) { g_serviceStopWaitMs.store(milliseconds); }

bool HasServiceThread(std::int32_t index) { return ServiceThreadId(index) != 0; }

std::uint32_t ServiceThreadId(std::int32_t index) {
    if (index < 0 || index >= kSessionCount) return 0;
    std::lock_guard<std::mutex> guard(SlotsLock());
    return g_slots[index] != nullptr ? g_slots[index]->threadId : 0;
}

// ---- version ---------------------------------------------------------------

namespace {
std::atomic<bool> g_progressSuppressed{true};
}  // namespace

std::string FormatVersion(const char* buildDate) {
    char date[kBuildDateSize];
    FormatBuildDate(buildDate, date);
    return std::string(kLibraryVersion) + "." + kLibraryLevel + " " + std::string(date, sizeof date);
}

std::string LibraryVersion() { return FormatVersion(BuildDate()); }

bool ProgressOptionSuppressed() { return g_progressSuppressed.load(); }
void ClearProgressSuppression() { g_progressSuppressed.store(false); }

}  // namespace trv

// ---- natives -----------------------------------------------------------------

using namespace trv;

extern "C" {

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppRegisterEHLLAPI(
    JNIEnv* env, jobject self, jobject session) {
    TRV_TRACE("cppRegisterEHLLAPI enter - javEnv=[%x]", PointerForTrace(env));
    try {
        if (env != nullptr && self != nullptr) RegisterSession(env, self, session);
    } catch (...) {
        TRV_TRACE("cppRegisterEHLLAPI - failed unexpectedly");
    }
    TRV_TRACE("cppRegisterEHLLAPI return");
}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppUnregisterEHLLAPI(
    JNIEnv* env, jobject self) {
    try {
        if (env != nullptr && self != nullptr) UnregisterSession(env, self);
    } catch (...) {
        TRV_TRACE("cppUnregisterEHLLAPI - failed unexpectedly");
    }
    TRV_TRACE("cppUnregisterEHLLAPI return");
}

JNIEXPORT jchar JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetAvailableSessionID(
    JNIEnv*, jobject, jchar wanted) {
    try {
        SessionList* sessions = Sessions();
        if (sessions == nullptr) return 0;
        // A letter held by an emulator that was killed is free.
        ReclaimSessionsOfEndedProcesses();
        char letter = static_cast<char>(wanted & 0xFF);
        if (sessions->IsSessionAvailable(letter)) return static_cast<jchar>(static_cast<unsigned char>(letter));
        return static_cast<jchar>(static_cast<unsigned char>(sessions->FindAvailableName()));
    } catch (...) {
        return 0;
    }
}

JNIEXPORT jint JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetAvailableSessionIDMap(
    JNIEnv*, jobject) {
    try {
        SessionList* sessions = Sessions();
        if (sessions == nullptr) return 0;
        ReclaimSessionsOfEndedProcesses();
        std::uint32_t map = 0;
        for (int i = 0; i < kSessionCount; ++i) {
            char letter = static_cast<char>('A' + i);
            if (sessions->IsSessionAvailable(letter)) map |= 1u << i;
        }
        return static_cast<jint>(map);
    } catch (...) {
        return 0;
    }
}

JNIEXPORT jstring JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetVersion(JNIEnv* env,
                                                                                   jobject) {
    try {
        const std::string version = LibraryVersion();
        ClearProgressSuppression();
        if (env == nullptr) return nullptr;
        jstring text = env->NewStringUTF(version.c_str());
        if (ClearJavaException(env, "cppGetVersion")) return nullptr;
        return text;
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
