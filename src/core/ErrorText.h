// The numbered error messages shared by the device families.
#pragma once

#include <cstdint>
#include <string_view>

namespace halvern {

/** An Ordex controller was to be created on a CAN bus the platform does not have. */
inline constexpr int32_t kCanBusOutOfRange = 1004;

/** The fixed message of an error code; "Unknown error found" for a code not in the table. */
std::string_view errorText(int32_t code) noexcept;

/** Writes the message of `code` on its own line to standard output and flushes it. */
void reportError(int32_t code) noexcept;

}  // namespace halvern
