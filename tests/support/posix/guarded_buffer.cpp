// GuardedBuffer on POSIX: an anonymous mapping whose last page is made
// inaccessible with mprotect.
#include "support/guarded_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace trv::test {

GuardedBuffer::GuardedBuffer(std::size_t size, unsigned char fill) : size_(size) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t usable = (size + page - 1) / page * page;
    mappedBytes_ = usable + page;
    mapping_ = mmap(nullptr, mappedBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ == MAP_FAILED || mprotect(static_cast<char*>(mapping_) + usable, page, PROT_NONE) != 0) std::abort();
    data_ = static_cast<unsigned char*>(mapping_) + usable - size;
    std::memset(data_, fill, size);
}

GuardedBuffer::~GuardedBuffer() { munmap(mapping_, mappedBytes_); }

}  // namespace trv::test
