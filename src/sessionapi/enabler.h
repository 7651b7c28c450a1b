// The emulator side of the session-management API: the native methods of
// the Java class QMXAPIEnabler, its service thread QMXAPIThreadProc, and
// ProcessQMXAPICall, which turns one request into a call of a Java method
// of the registered enabler object.
//
// One registration per emulator process: the enabler object, its
// registration argument (global references), the reply data handed over by
// cppSetQMXAPIData and the service thread. The virtual machine pointer is
// kept by jni/java_vm.h for every emulator-side handler.
#pragma once

#include <cstdint>

#include "platform/jni.h"
#include "tables/qmxapi_block.h"

extern "C" {

// Registers `enabler` with its `argument` (passed first to every Java method
// called on it) and starts the service thread; returns once the thread
// serves (its id is in the control record's QMXAPIThreadId) or it failed to
// start. A second registration while one is in force is ignored.
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppRegisterQMXAPI(
    JNIEnv* env, jobject enabler, jobject argument);

// Ends the service thread, releases every caller still waiting for a reply,
// clears QMXAPIThreadId and deletes the references kept at registration.
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppUnregisterQMXAPI(
    JNIEnv* env, jobject enabler, jobject argument);

// Keeps the first `length` bytes of `data` (at most 1,024) as the reply data
// of the request being served; called by the enabler's "querySessionList"
// and "queryProfile" before they return.
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppSetQMXAPIData(
    JNIEnv* env, jobject enabler, jbyteArray data, jint length);

}  // extern "C"

namespace trv {

// How long unregistration waits for the service thread to finish the request
// it serves. A thread that does not end in time (its Java method does not
// return) is left running with the references it uses.
constexpr std::uint32_t kQMXAPIThreadStopLimitMs = 30000;

// Serves the request in `record` (normally a private copy of a caller's
// record): calls the enabler's Java method for its request code and writes
// Result and the reply fields. A Java exception, a missing method or no
// registered enabler answer 9 (QMX_SYSTEM_ERROR) with nothing left pending;
// an unknown request code runs nothing and leaves Result as it was.
// Called on the service thread (any thread may call it in tests).
void ProcessQMXAPICall(QMXAPIBlock& record);

// The service thread's entry: a thread message loop until the quit message.
std::uint32_t QMXAPIThreadProc(void* unused);

}  // namespace trv
