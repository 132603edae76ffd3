// A port listed for the library's device search while it lives: the tests list a simulator's
// pseudo-terminal so that a port selector finds it.
#pragma once

#include <string>
#include <utility>

#include "halvern/Serial.h"

namespace halvern::test {

class ListedPort {
 public:
  explicit ListedPort(std::string path) : path_(std::move(path)) {
    c_Serial_addDevicePath(path_.c_str());
  }
  ListedPort(const ListedPort&) = delete;
  ListedPort& operator=(const ListedPort&) = delete;
  ~ListedPort() { c_Serial_removeDevicePath(path_.c_str()); }

 private:
  std::string path_;
};

}  // namespace halvern::test
