// The session API's part of process attach and detach: nothing to set up at
// attach; at detach the session-API record of the detaching thread is freed.
#include "sessionapi/process_hooks.h"

#include "platform/thread.h"
#include "shared/process_state.h"
#include "tables/qmxapi_list.h"

namespace trv::hooks {

void SessionAPIAttach() {}

void SessionAPIDetach() {
    QMXAPIList* table = QMXAPITable();
    if (table == nullptr) return;
    table->RemoveQMXAPIBlock(platform::CurrentProcessId(), platform::CurrentThreadId());
}

}  // namespace trv::hooks
