// The emulator's Java virtual machine as the native side reaches it: the
// pointer kept by the emulator's registrations, and attachment of native
// threads to it.
//
// Threads: any thread may call these. A thread that was already attached to
// the virtual machine (a Java thread calling a native method, or a service
// thread attached for its life) is never detached by an AttachedJavaThread
// scope: only a scope that attached the thread itself detaches it.
#pragma once

#include "platform/jni.h"

namespace trv {

// The virtual machine of this process, or nullptr before the emulator's
// session-API registration (or its first session registration) stored it.
JavaVM* EmulatorJavaVM();
void SetEmulatorJavaVM(JavaVM* vm);

// Attaches the calling thread for the life of the scope when it is not
// attached yet. env() is nullptr when there is no virtual machine or the
// attach failed. On a thread attached for life by AttachServiceThreadForLife
// the scope uses that attachment and does nothing else.
class AttachedJavaThread {
public:
    AttachedJavaThread();                    // through EmulatorJavaVM()
    explicit AttachedJavaThread(JavaVM* vm);  // through `vm` (may be nullptr)
    ~AttachedJavaThread();
    AttachedJavaThread(const AttachedJavaThread&) = delete;
    AttachedJavaThread& operator=(const AttachedJavaThread&) = delete;

    JNIEnv* env() const { return env_; }
    // True when this scope attached the thread and will detach it.
    bool attachedHere() const { return attachedHere_; }

private:
    JavaVM* vm_ = nullptr;
    JNIEnv* env_ = nullptr;
    bool attachedHere_ = false;
};

// Attaches the calling thread as a daemon thread for the rest of its life
// (service threads do this once, so that no request pays for an attach and
// the virtual machine can still exit). Answers the environment or nullptr.
// A thread that was attached already keeps its attachment and its owner.
JNIEnv* AttachServiceThreadForLife(const char* threadName);
JNIEnv* AttachServiceThreadForLife(JavaVM* vm, const char* threadName);

// Detaches the calling thread when AttachServiceThreadForLife attached it;
// does nothing otherwise. A service thread calls it as its last act, so that
// no thread it attached stays attached past its life.
void DetachServiceThread();

// Clears the Java interrupt status of the calling thread when
// AttachServiceThreadForLife attached it, and answers whether it was set. A
// service thread calls it before each request: the thread outlives its
// requests, and an interrupt meant for one (or sent while it waited for the
// next) must not make a later request's waits fail. Does nothing on other
// threads, whose interrupt status belongs to their Java code.
bool ClearServiceThreadInterrupt();

// Scope form of the two above, for a thread entry: attached for life at
// construction, detached (when attached here) at destruction.
class ServiceThreadAttachment {
public:
    ServiceThreadAttachment(JavaVM* vm, const char* threadName)
        : env_(AttachServiceThreadForLife(vm, threadName)) {}
    ~ServiceThreadAttachment() { DetachServiceThread(); }
    ServiceThreadAttachment(const ServiceThreadAttachment&) = delete;
    ServiceThreadAttachment& operator=(const ServiceThreadAttachment&) = delete;

    JNIEnv* env() const { return env_; }

private:
    JNIEnv* env_;
};

}  // namespace trv
