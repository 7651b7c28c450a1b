// The exported waiting functions of Linux callers (include/trvha64.h): the
// event handles of the notification event forms, message-only windows,
// registered message numbers and the calling thread's message queue. On
// Windows callers use the system's own functions on those objects; here the
// objects are this backend's, so the library offers the calls itself. They
// are thin: each checks its arguments and hands over to the backend.
//
// No exception leaves an entry: an unexpected failure answers the entry's
// failure value.
#include <cstdint>

#include "platform/atom.h"
#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "trvha64.h"

namespace trv::platform {
namespace {

static_assert(TRV_WAIT_SIGNALLED == kWaitObject0);
static_assert(TRV_WAIT_TIMEOUT == kWaitTimeout);
static_assert(TRV_WAIT_FAILED == kWaitFailed);
static_assert(TRV_INFINITE == kInfinite);

constexpr std::int32_t kGotMessage = 1;
constexpr std::int32_t kNoMessage = 0;
constexpr std::int32_t kCallFailed = -1;

template <typename Result, typename Body>
Result Guarded(Result failure, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

}  // namespace
}  // namespace trv::platform

namespace platform = trv::platform;

extern "C" {

std::uint32_t trvWaitForHandle(std::uintptr_t handle, std::uint32_t timeout_ms) {
    return platform::Guarded<std::uint32_t>(TRV_WAIT_FAILED, [&]() -> std::uint32_t {
        if (handle == platform::kNoHandle) return TRV_WAIT_FAILED;
        return platform::WaitForEvent(handle, timeout_ms);
    });
}

std::uintptr_t trvCreateMessageWindow(void) {
    return platform::Guarded<std::uintptr_t>(0, [] { return platform::CreateMessageWindow(); });
}

std::int32_t trvDestroyMessageWindow(std::uintptr_t window) {
    return platform::Guarded<std::int32_t>(platform::kCallFailed, [&]() -> std::int32_t {
        // The backend refuses a window of another process silently; the
        // result tells from the window's presence afterwards.
        if (window == 0 || !platform::IsWindowHandle(window)) return platform::kCallFailed;
        platform::DestroyMessageWindow(window);
        return platform::IsWindowHandle(window) ? platform::kCallFailed : 0;
    });
}

std::uint32_t trvRegisterWindowMessage(const char* name) {
    return platform::Guarded<std::uint32_t>(0, [&]() -> std::uint32_t {
        if (name == nullptr || *name == '\0') return 0;
        return platform::RegisterMessageName(name);
    });
}

std::int32_t trvGetMessage(trvMessage* message, std::uint32_t timeout_ms) {
    return platform::Guarded<std::int32_t>(platform::kCallFailed, [&]() -> std::int32_t {
        if (message == nullptr) return platform::kCallFailed;
        platform::ThreadMessage taken;
        switch (platform::GetThreadMessage(taken, timeout_ms)) {
            case platform::MessageWait::message:
            case platform::MessageWait::quit:
                message->window = taken.window;
                message->message = taken.message;
                message->wParam = taken.wParam;
                message->lParam = taken.lParam;
                return platform::kGotMessage;
            case platform::MessageWait::timed_out:
                return platform::kNoMessage;
            case platform::MessageWait::failed:
                break;
        }
        return platform::kCallFailed;
    });
}

}  // extern "C"
