// The JNI test double: fake objects behind reference records that are never
// freed while the double lives (so a deleted reference is recognised when it
// is used again), per-thread attachment and pending exceptions, and the
// function tables that JNIEnv and JavaVM point to.
//
// The JNI functions implemented:
//   invocation: GetEnv, AttachCurrentThread, AttachCurrentThreadAsDaemon,
//               DetachCurrentThread, DestroyJavaVM (refused)
//   environment: GetVersion, GetJavaVM, FindClass, GetObjectClass,
//               IsInstanceOf, IsSameObject, GetMethodID,
//               Call{Object,Boolean,Char,Int,Long,Void}Method and their V and
//               A forms, NewGlobalRef, DeleteGlobalRef, NewLocalRef,
//               DeleteLocalRef, NewByteArray, GetArrayLength,
//               Get/SetByteArrayRegion, Get/ReleaseByteArrayElements,
//               NewStringUTF, GetStringLength, GetStringUTFLength,
//               GetStringUTFChars/Release..., GetStringChars/Release...,
//               Throw, ThrowNew, ExceptionCheck, ExceptionOccurred,
//               ExceptionClear, ExceptionDescribe.
// Every other slot of the function tables aborts the test with the slot's
// index (count it in jni.h's JNINativeInterface_ to find the function).
#include "support/jni_double.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "platform/thread.h"

