// The LidarMini's request reader: a request is the mark A5 and a command byte; anything else on
// the line is ignored.
#pragma once

#include <cstdint>
#include <span>

#include "lidarmini/LidarMiniProtocol.h"

namespace halvern::sim::lidarmini {

class RequestReader {
 public:
  /** Calls onCommand(command byte) for each request the bytes complete. */
  template <typename OnCommand>
  void feed(std::span<const uint8_t> bytes, OnCommand&& onCommand) {
    for (const uint8_t byte : bytes) {
      if (markSeen_) {
        markSeen_ = false;
        onCommand(byte);
      } else {
        markSeen_ = byte == halvern::lidarmini::kRequestMark;
      }
    }
  }

 private:
  bool markSeen_ = false;
};

}  // namespace halvern::sim::lidarmini
