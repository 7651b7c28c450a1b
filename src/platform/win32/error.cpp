// LastError() on Windows: the GetLastError() code of the last failed call of
// this layer on the calling thread, kept apart from the thread's own Win32
// error slot so that later successful calls elsewhere do not clear it.
#include "platform/error.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

thread_local std::uint32_t lastError = 0;

}  // namespace

std::uint32_t LastError() { return lastError; }

namespace win32 {

void RecordLastError() { lastError = GetLastError(); }
void RecordError(DWORD code) { lastError = code; }

}  // namespace win32
}  // namespace trv::platform
