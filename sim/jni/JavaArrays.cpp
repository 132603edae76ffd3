#include "JavaArrays.h"

namespace halvern::sim::jni {

namespace {

std::size_t lengthOf(JNIEnv* env, jarray array) {
  return array == nullptr ? 0 : static_cast<std::size_t>(env->GetArrayLength(array));
}

}  // namespace

std::vector<jint> intElements(JNIEnv* env, jintArray array) {
  std::vector<jint> elements(lengthOf(env, array));
  if (!elements.empty()) {
    env->GetIntArrayRegion(array, 0, static_cast<jsize>(elements.size()), elements.data());
  }
  return elements;
}

std::vector<jfloat> floatElements(JNIEnv* env, jfloatArray array) {
  std::vector<jfloat> elements(lengthOf(env, array));
  if (!elements.empty()) {
    env->GetFloatArrayRegion(array, 0, static_cast<jsize>(elements.size()), elements.data());
  }
  return elements;
}

std::vector<uint8_t> byteElements(JNIEnv* env, jbyteArray array) {
  std::vector<uint8_t> elements(lengthOf(env, array));
  if (!elements.empty()) {
    env->GetByteArrayRegion(array, 0, static_cast<jsize>(elements.size()),
                            reinterpret_cast<jbyte*>(elements.data()));
  }
  return elements;
}

jbyteArray toJavaBytes(JNIEnv* env, std::span<const uint8_t> bytes) {
  const auto size = static_cast<jsize>(bytes.size());
  jbyteArray result = env->NewByteArray(size);
  if (result != nullptr) {
    env->SetByteArrayRegion(result, 0, size, reinterpret_cast<const jbyte*>(bytes.data()));
  }
  return result;
}

jintArray toJavaInts(JNIEnv* env, std::span<const jint> values) {
  const auto size = static_cast<jsize>(values.size());
  jintArray result = env->NewIntArray(size);
  if (result != nullptr) {
    env->SetIntArrayRegion(result, 0, size, values.data());
  }
  return result;
}

jobjectArray toJavaStrings(JNIEnv* env, const std::vector<std::string>& lines) {
  jclass stringType = env->FindClass("java/lang/String");
  if (stringType == nullptr) {
    return nullptr;
  }
  jobjectArray result = env->NewObjectArray(static_cast<jsize>(lines.size()), stringType, nullptr);
  if (result == nullptr) {
    return nullptr;
  }
  for (std::size_t index = 0; index < lines.size(); ++index) {
    jstring line = env->NewStringUTF(lines[index].c_str());
    if (line == nullptr) {
      return nullptr;
    }
    env->SetObjectArrayElement(result, static_cast<jsize>(index), line);
    env->DeleteLocalRef(line);
  }
  return result;
}

void appendLittleEndian(std::vector<uint8_t>& out, uint64_t value, std::size_t size) {
  for (std::size_t byte = 0; byte < size; ++byte) {
    out.push_back(static_cast<uint8_t>((value >> (8U * byte)) & 0xFFU));
  }
}

}  // namespace halvern::sim::jni
