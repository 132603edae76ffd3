#include "wpi/DataLog.h"

#include <bit>
#include <limits>
#include <string>

#include "datalog/LogClock.h"
#include "datalog/RecordEncoding.h"
#include "wpi/Logger.h"
#include "wpi/raw_ostream.h"

namespace wpi::log {

using detail::appendLittleEndian;
using detail::appendSizedText;
using detail::kControlHeadBytes;
using detail::kControlIdBytes;
using detail::kLengthBytes;

namespace {

/** Once this much gathers, it is written out before the next record. */
constexpr std::size_t kWriteOutBytes = 256 * 1024;

constexpr std::string_view kSchemaPrefix = "/.schema/";

std::span<const uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

/** The payload of a string array: its count, then each text after its length. */
template <typename Texts, typename AsView>
std::size_t stringArraySize(const Texts& texts, AsView asView) {
  std::size_t size = kLengthBytes;
  for (const auto& text : texts) {
    size += kLengthBytes + asView(text).size();
  }
  return size;
}

}  // namespace

wpi::Logger DataLog::s_defaultMessageLog{
    [](unsigned int /*level*/, const char* /*file*/, unsigned int /*line*/, const char* msg) {
      wpi::errs() << "DataLog: " << msg << '\n';
    }};

DataLog::DataLog(wpi::Logger& msglog, std::string_view extraHeader)
    : m_msglog{msglog}, m_extraHeader{extraHeader} {}

void DataLog::StartFile() {
  std::scoped_lock lock{m_mutex};
  if (m_active) {
    return;
  }
  m_active = true;
  detail::appendFileHeader(m_records, m_extraHeader);
  const int64_t now = detail::logNowMicros();
  for (const auto& [name, info] : m_entries) {
    AppendStartRecord(info.id, name, info.type, m_entryIds.at(info.id).metadata, now);
  }
}

void DataLog::FlushRecords() {
  std::scoped_lock lock{m_mutex};
  if (!m_records.empty()) {
    WriteOut(m_records);
    m_records.clear();
  }
}

void DataLog::Pause() {
  std::scoped_lock lock{m_mutex};
  m_paused = true;
}

void DataLog::Resume() {
  std::scoped_lock lock{m_mutex};
  m_paused = false;
}

void DataLog::Stop() {
  std::scoped_lock lock{m_mutex};
  m_active = false;
}

bool DataLog::HasSchema(std::string_view name) const {
  std::scoped_lock lock{m_mutex};
  return m_schemas.contains(std::string{name});
}

void DataLog::AddSchema(std::string_view name, std::string_view type,
                        std::span<const uint8_t> schema, int64_t timestamp) {
  {
    std::scoped_lock lock{m_mutex};
    if (!m_schemas.emplace(name).second) {
      return;
    }
  }
  std::string entryName{kSchemaPrefix};
  entryName += name;
  if (timestamp == 0) {
    timestamp = detail::logNowMicros();  // one "now" for the entry and its value
  }
  const int entry = Start(entryName, type, {}, timestamp);
  AppendRaw(entry, schema, timestamp);
}

int DataLog::Start(std::string_view name, std::string_view type, std::string_view metadata,
                   int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  const auto found = m_entries.find(std::string{name});
  if (found != m_entries.end()) {
    if (found->second.type != type) {
      const std::string message = "'" + std::string{name} + "' started as type " +
                                  found->second.type + ", not " + std::string{type};
      m_msglog.DoLog(wpi::WPI_LOG_ERROR, __FILE__, __LINE__, message.c_str());
      return 0;
    }
    ++m_entryIds.at(found->second.id).count;
    return found->second.id;
  }
  if (m_lastId == std::numeric_limits<int>::max()) {
    return 0;  // every id has been given out
  }
  const int id = ++m_lastId;
  m_entries.emplace(name, EntryInfo{std::string{type}, id});
  m_entryIds.emplace(id, EntryState{std::string{name}, std::string{metadata}, 1});
  AppendStartRecord(id, name, type, metadata, Timestamp(timestamp));
  return id;
}

void DataLog::Finish(int entry, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  const auto found = m_entryIds.find(entry);
  if (found == m_entryIds.end()) {
    return;
  }
  if (--found->second.count > 0) {
    return;
  }
  m_entries.erase(found->second.name);
  m_entryIds.erase(found);
  if (m_active && BeginRecord(detail::kControlEntry, Timestamp(timestamp), kControlHeadBytes)) {
    m_records.push_back(impl::kControlFinish);
    appendLittleEndian(m_records, static_cast<uint32_t>(entry), kControlIdBytes);
  }
}

void DataLog::SetMetadata(int entry, std::string_view metadata, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  const auto found = m_entryIds.find(entry);
  if (found == m_entryIds.end()) {
    return;
  }
  found->second.metadata = metadata;
  if (m_active && BeginRecord(detail::kControlEntry, Timestamp(timestamp),
                              kControlHeadBytes + kLengthBytes + metadata.size())) {
    m_records.push_back(impl::kControlSetMetadata);
    appendLittleEndian(m_records, static_cast<uint32_t>(entry), kControlIdBytes);
    appendSizedText(m_records, metadata);
  }
}

void DataLog::AppendRaw(int entry, std::span<const uint8_t> data, int64_t timestamp) {
  AppendRaw2(entry, std::span<const std::span<const uint8_t>>{&data, 1}, timestamp);
}

void DataLog::AppendRaw2(int entry, std::span<const std::span<const uint8_t>> data,
                         int64_t timestamp) {
  std::size_t size = 0;
  for (const auto piece : data) {
    size += piece.size();
  }
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) && BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp), size)) {
    for (const auto piece : data) {
      detail::appendBytes(m_records, piece);
    }
  }
}

