/* The machine-dependent part of jni.h for Windows x64, for building the JNI bindings for
 * Windows on a host whose JDK ships only its own platform's version of this header. On
 * Windows, long is 32 bits wide, so it serves as jint, as in the JDKs for Windows. */
#ifndef HALVERN_JNI_MD_WIN32_H
#define HALVERN_JNI_MD_WIN32_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
