// Run-time loading of DLLs.
#include "platform/library.h"
#include "platform/win32/windows_api.h"

namespace trv::platform {

LibraryHandle LoadSharedLibrary(const char* path) {
    if (path == nullptr) return nullptr;
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(path));
}

void* FindLibrarySymbol(LibraryHandle library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeSharedLibrary(LibraryHandle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace trv::platform
