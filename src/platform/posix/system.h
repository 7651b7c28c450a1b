// Private helpers of the POSIX backend: recording errno as the thread's last
// error, retrying calls interrupted by a signal, and an owning file
// descriptor. Every descriptor this backend opens is close-on-exec, so that a
// child process never inherits (and keeps alive) a lock of its parent.
#pragma once

#include <cerrno>
#include <cstdint>
#include <utility>

#include <unistd.h>

namespace trv::platform::posix {

// Sets the calling thread's LastError().
void RecordError(int code);

// Records the current errno; call it on the line after the failing call.
inline int RecordErrno() {
    int code = errno;
    RecordError(code);
    return code;
}

// Runs `call` again for as long as it fails with EINTR; answers its last result.
template <typename Call>
auto RetryOnInterrupt(Call call) -> decltype(call()) {
    for (;;) {
        auto result = call();
        if (result != -1 || errno != EINTR) return result;
    }
}

// Move-only owner of a file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        int old = std::exchange(fd_, fd);
        if (old >= 0) ::close(old);  // close is not retried: the descriptor is gone either way
    }

private:
    int fd_ = -1;
};

// True when thread `tid` is alive and belongs to process `pid`.
bool IsThreadOf(std::uint32_t pid, std::uint32_t tid);

}  // namespace trv::platform::posix
