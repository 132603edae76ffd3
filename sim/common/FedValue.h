// One value of a simulated device's SimDevice that both sides write: the model shows its own
// value there, and the simulation (a physics model, the GUI) may set another, which the model
// then takes. A value that differs from what the model last showed was fed by the simulation.
#pragma once

#include <optional>
#include <utility>

namespace halvern::sim {

/**
 * `Handle` is a SimDevice value (SimDouble, SimInt, ...) and `Value` what it holds. Without a
 * handle (the SimDevice could not be made) nothing is shown and nothing is ever fed.
 */
template <typename Handle, typename Value>
class FedValue {
 public:
  FedValue() = default;
  FedValue(Handle handle, Value shown) : handle_(std::move(handle)), shown_(shown) {}

  /** Shows the model's value. */
  void show(Value value) {
    if (handle_) {
      shown_ = value;
      handle_.Set(value);
    }
  }

  /** The value the simulation set since the model last showed one, once: it counts as shown. */
  [[nodiscard]] std::optional<Value> takeFed() {
    if (!handle_) {
      return std::nullopt;
    }
    const Value value = handle_.Get();
    if (value == shown_) {
      return std::nullopt;
    }
    shown_ = value;
    return value;
  }

 private:
  Handle handle_;
  Value shown_{};
};

}  // namespace halvern::sim
