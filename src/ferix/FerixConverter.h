// The analog board's background converter: one thread that converts the four inputs in turn,
// so that a robot program's readings never wait for the converter themselves.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace halvern::ferix {

/** The pause between one input's conversion and the next, which lets other readings in. */
inline constexpr std::chrono::milliseconds kConversionGap{1};

class FerixConverter {
 public:
  /** Converts one input (0 to 3); called on the converter's thread. */
  using ConvertInput = std::function<void(uint8_t channel)>;

  /** Starts the thread, which calls `convert` for inputs 0, 1, 2, 3, 0, ... until destroyed. */
  explicit FerixConverter(ConvertInput convert);
  FerixConverter(const FerixConverter&) = delete;
  FerixConverter& operator=(const FerixConverter&) = delete;
  /** Wakes the thread and waits for it; a conversion in progress completes first. */
  ~FerixConverter();

 private:
  void run();

  const ConvertInput convertInput;
  std::mutex wakeMutex;
  std::condition_variable wake;
  bool running = true;  // under wakeMutex
  std::thread thread;   // last: it starts once everything above exists
};

}  // namespace halvern::ferix
