// Calling methods of the emulator's Java objects from native code: scoped
// local references, held array elements and string characters, the clearing
// of pending Java exceptions, method lookup and the context of a series of
// calls on one object. Used by the bridge and by the session API's emulator
// side; knows nothing of either.
//
// Every JNI call that can raise a Java exception is followed by a check; an
// exception is traced and cleared, never left pending, and the call answers
// "no result". Every local reference made here is deleted by its scope, which
// matters on service threads: they stay attached for their whole life, so
// nothing would ever free a forgotten local reference.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jni/java_vm.h"
#include "platform/jni.h"

namespace trv {

// Owner of one JNI local reference (null allowed); deletes it when destroyed.
template <typename T = jobject>
class LocalRef {
public:
    LocalRef() = default;
    LocalRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    LocalRef(LocalRef&& other) noexcept
        : env_(other.env_), ref_(std::exchange(other.ref_, nullptr)) {}
    LocalRef& operator=(LocalRef&& other) noexcept {
        if (this != &other) {
            reset();
            env_ = other.env_;
            ref_ = std::exchange(other.ref_, nullptr);
        }
        return *this;
    }
    ~LocalRef() { reset(); }

    T get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }
    void reset() {
        if (ref_ != nullptr) env_->DeleteLocalRef(ref_);
        ref_ = nullptr;
    }

private:
    JNIEnv* env_ = nullptr;
    T ref_ = nullptr;
};

// Byte-array elements held from Get...Elements to Release...Elements. The
// release does not copy back (the library only reads them).
class HeldByteArray {
public:
    HeldByteArray(JNIEnv* env, jbyteArray array);
    ~HeldByteArray();
    HeldByteArray(const HeldByteArray&) = delete;
    HeldByteArray& operator=(const HeldByteArray&) = delete;

    const std::uint8_t* data() const { return reinterpret_cast<const std::uint8_t*>(bytes_); }
    std::size_t size() const { return size_; }

private:
    JNIEnv* env_;
    jbyteArray array_;
    jbyte* bytes_ = nullptr;
    std::size_t size_ = 0;
};

// The length of a byte array, or nothing (any exception cleared) when the
// array is null or its length cannot be read.
std::optional<std::size_t> ByteArrayLength(JNIEnv* env, jbyteArray array);

// Copies the first `count` bytes of `array` straight to `destination`, with
// no copy of the whole array in between. False (the exception cleared) when
// they cannot be read; `count` must not exceed ByteArrayLength.
bool CopyFromByteArray(JNIEnv* env, jbyteArray array, std::size_t count, void* destination);

// The modified-UTF-8 characters of a Java string, held until the scope ends.
class HeldStringUTF {
public:
    HeldStringUTF(JNIEnv* env, jstring text);
    ~HeldStringUTF();
    HeldStringUTF(const HeldStringUTF&) = delete;
    HeldStringUTF& operator=(const HeldStringUTF&) = delete;

    const char* data() const { return chars_; }  // nullptr when unavailable
    std::size_t size() const { return size_; }   // bytes, without the terminator

private:
    JNIEnv* env_;
    jstring text_;
    const char* chars_ = nullptr;
    std::size_t size_ = 0;
};

// The UTF-16 characters of a Java string, held until the scope ends.
class HeldStringChars {
public:
    HeldStringChars(JNIEnv* env, jstring text);
    ~HeldStringChars();
    HeldStringChars(const HeldStringChars&) = delete;
    HeldStringChars& operator=(const HeldStringChars&) = delete;

    const jchar* data() const { return chars_; }  // nullptr when unavailable
    std::size_t size() const { return size_; }    // UTF-16 units

private:
    JNIEnv* env_;
    jstring text_;
    const jchar* chars_ = nullptr;
    std::size_t size_ = 0;
};

// Traces and clears a pending Java exception; answers true when there was
// one. `where` names the call for the trace.
bool ClearJavaException(JNIEnv* env, const char* where);

