// Ordex four-motor controller on the CAN bus: the C++ class of HalvernDriver, over the C face of
// halvern/Ordex.h.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "halvern/Ordex.h"
#include "halvern/detail/ClassSupport.hpp"
#include "halvern/detail/DeviceHandle.hpp"

namespace halvern {

/**
 * An Ordex four-motor controller on the robot's CAN bus.
 *
 * While the object is open the library tells the controller ten times a second whether the
 * robot is enabled; the controller runs its motors only while it hears "enabled". Destroying or
 * closing the object stops that heartbeat and releases the CAN device.
 *
 * Motors and encoders are numbered 0 to 3. A number outside that range, and any other argument
 * outside the range its method documents, throws std::invalid_argument and sends nothing;
 * values documented as clamped are sent clamped instead. Readings come from the newest message
 * the controller sent; a reading it never sent reads 0 (the Try methods tell the two apart).
 * Once closed (or moved from) the object sends nothing and its readings are 0 or empty.
 *
 * Every reading, the identity getters and IsConnected() return at once from what the library
 * holds, so a robot's periodic loop can call them every pass. Only GetSerialNumber() waits for
 * the controller (10 ms); it is not for the periodic loop. The controller is asked for its
 * identity in the background from construction; until it answers, the identity getters give 0
 * or "" and their Try variants std::nullopt.
 *
 * Use a program's controllers from one thread, as a robot program's main loop does.
 */
class Ordex {
 public:
  /** The lowest CAN device number a controller can have. */
  static constexpr int kMinDeviceId = ORDEX_MIN_DEVICE_ID;
  /** The highest CAN device number a controller can have. */
  static constexpr int kMaxDeviceId = ORDEX_MAX_DEVICE_ID;
  /** The lowest motor PWM frequency, in hertz. */
  static constexpr int kMinFrequency = ORDEX_MIN_FREQUENCY;
  /** The highest motor PWM frequency, in hertz. */
  static constexpr int kMaxFrequency = ORDEX_MAX_FREQUENCY;
  /** Motors (and encoders, and limit-switch pairs) per controller, numbered from 0. */
  static constexpr int kMotorCount = ORDEX_MOTOR_COUNT;
  /** The highest PID type; types run from 0. */
  static constexpr int kMaxPIDType = ORDEX_MAX_PID_TYPE;
  /** The highest sensitivity; sensitivities run from 0. */
  static constexpr int kMaxSensitivity = ORDEX_MAX_SENSITIVITY;
  /** How long, in milliseconds, the controller may send no status frame and read connected. */
  static constexpr int kConnectionSilenceMs = ORDEX_CONNECTION_SILENCE_MS;

  /**
   * A reading with the moment its frame was received, in microseconds on the robot's clock
   * (the time base of frc::Timer::GetFPGATimestamp() and HAL_GetFPGATime(); on WPILib 2027 its
   * monotonic time). Both are zero when the controller never sent the reading.
   */
  template <typename T>
  struct Timestamped {
    T value{};
    int64_t timestampUs = 0;
  };

  /**
   * Opens the controller with the given CAN device number and configures all four motors with
   * the given PWM frequency.
   *
   * @param deviceId the controller's CAN device number, kMinDeviceId to kMaxDeviceId
   * @param frequency the motor PWM frequency in hertz, kMinFrequency to kMaxFrequency
   * @param bus the robot controller's CAN bus the controller is wired to (default 0); WPILib
   *     2027 has buses 0 to 5, WPILib 2026 only bus 0
   * @throws std::invalid_argument if an argument is out of range
   * @throws std::runtime_error "Ordex on CAN device <n> could not be initialized" (", bus <b>"
   *     after the number when the bus is not 0) when the library could not open the CAN
   *     device, for example on a bus the platform does not have (it prints why)
   */
  explicit Ordex(int deviceId, int frequency, int bus = detail::kDefaultCanBus)
      : m_deviceId(detail::RequireInRange(deviceId, kMinDeviceId, kMaxDeviceId, "Device ID")),
        m_bus(bus) {
    detail::RequireInRange(frequency, kMinFrequency, kMaxFrequency, "Motor frequency");
    m_device = Device(c_Ordex_createOnBus(bus, deviceId, frequency));
    if (m_device.IsClosed()) {
      throw detail::CreationFailure(detail::CanDescription("Ordex", "device", deviceId, bus));
    }
    // The identity getters read what this fetch stores; it never holds up the caller.
    c_Ordex_requestIdentity(m_device.Get());
  }

