// Reads a WPILib data log (.wpilog) from its bytes: the entries its control records start,
// finish and describe, and each data record's value decoded by its entry's type. Any byte
// sequence is safe to read: a malformed file ends in an error after the records before the fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace halvern::sim::replay {

/** The bytes of a value whose type has no decoding here ("raw", structs, protobuf, ...). */
struct WpilogRaw {
  std::vector<uint8_t> bytes;
  bool operator==(const WpilogRaw&) const = default;
};

/** A data record's value, by its entry's type: boolean, int64, float, double, string (and
 *  json), their arrays, and raw bytes for any other type. */
using WpilogValue = std::variant<WpilogRaw, bool, int64_t, float, double, std::string,
                                 std::vector<bool>, std::vector<int64_t>, std::vector<float>,
                                 std::vector<double>, std::vector<std::string>>;

/** An entry as started, with its metadata as last set. */
struct WpilogEntry {
  uint32_t id = 0;
  std::string name;
  std::string type;
  std::string metadata;
  int64_t started = 0;  // the Start record's timestamp
  bool finished = false;
  bool operator==(const WpilogEntry&) const = default;
};

struct WpilogStart {
  uint32_t id = 0;
  std::size_t entry = 0;  // its place in WpilogContents::entries
  bool operator==(const WpilogStart&) const = default;
};
struct WpilogFinish {
  uint32_t id = 0;
  std::size_t entry = 0;
  bool operator==(const WpilogFinish&) const = default;
};
struct WpilogSetMetadata {
  uint32_t id = 0;
  std::size_t entry = 0;
  std::string metadata;
  bool operator==(const WpilogSetMetadata&) const = default;
};
struct WpilogData {
  uint32_t id = 0;
  std::size_t entry = 0;
  WpilogValue value;
  bool operator==(const WpilogData&) const = default;
};

struct WpilogRecord {
  int64_t timestamp = 0;  // microseconds
  std::variant<WpilogStart, WpilogFinish, WpilogSetMetadata, WpilogData> content;
  bool operator==(const WpilogRecord&) const = default;
};

/** Why reading stopped, and at which byte of the file. */
struct WpilogError {
  std::size_t offset = 0;
  std::string message;
};

struct WpilogContents {
  uint16_t version = 0;
  std::string extraHeader;
  /** Every entry the file starts, in order (an id finished and started again is two). */
  std::vector<WpilogEntry> entries;
  /** The records in file order, up to the first fault. */
  std::vector<WpilogRecord> records;
  /** Set when the file is malformed or cut inside a record. */
  std::optional<WpilogError> error;
};

/** Reads a whole .wpilog file from memory. */
WpilogContents readWpilog(std::span<const uint8_t> bytes);

}  // namespace halvern::sim::replay
