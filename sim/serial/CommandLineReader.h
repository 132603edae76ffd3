// Command lines as a simulated USB sensor's firmware reads them from the bytes the library
// writes: each sensor's own line end, and a buffer that may be limited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>

namespace halvern::sim {

class CommandLineReader {
 public:
  enum class LineEnd {
    CrLf,  // CR LF ends a line; a lone LF stays part of it
    Lf,    // LF ends a line, a CR just before it dropped
  };

  /** A line that would grow beyond `maxLength` is thrown away, unanswered. */
  explicit CommandLineReader(LineEnd end,
                             std::size_t maxLength = std::numeric_limits<std::size_t>::max())
      : end_(end), maxLength_(maxLength) {}

  /** Calls onLine(line, without its end) for each line the bytes complete. */
  template <typename OnLine>
  void feed(std::span<const uint8_t> bytes, OnLine&& onLine) {
    for (const uint8_t byte : bytes) {
      const bool crBefore = !line_.empty() && line_.back() == '\r';
      if (byte == '\n' && (end_ == LineEnd::Lf || crBefore)) {
        if (crBefore) {
          line_.pop_back();
        }
        onLine(line_);
        line_.clear();
      } else if (line_.size() < maxLength_) {
        line_.push_back(static_cast<char>(byte));
      } else {
        line_.clear();
      }
    }
  }

 private:
  LineEnd end_;
  std::size_t maxLength_;
  std::string line_;
};

}  // namespace halvern::sim
