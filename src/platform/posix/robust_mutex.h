// Process-shared robust pthread mutexes in shared memory: the named mutexes
// and the internal locks of the shared tables of this backend (message
// queues, atom table, window registry). When a holder dies, the kernel marks
// the mutex and the next locker learns of it (EOWNERDEAD).
#pragma once

#include <pthread.h>

namespace trv::platform::posix {

// Initialises `mutex` in zeroed shared memory; recursive for named mutexes.
bool InitialiseRobustMutex(pthread_mutex_t* mutex, bool recursive);

// Holds an internal table lock for a short update, without a time limit.
// ownerDied() tells that the previous holder died inside its update; the
// mutex is already marked consistent and the holder repairs the table.
class RobustLockGuard {
public:
    explicit RobustLockGuard(pthread_mutex_t* mutex);
    ~RobustLockGuard();
    RobustLockGuard(const RobustLockGuard&) = delete;
    RobustLockGuard& operator=(const RobustLockGuard&) = delete;

    bool held() const { return held_; }
    bool ownerDied() const { return ownerDied_; }

private:
    pthread_mutex_t* mutex_;
    bool held_ = false;
    bool ownerDied_ = false;
};

}  // namespace trv::platform::posix
