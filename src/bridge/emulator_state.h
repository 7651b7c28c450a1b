// The emulator process's own record of the sessions it registered: for each
// letter the HLLBridge object that registered it (`BridgeObject`), the object
// passed to the registration (`SessionObject`) and the session's service
// thread. Private to the process; the shared session table holds the rest.
//
// Threads: written only by registration and unregistration of a letter (Java
// threads); read by that letter's service thread and by handlers. A letter's
// references are deleted only after its service thread has stopped serving,
// so a handler never calls Java through a deleted reference.
#pragma once

#include <cstdint>

#include "platform/jni.h"

namespace trv {

class JavaMethodCache;
struct ApplicationBlock;

// Global references of session slot `index` (0..25), or nullptr when this
// process has not registered that letter (or the index is out of range).
jobject BridgeObject(std::int32_t index);
jobject SessionObject(std::int32_t index);

// What handlers call Java through for slot `index`: its BridgeObject and the
// method cache of that registration, which lives exactly as long as the
// reference. Both nullptr when the letter is not registered here.
struct BridgeCallTarget {
    jobject object = nullptr;
    JavaMethodCache* methods = nullptr;
};
BridgeCallTarget BridgeTarget(std::int32_t index);

// True while this process has a service thread for slot `index`.
bool HasServiceThread(std::int32_t index);

// The identifier of the service thread of slot `index`, 0 when none.
std::uint32_t ServiceThreadId(std::int32_t index);

// The exchange block the service thread of slot `index` is serving a
// request for, nullptr between requests (or for another slot). The reply
// natives write there: the session's recorded caller may already be the
// next one, when the caller being served died and another took the session
// over meanwhile. When the caller being served has ended and its block was
// reclaimed (and perhaps taken by another process) since, nullptr with
// `*callerEnded` set: the reply has nowhere to go. The same on a service
// thread that unregistration gave up on: each registration keeps its own
// record, so such a thread never writes into what a new registration of
// the letter serves.
ApplicationBlock* BlockInService(std::int32_t index, bool* callerEnded = nullptr);

// How long unregistration waits for a service thread that is still inside a
// Java call. Past it the session is ended all the same (its waiting caller is
// released with 9) and the thread is left to finish that one request and
// clean up after itself; the stop already keeps it from serving another.
constexpr std::uint32_t kDefaultServiceStopWaitMs = 10000;
void SetServiceStopWait(std::uint32_t milliseconds);  // tests shorten it

}  // namespace trv
