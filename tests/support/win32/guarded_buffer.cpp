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
    mapping_ = VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD previous = 0;
    if (mapping_ == nullptr || !VirtualProtect(static_cast<char*>(mapping_) + usable, page, PAGE_NOACCESS, &previous)) {
        std::abort();
    }
    data_ = static_cast<unsigned char*>(mapping_) + usable - size;
    std::memset(data_, fill, size);
}

GuardedBuffer::~GuardedBuffer() { VirtualFree(mapping_, 0, MEM_RELEASE); }

}  // namespace trv::test