// Calls `name` `signature` on `object` through its class, with the arguments
// in `args` (nullptr for none). Answer: the result, or nothing when the
// class or method could not be found or the call raised an exception (which
// is then cleared).
std::optional<jchar> CallCharMethod(JNIEnv* env, jobject object, const char* name,
                                    const char* signature, const jvalue* args = nullptr);
std::optional<jlong> CallLongMethod(JNIEnv* env, jobject object, const char* name,
                                    const char* signature, const jvalue* args = nullptr);

// The methods of one object's class that have been called, looked up by name
// and signature the first time and kept. A method ID stays valid while its
// class is loaded, which the owner guarantees by holding a reference to the
// object for as long as it keeps the cache (a registration keeps one for its
// HLLBridge object). A method that is not found is looked up again on the
// next call. Any thread may use it: entries are only ever added, each
// filled in before it is published, so finding one takes no lock.
class JavaMethodCache {
public:
    // The method `name` `signature` of `object`'s class, or nullptr (traced,
    // no exception left pending) when the class has none. `object` must be
    // the same object, or one of the same class, on every call.
    jmethodID Find(JNIEnv* env, jobject object, const char* name, const char* signature);

private:
    // More than the HLLBridge methods the handlers call; past it methods are
    // looked up on every call.
    static constexpr std::size_t kCapacity = 64;
    struct Entry {
        std::string name;
        std::string signature;
        jmethodID method = nullptr;
    };
    jmethodID Kept(std::size_t count, const char* name, const char* signature) const;

    std::array<Entry, kCapacity> entries_;
    std::atomic<std::size_t> published_{0};
    std::mutex adding_;
};

// The context of a series of Java calls on one object: the thread attached
// to the virtual machine (for the scope only when it was not attached
// already), the object and, when its owner keeps one, the method cache of
// its class, and the arguments made for the calls, whose local references
// are deleted with the context. Any thread may make one; it is used by the
// thread that made it.
class JavaObjectCall {
public:
    // Attached, with no object yet (see SetTarget).
    JavaObjectCall() = default;
    // `object` may be null (the context is then not ready); `methods` may be
    // null (every call then looks its method up).
    JavaObjectCall(jobject object, JavaMethodCache* methods);
    JavaObjectCall(const JavaObjectCall&) = delete;
    JavaObjectCall& operator=(const JavaObjectCall&) = delete;
    ~JavaObjectCall();

    bool ready() const { return env() != nullptr && object_ != nullptr; }
    JNIEnv* env() const { return attached_.env(); }

    // Nothing when the context is not ready, the method is not found or the
    // call raised an exception (which is then cleared).
    std::optional<jlong> CallLong(const char* name, const char* signature,
                                  const jvalue* args = nullptr);
    std::optional<bool> CallBoolean(const char* name, const char* signature,
                                    const jvalue* args = nullptr);

    // Arguments: a new byte array of exactly `length` bytes; a new string
    // from zero-terminated modified UTF-8; a new string of at most `limit`
    // single-byte characters up to the first zero, each byte one character
    // (Latin-1), so that no bytes a caller sent can make malformed modified
    // UTF-8. nullptr when they could not be made (a call with a null
    // argument is then not made).
    jbyteArray ByteArray(const void* bytes, std::size_t length);
    jstring String(const char* text);
    jstring Latin1String(const char* text, std::size_t limit);

protected:
    void SetTarget(jobject object, JavaMethodCache* methods) {
        object_ = object;
        methods_ = methods;
    }

private:
    jmethodID Method(const char* name, const char* signature);

    AttachedJavaThread attached_;
    jobject object_ = nullptr;
    JavaMethodCache* methods_ = nullptr;
    std::vector<jobject> arguments_;
};

// Arguments of the Java calls, for the jvalue arrays of CallLong.
inline jvalue IntArg(std::int64_t value) {
    jvalue v;
    v.i = static_cast<jint>(value);
    return v;
}

inline jvalue BoolArg(bool value) {
    jvalue v;
    v.z = value ? JNI_TRUE : JNI_FALSE;
    return v;
}

inline jvalue ObjectArg(jobject value) {
    jvalue v;
    v.l = value;
    return v;
}

}  // namespace trv
