// The test process as a WinHLLAPI caller (attach runs the WinHLLAPI hook too), in a namespace of named objects of
// its own (POSIX), and the responder child of compat_fixture.h.
#include "compat_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "bridge/hll_bridge_natives.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/event.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "shared/named_objects.h"
#include "library/process_lifecycle.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "support/attached_caller.h"
#include "support/test_sessions.h"
#include "tables/application_list.h"
#include "tables/cleanup.h"
#include "tables/session_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

constexpr std::uint32_t kResponderLifeMs = 60000;

std::string ReadyName() { return UniqueName("compat_ready"); }
std::string StopName() { return UniqueName("compat_stop"); }
std::string NotifyName() { return UniqueName("compat_notify"); }

void Attach() { AttachInPrivateNamespace("compat-tests"); }

[[maybe_unused]] testing::Environment* const g_attached =
    testing::AddGlobalTestEnvironment(new AttachedCaller("compat-tests"));

void Put16(std::uint8_t* at, std::uint16_t value) { std::memcpy(at, &value, sizeof value); }

void Answer(ApplicationBlock& block, char letter) {
    std::uint8_t request[4];
    std::memcpy(request, block.Data, sizeof request);
    block.ReturnCode = 0;
    switch (block.Function) {
        case HA_QUERY_SESSION_STATUS: {
            std::memset(block.Data, 0, 20);
            std::memcpy(block.Data, request, sizeof request);
            const char name[8] = {'S', 'T', 'A', 'T', 'U', 'S', letter, '!'};
            std::memcpy(block.Data + 4, name, sizeof name);
            block.Data[12] = 'D';
            block.Data[13] = 'X';
            Put16(block.Data + 14, 24);
            Put16(block.Data + 16, 80);
            Put16(block.Data + 18, 1252);
            block.DataLength = 20;
            break;
        }
        default:
            break;
    }
}

void Serve(char letter) {
    ApplicationBlock* block = CurrentCaller(letter);
    if (block == nullptr) return;
    Answer(*block, letter);
    WakeCaller(*block);
}

}  // namespace


CompatResponder::CompatResponder(const std::string& letters)
    : readyEvent_(platform::CreateNamedEvent(false, ReadyName().c_str())),
      stop_(platform::CreateNamedEvent(true, StopName().c_str())),
      notify_(platform::CreateNamedEvent(false, NotifyName().c_str())) {
    platform::ClearEvent(stop_.get());
    process_ = std::make_unique<RoleProcess>("compat_responder", RoleArgs{letters});
    ready_ = process_->started() && platform::WaitForEvent(readyEvent_.get(), kTestLimitMs) == platform::kWaitObject0;
}

void CompatResponder::Notify() { platform::SignalEvent(notify_.get()); }

CompatResponder::~CompatResponder() {
    platform::SignalEvent(stop_.get());
    process_->Wait(kTestLimitMs);
}

// args[0]: the session letters to register.
TRV_CHILD_ROLE(compat_responder) {
    if (args.empty()) return 2;
    Attach();
    const std::string letters = args[0];
    std::vector<platform::Handle> waits;
    if (!RegisterTestSessions(letters, waits)) return 4;
    for (char letter : letters) Sessions()->SetWindowHandle(letter, 0x1234);
    platform::UniqueHandle stop(platform::OpenNamedEvent(StopName().c_str()));
    platform::UniqueHandle notify(platform::OpenNamedEvent(NotifyName().c_str()));
    waits.push_back(stop.get());
    waits.push_back(notify.get());
    {
        platform::UniqueHandle ready(platform::OpenNamedEvent(ReadyName().c_str()));
        platform::SignalEvent(ready.get());
    }
    const std::uint32_t started = platform::TickCount();
    while (platform::TickCount() - started < kResponderLifeMs) {
        const std::uint32_t signalled = platform::WaitForEvents(waits.size(), waits.data(), false, 500);
        if (signalled == platform::kWaitTimeout) continue;
        if (signalled == letters.size() + 1) {
            // The emulator's natives, as it calls them; they use no JNI.
            for (char letter : letters) {
                Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendPSNotifications(nullptr, nullptr, letter);
                Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendClosingNotifications(nullptr, nullptr, letter);
            }
            continue;
        }
        if (signalled >= letters.size()) break;  // stop, or the wait failed
        Serve(letters[signalled]);
    }
    OnProcessDetach();
    return 0;
}

}  // namespace trv::test
