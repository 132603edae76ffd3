// A simulated Ordex motor controller on the virtual CAN bus.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "halsim/SimControl.h"

namespace halvern::sim {

/** What the controller answers to an identity request. */
struct OrdexIdentity {
  uint8_t reportedDeviceNumber = 0;  // 0 means "use the bus device number"
  std::array<uint8_t, 3> firmware{1, 4, 2};
  uint8_t hardwareKind = 1;  // 1 Ordex Quad, 2 Ordex Small
  uint8_t hardwareVersion = 3;
};

enum class IdentityBehaviour {
  Answer,        // replies with the configured identity
  Silent,        // never replies
  ZeroDeviceId,  // replies with byte 0 = 0, which the library must reject
};

class SimOrdex {
 public:
  struct Heartbeat {
    bool enabled;
    std::chrono::steady_clock::time_point at;
  };

  explicit SimOrdex(int32_t deviceNumber);
  SimOrdex(const SimOrdex&) = delete;
  SimOrdex& operator=(const SimOrdex&) = delete;
  ~SimOrdex() = default;

  [[nodiscard]] int32_t deviceNumber() const { return deviceNumber_; }

  void setIdentity(const OrdexIdentity& identity);
  void setIdentityBehaviour(IdentityBehaviour behaviour);
  void setSerialWords(const std::array<uint32_t, 3>& words);

  [[nodiscard]] int identityRequestCount() const;
  [[nodiscard]] int serialRequestCount() const;
  /** Heartbeats received so far, oldest first, with the time each arrived. */
  [[nodiscard]] std::vector<Heartbeat> heartbeats() const;
  /** Every frame the robot program sent to this device, oldest first. */
  [[nodiscard]] std::vector<halsim::CanFrame> receivedFrames() const;
  void clearReceived();

 private:
  struct State;
  int32_t deviceNumber_;
  std::shared_ptr<State> state_;  // shared with the bus listener, which may outlive a call
  halsim::CanSubscription subscription_;
};

}  // namespace halvern::sim
