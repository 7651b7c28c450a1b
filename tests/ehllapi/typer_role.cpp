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
//
// The typer (ehllapi_typer): an operator typing on the session while a caller
// intercepts its keys. It types through the emulator's own keystroke native
// (with a stand-in for the Java side), so the keys are queued as the
// emulator queues them; it holds back while the first intercepting caller's
// queue is nearly a third full, so that no key is dropped for lack of room.
// args: the session letter, the number of keys (key i as in kKeyAlphabet).
#include <cstring>
#include <string>

#include "bridge/hll_bridge_natives.h"
#include "ehllapi_fixture.h"
#include "platform/clock.h"
#include "support/jni_double.h"
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

TRV_CHILD_ROLE(ehllapi_typer) {
    if (args.size() < 2 || args[0].empty()) return 2;
    OnProcessAttach();
    if (Sessions() == nullptr || Applications() == nullptr) return 3;
    const char letter = args[0][0];
    const int slot = letter - 'A';
    const int keys = std::stoi(args[1]);
    const SessionBlock session = Sessions()->GetSession(letter);
    if (session.Established == 0 || session.KeyNotifyCount < 1) return 4;
    const ApplicationBlock* caller = Listed(session.KeyNotifyList[0]);
    if (caller == nullptr) return 5;
    const int base = static_cast<int>(std::strlen(kKeyAlphabet));
    FakeJvm jvm;
    jvm.AttachCurrentThreadAsJava();
    int result = 0;
    for (int i = 0; i < keys && result == 0; ++i) {
        while (caller->QueuedKeys(slot) + 1 >= caller->KeyQueueLimit[slot] / 3) platform::SleepMs(1);
        const int number = i % kTypedKeyNumbers;
        const std::u16string key = {static_cast<char16_t>(kKeyAlphabet[number % base]),
                                    static_cast<char16_t>(kKeyAlphabet[number / base])};
        jstring text = jvm.NewString(key);
        if (Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendKeyNotifications(
                jvm.env(), nullptr, static_cast<jchar>(letter), text) != JNI_TRUE) {
            result = 6;
        }
        jvm.env()->DeleteLocalRef(text);
    }
    jvm.DetachCurrentThreadAsJava();
    OnProcessDetach();
    return result;
}

// Runs the notifier for `letter` and `event`; answers its exit code.
int Notify(char letter, const std::string& event) {
    RoleProcess notifier("ehllapi_notifier", RoleArgs{std::string(1, letter), event});
    return notifier.started() ? notifier.Wait(kTestLimitMs) : -1;
}

}  // namespace trv::test
