#include "mockds/MockDS.h"

#include <chrono>
#include <exception>
#include <span>
#include <string>
#include <thread>
#include <utility>

#include "core/HalPlatform.h"
#include "mockds/MockDSProtocol.h"

namespace halvern::mockds {

using Clock = platform::MonotonicClock;

void logToErrs(unsigned int level, const char* file, unsigned int line, const char* message) {
  const std::string text = formatLogLine(level, file, line, message);
  if (!text.empty()) {
    platform::writeErrorText(text);  // one write, so lines never mix
  }
}

namespace {

/**
 * Sleeps until the clock reaches `deadline`, never less. A sleep may end early where the
 * system sleeps in whole milliseconds and rounds down (mingw's on Windows); sending then would
 * put two datagrams into one slot. There the remainder is rounded up instead.
 */
void sleepUntil(Clock::time_point deadline) {
  for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
#if defined(_WIN32)
    std::this_thread::sleep_for(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
#else
    std::this_thread::sleep_until(deadline);
#endif
  }
}

}  // namespace

MockDS::MockDS() {
  running.store(true);
  senderThread = std::thread([this] { run(); });
}

MockDS::~MockDS() {
  running.store(false);
  senderThread.join();
}

void MockDS::run() {
  platform::Logger logger(logToErrs);
  platform::UdpClient client(logger);
  client.start();  // a failure is logged; the schedule goes on and each send logs its own

  auto deadline = Clock::now();
  uint16_t sequence = 0;
  WarmupRule warmup;
  while (running.load()) {
    deadline =
        nextDeadline(deadline, Clock::now(), std::chrono::duration_cast<Clock::duration>(kPeriod));
    sleepUntil(deadline);
    ControlDatagram datagram = buildControlDatagram(sequence, kControlDisabled);
    ++sequence;  // wraps from 65535 to 0
    datagram[kControlByteIndex] = warmup.controlByte(enabled.load());
    client.send(std::span<const uint8_t>(datagram), kRobotAddress, kRobotPort);
  }
  client.shutdown();
}

void MockDSSlot::create() {
  std::unique_ptr<MockDS> replaced;
  try {
    auto fresh = std::make_unique<MockDS>();
    std::scoped_lock lock(slotMutex);
    replaced = std::exchange(current, std::move(fresh));
  } catch (const std::exception& error) {  // std::system_error when no thread starts
    {
      std::scoped_lock lock(slotMutex);
      replaced = std::move(current);  // a station must not stay enabled after a failed create
    }
    // One write, so the line never mixes with another thread's output.
    const std::string line =
        std::string("[MockDS] Could not start the sender thread: ") + error.what() + '\n';
    platform::writeErrorText(line);
  }
  // `replaced` stops and joins its sender here, with no lock held.
}

void MockDSSlot::setEnabled(bool enable) {
  std::scoped_lock lock(slotMutex);
  if (current) {
    current->setEnabled(enable);
  }
}

}  // namespace halvern::mockds
