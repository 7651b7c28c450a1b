// Closing any kernel-object handle of this layer (mappings, mutexes, events,
// threads, processes): every one is a Win32 HANDLE.
#include "platform/handle.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {

void CloseObject(Handle handle) {
    if (handle == kNoHandle) return;
    if (!CloseHandle(win32::ToNative(handle))) win32::RecordLastError();
}

}  // namespace trv::platform
