// The responder: a child process that plays the emulator's QMXAPI service
// thread at the protocol level, without Java: it publishes its thread id in
// the control record once its queue exists, reads "PROCESS_QMXAPICALL"
// messages, turns the atom back into the record's name, writes the scripted
// reply (sessionapi_fixture.h) into the caller's record and signals the
// record's event by its name.
#include <cstring>
#include <string>

#include "platform/atom.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/thread.h"
#include "sessionapi_fixture.h"
#include "library/process_lifecycle.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "tables/qmxapi_list.h"

namespace trv::test {
namespace {

constexpr std::uint32_t kResponderLifeMs = 60000;

std::uint32_t TextLength(const QMXAPIBlock& record) {
    const void* end = std::memchr(record.Text, '\0', sizeof record.Text);
    return end != nullptr ? static_cast<std::uint32_t>(static_cast<const char*>(end) - record.Text)
                          : static_cast<std::uint32_t>(sizeof record.Text);
}

void Answer(QMXAPIBlock& record) {
    const char letter = record.ShortName;
    switch (record.Request) {
        case kQMXStartSession:
            record.Result = (static_cast<std::uint32_t>(static_cast<unsigned char>(letter)) << 24) |
                            (TextLength(record) << 8) |
                            (record.WindowMode & 0xFF);
            break;
        case kQMXStopSession:
            record.Result = letter == 'A' ? 1 : 0;
            break;
        case kQMXConnectSession:
        case kQMXDisconnectSession:
            record.Result = letter == 'B' ? 1 : 0;
            break;
        case kQMXQuerySessionList:
            std::memset(record.SessionList, 0xEE, sizeof record.SessionList);
            for (std::uint32_t i = 0; i < kListedSessions; ++i) {
                QMXAPISessionEntry entry{static_cast<char>('A' + i), {'x', 'y', 'z'}, 0x100 * (i + 1)};
                std::memcpy(record.SessionList + i * sizeof entry, &entry, sizeof entry);
            }
            record.Result = kListedSessions;
            break;
        case kQMXQueryEmulatorStatus:
            record.Result = 0x1000u | static_cast<unsigned char>(letter);
            break;
        case kQMXQueryWorkstationProfile:
            if (letter == 'C') {
                std::memset(record.Text, 0, sizeof record.Text);
                std::strcpy(record.Text, kProfileOfC);
                record.Result = 1;
            } else {
                record.Result = 0;
            }
            break;
        case kQMXQueryConnectionInfo:
            record.Result = 0;
            break;
        case kQMXSetLinkTimeout:
            record.Result = static_cast<unsigned char>(letter);
            break;
        default:
            break;
    }
}

void Serve(std::uintptr_t atom) {
    char name[33] = {};
    platform::GetGlobalAtomName(static_cast<std::uint16_t>(atom), name, 32);
    QMXAPIBlock* record = QMXAPITable()->GetQMXAPIBlock(name);
    if (record == nullptr) return;
    if (record->Request == kQMXStopSession && record->ShortName == kHoldLetter) {
        platform::UniqueHandle held(platform::OpenNamedEvent(ResponderHeldEventName().c_str()));
        platform::SignalEvent(held.get());
        platform::SleepMs(kResponderLifeMs);  // the test kills this process meanwhile
        return;
    }
    Answer(*record);
    char eventName[kQMXAPINameSize + 1] = {};
    std::memcpy(eventName, record->EventName, kQMXAPINameSize);
    platform::UniqueHandle reply(platform::OpenNamedEvent(eventName));
    platform::SignalEvent(reply.get());
}

}  // namespace

TRV_CHILD_ROLE(qmx_responder) {
    OnProcessAttach();
    if (QMXAPITable() == nullptr) return 3;
    platform::EnsureMessageQueue();
    const std::uint32_t self = platform::CurrentThreadId();
    Control().QMXAPIThreadId.store(self);
    {
        platform::UniqueHandle ready(platform::OpenNamedEvent(ResponderReadyEventName().c_str()));
        platform::SignalEvent(ready.get());
    }
    const std::uint32_t requestMessage = Control().ControlMessage.load();
    const std::uint32_t started = platform::TickCount();
    while (platform::TickCount() - started < kResponderLifeMs) {
        platform::ThreadMessage message;
        const platform::MessageWait got = platform::GetThreadMessage(message, 500);
        if (got == platform::MessageWait::quit || got == platform::MessageWait::failed) break;
        if (got == platform::MessageWait::message && message.message == requestMessage) {
            Serve(message.wParam);
        }
    }
    std::uint32_t expected = self;
    Control().QMXAPIThreadId.compare_exchange_strong(expected, 0);
    AlertWaitingQMXAPIBlocks();
    OnProcessDetach();
    return 0;
}

}  // namespace trv::test
