// The trace file on POSIX: opened for append and locked with a non-blocking
// exclusive flock, which stands in for the Win32 share mode: a second opener
// (another process, or this one again) is refused. The lock goes with the
// file's last descriptor, so it also ends when the process dies.
#include "platform/trace_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/posix/system.h"

namespace trv::platform {

std::FILE* OpenTraceFile(const char* path) {
    if (path == nullptr || *path == '\0') {
        posix::RecordError(EINVAL);
        return nullptr;
    }
    posix::UniqueFd fd(posix::RetryOnInterrupt(
        [&] { return ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644); }));
    if (!fd) {
        posix::RecordErrno();
        return nullptr;
    }
    if (posix::RetryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0) {
        posix::RecordErrno();  // EWOULDBLOCK: another opener has it
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd.get(), "a");
    if (file == nullptr) {
        posix::RecordErrno();
        return nullptr;
    }
    fd.release();
    return file;
}

void CloseTraceFile(std::FILE* file) {
    if (file != nullptr) std::fclose(file);
}

char PathSeparator() { return '/'; }

}  // namespace trv::platform
