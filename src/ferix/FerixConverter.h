// The analog board's background converter: one thread that converts the four inputs in turn,
// so that a robot program's readings never wait for the converter themselves.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
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

 private:
  void run(const std::stop_token& stop);

  const ConvertInput convertInput;
  std::mutex wakeMutex;
  std::condition_variable_any wake;  // wakes the pause between conversions when stopping
  // Last: it starts once everything above exists, and goes first: destroying the converter stops
  // the thread, waking it, and waits for it (a conversion in progress completes first).
  std::jthread thread;
};

}  // namespace halvern::ferix
