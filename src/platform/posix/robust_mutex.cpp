// Robust process-shared mutexes (see robust_mutex.h).
#include "platform/posix/robust_mutex.h"

#include <cerrno>

#include "platform/posix/system.h"

namespace trv::platform::posix {

bool InitialiseRobustMutex(pthread_mutex_t* mutex, bool recursive) {
    pthread_mutexattr_t attributes;
    int error = pthread_mutexattr_init(&attributes);
    if (error == 0) error = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    if (error == 0) error = pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    if (error == 0 && recursive) {
        error = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    }
    if (error == 0) error = pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (error != 0) {
        RecordError(error);
        return false;
    }
    return true;
}

RobustLockGuard::RobustLockGuard(pthread_mutex_t* mutex) : mutex_(mutex) {
    int error = pthread_mutex_lock(mutex_);
    if (error == EOWNERDEAD) {
        pthread_mutex_consistent(mutex_);
        ownerDied_ = true;
        error = 0;
    }
    if (error != 0) {
        RecordError(error);
        return;
    }
    held_ = true;
}

RobustLockGuard::~RobustLockGuard() {
    if (held_) pthread_mutex_unlock(mutex_);
}

}  // namespace trv::platform::posix
