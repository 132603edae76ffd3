// A SimLogPlayer made for Java (SimLogPlayerJni.cpp), and attaching a simulator made for Java to
// it, for the bindings of every simulator type.
#pragma once

#include <jni.h>

#include <mutex>
#include <string>
#include <vector>

#include "SimJniSupport.h"
#include "SimLogPlayer.h"

namespace halvern::sim::jni {

/**
 * The player behind a SimLogPlayer handle. It keeps a share of every simulator attached to it,
 * so that a simulator closed from Java while the player feeds it goes only with the player.
 */
struct JavaPlayer {
  explicit JavaPlayer(const std::string& path) : player(path) {}

  std::mutex attachedMutex;           // Java threads may attach at once
  std::vector<OwnedByJava> attached;  // destroyed after the player, whose thread feeds them
  SimLogPlayer player;
};

inline JavaPlayer& javaPlayer(jlong handle) { return *simulatorAt<JavaPlayer>(handle); }

/** A Java string's characters (modified UTF-8); "" for null. */
inline std::string javaString(JNIEnv* env, jstring text) {
  if (text == nullptr) {
    return {};
  }
  const char* chars = env->GetStringUTFChars(text, nullptr);
  if (chars == nullptr) {
    return {};  // OutOfMemoryError pending
  }
  std::string copy{chars};
  env->ReleaseStringUTFChars(text, chars);
  return copy;
}

/**
 * Attaches the simulator behind `simulator` (a handle made for a Simulator) to the player as
 * the log's `device` ("": the simulator's own name).
 */
template <typename Simulator>
void attachToPlayer(JNIEnv* env, jlong player, jlong simulator, jstring device) {
  JavaPlayer& owner = javaPlayer(player);
  const OwnedByJava& share = *ownedAt(simulator);
  owner.player.attach(*static_cast<Simulator*>(share.get()), javaString(env, device));
  const std::scoped_lock lock(owner.attachedMutex);
  owner.attached.push_back(share);
}

}  // namespace halvern::sim::jni
