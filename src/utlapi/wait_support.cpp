// The deadline, the poll sleep, the no-wait scope and the key pass-on of the
// UTLAPI waits.
#include "utlapi/wait_support.h"

#include "platform/clock.h"
#include "trvha64_qmxapi.h"
#include "utlapi/session_parameters.h"
#include "utlapi/utlapi_frame.h"

namespace trv::utl {
namespace {

constexpr std::int32_t kNoWaitMode = 3;
constexpr std::int32_t kInterceptFilter = 1;
constexpr std::int32_t kKeyReadLength = 6;

}  // namespace

WaitClock::WaitClock(std::int32_t halfSeconds)
    : start_(platform::TickCount()),
      limitMs_(static_cast<std::uint32_t>(Unsigned16(halfSeconds)) * kHalfSecondMs) {}

std::uint32_t WaitClock::Elapsed() const { return platform::TickCount() - start_; }

void PollSleep() { platform::SleepMs(kPollIntervalMs); }

KeyWaitScope::KeyWaitScope(trvUTLClient client, const UTLClient& record)
    : client_(client), session_{record.Letter(), 0} {
    previousWaitMode_ = UTLGetParameter(client, kWaitParameter);
    UTLSetParameter(client, kWaitParameter, kNoWaitMode, nullptr);
    UTLStartKeystrokeIntercept(client, session_, kInterceptFilter);
}

KeyWaitScope::~KeyWaitScope() {
    UTLStopKeystrokeIntercept(client_, session_);
    UTLSetParameter(client_, kWaitParameter, previousWaitMode_, nullptr);
}

bool PassKeystroke(trvUTLClient client, const char* session, char (&key)[kKeyBufferSize]) {
    if (UTLGetKeystroke(client, session, key, kKeyReadLength) != UTL_SUCCESS) return false;
    UTLSendKey(client, key);
    return true;
}

std::optional<std::uint32_t> EmulatorStatus(char letter) {
    const std::uint32_t status = trvQueryEmulatorStatus(letter);
    if (status == QMX_SYSTEM_ERROR) return std::nullopt;
    return status;
}

}  // namespace trv::utl
