// EHLLAPI's part of process attach and detach: the call delay is read once,
// and when the process detaches the emulator is told that its reservations
// and intercepts end, and its exchange blocks are freed (and the request
// events kept open between calls closed).
#include "ehllapi/process_hooks.h"

#include "ehllapi/call_to_session.h"
#include "ehllapi/dispatcher.h"
#include "ehllapi/query_delay.h"
#include "platform/environment.h"
#include "platform/thread.h"
#include "shared/process_state.h"
#include "tables/application_list.h"
#include "tables/cleanup.h"
#include "tables/table_support.h"

namespace trv::hooks {

void EHLLAPIAttach() {
    auto value = platform::GetEnvironment("EHLLAPI_DELAY");
    SetQueryDelay(value ? ParseQueryDelay(value->c_str()) : 0);
}

void EHLLAPIDetach() {
    ApplicationList* applications = Applications();
    if (applications != nullptr) {
        // The emulator hears that this process's reservations and intercepts
        // end with it, before the blocks go.
        const std::uint32_t self = platform::CurrentProcessId();
        // Only blocks this process made: a block left under the same id by
        // an earlier process has a reply event that is not ours to wait on.
        for (ApplicationBlock& block : applications->Blocks) {
            if (block.ProcessId == self && IsOwnHandle(&block.ReplyEvent, block.ReplyEvent)) {
                EndEmulatorTies(block);
            }
        }
    }
    CloseRequestEvents();
    if (applications == nullptr) return;
    ApplicationDestroyed(platform::CurrentProcessId(), platform::CurrentThreadId());
}

}  // namespace trv::hooks
