// Java calls on the emulator's objects and the scoped holders of JNI data.
#include "jni/java_call.h"

#include <cstring>
#include <limits>
#include <string>

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

JavaObjectCall::JavaObjectCall(jobject object, JavaMethodCache* methods) {
    SetTarget(object, methods);
}

JavaObjectCall::~JavaObjectCall() {
    for (jobject argument : arguments_) env()->DeleteLocalRef(argument);
}

jmethodID JavaObjectCall::Method(const char* name, const char* signature) {
    if (methods_ == nullptr) return FindMethod(env(), object_, name, signature);
    // A pending exception would make the call undefined; FindMethod checks
    // for one, a kept method is not looked up.
    if (ClearJavaException(env(), "call set-up")) return nullptr;
    return methods_->Find(env(), object_, name, signature);
}

std::optional<jlong> JavaObjectCall::CallLong(const char* name, const char* signature,
                                              const jvalue* args) {
    if (!ready()) return std::nullopt;
    return CallLongMethodById(env(), object_, Method(name, signature), name, args);
}

std::optional<bool> JavaObjectCall::CallBoolean(const char* name, const char* signature,
                                                const jvalue* args) {
    if (!ready()) return std::nullopt;
    jmethodID method = Method(name, signature);
    if (method == nullptr) return std::nullopt;
    const jboolean result = env()->CallBooleanMethodA(object_, method, args);
    if (ClearJavaException(env(), name)) return std::nullopt;
    return result != JNI_FALSE;
}

jbyteArray JavaObjectCall::ByteArray(const void* bytes, std::size_t length) {
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

jstring JavaObjectCall::String(const char* text) {
    if (env() == nullptr || text == nullptr) return nullptr;
    jstring string = env()->NewStringUTF(text);
    if (ClearJavaException(env(), "NewStringUTF") || string == nullptr) return nullptr;
    arguments_.push_back(string);
    return string;
}

jstring JavaObjectCall::Latin1String(const char* text, std::size_t limit) {
    if (text == nullptr) return nullptr;
    std::string utf8;
    for (std::size_t i = 0; i < limit && text[i] != '\0'; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            utf8.push_back(static_cast<char>(byte));
        } else {
            utf8.push_back(static_cast<char>(0xC0 | byte >> 6));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return String(utf8.c_str());
}

}  // namespace trv