namespace trv::test {

jvalue JLong(jlong value) { jvalue v{}; v.j = value; return v; }
jvalue JChar(jchar value) { jvalue v{}; v.c = value; return v; }
jvalue JBoolean(bool value) { jvalue v{}; v.z = value ? JNI_TRUE : JNI_FALSE; return v; }

namespace {

[[noreturn]] __attribute__((format(gnu_printf, 1, 2))) void Fail(const char* format, ...) {
    std::fprintf(stderr, "JNI double: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    std::abort();
}

struct Thing;

struct MethodRecord {
    std::string name;
    std::string signature;
    FakeMethod body;
    char returnType = 'V';        // 'L' for objects and arrays
    std::vector<char> argTypes;   // the same letters
    Thing* owner = nullptr;
    bool removed = false;
};

struct Thing {
    enum class Kind { type, instance, bytes, string, throwable } kind;
    Thing* type = nullptr;  // the class of an instance or throwable
    std::string name;       // of a class
    std::map<std::pair<std::string, std::string>, std::unique_ptr<MethodRecord>> methods;
    std::vector<jbyte> bytes;
    std::u16string text;
    std::string message;
};

struct Ref {
    Thing* thing = nullptr;
    bool global = false;
    bool live = true;
    bool internal = false;  // the classes' own references, not counted
    std::uint32_t thread = 0;
};

struct ThreadState {
    bool attached = false;
    Thing* pending = nullptr;
};

// The letters of a JNI signature: arguments and result, 'L' for any
// reference type.
bool ParseSignature(const std::string& signature, std::vector<char>& args, char& result) {
    std::size_t i = 0;
    if (signature.empty() || signature[i++] != '(') return false;
    auto one = [&](char& letter) -> bool {
        if (i >= signature.size()) return false;
        char c = signature[i];
        if (c == '[') {
            while (i < signature.size() && signature[i] == '[') ++i;
            if (i >= signature.size()) return false;
            if (signature[i] == 'L') {
                i = signature.find(';', i);
                if (i == std::string::npos) return false;
            }
            ++i;
            letter = 'L';
            return true;
        }
        if (c == 'L') {
            i = signature.find(';', i);
            if (i == std::string::npos) return false;
            ++i;
            letter = 'L';
            return true;
        }
        if (std::strchr("ZBCSIJFDV", c) == nullptr) return false;
        ++i;
        letter = c;
        return true;
    };
    while (i < signature.size() && signature[i] != ')') {
        char letter = 0;
        if (!one(letter) || letter == 'V') return false;
        args.push_back(letter);
    }
    if (i >= signature.size()) return false;
    ++i;
    return one(result) && i == signature.size();
}

std::string EncodeModifiedUtf8(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) {
        const auto u = static_cast<std::uint32_t>(unit);
        if (u != 0 && u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::u16string DecodeModifiedUtf8(const char* text) {
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        std::uint32_t u = *p++;
        if (u >= 0xE0 && p[0] != 0 && p[1] != 0) {
            u = ((u & 0x0F) << 12) | ((p[0] & 0x3Fu) << 6) | (p[1] & 0x3Fu);
            p += 2;
        } else if (u >= 0xC0 && p[0] != 0) {
            u = ((u & 0x1F) << 6) | (p[0] & 0x3Fu);
            p += 1;
        }
        out += static_cast<char16_t>(u);
    }
    return out;
}

}  // namespace

struct FakeEnv : JNIEnv_ {
    FakeJvm::Impl* impl;
};
struct FakeVm : JavaVM_ {
    FakeJvm::Impl* impl;
};

struct FakeJvm::Impl {
    mutable std::mutex lock;
    JNINativeInterface_ envTable{};
    JNIInvokeInterface_ vmTable{};
    FakeEnv env{};
    FakeVm vm{};

    std::vector<std::unique_ptr<Thing>> things;
    std::vector<std::unique_ptr<Ref>> refs;
    std::set<const Ref*> knownRefs;
    std::set<const MethodRecord*> knownMethods;
    std::map<std::string, Thing*> classes;
    std::map<std::uint32_t, ThreadState> threads;
    std::map<const void*, Thing*> heldElements;
    std::set<const void*> heldStrings;
    std::map<std::string, int> calls;
    std::map<std::string, int> lookups;
    int attaches = 0;
    int daemonAttaches = 0;
    int detaches = 0;
    int failedDetaches = 0;
    int exceptionsCleared = 0;

    // ---- under the lock -------------------------------------------------
    Thing* NewThing(Thing::Kind kind) {
        things.push_back(std::make_unique<Thing>());
        things.back()->kind = kind;
        return things.back().get();
    }
    jobject NewRef(Thing* thing, bool global, bool internal = false) {
        if (thing == nullptr) return nullptr;
        refs.push_back(std::make_unique<Ref>());
        Ref* ref = refs.back().get();
        ref->thing = thing;
        ref->global = global;
        ref->internal = internal;
        ref->thread = platform::CurrentThreadId();
        knownRefs.insert(ref);
        return reinterpret_cast<jobject>(ref);
    }
    Ref* RefOf(jobject object, const char* function) const {
        auto* ref = reinterpret_cast<Ref*>(object);
        if (knownRefs.count(ref) == 0) Fail("%s: %p is not a reference of the double", function, static_cast<void*>(object));
        if (!ref->live) Fail("%s: reference %p used after it was deleted", function, static_cast<void*>(object));
        if (!ref->global && ref->thread != platform::CurrentThreadId()) {
            Fail("%s: local reference %p of thread %u used on thread %u", function,
                 static_cast<void*>(object), ref->thread, platform::CurrentThreadId());
        }
        return ref;
    }
    Thing* Resolve(jobject object, const char* function) const {
        return object == nullptr ? nullptr : RefOf(object, function)->thing;
    }
    Thing* ResolveKind(jobject object, Thing::Kind kind, const char* function) const {
        Thing* thing = Resolve(object, function);
        if (thing == nullptr) Fail("%s: null reference", function);
        if (thing->kind != kind) Fail("%s: reference of the wrong kind", function);
        return thing;
    }
    Thing* ClassNamed(const std::string& name) {
        auto found = classes.find(name);
        if (found != classes.end()) return found->second;
        Thing* type = NewThing(Thing::Kind::type);
        type->name = name;
        classes[name] = type;
        return type;
    }
    ThreadState& Current() { return threads[platform::CurrentThreadId()]; }
    void ThrowLocked(const std::string& className, const std::string& message) {
        Thing* throwable = NewThing(Thing::Kind::throwable);
        throwable->type = ClassNamed(className);
        throwable->message = message;
        Current().pending = throwable;
    }
    // Every environment function starts here: the thread must be attached
    // and, unless the function is one of the few allowed then, must have no
    // exception pending.
    std::unique_lock<std::mutex> Enter(const char* function, bool allowedWithException = false) {
        std::unique_lock<std::mutex> guard(lock);
        ThreadState& state = Current();
        if (!state.attached) Fail("%s called on thread %u, which is not attached", function, platform::CurrentThreadId());
        if (state.pending != nullptr && !allowedWithException) {
            Fail("%s called with a Java exception (%s) pending", function, state.pending->type->name.c_str());
        }
        return guard;
    }
    void ReleaseLocalsOf(std::uint32_t thread, int* left) {
        for (auto& ref : refs) {
            if (ref->live && !ref->global && ref->thread == thread) {
                ref->live = false;
                if (left != nullptr) ++*left;
            }
        }
    }
};

namespace {

FakeJvm::Impl& ImplOf(JNIEnv* env) { return *static_cast<FakeEnv*>(env)->impl; }
FakeJvm::Impl& ImplOf(JavaVM* vm) { return *static_cast<FakeVm*>(vm)->impl; }

// ---- invocation interface --------------------------------------------------

jint JNICALL DestroyJavaVM(JavaVM*) { return JNI_ERR; }

jint Attach(JavaVM* vm, void** penv, bool daemon) {
    FakeJvm::Impl& impl = ImplOf(vm);
    std::lock_guard<std::mutex> guard(impl.lock);
    ThreadState& state = impl.Current();
    if (!state.attached) {
        state.attached = true;
        ++impl.attaches;
        if (daemon) ++impl.daemonAttaches;
    }
    *penv = static_cast<JNIEnv*>(&impl.env);
    return JNI_OK;
}

jint JNICALL AttachCurrentThread(JavaVM* vm, void** penv, void*) { return Attach(vm, penv, false); }
jint JNICALL AttachCurrentThreadAsDaemon(JavaVM* vm, void** penv, void*) { return Attach(vm, penv, true); }

jint JNICALL DetachCurrentThread(JavaVM* vm) {
    FakeJvm::Impl& impl = ImplOf(vm);
    std::lock_guard<std::mutex> guard(impl.lock);
    ThreadState& state = impl.Current();
    if (!state.attached) {
        ++impl.failedDetaches;
        return JNI_EDETACHED;
    }
    if (state.pending != nullptr) Fail("DetachCurrentThread with a Java exception pending");
    state.attached = false;
    ++impl.detaches;
    int left = 0;
    impl.ReleaseLocalsOf(platform::CurrentThreadId(), &left);
    if (left != 0) Fail("DetachCurrentThread: thread %u leaves %d local references", platform::CurrentThreadId(), left);
    return JNI_OK;
}

jint JNICALL GetEnv(JavaVM* vm, void** penv, jint) {
    FakeJvm::Impl& impl = ImplOf(vm);
    std::lock_guard<std::mutex> guard(impl.lock);
    if (!impl.Current().attached) {
        *penv = nullptr;
        return JNI_EDETACHED;
    }
    *penv = static_cast<JNIEnv*>(&impl.env);
    return JNI_OK;
}

// ---- environment: classes, references, exceptions ------------------------

jint JNICALL GetVersion(JNIEnv* env) {
    auto guard = ImplOf(env).Enter("GetVersion");
    return JNI_VERSION_1_8;
}

jint JNICALL GetJavaVM(JNIEnv* env, JavaVM** vm) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetJavaVM");
    *vm = &impl.vm;
    return JNI_OK;
}

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("FindClass");
    auto found = impl.classes.find(name != nullptr ? name : "");
    if (found == impl.classes.end() || found->second->methods.empty()) {
        impl.ThrowLocked("java/lang/NoClassDefFoundError", name != nullptr ? name : "");
        return nullptr;
    }
    return static_cast<jclass>(impl.NewRef(found->second, false));
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject object) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetObjectClass");
    Thing* thing = impl.Resolve(object, "GetObjectClass");
    if (thing == nullptr) Fail("GetObjectClass of null");
    Thing* type = thing->type;
    if (thing->kind == Thing::Kind::bytes) type = impl.ClassNamed("[B");
    if (thing->kind == Thing::Kind::string) type = impl.ClassNamed("java/lang/String");
    if (thing->kind == Thing::Kind::type) type = impl.ClassNamed("java/lang/Class");
    return static_cast<jclass>(impl.NewRef(type, false));
}

jboolean JNICALL IsInstanceOf(JNIEnv* env, jobject object, jclass type) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("IsInstanceOf");
    Thing* thing = impl.Resolve(object, "IsInstanceOf");
    Thing* klass = impl.ResolveKind(type, Thing::Kind::type, "IsInstanceOf");
    return thing == nullptr || thing->type == klass ? JNI_TRUE : JNI_FALSE;
}

