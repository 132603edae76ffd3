#include "wpi/raw_ostream.h"

#include <cstdio>

namespace wpi {
namespace {

/** Writes straight through to a C stream and flushes it, so lines from threads never mix. */
class StdioStream final : public raw_ostream {
 public:
  explicit StdioStream(std::FILE* stream) : stream_(stream) {}

 private:
  void write_impl(const char* ptr, std::size_t size) override {
    std::fwrite(ptr, 1, size, stream_);
    std::fflush(stream_);
  }

  std::FILE* stream_;
};

}  // namespace

raw_ostream& errs() {
  static StdioStream stream(stderr);
  return stream;
}

raw_ostream& outs() {
  static StdioStream stream(stdout);
  return stream;
}

}  // namespace wpi
