// One Iridel colour sensor, on CAN or on USB serial.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string_view>
#include <thread>

#include "core/DualTransportDevice.h"
#include "core/HalPlatform.h"
#include "iridel/IridelProtocol.h"

namespace halvern::iridel {

class IridelDevice final : public DualTransportDevice {
 public:
  /** A command waits this long for its reply. */
  static constexpr int kReplyTimeoutMs = 500;
  /** On CAN while the library logs, a thread of the sensor's takes the colour frames (and logs
   *  each one) from a stream session of its own, read this often, so that no sample is logged on
   *  a caller's thread or missed between two looks. */
  static constexpr std::chrono::milliseconds kLoggingPollInterval{1};

  /** A sensor on CAN bus `bus`, where all its frames go; none (after printing why) for a CAN
   *  ID outside 0 to 63, a bus the platform does not have, or when the stream session cannot
   *  be opened. */
  static std::unique_ptr<IridelDevice> createCan(int canId, int32_t bus);
  /** A sensor on a serial port; none when the path is null or the port cannot be opened. */
  static std::unique_ptr<IridelDevice> createUsb(const char* path, int sampleTimeMs);

  ~IridelDevice() override;
  IridelDevice(const IridelDevice&) = delete;
  IridelDevice& operator=(const IridelDevice&) = delete;

  /** On USB the latest sample; on CAN the newest colour frame not yet returned here, once. */
  ColorData getColor();
  /** The newest sample the device holds, with its timestamp; never waits. */
  Reading getLatestColor();
  /** Whether the sensor's traffic keeps arriving (see connectionSilence); never waits. */
  bool isConnected();

  bool setColorFormat(int format);
  bool setSampleTimeMs(int milliseconds);
  bool setBrightness(int level);
  bool setStatusLed(bool enable, int level);
  bool setMeasureMode(int mode, float parameter);
  bool setZmm(float value);
  bool setUsbOverride(bool on);
  bool setCanId(int newId);
  bool getConfig(int key, uint32_t* value);


 private:
  friend class DualTransportDevice;  // creates it on either transport
  // Out of line: its signals' type is the source file's.
  IridelDevice(TransportKind kind, uint8_t deviceCanId, int32_t deviceCanBus = 0);

  /** Sends a command and waits for its reply; `logSent` runs once the command went out. */
  bool sendCommand(Command command, const CommandPayload& payload, uint32_t* value, int timeoutMs,
                   const std::function<void()>& logSent = {});
  bool awaitReply(uint8_t code, uint32_t* value, uint8_t* status, int timeoutMs);
  /** On CAN, takes the colour frame that arrived since the last look into the held sample. */
  void pollCanSample();
  /** Takes a colour frame into the held sample. */
  void takeColorFrame(const platform::CanFrame& frame);
  /** On CAN while the library logs, starts the thread that polls for colour frames (once).
   *  True when it runs: callers then leave the polling to it. */
  bool pollingInBackground();
  void pollLoop(const std::stop_token& stop);
  /** Takes the colour frames `session` queued. */
  void takeQueuedColorFrames(const CanStreamSession& session);
  void logSample(const ColorData& color, int64_t stampUs);
  void logConnection(int64_t nowUs) override;
  void noteSampleTime(int milliseconds);
  void onBytesReceived(const uint8_t* bytes, std::size_t count, int64_t arrivedUs) override;
  void handleLine(std::string_view line, int64_t arrivedUs);

  // The newest sample, under sampleMutex: written by the reader thread on USB, by whichever
  // call looks at the HAL on CAN.
  ColorData sample{};
  int64_t sampleTimestampUs = 0;
  // CAN: whether `sample` arrived after getColor last returned a frame. getColor returns each
  // frame once, whichever call took it from the HAL.
  bool sampleUnreadByGetColor = false;
  uint16_t usbSequence = 0;
  LineAssembler lineBuffer;  // the reader thread's alone
  // How long the sensor may be silent, from its sample time once known.
  std::atomic<int64_t> silenceUs{connectionSilence(std::nullopt).count()};

  // Its signals in the robot's data log, made at creation. Before the poller: the threads that
  // append stop before the signals go.
  struct Signals;
  std::unique_ptr<Signals> logs;

  // On CAN while the library logs: the thread that takes the colour frames as they come.
  std::mutex pollerStartMutex;
  std::atomic<bool> polling{false};
  CanStreamSession colorFrames;  // the poller's own queue of colour frames, when it opens
  std::mutex pollerWaitMutex;
  std::condition_variable_any pollerWake;
  std::jthread poller;  // last: stopped first
};

}  // namespace halvern::iridel