  /** Takes over `other`'s controller; `other` is left closed. Not copyable: the object owns its
   *  device. */
  Ordex(Ordex&&) = default;
  /** Closes this controller and takes over `other`'s; `other` is left closed. */
  Ordex& operator=(Ordex&&) = default;
  /** Closes the controller (see Close()). */
  ~Ordex() = default;

  /**
   * Stops the heartbeat and releases the CAN device. Motors stop once the controller no longer
   * hears the robot is enabled. Closing again does nothing.
   */
  void Close() noexcept { m_device.Close(); }

  /** Whether Close() has been called or the object was moved from. */
  [[nodiscard]] bool IsClosed() const { return m_device.IsClosed(); }

  /** The CAN device number this controller was opened with. */
  [[nodiscard]] int GetDeviceId() const { return m_deviceId; }

  /** The CAN bus this controller was opened on. */
  [[nodiscard]] int GetCanBus() const { return m_bus; }

  // --- Identity ----------------------------------------------------------------------------

  /**
   * The device number the controller reports of itself, once it has answered the background
   * identity request; never waits.
   *
   * @return the reported device number, or 0 until the controller has answered
   */
  [[nodiscard]] int GetReportedDeviceId() const { return TryGetReportedDeviceId().value_or(0); }

  /** The reported device number once the controller has answered; never waits. */
  [[nodiscard]] std::optional<int> TryGetReportedDeviceId() const {
    return FromIdentity([](const OrdexIdentityInfo& identity) { return identity.deviceId; });
  }

  /**
   * The controller's firmware version once it has answered; never waits.
   *
   * @return "Firmware Version: [a.b.c]", or "" until the controller has answered
   */
  [[nodiscard]] std::string GetFirmwareVersion() const {
    return TryGetFirmwareVersion().value_or(std::string());
  }

  /** "Firmware Version: [a.b.c]" once the controller has answered; never waits. */
  [[nodiscard]] std::optional<std::string> TryGetFirmwareVersion() const {
    return FromIdentity(
        [](const OrdexIdentityInfo& identity) { return std::string(identity.firmwareText); });
  }

  /**
   * The controller's hardware kind and version once it has answered; never waits.
   *
   * @return for example "Hardware: Ordex Quad, Version: 3"; "No Hardware Found!" for an unknown
   *     kind; "" until the controller has answered
   */
  [[nodiscard]] std::string GetHardwareVersion() const {
    return TryGetHardwareVersion().value_or(std::string());
  }

  /** The hardware text of GetHardwareVersion() once the controller has answered; never waits. */
  [[nodiscard]] std::optional<std::string> TryGetHardwareVersion() const {
    return FromIdentity(
        [](const OrdexIdentityInfo& identity) { return std::string(identity.hardwareText); });
  }

  /**
   * True while the controller's status frames keep arriving: false once it has sent none for
   * more than kConnectionSilenceMs (100 ms, five of its 20 ms rounds), and false when closed.
   * Never waits.
   */
  [[nodiscard]] bool IsConnected() const { return Query(c_Ordex_isConnected); }

  /**
   * Asks the controller for its serial number and waits 10 ms for it: not for the robot's
   * periodic loop.
   *
   * @return three groups of 8 uppercase hex digits joined by hyphens; a group that did not
   *     arrive in time reads 00000000
   */
  [[nodiscard]] std::string GetSerialNumber() const { return Text(c_Ordex_copySerialNumber); }

  /** The motor PWM frequency in hertz the controller reports, or 0 if it never did. */
  [[nodiscard]] int GetReportedFrequency() const { return Query(c_Ordex_getFrequency); }

  /** The controller's temperature in degrees Celsius (0 if it never reported it). */
  [[nodiscard]] double GetTemperature() const { return Query(c_Ordex_getControllerTemp); }

  // --- Driving -----------------------------------------------------------------------------

  /**
   * Drives a motor with a duty cycle.
   *
   * @param motor the motor, 0 to 3
   * @param speed the duty cycle from -1 (full reverse) to 1 (full forward), clamped to that
   *     range; 0 brakes. The controller receives whole percent.
   */
  void SetMotorSpeed(int motor, double speed) { Send(c_Ordex_setMotorSpeed, Motor(motor), speed); }

  /** Stops driving a motor (0 to 3). */
  void DisableMotor(int motor) { Send(c_Ordex_disableMotor, Motor(motor)); }

