// EHLLAPI's part of process attach and detach: the call delay is read once,
// and the exchange blocks of the process are freed (and the request events
// kept open between calls closed) when it detaches.
#include "ehllapi/process_hooks.h"

#include "ehllapi/call_to_session.h"
#include "ehllapi/query_delay.h"
#include "platform/environment.h"
#include "platform/thread.h"
#include "shared/process_state.h"
#include "tables/cleanup.h"

namespace trv::hooks {

void EHLLAPIAttach() {
    auto value = platform::GetEnvironment("EHLLAPI_DELAY");
    SetQueryDelay(value ? ParseQueryDelay(value->c_str()) : 0);
}

void EHLLAPIDetach() {
    CloseRequestEvents();
    if (Applications() == nullptr) return;
    ApplicationDestroyed(platform::CurrentProcessId(), platform::CurrentThreadId());
}

}  // namespace trv::hooks
