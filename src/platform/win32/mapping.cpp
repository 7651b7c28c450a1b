// Named mappings backed by the paging file. A mapping lives while some
// process holds a handle to it or a view of it; the system zero-fills a new
// one.
#include "platform/mapping.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {

CreatedMapping CreateNamedMapping(const char* name, std::size_t size) {
    CreatedMapping result;
    const auto size64 = static_cast<std::uint64_t>(size);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(size64 >> 32),
                                        static_cast<DWORD>(size64 & 0xFFFFFFFFu), name);
    // Read at once: ERROR_ALREADY_EXISTS is left by a successful call.
    const DWORD error = GetLastError();
    if (mapping == nullptr) {
        win32::RecordError(error);
        return result;
    }
    result.handle = win32::FromNative(mapping);
    result.existed = error == ERROR_ALREADY_EXISTS;
    return result;
}

Handle OpenNamedMapping(const char* name) {
    if (name == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return kNoHandle;
    }
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (mapping == nullptr) win32::RecordLastError();
    return win32::FromNative(mapping);
}

void* MapView(Handle mapping, std::size_t size) {
    if (mapping == kNoHandle) {
        win32::RecordError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* view = MapViewOfFile(win32::ToNative(mapping), FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (view == nullptr) win32::RecordLastError();
    return view;
}

void UnmapView(void* view, std::size_t /*size*/) {
    if (view == nullptr) return;
    if (!UnmapViewOfFile(view)) win32::RecordLastError();
}

}  // namespace trv::platform
