// The process-local handle table of the POSIX backend. A handle is an index
// into the table with a generation count, so a closed or forged handle is
// refused instead of reaching freed memory. Callers hold a shared_ptr to the
// object for the length of an operation, so CloseObject on one thread never
// unmaps what a wait on another thread is using.
#pragma once

#include <memory>

#include "platform/handle.h"

namespace trv::platform::posix {

enum class HandleType { mapping, event, mutex, thread, process };

class KernelObject {
public:
    explicit KernelObject(HandleType type) : type_(type) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    HandleType type() const { return type_; }

private:
    HandleType type_;
};

// A new handle for `object`; 0 (error recorded) when the table is full.
Handle InsertHandle(std::shared_ptr<KernelObject> object);

// The object of `handle` when it is open and of `type`; nullptr with EBADF
// otherwise.
std::shared_ptr<KernelObject> LookupHandle(Handle handle, HandleType type);

template <typename T>
std::shared_ptr<T> LookupAs(Handle handle) {
    return std::static_pointer_cast<T>(LookupHandle(handle, T::kType));
}

}  // namespace trv::platform::posix
