// The responder registers sessions as the emulator's registration does and
// serves their requests at the protocol level; asked by Notify, it reports a
// session's events through the emulator's own notification natives.
#include "ehllapi_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/hll_bridge_natives.h"
#include "library/process_lifecycle.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "support/test_sessions.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "tables/session_parms.h"

namespace trv::test {
namespace {

// The test process is a caller for the whole binary, in a namespace of its own.
[[maybe_unused]] testing::Environment* const g_attached =
    testing::AddGlobalTestEnvironment(new AttachedCaller("ehllapi-tests"));

// A bound on a responder orphaned by a test binary that died, which then
// asks nothing more of it: as long as the binary's own time limit.
constexpr std::uint32_t kResponderLifeMs = 300000;
constexpr std::uint32_t kScreenBytes = 1920;
constexpr const char* kEvents[] = {"wait", "ps", "oia", "close"};

// The events between a test and its responder, by what they carry.
std::string EventName(const std::string& what) { return UniqueName("ehl_" + what); }
std::string NotifyEventName(char letter, const std::string& event) {
    return EventName(std::string("notify_") + letter + event);
}

void SignalByName(const std::string& name) {
    platform::UniqueHandle event(platform::OpenNamedEvent(name.c_str()));
    platform::SignalEvent(event.get());
}

void WriteText(ApplicationBlock& block, const char* text, std::size_t size) {
    std::memset(block.Data, 0, sizeof block.Data);
    std::memcpy(block.Data, text, size);
}

// The script of replies, by function, from the position word that travels
// in ReturnCode. Any function not listed answers DataLength = the number of
// non-zero bytes of Data, so that a test sees what reached the emulator.
void Answer(ApplicationBlock& block, char letter) {
    const std::int32_t position = static_cast<std::int32_t>(block.ReturnCode);
    block.ReturnCode = 0;
    switch (block.Function) {
        case HA_COPY_PS:
            // As the emulator's handler: the length it asks the copy for is
            // tripled by STREOT, the screen delivered is the screen.
            for (std::uint32_t i = 0; i < kScreenBytes; ++i) block.Data[i] = static_cast<std::uint8_t>('A' + i % 26);
            block.DataLength = (block.SessionParms & parms::kStrEot) != 0 ? 3 * kScreenBytes : kScreenBytes;
            block.ReplyLength = kScreenBytes;
            block.ReplyCount = static_cast<std::int32_t>(kScreenBytes);
            break;
        case HA_SEARCH_PS:
            block.ReturnCode = 24;
            block.DataLength = 77;
            break;
        case HA_QUERY_CURSOR_LOC:
            block.DataLength = 1234;
            break;
        case HA_COPY_PS_TO_STR:
        case HA_COPY_FIELD_TO_STR:
            // A position off the screen is refused before anything is written.
            if (position < 1 || position > static_cast<std::int32_t>(kScreenBytes)) {
                block.ReturnCode = 7;
                break;
            }
            WriteText(block, "COPIED-TEXT!", 12);
            block.ReplyLength = 12;
            block.ReplyCount = position == 1 ? -1 : 5;
            break;
        case HA_QUERY_SESSIONS: {
            char entry[16] = {letter, 'S', 'E', 'S', 'S', 'I', 'O', 'N'};
            WriteText(block, entry, sizeof entry);
            break;
        }
        case HA_COPY_OIA:
            std::memset(block.Data, 'O', 104);
            block.DataLength = 104;
            break;
        case HA_QUERY_SESSION_STATUS: {
            char status[20] = {letter, 'S', 'T', 'A', 'T', 'U', 'S'};
            WriteText(block, status, sizeof status);
            block.DataLength = 20;
            break;
        }
        case HA_SET_CURSOR:
            block.ReturnCode = 516;  // raise the window
            break;
        case HA_CONVERT_POS_ROW_COL:
            block.DataLength = static_cast<std::uint32_t>(100 + (letter - 'A'));
            break;
        default:
            block.DataLength = static_cast<std::uint32_t>(
                std::count_if(std::begin(block.Data), std::end(block.Data), [](std::uint8_t b) { return b != 0; }));
            break;
    }
}

void Serve(char letter, platform::Handle held, platform::Handle go) {
    ApplicationBlock* block = CurrentCaller(letter);
    if (block == nullptr) return;
    const std::int32_t position = static_cast<std::int32_t>(block->ReturnCode);
    if (position == kHoldPosition || position == kDiePosition) {
        platform::SignalEvent(held);
        if (position == kDiePosition) {
            platform::SleepMs(kResponderLifeMs);
            return;
        }
        platform::WaitForEvent(go, kTestLimitMs);
    }
    Answer(*block, letter);
    WakeCaller(*block);
}

void Report(char letter, int event) {
    const jchar session = static_cast<jchar>(letter);
    if (event == 0) {
        Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppInterruptWait(nullptr, nullptr, session);
    } else if (event == 1) {
        Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendPSNotifications(nullptr, nullptr, session);
    } else if (event == 2) {
        Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendOIANotifications(
            nullptr, nullptr, session, Sessions()->GetSession(letter).InhibitedStatus != 0 ? JNI_TRUE : JNI_FALSE);
    } else {
        Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendClosingNotifications(nullptr, nullptr, session);
    }
    SignalByName(EventName("notified"));
}

}  // namespace

ApplicationBlock* ProcessBlock() {
    return Applications() != nullptr ? Applications()->FindApplicationBlock(platform::CurrentProcessId())
                                     : nullptr;
}

Responder::Responder(const std::string& letters)
    : held_(platform::CreateNamedEvent(false, EventName("held").c_str())),
      go_(platform::CreateNamedEvent(false, EventName("go").c_str())),
      stop_(platform::CreateNamedEvent(true, EventName("stop").c_str())) {
    platform::ClearEvent(stop_.get());
    platform::UniqueHandle ready(platform::CreateNamedEvent(false, EventName("ready").c_str()));
    process_ = std::make_unique<RoleProcess>("ehllapi_responder", RoleArgs{letters});
    ready_ = process_->started() &&
             platform::WaitForEvent(ready.get(), kTestLimitMs) == platform::kWaitObject0;
}

int Responder::Stop() {
    platform::SignalEvent(stop_.get());
    return process_->Wait(kTestLimitMs);
}

int Notify(char letter, const std::string& event) {
    platform::UniqueHandle done(platform::CreateNamedEvent(false, EventName("notified").c_str()));
    platform::UniqueHandle ask(platform::OpenNamedEvent(NotifyEventName(letter, event).c_str()));
    if (!ask) return 1;
    platform::SignalEvent(ask.get());
    return platform::WaitForEvent(done.get(), kTestLimitMs) == platform::kWaitObject0 ? 0 : 2;
}

// args[0]: the session letters to register.
TRV_CHILD_ROLE(ehllapi_responder) {
    if (args.empty()) return 2;
    OnProcessAttach();
    const std::string letters = args[0];
    std::vector<platform::Handle> requests;
    if (!RegisterTestSessions(letters, requests)) return 4;
    std::vector<platform::UniqueHandle> notifications;
    for (char letter : letters) {
        Sessions()->SetWindowHandle(letter, 0x1234);
        for (const char* event : kEvents) {
            notifications.emplace_back(platform::CreateNamedEvent(false, NotifyEventName(letter, event).c_str()));
        }
    }

    platform::UniqueHandle held(platform::OpenNamedEvent(EventName("held").c_str()));
    platform::UniqueHandle go(platform::OpenNamedEvent(EventName("go").c_str()));
    platform::UniqueHandle stop(platform::OpenNamedEvent(EventName("stop").c_str()));
    std::vector<platform::Handle> waits = requests;
    for (const platform::UniqueHandle& notification : notifications) waits.push_back(notification.get());
    waits.push_back(stop.get());
    SignalByName(EventName("ready"));
    for (;;) {
        const std::uint32_t signalled = platform::WaitForEvents(waits.size(), waits.data(), false, kResponderLifeMs);
        if (signalled < requests.size()) {
            Serve(letters[signalled], held.get(), go.get());
        } else if (signalled < requests.size() + notifications.size()) {
            const std::size_t asked = signalled - requests.size();
            Report(letters[asked / std::size(kEvents)], static_cast<int>(asked % std::size(kEvents)));
        } else {
            break;  // stop, a failed wait, or idle for a whole life
        }
    }
    OnProcessDetach();
    return 0;
}

}  // namespace trv::test
