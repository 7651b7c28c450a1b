// Kernel waits of the POSIX backend. Every blocking wait of this layer sleeps
// in futex_waitv (Linux 5.16 or later) on the words it waits for plus, when
// the wait is stoppable, the calling thread's stop word (see thread.h), so
// that RequestThreadStop ends the wait at once. Time limits are absolute on
// CLOCK_MONOTONIC, so a wait that wakes and sleeps again keeps its limit.
//
// Where the kernel has no futex_waitv (checked once per process; a
// system-call filter that refuses it counts as none), or the
// environment variable TRVHA64_NO_FUTEX_WAITV is set and not "0", the waits
// take a path that needs only FUTEX_WAIT and FUTEX_WAKE (any Linux since
// 2.6.28), with the same results: a wait on one word sleeps on that word;
// a wait on several (or on one plus the stop word) sleeps on the namespace's
// wake sequence, a shared word that every WakeWord advances, so that it
// wakes at every wake of any word and looks again; it counts its sleepers,
// and a process on the futex_waitv path advances it too while any sleep
// there. A word woken from outside this layer (the C library's mutex unlock)
// is slept on itself, looking at the stop word every kForeignWakeSliceMs.
// A process that dies asleep leaves at most its count on the sequence, which
// costs the wakers on the futex_waitv path one needless wake each.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>

namespace trv::platform::posix {

static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));

// A time limit fixed when the wait starts.
class Deadline {
public:
    static Deadline After(std::uint32_t timeoutMs);  // kInfinite: none
    bool infinite() const { return infinite_; }
    bool Passed() const;
    const timespec* at() const { return infinite_ ? nullptr : &at_; }
    // Whether `a` comes before `b` (an infinite one comes after every other).
    static bool Sooner(const Deadline& a, const Deadline& b);

private:
    bool infinite_ = true;
    timespec at_{};
};

// One word to sleep on: the sleep ends when it is woken; it does not begin
// when the word no longer holds `expected`. `shared` words live in memory
// shared between processes; the others are process-private.
struct FutexWord {
    const void* word;
    std::uint32_t expected;
    bool shared;
    // Woken by code outside this layer, not by WakeWord.
    bool foreignWaker = false;
};

// Whether the waits sleep in futex_waitv (false: the path without it).
bool FutexWaitvInUse();
constexpr std::uint32_t kForeignWakeSliceMs = 50;

enum class SleepOutcome { woken, timed_out, stopped, failed };

// Sleeps until a word is woken or changed, the deadline passes, or (when
// `stoppable`) the calling thread is asked to stop. `woken` may be spurious:
// callers recheck their condition. Records the error for `failed` and
// ECANCELED for `stopped`. At most kMaxSleepWords words.
constexpr std::size_t kMaxSleepWords = 127;
SleepOutcome SleepOnWords(const FutexWord* words, std::size_t count, const Deadline& deadline,
                          bool stoppable);

// Wakes up to `count` sleepers on `word` (INT32_MAX: all).
void WakeWord(const void* word, int count, bool shared);

// The stop word of the calling thread when StartThread started it (nonzero
// once a stop was requested); nullptr for every other thread.
const std::atomic<std::uint32_t>* CurrentStopWord();

inline bool StopRequestedHere() {
    const std::atomic<std::uint32_t>* stop = CurrentStopWord();
    return stop != nullptr && stop->load(std::memory_order_acquire) != 0;
}

}  // namespace trv::platform::posix
