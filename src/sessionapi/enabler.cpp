// The emulator side of the session-management API: registration of the
// QMXAPIEnabler, its service thread and the request handlers.
//
// The service thread is attached to the virtual machine as a daemon for its
// whole life, so its Java calls make local references that nothing frees on
// their own: every handler's call context deletes what it made. A caller's
// record is read and answered under the table lock only for the moment of a
// copy; the Java call runs on a private copy, so a caller that vanishes (its
// record freed or taken by another thread meanwhile) never has a stranger's
// record overwritten.
#include "sessionapi/enabler.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "jni/java_call.h"
#include "jni/java_vm.h"
#include "platform/atom.h"
#include "platform/emulator_window.h"
#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "shared/name_format.h"
#include "shared/named_objects.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "shared/trace.h"
#include "tables/qmxapi_list.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv {
namespace {

constexpr std::uint32_t kThreadStartLimitMs = 10000;
constexpr std::size_t kReplyDataSize = 1024;
constexpr std::size_t kAtomNameBuffer = 33;  // the name is read with a size of 32

// The registration, in this process only.
struct EnablerState {
    std::mutex lock;  // guards every field
    bool registered = false;
    jobject enabler = nullptr;   // global reference
    jobject argument = nullptr;  // global reference (may be null)
    std::uint32_t ownerProcessId = 0;
    platform::Handle threadReady = platform::kNoHandle;  // set once the thread serves
    std::uint8_t replyData[kReplyDataSize] = {};
};

EnablerState& State() {
    static EnablerState state;
    return state;
}

void ClearReplyData() {
    std::lock_guard<std::mutex> guard(State().lock);
    std::memset(State().replyData, 0, kReplyDataSize);
}

std::vector<std::uint8_t> CopyReplyData() {
    std::lock_guard<std::mutex> guard(State().lock);
    return {State().replyData, State().replyData + kReplyDataSize};
}

// The Java calls of one handler on the registered enabler object, and the
// registration's argument that every enabler method takes first.
class EnablerCall : public JavaObjectCall {
public:
    EnablerCall() {
        jobject enabler = nullptr;
        {
            std::lock_guard<std::mutex> guard(State().lock);
            enabler = State().enabler;
            argument_ = State().argument;
        }
        SetTarget(enabler, nullptr);
    }

    jobject argument() const { return argument_; }

private:
    jobject argument_ = nullptr;
};

// The arguments (registration argument, short name) of the yes/no methods.
std::optional<bool> CallWithShortName(EnablerCall& call, const char* name, const char* signature,
                                      const QMXAPIBlock& record) {
    if (!call.ready()) return std::nullopt;
    jvalue args[2];
    args[0].l = call.argument();
    args[1].l = call.Latin1String(&record.ShortName, 1);
    if (args[1].l == nullptr) return std::nullopt;
    return call.CallBoolean(name, signature, args);
}

constexpr const char* kShortNameBooleanSignature = "(Ljava/lang/Object;Ljava/lang/String;)Z";

std::uint32_t YesNo(const std::optional<bool>& answer) {
    if (!answer) return kQMXSystemError;
    return *answer ? 1u : 0u;
}

std::uint32_t LowBits(jlong value) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu);
}

// The show command that a start's window mode asks for.
int ShowCommandOfWindowMode(std::uint32_t mode) { return mode <= 3 ? static_cast<int>(mode) : 1; }

// After a successful start: shows the new session's window as asked.
void ShowStartedSessionWindow(const QMXAPIBlock& record) {
    char profile[kQMXAPITextSize + 1];
    TerminatedCopy<kQMXAPITextSize>(profile, record.Text);
    char title[kQMXAPITextSize + 1] = {};
    FormatBounded(title, sizeof title, "%s - %s", profile, &record.ShortName);
    if (platform::WindowHandle window = platform::FindEmulatorWindow(title)) {
        platform::SetWindowShowState(window, ShowCommandOfWindowMode(record.WindowMode));
    }
}

bool IsEstablished(char letter) {
    SessionList* sessions = Sessions();
    return sessions != nullptr && sessions->IsSessionEstablished(letter) != 0;
}

void StartSession(QMXAPIBlock& record) {
    TRV_TRACE("StartSession enter");
    std::uint32_t result = kQMXSystemError;
    {
        EnablerCall call;
        if (call.ready()) {
            jvalue args[4];
            args[0].l = call.argument();
            args[1].l = call.Latin1String(record.Text, kQMXAPITextSize);
            args[2].l = call.Latin1String(&record.ShortName, 1);
            args[3].i = static_cast<jint>(record.WindowMode);
            if (args[1].l != nullptr && args[2].l != nullptr) {
                std::optional<jlong> answer = call.CallLong(
                    "startSession", "(Ljava/lang/Object;Ljava/lang/String;Ljava/lang/String;I)J", args);
                if (answer) result = LowBits(*answer);
            }
        }
    }
    record.Result = result;
    if (result == 0) ShowStartedSessionWindow(record);
    TRV_TRACE("StartSession returns %d", static_cast<int>(result));
}

