// The asynchronous call of the WinHLLAPI entries. The notification starts
// run at once in their message form with the caller's window; Wait before a
// 1.1 start-up, Send File and Receive File go to a worker thread that answers
// with a posted completion message.
//
// The caller and its worker share the request through shared ownership: the
// caller converts the results out after starting the worker, and whichever
// of the two finishes last frees the request. Workers are counted; detach
// waits for the count to reach 0 before it frees anything they use.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "compat/winhllapi.h"
#include "platform/atom.h"
#include "platform/thread.h"
#include "shared/trace.h"
#include "trvha64_winhllapi.h"

namespace trv::compat {
namespace {

// Detach waits this long for running workers; a worker stays in its warning
// box until it is closed, so the wait needs a bound.
constexpr std::chrono::milliseconds kWorkerStopLimit{5000};

// The diagnostic code the worker hands its completion text with.
constexpr std::uint8_t kCompletionDiagnostic = 117;

// Data bytes of the 32-bit notification layouts.
constexpr std::size_t kFormByte = 4;
constexpr std::size_t kSavedFormByte = 5;
constexpr std::size_t kHandleBytes = 8;
constexpr std::size_t kOptionByte = 16;
constexpr std::size_t kSavedOptionByte = 17;

struct AsyncRequest {
    ConversionRecord record;
    platform::WindowHandle window = 0;
    std::uint32_t threadId = 0;
    platform::UniqueHandle thread;
    std::uint16_t taskHandle = 0;
    char shortName = '\0';  // 90 and 91: the session named in the data string
};

std::atomic<std::uint16_t> g_negotiatedVersion{0};
std::atomic<std::uint32_t> g_asyncMessage{0};
std::atomic<std::uint32_t> g_fileTransferMessage{0};

std::mutex g_workersLock;
std::condition_variable g_workersDone;
std::uint32_t g_runningWorkers = 0;
bool g_workersStopped = false;

bool CountWorker() {
    std::lock_guard<std::mutex> lock(g_workersLock);
    if (g_workersStopped) return false;
    ++g_runningWorkers;
    return true;
}

void WorkerFinished() {
    std::lock_guard<std::mutex> lock(g_workersLock);
    --g_runningWorkers;
    g_workersDone.notify_all();
}

[[noreturn]] void Raise(FaultCode code) { throw CompatFault{code}; }

std::uint16_t ReadU16(const std::uint8_t* at) {
    std::uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void PutWindow(std::uint8_t* data, platform::WindowHandle window) {
    data[kFormByte] = 'M';
    const auto value = static_cast<std::uint64_t>(window);
    std::memcpy(data + kHandleBytes, &value, sizeof value);
}

// The session short name of a Send or Receive File data string: after the
// leading blanks, the first word, and the blanks after it. 0 when the string
// ends (or is missing) before that.
char FileTransferShortName(const std::uint8_t* data, std::uint32_t length) {
    if (data == nullptr) return '\0';
    std::uint32_t at = 0;
    while (at < length && data[at] == ' ') ++at;
    while (at < length && data[at] != ' ' && data[at] != '\0') ++at;
    while (at < length && data[at] == ' ') ++at;
    if (at >= length || data[at] == '\0') return '\0';
    const char letter = static_cast<char>(data[at]);
    return letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
}

// Runs a notification start in its message form; answers the task handle.
std::uint16_t RunInMessageMode(AsyncRequest& request, EHLLAPIEntry entry) {
    ConversionRecord& record = request.record;
    std::uint8_t* data = record.dataInUse;
    switch (record.function) {
        case HA_START_KEY_INTERCEPT:
            data[kOptionByte] = data[kFormByte];
            PutWindow(data, request.window);
            break;
        case HA_START_HOST_NOTIFY:
            data[kSavedFormByte] = data[kFormByte];
            data[kSavedOptionByte] = data[kOptionByte];
            if (data[kFormByte] != 'A' && data[kFormByte] != 'a') data[kOptionByte] = data[kFormByte];
            PutWindow(data, request.window);
            break;
        case HA_START_CLOSE_INTERCEPT:
            PutWindow(data, request.window);
            break;
        default:
            Raise(FaultCode::no_message_mode);
    }
    CallConverted(record, entry);
    const bool succeeded = record.returnCode == HLLAPI_RC_SUCCESS;
    switch (record.function) {
        case HA_START_KEY_INTERCEPT:
            if (!succeeded) return 0;
            data[kFormByte] = data[kOptionByte];
            return ReadU16(data + kHandleBytes);
        case HA_START_HOST_NOTIFY:
            data[kFormByte] = data[kSavedFormByte];
            data[kOptionByte] = data[kSavedOptionByte];
            return ReadU16(data + kHandleBytes);
        default:
            return succeeded ? ReadU16(data + kHandleBytes) : 0;
    }
}

void PostCompletion(const AsyncRequest& request) {
    const ConversionRecord& record = request.record;
    const bool fileTransfer = record.function == HA_SEND_FILE || record.function == HA_RECEIVE_FILE;
    const auto shortName = static_cast<std::uint8_t>(request.shortName);
    const std::uint32_t message = fileTransfer ? AsyncFileTransferMessage() : AsyncMessage();
    const std::uintptr_t wParam = fileTransfer ? shortName * 256u + 1u : request.taskHandle;
    const auto lParam = static_cast<std::intptr_t>(
        fileTransfer ? (record.returnCode & 0xFFFFu)
                     : ((record.function & 0xFFFFu) | ((record.returnCode & 0xFFFFu) << 16)));
    const bool posted = message != 0 && platform::PostWindowMessage(request.window, message, wParam, lParam);
    const char* name = fileTransfer ? "WM_WINHLLAPIASYNCFILETRANSFER" : "WM_WINHLLAPIASYNC";
    char text[160];
    if (posted) {
        std::snprintf(text, sizeof text, "%s (hWnd=0x%04llX wParam=0x%04llX lParam=0x%04llX)", name,
                      static_cast<unsigned long long>(request.window), static_cast<unsigned long long>(wParam),
                      static_cast<unsigned long long>(lParam));
    } else {
        std::snprintf(text, sizeof text, "Post %s Failed (hWnd=0x%04llX)", name,
                      static_cast<unsigned long long>(request.window));
    }
    TRV_TRACE("WinHLLAPI worker - %s", text);
    WinHLLAPIDiagnostic(kCompletionDiagnostic, static_cast<std::uint32_t>(std::strlen(text)), text);
}

void RunWorker(AsyncRequest& request) {
    // The asynchronous form of the EHLLAPI entry is not supported: it shows
    // its warning and the return code keeps the caller's value.
    std::int32_t function = static_cast<std::int32_t>(request.record.function);
    std::int32_t length = static_cast<std::int32_t>(request.record.length);
    std::int32_t returnCode = static_cast<std::int32_t>(request.record.returnCode);
    hllapi_async(&function, nullptr, &length, &returnCode);
    PostCompletion(request);
}

std::uint32_t WorkerMain(void* argument) {
    std::unique_ptr<std::shared_ptr<AsyncRequest>> request(static_cast<std::shared_ptr<AsyncRequest>*>(argument));
    try {
        RunWorker(**request);
    } catch (...) {
        TRV_TRACE("WinHLLAPI worker - unexpected failure");
    }
    request.reset();
    WorkerFinished();
    return 0;
}

void StartWorker(const std::shared_ptr<AsyncRequest>& request) {
    if (!CountWorker()) Raise(FaultCode::no_task_handle);
    auto* owner = new (std::nothrow) std::shared_ptr<AsyncRequest>(request);
    if (owner == nullptr) {
        WorkerFinished();
        Raise(FaultCode::no_task_handle);
    }
    const platform::StartedThread started = platform::StartThread(WorkerMain, owner);
    if (started.handle == platform::kNoHandle) {
        delete owner;
        WorkerFinished();
        Raise(FaultCode::no_task_handle);
    }
    request->thread.reset(started.handle);
    request->threadId = started.id;
}

std::uint16_t RunAsync(const std::shared_ptr<AsyncRequest>& request, EHLLAPIEntry entry,
                       platform::WindowHandle window, std::uint16_t* function, std::uint8_t* data,
                       std::uint16_t* length, std::uint16_t* returnCode) {
    WinHLLAPIDiagnosticCall(function != nullptr ? *function : 0, length != nullptr ? *length : 0,
                            returnCode != nullptr ? *returnCode : 0, 0, 0, 0, 0);
    if (!platform::IsWindowHandle(window)) Raise(FaultCode::not_a_window);
    request->window = window;
    ConversionRecord& record = request->record;
    ConvertIn(record, function, data, length, returnCode);
    const std::uint32_t fn = record.function;
    if (fn != HA_WAIT && fn != HA_SEND_FILE && fn != HA_RECEIVE_FILE) {
        const std::uint16_t task = RunInMessageMode(*request, entry);
        ConvertOut(record, function, data, length, returnCode);
        return task;
    }
    if (fn == HA_WAIT && VersionRank(NegotiatedVersion()) >= VersionRank(kOfferedVersion)) {
        CallConverted(record, entry);
        ConvertOut(record, function, data, length, returnCode);
        return 0;
    }
    request->taskHandle = WinHLLAPILegacy399(window, nullptr, nullptr);
    if (fn != HA_WAIT) request->shortName = FileTransferShortName(record.dataInUse, record.length);
    StartWorker(request);
    ConvertOut(record, function, data, length, returnCode);
    return request->taskHandle;
}

}  // namespace

std::uint16_t NegotiatedVersion() { return g_negotiatedVersion.load(); }
void SetNegotiatedVersion(std::uint16_t version) { g_negotiatedVersion.store(version); }

std::uint32_t AsyncMessage() { return g_asyncMessage.load(); }
std::uint32_t AsyncFileTransferMessage() { return g_fileTransferMessage.load(); }

void RegisterAsyncMessages() {
    g_asyncMessage.store(platform::RegisterMessageName("WinHLLAPIAsync"));
    g_fileTransferMessage.store(platform::RegisterMessageName("WinHLLAPIAsyncFileTransfer"));
}

std::uint16_t AsyncCall(EHLLAPIEntry entry, platform::WindowHandle window, std::uint16_t* function,
                        std::uint8_t* data, std::uint16_t* length, std::uint16_t* returnCode) noexcept {
    std::uint16_t answer = HLLAPI_RC_SYSTEM_ERROR;
    try {
        auto request = std::make_shared<AsyncRequest>();
        return RunAsync(request, entry, window, function, data, length, returnCode);
    } catch (const CompatFault& fault) {
        TRV_TRACE("WinHLLAPIAsync - exception %d", static_cast<int>(fault.code));
        switch (fault.code) {
            case FaultCode::not_a_window:
            case FaultCode::data_too_short:
                answer = HLLAPI_RC_BAD_PARAMETER;
                break;
            case FaultCode::null_return_code:
                try {
                    ShowInvalidReturnCodePointerBox();
                } catch (...) {
                }
                return 0;
            default:
                break;
        }
    } catch (...) {
        TRV_TRACE("WinHLLAPIAsync - unexpected failure");
    }
    if (returnCode != nullptr) *returnCode = answer;
    return 0;
}

void StopAsyncWorkers() {
    std::unique_lock<std::mutex> lock(g_workersLock);
    g_workersStopped = true;
    if (!g_workersDone.wait_for(lock, kWorkerStopLimit, [] { return g_runningWorkers == 0; })) {
        TRV_TRACE("WinHLLAPI detach - %u worker(s) still running", g_runningWorkers);
    }
}

void AllowAsyncWorkers() {
    std::lock_guard<std::mutex> lock(g_workersLock);
    g_workersStopped = false;
}

std::uint32_t RunningAsyncWorkers() {
    std::lock_guard<std::mutex> lock(g_workersLock);
    return g_runningWorkers;
}

}  // namespace trv::compat