  /**
   * Sets the PWM frequency of one motor.
   *
   * @param motor the motor, 0 to 3
   * @param frequency the frequency in hertz, kMinFrequency to kMaxFrequency
   */
  void ConfigureMotor(int motor, int frequency) {
    detail::RequireInRange(frequency, kMinFrequency, kMaxFrequency, "Motor frequency");
    Send(c_Ordex_configureMotor, Motor(motor), frequency);
  }

  /**
   * Sets a motor's velocity target.
   *
   * @param motor the motor, 0 to 3
   * @param rpm the target in revolutions per minute; the controller receives hundredths of an
   *     RPM, from a single-precision value
   */
  void SetTargetVelocity(int motor, double rpm) {
    Send(c_Ordex_setTargetVelocity, Motor(motor), static_cast<float>(rpm));
  }

  /**
   * Sets a motor's distance target.
   *
   * @param motor the motor, 0 to 3
   * @param counts the target in encoder counts, -8,388,608 to 8,388,607 (24 bits are sent)
   */
  void SetTargetDistance(int motor, int counts) {
    detail::RequireInRange(counts, kMinTargetDistance, kMaxTargetDistance, "Target distance");
    Send(c_Ordex_setTargetDistance, Motor(motor), counts);
  }

  /**
   * Sets a motor's angle target.
   *
   * @param motor the motor, 0 to 3
   * @param degrees the target in degrees, clamped to 0 to 360 (NaN becomes 0)
   */
  void SetTargetAngle(int motor, double degrees) {
    Send(c_Ordex_setTargetAngle, Motor(motor), degrees);
  }

  /** Tells a motor (0 to 3) whether to hold its position when it reaches its target. */
  void SetPositionHold(int motor, bool hold) { Send(c_Ordex_setPositionHold, Motor(motor), hold); }

  // --- Configuration -----------------------------------------------------------------------

  /**
   * Sets the resolution of a motor's encoder.
   *
   * @param motor the motor, 0 to 3
   * @param countsPerRevolution 0 to 65535
   */
  void SetEncoderResolution(int motor, int countsPerRevolution) {
    detail::RequireInRange(countsPerRevolution, 0, kMaxUnsignedShort, "Encoder resolution");
    Send(c_Ordex_setEncoderResolution, Motor(motor), static_cast<uint16_t>(countsPerRevolution));
  }

  /**
   * Sets a motor's current limit.
   *
   * @param motor the motor, 0 to 3
   * @param amperes the limit; a negative limit becomes 0. The controller receives whole
   *     hundredths of an ampere in 16 bits, so use at most 655.35 A.
   */
  void SetCurrentLimit(int motor, double amperes) {
    Send(c_Ordex_setCurrentLimit, Motor(motor), static_cast<float>(amperes));
  }

  /** Sets a motor's (0 to 3) current-limit mode, 0 or 1. */
  void SetCurrentLimitMode(int motor, int mode) {
    detail::RequireInRange(mode, 0, 1, "Current limit mode");
    Send(c_Ordex_setCurrentLimitMode, Motor(motor), static_cast<uint8_t>(mode));
  }

  /** Sets how the controller stops its motors: its stop-mode code, 0 to 255. */
  void SetMotorStopMode(int mode) {
    detail::RequireInRange(mode, 0, kMaxUnsignedByte, "Motor stop mode");
    Send(c_Ordex_setMotorStopMode, static_cast<uint8_t>(mode));
  }

  /** Sets the PID type, 0 to kMaxPIDType, of every motor. */
  void SetPIDType(int type) {
    detail::RequireInRange(type, 0, kMaxPIDType, "PID type");
    Send(c_Ordex_setPIDType, static_cast<uint8_t>(type));
  }

  /** Sets the PID type, 0 to kMaxPIDType, of one motor (0 to 3). */
  void SetMotorPIDType(int motor, int type) {
    detail::RequireInRange(type, 0, kMaxPIDType, "PID type");
    Send(c_Ordex_setMotorPIDType, Motor(motor), static_cast<uint8_t>(type));
  }

  /** Sets a motor's (0 to 3) sensitivity, 0 to kMaxSensitivity. */
  void SetSensitivity(int motor, int sensitivity) {
    detail::RequireInRange(sensitivity, 0, kMaxSensitivity, "Sensitivity");
    Send(c_Ordex_setSensitivity, Motor(motor), static_cast<uint8_t>(sensitivity));
  }

  /**
   * Sets the controller's CAN sensor delay (its CANSensorOsDelay setting).
   *
   * @param delay 0 to 65535 in the controller's units; values below 5 are raised to 5
   */
  void SetCanSensorDelay(int delay) {
    detail::RequireInRange(delay, 0, kMaxUnsignedShort, "CAN sensor delay");
    Send(c_Ordex_setCANSensorOsDelay, static_cast<uint16_t>(delay));
  }

