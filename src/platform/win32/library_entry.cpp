// Library entry on Windows: process attach and detach; thread attach and
// detach do nothing. The entry always reports success.
#include "platform/library_entry.h"
#include "platform/win32/windows_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            trv::platform::LibraryAttached();
            break;
        case DLL_PROCESS_DETACH:
            trv::platform::LibraryDetached();
            break;
        default:
            break;
    }
    return TRUE;
}