jboolean JNICALL IsSameObject(JNIEnv* env, jobject a, jobject b) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("IsSameObject", true);
    return impl.Resolve(a, "IsSameObject") == impl.Resolve(b, "IsSameObject") ? JNI_TRUE : JNI_FALSE;
}

jobject JNICALL NewGlobalRef(JNIEnv* env, jobject object) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("NewGlobalRef");
    return impl.NewRef(impl.Resolve(object, "NewGlobalRef"), true);
}

jobject JNICALL NewLocalRef(JNIEnv* env, jobject object) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("NewLocalRef");
    return impl.NewRef(impl.Resolve(object, "NewLocalRef"), false);
}

void DeleteRef(JNIEnv* env, jobject object, bool global, const char* function) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter(function, true);
    if (object == nullptr) return;
    Ref* ref = impl.RefOf(object, function);
    if (ref->global != global) Fail("%s of a %s reference", function, ref->global ? "global" : "local");
    if (ref->internal) Fail("%s of a class reference owned by the double", function);
    ref->live = false;
}

void JNICALL DeleteGlobalRef(JNIEnv* env, jobject object) { DeleteRef(env, object, true, "DeleteGlobalRef"); }
void JNICALL DeleteLocalRef(JNIEnv* env, jobject object) { DeleteRef(env, object, false, "DeleteLocalRef"); }

