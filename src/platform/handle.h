// Process-local handles of the kernel objects this layer provides (mappings,
// mutexes, events, threads) and their move-only owner.
//
// A handle is meaningful only in the process that obtained it. Handle values
// are stored in shared records for the owning process's own use, but another
// process must never close or wait on them: it reaches the object by name.
// 0 is never a valid handle on either backend.
#pragma once

#include <cstdint>
#include <utility>

namespace trv::platform {

using Handle = std::uintptr_t;
constexpr Handle kNoHandle = 0;

// Closes any handle returned by this layer. Closing 0 does nothing. On both
// backends a named object lives while at least one handle to it is open in
// some live process; a process that dies has all its handles closed for it.
void CloseObject(Handle handle);

// Move-only owner of one handle; closes it when destroyed.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != kNoHandle; }
    Handle release() { return std::exchange(handle_, kNoHandle); }
    void reset(Handle handle = kNoHandle) {
        Handle old = std::exchange(handle_, handle);
        if (old != kNoHandle) CloseObject(old);
    }

private:
    Handle handle_ = kNoHandle;
};

}  // namespace trv::platform
