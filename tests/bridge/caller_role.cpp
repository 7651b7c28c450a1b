// The caller child: an application in its own process that reaches the
// emulator's session through the EHLLAPI entry, as any application does.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "bridge_fixture.h"
#include "library/process_lifecycle.h"
#include "platform/event.h"
#include "platform/handle.h"
#include "platform/thread.h"
#include "shared/process_state.h"
#include "tables/application_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

std::int32_t CallEHLLAPI(std::int32_t function, void* data, std::int32_t length, std::int32_t position = 0) {
    std::int32_t returnCode = position;
    return hllapi(&function, static_cast<char*>(data), &length, &returnCode);
}

}  // namespace

// args[0]: the session letter. Connects and copies the presentation space.
// Exit code: the return code of Copy PS when it is not 0; 0 when the screen
// came back whole; 100 + the code of a failed connect; 99 when the screen
// differs from the fake emulator's; 97 when the block's Data is not zero
// afterwards.
TRV_CHILD_ROLE(bridge_caller) {
    if (args.empty() || args[0].size() != 1) return 98;
    OnProcessAttach();
    int exitCode = 0;
    char session[2] = {args[0][0], '\0'};
    const std::int32_t connected = CallEHLLAPI(HA_CONNECT_PS, session, 1);
    if (connected != 0) {
        exitCode = 100 + connected;
    } else {
        std::vector<std::uint8_t> screen(kScreenBytes + 64, 0xEE);
        const std::int32_t copied = CallEHLLAPI(HA_COPY_PS, screen.data(), static_cast<std::int32_t>(screen.size()));
        const std::vector<std::uint8_t> expected = FakeScreen();
        if (copied != 0) {
            exitCode = copied;
        } else if (std::memcmp(screen.data(), expected.data(), kScreenBytes) != 0) {
            exitCode = 99;
        }
        // The copy-back leaves Data zero, clearing only what the exchange wrote.
        const ApplicationBlock* block = Applications()->FindApplicationBlock(platform::CurrentProcessId());
        if (exitCode == 0 && (block == nullptr || std::any_of(std::begin(block->Data), std::end(block->Data),
                                                              [](std::uint8_t b) { return b != 0; }))) {
            exitCode = 97;
        }
    }
    OnProcessDetach();
    return exitCode;
}

// args[0]: the session letter, args[1]: an event. Connects and copies the
// presentation space, which must answer 9 (the session ends meanwhile); when
// the event is signalled, connects again and copies once more. Exit code: the
// second copy's return code; 90 when the first did not answer 9.
TRV_CHILD_ROLE(bridge_caller_twice) {
    if (args.size() != 2 || args[0].size() != 1) return 98;
    platform::UniqueHandle again(platform::OpenNamedEvent(args[1].c_str()));
    if (!again) return 98;
    OnProcessAttach();
    char session[2] = {args[0][0], '\0'};
    std::vector<std::uint8_t> screen(kScreenBytes, 0);
    CallEHLLAPI(HA_CONNECT_PS, session, 1);
    int exitCode = CallEHLLAPI(HA_COPY_PS, screen.data(), static_cast<std::int32_t>(screen.size())) == 9 ? 0 : 90;
    if (exitCode == 0 && platform::WaitForEvent(again.get(), 20000) == platform::kWaitObject0) {
        CallEHLLAPI(HA_CONNECT_PS, session, 1);
        exitCode = CallEHLLAPI(HA_COPY_PS, screen.data(), static_cast<std::int32_t>(screen.size()));
    }
    OnProcessDetach();
    return exitCode;
}

}  // namespace trv::test
