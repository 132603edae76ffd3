// Control of the simulated robot behind the stand-in HAL.
//
// The HAL declarations under hal/ are what a robot library calls; this header is what tests,
// device simulators and the demo use to play the rest of the world: devices on the virtual CAN
// bus, the robot's enabled state, I2C devices, bytes arriving on the robot's serial ports, and
// injected faults. Nothing in a robot library may include it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace halsim {

/** One CAN frame as seen on the virtual bus. */
struct CanFrame {
  uint32_t id = 0;  // 29-bit extended identifier
  std::array<uint8_t, 8> data{};
  uint8_t length = 0;
  uint64_t timestampUs = 0;  // HAL_GetFPGATime at the moment the frame crossed the bus
};

/** Builds the 29-bit robot CAN identifier from its four fields. */
constexpr uint32_t canId(uint32_t deviceType, uint32_t manufacturer, uint32_t apiId,
                         uint32_t deviceNumber) {
  return (deviceType & 0x1FU) << 24U | (manufacturer & 0xFFU) << 16U | (apiId & 0x3FFU) << 6U |
         (deviceNumber & 0x3FU);
}

// ---------------------------------------------------------------------------------------------
// Virtual CAN bus

/** Called on the sender's thread for every frame the robot program sends that matches. */
using CanListener = std::function<void(const CanFrame&)>;

/**
 * Keeps a listener attached to the bus for as long as it lives. A listener may still be
 * running on another thread when the subscription is destroyed; whatever it captures must
 * therefore own (not borrow) the state it touches.
 */
class CanSubscription {
 public:
  CanSubscription() = default;
  explicit CanSubscription(uint64_t token) : token_(token) {}
  CanSubscription(CanSubscription&& other) noexcept : token_(other.token_) { other.token_ = 0; }
  CanSubscription& operator=(CanSubscription&& other) noexcept;
  CanSubscription(const CanSubscription&) = delete;
  CanSubscription& operator=(const CanSubscription&) = delete;
  ~CanSubscription();

 private:
  uint64_t token_ = 0;
};

/** Listens to frames sent by the robot program whose identifier matches `id` under `mask`. */
[[nodiscard]] CanSubscription subscribeToRobotFrames(uint32_t id, uint32_t mask,
                                                     CanListener listener);

/**
 * A simulated device transmits a frame: it becomes what HAL_ReadCANPacketLatest/New,
 * stream sessions and HAL_CAN_ReceiveMessage return. `data` holds at most 8 bytes.
 */
void transmitToRobot(uint32_t id, std::span<const uint8_t> data);

/** Every frame the robot program sent successfully, oldest first (the newest 100000 kept). */
std::vector<CanFrame> sentFrames();
/** Sent frames whose identifier matches `id` under `mask`. */
std::vector<CanFrame> sentFrames(uint32_t id, uint32_t mask);
void clearSentFrames();

/** Number of CAN handles initialised and not yet cleaned. */
int openCanHandleCount();
/** Number of stream sessions open. */
int openStreamSessionCount();

// ---------------------------------------------------------------------------------------------
// Robot state

void setSystemActive(bool enabled);
bool systemActive();

// ---------------------------------------------------------------------------------------------
// I2C: a device answers writes and reads at one address of one port.

class I2CDevice {
 public:
  virtual ~I2CDevice() = default;
  /** Returns the transfer result: bytes taken, or negative to fail the transfer. */
  virtual int32_t write(std::span<const uint8_t> data) = 0;
  /** Fills `buffer`; returns the transfer result: bytes given, or negative to fail it. */
  virtual int32_t read(std::span<uint8_t> buffer) = 0;
};

/** Attaches a device; a null device detaches whatever is there. */
void attachI2CDevice(int32_t port, int32_t address, std::shared_ptr<I2CDevice> device);
/** True while the port is initialised and not closed. */
bool i2cPortOpen(int32_t port);

// ---------------------------------------------------------------------------------------------
// The robot controller's serial ports (HAL_SerialPort numbers 0 to 3)

/** Bytes a device sends towards the robot program on that port. */
void pushSerialBytes(int32_t port, std::span<const uint8_t> bytes);

/** The line settings a robot program applied to a port. */
struct SerialSettings {
  bool open = false;
  int32_t baudRate = 9600;
  int32_t dataBits = 8;
  int32_t parity = 0;
  int32_t stopBits = 10;
  int32_t writeMode = 0;
  double timeoutSeconds = 0.0;
  bool terminationEnabled = false;
};
SerialSettings serialSettings(int32_t port);

// ---------------------------------------------------------------------------------------------
// Faults. Each stays in force until set back to 0 (or false), or until reset().

/** HAL_InitializeCAN reports this status (and no handle) while it is nonzero. */
void setInitializeCanStatus(int32_t status);
/** HAL_CAN_SendMessage reports this status, and drops the frame, while it is nonzero. */
void setSendStatus(int32_t status);
/** HAL_CAN_OpenStreamSession reports this status, and opens nothing, while it is nonzero. */
void setStreamOpenStatus(int32_t status);
/** HAL_InitializeSerialPort reports this status while it is nonzero. */
void setSerialOpenStatus(int32_t status);
/** HAL_GetSerialBytesReceived and HAL_ReadSerial report this status while it is nonzero. */
void setSerialReadStatus(int32_t status);
/** HAL_InitializeI2C reports this status while it is nonzero. */
void setI2CInitializeStatus(int32_t status);

/**
 * Returns the simulation to its starting state: robot disabled, no frames received or sent,
 * no faults, no serial bytes waiting, no I2C devices. Listeners, handles and sessions that are
 * still held stay valid.
 */
void reset();

}  // namespace halsim