// Stop, connect and disconnect: one yes/no method each.
void YesNoRequest(QMXAPIBlock& record, const char* handler, const char* method) {
    TRV_TRACE("%s enter", handler);
    EnablerCall call;
    record.Result = YesNo(CallWithShortName(call, method, kShortNameBooleanSignature, record));
    TRV_TRACE("%s returns %d", handler, static_cast<int>(record.Result));
}

void QuerySessionList(QMXAPIBlock& record) {
    TRV_TRACE("QuerySessionList enter");
    ClearReplyData();
    std::optional<jlong> answer;
    {
        EnablerCall call;
        if (call.ready()) {
            jvalue args[1];
            args[0].l = call.argument();
            answer = call.CallLong("querySessionList", "(Ljava/lang/Object;)J", args);
        }
    }
    std::memset(record.SessionList, 0, sizeof record.SessionList);
    if (!answer) {
        record.Result = kQMXSystemError;
    } else {
        record.Result = LowBits(*answer);
        // The reply area holds 128 entries, whatever number Java reports.
        const std::size_t entries =
            std::min<std::size_t>(record.Result, kQMXAPISessionListEntries);
        std::vector<std::uint8_t> data = CopyReplyData();
        for (std::size_t i = 0; i < entries; ++i) {
            QMXAPISessionEntry entry;
            std::memcpy(&entry, data.data() + i * sizeof entry, sizeof entry);
            if (IsEstablished(entry.ShortName)) entry.Status |= kQMXSessionEstablishedBit;
            std::memcpy(record.SessionList + i * sizeof entry, &entry, sizeof entry);
        }
    }
    TRV_TRACE("QuerySessionList returns %d", static_cast<int>(record.Result));
}

void QueryEmulatorStatus(QMXAPIBlock& record) {
    TRV_TRACE("QueryEmulatorStatus enter");
    std::uint32_t result = kQMXSystemError;
    {
        EnablerCall call;
        if (call.ready()) {
            jvalue args[2];
            args[0].l = call.argument();
            args[1].l = call.Latin1String(&record.ShortName, 1);
            if (args[1].l != nullptr) {
                std::optional<jlong> answer = call.CallLong(
                    "queryEmulatorStatus", "(Ljava/lang/Object;Ljava/lang/String;)J", args);
                if (answer) {
                    result = LowBits(*answer);
                    if (IsEstablished(record.ShortName)) result |= kQMXSessionEstablishedBit;
                }
            }
        }
    }
    record.Result = result;
    TRV_TRACE("QueryEmulatorStatus returns %d", static_cast<int>(result));
}

void QueryWorkstationProfile(QMXAPIBlock& record) {
    TRV_TRACE("QueryWorkstationProfile enter");
    ClearReplyData();
    {
        EnablerCall call;
        record.Result =
            YesNo(CallWithShortName(call, "queryProfile", kShortNameBooleanSignature, record));
    }
    if (record.Result == 1) {
        std::vector<std::uint8_t> data = CopyReplyData();
        char text[kQMXAPITextSize] = {};
        std::memcpy(text, data.data(), kQMXAPITextSize - 1);  // ends in its NUL
        CopyFixedText(record.Text, text);
    }
    TRV_TRACE("QueryWorkstationProfile returns %d", static_cast<int>(record.Result));
}

void AnswerZero(QMXAPIBlock& record, const char* handler) {
    TRV_TRACE("%s enter", handler);
    record.Result = 0;
    TRV_TRACE("%s returns %d", handler, 0);
}

void CopyRecord(QMXAPIBlock& to, const QMXAPIBlock& from) {
    std::memcpy(static_cast<void*>(&to), &from, sizeof to);
}

bool SameOwner(const QMXAPIBlock& a, const QMXAPIBlock& b) {
    return a.ProcessId == b.ProcessId && a.ThreadId == b.ThreadId &&
           std::strncmp(a.BlockName, b.BlockName, kQMXAPINameSize) == 0;
}

