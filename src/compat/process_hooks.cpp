// The WinHLLAPI entries' part of process attach and detach: the completion
// messages are registered at attach; at detach the asynchronous workers are
// awaited and the storage pool is destroyed.
#include "compat/process_hooks.h"
#include "compat/storage_manager.h"
#include "compat/winhllapi.h"

namespace trv::hooks {

void WinHLLAPIAttach() {
    compat::AllowAsyncWorkers();
    compat::RegisterAsyncMessages();
}

void WinHLLAPIDetach() {
    compat::StopAsyncWorkers();
    compat::DestroyStoragePool();
}

}  // namespace trv::hooks