jint JNICALL ThrowObject(JNIEnv* env, jthrowable throwable) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("Throw");
    impl.Current().pending = impl.ResolveKind(throwable, Thing::Kind::throwable, "Throw");
    return 0;
}

jint JNICALL ThrowNew(JNIEnv* env, jclass type, const char* message) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("ThrowNew");
    Thing* klass = impl.ResolveKind(type, Thing::Kind::type, "ThrowNew");
    impl.ThrowLocked(klass->name, message != nullptr ? message : "");
    return 0;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("ExceptionOccurred", true);
    return static_cast<jthrowable>(impl.NewRef(impl.Current().pending, false));
}

void JNICALL ExceptionDescribe(JNIEnv* env) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("ExceptionDescribe", true);
    ThreadState& state = impl.Current();
    if (state.pending == nullptr) return;
    std::fprintf(stderr, "JNI double: exception %s: %s\n", state.pending->type->name.c_str(),
                 state.pending->message.c_str());
    state.pending = nullptr;
    ++impl.exceptionsCleared;
}

void JNICALL ExceptionClear(JNIEnv* env) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("ExceptionClear", true);
    ThreadState& state = impl.Current();
    if (state.pending != nullptr) ++impl.exceptionsCleared;
    state.pending = nullptr;
}

jboolean JNICALL ExceptionCheck(JNIEnv* env) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("ExceptionCheck", true);
    return impl.Current().pending != nullptr ? JNI_TRUE : JNI_FALSE;
}

// ---- methods ---------------------------------------------------------------

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass type, const char* name, const char* signature) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetMethodID");
    Thing* klass = impl.ResolveKind(type, Thing::Kind::type, "GetMethodID");
    ++impl.lookups[name != nullptr ? name : ""];
    auto found = klass->methods.find({name != nullptr ? name : "", signature != nullptr ? signature : ""});
    if (found == klass->methods.end() || found->second->removed) {
        impl.ThrowLocked("java/lang/NoSuchMethodError", std::string(name != nullptr ? name : "") +
                                                            (signature != nullptr ? signature : ""));
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(found->second.get());
}

jvalue Invoke(JNIEnv* env, jobject object, jmethodID id, const jvalue* args, char returnType,
              const char* function) {
    FakeJvm::Impl& impl = ImplOf(env);
    FakeMethod body;
    {
        auto guard = impl.Enter(function);
        auto* method = reinterpret_cast<MethodRecord*>(id);
        if (impl.knownMethods.count(method) == 0) Fail("%s: not a method id of the double", function);
        if (method->removed) Fail("%s: method %s was removed", function, method->name.c_str());
        Thing* self = impl.Resolve(object, function);
        if (self == nullptr) Fail("%s: %s called on null", function, method->name.c_str());
        if (self->type != method->owner) {
            Fail("%s: %s of class %s called on an object of another class", function,
                 method->name.c_str(), method->owner->name.c_str());
        }
        if (method->returnType != returnType) {
            Fail("%s used for %s%s", function, method->name.c_str(), method->signature.c_str());
        }
        if (!method->argTypes.empty() && args == nullptr) Fail("%s: %s without arguments", function, method->name.c_str());
        ++impl.calls[method->name];
        body = method->body;
    }
    return body(env, object, args);
}

std::vector<jvalue> ArgumentsOf(JNIEnv* env, jmethodID id, va_list list) {
    const MethodRecord* method = reinterpret_cast<const MethodRecord*>(id);
    {
        FakeJvm::Impl& impl = ImplOf(env);
        std::lock_guard<std::mutex> guard(impl.lock);
        if (impl.knownMethods.count(method) == 0) Fail("Call...MethodV: not a method id of the double");
    }
    std::vector<jvalue> args;
    for (char letter : method->argTypes) {
        jvalue v{};
        switch (letter) {
            case 'Z': v.z = static_cast<jboolean>(va_arg(list, int)); break;
            case 'B': v.b = static_cast<jbyte>(va_arg(list, int)); break;
            case 'C': v.c = static_cast<jchar>(va_arg(list, int)); break;
            case 'S': v.s = static_cast<jshort>(va_arg(list, int)); break;
            case 'I': v.i = va_arg(list, jint); break;
            case 'J': v.j = va_arg(list, jlong); break;
            case 'F': v.f = static_cast<jfloat>(va_arg(list, double)); break;
            case 'D': v.d = va_arg(list, double); break;
            default: v.l = va_arg(list, jobject); break;
        }
        args.push_back(v);
    }
    args.push_back(jvalue{});  // never an empty array
    return args;
}

