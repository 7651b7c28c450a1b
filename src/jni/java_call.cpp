// Java calls of the handlers and the scoped holders of JNI data.
#include "jni/java_call.h"

#include <cstring>
#include <limits>

#include "bridge/emulator_state.h"
#include "shared/trace.h"

namespace trv {

bool ClearJavaException(JNIEnv* env, const char* where) {
    if (env == nullptr || !env->ExceptionCheck()) return false;
    TRV_TRACE("Java exception in %s - cleared", where);
    env->ExceptionClear();
    return true;
}

HeldByteArray::HeldByteArray(JNIEnv* env, jbyteArray array) : env_(env), array_(array) {
    if (env_ == nullptr || array_ == nullptr) return;
    const jsize length = env_->GetArrayLength(array_);
    if (ClearJavaException(env_, "GetArrayLength") || length < 0) return;
    bytes_ = env_->GetByteArrayElements(array_, nullptr);
    if (ClearJavaException(env_, "GetByteArrayElements") || bytes_ == nullptr) {
        bytes_ = nullptr;
        return;
    }
    size_ = static_cast<std::size_t>(length);
}

HeldByteArray::~HeldByteArray() {
    if (bytes_ != nullptr) env_->ReleaseByteArrayElements(array_, bytes_, JNI_ABORT);
}

std::optional<std::size_t> ByteArrayLength(JNIEnv* env, jbyteArray array) {
    if (env == nullptr || array == nullptr) return std::nullopt;
    const jsize length = env->GetArrayLength(array);
    if (ClearJavaException(env, "GetArrayLength") || length < 0) return std::nullopt;
    return static_cast<std::size_t>(length);
}

bool CopyFromByteArray(JNIEnv* env, jbyteArray array, std::size_t count, void* destination) {
    if (count == 0) return true;
    if (env == nullptr || array == nullptr || count > static_cast<std::size_t>(std::numeric_limits<jsize>::max())) {
        return false;
    }
    env->GetByteArrayRegion(array, 0, static_cast<jsize>(count), static_cast<jbyte*>(destination));
    return !ClearJavaException(env, "GetByteArrayRegion");
}

HeldStringUTF::HeldStringUTF(JNIEnv* env, jstring text) : env_(env), text_(text) {
    if (env_ == nullptr || text_ == nullptr) return;
    chars_ = env_->GetStringUTFChars(text_, nullptr);
    if (ClearJavaException(env_, "GetStringUTFChars") || chars_ == nullptr) {
        chars_ = nullptr;
        return;
    }
    size_ = std::strlen(chars_);
}

HeldStringUTF::~HeldStringUTF() {
    if (chars_ != nullptr) env_->ReleaseStringUTFChars(text_, chars_);
}

HeldStringChars::HeldStringChars(JNIEnv* env, jstring text) : env_(env), text_(text) {
    if (env_ == nullptr || text_ == nullptr) return;
    const jsize length = env_->GetStringLength(text_);
    if (ClearJavaException(env_, "GetStringLength") || length < 0) return;
    chars_ = env_->GetStringChars(text_, nullptr);
    if (ClearJavaException(env_, "GetStringChars") || chars_ == nullptr) {
        chars_ = nullptr;
        return;
    }
    size_ = static_cast<std::size_t>(length);
}

HeldStringChars::~HeldStringChars() {
    if (chars_ != nullptr) env_->ReleaseStringChars(text_, chars_);
}

namespace {

// The method `name` `signature` of the object's class, or nullptr (with no
// exception pending) when the object has no such method.
jmethodID FindMethod(JNIEnv* env, jobject object, const char* name, const char* signature) {
    if (ClearJavaException(env, "call set-up")) return nullptr;
    LocalRef<jclass> type(env, env->GetObjectClass(object));
    if (ClearJavaException(env, "GetObjectClass") || !type) return nullptr;
    jmethodID method = env->GetMethodID(type.get(), name, signature);
    if (ClearJavaException(env, name) || method == nullptr) {
        TRV_TRACE("Java method %s %s not found", name, signature);
        return nullptr;
    }
    return method;
}

}  // namespace

std::optional<jchar> CallCharMethod(JNIEnv* env, jobject object, const char* name,
                                    const char* signature, const jvalue* args) {
    if (env == nullptr || object == nullptr) return std::nullopt;
    jmethodID method = FindMethod(env, object, name, signature);
    if (method == nullptr) return std::nullopt;
    const jchar result = env->CallCharMethodA(object, method, args);
    if (ClearJavaException(env, name)) return std::nullopt;
    return result;
}

namespace {

std::optional<jlong> CallLongMethodById(JNIEnv* env, jobject object, jmethodID method, const char* name,
                                        const jvalue* args) {
    if (method == nullptr) return std::nullopt;
    const jlong result = env->CallLongMethodA(object, method, args);
    if (ClearJavaException(env, name)) return std::nullopt;
    return result;
}

}  // namespace

std::optional<jlong> CallLongMethod(JNIEnv* env, jobject object, const char* name,
                                    const char* signature, const jvalue* args) {
    if (env == nullptr || object == nullptr) return std::nullopt;
    return CallLongMethodById(env, object, FindMethod(env, object, name, signature), name, args);
}

jmethodID JavaMethodCache::Kept(std::size_t count, const char* name, const char* signature) const {
    for (std::size_t i = 0; i < count; ++i) {
        const Entry& entry = entries_[i];
        if (entry.name == name && entry.signature == signature) return entry.method;
    }
    return nullptr;
}

jmethodID JavaMethodCache::Find(JNIEnv* env, jobject object, const char* name, const char* signature) {
    if (jmethodID kept = Kept(published_.load(std::memory_order_acquire), name, signature)) return kept;
    // Looked up outside the lock: JNI calls may wait for the virtual
    // machine. Two threads missing at once both look up the same ID.
    jmethodID method = FindMethod(env, object, name, signature);
    if (method == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(adding_);
    const std::size_t count = published_.load(std::memory_order_relaxed);
    if (count < kCapacity && Kept(count, name, signature) == nullptr) {
        entries_[count] = Entry{name, signature, method};
        published_.store(count + 1, std::memory_order_release);
    }
    return method;
}

JavaCallContext::JavaCallContext(std::int32_t sessionIndex) {
    if (env() == nullptr) {
        TRV_TRACE("JavaCallContext - no Java environment for this thread");
        return;
    }
    const BridgeCallTarget target = BridgeTarget(sessionIndex);
    object_ = target.object;
    methods_ = target.methods;
    if (object_ == nullptr) TRV_TRACE("JavaCallContext - no emulator object for session %d", sessionIndex);
}

JavaCallContext::~JavaCallContext() {
    for (jobject argument : arguments_) env()->DeleteLocalRef(argument);
}

std::optional<jlong> JavaCallContext::CallLong(const char* name, const char* signature,
                                               const jvalue* args) {
    if (!ready()) return std::nullopt;
    if (methods_ == nullptr) return CallLongMethod(env(), object_, name, signature, args);
    // A pending exception would make the call undefined; FindMethod checks
    // for one, a kept method is not looked up.
    if (ClearJavaException(env(), "call set-up")) return std::nullopt;
    return CallLongMethodById(env(), object_, methods_->Find(env(), object_, name, signature), name, args);
}

jbyteArray JavaCallContext::ByteArray(const void* bytes, std::size_t length) {
    if (env() == nullptr || length > static_cast<std::size_t>(std::numeric_limits<jsize>::max())) {
        return nullptr;
    }
    const jsize size = static_cast<jsize>(length);
    jbyteArray array = env()->NewByteArray(size);
    if (ClearJavaException(env(), "NewByteArray") || array == nullptr) return nullptr;
    arguments_.push_back(array);
    if (size > 0) {
        env()->SetByteArrayRegion(array, 0, size, static_cast<const jbyte*>(bytes));
        if (ClearJavaException(env(), "SetByteArrayRegion")) return nullptr;
    }
    return array;
}

jstring JavaCallContext::String(const char* text) {
    if (env() == nullptr || text == nullptr) return nullptr;
    jstring string = env()->NewStringUTF(text);
    if (ClearJavaException(env(), "NewStringUTF") || string == nullptr) return nullptr;
    arguments_.push_back(string);
    return string;
}

std::int32_t PlainCall(int sessionIndex, const char* method, const char* signature,
                       const jvalue* args) {
    JavaCallContext java(sessionIndex);
    const std::optional<jlong> result = java.CallLong(method, signature, args);
    return result ? PlainResult(*result) : kJavaCallFailed;
}

std::int32_t TracedPlainCall(const char* handler, int sessionIndex, const char* method) {
    TRV_TRACE("%s enter", handler);
    const std::int32_t result = PlainCall(sessionIndex, method);
    TRV_TRACE("%s returns %d", handler, result);
    return result;
}

}  // namespace trv
