// Stand-in for WPILib's background data log writer, the one WPILib's DataLogManager logs through:
// appends only gather records in memory, and a thread of the writer's own takes them to the file
// (or to a function) every period, so no appending thread ever waits on the disk.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "wpi/DataLog.h"

namespace wpi::log {

class DataLogBackgroundWriter final : public DataLog {
 public:
  /**
   * A log on the file `filename` in the folder `dir` (the working folder when empty), created or
   * emptied; with no filename, a random name "wpilog_<16 hex digits>.wpilog". Written every
   * `period` seconds. A file that cannot be opened is reported to standard error and the log
   * records nothing.
   */
  explicit DataLogBackgroundWriter(std::string_view dir = "", std::string_view filename = "",
                                   double period = 0.25, std::string_view extraHeader = "");

  /**
   * The same, handing the log's bytes, in order, to `write` from the writer's thread (or from
   * Flush and Stop). An empty function records nothing.
   */
  explicit DataLogBackgroundWriter(std::function<void(std::span<const uint8_t> data)> write,
                                   double period = 0.25, std::string_view extraHeader = "");

  ~DataLogBackgroundWriter() final;
  DataLogBackgroundWriter(const DataLogBackgroundWriter&) = delete;
  DataLogBackgroundWriter& operator=(const DataLogBackgroundWriter&) = delete;
  DataLogBackgroundWriter(DataLogBackgroundWriter&&) = delete;
  DataLogBackgroundWriter& operator=(const DataLogBackgroundWriter&&) = delete;

  /** Writes everything gathered so far before it returns. */
  void Flush() final;

  /** Writes out what is left and stops the writer's thread: nothing is recorded after it. */
  void Stop() final;

 private:
  /** Called with the log's lock held: keeps the bytes for the writer's thread. */
  void WriteOut(std::span<const uint8_t> bytes) final;

  /** Takes what was gathered and kept to `m_write`; from one thread at a time. */
  void WritePending();

  void Run();

  std::function<void(std::span<const uint8_t> data)> m_write;
  std::chrono::duration<double> m_period;

  std::mutex m_pendingMutex;  // m_pending, m_stopping
  std::condition_variable m_wake;
  std::vector<uint8_t> m_pending;
  bool m_stopping = false;

  std::mutex m_writeMutex;  // one writer of m_write at a time, in order
  std::thread m_thread;     // last: it starts once everything above is there
};

}  // namespace wpi::log
