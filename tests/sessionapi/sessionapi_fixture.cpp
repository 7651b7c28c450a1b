// The test process as a session-API caller: attached once for the whole
// binary in a namespace of named objects of its own, so that other test
// runs of the same user do not meet its service thread.
#include "sessionapi_fixture.h"

#include <gtest/gtest.h>

#include "support/attached_caller.h"
#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/process.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "tables/qmxapi_list.h"

namespace trv::test {
namespace {

[[maybe_unused]] testing::Environment* const g_attached =
    testing::AddGlobalTestEnvironment(new AttachedCaller("sessionapi-tests"));

}  // namespace

std::string ResponderReadyEventName() { return UniqueName("qmx_ready"); }
std::string ResponderHeldEventName() { return UniqueName("qmx_held"); }

Responder::Responder()
    : readyEvent_(platform::CreateNamedEvent(false, ResponderReadyEventName().c_str())),
      heldEvent_(platform::CreateNamedEvent(false, ResponderHeldEventName().c_str())) {
    process_ = std::make_unique<RoleProcess>("qmx_responder");
    ready_ = process_->started() &&
             platform::WaitForEvent(readyEvent_.get(), kTestLimitMs) == platform::kWaitObject0;
    if (ready_) serviceThread_ = Control().QMXAPIThreadId.load();
}

Responder::~Responder() {
    if (!stopped_) Stop();
}

bool Responder::WaitHeld() {
    return platform::WaitForEvent(heldEvent_.get(), kTestLimitMs) == platform::kWaitObject0;
}

int Responder::Stop() {
    stopped_ = true;
    if (serviceThread_ != 0) platform::PostToThread(serviceThread_, platform::kQuitMessage, 0, 0);
    return process_->Wait(kTestLimitMs);
}

void ForgetOwnRecord() {
    if (QMXAPIList* table = QMXAPITable()) {
        table->RemoveQMXAPIBlock(platform::CurrentProcessId(), platform::CurrentThreadId());
    }
}

CallerThread::CallerThread(std::function<void()> body)
    : TestThread([body = std::move(body)] {
          body();
          ForgetOwnRecord();
      }) {}


}  // namespace trv::test