#define TRV_FAKE_CALLS(Type, type, letter, field)                                                   \
    type JNICALL Call##Type##MethodA(JNIEnv* env, jobject object, jmethodID id, const jvalue* args) { \
        return Invoke(env, object, id, args, letter, "Call" #Type "MethodA").field;                 \
    }                                                                                              \
    type JNICALL Call##Type##MethodV(JNIEnv* env, jobject object, jmethodID id, va_list list) {     \
        std::vector<jvalue> args = ArgumentsOf(env, id, list);                                     \
        return Invoke(env, object, id, args.data(), letter, "Call" #Type "MethodV").field;          \
    }                                                                                              \
    type JNICALL Call##Type##Method(JNIEnv* env, jobject object, jmethodID id, ...) {               \
        va_list list;                                                                              \
        va_start(list, id);                                                                        \
        std::vector<jvalue> args = ArgumentsOf(env, id, list);                                     \
        va_end(list);                                                                              \
        return Invoke(env, object, id, args.data(), letter, "Call" #Type "Method").field;           \
    }

TRV_FAKE_CALLS(Object, jobject, 'L', l)
TRV_FAKE_CALLS(Boolean, jboolean, 'Z', z)
TRV_FAKE_CALLS(Char, jchar, 'C', c)
TRV_FAKE_CALLS(Int, jint, 'I', i)
TRV_FAKE_CALLS(Long, jlong, 'J', j)
#undef TRV_FAKE_CALLS

void JNICALL CallVoidMethodA(JNIEnv* env, jobject object, jmethodID id, const jvalue* args) {
    Invoke(env, object, id, args, 'V', "CallVoidMethodA");
}
void JNICALL CallVoidMethodV(JNIEnv* env, jobject object, jmethodID id, va_list list) {
    std::vector<jvalue> args = ArgumentsOf(env, id, list);
    Invoke(env, object, id, args.data(), 'V', "CallVoidMethodV");
}
void JNICALL CallVoidMethod(JNIEnv* env, jobject object, jmethodID id, ...) {
    va_list list;
    va_start(list, id);
    std::vector<jvalue> args = ArgumentsOf(env, id, list);
    va_end(list);
    Invoke(env, object, id, args.data(), 'V', "CallVoidMethod");
}

// ---- arrays and strings ------------------------------------------------------

jbyteArray JNICALL NewByteArray(JNIEnv* env, jsize length) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("NewByteArray");
    if (length < 0) {
        impl.ThrowLocked("java/lang/NegativeArraySizeException", "");
        return nullptr;
    }
    Thing* array = impl.NewThing(Thing::Kind::bytes);
    array->bytes.assign(static_cast<std::size_t>(length), 0);
    return static_cast<jbyteArray>(impl.NewRef(array, false));
}

jsize JNICALL GetArrayLength(JNIEnv* env, jarray array) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetArrayLength");
    return static_cast<jsize>(impl.ResolveKind(array, Thing::Kind::bytes, "GetArrayLength")->bytes.size());
}

bool InBounds(const Thing& array, jsize start, jsize length) {
    return start >= 0 && length >= 0 &&
           static_cast<std::size_t>(start) + static_cast<std::size_t>(length) <= array.bytes.size();
}

void JNICALL GetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length, jbyte* out) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetByteArrayRegion");
    Thing* bytes = impl.ResolveKind(array, Thing::Kind::bytes, "GetByteArrayRegion");
    if (!InBounds(*bytes, start, length)) {
        impl.ThrowLocked("java/lang/ArrayIndexOutOfBoundsException", "");
        return;
    }
    if (length > 0) std::memcpy(out, bytes->bytes.data() + start, static_cast<std::size_t>(length));
}

void JNICALL SetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length, const jbyte* in) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("SetByteArrayRegion");
    Thing* bytes = impl.ResolveKind(array, Thing::Kind::bytes, "SetByteArrayRegion");
    if (!InBounds(*bytes, start, length)) {
        impl.ThrowLocked("java/lang/ArrayIndexOutOfBoundsException", "");
        return;
    }
    if (length > 0) std::memcpy(bytes->bytes.data() + start, in, static_cast<std::size_t>(length));
}

jbyte* JNICALL GetByteArrayElements(JNIEnv* env, jbyteArray array, jboolean* isCopy) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetByteArrayElements");
    Thing* bytes = impl.ResolveKind(array, Thing::Kind::bytes, "GetByteArrayElements");
    auto* copy = static_cast<jbyte*>(std::malloc(bytes->bytes.size() + 1));
    if (!bytes->bytes.empty()) std::memcpy(copy, bytes->bytes.data(), bytes->bytes.size());
    impl.heldElements[copy] = bytes;
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return copy;
}

