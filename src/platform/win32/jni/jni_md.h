/* Machine-dependent JNI types for Windows x64, used with the JDK's portable
 * jni.h when cross-building the DLL: 32-bit jint (long is 32 bits on
 * Windows), 64-bit jlong, exports from the DLL, the standard calling
 * convention. */
#ifndef TRV_WIN32_JNI_MD_H
#define TRV_WIN32_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
