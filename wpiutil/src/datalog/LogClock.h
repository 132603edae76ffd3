// What a timestamp of 0 stands for in the data log: now, in microseconds on the steady clock
// since the library loaded. The HAL's clock runs the same way from the HAL's load, so the two
// agree to within the moment between the two libraries' loading; wpiutil sits below the HAL and
// does not ask it.
#pragma once

#include <cstdint>

namespace wpi::log::detail {

int64_t logNowMicros();

}  // namespace wpi::log::detail
