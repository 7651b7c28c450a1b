// The emulator's Java virtual machine as the native side reaches it: the
// pointer kept by the session-API registration, and scoped attachment of a
// native thread to it.
//
// Threads: any thread may call these. A thread that was already attached to
// the virtual machine (a Java thread calling a native method, or a service
// thread attached for its life) is never detached by an AttachedJavaThread
// scope: only a scope that attached the thread itself detaches it.
#pragma once

#include "platform/jni.h"

namespace trv {

// The virtual machine of this process, or nullptr before the emulator's
// session-API registration stored it.
JavaVM* EmulatorJavaVM();
void SetEmulatorJavaVM(JavaVM* vm);

// Attaches the calling thread for the life of the scope when it is not
// attached yet. env() is nullptr when there is no virtual machine or the
// attach failed.
class AttachedJavaThread {
public:
    AttachedJavaThread();
    ~AttachedJavaThread();
    AttachedJavaThread(const AttachedJavaThread&) = delete;
    AttachedJavaThread& operator=(const AttachedJavaThread&) = delete;

    JNIEnv* env() const { return env_; }

private:
    JNIEnv* env_ = nullptr;
    bool attachedHere_ = false;
};

// Attaches the calling thread as a daemon thread for the rest of its life
// (service threads do this once, so that no request pays for an attach and
// the virtual machine can still exit). Answers the environment or nullptr.
JNIEnv* AttachServiceThreadForLife(const char* threadName);

}  // namespace trv
