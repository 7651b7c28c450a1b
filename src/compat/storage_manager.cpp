// The storage pool: a doubly linked list of blocks in creation order, each
// with its own zeroed memory below 4 GB. Taking a larger block splits it into
// two new blocks (the wanted size, then the rest); merging replaces all free
// blocks by one new block of their summed size. A split or merge that cannot
// get memory leaves the pool as it was and the request answers as if nothing
// fitted.
#include "compat/storage_manager.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/low_memory.h"
#include "platform/mutex.h"
#include "shared/trace.h"
#include "trvha64.h"

namespace trv::compat {
namespace {

// Get storage and query free storage answer 1 when nothing fits or the
// merge cannot be made.
constexpr std::uint16_t kNothingFits = 1;

struct StorageBlock {
    StorageBlock* previous = nullptr;
    std::uint16_t id = 0;
    std::uint16_t size = 0;
    std::uint8_t* memory = nullptr;
    bool free = true;
    StorageBlock* next = nullptr;
};

class StoragePool {
public:
    ~StoragePool() {
        while (first_ != nullptr) Delete(first_);
    }

    // Makes the pool's mutex and its first free block; false when either fails.
    bool Make(std::uint32_t instance) {
        char name[32];
        std::snprintf(name, sizeof name, "QZRVT%u", instance);
        mutex_.reset(platform::CreateNamedMutex(name));
        return mutex_ && Append(kPoolSize) != nullptr;
    }

    platform::Handle mutex() const { return mutex_.get(); }

    StorageBlock* Take(std::uint16_t size) {
        if (size == 0) return nullptr;
        StorageBlock* found = FirstFreeOfAtLeast(size);
        if (found == nullptr) {
            if (Merge() == nullptr) return nullptr;
            found = FirstFreeOfAtLeast(size);
            if (found == nullptr) return nullptr;
        }
        if (found->size > size) {
            StorageBlock* taken = Append(size);
            if (taken == nullptr) return nullptr;
            if (Append(static_cast<std::uint16_t>(found->size - size)) == nullptr) {
                Delete(taken);
                return nullptr;
            }
            Delete(found);
            found = taken;
        }
        found->free = false;
        return found;
    }

    bool Free(std::uint16_t id) {
        for (StorageBlock* block = first_; block != nullptr; block = block->next) {
            if (block->id == id) {
                block->free = true;
                return true;
            }
        }
        return false;
    }

    void FreeAll() {
        for (StorageBlock* block = first_; block != nullptr; block = block->next) block->free = true;
    }

    // The one free block left after merging (a block of size 0 when none is
    // free); nullptr when the merged block cannot be made.
    const StorageBlock* Merge() {
        static const StorageBlock kNoneFree;
        std::vector<StorageBlock*> free;
        std::uint16_t total = 0;
        for (StorageBlock* block = first_; block != nullptr; block = block->next) {
            if (!block->free) continue;
            free.push_back(block);
            total = static_cast<std::uint16_t>(total + block->size);
        }
        if (free.empty()) return &kNoneFree;
        if (free.size() == 1) return free.front();
        StorageBlock* merged = Append(total);
        if (merged == nullptr) return nullptr;
        for (StorageBlock* block : free) Delete(block);
        return merged;
    }

private:
    StorageBlock* FirstFreeOfAtLeast(std::uint16_t size) const {
        for (StorageBlock* block = first_; block != nullptr; block = block->next) {
            if (block->free && block->size >= size) return block;
        }
        return nullptr;
    }

    StorageBlock* Append(std::uint16_t size) {
        auto* memory = static_cast<std::uint8_t*>(platform::AllocateLowMemory(size == 0 ? 1 : size));
        if (memory == nullptr) return nullptr;
        auto* block = new (std::nothrow) StorageBlock;
        if (block == nullptr) {
            platform::FreeLowMemory(memory, size == 0 ? 1 : size);
            return nullptr;
        }
        block->id = ++lastId_;
        block->size = size;
        block->memory = memory;
        block->previous = last_;
        if (last_ != nullptr) last_->next = block;
        else first_ = block;
        last_ = block;
        ++blockCount_;
        return block;
    }

    void Delete(StorageBlock* block) {
        platform::FreeLowMemory(block->memory, block->size == 0 ? 1 : block->size);
        if (block->previous != nullptr) block->previous->next = block->next;
        else first_ = block->next;
        if (block->next != nullptr) block->next->previous = block->previous;
        else last_ = block->previous;
        --blockCount_;
        delete block;
    }

    StorageBlock* first_ = nullptr;
    StorageBlock* last_ = nullptr;
    std::uint16_t lastId_ = 0;
    std::uint32_t blockCount_ = 0;
    platform::UniqueHandle mutex_;
};

// The process's pool, made and destroyed under g_poolLock; requests on it run
// under its named mutex while holding a reference, so a detach waits for none
// of them and frees the pool only when the last request is done.
std::mutex g_poolLock;
std::shared_ptr<StoragePool> g_pool;
std::uint32_t g_poolInstances = 0;

std::shared_ptr<StoragePool> ThePool() {
    std::lock_guard<std::mutex> lock(g_poolLock);
    if (g_pool) return g_pool;
    auto pool = std::make_shared<StoragePool>();
    if (!pool->Make(++g_poolInstances)) return nullptr;
    g_pool = pool;
    return pool;
}

void WriteAddress(std::uint8_t* data, const StorageBlock* block) {
    // The pool's memory lies below 4 GB: the low 32 bits are the address.
    const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(block != nullptr ? block->memory : nullptr));
    std::memcpy(data, &address, sizeof address);
}

}  // namespace

void ServeStorageRequest(std::uint8_t* data, std::uint16_t* length, std::uint16_t* returnCode) {
    const std::uint16_t request = *returnCode;
    TRV_TRACE("WinHLLAPI storage manager - request %u, length %u", request, *length);
    std::shared_ptr<StoragePool> pool = ThePool();
    if (!pool) {
        *returnCode = HLLAPI_RC_SYSTEM_ERROR;
        return;
    }
    platform::MutexHold hold(pool->mutex(), platform::kInfinite);
    if (!hold.held()) {
        TRV_TRACE("WinHLLAPI storage manager - pool mutex not taken");
        *returnCode = HLLAPI_RC_SYSTEM_ERROR;
        return;
    }
    switch (request) {
        case kGetStorage: {
            if (data == nullptr) {
                *returnCode = HLLAPI_RC_BAD_PARAMETER;
                return;
            }
            const StorageBlock* block = pool->Take(*length);
            WriteAddress(data, block);
            *length = block != nullptr ? block->id : 0;
            *returnCode = block != nullptr ? HLLAPI_RC_SUCCESS : kNothingFits;
            return;
        }
        case kFreeStorage:
            *returnCode = pool->Free(*length) ? HLLAPI_RC_SUCCESS : HLLAPI_RC_BAD_PARAMETER;
            return;
        case kQueryFreeStorage: {
            const StorageBlock* merged = pool->Merge();
            *length = merged != nullptr ? merged->size : 0;
            *returnCode = merged != nullptr ? HLLAPI_RC_SUCCESS : kNothingFits;
            return;
        }
        case kFreeAllStorage:
            pool->FreeAll();
            *returnCode = HLLAPI_RC_SUCCESS;
            return;
        default:
            return;
    }
}

void DestroyStoragePool() {
    std::shared_ptr<StoragePool> pool;
    {
        std::lock_guard<std::mutex> lock(g_poolLock);
        pool.swap(g_pool);
    }
}

}  // namespace trv::compat
