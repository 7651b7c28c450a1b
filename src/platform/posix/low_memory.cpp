// Memory below 4 GB on Linux x86-64: anonymous mappings with MAP_32BIT, which
// the kernel places in the first 2 GB of the address space.
#include "platform/low_memory.h"

#include <sys/mman.h>

#include "platform/posix/system.h"

namespace trv::platform {

void* AllocateLowMemory(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (memory == MAP_FAILED) {
        posix::RecordErrno();
        return nullptr;
    }
    return memory;
}

void FreeLowMemory(void* memory, std::size_t bytes) {
    if (memory == nullptr) return;
    if (munmap(memory, bytes) != 0) posix::RecordErrno();
}

}  // namespace trv::platform
