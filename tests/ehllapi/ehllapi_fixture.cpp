// The test process as an EHLLAPI caller: attached once for the whole binary,
// with error boxes unattended, in a namespace of named objects of its own
// (POSIX): one per test executable, so that the tests of other binaries and
// of other build trees neither see its sessions nor lend it theirs, while
// the objects a killed run left behind are still reclaimed by the next run.
#include "ehllapi_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "platform/environment.h"
#include "platform/process.h"
#include "library/process_lifecycle.h"
#include "shared/process_state.h"
#include "support/attached_caller.h"
#include "tables/application_list.h"
#include "tables/cleanup.h"

namespace trv::test {
namespace {

[[maybe_unused]] testing::Environment* const g_attached =
    testing::AddGlobalTestEnvironment(new AttachedCaller("ehllapi-tests"));

platform::Handle CreateEvent(const std::string& name, bool manualReset) {
    return platform::CreateNamedEvent(manualReset, name.c_str());
}

}  // namespace

std::string ReadyEventName() { return UniqueName("ehl_ready"); }
std::string HeldEventName() { return UniqueName("ehl_held"); }
std::string GoEventName() { return UniqueName("ehl_go"); }
std::string StopEventName() { return UniqueName("ehl_stop"); }
std::string NotifyEventName(char letter, const std::string& event) {
    return UniqueName(std::string("ehl_notify_") + letter + event);
}
std::string NotifiedEventName() { return UniqueName("ehl_notified"); }

ApplicationBlock* ProcessBlock() {
    return Applications() != nullptr ? Applications()->FindApplicationBlock(platform::CurrentProcessId())
                                     : nullptr;
}


Responder::Responder(const std::string& letters)
    : ready_event_(CreateEvent(ReadyEventName(), false)),
      held_(CreateEvent(HeldEventName(), false)),
      go_(CreateEvent(GoEventName(), false)),
      stop_(CreateEvent(StopEventName(), true)) {
    platform::ClearEvent(stop_.get());
    process_ = std::make_unique<RoleProcess>("ehllapi_responder", RoleArgs{letters});
    ready_ = process_->started() &&
             platform::WaitForEvent(ready_event_.get(), kTestLimitMs) == platform::kWaitObject0;
}

Responder::~Responder() { Stop(); }

bool Responder::WaitHeld() {
    return platform::WaitForEvent(held_.get(), kTestLimitMs) == platform::kWaitObject0;
}

void Responder::Go() { platform::SignalEvent(go_.get()); }

int Responder::Stop() {
    platform::SignalEvent(stop_.get());
    return process_->Wait(kTestLimitMs);
}


}  // namespace trv::test
