// A std::chrono clock over the HAL's microsecond FPGA time.
#pragma once

#include <chrono>
#include <cstdint>

#include "hal/HALBase.h"

namespace hal {

class fpga_clock {
 public:
  using rep = std::chrono::microseconds::rep;
  using period = std::chrono::microseconds::period;
  using duration = std::chrono::microseconds;
  using time_point = std::chrono::time_point<fpga_clock>;

  static constexpr bool is_steady = true;

  static time_point now() noexcept {
    int32_t status = 0;
    const uint64_t micros = HAL_GetFPGATime(&status);
    return time_point(duration(static_cast<rep>(micros)));
  }
};

}  // namespace hal
