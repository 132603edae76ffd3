// The C API over the C++ one: a WPI_DataLog* is the DataLog* itself. Every call accepts null
// and does nothing with it.
#include "wpi/DataLog_c.h"

#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <system_error>
#include <utility>

#include "wpi/DataLog.h"
#include "wpi/DataLogBackgroundWriter.h"
#include "wpi/DataLogWriter.h"

using wpi::to_string_view;
using wpi::log::DataLog;

namespace {

DataLog* logOf(WPI_DataLog* datalog) { return reinterpret_cast<DataLog*>(datalog); }

template <typename Value>
std::span<const Value> spanOf(const Value* values, size_t len) {
  return values != nullptr ? std::span<const Value>{values, len} : std::span<const Value>{};
}

/** Owned by the caller from here on, until WPI_DataLog_Release. */
WPI_DataLog* released(std::unique_ptr<DataLog> log) {
  return reinterpret_cast<WPI_DataLog*>(log.release());
}

}  // namespace

extern "C" {

struct WPI_DataLog* WPI_DataLog_CreateWriter(const struct WPI_String* filename, int* errorCode,
                                             const struct WPI_String* extraHeader) {
  std::error_code ec;
  auto log = std::make_unique<wpi::log::DataLogWriter>(to_string_view(filename), ec,
                                                       to_string_view(extraHeader));
  if (errorCode != nullptr) {
    *errorCode = ec.value();
  }
  return released(std::move(log));
}

struct WPI_DataLog* WPI_DataLog_CreateBackgroundWriter(const struct WPI_String* dir,
                                                       const struct WPI_String* filename,
                                                       double period,
                                                       const struct WPI_String* extraHeader) {
  return released(std::make_unique<wpi::log::DataLogBackgroundWriter>(
      to_string_view(dir), to_string_view(filename), period, to_string_view(extraHeader)));
}

struct WPI_DataLog* WPI_DataLog_CreateBackgroundWriter_Func(
    void (*write)(void* ptr, const uint8_t* data, size_t len), void* ptr, double period,
    const struct WPI_String* extraHeader) {
  std::function<void(std::span<const uint8_t>)> writer;
  if (write != nullptr) {
    writer = [write, ptr](std::span<const uint8_t> data) { write(ptr, data.data(), data.size()); };
  }
  return released(std::make_unique<wpi::log::DataLogBackgroundWriter>(
      std::move(writer), period, to_string_view(extraHeader)));
}

void WPI_DataLog_SetBackgroundWriterFilename(struct WPI_DataLog* /*datalog*/,
                                             const struct WPI_String* /*filename*/) {}

void WPI_DataLog_Release(struct WPI_DataLog* datalog) {
  std::unique_ptr<DataLog> owned{logOf(datalog)};
}

void WPI_DataLog_Flush(struct WPI_DataLog* datalog) {
  if (auto* log = logOf(datalog)) {
    log->Flush();
  }
}

void WPI_DataLog_Pause(struct WPI_DataLog* datalog) {
  if (auto* log = logOf(datalog)) {
    log->Pause();
  }
}

void WPI_DataLog_Resume(struct WPI_DataLog* datalog) {
  if (auto* log = logOf(datalog)) {
    log->Resume();
  }
}

void WPI_DataLog_Stop(struct WPI_DataLog* datalog) {
  if (auto* log = logOf(datalog)) {
    log->Stop();
  }
}

int WPI_DataLog_Start(struct WPI_DataLog* datalog, const struct WPI_String* name,
                      const struct WPI_String* type, const struct WPI_String* metadata,
                      int64_t timestamp) {
  auto* log = logOf(datalog);
  return log != nullptr ? log->Start(to_string_view(name), to_string_view(type),
                                     to_string_view(metadata), timestamp)
                        : 0;
}

void WPI_DataLog_Finish(struct WPI_DataLog* datalog, int entry, int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->Finish(entry, timestamp);
  }
}

void WPI_DataLog_SetMetadata(struct WPI_DataLog* datalog, int entry,
                             const struct WPI_String* metadata, int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->SetMetadata(entry, to_string_view(metadata), timestamp);
  }
}

void WPI_DataLog_AppendRaw(struct WPI_DataLog* datalog, int entry, const uint8_t* data, size_t len,
                           int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendRaw(entry, spanOf(data, len), timestamp);
  }
}

void WPI_DataLog_AppendBoolean(struct WPI_DataLog* datalog, int entry, int value,
                               int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendBoolean(entry, value != 0, timestamp);
  }
}

void WPI_DataLog_AppendInteger(struct WPI_DataLog* datalog, int entry, int64_t value,
                               int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendInteger(entry, value, timestamp);
  }
}

void WPI_DataLog_AppendFloat(struct WPI_DataLog* datalog, int entry, float value,
                             int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendFloat(entry, value, timestamp);
  }
}

void WPI_DataLog_AppendDouble(struct WPI_DataLog* datalog, int entry, double value,
                              int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendDouble(entry, value, timestamp);
  }
}

void WPI_DataLog_AppendString(struct WPI_DataLog* datalog, int entry,
                              const struct WPI_String* value, int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendString(entry, to_string_view(value), timestamp);
  }
}

void WPI_DataLog_AppendBooleanArray(struct WPI_DataLog* datalog, int entry, const int* arr,
                                    size_t len, int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendBooleanArray(entry, spanOf(arr, len), timestamp);
  }
}

void WPI_DataLog_AppendBooleanArrayByte(struct WPI_DataLog* datalog, int entry, const uint8_t* arr,
                                        size_t len, int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendBooleanArray(entry, spanOf(arr, len), timestamp);
  }
}

void WPI_DataLog_AppendIntegerArray(struct WPI_DataLog* datalog, int entry, const int64_t* arr,
                                    size_t len, int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendIntegerArray(entry, spanOf(arr, len), timestamp);
  }
}

void WPI_DataLog_AppendFloatArray(struct WPI_DataLog* datalog, int entry, const float* arr,
                                  size_t len, int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendFloatArray(entry, spanOf(arr, len), timestamp);
  }
}

void WPI_DataLog_AppendDoubleArray(struct WPI_DataLog* datalog, int entry, const double* arr,
                                   size_t len, int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendDoubleArray(entry, spanOf(arr, len), timestamp);
  }
}

void WPI_DataLog_AppendStringArray(struct WPI_DataLog* datalog, int entry,
                                   const struct WPI_String* arr, size_t len, int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AppendStringArray(entry, spanOf(arr, len), timestamp);
  }
}

void WPI_DataLog_AddSchemaString(struct WPI_DataLog* datalog, const struct WPI_String* name,
                                 const struct WPI_String* type, const struct WPI_String* schema,
                                 int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AddSchema(to_string_view(name), to_string_view(type), to_string_view(schema), timestamp);
  }
}

void WPI_DataLog_AddSchema(struct WPI_DataLog* datalog, const struct WPI_String* name,
                           const struct WPI_String* type, const uint8_t* schema, size_t schema_len,
                           int64_t timestamp) {
  if (auto* log = logOf(datalog)) {
    log->AddSchema(to_string_view(name), to_string_view(type), spanOf(schema, schema_len),
                   timestamp);
  }
}

}  // extern "C"
