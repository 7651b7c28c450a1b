// A small in-process stand-in for a Java virtual machine, for testing native
// code that is called through JNI and calls back into Java, on targets where
// no JVM runs (Windows under Wine) and where one would be too slow to start
// for every test. It implements only the JNI functions this library uses
// (listed in jni_double.cpp); any other aborts the test.
//
// Java is played by C++: a defined class has methods registered by name and
// signature whose bodies are callbacks; a callback may call natives of the
// library with the env it receives, and may raise a Java exception with
// Throw(). The double aborts loudly on what a real VM would punish: a JNI
// call from a thread that is not attached or with an exception pending, a
// deleted or foreign reference, a local reference used on another thread, a
// method called with the wrong Call<Type>Method or on another class's object.
// A method replaced by DefineMethod keeps its id, which then calls the new
// body (as a virtual machine's class redefinition keeps method ids valid).
//
// Threads: any thread may use the double; one lock guards its state and is
// never held while a callback runs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/jni.h"

namespace trv::test {

// A method body: the env of the calling thread, the object the method was
// called on, and the arguments in order. Answers the result (ignored for
// void methods); see the JLong/JChar/JBoolean helpers.
using FakeMethod = std::function<jvalue(JNIEnv* env, jobject self, const jvalue* args)>;

jvalue JLong(jlong value);
jvalue JChar(jchar value);
jvalue JBoolean(bool value);

class FakeJvm {
public:
    FakeJvm();
    ~FakeJvm();
    FakeJvm(const FakeJvm&) = delete;
    FakeJvm& operator=(const FakeJvm&) = delete;

    // The environment handed to every attached thread. Valid for the
    // double's life; JNI calls through it require an attached thread.
    JNIEnv* env();

    // ---- threads ----------------------------------------------------------
    // Marks the calling thread as a Java thread (attached, as the thread
    // that calls a native method is); counted as an attach.
    void AttachCurrentThreadAsJava();
    void DetachCurrentThreadAsJava();
    bool IsCurrentThreadAttached() const;

    // ---- classes and objects (callable from any thread, attached or not) --
    // A class by its JNI name ("com/ombrel/eQintra/hllbridge/HLLBridge").
    // The answer is a global reference owned by the double.
    jclass DefineClass(const std::string& name);
    // Adds or replaces a method; "()J" style signatures.
    void DefineMethod(jclass type, const std::string& name, const std::string& signature,
                      FakeMethod body);
    void RemoveMethod(jclass type, const std::string& name, const std::string& signature);
    // A new instance, as a local reference of the calling thread.
    jobject NewObject(jclass type);
    // A new byte array or string, as a local reference of the calling thread.
    jbyteArray NewBytes(const std::vector<std::uint8_t>& bytes);
    jstring NewString(const std::u16string& text);
    jstring NewStringFromUtf8(const std::string& text);
    // Contents, for assertions.
    std::vector<std::uint8_t> BytesOf(jbyteArray array) const;
    std::string Utf8Of(jstring text) const;

    // Raises a Java exception of class `className` on the calling thread;
    // meant for method callbacks, which then return.
    void Throw(const std::string& className, const std::string& message = {});

    // ---- counters: attachment, reference hygiene, exceptions, methods ------
    int attaches() const;        // AttachCurrentThread(AsDaemon) that attached
    int daemonAttaches() const;  // of which as daemon
    int detaches() const;        // DetachCurrentThread that detached
    int failedDetaches() const;  // DetachCurrentThread of a thread not attached
    int liveGlobalRefs() const;  // not counting the classes' own references
    int liveLocalRefsOnThread(std::uint32_t threadId) const;
    int heldArrayElements() const;  // Get...Elements not released
    int heldStrings() const;        // Get...Chars not released
    bool exceptionPending() const;  // on the calling thread
    int exceptionsCleared() const;
    int callsOf(const std::string& methodName) const;
    int lookupsOf(const std::string& methodName) const;  // GetMethodID calls, found or not

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Attaches the calling thread as a Java thread for the scope.
class JavaThreadScope {
public:
    explicit JavaThreadScope(FakeJvm& jvm) : jvm_(jvm) { jvm_.AttachCurrentThreadAsJava(); }
    ~JavaThreadScope() { jvm_.DetachCurrentThreadAsJava(); }
    JavaThreadScope(const JavaThreadScope&) = delete;
    JavaThreadScope& operator=(const JavaThreadScope&) = delete;

private:
    FakeJvm& jvm_;
};

}  // namespace trv::test