  /** Asks the controller to tune the PID gains of every motor. */
  void AutotuneAll() { Send(c_Ordex_autotuneAll); }

  /** Asks the controller to tune one motor's (0 to 3) PID gains. */
  void AutotuneMotor(int motor) { Send(c_Ordex_autotuneMotor, Motor(motor)); }

  // --- Readings ----------------------------------------------------------------------------

  /** A motor's (0 to 3) speed in revolutions per minute, to hundredths; 0 if never reported. */
  [[nodiscard]] double GetRPM(int motor) const { return Query(c_Ordex_getRPM, Motor(motor)); }

  /** A motor's (0 to 3) speed in revolutions per minute if the controller ever reported it. */
  [[nodiscard]] std::optional<double> TryGetRPM(int motor) const {
    return TryRead<double>(c_Ordex_tryGetRPM, Motor(motor));
  }

  /** A motor's (0 to 3) target speed in RPM if the controller ever reported it. */
  [[nodiscard]] std::optional<double> TryGetTargetRPM(int motor) const {
    return TryRead<double>(c_Ordex_tryGetTargetRPM, Motor(motor));
  }

  /** The target speeds of all four motors in RPM, indexed by motor, if all were reported. */
  [[nodiscard]] std::optional<std::array<double, kMotorCount>> TryGetTargetRPMs() const {
    std::array<double, kMotorCount> rpms{};
    if (Query(c_Ordex_getTargetRPMFromDevice, rpms.data())) {
      return rpms;
    }
    return std::nullopt;
  }

  /**
   * One limit switch of a motor.
   *
   * @param motor the motor, 0 to 3
   * @param second false for the motor's first switch, true for its second
   * @return true while the controller reports the switch active; false if it never reported
   */
  [[nodiscard]] bool GetLimitSwitch(int motor, bool second) const {
    return Query(c_Ordex_getLimitSwitch, Motor(motor), second);
  }

  /** A motor's (0 to 3) Quorin position, 0 to 655.35; 0 if never reported. */
  [[nodiscard]] double GetQuorinPosition(int motor) const {
    return Query(c_Ordex_getQuorinPosition, Motor(motor));
  }

  /**
   * Sets the distance one count of an encoder (0 to 3) stands for. The setting belongs to the
   * encoder number, not to a controller: it applies to that encoder of every controller. Each
   * starts at 1.
   */
  static void SetEncoderDistancePerCount(int encoder, double distancePerCount) {
    // The library ignores the handle of this setting.
    c_Ordex_setEncoder(0, Encoder(encoder), distancePerCount);
  }

  /** An encoder's (0 to 3) count times its distance per count. */
  [[nodiscard]] double GetEncoderDistance(int encoder) const {
    return Query(c_Ordex_getEncoderDistance, Encoder(encoder));
  }

  /** An encoder's (0 to 3) count; 0 if the controller never reported it. */
  [[nodiscard]] int GetEncoderCount(int encoder) const {
    return Query(c_Ordex_getEncoderCount, Encoder(encoder));
  }

  /** An encoder's (0 to 3) count as a double. */
  [[nodiscard]] double GetEncoderRaw(int encoder) const {
    return Query(c_Ordex_getEncoderRaw, Encoder(encoder));
  }

  /** An encoder's (0 to 3) speed in RPM: that of the motor with the same number. */
  [[nodiscard]] double GetEncoderSpeed(int encoder) const {
    return Query(c_Ordex_getEncoderSpeed, Encoder(encoder));
  }

  // --- Timestamped readings: the value and when its frame arrived -----------------------------

  /** A motor's (0 to 3) speed in RPM with its receive time; zeros if never reported. */
  [[nodiscard]] Timestamped<double> GetRPMTimestamped(int motor) const {
    return Read<double>(c_Ordex_readRPM, Motor(motor));
  }

  /** A motor's (0 to 3) target speed in RPM with its receive time; zeros if never reported. */
  [[nodiscard]] Timestamped<double> GetTargetRPMTimestamped(int motor) const {
    return Read<double>(c_Ordex_readTargetRPM, Motor(motor));
  }

  /** An encoder's (0 to 3) count with its receive time; zeros if never reported. */
  [[nodiscard]] Timestamped<int> GetEncoderCountTimestamped(int encoder) const {
    return Read<int>(c_Ordex_readEncoderCount, Encoder(encoder));
  }

