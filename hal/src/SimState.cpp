#include "SimState.h"

#include <limits>

namespace halsim::detail {

SimState& simState() {
  static SimState state;
  return state;
}

namespace {
// Creating the state while the library loads starts the clock then, and lets the state outlive
// the static objects of programs that link to the library (those are created later, so they are
// destroyed earlier and may still use the HAL in their destructors).
[[maybe_unused]] const bool createdAtLoad = (static_cast<void>(simState()), true);
}  // namespace

HAL_Handle newHandle() {
  // Handles stay positive (0 is HAL_kInvalidHandle): after the largest one, numbering restarts.
  auto& next = simState().nextHandle;
  HAL_Handle handle = next.load();
  HAL_Handle following = 0;
  do {
    following = handle == std::numeric_limits<HAL_Handle>::max() ? 1 : handle + 1;
  } while (!next.compare_exchange_weak(handle, following));
  return handle;
}

uint64_t nowMicros() {
  const auto elapsed = std::chrono::steady_clock::now() - simState().epoch;
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
}

}  // namespace halsim::detail
