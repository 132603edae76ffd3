// One Iridel colour sensor, on CAN or on USB serial.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "core/DualTransportDevice.h"
#include "iridel/IridelProtocol.h"

namespace halvern::iridel {

class IridelDevice final : public DualTransportDevice {
 public:
  /** A command waits this long for its reply. */
  static constexpr int kReplyTimeoutMs = 500;

  /** A sensor on the CAN bus; none (after printing why) for a CAN ID outside 0 to 63 or when
   *  the stream session cannot be opened. */
  static std::unique_ptr<IridelDevice> createCan(int canId);
  /** A sensor on a serial port; none when the path is null or the port cannot be opened. */
  static std::unique_ptr<IridelDevice> createUsb(const char* path, int sampleTimeMs);

  ~IridelDevice() override;
  IridelDevice(const IridelDevice&) = delete;
  IridelDevice& operator=(const IridelDevice&) = delete;
  IridelDevice(IridelDevice&&) = delete;
  IridelDevice& operator=(IridelDevice&&) = delete;

  /** On USB the latest sample; on CAN the colour frame the HAL holds now. */
  ColorData getColor();

  bool setColorFormat(int format);
  bool setSampleTimeMs(int milliseconds);
  bool setBrightness(int level);
  bool setStatusLed(bool enable, int level);
  bool setMeasureMode(int mode, float parameter);
  bool setZmm(float value);
  bool setUsbOverride(bool on);
  bool setCanId(int newId);
  bool getConfig(int key, uint32_t* value);

  /** The CAN ID given at creation, or -1 on USB. */
  [[nodiscard]] int getCanID() const;

 private:
  IridelDevice(TransportKind kind, uint8_t deviceCanId) : DualTransportDevice(kind, deviceCanId) {}

  bool sendCommand(Command command, const CommandPayload& payload, uint32_t* value, int timeoutMs);
  bool awaitReply(uint8_t code, uint32_t* value, uint8_t* status, int timeoutMs);
  ColorData readCanSample();
  void onBytesReceived(const uint8_t* bytes, std::size_t count) override;
  void handleLine(std::string_view line);

  // Written by the reader thread under sampleMutex.
  ColorData sample{};
  uint16_t usbSequence = 0;
  LineAssembler lineBuffer;  // the reader thread's alone
};

}  // namespace halvern::iridel
