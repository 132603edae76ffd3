// What the other bindings need of the simulated analog boards made from Java (SimFerixJni.cpp).
#pragma once

#include <jni.h>

#include <cstdint>

namespace halvern::sim::jni {

/** Takes every simulated analog board made from Java off the bus. */
void unplugEveryFerix();
/** The I2C port of the simulated analog board behind a SimFerix handle. */
int32_t ferixPort(jlong handle);

}  // namespace halvern::sim::jni