void JNICALL ReleaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elements, jint mode) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("ReleaseByteArrayElements", true);
    Thing* bytes = impl.ResolveKind(array, Thing::Kind::bytes, "ReleaseByteArrayElements");
    auto held = impl.heldElements.find(elements);
    if (held == impl.heldElements.end() || held->second != bytes) {
        Fail("ReleaseByteArrayElements of elements not held for this array");
    }
    if (mode == 0 || mode == JNI_COMMIT) {
        if (!bytes->bytes.empty()) std::memcpy(bytes->bytes.data(), elements, bytes->bytes.size());
    }
    if (mode == 0 || mode == JNI_ABORT) {
        impl.heldElements.erase(held);
        std::free(elements);
    }
}

jstring JNICALL NewStringUTF(JNIEnv* env, const char* text) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("NewStringUTF");
    if (text == nullptr) return nullptr;
    Thing* string = impl.NewThing(Thing::Kind::string);
    string->text = DecodeModifiedUtf8(text);
    return static_cast<jstring>(impl.NewRef(string, false));
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring text) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetStringLength");
    return static_cast<jsize>(impl.ResolveKind(text, Thing::Kind::string, "GetStringLength")->text.size());
}

jsize JNICALL GetStringUTFLength(JNIEnv* env, jstring text) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetStringUTFLength");
    Thing* string = impl.ResolveKind(text, Thing::Kind::string, "GetStringUTFLength");
    return static_cast<jsize>(EncodeModifiedUtf8(string->text).size());
}

const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring text, jboolean* isCopy) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetStringUTFChars");
    const std::string utf8 = EncodeModifiedUtf8(impl.ResolveKind(text, Thing::Kind::string, "GetStringUTFChars")->text);
    auto* copy = static_cast<char*>(std::malloc(utf8.size() + 1));
    std::memcpy(copy, utf8.c_str(), utf8.size() + 1);
    impl.heldStrings.insert(copy);
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return copy;
}

void ReleaseHeldString(JNIEnv* env, jstring text, const void* chars, const char* function) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter(function, true);
    impl.ResolveKind(text, Thing::Kind::string, function);
    if (impl.heldStrings.erase(chars) == 0) Fail("%s of characters not held", function);
    std::free(const_cast<void*>(chars));
}

void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring text, const char* chars) {
    ReleaseHeldString(env, text, chars, "ReleaseStringUTFChars");
}

const jchar* JNICALL GetStringChars(JNIEnv* env, jstring text, jboolean* isCopy) {
    FakeJvm::Impl& impl = ImplOf(env);
    auto guard = impl.Enter("GetStringChars");
    const std::u16string& units = impl.ResolveKind(text, Thing::Kind::string, "GetStringChars")->text;
    auto* copy = static_cast<jchar*>(std::malloc((units.size() + 1) * sizeof(jchar)));
    for (std::size_t i = 0; i < units.size(); ++i) copy[i] = static_cast<jchar>(units[i]);
    copy[units.size()] = 0;
    impl.heldStrings.insert(copy);
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return copy;
}

void JNICALL ReleaseStringChars(JNIEnv* env, jstring text, const jchar* chars) {
    ReleaseHeldString(env, text, chars, "ReleaseStringChars");
}

// Unimplemented slots abort with their index in the table.
template <std::size_t N>
void Unimplemented() {
    Fail("JNI function #%u of the function table is not implemented", static_cast<unsigned>(N));
}

template <std::size_t... I>
void FillUnimplemented(void** slots, std::index_sequence<I...>) {
    ((slots[I] = reinterpret_cast<void*>(&Unimplemented<I>)), ...);
}

}  // namespace

