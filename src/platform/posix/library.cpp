// Run-time loading of shared objects with dlopen.
#include "platform/library.h"

#include <dlfcn.h>

namespace trv::platform {

LibraryHandle LoadSharedLibrary(const char* path) {
    if (path == nullptr) return nullptr;
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* FindLibrarySymbol(LibraryHandle library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return dlsym(library, name);
}

void FreeSharedLibrary(LibraryHandle library) {
    if (library != nullptr) dlclose(library);
}

}  // namespace trv::platform