// One PROCESS_QMXAPICALL message: the record named by the atom is served
// and its owner woken. Unknown names and vanished callers are dropped.
void ServeMessage(std::uintptr_t atom) {
    QMXAPIList* table = QMXAPITable();
    if (table == nullptr) return;
    char name[kAtomNameBuffer] = {};
    platform::GetGlobalAtomName(static_cast<std::uint16_t>(atom), name, kAtomNameBuffer - 1);
    QMXAPIBlock* record = table->GetQMXAPIBlock(name);
    if (record == nullptr) return;

    QMXAPIBlock request;
    {
        TableLock lock(kQMXAPIListMutexName);
        if (!lock.held()) {
            TRV_TRACE("TMan:QMXAPIThreadProc - table not locked, request %s dropped", name);
            return;
        }
        CopyRecord(request, *record);
    }
    if (request.ProcessId == 0 || !platform::IsProcessAlive(request.ProcessId)) {
        TRV_TRACE("TMan:QMXAPIThreadProc - caller of %s is gone, request dropped", name);
        return;
    }
    QMXAPIBlock reply;
    CopyRecord(reply, request);
    ProcessQMXAPICall(reply);
    {
        TableLock lock(kQMXAPIListMutexName);
        if (!lock.held()) {
            TRV_TRACE("TMan:QMXAPIThreadProc - table not locked, reply to %s dropped", name);
            return;
        }
        if (!SameOwner(*record, request)) {
            TRV_TRACE("TMan:QMXAPIThreadProc - record %s changed owner, reply dropped", name);
            return;
        }
        record->Result = reply.Result;
        std::memcpy(record->Text, reply.Text, sizeof record->Text);
        std::memcpy(record->SessionList, reply.SessionList, sizeof record->SessionList);
    }
    char eventName[kQMXAPINameSize + 1];
    TerminatedCopy<kQMXAPINameSize>(eventName, request.EventName);
    Handle event = GetHLLEvent(eventName);
    TRV_TRACE("TMan:QMXAPIThreadProc - TriggerEvent %s", eventName);
    TriggerHLLEvent(event);
    FreeHLLEvent(event);
}

// Stops the service thread this process started and releases its waiting
// callers. Answers false when the thread did not end within the limit; it
// then keeps running with the registration's references.
bool StopServiceThread() {
    ProcessState& process = Process();
    if (!process.startedQMXAPIThread) return true;
    platform::PostToThread(process.qmxapiThreadId, platform::kQuitMessage, 0, 0);
    bool ended = true;
    if (process.qmxapiThread != platform::kNoHandle) {
        ended = platform::WaitForThread(process.qmxapiThread, kQMXAPIThreadStopLimitMs) ==
                platform::kWaitObject0;
    }
    AlertWaitingQMXAPIBlocks();
    std::uint32_t expected = process.qmxapiThreadId;
    Control().QMXAPIThreadId.compare_exchange_strong(expected, 0);
    if (!ended) {
        TRV_TRACE("cppUnregisterQMXAPI - service thread did not end, left running");
        return false;
    }
    platform::CloseObject(process.qmxapiThread);
    process.startedQMXAPIThread = false;
    process.qmxapiThreadId = 0;
    process.qmxapiThread = platform::kNoHandle;
    return true;
}

}  // namespace

void ProcessQMXAPICall(QMXAPIBlock& record) {
    TRV_TRACE("ProcessQMXAPICall enter");
    record.ShortNameEnd = '\0';
    switch (record.Request) {
        case kQMXStartSession:
            StartSession(record);
            break;
        case kQMXStopSession:
            YesNoRequest(record, "StopSession", "stopSession");
            break;
        case kQMXConnectSession:
            YesNoRequest(record, "ConnectSession", "connectSession");
            break;
        case kQMXDisconnectSession:
            YesNoRequest(record, "DisconnectSession", "disconnectSession");
            break;
        case kQMXQuerySessionList:
            QuerySessionList(record);
            break;
        case kQMXQueryEmulatorStatus:
            QueryEmulatorStatus(record);
            break;
        case kQMXQueryWorkstationProfile:
            QueryWorkstationProfile(record);
            break;
        case kQMXQueryConnectionInfo:
            AnswerZero(record, "QueryConnectionInfo");
            break;
        case kQMXSetLinkTimeout:
            AnswerZero(record, "SetLinkTimeout");
            break;
        default:
            break;
    }
    TRV_TRACE("ProcessQMXAPICall return");
}

std::uint32_t QMXAPIThreadProc(void*) {
    try {
        ServiceThreadAttachment java(EmulatorJavaVM(), "QMXAPI service");
        // Callers post as soon as the id is published, so the queue must
        // exist first.
        platform::EnsureMessageQueue();
        const std::uint32_t self = platform::CurrentThreadId();
        Control().QMXAPIThreadId.store(self);
        {
            std::lock_guard<std::mutex> guard(State().lock);
            platform::SignalEvent(State().threadReady);
        }
        const std::uint32_t requestMessage = Control().ControlMessage.load();
        for (;;) {
            platform::ThreadMessage message;
            const platform::MessageWait got = platform::GetThreadMessage(message, platform::kInfinite);
            if (got == platform::MessageWait::quit || got == platform::MessageWait::failed) break;
            if (got != platform::MessageWait::message) continue;
            if (message.window != 0 || message.message != requestMessage) continue;
            if (ClearServiceThreadInterrupt()) {
                TRV_TRACE("TMan:QMXAPIThreadProc - interrupt left on the thread cleared");
            }
            try {
                ServeMessage(message.wParam);
            } catch (...) {
                TRV_TRACE("TMan:QMXAPIThreadProc - request failed unexpectedly");
            }
        }
        std::uint32_t expected = self;
        Control().QMXAPIThreadId.compare_exchange_strong(expected, 0);
    } catch (...) {
        TRV_TRACE("TMan:QMXAPIThreadProc - ended by an unexpected failure");
    }
    return 0;
}

}  // namespace trv

