// The simulated controller's frames: the commands it follows and the status frames it sends,
// read and written through the controller's message set (ordex/OrdexMessages.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "SimOrdex.h"
#include "ordex/OrdexMessages.h"
#include "ordex/OrdexModel.h"

namespace halvern::sim {

/** What the status frames say beyond the model: settings received, and the tests' values. */
struct OrdexReport {
  static constexpr std::size_t kMotorCount = OrdexModel::kMotorCount;

  std::array<std::optional<double>, kMotorCount> rpmOverride;
  std::array<std::optional<double>, kMotorCount> targetRpmOverride;
  std::array<bool, kMotorCount> motorSilent{};
  std::optional<double> temperatureOverride;
  std::optional<uint16_t> frequencyOverride;
  uint16_t lastConfiguredFrequency = 0;
  std::array<bool, 2 * kMotorCount> limitSwitches{};  // motor m, direction d at 2m + d
  std::array<uint16_t, kMotorCount> quorinHundredths{};
  bool statusSilent = false;

  /** The temperature reported: the override if set, else the model's. */
  [[nodiscard]] double temperature(const OrdexModel& model) const {
    return temperatureOverride.value_or(model.temperature);
  }
  /** The speed reported for a motor: the override if set, else the model's. */
  [[nodiscard]] double rpm(const OrdexModel& model, std::size_t motor) const {
    return rpmOverride.at(motor).value_or(model.motors.at(motor).state.rpm);
  }
};

struct OrdexOutgoingFrame {
  uint32_t id = 0;
  ordex::Frame data{};
};

/** Follows a command the program sent (frames the model does not follow change nothing). */
void applyOrdexCommand(ordex::Api api, const ordex::Frame& data, OrdexModel& model,
                       OrdexReport& report);

/** One round of status frames, as silence allows. */
std::vector<OrdexOutgoingFrame> ordexStatusFrames(const OrdexModel& model,
                                                  const OrdexReport& report, int32_t deviceNumber);

/** The IdentityReply's payload, or none when the controller stays silent. */
std::optional<ordex::Frame> ordexIdentityReply(const OrdexIdentity& identity,
                                               IdentityBehaviour behaviour, int32_t deviceNumber);

}  // namespace halvern::sim
