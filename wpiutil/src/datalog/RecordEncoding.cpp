#include "datalog/RecordEncoding.h"

#include <bit>

namespace wpi::log::detail {
namespace {

/** How many bytes, at least one, hold `value`. */
std::size_t bytesFor(uint64_t value) {
  return value == 0 ? 1 : (static_cast<std::size_t>(std::bit_width(value)) + 7) / 8;
}

}  // namespace

void appendLittleEndian(std::vector<uint8_t>& out, uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) {
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

void appendBytes(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void appendSizedText(std::vector<uint8_t>& out, std::string_view text) {
  appendLittleEndian(out, text.size(), kLengthBytes);
  const auto* first = reinterpret_cast<const uint8_t*>(text.data());
  out.insert(out.end(), first, first + text.size());
}

void appendFileHeader(std::vector<uint8_t>& out, std::string_view extraHeader) {
  out.insert(out.end(), kFileMagic.begin(), kFileMagic.end());
  appendLittleEndian(out, kFileVersion, 2);
  appendSizedText(out, extraHeader);
}

void appendRecordHeader(std::vector<uint8_t>& out, uint32_t entry, uint32_t payloadSize,
                        uint64_t timestamp) {
  const std::size_t entryBytes = bytesFor(entry);
  const std::size_t sizeBytes = bytesFor(payloadSize);
  const std::size_t timestampBytes = bytesFor(timestamp);
  out.push_back(static_cast<uint8_t>((entryBytes - 1) | ((sizeBytes - 1) << 2) |
                                     ((timestampBytes - 1) << 4)));
  appendLittleEndian(out, entry, entryBytes);
  appendLittleEndian(out, payloadSize, sizeBytes);
  appendLittleEndian(out, timestamp, timestampBytes);
}

}  // namespace wpi::log::detail
