// The screen responder of screen_responder.h: the child role and the test
// process's handle on it.
#include "screen_responder.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/hll_bridge_natives.h"
#include "library/process_lifecycle.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "protocol/caller_data.h"
#include "support/test_sessions.h"
#include "trvha64.h"

namespace trv::test {
namespace {

constexpr std::uint32_t kResponderLifeMs = 120000;
constexpr int kRows = 24;
constexpr int kColumns = 80;
constexpr int kScreenSize = kRows * kColumns;

std::string ReadyName() { return UniqueName("screen_ready"); }
std::string StopName() { return UniqueName("screen_stop"); }
std::string NotifyName() { return UniqueName("screen_notify"); }

struct Screen {
    std::string text = std::string(kScreenSize, ' ');
    int cursor = 1;

    Screen() {
        std::memcpy(text.data(), "MAIN MENU", 9);
        text[kColumns] = '\x1F';
    }
    static int RowStart(int position) { return ((position - 1) / kColumns) * kColumns + 1; }
    void Write(int position, const std::string& data) {
        if (position < 1 || position > kScreenSize) return;
        text.replace(static_cast<std::size_t>(position - 1), data.size(), data);
        text.resize(kScreenSize);
    }
};

// The replies, by function, from the position that travels in ReturnCode
// and the text (up to its NUL) or buffer length in DataLength.
void Answer(ApplicationBlock& block, Screen& screen) {
    const int position = static_cast<int>(block.ReturnCode);
    const std::size_t length = std::min<std::size_t>(block.DataLength, sizeof block.Data);
    const auto* data = reinterpret_cast<const char*>(block.Data);
    const std::string text(data, strnlen(data, length));
    block.ReturnCode = 0;
    switch (block.Function) {
        case HA_SENDKEY:
            screen.Write(screen.cursor, text);
            screen.cursor += static_cast<int>(text.size());
            break;
        case HA_SEARCH_PS:
        case HA_SEARCH_FIELD: {
            // Search Field looks in the position's row only.
            const bool field = block.Function == HA_SEARCH_FIELD;
            const int start = field ? Screen::RowStart(position) : 1;
            const std::size_t at = screen.text.substr(start - 1, field ? kColumns : kScreenSize).find(text);
            if (at == std::string::npos) block.ReturnCode = 24;
            else block.DataLength = static_cast<std::uint32_t>(start + static_cast<int>(at));
            break;
        }
        case HA_QUERY_CURSOR_LOC:
            block.DataLength = static_cast<std::uint32_t>(screen.cursor);
            break;
        case HA_SET_CURSOR:
            screen.cursor = position;
            break;
        case HA_COPY_PS_TO_STR:
        case HA_COPY_FIELD_TO_STR: {
            // The field is the position's row.
            const int from = block.Function == HA_COPY_FIELD_TO_STR ? Screen::RowStart(position) : position;
            const std::string part = screen.text.substr(static_cast<std::size_t>(from - 1), length);
            std::memcpy(block.Data, part.data(), part.size());
            block.ReplyLength = static_cast<std::uint32_t>(part.size());
            break;
        }
        case HA_COPY_OIA:
            std::memset(block.Data, 0, 104);
            block.Data[0] = '9';
            block.Data[89] = 0x04;
            block.DataLength = 103;
            break;
        case HA_QUERY_FIELD_ATTR:
            block.DataLength = position <= 12 * kColumns ? 0x24 : 0x08;
            break;
        case HA_COPY_STR_TO_PS:
        case HA_COPY_STR_TO_FIELD:
            screen.Write(block.Function == HA_COPY_STR_TO_FIELD ? Screen::RowStart(position) : position, text);
            break;
        case HA_QUERY_SESSION_STATUS: {
            QuerySessionStatusReply reply{};
            reply.ShortName = static_cast<char>(block.Data[0]);
            reply.SessionType = 'D';
            reply.Rows = kRows;
            reply.Columns = kColumns;
            std::memcpy(block.Data, &reply, sizeof reply);
            block.DataLength = sizeof reply;
            break;
        }
        case HA_FIND_FIELD_POS:
            block.DataLength = static_cast<std::uint32_t>(Screen::RowStart(position) + kColumns);
            break;
        case HA_FIND_FIELD_LEN:
            block.DataLength = kColumns;
            break;
        default:
            break;
    }
}

}  // namespace

ScreenResponder::ScreenResponder()
    : stop_(platform::CreateNamedEvent(true, StopName().c_str())),
      notify_(platform::CreateNamedEvent(false, NotifyName().c_str())) {
    platform::UniqueHandle readyEvent(platform::CreateNamedEvent(false, ReadyName().c_str()));
    platform::ClearEvent(stop_.get());
    process_ = std::make_unique<RoleProcess>("screen_responder");
    ready_ = process_->started() && platform::WaitForEvent(readyEvent.get(), kTestLimitMs) == platform::kWaitObject0;
}

ScreenResponder::~ScreenResponder() {
    platform::SignalEvent(stop_.get());
    process_->Wait(kTestLimitMs);
}

void ScreenResponder::Notify() { platform::SignalEvent(notify_.get()); }

TRV_CHILD_ROLE(screen_responder) {
    OnProcessAttach();
    std::vector<platform::Handle> waits;
    if (!RegisterTestSessions("A", waits)) return 4;
    platform::UniqueHandle stop(platform::OpenNamedEvent(StopName().c_str()));
    platform::UniqueHandle notify(platform::OpenNamedEvent(NotifyName().c_str()));
    waits.push_back(stop.get());
    waits.push_back(notify.get());
    platform::UniqueHandle ready(platform::OpenNamedEvent(ReadyName().c_str()));
    platform::SignalEvent(ready.get());
    Screen screen;
    const std::uint32_t started = platform::TickCount();
    while (platform::TickCount() - started < kResponderLifeMs) {
        const std::uint32_t signalled = platform::WaitForEvents(waits.size(), waits.data(), false, 500);
        if (signalled == platform::kWaitTimeout) continue;
        if (signalled == platform::kWaitObject0 + 2) {
            // The emulator's natives, as it calls them; they use no JNI.
            Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendPSNotifications(nullptr, nullptr, 'A');
            Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendClosingNotifications(nullptr, nullptr, 'A');
            continue;
        }
        if (signalled != platform::kWaitObject0) break;  // stop, or the wait failed
        ApplicationBlock* block = CurrentCaller('A');
        if (block == nullptr) continue;
        Answer(*block, screen);
        WakeCaller(*block);
    }
    OnProcessDetach();
    return 0;
}

}  // namespace trv::test
