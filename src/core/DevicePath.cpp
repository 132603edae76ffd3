#include "core/DevicePath.h"

#include <algorithm>

#include "core/LibraryState.h"

namespace halvern::serial {

const DevicePathRules& hostPathRules() {
#if defined(_WIN32)
  return kWindowsPathRules;
#else
  return kPosixPathRules;
#endif
}

std::string selectDevicePath(std::vector<std::string> paths, int port,
                             const DevicePathRules& rules) {
  const bool wantSecond = port == kSecondPortSelector;
  const std::size_t wanted = wantSecond ? 1 : 0;
  std::sort(paths.begin(), paths.end());  // byte-wise: COM10 sorts before COM3
  if (wanted < paths.size()) {
    return paths[wanted];
  }
  return std::string(wantSecond ? rules.secondFallback : rules.firstFallback);
}

std::vector<std::string> pathsFromDeviceMap(const std::vector<DeviceMapValue>& values,
                                            std::string_view prefix) {
  std::vector<std::string> paths;
  for (const auto& value : values) {
    if (value.type != kTextValueType) {
      continue;
    }
    // The data is NUL-terminated text; anything after the terminator is not part of the name.
    const std::string name = value.data.substr(0, value.data.find('\0'));
    paths.push_back(std::string(prefix) + name);
  }
  return paths;
}

void AddedDevicePaths::add(const std::string& path) {
  const std::lock_guard lock(mutex);
  if (std::find(paths.begin(), paths.end(), path) == paths.end()) {
    paths.push_back(path);
  }
}

void AddedDevicePaths::remove(const std::string& path) {
  const std::lock_guard lock(mutex);
  std::erase(paths, path);
}

std::vector<std::string> AddedDevicePaths::list() const {
  const std::lock_guard lock(mutex);
  return paths;
}

std::string findDevicePath(int port) {
  std::vector<std::string> paths = listHostSerialPorts();
  const std::vector<std::string> added = libraryState().addedDevicePaths.list();
  paths.insert(paths.end(), added.begin(), added.end());
  return selectDevicePath(std::move(paths), port, hostPathRules());
}

}  // namespace halvern::serial
