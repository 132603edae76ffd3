#include "replay/WpilogReader.h"

#include <algorithm>
#include <bit>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace halvern::sim::replay {
namespace {

constexpr std::string_view kMagic = "WPILOG";
constexpr uint16_t kVersion = 0x0100;
constexpr std::size_t kVersionBytes = 2;
constexpr std::size_t kLengthBytes = 4;  // before every text, and a string array's count
constexpr std::size_t kControlIdBytes = 4;
constexpr uint32_t kControlEntry = 0;
constexpr uint8_t kUnusedHeaderBit = 0x80;

enum ControlType : uint8_t { kStart = 0, kFinish = 1, kSetMetadata = 2 };

/** Reads forward through bytes and never past their end: what is not there is nullopt. */
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  [[nodiscard]] std::size_t offset() const { return at_; }
  [[nodiscard]] std::size_t remaining() const { return bytes_.size() - at_; }

  std::optional<std::span<const uint8_t>> take(std::size_t count) {
    if (count > remaining()) {
      return std::nullopt;
    }
    const auto piece = bytes_.subspan(at_, count);
    at_ += count;
    return piece;
  }

  /** An unsigned little-endian number of `count` bytes (at most 8). */
  std::optional<uint64_t> number(std::size_t count) {
    const auto piece = take(count);
    if (!piece) {
      return std::nullopt;
    }
    uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      value |= uint64_t{(*piece)[i]} << (8 * i);
    }
    return value;
  }

  /** A text after its u32 length. */
  std::optional<std::string> sizedText() {
    const auto length = number(kLengthBytes);
    if (!length) {
      return std::nullopt;
    }
    const auto text = take(*length);
    if (!text) {
      return std::nullopt;
    }
    return std::string{text->begin(), text->end()};
  }

 private:
  std::span<const uint8_t> bytes_;
  std::size_t at_ = 0;
};

/** A fixed-width value read from its little-endian bytes. */
template <typename Value>
Value fromBits(uint64_t bits) {
  if constexpr (std::is_same_v<Value, float>) {
    return std::bit_cast<float>(static_cast<uint32_t>(bits));
  } else if constexpr (std::is_same_v<Value, double>) {
    return std::bit_cast<double>(bits);
  } else {
    return static_cast<Value>(bits);
  }
}

/** A payload of whole fixed-width values; nullopt when it does not divide into them. */
template <typename Value>
std::optional<std::vector<Value>> fixedArray(std::span<const uint8_t> payload) {
  if (payload.size() % sizeof(Value) != 0) {
    return std::nullopt;
  }
  ByteCursor cursor{payload};
  std::vector<Value> values;
  values.reserve(payload.size() / sizeof(Value));
  while (cursor.remaining() > 0) {
    values.push_back(fromBits<Value>(*cursor.number(sizeof(Value))));
  }
  return values;
}

template <typename Value>
std::optional<WpilogValue> fixedValue(std::span<const uint8_t> payload) {
  if (payload.size() != sizeof(Value)) {
    return std::nullopt;
  }
  return fromBits<Value>(*ByteCursor{payload}.number(sizeof(Value)));
}

std::optional<WpilogValue> stringArray(std::span<const uint8_t> payload) {
  ByteCursor cursor{payload};
  const auto count = cursor.number(kLengthBytes);
  // Each string takes its length at least: a count beyond that cannot be, and is not reserved.
  if (!count || *count > cursor.remaining() / kLengthBytes) {
    return std::nullopt;
  }
  std::vector<std::string> texts;
  texts.reserve(*count);
  for (uint64_t i = 0; i < *count; ++i) {
    auto text = cursor.sizedText();
    if (!text) {
      return std::nullopt;
    }
    texts.push_back(std::move(*text));
  }
  if (cursor.remaining() != 0) {
    return std::nullopt;
  }
  return texts;
}

template <typename Value>
std::optional<WpilogValue> asValue(std::optional<std::vector<Value>> values) {
  if (!values) {
    return std::nullopt;
  }
  return std::move(*values);
}

/** The value of a data record of entry type `type`; nullopt when the payload cannot be one. */
std::optional<WpilogValue> decodeValue(std::string_view type, std::span<const uint8_t> payload) {
  if (type == "boolean") {
    if (payload.size() != 1) {
      return std::nullopt;
    }
    return payload[0] != 0;
  }
  if (type == "int64") {
    return fixedValue<int64_t>(payload);
  }
  if (type == "float") {
    return fixedValue<float>(payload);
  }
  if (type == "double") {
    return fixedValue<double>(payload);
  }
  if (type == "string" || type == "json") {
    return std::string{payload.begin(), payload.end()};
  }
  if (type == "boolean[]") {
    std::vector<bool> values;
    values.reserve(payload.size());
    for (const uint8_t byte : payload) {
      values.push_back(byte != 0);
    }
    return values;
  }
  if (type == "int64[]") {
    return asValue(fixedArray<int64_t>(payload));
  }
  if (type == "float[]") {
    return asValue(fixedArray<float>(payload));
  }
  if (type == "double[]") {
    return asValue(fixedArray<double>(payload));
  }
  if (type == "string[]") {
    return stringArray(payload);
  }
  return WpilogRaw{{payload.begin(), payload.end()}};
}

/** One pass over the file, keeping which ids are started. */
class LogWalk {
 public:
  explicit LogWalk(std::span<const uint8_t> bytes) : cursor_(bytes) {}

