// How long a device may be silent before it reads disconnected: a wire-format fact the pure
// protocol code can use without the platform.
#pragma once

#include <chrono>

namespace halvern {

/** The longest silence after which any device reads disconnected. */
inline constexpr std::chrono::microseconds kLongestConnectionSilence{250'000};

}  // namespace halvern
