// EHLLAPI's part of process attach and detach: the call delay is read once,
// and the exchange blocks of the process are freed when it detaches.
#include "ehllapi/query_delay.h"
#include "platform/environment.h"
#include "platform/thread.h"
#include "shared/process_state.h"
#include "shared/subsystem_hooks.h"
#include "tables/cleanup.h"

namespace trv::hooks {

void EHLLAPIAttach() {
    auto value = platform::GetEnvironment("EHLLAPI_DELAY");
    SetQueryDelay(value ? ParseQueryDelay(value->c_str()) : 0);
}

void EHLLAPIDetach() {
    if (Applications() == nullptr) return;
    ApplicationDestroyed(platform::CurrentProcessId(), platform::CurrentThreadId());
}

}  // namespace trv::hooks
