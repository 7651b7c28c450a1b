// Loads the trvha64 library into this process the way any client does, shows
// the shared control record while it is attached, and unloads it again. With
// EHLLAPI_TRACE set, the library's trace shows the attach and detach steps.
//
//   load_library <path of libtrvha64.so or trvha64.dll>
#include <cstdio>
#include <cstring>

#include "platform/handle.h"
#include "platform/library.h"
#include "platform/mapping.h"

namespace {

void ShowControlRecord(const char* when) {
    trv::platform::UniqueHandle mapping(trv::platform::OpenNamedMapping("trvhaShared"));
    if (!mapping) {
        std::printf("%-16s no shared segment (no process has the library attached)\n", when);
        return;
    }
    auto* bytes = static_cast<const unsigned char*>(trv::platform::MapView(mapping.get(), 16));
    if (bytes == nullptr) return;
    std::uint32_t loadCount = 0;
    std::memcpy(&loadCount, bytes + 8, 4);
    std::printf("%-16s LoadCount=%u ListsReady=%u SessionsAvailable=%u\n", when, loadCount, bytes[13],
                bytes[12]);
    trv::platform::UnmapView(const_cast<unsigned char*>(bytes), 16);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: load_library <library path>\n");
        return 2;
    }
    ShowControlRecord("before load:");
    trv::platform::LibraryHandle library = trv::platform::LoadSharedLibrary(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    ShowControlRecord("while attached:");
    trv::platform::FreeSharedLibrary(library);
    ShowControlRecord("after unload:");
    return 0;
}
