// futex_waitv and FUTEX_WAKE wrappers, and the path for kernels without
// futex_waitv (see futex.h).
#include "platform/posix/futex.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix/namespace.h"
#include "platform/posix/system.h"
#include "platform/timeout.h"

namespace trv::platform::posix {
namespace {

constexpr long kNanosecondsPerSecond = 1000000000L;
constexpr const char* kWakeSequenceName = "TRVHA_WAKE_SEQUENCE";

std::uint32_t FutexFlags(bool shared) {
    return FUTEX_32 | (shared ? 0u : static_cast<std::uint32_t>(FUTEX_PRIVATE_FLAG));
}

bool ProbeFutexWaitv() {
    const char* forced = std::getenv("TRVHA64_NO_FUTEX_WAITV");
    if (forced != nullptr && forced[0] != '\0' && std::strcmp(forced, "0") != 0) return false;
    const int saved = errno;
    // Without words the call fails at once: EINVAL where the kernel has it.
    // Any other answer means it cannot be used: ENOSYS from an older kernel,
    // EPERM (or another code) from a system-call filter that does not know it.
    const long result = ::syscall(SYS_futex_waitv, nullptr, 0u, 0u, nullptr, CLOCK_MONOTONIC);
    const bool usable = result < 0 && errno == EINVAL;
    errno = saved;
    return usable;
}

const std::atomic<std::uint32_t>& AsWord(const void* word) {
    return *static_cast<const std::atomic<std::uint32_t>*>(word);
}

// The wake sequences of the path without futex_waitv: one in this process
// for sleepers on private words only, one in the namespace for the others.
// The namespace's one also counts the threads asleep on it, so that a process
// that sleeps in futex_waitv (another kernel setting, or the variable set for
// one process only) still advances it for them.
struct WakeSequence {
    std::atomic<std::uint32_t> sequence;
    std::atomic<std::uint32_t> sleepers;
};
std::atomic<std::uint32_t> g_privateSequence{0};
std::atomic<WakeSequence*> g_sharedSequence{nullptr};

// The namespace's wake sequence, mapped on first use and held for the life of
// the process; nullptr when the namespace cannot hold it.
WakeSequence* SharedSequence() {
    static WakeSequence* const sequence = []() -> WakeSequence* {
        std::unique_ptr<NamespaceObject> object = NamespaceObject::Create(
            ObjectKind::mapping, kWakeSequenceName, sizeof(WakeSequence), true, [](void*) { return true; },
            nullptr);
        if (!object) return nullptr;
        auto* shared = static_cast<WakeSequence*>(object->data());
        object.release();  // held until the process ends
        g_sharedSequence.store(shared);
        return shared;
    }();
    return sequence;
}

void Advance(std::atomic<std::uint32_t>& sequence, bool shared) {
    sequence.fetch_add(1);
    ::syscall(SYS_futex, &sequence, shared ? FUTEX_WAKE : FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

long FutexWait(const void* word, std::uint32_t expected, bool shared, const timespec* at) {
    const int op = FUTEX_WAIT_BITSET | (shared ? 0 : FUTEX_PRIVATE_FLAG);
    return ::syscall(SYS_futex, word, op, expected, at, nullptr, FUTEX_BITSET_MATCH_ANY);
}

bool Earlier(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// One sleep without futex_waitv; answers as SleepOnWords does.
SleepOutcome SleepWithoutWaitv(const FutexWord* words, std::size_t count, const Deadline& deadline,
                               const std::atomic<std::uint32_t>* stop) {
    bool shared = false;
    for (std::size_t i = 0; i < count; ++i) shared = shared || words[i].shared;
    // One word woken by WakeWord or from outside, with no stop word to watch:
    // that word itself. One foreign-woken word with a stop word: that word,
    // in slices. Anything else: the wake sequence its words' wakers advance.
    const bool alone = count == 1 && (stop == nullptr || words[0].foreignWaker);
    std::atomic<std::uint32_t>* sequence = nullptr;
    WakeSequence* counted = nullptr;
    if (!alone && shared) {
        counted = SharedSequence();
        if (counted != nullptr) sequence = &counted->sequence;
    } else if (!alone) {
        sequence = &g_privateSequence;
    }
    // Counted before the words are looked at: a waker that changes a word
    // after that look sees the count (both sequentially consistent).
    if (counted != nullptr) counted->sleepers.fetch_add(1);
    struct Uncount {
        WakeSequence* counted;
        ~Uncount() {
            if (counted != nullptr) counted->sleepers.fetch_sub(1);
        }
    } uncount{counted};
    const std::uint32_t seen = sequence != nullptr ? sequence->load() : 0;
    if (stop != nullptr && stop->load() != 0) {
        RecordError(ECANCELED);
        return SleepOutcome::stopped;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (AsWord(words[i].word).load() != words[i].expected) return SleepOutcome::woken;
    }
    const void* sleepOn = sequence != nullptr ? static_cast<const void*>(sequence) : words[0].word;
    const std::uint32_t expected = sequence != nullptr ? seen : words[0].expected;
    const bool sleepShared = sequence != nullptr ? shared : words[0].shared;
    // Without a sequence to be woken by, a stop or another word can only be
    // seen by looking again: in slices.
    const bool sliced = sequence == nullptr && (stop != nullptr || count > 1);
    const timespec* until = deadline.at();
    bool sliceEnds = false;
    const Deadline slice = Deadline::After(kForeignWakeSliceMs);
    if (sliced && (until == nullptr || Earlier(*slice.at(), *until))) {
        until = slice.at();
        sliceEnds = true;
    }
    const long result = FutexWait(sleepOn, expected, sleepShared, until);
    const int error = result < 0 ? errno : 0;
    if (stop != nullptr && stop->load() != 0) {
        RecordError(ECANCELED);
        return SleepOutcome::stopped;
    }
    if (result >= 0) return SleepOutcome::woken;
    switch (error) {
        case EAGAIN:
        case EINTR:
            return SleepOutcome::woken;
        case ETIMEDOUT:
            return sliceEnds ? SleepOutcome::woken : SleepOutcome::timed_out;
        default:
            RecordError(error);
            return SleepOutcome::failed;
    }
}

}  // namespace

bool FutexWaitvInUse() {
    static const bool available = ProbeFutexWaitv();
    return available;
}

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

bool Deadline::Sooner(const Deadline& a, const Deadline& b) {
    if (a.infinite_ || b.infinite_) return !a.infinite_ && b.infinite_;
    return Earlier(a.at_, b.at_);
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
    if (!FutexWaitvInUse()) return SleepWithoutWaitv(words, count, deadline, stoppable ? CurrentStopWord() : nullptr);
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
    if (FutexWaitvInUse()) {
        // Another process may sleep on the namespace's sequence for this word.
        WakeSequence* sharedSequence = shared ? SharedSequence() : nullptr;
        if (sharedSequence != nullptr && sharedSequence->sleepers.load() != 0) {
            Advance(sharedSequence->sequence, true);
        }
        return;
    }
    // Sleepers on several words sleep on a sequence: private words are slept
    // on only by this process's threads, on either sequence.
    Advance(g_privateSequence, false);
    WakeSequence* sharedSequence = shared ? SharedSequence() : g_sharedSequence.load();
    if (sharedSequence != nullptr) Advance(sharedSequence->sequence, true);
}

}  // namespace trv::platform::posix
