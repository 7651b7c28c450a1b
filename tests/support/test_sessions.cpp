// Sessions played by a test process; see test_sessions.h.
#include "test_sessions.h"

#include <cstring>

#include "platform/thread.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "support/child_role.h"
#include "tables/application_list.h"
#include "tables/session_list.h"

namespace trv::test {

bool RegisterTestSessions(const std::string& letters, std::vector<platform::Handle>& requests) {
    if (Sessions() == nullptr || Applications() == nullptr) return false;
    for (char letter : letters) {
        SessionBlock templ;
        templ.ProcessID = platform::CurrentProcessId();
        templ.Established = 1;
        if (!Sessions()->AddNamedSession(templ, letter)) return false;
        requests.push_back(Sessions()->GetSession(letter).HLLEvent);
    }
    Process().registeredSessions = true;
    Control().SessionsAvailable.store(1);
    return true;
}

ApplicationBlock* CurrentCaller(char letter) {
    const SessionBlock session = Sessions()->GetSession(letter);
    return Applications()->GetApplicationBlock(session.Caller);
}

void WakeCaller(const ApplicationBlock& block) {
    // A test's emulator writes Data directly: its reply counts as written whole.
    NoteDataWritten(block, kDataSize);
    char replyName[kBlockNameSize + 1] = {};
    std::memcpy(replyName, block.ReplyEventName, kBlockNameSize);
    SignalNamedEvent(replyName);
}

}  // namespace trv::test
