// Library entry on Windows: process attach and detach; thread attach and
// detach do nothing. The entry always reports success.
#include "platform/win32/windows_api.h"
#include "library/process_lifecycle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            trv::OnProcessAttach();
            break;
        case DLL_PROCESS_DETACH:
            trv::OnProcessDetach();
            break;
        default:
            break;
    }
    return TRUE;
}