FakeJvm::FakeJvm() : impl_(std::make_unique<Impl>()) {
    Impl& impl = *impl_;
    constexpr std::size_t kEnvSlots = sizeof(JNINativeInterface_) / sizeof(void*);
    constexpr std::size_t kVmSlots = sizeof(JNIInvokeInterface_) / sizeof(void*);
    FillUnimplemented(reinterpret_cast<void**>(&impl.envTable), std::make_index_sequence<kEnvSlots>());
    FillUnimplemented(reinterpret_cast<void**>(&impl.vmTable), std::make_index_sequence<kVmSlots>());

    JNIInvokeInterface_& vm = impl.vmTable;
    vm.DestroyJavaVM = &DestroyJavaVM;
    vm.AttachCurrentThread = &AttachCurrentThread;
    vm.AttachCurrentThreadAsDaemon = &AttachCurrentThreadAsDaemon;
    vm.DetachCurrentThread = &DetachCurrentThread;
    vm.GetEnv = &GetEnv;

    JNINativeInterface_& e = impl.envTable;
    e.GetVersion = &GetVersion;
    e.GetJavaVM = &GetJavaVM;
    e.FindClass = &FindClass;
    e.GetObjectClass = &GetObjectClass;
    e.IsInstanceOf = &IsInstanceOf;
    e.IsSameObject = &IsSameObject;
    e.NewGlobalRef = &NewGlobalRef;
    e.DeleteGlobalRef = &DeleteGlobalRef;
    e.NewLocalRef = &NewLocalRef;
    e.DeleteLocalRef = &DeleteLocalRef;
    e.Throw = &ThrowObject;
    e.ThrowNew = &ThrowNew;
    e.ExceptionOccurred = &ExceptionOccurred;
    e.ExceptionDescribe = &ExceptionDescribe;
    e.ExceptionClear = &ExceptionClear;
    e.ExceptionCheck = &ExceptionCheck;
    e.GetMethodID = &GetMethodID;
    e.CallObjectMethod = &CallObjectMethod;
    e.CallObjectMethodV = &CallObjectMethodV;
    e.CallObjectMethodA = &CallObjectMethodA;
    e.CallBooleanMethod = &CallBooleanMethod;
    e.CallBooleanMethodV = &CallBooleanMethodV;
    e.CallBooleanMethodA = &CallBooleanMethodA;
    e.CallCharMethod = &CallCharMethod;
    e.CallCharMethodV = &CallCharMethodV;
    e.CallCharMethodA = &CallCharMethodA;
    e.CallIntMethod = &CallIntMethod;
    e.CallIntMethodV = &CallIntMethodV;
    e.CallIntMethodA = &CallIntMethodA;
    e.CallLongMethod = &CallLongMethod;
    e.CallLongMethodV = &CallLongMethodV;
    e.CallLongMethodA = &CallLongMethodA;
    e.CallVoidMethod = &CallVoidMethod;
    e.CallVoidMethodV = &CallVoidMethodV;
    e.CallVoidMethodA = &CallVoidMethodA;
    e.NewByteArray = &NewByteArray;
    e.GetArrayLength = &GetArrayLength;
    e.GetByteArrayRegion = &GetByteArrayRegion;
    e.SetByteArrayRegion = &SetByteArrayRegion;
    e.GetByteArrayElements = &GetByteArrayElements;
    e.ReleaseByteArrayElements = &ReleaseByteArrayElements;
    e.NewStringUTF = &NewStringUTF;
    e.GetStringLength = &GetStringLength;
    e.GetStringUTFLength = &GetStringUTFLength;
    e.GetStringUTFChars = &GetStringUTFChars;
    e.ReleaseStringUTFChars = &ReleaseStringUTFChars;
    e.GetStringChars = &GetStringChars;
    e.ReleaseStringChars = &ReleaseStringChars;

    impl.env.functions = &impl.envTable;
    impl.env.impl = &impl;
    impl.vm.functions = &impl.vmTable;
    impl.vm.impl = &impl;
}

FakeJvm::~FakeJvm() {
    for (auto& held : impl_->heldElements) std::free(const_cast<void*>(held.first));
    for (const void* held : impl_->heldStrings) std::free(const_cast<void*>(held));
}

JNIEnv* FakeJvm::env() { return &impl_->env; }

void FakeJvm::AttachCurrentThreadAsJava() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    ThreadState& state = impl_->Current();
    if (state.attached) Fail("AttachCurrentThreadAsJava: thread %u is attached already", platform::CurrentThreadId());
    state.attached = true;
    ++impl_->attaches;
}

void FakeJvm::DetachCurrentThreadAsJava() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    ThreadState& state = impl_->Current();
    if (!state.attached) Fail("DetachCurrentThreadAsJava: thread %u is not attached", platform::CurrentThreadId());
    state.attached = false;
    state.pending = nullptr;
    ++impl_->detaches;
    // Returning from Java frees the frame's local references.
    impl_->ReleaseLocalsOf(platform::CurrentThreadId(), nullptr);
}

bool FakeJvm::IsCurrentThreadAttached() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    auto found = impl_->threads.find(platform::CurrentThreadId());
    return found != impl_->threads.end() && found->second.attached;
}

jclass FakeJvm::DefineClass(const std::string& name) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return static_cast<jclass>(impl_->NewRef(impl_->ClassNamed(name), true, true));
}

