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

std::int32_t CallEHLLAPI(std::int32_t function, void* data, std::int32_t length) {
    std::int32_t returnCode = 0;
    return hllapi(&function, static_cast<char*>(data), &length, &returnCode);
}

// Connects to session `letter` and copies the presentation space: 0 when the
// screen came back whole, 100 + the code of a failed connect, the return
// code of Copy PS when it is not 0, 99 when the screen differs from the fake
// emulator's, 97 when the block's Data is not zero afterwards.
int CopyScreen(char letter) {
    char session[2] = {letter, '\0'};
    const std::int32_t connected = CallEHLLAPI(HA_CONNECT_PS, session, 1);
    if (connected != 0) return 100 + connected;
    std::vector<std::uint8_t> screen(kScreenBytes + 64, 0xEE);
    const std::int32_t copied = CallEHLLAPI(HA_COPY_PS, screen.data(), static_cast<std::int32_t>(screen.size()));
    if (copied != 0) return copied;
    if (std::memcmp(screen.data(), FakeScreen().data(), kScreenBytes) != 0) return 99;
    // The copy-back leaves Data zero, clearing only what the exchange wrote.
    const ApplicationBlock* block = Applications()->FindApplicationBlock(platform::CurrentProcessId());
    const bool clean = block != nullptr && std::all_of(std::begin(block->Data), std::end(block->Data),
                                                       [](std::uint8_t b) { return b == 0; });
    return clean ? 0 : 97;
}

}  // namespace

// args[0]: the session letter; args[1], when given: an event. Exit code:
// CopyScreen's. With the event, the first copy must answer 9 (the session
// ends meanwhile; 90 when it does not), and once the event is signalled the
// caller copies once more: that copy's code.
TRV_CHILD_ROLE(bridge_caller) {
    if (args.empty() || args.size() > 2 || args[0].size() != 1) return 98;
    platform::UniqueHandle again(args.size() == 2 ? platform::OpenNamedEvent(args[1].c_str()) : platform::kNoHandle);
    if (args.size() == 2 && !again) return 98;
    OnProcessAttach();
    int exitCode = CopyScreen(args[0][0]);
    if (again && exitCode != 9) {
        exitCode = 90;
    } else if (again) {
        const bool signalled = platform::WaitForEvent(again.get(), kTestLimitMs) == platform::kWaitObject0;
        exitCode = signalled ? CopyScreen(args[0][0]) : 91;
    }
    OnProcessDetach();
    return exitCode;
}

}  // namespace trv::test
