// Data log files built byte by byte for the reader's tests, independently of the writer: every
// record here spends the widest fields (4-byte id and size, 8-byte timestamp), where the writer
// spends the fewest bytes that hold them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace halvern::test::wpilog {

using Bytes = std::vector<uint8_t>;

/** `value`'s low `count` bytes, least significant first. */
inline Bytes le(uint64_t value, std::size_t count) {
  Bytes out;
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  return out;
}

inline Bytes text(std::string_view characters) {
  Bytes out = le(characters.size(), 4);
  out.insert(out.end(), characters.begin(), characters.end());
  return out;
}

inline Bytes join(std::initializer_list<Bytes> pieces) {
  Bytes out;
  for (const auto& piece : pieces) {
    out.insert(out.end(), piece.begin(), piece.end());
  }
  return out;
}

inline Bytes fileHeader(std::string_view extra = "", uint16_t version = 0x0100) {
  return join({Bytes{'W', 'P', 'I', 'L', 'O', 'G'}, le(version, 2), text(extra)});
}

/** A record with a 4-byte id, 4-byte size and 8-byte timestamp (header byte 0x7F). */
inline Bytes record(uint32_t id, uint64_t timestamp, const Bytes& payload) {
  return join({Bytes{0x7F}, le(id, 4), le(payload.size(), 4), le(timestamp, 8), payload});
}

inline Bytes startPayload(uint32_t id, std::string_view name, std::string_view type,
                          std::string_view metadata = "") {
  return join({Bytes{0}, le(id, 4), text(name), text(type), text(metadata)});
}
inline Bytes finishPayload(uint32_t id) { return join({Bytes{1}, le(id, 4)}); }
inline Bytes metadataPayload(uint32_t id, std::string_view metadata) {
  return join({Bytes{2}, le(id, 4), text(metadata)});
}

inline Bytes start(uint32_t id, uint64_t timestamp, std::string_view name, std::string_view type,
                   std::string_view metadata = "") {
  return record(0, timestamp, startPayload(id, name, type, metadata));
}

inline Bytes doubleBits(double value) { return le(std::bit_cast<uint64_t>(value), 8); }

}  // namespace halvern::test::wpilog