void FakeJvm::DefineMethod(jclass type, const std::string& name, const std::string& signature,
                           FakeMethod body) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    Thing* klass = impl_->ResolveKind(type, Thing::Kind::type, "DefineMethod");
    auto method = std::make_unique<MethodRecord>();
    if (!ParseSignature(signature, method->argTypes, method->returnType)) {
        Fail("DefineMethod: bad signature %s", signature.c_str());
    }
    method->name = name;
    method->signature = signature;
    method->body = std::move(body);
    method->owner = klass;
    // A replaced method keeps its id, which calls the new body from now on,
    // as a redefined class's methods do in a virtual machine (callers may
    // keep method ids for as long as the class is loaded).
    auto& slot = klass->methods[{name, signature}];
    if (slot) {
        slot->body = std::move(method->body);
        slot->removed = false;
        return;
    }
    impl_->knownMethods.insert(method.get());
    slot = std::move(method);
}

void FakeJvm::RemoveMethod(jclass type, const std::string& name, const std::string& signature) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    Thing* klass = impl_->ResolveKind(type, Thing::Kind::type, "RemoveMethod");
    auto found = klass->methods.find({name, signature});
    if (found != klass->methods.end()) found->second->removed = true;
}

jobject FakeJvm::NewObject(jclass type) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    Thing* klass = impl_->ResolveKind(type, Thing::Kind::type, "NewObject");
    Thing* instance = impl_->NewThing(Thing::Kind::instance);
    instance->type = klass;
    return impl_->NewRef(instance, false);
}

jbyteArray FakeJvm::NewBytes(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    Thing* array = impl_->NewThing(Thing::Kind::bytes);
    array->bytes.assign(bytes.begin(), bytes.end());
    return static_cast<jbyteArray>(impl_->NewRef(array, false));
}

jstring FakeJvm::NewString(const std::u16string& text) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    Thing* string = impl_->NewThing(Thing::Kind::string);
    string->text = text;
    return static_cast<jstring>(impl_->NewRef(string, false));
}

jstring FakeJvm::NewStringFromUtf8(const std::string& text) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    Thing* string = impl_->NewThing(Thing::Kind::string);
    string->text = DecodeModifiedUtf8(text.c_str());
    return static_cast<jstring>(impl_->NewRef(string, false));
}

std::vector<std::uint8_t> FakeJvm::BytesOf(jbyteArray array) const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Thing* bytes = impl_->ResolveKind(array, Thing::Kind::bytes, "BytesOf");
    return std::vector<std::uint8_t>(bytes->bytes.begin(), bytes->bytes.end());
}

std::string FakeJvm::Utf8Of(jstring text) const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return EncodeModifiedUtf8(impl_->ResolveKind(text, Thing::Kind::string, "Utf8Of")->text);
}

void FakeJvm::Throw(const std::string& className, const std::string& message) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->ThrowLocked(className, message);
}

int FakeJvm::attaches() const { std::lock_guard<std::mutex> g(impl_->lock); return impl_->attaches; }
int FakeJvm::daemonAttaches() const { std::lock_guard<std::mutex> g(impl_->lock); return impl_->daemonAttaches; }
int FakeJvm::detaches() const { std::lock_guard<std::mutex> g(impl_->lock); return impl_->detaches; }
int FakeJvm::failedDetaches() const { std::lock_guard<std::mutex> g(impl_->lock); return impl_->failedDetaches; }
int FakeJvm::exceptionsCleared() const { std::lock_guard<std::mutex> g(impl_->lock); return impl_->exceptionsCleared; }

int FakeJvm::liveGlobalRefs() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    int count = 0;
    for (const auto& ref : impl_->refs) count += ref->live && ref->global && !ref->internal ? 1 : 0;
    return count;
}

int FakeJvm::liveLocalRefsOnThread(std::uint32_t threadId) const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    int count = 0;
    for (const auto& ref : impl_->refs) count += ref->live && !ref->global && ref->thread == threadId ? 1 : 0;
    return count;
}

int FakeJvm::heldArrayElements() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return static_cast<int>(impl_->heldElements.size());
}

int FakeJvm::heldStrings() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return static_cast<int>(impl_->heldStrings.size());
}

bool FakeJvm::exceptionPending() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    auto found = impl_->threads.find(platform::CurrentThreadId());
    return found != impl_->threads.end() && found->second.pending != nullptr;
}

int FakeJvm::callsOf(const std::string& methodName) const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    auto found = impl_->calls.find(methodName);
    return found != impl_->calls.end() ? found->second : 0;
}

int FakeJvm::lookupsOf(const std::string& methodName) const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    auto found = impl_->lookups.find(methodName);
    return found != impl_->lookups.end() ? found->second : 0;
}

}  // namespace trv::test
