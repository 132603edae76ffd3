// Java arrays to and from the C++ values the simulators take and give. A null array reads as
// empty; an array that cannot be made (OutOfMemoryError pending) comes back null.
#pragma once

#include <jni.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace halvern::sim::jni {

std::vector<jint> intElements(JNIEnv* env, jintArray array);
std::vector<jfloat> floatElements(JNIEnv* env, jfloatArray array);
std::vector<uint8_t> byteElements(JNIEnv* env, jbyteArray array);

jbyteArray toJavaBytes(JNIEnv* env, std::span<const uint8_t> bytes);
jintArray toJavaInts(JNIEnv* env, std::span<const jint> values);
/** ASCII lines, which NewStringUTF reads unchanged, as a String[]. */
jobjectArray toJavaStrings(JNIEnv* env, const std::vector<std::string>& lines);

/** Appends `value`'s low `size` bytes, least significant first, to a record for Java. */
void appendLittleEndian(std::vector<uint8_t>& out, uint64_t value, std::size_t size);

}  // namespace halvern::sim::jni
