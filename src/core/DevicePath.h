// Finding the device path of a USB serial port: which ports count, in which order, and what
// is returned when too few are found.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace halvern::serial {

/** How a platform names its ports and what it falls back to. */
struct DevicePathRules {
  std::string_view prefix;          // every path the platform lists begins with it
  std::string_view firstFallback;   // when the first port is wanted and none is listed
  std::string_view secondFallback;  // when the second port is wanted and fewer than two are
};

inline constexpr DevicePathRules kWindowsPathRules{R"(\\.\)", R"(\\.\COM3)", R"(\\.\COM4)"};
inline constexpr DevicePathRules kPosixPathRules{"/dev/", "/dev/ttyUSB0", "/dev/ttyUSB1"};

/** The rules of the host the library runs on. */
const DevicePathRules& hostPathRules();

/** The port selector that picks the second port found; every other value picks the first. */
inline constexpr int kSecondPortSelector = 3;

/**
 * Sorts the listed paths byte-wise and picks the wanted one: the second for selector 3, the
 * first otherwise; the platform's fall-back when the list is too short.
 */
std::string selectDevicePath(std::vector<std::string> paths, int port,
                             const DevicePathRules& rules);

/** One value of the Windows serial device map, as the registry reports it. */
struct DeviceMapValue {
  uint32_t type = 0;  // 1 (REG_SZ) for text
  std::string data;   // the port name, e.g. "COM5"
};
inline constexpr uint32_t kTextValueType = 1;

/** The device paths of the text values of a device map, in listing order. */
std::vector<std::string> pathsFromDeviceMap(const std::vector<DeviceMapValue>& values,
                                            std::string_view prefix);

/** The host's own serial ports, unsorted: the device map on Windows, /dev/ttyUSB* and
 *  /dev/ttyACM* on POSIX hosts. */
std::vector<std::string> listHostSerialPorts();

/**
 * Paths added at run time beside the host's own ports: how simulators and tests make a
 * pseudo-terminal findable.
 */
class AddedDevicePaths {
 public:
  void add(const std::string& path);
  void remove(const std::string& path);
  [[nodiscard]] std::vector<std::string> list() const;

 private:
  mutable std::mutex mutex;
  std::vector<std::string> paths;
};

/** The path of the first or second serial port (selector 3), host ports and added ones. */
std::string findDevicePath(int port);

}  // namespace halvern::serial