void DataLog::AppendBoolean(int entry, bool value, int64_t timestamp) {
  const uint8_t byte = value ? 1 : 0;
  AppendRaw(entry, {&byte, 1}, timestamp);
}

void DataLog::AppendInteger(int entry, int64_t value, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) &&
      BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp), sizeof(int64_t))) {
    appendLittleEndian(m_records, static_cast<uint64_t>(value), sizeof(int64_t));
  }
}

void DataLog::AppendFloat(int entry, float value, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) &&
      BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp), sizeof(float))) {
    appendLittleEndian(m_records, std::bit_cast<uint32_t>(value), sizeof(float));
  }
}

void DataLog::AppendDouble(int entry, double value, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) &&
      BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp), sizeof(double))) {
    appendLittleEndian(m_records, std::bit_cast<uint64_t>(value), sizeof(double));
  }
}

void DataLog::AppendString(int entry, std::string_view value, int64_t timestamp) {
  AppendRaw(entry, bytesOf(value), timestamp);
}

void DataLog::AppendBooleanArray(int entry, std::span<const bool> arr, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) &&
      BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp), arr.size())) {
    for (const bool value : arr) {
      m_records.push_back(value ? 1 : 0);
    }
  }
}

void DataLog::AppendBooleanArray(int entry, std::span<const int> arr, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) &&
      BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp), arr.size())) {
    for (const int value : arr) {
      m_records.push_back(value != 0 ? 1 : 0);
    }
  }
}

void DataLog::AppendBooleanArray(int entry, std::span<const uint8_t> arr, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) &&
      BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp), arr.size())) {
    for (const uint8_t value : arr) {
      m_records.push_back(value != 0 ? 1 : 0);
    }
  }
}

void DataLog::AppendIntegerArray(int entry, std::span<const int64_t> arr, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) && BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp),
                                      arr.size() * sizeof(int64_t))) {
    for (const int64_t value : arr) {
      appendLittleEndian(m_records, static_cast<uint64_t>(value), sizeof(int64_t));
    }
  }
}

void DataLog::AppendFloatArray(int entry, std::span<const float> arr, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) &&
      BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp), arr.size() * sizeof(float))) {
    for (const float value : arr) {
      appendLittleEndian(m_records, std::bit_cast<uint32_t>(value), sizeof(float));
    }
  }
}

void DataLog::AppendDoubleArray(int entry, std::span<const double> arr, int64_t timestamp) {
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) && BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp),
                                      arr.size() * sizeof(double))) {
    for (const double value : arr) {
      appendLittleEndian(m_records, std::bit_cast<uint64_t>(value), sizeof(double));
    }
  }
}

namespace {

template <typename Texts, typename AsView>
void appendStringArray(std::vector<uint8_t>& out, const Texts& texts, AsView asView) {
  appendLittleEndian(out, texts.size(), kLengthBytes);
  for (const auto& text : texts) {
    appendSizedText(out, asView(text));
  }
}

}  // namespace

void DataLog::AppendStringArray(int entry, std::span<const std::string> arr, int64_t timestamp) {
  const auto asView = [](const std::string& text) { return std::string_view{text}; };
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) && BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp),
                                      stringArraySize(arr, asView))) {
    appendStringArray(m_records, arr, asView);
  }
}

void DataLog::AppendStringArray(int entry, std::span<const std::string_view> arr,
                                int64_t timestamp) {
  const auto asView = [](std::string_view text) { return text; };
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) && BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp),
                                      stringArraySize(arr, asView))) {
    appendStringArray(m_records, arr, asView);
  }
}

void DataLog::AppendStringArray(int entry, std::span<const struct WPI_String> arr,
                                int64_t timestamp) {
  const auto asView = [](const WPI_String& text) { return wpi::to_string_view(&text); };
  std::scoped_lock lock{m_mutex};
  if (Appending(entry) && BeginRecord(static_cast<uint32_t>(entry), Timestamp(timestamp),
                                      stringArraySize(arr, asView))) {
    appendStringArray(m_records, arr, asView);
  }
}

int64_t DataLog::Timestamp(int64_t timestamp) const {
  return timestamp != 0 ? timestamp : detail::logNowMicros();
}

bool DataLog::Appending(int entry) const {
  return m_active && !m_paused && entry > 0 && m_entryIds.contains(entry);
}

bool DataLog::BeginRecord(uint32_t entry, int64_t timestamp, size_t payloadSize) {
  if (payloadSize > std::numeric_limits<uint32_t>::max()) {
    return false;  // the format cannot hold it
  }
  WriteOutIfFull();
  detail::appendRecordHeader(m_records, entry, static_cast<uint32_t>(payloadSize),
                             static_cast<uint64_t>(timestamp));
  return true;
}

void DataLog::AppendStartRecord(int id, std::string_view name, std::string_view type,
                                std::string_view metadata, int64_t timestamp) {
  const std::size_t size =
      kControlHeadBytes + 3 * kLengthBytes + name.size() + type.size() + metadata.size();
  if (m_active && BeginRecord(detail::kControlEntry, timestamp, size)) {
    m_records.push_back(impl::kControlStart);
    appendLittleEndian(m_records, static_cast<uint32_t>(id), kControlIdBytes);
    appendSizedText(m_records, name);
    appendSizedText(m_records, type);
    appendSizedText(m_records, metadata);
  }
}

void DataLog::WriteOutIfFull() {
  if (m_records.size() >= kWriteOutBytes) {
    WriteOut(m_records);
    m_records.clear();
  }
}

}  // namespace wpi::log
