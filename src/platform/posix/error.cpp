// LastError() on POSIX: the errno value of the calling thread's last failed
// call of this layer, recorded at the failing call.
#include "platform/error.h"

#include <csignal>

#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix/system.h"

namespace trv::platform {
namespace {

thread_local std::uint32_t lastError = 0;

}  // namespace

std::uint32_t LastError() { return lastError; }

namespace posix {

void RecordError(int code) { lastError = static_cast<std::uint32_t>(code); }

bool IsThreadOf(std::uint32_t pid, std::uint32_t tid) {
    if (pid == 0 || tid == 0) return false;
    // Signal 0 checks existence only; tgkill also checks that the thread is
    // one of `pid`'s, so a reused thread id in another process does not count.
    return ::syscall(SYS_tgkill, static_cast<pid_t>(pid), static_cast<pid_t>(tid), 0) == 0;
}

}  // namespace posix
}  // namespace trv::platform
