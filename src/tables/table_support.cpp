// Table lock and the process-local record of own handles.
#include "tables/table_support.h"

#include <mutex>
#include <utility>
#include <vector>

#include "shared/named_objects.h"
#include "shared/process_state.h"
#include "shared/trace.h"

namespace trv {

TableLock::TableLock(const char* mutexName) {
    // The process holds its table mutexes open from attach to detach: waiting
    // on that handle spares opening and closing the mutex by name every time.
    const platform::Handle processHandle = HeldTableMutex(mutexName);
    if (processHandle != platform::kNoHandle) {
        hold_.emplace(processHandle, platform::kInfinite);
    } else {
        // Gone with the last handle (the process that built the table has
        // ended): made anew under its name, so that the callers of every
        // process still exclude each other.
        platform::Handle mutex = platform::OpenNamedMutex(mutexName);
        if (mutex == platform::kNoHandle) mutex = CreateHLLMutex(mutexName);
        if (mutex != platform::kNoHandle) {
            result_ = platform::WaitMutex(mutex, platform::kInfinite);
            if (result_ == platform::LockResult::acquired ||
                result_ == platform::LockResult::acquired_owner_died) {
                handle_ = mutex;
            } else {
                CloseHLLMutex(mutex);
            }
        }
    }
    if (!held()) TRV_TRACE("TableLock - %s could not be taken", mutexName);
}

TableLock::~TableLock() {
    // A lock on the held handle is released by its hold.
    if (!hold_) ReleaseAndCloseHLLMutex(handle_);
}

namespace {

struct OwnHandles {
    std::mutex lock;
    std::vector<std::pair<const void*, platform::Handle>> entries;
};

// Never destroyed: the last table destructor may run from the process
// detach after the library's static objects are gone.
OwnHandles& Owned() {
    static OwnHandles* owned = new OwnHandles;
    return *owned;
}

}  // namespace

void NoteOwnHandle(const void* field, platform::Handle handle) {
    if (field == nullptr || handle == platform::kNoHandle) return;
    OwnHandles& owned = Owned();
    std::lock_guard<std::mutex> guard(owned.lock);
    for (auto& entry : owned.entries) {
        if (entry.first == field) {
            entry.second = handle;
            return;
        }
    }
    owned.entries.emplace_back(field, handle);
}

bool IsOwnHandle(const void* field, platform::Handle handle) {
    if (handle == platform::kNoHandle) return false;
    OwnHandles& owned = Owned();
    std::lock_guard<std::mutex> guard(owned.lock);
    for (const auto& entry : owned.entries) {
        if (entry.first == field) return entry.second == handle;
    }
    return false;
}

bool TakeOwnHandle(const void* field, platform::Handle handle) {
    OwnHandles& owned = Owned();
    std::lock_guard<std::mutex> guard(owned.lock);
    for (auto it = owned.entries.begin(); it != owned.entries.end(); ++it) {
        if (it->first != field) continue;
        bool own = handle != platform::kNoHandle && it->second == handle;
        owned.entries.erase(it);
        return own;
    }
    return false;
}

}  // namespace trv
