// The bus's registrations with the HAL's CAN callbacks, which differ by WPILib year.
#pragma once

#include <cstdint>

namespace halvern::sim {

class CanBus;

struct CanCallbackIds {
  int32_t send = 0;
  int32_t receive = 0;
  int32_t openStream = 0;
  int32_t readStream = 0;
  int32_t closeStream = 0;
};

/** Registers the callbacks, each turned into a call of `bus`. */
CanCallbackIds registerCanCallbacks(CanBus* bus);
void cancelCanCallbacks(const CanCallbackIds& ids);

}  // namespace halvern::sim
