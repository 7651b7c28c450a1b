// The native methods of the emulator's Java class HLLBridge (package
// com.ombrel.eQintra.hllbridge), exported by name; on Windows they also carry
// fixed ordinals (resources/trvha64.def).
//
// They run on the emulator's Java threads (the reply methods also on a
// session's service thread, when a Java method it called calls back). None
// lets a C++ exception out or leaves a Java exception of its own pending; an
// unexpected failure leaves the shared tables as they were and answers the
// neutral result (0, false, nullptr).
#pragma once

#include "platform/jni.h"

extern "C" {

// Registration and versions.
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppRegisterEHLLAPI(
    JNIEnv* env, jobject self, jobject session);
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppUnregisterEHLLAPI(
    JNIEnv* env, jobject self);
JNIEXPORT jchar JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetAvailableSessionID(
    JNIEnv* env, jobject self, jchar wanted);
JNIEXPORT jint JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetAvailableSessionIDMap(
    JNIEnv* env, jobject self);
JNIEXPORT jstring JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetVersion(
    JNIEnv* env, jobject self);

// Replies, written into the Data of the caller being served. At most 10,239
// bytes (10,238 for the 16-bit form) are stored, so that the terminator
// still fits; a length beyond the array or text given is cut to it.
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppRetrieveEHLLAPIData(
    JNIEnv* env, jobject self);
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawData(
    JNIEnv* env, jobject self, jchar letter, jbyteArray data, jint length);
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataUnicodePS(
    JNIEnv* env, jobject self, jchar letter, jbyteArray data, jint length, jint count);
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataString(
    JNIEnv* env, jobject self, jchar letter, jstring text, jint length);

// Notifications of the session's events.
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendOIANotifications(
    JNIEnv* env, jobject self, jchar letter, jboolean inhibited);
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendPSNotifications(
    JNIEnv* env, jobject self, jchar letter);
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppInterruptWait(
    JNIEnv* env, jobject self, jchar letter);
JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendClosingNotifications(
    JNIEnv* env, jobject self, jchar letter);
JNIEXPORT jboolean JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendKeyNotifications(
    JNIEnv* env, jobject self, jchar letter, jstring key);

// The callers of the session, by identity "<block name>/<start stamp>" (the
// exchange block's name, and in eight hex digits the start stamp of the
// process holding it), so that the emulator can keep what callers hold per
// caller. cppGetCallerID answers the identity of the caller being served
// (valid while a request runs; nullptr otherwise). cppCallerEnded answers
// true when that caller has ended: no block bears its name, its holder ended
// (the block is then reclaimed, with its ties to the sessions), or a later
// process holds the block; false while it lives or when that cannot be shown.
JNIEXPORT jstring JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetCallerID(
    JNIEnv* env, jobject self, jchar letter);
JNIEXPORT jboolean JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppCallerEnded(
    JNIEnv* env, jobject self, jchar letter, jstring caller);

}  // extern "C"
