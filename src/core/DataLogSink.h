// The library's signals in the robot program's WPILib data log. Logging is one switch for the
// whole library, off until the program hands over its log (startDataLog) and off again after
// stopDataLog. Each device owns a LogSignal per thing it reports: an entry of the log named
// "Halvern/<device>/<signal>", started at its first append into the current log and finished when
// the device goes or the log is switched off. Appends carry the reading's own time on the robot's
// clock and go through WPILib's data log C API, which only copies into its buffer: no append
// waits on a file or on the device. With logging off an append is one atomic load.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <span>
#include <string>
#include <string_view>

struct WPI_DataLog;

namespace halvern::datalog {

class LogSignal;

/**
 * The switch itself, one for the loaded library (LibraryState's first member, so that it outlives
 * every device's signals). Its fields are DataLogSink.cpp's; the functions below act on it.
 */
struct DataLogSwitch {
  DataLogSwitch() = default;
  DataLogSwitch(const DataLogSwitch&) = delete;
  DataLogSwitch& operator=(const DataLogSwitch&) = delete;
  ~DataLogSwitch() = default;

  std::atomic<bool> active{false};  // the appends' lock-free check
  std::shared_mutex lock;           // appends share it; switching takes it alone
  WPI_DataLog* log = nullptr;       // the program's; not owned
  uint64_t generation = 0;          // counts the logs set, so an entry id dies with its log
  std::mutex signalsLock;
  std::set<void*> signals;          // every live signal's state, to finish their entries
};

/** The first part of every entry name the library logs. */
inline constexpr std::string_view kEntryPrefix = "Halvern/";

/**
 * Logs into `log` from now on (a log already set is switched off first, its entries finished).
 * `log` must stay valid until stopDataLog or the next startDataLog. A null log is stopDataLog.
 */
void startDataLog(WPI_DataLog* log);
/** Finishes every entry the library started and logs nothing more until startDataLog. */
void stopDataLog();
/** True while a log is set. */
[[nodiscard]] bool dataLogActive();

/** WPILib's entry types the library logs, by their type strings ("double", "int64[]", ...). */
enum class EntryType { kBoolean, kInt64, kDouble, kString, kBooleanArray, kInt64Array, kDoubleArray };

/** WPILib's type string of `type`. */
[[nodiscard]] std::string_view typeString(EntryType type);

/** A CAN device's name in the log: "Ordex[5]", or "Ordex[5,bus 2]" on a bus other than 0. */
[[nodiscard]] std::string canDeviceName(std::string_view family, int deviceNumber, int bus);
/**
 * A device on a serial port: "Iridel[ttyUSB0]", the port's last path element, so that the
 * device is one level of the log's tree ("COM3" stays "COM3"); a pseudo-terminal's "/dev/pts/3"
 * is "pts3", not a number a CAN device could have.
 */
[[nodiscard]] std::string portDeviceName(std::string_view family, std::string_view path);

/**
 * One signal of one device. Appends may come from any thread; the owner is destroyed after the
 * threads that append (its entry is finished then).
 */
class LogSignal {
 public:
  /**
   * The entry "Halvern/<device>/<name>" of type `type`. `unit` ("rpm", "V", "mm", "degC", ...)
   * goes into the entry's metadata, {"source":"HalvernDriver","unit":"<unit>"} (no unit: none).
   */
  LogSignal(std::string_view device, std::string_view name, EntryType type,
            std::string_view unit = {});
  ~LogSignal();
  LogSignal(const LogSignal&) = delete;
  LogSignal& operator=(const LogSignal&) = delete;

  /** Appends a value measured at `robotMicros` (the robot's clock), when a log is set. */
  void append(bool value, int64_t robotMicros);
  void append(int64_t value, int64_t robotMicros);
  void append(double value, int64_t robotMicros);
  void append(std::string_view value, int64_t robotMicros);
  // A string literal is text: without these it would convert to the bool overload.
  void append(const char* value, int64_t robotMicros) {
    append(std::string_view{value}, robotMicros);
  }
  void append(std::span<const bool> values, int64_t robotMicros);
  void append(std::span<const int64_t> values, int64_t robotMicros);
  void append(std::span<const double> values, int64_t robotMicros);

  /** Appends only a value that differs from the last one appendChange appended into this log. */
  void appendChange(bool value, int64_t robotMicros);
  void appendChange(int64_t value, int64_t robotMicros);
  void appendChange(double value, int64_t robotMicros);
  void appendChange(std::string_view value, int64_t robotMicros);
  void appendChange(const char* value, int64_t robotMicros) {
    appendChange(std::string_view{value}, robotMicros);
  }

  /** The entry's full name, "Halvern/<device>/<name>". */
  [[nodiscard]] const std::string& entryName() const;

  struct State;

 private:
  std::unique_ptr<State> state;
};

}  // namespace halvern::datalog