using namespace trv;

extern "C" {

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppRegisterQMXAPI(
    JNIEnv* env, jobject enabler, jobject argument) {
    try {
        TRV_TRACE("cppRegisterQMXAPI enter - javEnv=[%x]",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(env)));
        if (env == nullptr || enabler == nullptr) return;
        EnablerState& state = State();
        ProcessState& process = Process();
        {
            std::lock_guard<std::mutex> guard(state.lock);
            if (process.startedQMXAPIThread) {
                TRV_TRACE("cppRegisterQMXAPI - already registered, ignored");
                return;
            }
            if (state.registered) {
                // The process detach stopped the thread of a registration that
                // was never withdrawn; its references go with it.
                if (state.argument != nullptr) env->DeleteGlobalRef(state.argument);
                if (state.enabler != nullptr) env->DeleteGlobalRef(state.enabler);
                platform::CloseObject(state.threadReady);
            }
            JavaVM* vm = nullptr;
            if (env->GetJavaVM(&vm) == JNI_OK && vm != nullptr) SetEmulatorJavaVM(vm);
            ClearJavaException(env, "GetJavaVM");
            state.argument = argument != nullptr ? env->NewGlobalRef(argument) : nullptr;
            ClearJavaException(env, "NewGlobalRef");
            state.enabler = env->NewGlobalRef(enabler);
            ClearJavaException(env, "NewGlobalRef");
            state.ownerProcessId = platform::CurrentProcessId();
            state.threadReady = platform::CreateNamedEvent(true, nullptr);
            state.registered = true;
        }
        platform::StartedThread thread = platform::StartThread(&QMXAPIThreadProc, nullptr);
        if (thread.handle == platform::kNoHandle) {
            TRV_TRACE("cppRegisterQMXAPI - service thread not started");
        } else {
            process.qmxapiThread = thread.handle;
            process.qmxapiThreadId = thread.id;
            process.startedQMXAPIThread = true;
            // Registration returns once callers can reach the thread.
            if (platform::WaitForEvent(state.threadReady, kThreadStartLimitMs) != platform::kWaitObject0) {
                TRV_TRACE("cppRegisterQMXAPI - service thread not serving yet");
            }
        }
        TRV_TRACE("cppRegisterQMXAPI return");
    } catch (...) {
        TRV_TRACE("cppRegisterQMXAPI - unexpected failure");
    }
}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppUnregisterQMXAPI(
    JNIEnv* env, jobject, jobject) {
    try {
        TRV_TRACE("cppUnregisterQMXAPI enter - javEnv=[%x]",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(env)));
        // The thread goes first: it may be using the references right now.
        if (StopServiceThread()) {
            EnablerState& state = State();
            std::lock_guard<std::mutex> guard(state.lock);
            if (env != nullptr) {
                if (state.argument != nullptr) env->DeleteGlobalRef(state.argument);
                if (state.enabler != nullptr) env->DeleteGlobalRef(state.enabler);
            }
            platform::CloseObject(state.threadReady);
            state.threadReady = platform::kNoHandle;
            state.argument = nullptr;
            state.enabler = nullptr;
            state.ownerProcessId = 0;
            state.registered = false;
            std::memset(state.replyData, 0, kReplyDataSize);
        }
        TRV_TRACE("cppUnregisterQMXAPI return");
    } catch (...) {
        TRV_TRACE("cppUnregisterQMXAPI - unexpected failure");
    }
}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppSetQMXAPIData(
    JNIEnv* env, jobject, jbyteArray data, jint length) {
    try {
        if (env == nullptr) return;
        HeldByteArray bytes(env, data);
        std::size_t count = length > 0 ? static_cast<std::size_t>(length) : 0;
        count = std::min({count, bytes.size(), kReplyDataSize});
        std::lock_guard<std::mutex> guard(State().lock);
        std::memset(State().replyData, 0, kReplyDataSize);
        if (bytes.data() != nullptr && count != 0) std::memcpy(State().replyData, bytes.data(), count);
    } catch (...) {
        TRV_TRACE("cppSetQMXAPIData - unexpected failure");
    }
}

}  // extern "C"
