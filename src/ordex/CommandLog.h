// Logging a command in the call that sent it: on the caller's thread, at the call's time on the
// robot's clock. With no log set, one atomic load and nothing else.
#pragma once

#include <cstdint>

#include "core/DataLogSink.h"
#include "core/HalPlatform.h"
#include "ordex/OrdexBus.h"

namespace halvern::ordex {

/** Calls `log(signals, robotMicros)` with the controller's signals while a log is set. */
template <typename Log>
void logCommand(int32_t handle, Log log) {
  if (!datalog::dataLogActive()) {
    return;
  }
  if (const auto session = sessionOf(handle); session != nullptr) {
    log(session->log(), platform::robotTimeMicros());
  }
}

/** As logCommand, with one motor's signals; nothing for a motor other than 0 to 3. */
template <typename Log>
void logMotorCommand(int32_t handle, int motor, Log log) {
  logCommand(handle, [&](ControllerLog& signals, int64_t robotMicros) {
    if (ControllerLog::Motor* signalsOfMotor = signals.motor(motor); signalsOfMotor != nullptr) {
      log(*signalsOfMotor, robotMicros);
    }
  });
}

}  // namespace halvern::ordex
