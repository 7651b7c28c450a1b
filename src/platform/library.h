// Loading a shared library at run time and finding its exports.
#pragma once

#include <string>

namespace trv::platform {

using LibraryHandle = void*;

// nullptr on failure.
LibraryHandle LoadSharedLibrary(const char* path);
void* FindLibrarySymbol(LibraryHandle library, const char* name);
void FreeSharedLibrary(LibraryHandle library);

}  // namespace trv::platform
