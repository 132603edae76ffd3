// The platform-independent part of the serial transport.
#include "core/SerialTransport.h"

#include <limits>

namespace halvern::serial {

std::string terminatedLine(const std::string& line) {
  if (line.empty() || line.back() != '\n') {
    return line + "\r\n";
  }
  return line;
}

bool WriteSerialLine(SerialHandle h, const std::string& line) {
  const std::string bytes = terminatedLine(line);
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return false;
  }
  return WriteSerialBytes(h, reinterpret_cast<const uint8_t*>(bytes.data()),
                          static_cast<int>(bytes.size()));
}

}  // namespace halvern::serial
