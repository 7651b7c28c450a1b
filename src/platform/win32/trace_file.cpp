// The trace file, opened for appending with write sharing denied: while one
// process has it open, a second opener is refused by the system.
#include "platform/trace_file.h"

#include <share.h>

#include "platform/win32/windows_api.h"

namespace trv::platform {

std::FILE* OpenTraceFile(const char* path) {
    if (path == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::FILE* file = _fsopen(path, "a", _SH_DENYWR);
    if (file == nullptr) win32::RecordLastError();
    return file;
}

void CloseTraceFile(std::FILE* file) {
    if (file != nullptr) std::fclose(file);
}

char PathSeparator() { return '\\'; }

}  // namespace trv::platform
