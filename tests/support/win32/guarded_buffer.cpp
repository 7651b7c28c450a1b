// GuardedBuffer on Windows: VirtualAlloc'd pages, the last one made
// PAGE_NOACCESS with VirtualProtect.
#include "support/guarded_buffer.h"

#include "support/win32/windows_test.h"

#include <cstdlib>
#include <cstring>

namespace trv::test {

GuardedBuffer::GuardedBuffer(std::size_t size, unsigned char fill) : size_(size) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const std::size_t page = info.dwPageSize;
    const std::size_t usable = (size + page - 1) / page * page;
    mappedBytes_ = usable + page;
    mapping_ = VirtualAlloc(nullptr, mappedBytes_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (mapping_ == nullptr) std::abort();
    unsigned char* base = static_cast<unsigned char*>(mapping_);
    DWORD previous = 0;
    if (!VirtualProtect(base + usable, page, PAGE_NOACCESS, &previous)) std::abort();
    data_ = base + usable - size;
    std::memset(data_, fill, size);
}

GuardedBuffer::~GuardedBuffer() { VirtualFree(mapping_, 0, MEM_RELEASE); }

}  // namespace trv::test
