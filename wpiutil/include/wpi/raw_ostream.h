// Stand-in for WPILib's output streams: just enough of raw_ostream for text and errs().
#pragma once

#include <cstddef>
#include <string_view>

namespace wpi {

/** An unbuffered text stream: every write reaches its destination at once. */
class raw_ostream {
 public:
  raw_ostream() = default;
  raw_ostream(const raw_ostream&) = delete;
  raw_ostream& operator=(const raw_ostream&) = delete;
  virtual ~raw_ostream() = default;

  raw_ostream& write(const char* ptr, std::size_t size) {
    write_impl(ptr, size);
    return *this;
  }
  raw_ostream& operator<<(std::string_view text) { return write(text.data(), text.size()); }
  raw_ostream& operator<<(const char* text) { return *this << std::string_view(text); }
  raw_ostream& operator<<(char c) { return write(&c, 1); }
  raw_ostream& flush() { return *this; }

 protected:
  virtual void write_impl(const char* ptr, std::size_t size) = 0;
};

/** The process's standard error. */
raw_ostream& errs();
/** The process's standard output. */
raw_ostream& outs();

}  // namespace wpi
