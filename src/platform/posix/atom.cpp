// Registered message names and global atoms on POSIX: one namespace-wide
// table in shared memory under a robust lock. Slot i answers the number
// 0xC000 + i; a registered message stays for the table's life, an atom until
// its last reference is deleted. Names compare without regard to ASCII case.
// "#<decimal>" names an integer atom below 0xC000, as on Windows, without a
// slot.
#include "platform/atom.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include <pthread.h>

#include "platform/posix/robust_mutex.h"
#include "platform/posix/shared_table.h"

namespace trv::platform {
namespace {

constexpr std::uint32_t kFirstAtom = 0xC000;
constexpr std::uint32_t kSlotCount = 0x4000;  // 0xC000..0xFFFF
constexpr std::size_t kMaxNameLength = 255;

enum SlotKind : std::uint32_t { kFree = 0, kRegisteredMessage = 1, kGlobalAtom = 2 };

struct AtomSlot {
    std::uint32_t kind;             // 0: SlotKind
    std::uint32_t references;       // 4: of a global atom
    char name[kMaxNameLength + 1];  // 8: zero-terminated
};
static_assert(sizeof(AtomSlot) == 264);

struct AtomTable {
    pthread_mutex_t lock;
    std::uint32_t slotsInUse;  // high-water mark: slots at or above it are free
    std::uint32_t reserved;
    AtomSlot slots[kSlotCount];
};

AtomTable* Table() {
    return static_cast<AtomTable*>(posix::OpenSharedTable(
        "trvha64 atom table", posix::ObjectKind::atom_table, sizeof(AtomTable), [](void* data) {
            auto* table = new (data) AtomTable{};
            return posix::InitialiseRobustMutex(&table->lock, false);
        }));
}

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (FoldCase(*a) != FoldCase(*b)) return false;
    }
    return *a == *b;
}

bool ValidName(const char* name) {
    if (name == nullptr || *name == '\0' || std::strlen(name) > kMaxNameLength) {
        posix::RecordError(EINVAL);
        return false;
    }
    return true;
}

// "#123" → 123; 0 when the name is not an integer atom or is out of range.
std::uint16_t IntegerAtom(const char* name) {
    if (name[0] != '#' || name[1] == '\0') return 0;
    std::uint32_t value = 0;
    for (const char* p = name + 1; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return 0;
        value = value * 10 + static_cast<std::uint32_t>(*p - '0');
        if (value >= kFirstAtom) return 0;
    }
    return static_cast<std::uint16_t>(value);
}

// A new number or the one already given to `name` as `kind`; 0 when full.
std::uint32_t Intern(const char* name, SlotKind kind) {
    AtomTable* table = Table();
    if (table == nullptr) return 0;
    posix::RobustLockGuard guard(&table->lock);
    if (!guard.held()) return 0;
    if (guard.ownerDied() && table->slotsInUse > kSlotCount) table->slotsInUse = kSlotCount;
    std::uint32_t freeSlot = kSlotCount;
    for (std::uint32_t i = 0; i < table->slotsInUse; ++i) {
        AtomSlot& slot = table->slots[i];
        if (slot.kind == kFree) {
            if (freeSlot == kSlotCount) freeSlot = i;
        } else if (slot.kind == kind && SameName(slot.name, name)) {
            if (kind == kGlobalAtom) ++slot.references;
            return kFirstAtom + i;
        }
    }
    if (freeSlot == kSlotCount) {
        if (table->slotsInUse == kSlotCount) {
            posix::RecordError(ENOSPC);
            return 0;
        }
        freeSlot = table->slotsInUse;
    }
    AtomSlot& slot = table->slots[freeSlot];
    std::strncpy(slot.name, name, kMaxNameLength);
    slot.name[kMaxNameLength] = '\0';
    slot.references = kind == kGlobalAtom ? 1 : 0;
    slot.kind = kind;  // last, so a half-written slot stays free
    if (freeSlot == table->slotsInUse) ++table->slotsInUse;
    return kFirstAtom + freeSlot;
}

}  // namespace

std::uint32_t RegisterMessageName(const char* name) {
    if (!ValidName(name)) return 0;
    return Intern(name, kRegisteredMessage);
}

std::uint16_t AddGlobalAtom(const char* name) {
    if (!ValidName(name)) return 0;
    if (std::uint16_t integer = IntegerAtom(name); integer != 0) return integer;
    return static_cast<std::uint16_t>(Intern(name, kGlobalAtom));
}

std::uint16_t FindGlobalAtom(const char* name) {
    if (!ValidName(name)) return 0;
    if (std::uint16_t integer = IntegerAtom(name); integer != 0) return integer;
    AtomTable* table = Table();
    if (table == nullptr) return 0;
    posix::RobustLockGuard guard(&table->lock);
    if (!guard.held()) return 0;
    for (std::uint32_t i = 0; i < table->slotsInUse && i < kSlotCount; ++i) {
        const AtomSlot& slot = table->slots[i];
        if (slot.kind == kGlobalAtom && SameName(slot.name, name)) {
            return static_cast<std::uint16_t>(kFirstAtom + i);
        }
    }
    posix::RecordError(ENOENT);
    return 0;
}

std::uint16_t DeleteGlobalAtom(std::uint16_t atom) {
    if (atom != 0 && atom < kFirstAtom) return 0;  // integer atoms have nothing to delete
    AtomTable* table = Table();
    if (atom == 0 || table == nullptr) {
        posix::RecordError(EINVAL);
        return atom;
    }
    posix::RobustLockGuard guard(&table->lock);
    if (!guard.held()) return atom;
    AtomSlot& slot = table->slots[atom - kFirstAtom];
    if (slot.kind != kGlobalAtom || slot.references == 0) {
        posix::RecordError(EINVAL);
        return atom;
    }
    if (--slot.references == 0) {
        slot.kind = kFree;
        slot.name[0] = '\0';
    }
    return 0;
}

std::uint32_t GetGlobalAtomName(std::uint16_t atom, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0 || atom == 0) {
        posix::RecordError(EINVAL);
        return 0;
    }
    char name[kMaxNameLength + 1];
    if (atom < kFirstAtom) {
        std::snprintf(name, sizeof name, "#%u", static_cast<unsigned>(atom));
    } else {
        AtomTable* table = Table();
        if (table == nullptr) return 0;
        posix::RobustLockGuard guard(&table->lock);
        if (!guard.held()) return 0;
        const AtomSlot& slot = table->slots[atom - kFirstAtom];
        if (slot.kind != kGlobalAtom) {
            posix::RecordError(ENOENT);
            return 0;
        }
        std::memcpy(name, slot.name, sizeof name);
    }
    std::size_t length = std::strlen(name);
    if (length > size - 1) length = size - 1;
    std::memcpy(buffer, name, length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

}  // namespace trv::platform
