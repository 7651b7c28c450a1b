// Environment, executable name, code page and beep on POSIX. Reads and
// changes of the environment through this layer are serialised, since
// setenv may move the table that getenv walks.
#include "platform/environment.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include <unistd.h>

#include "platform/posix/system.h"
#include "platform/process.h"

namespace trv::platform {
namespace {

std::mutex& EnvironmentLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

}  // namespace

std::optional<std::string> GetEnvironment(const char* name) {
    if (name == nullptr) return std::nullopt;
    std::lock_guard lock(EnvironmentLock());
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool SetEnvironment(const char* name, const char* value) {
    if (name == nullptr || *name == '\0') {
        posix::RecordError(EINVAL);
        return false;
    }
    std::lock_guard lock(EnvironmentLock());
    int result = value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    if (result != 0) {
        posix::RecordErrno();
        return false;
    }
    return true;
}

std::string ExecutableFileName() {
    std::string path = ExecutablePath();
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint32_t AnsiCodePage() { return 1252; }

void DefaultBeep() {
    // The terminal's bell, when there is a terminal to ring.
    if (::isatty(STDERR_FILENO)) {
        ssize_t written = ::write(STDERR_FILENO, "\a", 1);
        (void)written;
    }
}

}  // namespace trv::platform