  WpilogContents read() && {
    if (readHeader()) {
      while (cursor_.remaining() > 0 && readRecord()) {
      }
    }
    return std::move(contents_);
  }

 private:
  bool fail(std::size_t offset, std::string message) {
    contents_.error = WpilogError{offset, std::move(message)};
    return false;
  }

  bool readHeader() {
    const auto magic = cursor_.take(kMagic.size());
    if (!magic || !std::equal(magic->begin(), magic->end(), kMagic.begin())) {
      return fail(0, "not a data log: no WPILOG header");
    }
    const auto version = cursor_.number(kVersionBytes);
    if (!version) {
      return fail(cursor_.offset(), "cut inside the header");
    }
    contents_.version = static_cast<uint16_t>(*version);
    if (contents_.version != kVersion) {
      return fail(kMagic.size(), "unsupported version " + std::to_string(*version));
    }
    auto extra = cursor_.sizedText();
    if (!extra) {
      return fail(cursor_.offset(), "cut inside the header's extra text");
    }
    contents_.extraHeader = std::move(*extra);
    return true;
  }

  bool readRecord() {
    const std::size_t start = cursor_.offset();
    const uint8_t header = (*cursor_.take(1))[0];  // a byte remains: the caller checked
    if ((header & kUnusedHeaderBit) != 0) {
      return fail(start, "record header with its unused bit set");
    }
    const std::size_t idBytes = (header & 0x3u) + 1;
    const std::size_t sizeBytes = ((header >> 2) & 0x3u) + 1;
    const std::size_t timestampBytes = ((header >> 4) & 0x7u) + 1;
    const auto id = cursor_.number(idBytes);
    const auto size = id ? cursor_.number(sizeBytes) : std::nullopt;
    const auto timestamp = size ? cursor_.number(timestampBytes) : std::nullopt;
    if (!timestamp) {
      return fail(start, "cut inside a record header");
    }
    const auto payload = cursor_.take(*size);
    if (!payload) {
      return fail(start, "cut inside a record of " + std::to_string(*size) + " bytes");
    }
    const auto when = static_cast<int64_t>(*timestamp);
    if (*id == kControlEntry) {
      return readControl(start, when, *payload);
    }
    return readData(start, static_cast<uint32_t>(*id), when, *payload);
  }

  bool readControl(std::size_t start, int64_t when, std::span<const uint8_t> payload) {
    ByteCursor body{payload};
    const auto kind = body.number(1);
    const auto id = kind ? body.number(kControlIdBytes) : std::nullopt;
    if (!id) {
      return fail(start, "control record too short");
    }
    const auto entryId = static_cast<uint32_t>(*id);
    const auto active = active_.find(entryId);
    switch (*kind) {
      case kStart: {
        auto name = body.sizedText();
        auto type = name ? body.sizedText() : std::nullopt;
        auto metadata = type ? body.sizedText() : std::nullopt;
        if (!metadata || body.remaining() != 0) {
          return fail(start, "malformed start record");
        }
        if (entryId == kControlEntry || active != active_.end()) {
          return fail(start, "start of entry " + std::to_string(entryId) + ", already in use");
        }
        active_.emplace(entryId, contents_.entries.size());
        contents_.entries.push_back(WpilogEntry{entryId, std::move(*name), std::move(*type),
                                                std::move(*metadata), when, false});
        add(when, WpilogStart{entryId, contents_.entries.size() - 1});
        return true;
      }
      case kFinish: {
        if (body.remaining() != 0) {
          return fail(start, "malformed finish record");
        }
        if (active == active_.end()) {
          return fail(start, "finish of entry " + std::to_string(entryId) + ", not started");
        }
        const std::size_t entry = active->second;
        contents_.entries[entry].finished = true;
        active_.erase(active);
        add(when, WpilogFinish{entryId, entry});
        return true;
      }
      case kSetMetadata: {
        auto metadata = body.sizedText();
        if (!metadata || body.remaining() != 0) {
          return fail(start, "malformed metadata record");
        }
        if (active == active_.end()) {
          return fail(start, "metadata of entry " + std::to_string(entryId) + ", not started");
        }
        contents_.entries[active->second].metadata = *metadata;
        add(when, WpilogSetMetadata{entryId, active->second, std::move(*metadata)});
        return true;
      }
      default:
        return fail(start, "unknown control record " + std::to_string(*kind));
    }
  }

  bool readData(std::size_t start, uint32_t id, int64_t when, std::span<const uint8_t> payload) {
    const auto active = active_.find(id);
    if (active == active_.end()) {
      return fail(start, "data of entry " + std::to_string(id) + ", not started");
    }
    const WpilogEntry& entry = contents_.entries[active->second];
    auto value = decodeValue(entry.type, payload);
    if (!value) {
      return fail(start, std::to_string(payload.size()) + " bytes are no " + entry.type);
    }
    add(when, WpilogData{id, active->second, std::move(*value)});
    return true;
  }

  template <typename Content>
  void add(int64_t when, Content content) {
    contents_.records.push_back(WpilogRecord{when, std::move(content)});
  }

  ByteCursor cursor_;
  WpilogContents contents_;
  std::unordered_map<uint32_t, std::size_t> active_;  // started ids -> their place in entries
};

}  // namespace

WpilogContents readWpilog(std::span<const uint8_t> bytes) { return LogWalk{bytes}.read(); }

}  // namespace halvern::sim::replay
