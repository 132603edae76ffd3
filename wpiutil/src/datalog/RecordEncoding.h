// The bytes of a .wpilog file: its header, and each record's header with the entry id, payload
// size and timestamp each in as few little-endian bytes as hold them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace wpi::log::detail {

inline constexpr std::string_view kFileMagic = "WPILOG";
inline constexpr uint16_t kFileVersion = 0x0100;
/** Control records (start, finish, metadata) go under entry 0. */
inline constexpr uint32_t kControlEntry = 0;
/** A control record's type byte, then the u32 id of the entry it is about. */
inline constexpr std::size_t kControlIdBytes = 4;
inline constexpr std::size_t kControlHeadBytes = 1 + kControlIdBytes;
/** The length before a text (names, types, metadata, the strings of a string array). */
inline constexpr std::size_t kLengthBytes = 4;

void appendFileHeader(std::vector<uint8_t>& out, std::string_view extraHeader);

void appendRecordHeader(std::vector<uint8_t>& out, uint32_t entry, uint32_t payloadSize,
                        uint64_t timestamp);

/** `value`'s low `bytes` bytes, least significant first. */
void appendLittleEndian(std::vector<uint8_t>& out, uint64_t value, std::size_t bytes);

void appendBytes(std::vector<uint8_t>& out, std::span<const uint8_t> bytes);

/** A text after its u32 length. */
void appendSizedText(std::vector<uint8_t>& out, std::string_view text);

}  // namespace wpi::log::detail
