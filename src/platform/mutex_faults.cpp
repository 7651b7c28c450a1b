// The fault-injection seam of the mutex backends: a per-thread countdown to
// the acquisition that is to fail. Per thread, so that the service threads
// and helpers of a test process never consume a fault meant for the test's
// own calls.
#include "platform/mutex.h"

namespace trv::platform {
namespace {

thread_local std::uint32_t t_acquisitionsUntilFault = 0;

}  // namespace

void FailMutexAcquisitionOnThisThread(std::uint32_t n) { t_acquisitionsUntilFault = n; }

bool MutexFaultPending() { return t_acquisitionsUntilFault != 0; }

bool MutexAcquisitionFaultDue() {
    if (t_acquisitionsUntilFault == 0) return false;
    return --t_acquisitionsUntilFault == 0;
}

}  // namespace trv::platform
