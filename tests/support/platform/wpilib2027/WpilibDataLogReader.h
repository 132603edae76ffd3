// WPILib's own data log reader, for the tests that read back what was written: in 2027 the
// `datalog` library's, which WPILib ships without its headers. What the tests call is declared
// here as libdatalog exports it: 2026's wpi/DataLogReader.h (Copyright (c) FIRST and other WPILib
// contributors; WPILib BSD license), with the memory buffer in wpiutil's wpi::util.
#pragma once

#include <stdint.h>  // NOLINT(modernize-deprecated-headers): as WPILib's own header

#include <cstddef>
#include <iterator>
#include <memory>
#include <span>
#include <string_view>
#include <vector>
#include <wpi/util/MemoryBuffer.hpp>

namespace wpi::log {

struct StartRecordData {
  int entry;
  std::string_view name;
  std::string_view type;
  std::string_view metadata;
};

struct MetadataRecordData {
  int entry;
  std::string_view metadata;
};

class DataLogRecord {
 public:
  DataLogRecord() = default;
  DataLogRecord(int entry, int64_t timestamp, std::span<const uint8_t> data)
      : m_timestamp{timestamp}, m_data{data}, m_entry{entry} {}

  int GetEntry() const { return m_entry; }
  int64_t GetTimestamp() const { return m_timestamp; }
  size_t GetSize() const { return m_data.size(); }
  std::span<const uint8_t> GetRaw() const { return m_data; }
  bool IsControl() const { return m_entry == 0; }
  bool IsStart() const;
  bool IsFinish() const;
  bool IsSetMetadata() const;
  bool GetStartData(StartRecordData* out) const;
  bool GetFinishEntry(int* out) const;
  bool GetSetMetadataData(MetadataRecordData* out) const;
  bool GetBoolean(bool* value) const;
  bool GetInteger(int64_t* value) const;
  bool GetFloat(float* value) const;
  bool GetDouble(double* value) const;
  bool GetString(std::string_view* value) const;
  bool GetBooleanArray(std::vector<int>* arr) const;
  bool GetIntegerArray(std::vector<int64_t>* arr) const;
  bool GetFloatArray(std::vector<float>* arr) const;
  bool GetDoubleArray(std::vector<double>* arr) const;
  bool GetStringArray(std::vector<std::string_view>* arr) const;

 private:
  int64_t m_timestamp{0};
  std::span<const uint8_t> m_data;
  int m_entry{-1};
};

class DataLogReader;

class DataLogIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = DataLogRecord;
  using pointer = const value_type*;
  using reference = const value_type&;

  DataLogIterator(const DataLogReader* reader, size_t pos) : m_reader{reader}, m_pos{pos} {}

  bool operator==(const DataLogIterator& oth) const {
    return m_reader == oth.m_reader && m_pos == oth.m_pos;
  }
  bool operator!=(const DataLogIterator& oth) const { return !this->operator==(oth); }

  DataLogIterator& operator++();
  reference operator*() const;
  pointer operator->() const { return &this->operator*(); }

 protected:
  const DataLogReader* m_reader;
  size_t m_pos;
  mutable bool m_valid = false;
  mutable DataLogRecord m_value;
};

class DataLogReader {
  friend class DataLogIterator;

 public:
  using iterator = DataLogIterator;

  explicit DataLogReader(std::unique_ptr<wpi::util::MemoryBuffer> buffer);
  explicit operator bool() const { return IsValid(); }
  bool IsValid() const;
  uint16_t GetVersion() const;
  std::string_view GetExtraHeader() const;
  iterator begin() const;
  iterator end() const { return DataLogIterator{this, SIZE_MAX}; }

 private:
  std::unique_ptr<wpi::util::MemoryBuffer> m_buf;

  bool GetRecord(size_t* pos, DataLogRecord* out) const;
  bool GetNextRecord(size_t* pos) const;
};

inline DataLogIterator& DataLogIterator::operator++() {
  if (!m_reader->GetNextRecord(&m_pos)) {
    m_pos = SIZE_MAX;
  }
  m_valid = false;
  return *this;
}

inline DataLogIterator::reference DataLogIterator::operator*() const {
  if (!m_valid) {
    size_t pos = m_pos;
    if (m_reader->GetRecord(&pos, &m_value)) {
      m_valid = true;
    }
  }
  return m_value;
}

}  // namespace wpi::log

namespace halvern::test {

using WpilibMemoryBuffer = wpi::util::MemoryBuffer;

}  // namespace halvern::test
