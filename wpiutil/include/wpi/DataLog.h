// Stand-in for WPILib's data log: what a program needs to start entries and append values to a
// log it hands over (DataLogWriter.h makes one on a file). The records are WPILib's .wpilog
// format; entry classes and struct/protobuf schemas are not part of the stand-in.
#pragma once

#include <stdint.h>

#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "wpi/DataLog_c.h"
#include "wpi/string.h"

namespace wpi {
class Logger;
}  // namespace wpi

namespace wpi::log {

namespace impl {

enum ControlRecordType {
  kControlStart = 0,
  kControlFinish,
  kControlSetMetadata
};

}  // namespace impl

/**
 * A data log: entries started by name and type, each with an id that its values are appended
 * under. Every call is thread-safe; records from several threads go in the order they take the
 * log's lock. Timestamps are in microseconds; 0 means now.
 */
class DataLog {
 public:
  virtual ~DataLog() = default;

  DataLog(const DataLog&) = delete;
  DataLog& operator=(const DataLog&) = delete;
  DataLog(DataLog&&) = delete;
  DataLog& operator=(const DataLog&&) = delete;

  /** Writes the records gathered so far to where the log goes. */
  virtual void Flush() = 0;

  /** Drops data records until Resume(); entry starts, finishes and metadata are still kept. */
  virtual void Pause();

  virtual void Resume();

  /** Records nothing more. */
  virtual void Stop();

  /** Whether a schema of this name was added. */
  bool HasSchema(std::string_view name) const;

  /** Logs `schema` as the raw value of the entry "/.schema/<name>" of type `type`, once per
   *  name. */
  void AddSchema(std::string_view name, std::string_view type,
                 std::span<const uint8_t> schema, int64_t timestamp = 0);

  void AddSchema(std::string_view name, std::string_view type,
                 std::string_view schema, int64_t timestamp = 0) {
    AddSchema(
        name, type,
        std::span<const uint8_t>{
            reinterpret_cast<const uint8_t*>(schema.data()), schema.size()},
        timestamp);
  }

  /**
   * Starts an entry and returns its id. Starting a started name again with the same type returns
   * the same id (starts and finishes are counted: the entry finishes with the last Finish); with
   * another type it returns 0, which every append ignores.
   */
  int Start(std::string_view name, std::string_view type,
            std::string_view metadata = {}, int64_t timestamp = 0);

  void Finish(int entry, int64_t timestamp = 0);

  void SetMetadata(int entry, std::string_view metadata, int64_t timestamp = 0);

  void AppendRaw(int entry, std::span<const uint8_t> data, int64_t timestamp);

  /** Appends one raw record made of the pieces of `data`, in order. */
  void AppendRaw2(int entry, std::span<const std::span<const uint8_t>> data,
                  int64_t timestamp);

  void AppendBoolean(int entry, bool value, int64_t timestamp);

  void AppendInteger(int entry, int64_t value, int64_t timestamp);

  void AppendFloat(int entry, float value, int64_t timestamp);

  void AppendDouble(int entry, double value, int64_t timestamp);

  void AppendString(int entry, std::string_view value, int64_t timestamp);

  void AppendBooleanArray(int entry, std::span<const bool> arr,
                          int64_t timestamp);

  void AppendBooleanArray(int entry, std::span<const int> arr,
                          int64_t timestamp);

  void AppendBooleanArray(int entry, std::span<const uint8_t> arr,
                          int64_t timestamp);

  void AppendIntegerArray(int entry, std::span<const int64_t> arr,
                          int64_t timestamp);

  void AppendFloatArray(int entry, std::span<const float> arr,
                        int64_t timestamp);

  void AppendDoubleArray(int entry, std::span<const double> arr,
                         int64_t timestamp);

  void AppendStringArray(int entry, std::span<const std::string> arr,
                         int64_t timestamp);

  void AppendStringArray(int entry, std::span<const std::string_view> arr,
                         int64_t timestamp);

  void AppendStringArray(int entry, std::span<const struct WPI_String> arr,
                         int64_t timestamp);

 protected:
  /** Prints errors (a name started with another type) to standard error. */
  static wpi::Logger s_defaultMessageLog;

  /** A log that records nothing until StartFile(). */
  explicit DataLog(wpi::Logger& msglog, std::string_view extraHeader = "");

  /**
   * Begins the output: the file header, then a Start record for every entry already started.
   * Does nothing while the log is recording.
   */
  void StartFile();

  /** Passes every record gathered so far to WriteOut and forgets them. */
  void FlushRecords();

  /**
   * Takes bytes of the log, in order, to where the log goes. Called with the log's lock held
   * (so from one thread at a time), from FlushRecords and whenever enough records gather.
   */
  virtual void WriteOut(std::span<const uint8_t> bytes) = 0;

  wpi::Logger& m_msglog;

 private:
  struct EntryInfo {
    std::string type;
    int id = 0;
  };
  struct EntryState {
    std::string name;
    std::string metadata;
    unsigned int count = 0;  // starts not yet finished
  };

  // All called with m_mutex held.
  int64_t Timestamp(int64_t timestamp) const;
  bool Appending(int entry) const;
  bool BeginRecord(uint32_t entry, int64_t timestamp, size_t payloadSize);
  void AppendStartRecord(int id, std::string_view name, std::string_view type,
                         std::string_view metadata, int64_t timestamp);
  void WriteOutIfFull();

  mutable std::mutex m_mutex;
  bool m_active = false;
  bool m_paused = false;
  std::string m_extraHeader;
  std::vector<uint8_t> m_records;  // gathered, not yet written out
  std::unordered_map<std::string, EntryInfo> m_entries;
  std::unordered_map<int, EntryState> m_entryIds;
  std::unordered_set<std::string> m_schemas;
  int m_lastId = 0;
};

}  // namespace wpi::log
