// Attachment of native threads to the emulator's virtual machine. The
// pointer is process-wide; the lifelong attachment of a service thread is
// remembered per thread, so that scopes on that thread reuse it and only
// the thread itself ends it.
#include "jni/java_vm.h"

#include <atomic>

#include "shared/trace.h"

namespace trv {
namespace {

std::atomic<JavaVM*> g_javaVM{nullptr};

// The lifelong attachment of the calling thread: the machine it was made
// through and its environment (both nullptr when there is none), and whether
// AttachServiceThreadForLife made it (and so must end it).
thread_local JavaVM* t_lifeVM = nullptr;
thread_local JNIEnv* t_lifeEnv = nullptr;
thread_local bool t_lifeAttachedHere = false;
// java.lang.Thread (a global reference) and its static interrupted(), looked
// up by the first ClearServiceThreadInterrupt of the attachment; the lookup
// is not repeated when it failed.
thread_local jclass t_threadClass = nullptr;
thread_local jmethodID t_interrupted = nullptr;
thread_local bool t_interruptedLookedUp = false;

// The calling thread's environment when it is attached already, else nullptr.
JNIEnv* CurrentEnv(JavaVM* vm) {
    void* env = nullptr;
    if (vm->GetEnv(&env, JNI_VERSION_1_6) != JNI_OK) return nullptr;
    return static_cast<JNIEnv*>(env);
}

}  // namespace

JavaVM* EmulatorJavaVM() { return g_javaVM.load(); }

void SetEmulatorJavaVM(JavaVM* vm) { g_javaVM.store(vm); }

AttachedJavaThread::AttachedJavaThread() : AttachedJavaThread(EmulatorJavaVM()) {}

AttachedJavaThread::AttachedJavaThread(JavaVM* vm) {
    if (t_lifeEnv != nullptr) {
        env_ = t_lifeEnv;
        return;
    }
    if (vm == nullptr) return;
    vm_ = vm;
    void* env = nullptr;
    const jint status = vm->GetEnv(&env, JNI_VERSION_1_6);
    if (status == JNI_OK) {
        env_ = static_cast<JNIEnv*>(env);
        return;
    }
    if (status != JNI_EDETACHED) {
        TRV_TRACE("AttachedJavaThread - GetEnv failed [%d]", static_cast<int>(status));
        return;
    }
    if (vm->AttachCurrentThread(&env, nullptr) != JNI_OK || env == nullptr) {
        TRV_TRACE("AttachedJavaThread - AttachCurrentThread failed");
        return;
    }
    env_ = static_cast<JNIEnv*>(env);
    attachedHere_ = true;
}

AttachedJavaThread::~AttachedJavaThread() {
    if (attachedHere_) vm_->DetachCurrentThread();
}

JNIEnv* AttachServiceThreadForLife(const char* threadName) {
    return AttachServiceThreadForLife(EmulatorJavaVM(), threadName);
}

JNIEnv* AttachServiceThreadForLife(JavaVM* vm, const char* threadName) {
    if (t_lifeEnv != nullptr) return t_lifeEnv;
    if (vm == nullptr) return nullptr;
    if (JNIEnv* env = CurrentEnv(vm)) {
        // Attached by someone else (a Java thread): use it, never end it.
        t_lifeVM = vm;
        t_lifeEnv = env;
        t_lifeAttachedHere = false;
        return env;
    }
    JavaVMAttachArgs arguments{};
    arguments.version = JNI_VERSION_1_6;
    arguments.name = const_cast<char*>(threadName);
    arguments.group = nullptr;
    void* env = nullptr;
    if (vm->AttachCurrentThreadAsDaemon(&env, &arguments) != JNI_OK || env == nullptr) {
        TRV_TRACE("AttachServiceThreadForLife - attach failed");
        return nullptr;
    }
    t_lifeVM = vm;
    t_lifeEnv = static_cast<JNIEnv*>(env);
    t_lifeAttachedHere = true;
    return t_lifeEnv;
}

bool ClearServiceThreadInterrupt() {
    JNIEnv* env = t_lifeEnv;
    if (env == nullptr || !t_lifeAttachedHere) return false;
    if (!t_interruptedLookedUp) {
        t_interruptedLookedUp = true;
        jclass found = env->FindClass("java/lang/Thread");
        if (found != nullptr) {
            t_interrupted = env->GetStaticMethodID(found, "interrupted", "()Z");
            if (t_interrupted != nullptr) t_threadClass = static_cast<jclass>(env->NewGlobalRef(found));
            env->DeleteLocalRef(found);
        }
        if (env->ExceptionCheck()) env->ExceptionClear();
        if (t_threadClass == nullptr) {
            TRV_TRACE("ClearServiceThreadInterrupt - java.lang.Thread.interrupted not found");
        }
    }
    if (t_threadClass == nullptr || t_interrupted == nullptr) return false;
    const bool wasSet = env->CallStaticBooleanMethod(t_threadClass, t_interrupted) == JNI_TRUE;
    if (env->ExceptionCheck()) env->ExceptionClear();
    return wasSet;
}

void DetachServiceThread() {
    if (t_threadClass != nullptr && t_lifeEnv != nullptr) t_lifeEnv->DeleteGlobalRef(t_threadClass);
    t_threadClass = nullptr;
    t_interrupted = nullptr;
    t_interruptedLookedUp = false;
    JavaVM* vm = t_lifeVM;
    const bool attachedHere = t_lifeAttachedHere;
    t_lifeVM = nullptr;
    t_lifeEnv = nullptr;
    t_lifeAttachedHere = false;
    if (vm != nullptr && attachedHere) vm->DetachCurrentThread();
}

}  // namespace trv
