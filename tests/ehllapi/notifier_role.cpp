// The notifier: a child process that tells the callers of a session about
// an emulator event the way the emulator's notification path does, reaching
// them through the session's lists and its events by name:
//   wait   signals the session's wait event (input no longer inhibited)
//   ps     flags PSUpdated in the host-notification callers that asked for
//          the presentation space, posts "QMXHLL" to those in message form,
//          signals the presentation-space and both-kinds events
//   oia    the same for the status line
//   close  flags CloseRequested in the close-intercept callers, posts to
//          those in message form, signals the close event
// args: the session letter, the event.
#include <string>

#include "ehllapi_fixture.h"
#include "platform/event.h"
#include "platform/window.h"
#include "library/process_lifecycle.h"
#include "protocol/notification.h"
#include "shared/process_state.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv::test {
namespace {


void Signal(const char (&name)[kBlockNameSize]) {
    char terminated[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(terminated, name);
    platform::UniqueHandle event(platform::OpenNamedEvent(terminated));
    platform::SignalEvent(event.get());
}

ApplicationBlock* Listed(const char (&entry)[kBlockNameSize]) {
    char name[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(name, entry);
    return Applications()->GetApplicationBlock(name);
}

void NotifyHost(const SessionBlock& session, std::uint32_t bit, std::uint8_t ApplicationBlock::*flag,
                std::intptr_t param) {
    const int slot = session.ShortName - 'A';
    for (int i = 0; i < UsedNotifyEntries(session.HostNotifyCount); ++i) {
        ApplicationBlock* caller = Listed(session.HostNotifyList[i]);
        if (caller == nullptr || (caller->HostUpdateNotifyType[slot] & bit) == 0) continue;
        caller->*flag = 1;
        if ((caller->HostUpdateNotifyType[slot] & kNotifyByMessage) != 0) {
            platform::PostWindowMessage(caller->HostNotifyHandle[slot], Process().notifyMessage,
                                        kNotifyWParamBase + static_cast<std::uintptr_t>(i), param);
        }
    }
}

}  // namespace

TRV_CHILD_ROLE(ehllapi_notifier) {
    if (args.size() < 2 || args[0].empty()) return 2;
    OnProcessAttach();
    if (Sessions() == nullptr || Applications() == nullptr) return 3;
    const SessionBlock session = Sessions()->GetSession(args[0][0]);
    if (session.Established == 0) return 4;
    const std::string& event = args[1];
    int result = 0;
    if (event == "wait") {
        Signal(session.WaitEventName);
    } else if (event == "ps") {
        NotifyHost(session, kNotifyPS, &ApplicationBlock::PSUpdated, kPSUpdateLParam);
        Signal(session.PSEventName);
        Signal(session.BothEventName);
    } else if (event == "oia") {
        NotifyHost(session, kNotifyOIA, &ApplicationBlock::OIAUpdated, kOIAUpdateLParam);
        Signal(session.OIAEventName);
        Signal(session.BothEventName);
    } else if (event == "close") {
        const int slot = session.ShortName - 'A';
        for (int i = 0; i < UsedNotifyEntries(session.CloseNotifyCount); ++i) {
            ApplicationBlock* caller = Listed(session.CloseNotifyList[i]);
            if (caller == nullptr) continue;
            caller->CloseRequested = 1;
            if (caller->CloseInterceptMode[slot] == kCloseByMessage) {
                platform::PostWindowMessage(caller->CloseInterceptHandle[slot], Process().notifyMessage,
                                            kNotifyWParamBase + static_cast<std::uintptr_t>(i), kCloseAttemptLParam);
            }
        }
        Signal(session.CloseEventName);
    } else {
        result = 5;
    }
    OnProcessDetach();
    return result;
}

// Runs the notifier for `letter` and `event`; answers its exit code.
int Notify(char letter, const std::string& event) {
    RoleProcess notifier("ehllapi_notifier", RoleArgs{std::string(1, letter), event});
    return notifier.started() ? notifier.Wait(kTestLimitMs) : -1;
}

}  // namespace trv::test
