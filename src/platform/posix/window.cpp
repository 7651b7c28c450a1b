// Message-only windows on POSIX: a namespace-wide registry in shared memory
// maps a window handle to its owner process and thread; a window message is
// posted into the owner thread's message queue with `window` set. A handle is
// (generation << 12) | slot, so a destroyed window's handle stays invalid
// when its slot is used again; a window whose owner thread ended is gone.
#include "platform/window.h"

#include <cerrno>
#include <new>

#include <pthread.h>

#include "platform/message_queue.h"
#include "platform/posix/message_queue.h"
#include "platform/posix/robust_mutex.h"
#include "platform/posix/shared_table.h"
#include "platform/thread.h"

namespace trv::platform {
namespace {

constexpr std::uint32_t kSlotBits = 12;
constexpr std::uint32_t kSlotCount = 1u << kSlotBits;
constexpr std::uint32_t kGenerationMask = 0xFFFFFu;  // handles fit in 32 bits

struct WindowSlot {
    std::uint32_t generation;  // 0: of the window now (or last) in the slot
    std::uint32_t inUse;       // 4
    std::uint32_t ownerPid;    // 8
    std::uint32_t ownerTid;    // 12
};
static_assert(sizeof(WindowSlot) == 16);

struct WindowRegistry {
    pthread_mutex_t lock;
    WindowSlot slots[kSlotCount];
};

WindowRegistry* Registry() {
    return static_cast<WindowRegistry*>(posix::OpenSharedTable(
        "trvha64 window registry", posix::ObjectKind::window_registry, sizeof(WindowRegistry),
        [](void* data) {
            auto* registry = new (data) WindowRegistry{};
            return posix::InitialiseRobustMutex(&registry->lock, false);
        }));
}

bool SlotIsLive(const WindowSlot& slot) {
    return slot.inUse != 0 && posix::IsThreadOf(slot.ownerPid, slot.ownerTid);
}

// The slot of a live window `window`, or nullptr; call with the lock held.
WindowSlot* FindWindow(WindowRegistry& registry, WindowHandle window) {
    if (window == 0 || window > 0xFFFFFFFFu) return nullptr;
    auto value = static_cast<std::uint32_t>(window);
    WindowSlot& slot = registry.slots[value & (kSlotCount - 1)];
    if (slot.generation != (value >> kSlotBits) || !SlotIsLive(slot)) return nullptr;
    return &slot;
}

}  // namespace

WindowHandle CreateMessageWindow() {
    EnsureMessageQueue();  // messages to the window land in this thread's queue
    WindowRegistry* registry = Registry();
    if (registry == nullptr) return 0;
    posix::RobustLockGuard guard(&registry->lock);
    if (!guard.held()) return 0;
    for (std::uint32_t i = 0; i < kSlotCount; ++i) {
        WindowSlot& slot = registry->slots[i];
        if (SlotIsLive(slot)) continue;  // a dead owner's slot is free again
        slot.generation = (slot.generation + 1) & kGenerationMask;
        if (slot.generation == 0) slot.generation = 1;
        slot.ownerPid = CurrentProcessId();
        slot.ownerTid = CurrentThreadId();
        slot.inUse = 1;
        return (static_cast<WindowHandle>(slot.generation) << kSlotBits) | i;
    }
    posix::RecordError(ENOSPC);
    return 0;
}

void DestroyMessageWindow(WindowHandle window) {
    WindowRegistry* registry = Registry();
    if (registry == nullptr) return;
    posix::RobustLockGuard guard(&registry->lock);
    if (!guard.held()) return;
    WindowSlot* slot = FindWindow(*registry, window);
    if (slot == nullptr || slot->ownerPid != CurrentProcessId()) {
        posix::RecordError(EPERM);  // only the owner process destroys a window
        return;
    }
    slot->inUse = 0;
}

bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    WindowRegistry* registry = Registry();
    if (registry == nullptr) return false;
    std::uint32_t owner = 0;
    {
        posix::RobustLockGuard guard(&registry->lock);
        if (!guard.held()) return false;
        WindowSlot* slot = FindWindow(*registry, window);
        if (slot == nullptr) {
            posix::RecordError(EBADF);
            return false;
        }
        owner = slot->ownerTid;
    }
    return posix::PostToQueue(owner, window, message, wParam, lParam);
}

bool IsWindowHandle(WindowHandle window) {
    WindowRegistry* registry = Registry();
    if (registry == nullptr) return false;
    posix::RobustLockGuard guard(&registry->lock);
    return guard.held() && FindWindow(*registry, window) != nullptr;
}

}  // namespace trv::platform
