// Handle table (see handle_table.h) and CloseObject. Handle values are
// multiples of four, like Win32 handles: ((generation << 20) | slot + 1) << 2.
#include "platform/posix/handle_table.h"

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "platform/posix/system.h"

namespace trv::platform {
namespace posix {
namespace {

constexpr std::uint32_t kSlotBits = 20;
constexpr std::uint32_t kMaxSlots = (1u << kSlotBits) - 1;
constexpr std::uint32_t kGenerationMask = 0xFFFFFFu;

struct Slot {
    std::shared_ptr<KernelObject> object;
    std::uint32_t generation = 1;
};

class HandleTable {
public:
    static HandleTable& Instance() {
        // Never destroyed: objects are still closed by thread and static
        // destructors while the process exits.
        static HandleTable* table = new HandleTable;
        return *table;
    }

    Handle Insert(std::shared_ptr<KernelObject> object) {
        std::unique_lock lock(mutex_);
        std::uint32_t index;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else if (slots_.size() < kMaxSlots) {
            index = static_cast<std::uint32_t>(slots_.size());
            slots_.emplace_back();
        } else {
            RecordError(EMFILE);
            return kNoHandle;
        }
        Slot& slot = slots_[index];
        slot.object = std::move(object);
        return Encode(index, slot.generation);
    }

    std::shared_ptr<KernelObject> Lookup(Handle handle) {
        std::shared_lock lock(mutex_);
        Slot* slot = Find(handle);
        return slot != nullptr ? slot->object : nullptr;
    }

    std::shared_ptr<KernelObject> Remove(Handle handle) {
        std::unique_lock lock(mutex_);
        Slot* slot = Find(handle);
        if (slot == nullptr) return nullptr;
        std::shared_ptr<KernelObject> object = std::move(slot->object);
        slot->object.reset();
        slot->generation = (slot->generation + 1) & kGenerationMask;
        if (slot->generation == 0) slot->generation = 1;
        free_.push_back(static_cast<std::uint32_t>(slot - slots_.data()));
        return object;
    }

private:
    static Handle Encode(std::uint32_t index, std::uint32_t generation) {
        return ((static_cast<Handle>(generation) << kSlotBits) | (index + 1)) << 2;
    }

    Slot* Find(Handle handle) {
        if (handle == kNoHandle || (handle & 3) != 0) return nullptr;
        Handle value = handle >> 2;
        std::uint32_t index = static_cast<std::uint32_t>(value & kMaxSlots);
        auto generation = static_cast<std::uint32_t>(value >> kSlotBits);
        if (index == 0 || index > slots_.size()) return nullptr;
        Slot& slot = slots_[index - 1];
        if (!slot.object || slot.generation != generation) return nullptr;
        return &slot;
    }

    std::shared_mutex mutex_;
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> free_;
};

}  // namespace

Handle InsertHandle(std::shared_ptr<KernelObject> object) {
    if (!object) return kNoHandle;
    return HandleTable::Instance().Insert(std::move(object));
}

std::shared_ptr<KernelObject> LookupHandle(Handle handle, HandleType type) {
    std::shared_ptr<KernelObject> object = HandleTable::Instance().Lookup(handle);
    if (!object || object->type() != type) {
        RecordError(EBADF);
        return nullptr;
    }
    return object;
}

}  // namespace posix

void CloseObject(Handle handle) {
    if (handle == kNoHandle) return;
    // The object is released outside the table lock: closing a named object
    // takes the namespace gate.
    std::shared_ptr<posix::KernelObject> object = posix::HandleTable::Instance().Remove(handle);
    if (!object) posix::RecordError(EBADF);
}

}  // namespace trv::platform
