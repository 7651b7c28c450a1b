// Named-object wrappers with their trace lines.
#include "shared/named_objects.h"

#include "platform/event.h"
#include "platform/mapping.h"
#include "shared/trace.h"

namespace trv {

Handle CreateHLLEvent(bool manualReset, const char* name) {
    Handle event = platform::CreateNamedEvent(manualReset, name);
    TRV_TRACE("CreateHLLEvent Name=%s Handle=" TRV_PRIHANDLE, name != nullptr ? name : "", event);
    return event;
}

Handle GetHLLEvent(const char* name) {
    Handle event = name != nullptr ? platform::OpenNamedEvent(name) : platform::kNoHandle;
    TRV_TRACE("GetHLLEvent Name=%s Handle=" TRV_PRIHANDLE, name != nullptr ? name : "", event);
    return event;
}

std::uint32_t AwaitHLLEvent(Handle event, std::uint32_t timeoutMs) {
    TRV_TRACE("AwaitHLLEvent " TRV_PRIHANDLE ", timeout %d", event, static_cast<int>(timeoutMs));
    FlushTrace();
    return platform::WaitForEvent(event, timeoutMs);
}

std::uint32_t AwaitMultipleHLLEvents(std::uint32_t count, const Handle* events, bool waitAll,
                                     std::uint32_t timeoutMs) {
    TRV_TRACE("AwaitMultipleHLLEvents cnt=%d timeout=%d", static_cast<int>(count),
              static_cast<int>(timeoutMs));
    FlushTrace();
    if (events == nullptr) return platform::kWaitFailed;
    return platform::WaitForEvents(count, events, waitAll, timeoutMs);
}

void TriggerHLLEvent(Handle event) {
    TRV_TRACE("TriggerHLLEvent " TRV_PRIHANDLE " to SIGNALLED", event);
    if (event != platform::kNoHandle) platform::SignalEvent(event);
}

void ResetHLLEvent(Handle event) {
    TRV_TRACE("ResetHLLEvent " TRV_PRIHANDLE " to NON-SIGNALLED", event);
    if (event != platform::kNoHandle) platform::ClearEvent(event);
}

std::uint32_t AwaitHLLEvent(const platform::EventRef& event, std::uint32_t timeoutMs) {
    TRV_TRACE("AwaitHLLEvent " TRV_PRIHANDLE ", timeout %d", event.handle(), static_cast<int>(timeoutMs));
    FlushTrace();
    return event.Wait(timeoutMs);
}

void TriggerHLLEvent(const platform::EventRef& event) {
    TRV_TRACE("TriggerHLLEvent " TRV_PRIHANDLE " to SIGNALLED", event.handle());
    if (event.handle() != platform::kNoHandle) event.Signal();
}

void ResetHLLEvent(const platform::EventRef& event) {
    TRV_TRACE("ResetHLLEvent " TRV_PRIHANDLE " to NON-SIGNALLED", event.handle());
    if (event.handle() != platform::kNoHandle) event.Clear();
}

void FreeHLLEvent(Handle event) {
    TRV_TRACE("FreeHLLEvent " TRV_PRIHANDLE " (CloseHandle)", event);
    if (event != platform::kNoHandle) platform::CloseObject(event);
}

Handle CreateHLLMutex(const char* name) { return platform::CreateNamedMutex(name); }

Handle OpenAndWaitHLLMutex(const char* name, std::uint32_t timeoutMs, platform::LockResult* result) {
    if (result != nullptr) *result = platform::LockResult::failed;
    if (name == nullptr) return platform::kNoHandle;
    Handle mutex = platform::OpenNamedMutex(name);
    if (mutex == platform::kNoHandle) return platform::kNoHandle;
    platform::LockResult outcome = platform::WaitMutex(mutex, timeoutMs);
    if (result != nullptr) *result = outcome;
    if (outcome != platform::LockResult::acquired &&
        outcome != platform::LockResult::acquired_owner_died) {
        platform::CloseObject(mutex);
        return platform::kNoHandle;
    }
    return mutex;
}

void ReleaseAndCloseHLLMutex(Handle mutex) {
    if (mutex == platform::kNoHandle) return;
    platform::ReleaseNamedMutex(mutex);
    platform::CloseObject(mutex);
}

void CloseHLLMutex(Handle mutex) {
    if (mutex != platform::kNoHandle) platform::CloseObject(mutex);
}

Handle CreateHLLMapping(const char* name, std::size_t size, bool* existed) {
    platform::CreatedMapping created = platform::CreateNamedMapping(name, size);
    if (existed != nullptr) *existed = created.existed;
    return created.handle;
}

void* OpenAndMapHLLMapping(Handle& mapping, const char* name, std::size_t size) {
    if (mapping == platform::kNoHandle) mapping = platform::OpenNamedMapping(name);
    if (mapping == platform::kNoHandle) return nullptr;
    return platform::MapView(mapping, size);
}

void UnmapAndCloseHLLMapping(void*& view, Handle& mapping, std::size_t size) {
    if (view != nullptr) platform::UnmapView(view, size);
    view = nullptr;
    if (mapping != platform::kNoHandle) platform::CloseObject(mapping);
    mapping = platform::kNoHandle;
}

}  // namespace trv