  /** An encoder's (0 to 3) count times its distance per count, with the count's receive time. */
  [[nodiscard]] Timestamped<double> GetEncoderDistanceTimestamped(int encoder) const {
    return Read<double>(c_Ordex_readEncoderDistance, Encoder(encoder));
  }

  /** The controller's temperature in degrees Celsius with its receive time. */
  [[nodiscard]] Timestamped<double> GetTemperatureTimestamped() const {
    return Read<double>(c_Ordex_readControllerTemp);
  }

  /** The motor PWM frequency in hertz the controller reports, with its receive time. */
  [[nodiscard]] Timestamped<int> GetReportedFrequencyTimestamped() const {
    return Read<int>(c_Ordex_readFrequency);
  }

  /** A motor's (0 to 3) Quorin position with its receive time. */
  [[nodiscard]] Timestamped<double> GetQuorinPositionTimestamped(int motor) const {
    return Read<double>(c_Ordex_readQuorinPosition, Motor(motor));
  }

  /** One limit switch of a motor (as GetLimitSwitch()) with its receive time. */
  [[nodiscard]] Timestamped<bool> GetLimitSwitchTimestamped(int motor, bool second) const {
    return Read<bool>(c_Ordex_readLimitSwitch, Motor(motor), second);
  }

  /** Asks the controller to set an encoder's (0 to 3) count to 0. */
  void ResetEncoder(int encoder) { Send(c_Ordex_resetEncoder, Encoder(encoder)); }

 private:
  using Device = detail::DeviceHandle<int32_t, &c_Ordex_destroy>;

  static constexpr int kMaxUnsignedByte = 0xFF;
  static constexpr int kMaxUnsignedShort = 0xFFFF;
  static constexpr int kMinTargetDistance = -(1 << 23);
  static constexpr int kMaxTargetDistance = (1 << 23) - 1;

  static int8_t Motor(int motor) {
    return static_cast<int8_t>(detail::RequireInRange(motor, 0, kMotorCount - 1, "Motor"));
  }
  static int8_t Encoder(int encoder) {
    return static_cast<int8_t>(detail::RequireInRange(encoder, 0, kMotorCount - 1, "Encoder"));
  }

  // Sends a command, its arguments checked already; a closed controller sends nothing.
  template <typename... Parameters, typename... Arguments>
  void Send(void (*command)(int32_t, Parameters...), Arguments... arguments) {
    if (!m_device.IsClosed()) {
      command(m_device.Get(), arguments...);
    }
  }

  // What the library holds of the controller; 0 (false) once closed.
  template <typename Result, typename... Parameters, typename... Arguments>
  [[nodiscard]] Result Query(Result (*query)(int32_t, Parameters...),
                             Arguments... arguments) const {
    return m_device.IsClosed() ? Result{} : query(m_device.Get(), arguments...);
  }

  // What `read` stores when it answers true (the controller reported it); empty otherwise and
  // once closed.
  template <typename T, typename... Parameters, typename... Arguments>
  [[nodiscard]] std::optional<T> TryRead(bool (*read)(int32_t, Parameters...),
                                         Arguments... arguments) const {
    T value{};
    if (Query(read, arguments..., &value)) {
      return value;
    }
    return std::nullopt;
  }

  // What `field` takes from the controller's identity, once it has answered.
  template <typename Field>
  [[nodiscard]] auto FromIdentity(Field field) const
      -> std::optional<decltype(field(OrdexIdentityInfo{}))> {
    if (const auto identity = TryRead<OrdexIdentityInfo>(c_Ordex_tryGetIdentity)) {
      return field(*identity);
    }
    return std::nullopt;
  }

  // A reading with its receive time; zeros when the controller never sent it and once closed.
  template <typename T, typename... Parameters, typename... Arguments>
  [[nodiscard]] Timestamped<T> Read(OrdexReading* (*read)(int32_t, Parameters...),
                                    Arguments... arguments) const {
    OrdexReading reading{};
    if (Query(read, arguments..., &reading) == nullptr || !reading.received) {
      return {};
    }
    return {static_cast<T>(reading.value), reading.timestampUs};
  }

  template <typename Copy>
  std::string Text(Copy copy) const {
    if (m_device.IsClosed()) {
      return {};
    }
    return detail::CopyText([this, copy](char* buffer, int32_t capacity) {
      return copy(m_device.Get(), buffer, capacity);
    });
  }

  int m_deviceId;
  int m_bus;
  Device m_device;
};

}  // namespace halvern
