// A buffer of exactly `size` bytes whose last byte is followed by a page
// that may not be touched: a read or write one byte past the end faults at
// once, so a test learns of an overrun by the crash of the call that made it.
// The pages come straight from the operating system (posix/, win32/).
#pragma once

#include <cstddef>

namespace trv::test {

class GuardedBuffer {
public:
    // Filled with `fill`.
    explicit GuardedBuffer(std::size_t size, unsigned char fill = '#');
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    unsigned char* data() const { return data_; }
    char* chars() const { return reinterpret_cast<char*>(data_); }
    std::size_t size() const { return size_; }

private:
    void* mapping_ = nullptr;
    std::size_t mappedBytes_ = 0;
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace trv::test
