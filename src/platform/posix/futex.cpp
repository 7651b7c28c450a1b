// futex_waitv and FUTEX_WAKE wrappers (see futex.h).
#include "platform/posix/futex.h"

#include <cerrno>
#include <climits>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix/system.h"
#include "platform/timeout.h"

namespace trv::platform::posix {
namespace {

constexpr long kNanosecondsPerSecond = 1000000000L;

std::uint32_t FutexFlags(bool shared) {
    return FUTEX_32 | (shared ? 0u : static_cast<std::uint32_t>(FUTEX_PRIVATE_FLAG));
}

}  // namespace

Deadline Deadline::After(std::uint32_t timeoutMs) {
    Deadline deadline;
    if (timeoutMs == kInfinite) return deadline;
    deadline.infinite_ = false;
    clock_gettime(CLOCK_MONOTONIC, &deadline.at_);
    deadline.at_.tv_sec += timeoutMs / 1000;
    deadline.at_.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.at_.tv_nsec >= kNanosecondsPerSecond) {
        deadline.at_.tv_sec += 1;
        deadline.at_.tv_nsec -= kNanosecondsPerSecond;
    }
    return deadline;
}

bool Deadline::Passed() const {
    if (infinite_) return false;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > at_.tv_sec || (now.tv_sec == at_.tv_sec && now.tv_nsec >= at_.tv_nsec);
}

SleepOutcome SleepOnWords(const FutexWord* words, std::size_t count, const Deadline& deadline,
                          bool stoppable) {
    if (count == 0 || count > kMaxSleepWords) {
        RecordError(EINVAL);
        return SleepOutcome::failed;
    }
    futex_waitv waiters[kMaxSleepWords + 1] = {};
    for (std::size_t i = 0; i < count; ++i) {
        waiters[i].val = words[i].expected;
        waiters[i].uaddr = reinterpret_cast<std::uintptr_t>(words[i].word);
        waiters[i].flags = FutexFlags(words[i].shared);
    }
    std::size_t total = count;
    const std::atomic<std::uint32_t>* stop = stoppable ? CurrentStopWord() : nullptr;
    if (stop != nullptr) {
        waiters[total].val = 0;
        waiters[total].uaddr = reinterpret_cast<std::uintptr_t>(stop);
        waiters[total].flags = FutexFlags(false);
        ++total;
    }
    long result = ::syscall(SYS_futex_waitv, waiters, static_cast<unsigned>(total), 0u,
                            deadline.at(), CLOCK_MONOTONIC);
    int error = result < 0 ? errno : 0;
    if (stop != nullptr && stop->load(std::memory_order_acquire) != 0) {
        RecordError(ECANCELED);
        return SleepOutcome::stopped;
    }
    if (result >= 0) return SleepOutcome::woken;
    switch (error) {
        case EAGAIN:  // a word had already changed
        case EINTR:   // a signal: the caller rechecks and sleeps again
            return SleepOutcome::woken;
        case ETIMEDOUT:
            return SleepOutcome::timed_out;
        default:
            RecordError(error);
            return SleepOutcome::failed;
    }
}

void WakeWord(const void* word, int count, bool shared) {
    ::syscall(SYS_futex, word, shared ? FUTEX_WAKE : FUTEX_WAKE_PRIVATE, count, nullptr, nullptr,
              0);
}

}  // namespace trv::platform::posix
